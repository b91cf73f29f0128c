// The component manager's way into the registry. Keys are relative paths that the
// implementation prefixes with an area: "Settings/" (written to the user hive, read from the
// user hive and then the machine hive) or "Install/" (machine hive only).
#pragma once

#include <cstdint>
#include <string>

namespace vcm {

class ISettings {
public:
    virtual ~ISettings() = default;
    // "Install/" + key opens for reading in the machine hive.
    virtual bool IsInstalled(const std::string& key) = 0;
    // A string value of "Settings/" + key.
    virtual bool ReadString(const std::string& key, const std::string& name,
                            std::string& value) = 0;
    // A 64-bit or 32-bit number value of "Settings/" + key; its low 32 bits.
    virtual bool ReadDword(const std::string& key, const std::string& name, uint32_t& value) = 0;
    // Writes the value zero-extended as a 64-bit number into "Settings/" + key (user hive).
    virtual bool WriteDword(const std::string& key, const std::string& name, uint32_t value) = 0;
    virtual bool WriteString(const std::string& key, const std::string& name,
                             const std::string& value) = 0;
    // "Install\Setup\UniqueInstall\<id>" holds the string value "Unique-<id>".
    virtual bool IsUniqueInstallRecorded(const std::string& id) = 0;
    // Writes that record for an installed component that has none; true only when written now.
    virtual bool RecordUniqueInstall(const std::string& id) = 0;
};

}  // namespace vcm
