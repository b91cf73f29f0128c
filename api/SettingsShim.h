#pragma once

#include "api/ISettings.h"

namespace vcm {

// vcm::ISettings over the settings store. Stateless: every call opens a fresh settings node,
// uses it and releases it.
class SettingsShim : public ISettings {
public:
    bool IsInstalled(const std::string& key) override;
    bool ReadString(const std::string& key, const std::string& name, std::string& value) override;
    bool ReadDword(const std::string& key, const std::string& name, uint32_t& value) override;
    bool WriteDword(const std::string& key, const std::string& name, uint32_t value) override;
    bool WriteString(const std::string& key, const std::string& name,
                     const std::string& value) override;
    bool IsUniqueInstallRecorded(const std::string& id) override;
    bool RecordUniqueInstall(const std::string& id) override;
};

}  // namespace vcm
