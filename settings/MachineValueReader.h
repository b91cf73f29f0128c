// One-shot reads of the install area (SettingsAccessors.h) without a settings node: the value
// is read in one registry call (platform::RegReadValueW), and decoded by the rules a node's
// getters follow (VomoSettings.h). Each function answers exactly what OpenSettings(path,
// kOpenMachineRead) followed by the getter of the same name answers, failures of the hive
// reported alike, in a fraction of the time. Any thread may call them.
#pragma once

#include <cstdint>
#include <string>

namespace vmds {

// `path` as OpenSettings takes it ("/" and "\" both separate); `name` not empty.
bool ReadMachineUInt32(const std::string& path, const std::string& name, uint32_t& value);
bool ReadMachineBool(const std::string& path, const std::string& name, bool& value);
bool ReadMachineString(const std::string& path, const std::string& name, std::string& text);

}  // namespace vmds
