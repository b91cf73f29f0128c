// VomoSettings: the settings store's node, one registry key below "SOFTWARE\Vomo\" opened in the
// user hive, the machine hive or both, as its open mode says (IVomoSettings.h).
//
// A node is created closed and opens its key(s) on first use ("lazy opening"); it keeps the
// handles until DeleteKey or destruction. Nodes opened below it with OpenSubKey are cached in
// its children map and live as long as it does. Reference counts are plain integers: a node and
// its children belong to one thread at a time.
//
// Values are typed as follows (names must not be empty):
//   64-bit number   written as REG_QWORD (8 bytes); read from REG_QWORD or REG_DWORD of 8 or
//                   4 bytes (4 bytes are zero-extended)
//   32-bit number   written sign- or zero-extended as the 64-bit number; read as it, low half
//   DWORD / QWORD   strict: REG_DWORD of exactly 4 bytes / REG_QWORD of exactly 8 bytes
//   bool            REG_DWORD 1 or 0; read from a 4-byte REG_DWORD, true when not zero
//   string          REG_SZ, UTF-16 with its terminator; read from REG_SZ only, up to the first
//                   zero unit
//   binary          REG_BINARY, the bytes; read from REG_BINARY of at least one byte
// Getters of modes 2, 5 and 8 that fail on the user key read once more from the machine key.
//
// Name lists of modes 2, 5 and 8 merge both hives; as registry names compare case-insensitively,
// a name found in both counts once, spelt as the user hive spells it.
//
// OpenSubKey reuses a cached child only while the child's key still opens: a child whose key was
// deleted since, or which failed to open, is not handed out as if its key existed.
//
// Where the conversion between UTF-8 and UTF-16 cannot be done, nothing is written or returned:
// a name that is not well-formed UTF-8 fails the operation, a text that is not well-formed is
// not written, a stored text or name that has no UTF-8 form is not returned as UTF-8 (UTF-8
// name lists leave such names out). A name or path component holding a zero character fails,
// since the registry would read it only up to that character.
#pragma once

#include <map>
#include <string>

#include "platform/Registry.h"
#include "settings/IVomoSettings.h"

class VomoSettings : public vmds::IVomoSettings {
public:
    typedef vmtl::RefCountedPtr_STLSafe<vmds::IVomoSettings> ChildPtr;

    // A top node ("SOFTWARE\Vomo\" + name) when `parentPath` is empty, else a child of the
    // node whose full path is `parentPath`.
    VomoSettings(const std::u16string& name, const std::u16string& parentPath, uint32_t mode);
    ~VomoSettings() override;
    VomoSettings(const VomoSettings&) = delete;
    VomoSettings& operator=(const VomoSettings&) = delete;

    int32_t AddRef() override;
    int32_t Release() override;
    int32_t GetRefCount() override;

