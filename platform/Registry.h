// The registry: Win32-style calls over two hives, the user hive (kHKeyCurrentUser) and the
// machine hive (kHKeyLocalMachine). On POSIX each hive is kept in one SQLite database, as
// described below; on Windows the calls are the system registry's own (advapi32, and shlwapi's
// SHDeleteKeyW), the roots are the system's predefined keys, storage, sharing, access lists and
// views are the system's, and RegistryHiveFile names no file.
//
// Calls, arguments and results follow their Win32 namesakes (RegOpenKeyExW and the rest):
// names are NUL-terminated UTF-16, "\" separates the keys of a path, results are Win32 error
// codes, and every failure is also recorded as the calling thread's last error
// (platform/LastError.h) with a readable text. Handles are our own opaque type.
//
// Choices of the POSIX backend where Windows leaves room or has no counterpart here:
// - Hive files: $VOMO_REGISTRY_ROOT/user.db and machine.db when VOMO_REGISTRY_ROOT is set;
//   otherwise ${XDG_CONFIG_HOME:-$HOME/.config}/vomo/registry/user.db and
//   /var/lib/vomo/registry/machine.db. A missing hive reads as empty (no file is made by reading);
//   the first write creates it whole (built under a temporary name, then linked into place) with
//   its folders (0700 for the user hive's own folder, 0755 otherwise; the user hive file 0600). A
//   hive file the process may not write answers every write with kErrorAccessDenied.
// - Every call is one SQLite transaction (write-ahead log, a busy timeout of
//   kRegistryBusyTimeoutMs): a call either happens whole or not at all, and several threads or
//   processes may use a hive at once. A call that returned success survives the process being
//   killed at any later moment. As the Windows registry writes its hives lazily, a write is not
//   forced to the disk when its call returns (SQLite's normal synchronisation): a power loss or a
//   system crash soon after may take back the last writes, whole, never leaving a hive damaged.
//   RegFlushKey forces every write made so far to the disk, as on Windows; callers use it where
//   a run's results must outlast a power loss.
// - A file that is not a hive (garbage, or another program's SQLite database) makes every call on
//   that hive fail with kErrorRegistryCorrupt; it is never written, truncated or replaced.
//   Storage failures answer kErrorRegistryIoFailed, kErrorDiskFull or kErrorBusy.
// - Names compare case-insensitively and keep their case (see platform/RegistryNames.h for the
//   fold). A key name is 1 to 255 UTF-16 units. Trailing "\" of a path are ignored, as on
//   Windows ("Install\Alpha\" names "Install\Alpha"); a path with an empty key name in it (a
//   leading or doubled "\", or "\" alone) answers kErrorBadPathname. Value names go up to 16383
//   units: setting a longer one answers kErrorInvalidParameter, querying or deleting one
//   kErrorFileNotFound (no value has such a name). The empty name is the key's default value.
// - Values keep their type code and their bytes exactly; no type is checked or converted.
// - Access rights: a handle may query values only if opened with kKeyQueryValue, set or delete
//   values only with kKeySetValue, enumerate subkeys only with kKeyEnumerateSubKeys; otherwise
//   kErrorAccessDenied. As on Windows, creating and deleting keys do not depend on the rights of
//   the handle they are named through: a handle opened for reading creates subkeys, and deletes
//   its own key (an empty subkey path) without kDeleteAccess. There are no per-key access lists:
//   opening succeeds whatever is asked for, and the hive file's permissions decide writes. The
//   64-bit and 32-bit view flags are accepted and have no effect.
// - Deleting a key with subkeys through RegDeleteKeyW/RegDeleteKeyExW answers kErrorAccessDenied,
//   as on Windows. SHDeleteKeyW removes a key with its whole subtree in one transaction: all of it
//   or, when any key of it may not be deleted, nothing. A hive's root cannot be deleted.
// - A handle whose key was deleted (by any handle or process) answers kErrorKeyDeleted, and so
//   does a handle whose hive file was removed or replaced since it was opened. Writes, and calls
//   from the predefined roots, always look at the file now at the hive's place; reads through a
//   handle do not (sparing each a look at the file system), so until the next such call they may
//   still read the removed file.
// - Key classes, security descriptors and last-write times are not kept: classes read as empty,
//   sizes and times as 0.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct RegistryKeyObject;
// An open key. The two predefined roots are always open; other handles come from
// RegOpenKeyExW / RegCreateKeyExW and are closed with RegCloseKey.
typedef RegistryKeyObject* RegKey;

inline RegKey const kHKeyCurrentUser = reinterpret_cast<RegKey>(uintptr_t{0x80000001u});
inline RegKey const kHKeyLocalMachine = reinterpret_cast<RegKey>(uintptr_t{0x80000002u});

// Error codes (Win32 values).
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorBadPathname = 161;
constexpr uint32_t kErrorBusy = 170;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorNoAccess = 998;
constexpr uint32_t kErrorRegistryCorrupt = 1015;
constexpr uint32_t kErrorRegistryIoFailed = 1016;
constexpr uint32_t kErrorKeyDeleted = 1018;

// Value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

// Access rights.
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyCreateSubKey = 0x0004;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr uint32_t kKeyNotify = 0x0010;
constexpr uint32_t kKeyCreateLink = 0x0020;
constexpr uint32_t kKeyWow64_64Key = 0x0100;
constexpr uint32_t kKeyWow64_32Key = 0x0200;
constexpr uint32_t kDeleteAccess = 0x00010000;
constexpr uint32_t kReadControl = 0x00020000;
constexpr uint32_t kKeyRead = 0x00020019;
constexpr uint32_t kKeyWrite = 0x00020006;
constexpr uint32_t kKeyAllAccess = 0x000F003F;

