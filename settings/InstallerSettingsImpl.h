#pragma once

#include "settings/IInstallerSettings.h"

// IInstallerSettings over the install-area accessors; it has no state.
class InstallerSettingsImpl : public IInstallerSettings {
public:
    bool SetBool(const std::string& key, const std::string& name, bool value) override;
    bool SetNumber(const std::string& key, const std::string& name, uint32_t value) override;
    bool SetString(const std::string& key, const std::string& name,
                   const std::string& text) override;
    bool GetString(const std::string& key, const std::string& name, std::string& text) override;
};
