// A registry key below the product key "SOFTWARE\Vomo\", in the user hive, the machine hive or
// both (the user copy first, the machine copy as read fallback), with typed values.
//
// "W" operations take UTF-16 names and texts (std::u16string), "U" ones UTF-8 (std::string);
// every U operation converts and calls its W twin. A UTF-8 text that does not convert becomes
// the empty string (so an operation given a malformed name fails). Every operation answers
// false on failure and leaves its outputs untouched.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "settings/IRefCounted.h"
#include "settings/MemoryBuffer.h"
#include "settings/RefCountedPtr.h"

namespace vmds {

class IVomoSettings : public vmtl::IRefCounted {
public:
    typedef std::set<std::u16string> NameSetW;
    typedef std::set<std::string> NameSetU;
    typedef vmtl::RefCountedPtr<IVomoSettings> Ptr;

    virtual bool GetName(std::u16string& name) = 0;                          // 4
    virtual bool GetName(std::string& name) = 0;                             // 5
    virtual bool GetSubKeyCount(uint32_t& count) = 0;                        // 6
    virtual bool GetSubKeyNames(NameSetW& names) = 0;                        // 7
    virtual bool GetSubKeyNames(NameSetU& names) = 0;                        // 8
    virtual bool OpenSubKey(const std::u16string& path, Ptr* out) = 0;       // 9
    virtual bool OpenSubKey(const std::string& path, Ptr* out) = 0;          // 10
    virtual bool GetValueCount(uint32_t& count) = 0;                         // 11
    virtual bool GetValueNames(NameSetW& names) = 0;                         // 12
    virtual bool GetValueNames(NameSetU& names) = 0;                         // 13
    virtual bool SetInt64(const std::u16string& name, int64_t value) = 0;    // 14
    virtual bool SetInt64(const std::string& name, int64_t value) = 0;       // 15
    virtual bool SetInt32(const std::u16string& name, int32_t value) = 0;    // 16
    virtual bool SetInt32(const std::string& name, int32_t value) = 0;       // 17
    virtual bool SetUInt32(const std::u16string& name, uint32_t value) = 0;  // 18
    virtual bool SetUInt32(const std::string& name, uint32_t value) = 0;     // 19
    virtual bool SetUInt64(const std::u16string& name, uint64_t value) = 0;  // 20
    virtual bool SetUInt64(const std::string& name, uint64_t value) = 0;     // 21
    virtual bool SetInt64Parts(const std::u16string& name, uint32_t low,
                               uint32_t high) = 0;                                         // 22
    virtual bool SetInt64Parts(const std::string& name, uint32_t low, uint32_t high) = 0;  // 23
    virtual bool SetDword(const std::u16string& name, uint32_t value) = 0;                 // 24
    virtual bool SetDword(const std::string& name, uint32_t value) = 0;                    // 25
    virtual bool SetQword(const std::u16string& name, uint64_t value) = 0;                 // 26
    virtual bool SetQword(const std::string& name, uint64_t value) = 0;                    // 27
    virtual bool SetBool(const std::u16string& name, bool value) = 0;                      // 28
    virtual bool SetBool(const std::string& name, bool value) = 0;                         // 29
    virtual bool SetString(const std::u16string& name, const std::string& text) = 0;       // 30
    virtual bool SetString(const std::string& name, const std::string& text) = 0;          // 31
    virtual bool SetString(const std::u16string& name, const std::u16string& text) = 0;    // 32
    virtual bool SetString(const std::string& name, const std::u16string& text) = 0;       // 33
    virtual bool SetBinary(const std::u16string& name,
                           const vmtl::MemoryBuffer<char>& data) = 0;  // 34
    virtual bool SetBinary(const std::string& name,
                           const vmtl::MemoryBuffer<char>& data) = 0;         // 35
    virtual bool GetInt64(const std::u16string& name, int64_t& value) = 0;    // 36
    virtual bool GetInt64(const std::string& name, int64_t& value) = 0;       // 37
    virtual bool GetInt32(const std::u16string& name, int32_t& value) = 0;    // 38
    virtual bool GetInt32(const std::string& name, int32_t& value) = 0;       // 39
    virtual bool GetUInt32(const std::u16string& name, uint32_t& value) = 0;  // 40
    virtual bool GetUInt32(const std::string& name, uint32_t& value) = 0;     // 41
    virtual bool GetUInt64(const std::u16string& name, uint64_t& value) = 0;  // 42
    virtual bool GetUInt64(const std::string& name, uint64_t& value) = 0;     // 43
    virtual bool GetInt64Parts(const std::u16string& name, uint32_t& low,
                               uint32_t& high) = 0;                                          // 44
    virtual bool GetInt64Parts(const std::string& name, uint32_t& low, uint32_t& high) = 0;  // 45
    virtual bool GetDword(const std::u16string& name, uint32_t& value) = 0;                  // 46
    virtual bool GetDword(const std::string& name, uint32_t& value) = 0;                     // 47
    virtual bool GetQword(const std::u16string& name, uint64_t& value) = 0;                  // 48
    virtual bool GetQword(const std::string& name, uint64_t& value) = 0;                     // 49
    virtual bool GetBool(const std::u16string& name, bool& value) = 0;                       // 50
    virtual bool GetBool(const std::string& name, bool& value) = 0;                          // 51
    virtual bool GetString(const std::u16string& name, std::string& text) = 0;               // 52
    virtual bool GetString(const std::string& name, std::string& text) = 0;                  // 53
    virtual bool GetString(const std::u16string& name, std::u16string& text) = 0;            // 54
    virtual bool GetString(const std::string& name, std::u16string& text) = 0;               // 55
    virtual bool GetBinary(const std::u16string& name, vmtl::MemoryBuffer<char>& data) = 0;  // 56
    virtual bool GetBinary(const std::string& name, vmtl::MemoryBuffer<char>& data) = 0;     // 57
    virtual bool DeleteKey() = 0;                                                            // 58
    virtual bool DeleteValue(const std::u16string& name) = 0;                                // 59
    virtual bool DeleteValue(const std::string& name) = 0;                                   // 60
};

// Open modes: which hives a key is opened in, and how.
//   1 user, open, full access          4 user, open, read        7 user, create
//   2 both, open, full (user first)    5 both, open, read        8 user create (machine opened
//   3 machine, open, full              6 machine, open, read        for reading fallback)
//                                                                9 machine, create
enum OpenMode : uint32_t {
    kOpenUserWrite = 1,
    kOpenBothWrite = 2,
    kOpenMachineWrite = 3,
    kOpenUserRead = 4,
    kOpenBothRead = 5,
    kOpenMachineRead = 6,
    kCreateUser = 7,
    kCreateUserMachineFallback = 8,
    kCreateMachine = 9,
};

// Opens the key at `path` (relative to "SOFTWARE\Vomo\"; "/" and "\" both separate) with `mode`.
// On success `out` (when not null) holds the node of the last path component. An empty path,
// or one ending in a separator, fails.
bool OpenSettings(const std::string& path, uint32_t mode, IVomoSettings::Ptr* out);

}  // namespace vmds