// RegCreateKeyExW dispositions.
constexpr uint32_t kRegCreatedNewKey = 1;
constexpr uint32_t kRegOpenedExistingKey = 2;

// How long a call waits for another process's transaction on the same hive.
constexpr int kRegistryBusyTimeoutMs = 10000;

// Opens `subKey` (a path below `key`; null or empty: `key` itself) into `*result`.
uint32_t RegOpenKeyExW(RegKey key, const char16_t* subKey, uint32_t options, uint32_t desired,
                       RegKey* result);

// Opens `subKey`, creating every missing key of the path. `*disposition` (may be null) tells
// whether the last key was created.
uint32_t RegCreateKeyExW(RegKey key, const char16_t* subKey, uint32_t reserved,
                         const char16_t* keyClass, uint32_t options, uint32_t desired,
                         const void* security, RegKey* result, uint32_t* disposition);

// The type and bytes of a value. With `data` null only the type and size are returned; with a
// buffer smaller than the value, kErrorMoreData and the size needed in `*dataSize`.
uint32_t RegQueryValueExW(RegKey key, const char16_t* valueName, uint32_t* reserved, uint32_t* type,
                          uint8_t* data, uint32_t* dataSize);

// Null `data` with a non-zero `dataSize` answers kErrorNoAccess, as Windows does for an
// unreadable buffer.
uint32_t RegSetValueExW(RegKey key, const char16_t* valueName, uint32_t reserved, uint32_t type,
                        const uint8_t* data, uint32_t dataSize);

uint32_t RegDeleteValueW(RegKey key, const char16_t* valueName);

// The name of subkey `index` (subkeys in the order of their folded names). `*nameLength` is the
// buffer's size in units on entry, the name's length without its terminator on return; a buffer
// too small answers kErrorMoreData; an index past the end, kErrorNoMoreItems.
uint32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength,
                       uint32_t* reserved, char16_t* keyClass, uint32_t* classLength,
                       uint64_t* lastWriteTime);

// Value `index` (values in the order they were first set), as RegEnumKeyExW for the name and
// as RegQueryValueExW for the data. A name buffer too small answers kErrorMoreData with the
// value's type and data size filled in, and neither name nor data copied.
uint32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength,
                       uint32_t* reserved, uint32_t* type, uint8_t* data, uint32_t* dataSize);

// Counts and longest lengths (names in units without the terminator, data in bytes); every
// out-pointer may be null.
uint32_t RegQueryInfoKeyW(RegKey key, char16_t* keyClass, uint32_t* classLength, uint32_t* reserved,
                          uint32_t* subKeys, uint32_t* maxSubKeyLength, uint32_t* maxClassLength,
                          uint32_t* values, uint32_t* maxValueNameLength, uint32_t* maxValueLength,
                          uint32_t* securityDescriptorSize, uint64_t* lastWriteTime);

// Deletes the key at `subKey` below `key` (empty: `key` itself) with its values; a key that has
// subkeys is not deleted (kErrorAccessDenied).
uint32_t RegDeleteKeyW(RegKey key, const char16_t* subKey);

// RegDeleteKeyW with a registry view (`desired` may hold kKeyWow64_64Key or kKeyWow64_32Key).
uint32_t RegDeleteKeyExW(RegKey key, const char16_t* subKey, uint32_t desired, uint32_t reserved);

// Deletes the key at `subKey` below `key` (empty: `key` itself) with all its subkeys and values.
uint32_t SHDeleteKeyW(RegKey key, const char16_t* subKey);

uint32_t RegCloseKey(RegKey key);

// Forces every write made so far to the hive of `key` (by any process) to the disk; answers
// when it is there. An expensive call: once where a run's results must outlast a power loss,
// not after each write.
uint32_t RegFlushKey(RegKey key);

// One value read whole below a key, as RegOpenKeyExW(key, subKey, 0, desired),
// RegQueryValueExW of `valueName` on the opened key and RegCloseKey together answer it: the
// answer of the first step that failed, with `*keyOpened` (may be null) telling whether the
// key opened. On success `*type` and `*bytes` (neither null) hold the value's type and bytes.
// On POSIX, below a predefined root, it is one statement of the hive: the quickest way to read
// a value whose key is not kept open.
uint32_t RegReadValueW(RegKey key, const char16_t* subKey, uint32_t desired,
                       const char16_t* valueName, uint32_t* type, std::string* bytes,
                       bool* keyOpened);

// The calling convention of a function the system's own library exports: on 32-bit Windows its
// functions clean their own arguments off the stack (__stdcall), elsewhere it is the usual one.
#if defined(_WIN32) && !defined(_WIN64)
#define VCM_SYSTEM_CALL __stdcall
#else
#define VCM_SYSTEM_CALL
#endif

// The signature of RegDeleteKeyExW, for callers that look it up by name (RegistryLibrary.h).
typedef uint32_t(VCM_SYSTEM_CALL* RegDeleteKeyExWProc)(RegKey key, const char16_t* subKey,
                                                       uint32_t desired, uint32_t reserved);

// The file that holds the hive of `root` (kHKeyCurrentUser or kHKeyLocalMachine); empty when it
// cannot be placed (no VOMO_REGISTRY_ROOT and no home folder) or `root` is not a root.
std::string RegistryHiveFile(RegKey root);

// Test hook. Windows can forbid deleting one key through its access list; this registry keeps no
// access lists, so tests that need a key which cannot be deleted mark it here: while marked, every
// deletion that would remove the key at `path` (below the predefined root `root`, compared like
// key names) fails with kErrorAccessDenied. `deny` false lifts the mark. Not for production use.
void SetKeyDeletionDeniedForTesting(RegKey root, const std::u16string& path, bool deny);

}  // namespace platform
