// The storage beneath platform/Registry.h: the keys and values of one hive in one SQLite
// database. Only the registry layer uses it.
//
// Layout of a hive file (format 1, application id "Vomo"):
//   hive(one, stamp)       one row; `stamp` is a random number drawn when the file is made,
//                          so that handles notice a file that was removed and made anew
//   keys(id, parent, name, fold, path, units)
//                          one row per key; the hive's root is the implicit key 0; `name` is
//                          the stored form of the name, `fold` that of its folded form
//                          (RegistryNames.h), `path` the folded names from the root joined by
//                          "\" (keys are never renamed, so it never changes), `units` the name's
//                          length in UTF-16 units; ids are never reused, so a handle's id names
//                          one key for good
//   vals(id, key, name, fold, units, type, data)
//                          one row per value; `id` keeps the order values were first set in
//
// Every function runs as one transaction and answers a Win32 error code; failures are recorded
// as the thread's last error. Commits are not synchronised to the disk one by one (SQLite's
// normal synchronisation in write-ahead-log mode: a commit survives the process, not
// necessarily a power loss); Flush forces them there.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
namespace reghive {

enum class Hive { User = 0, Machine = 1 };

// A key as a handle remembers it: its hive, its row, the stamp of the hive file it was found in
// (0 for a root, which every hive file has) and its stored folded path (empty for a root).
struct KeyRef {
    Hive hive = Hive::User;
    int64_t id = 0;
    int64_t stamp = 0;
    std::string path;
};

struct Value {
    std::u16string name;
    uint32_t type = 0;
    std::string bytes;
};

struct KeyCounts {
    uint32_t subKeys = 0;
    uint32_t maxSubKeyName = 0;
    uint32_t values = 0;
    uint32_t maxValueName = 0;
    uint32_t maxValueData = 0;
};

// A path below a key: names of 1 to 255 units joined by "\" (empty for the key itself).
typedef std::u16string Path;

// The hive file's location (empty when it cannot be placed).
std::string HiveFile(Hive hive);

uint32_t OpenKey(const KeyRef& base, const Path& path, KeyRef& out);
// Creates the missing keys of `path` below `base`; `created` tells whether the last one was new.
uint32_t CreateKey(const KeyRef& base, const Path& path, KeyRef& out, bool& created);
uint32_t QueryValue(const KeyRef& key, const std::u16string& name, Value& out);
// The value `name` of the key at `path` below `base`, a root, in one statement: OpenKey and
// QueryValue together. `keyFound` tells whether the key exists (then a failure is the value's).
uint32_t QueryValueAt(const KeyRef& base, const Path& path, const std::u16string& name, Value& out,
                      bool& keyFound);
uint32_t SetValue(const KeyRef& key, const std::u16string& name, uint32_t type, const uint8_t* data,
                  size_t size);
uint32_t DeleteValue(const KeyRef& key, const std::u16string& name);
uint32_t EnumKey(const KeyRef& key, uint32_t index, std::u16string& name);
uint32_t EnumValue(const KeyRef& key, uint32_t index, Value& out);
uint32_t QueryInfo(const KeyRef& key, KeyCounts& out);
// Deletes the key at `path` below `base` (empty path: `base` itself); `tree` deletes its
// subkeys too, otherwise a key with subkeys is refused.
uint32_t DeleteKey(const KeyRef& base, const Path& path, bool tree);

// Forces the committed writes of the hive (of every process) to the disk: its write-ahead log,
// where they wait until a checkpoint copies them into the file. 0, or kErrorRegistryIoFailed.
uint32_t Flush(Hive hive);

// Marks or unmarks the key at `path` (from the hive's root) as one that may not be deleted.
void SetDeletionDenied(Hive hive, const Path& path, bool deny);

}  // namespace reghive
}  // namespace platform
