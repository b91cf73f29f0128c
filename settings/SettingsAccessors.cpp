// Placeholder until the registry layer lands: every access fails.
#include "settings/SettingsAccessors.h"

namespace vmds {

bool WriteSettingsNumber(const std::string&, const std::string&, uint32_t) { return false; }
bool ReadSettingsNumber(const std::string&, const std::string&, uint32_t&) { return false; }
bool WriteSettingsString(const std::string&, const std::string&, const std::string&) {
    return false;
}
bool ReadSettingsString(const std::string&, const std::string&, std::string&) { return false; }
bool WriteInstallNumber(const std::string&, const std::string&, uint32_t) { return false; }
bool ReadInstallNumber(const std::string&, const std::string&, uint32_t&) { return false; }
bool WriteInstallBool(const std::string&, const std::string&, bool) { return false; }
bool ReadInstallBool(const std::string&, const std::string&, bool&) { return false; }
bool WriteInstallString(const std::string&, const std::string&, const std::string&) {
    return false;
}
bool ReadInstallString(const std::string&, const std::string&, std::string&) { return false; }
bool InstallKeyExists(const std::string&) { return false; }
bool DeleteInstallKey(const std::string&) { return false; }

}  // namespace vmds
