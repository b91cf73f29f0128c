#include "settings/InstallerSettingsImpl.h"

#include "settings/SettingsAccessors.h"

bool InstallerSettingsImpl::SetBool(const std::string& key, const std::string& name, bool value) {
    return vmds::WriteInstallBool(key, name, value);
}

bool InstallerSettingsImpl::SetNumber(const std::string& key, const std::string& name,
                                      uint32_t value) {
    return vmds::WriteInstallNumber(key, name, value);
}

bool InstallerSettingsImpl::SetString(const std::string& key, const std::string& name,
                                      const std::string& text) {
    return vmds::WriteInstallString(key, name, text);
}

bool InstallerSettingsImpl::GetString(const std::string& key, const std::string& name,
                                      std::string& text) {
    if (!vmds::ReadInstallString(key, name, text)) {
        text.clear();
        return false;
    }
    return true;
}