    bool GetName(std::u16string& name) override;
    bool GetName(std::string& name) override;
    bool GetSubKeyCount(uint32_t& count) override;
    bool GetSubKeyNames(NameSetW& names) override;
    bool GetSubKeyNames(NameSetU& names) override;
    bool OpenSubKey(const std::u16string& path, Ptr* out) override;
    bool OpenSubKey(const std::string& path, Ptr* out) override;
    bool GetValueCount(uint32_t& count) override;
    bool GetValueNames(NameSetW& names) override;
    bool GetValueNames(NameSetU& names) override;
    bool SetInt64(const std::u16string& name, int64_t value) override;
    bool SetInt64(const std::string& name, int64_t value) override;
    bool SetInt32(const std::u16string& name, int32_t value) override;
    bool SetInt32(const std::string& name, int32_t value) override;
    bool SetUInt32(const std::u16string& name, uint32_t value) override;
    bool SetUInt32(const std::string& name, uint32_t value) override;
    bool SetUInt64(const std::u16string& name, uint64_t value) override;
    bool SetUInt64(const std::string& name, uint64_t value) override;
    bool SetInt64Parts(const std::u16string& name, uint32_t low, uint32_t high) override;
    bool SetInt64Parts(const std::string& name, uint32_t low, uint32_t high) override;
    bool SetDword(const std::u16string& name, uint32_t value) override;
    bool SetDword(const std::string& name, uint32_t value) override;
    bool SetQword(const std::u16string& name, uint64_t value) override;
    bool SetQword(const std::string& name, uint64_t value) override;
    bool SetBool(const std::u16string& name, bool value) override;
    bool SetBool(const std::string& name, bool value) override;
    bool SetString(const std::u16string& name, const std::string& text) override;
    bool SetString(const std::string& name, const std::string& text) override;
    bool SetString(const std::u16string& name, const std::u16string& text) override;
    bool SetString(const std::string& name, const std::u16string& text) override;
    bool SetBinary(const std::u16string& name, const vmtl::MemoryBuffer<char>& data) override;
    bool SetBinary(const std::string& name, const vmtl::MemoryBuffer<char>& data) override;
    bool GetInt64(const std::u16string& name, int64_t& value) override;
    bool GetInt64(const std::string& name, int64_t& value) override;
    bool GetInt32(const std::u16string& name, int32_t& value) override;
    bool GetInt32(const std::string& name, int32_t& value) override;
    bool GetUInt32(const std::u16string& name, uint32_t& value) override;
    bool GetUInt32(const std::string& name, uint32_t& value) override;
    bool GetUInt64(const std::u16string& name, uint64_t& value) override;
    bool GetUInt64(const std::string& name, uint64_t& value) override;
    bool GetInt64Parts(const std::u16string& name, uint32_t& low, uint32_t& high) override;
    bool GetInt64Parts(const std::string& name, uint32_t& low, uint32_t& high) override;
    bool GetDword(const std::u16string& name, uint32_t& value) override;
    bool GetDword(const std::string& name, uint32_t& value) override;
    bool GetQword(const std::u16string& name, uint64_t& value) override;
    bool GetQword(const std::string& name, uint64_t& value) override;
    bool GetBool(const std::u16string& name, bool& value) override;
    bool GetBool(const std::string& name, bool& value) override;
    bool GetString(const std::u16string& name, std::string& text) override;
    bool GetString(const std::string& name, std::string& text) override;
    bool GetString(const std::u16string& name, std::u16string& text) override;
    bool GetString(const std::string& name, std::u16string& text) override;
    bool GetBinary(const std::u16string& name, vmtl::MemoryBuffer<char>& data) override;
    bool GetBinary(const std::string& name, vmtl::MemoryBuffer<char>& data) override;
    bool DeleteKey() override;
    bool DeleteValue(const std::u16string& name) override;
    bool DeleteValue(const std::string& name) override;

    // Lazy opening: opens (or creates) the key in the hives of the mode, keeping handles already
    // held; true when the key counts as opened for the mode.
    bool Open();

    const std::u16string& FullPath() const { return fullPath_; }
    // Caches `child` under `name`, replacing a child of that name.
    void SetChild(const std::u16string& name, VomoSettings* child);

private:
    platform::RegKey PrimaryKey() const;
    bool HasFallback() const;
    bool WriteValue(const std::u16string& name, uint32_t type, const void* data, uint32_t size);
    // Runs `read` with the primary key, then with the machine key where the mode falls back.
    template <class Read>
    bool ReadValue(const std::u16string& name, Read read);
    bool ReadNumber(const std::u16string& name, uint64_t& value);
    bool CollectNames(bool subKeys, NameSetW& names);
    // Closes the handles whose key was deleted since they were opened.
    void DropDeletedHandles();
    void Close();

    int32_t refCount_ = 0;
    std::u16string fullPath_;
    std::u16string name_;
    uint32_t mode_;
    platform::RegKey rootHive_ = nullptr;
    platform::RegKey userKey_ = nullptr;
    platform::RegKey machineKey_ = nullptr;
    std::map<std::u16string, ChildPtr> children_;
};
