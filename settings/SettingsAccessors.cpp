#include "settings/SettingsAccessors.h"

#include "platform/LastError.h"
#include "platform/Registry.h"
#include "settings/IVomoSettings.h"
#include "settings/InstallKeySnapshot.h"
#include "settings/MachineValueReader.h"

namespace vmds {

namespace {

const char kInstallArea[] = "Install/";
const char kSettingsArea[] = "Settings/";

// Opens `area` + `key` with `mode` and runs `operation` on the node, which is released when the
// call returns. An empty key fails without touching the registry.
template <class Operation>
bool WithKey(const char* area, const std::string& key, uint32_t mode, Operation operation) {
    if (key.empty()) {
        return false;
    }
    IVomoSettings::Ptr node;
    if (!OpenSettings(area + key, mode, &node)) {
        return false;
    }
    return operation(*node);
}

// The same for an operation on one value: an empty value name fails first.
template <class Operation>
bool WithValue(const char* area, const std::string& key, const std::string& name, uint32_t mode,
               Operation operation) {
    if (name.empty()) {
        return false;
    }
    return WithKey(area, key, mode, operation);
}

}  // namespace

bool WriteSettingsNumber(const std::string& key, const std::string& name, uint32_t value) {
    return WithValue(kSettingsArea, key, name, kCreateUserMachineFallback,
                     [&](IVomoSettings& node) { return node.SetUInt32(name, value); });
}

bool ReadSettingsNumber(const std::string& key, const std::string& name, uint32_t& value) {
    return WithValue(kSettingsArea, key, name, kOpenBothRead,
                     [&](IVomoSettings& node) { return node.GetUInt32(name, value); });
}

bool WriteSettingsString(const std::string& key, const std::string& name, const std::string& text) {
    return WithValue(kSettingsArea, key, name, kCreateUserMachineFallback,
                     [&](IVomoSettings& node) { return node.SetString(name, text); });
}

bool ReadSettingsString(const std::string& key, const std::string& name, std::string& text) {
    return WithValue(kSettingsArea, key, name, kOpenBothRead,
                     [&](IVomoSettings& node) { return node.GetString(name, text); });
}

bool WriteInstallNumber(const std::string& key, const std::string& name, uint32_t value) {
    return WithValue(kInstallArea, key, name, kCreateMachine,
                     [&](IVomoSettings& node) { return node.SetUInt32(name, value); });
}

// The install area's reads need no node: one registry call each (MachineValueReader.h).
bool ReadInstallNumber(const std::string& key, const std::string& name, uint32_t& value) {
    return !key.empty() && !name.empty() && !InstallKeySnapshot::KnownMissing(key) &&
           ReadMachineUInt32(kInstallArea + key, name, value);
}

bool WriteInstallBool(const std::string& key, const std::string& name, bool value) {
    return WithValue(kInstallArea, key, name, kCreateMachine,
                     [&](IVomoSettings& node) { return node.SetBool(name, value); });
}

bool ReadInstallBool(const std::string& key, const std::string& name, bool& value) {
    return !key.empty() && !name.empty() && !InstallKeySnapshot::KnownMissing(key) &&
           ReadMachineBool(kInstallArea + key, name, value);
}

bool WriteInstallString(const std::string& key, const std::string& name, const std::string& text) {
    return WithValue(kInstallArea, key, name, kCreateMachine,
                     [&](IVomoSettings& node) { return node.SetString(name, text); });
}

bool ReadInstallString(const std::string& key, const std::string& name, std::string& text) {
    return !key.empty() && !name.empty() && !InstallKeySnapshot::KnownMissing(key) &&
           ReadMachineString(kInstallArea + key, name, text);
}

bool DeleteInstallValue(const std::string& key, const std::string& name) {
    return WithValue(kInstallArea, key, name, kOpenMachineWrite, [&](IVomoSettings& node) {
        return node.DeleteValue(name) ||
               platform::GetLastErrorCode() == platform::kErrorFileNotFound;
    });
}

bool InstallKeyExists(const std::string& key) {
    return WithKey(kInstallArea, key, kOpenMachineRead, [](IVomoSettings&) { return true; });
}

bool DeleteInstallKey(const std::string& key) {
    return WithKey(kInstallArea, key, kOpenMachineWrite,
                   [](IVomoSettings& node) { return node.DeleteKey(); });
}

bool FlushInstallArea() {
    return platform::RegFlushKey(platform::kHKeyLocalMachine) == 0;
}

}  // namespace vmds
