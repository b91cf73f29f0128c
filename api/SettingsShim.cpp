#include "api/SettingsShim.h"

// Placeholder until the settings store lands: every operation reports failure.
namespace vcm {

bool SettingsShim::IsInstalled(const std::string&) {
    return false;
}
bool SettingsShim::ReadString(const std::string&, const std::string&, std::string&) {
    return false;
}
bool SettingsShim::ReadDword(const std::string&, const std::string&, uint32_t&) {
    return false;
}
bool SettingsShim::WriteDword(const std::string&, const std::string&, uint32_t) {
    return false;
}
bool SettingsShim::WriteString(const std::string&, const std::string&, const std::string&) {
    return false;
}
bool SettingsShim::IsUniqueInstallRecorded(const std::string&) {
    return false;
}
bool SettingsShim::RecordUniqueInstall(const std::string&) {
    return false;
}

}  // namespace vcm
