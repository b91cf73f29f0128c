#include "api/SettingsShim.h"

#include "settings/IVomoSettings.h"
#include "settings/KeyName.h"
#include "settings/SettingsAccessors.h"

namespace vcm {

namespace {

// One subkey per component id below this key of the machine hive.
const char kUniqueInstallKey[] = "Install\\Setup\\UniqueInstall\\";
const char kUniqueValuePrefix[] = "Unique-";

}  // namespace

// Keys are the names of single keys (component ids and "Update"): a key holding "\" or "/"
// would reach into another part of the product's registry (an id "Setup\Reports" would address
// the failed-ping store), so such keys are refused like empty ones.

bool SettingsShim::IsInstalled(const std::string& key) {
    return vmds::IsComponentKeyName(key) && vmds::InstallKeyExists(key);
}

bool SettingsShim::ReadString(const std::string& key, const std::string& name, std::string& value) {
    return vmds::IsPlainKeyName(key) && !name.empty() && vmds::ReadSettingsString(key, name, value);
}

bool SettingsShim::ReadDword(const std::string& key, const std::string& name, uint32_t& value) {
    return vmds::IsPlainKeyName(key) && !name.empty() && vmds::ReadSettingsNumber(key, name, value);
}

bool SettingsShim::WriteDword(const std::string& key, const std::string& name, uint32_t value) {
    return vmds::IsPlainKeyName(key) && !name.empty() &&
           vmds::WriteSettingsNumber(key, name, value);
}

bool SettingsShim::WriteString(const std::string& key, const std::string& name,
                               const std::string& value) {
    return vmds::IsPlainKeyName(key) && !name.empty() &&
           vmds::WriteSettingsString(key, name, value);
}

bool SettingsShim::IsUniqueInstallRecorded(const std::string& id) {
    if (!vmds::IsPlainKeyName(id)) {
        return false;
    }
    vmds::IVomoSettings::Ptr node;
    if (!vmds::OpenSettings(kUniqueInstallKey + id, vmds::kOpenMachineWrite, &node)) {
        return false;
    }
    std::string data;
    return node->GetString(kUniqueValuePrefix + id, data);
}

bool SettingsShim::RecordUniqueInstall(const std::string& id) {
    if (!vmds::IsPlainKeyName(id)) {
        return false;
    }
    const std::string path = kUniqueInstallKey + id;
    vmds::IVomoSettings::Ptr node;
    if (!vmds::OpenSettings(path, vmds::kOpenMachineWrite, &node) &&
        !vmds::OpenSettings(path, vmds::kCreateMachine, &node)) {
        return false;
    }
    const std::string name = kUniqueValuePrefix + id;
    std::string data;
    if (node->GetString(name, data)) {
        return false;  // recorded before
    }
    if (!IsInstalled(id)) {
        return false;
    }
    return node->SetString(name, std::string());
}

}  // namespace vcm
