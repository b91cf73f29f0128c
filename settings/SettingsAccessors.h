// One-shot accessors: each opens "Install/" + key (machine hive) or "Settings/" + key (user
// hive, machine hive as read fallback) through OpenSettings, performs one typed operation and
// releases the node. An empty key or (where taken) an empty value name fails at once.
#pragma once

#include <cstdint>
#include <string>

namespace vmds {

// Settings area: written to the user hive (mode 8), read from user then machine (mode 5).
bool WriteSettingsNumber(const std::string& key, const std::string& name, uint32_t value);
bool ReadSettingsNumber(const std::string& key, const std::string& name, uint32_t& value);
bool WriteSettingsString(const std::string& key, const std::string& name, const std::string& text);
bool ReadSettingsString(const std::string& key, const std::string& name, std::string& text);

// Install area: created in the machine hive (mode 9), read from it (mode 6).
bool WriteInstallNumber(const std::string& key, const std::string& name, uint32_t value);
bool ReadInstallNumber(const std::string& key, const std::string& name, uint32_t& value);
bool WriteInstallBool(const std::string& key, const std::string& name, bool value);
bool ReadInstallBool(const std::string& key, const std::string& name, bool& value);
bool WriteInstallString(const std::string& key, const std::string& name, const std::string& text);
bool ReadInstallString(const std::string& key, const std::string& name, std::string& text);
// Deletes the value `name` of "Install/" + key (opened with full access, mode 3); true when it
// is gone, also when there was none.
bool DeleteInstallValue(const std::string& key, const std::string& name);
// True when "Install/" + key opens for reading in the machine hive.
bool InstallKeyExists(const std::string& key);
// Deletes "Install/" + key with its whole subtree (opened with full access, mode 3).
bool DeleteInstallKey(const std::string& key);

// Forces every write to the machine hive so far (this process's and others') to the disk, so
// that a power loss cannot take it back: once at the end of a run that changed what is
// installed, not after each write (writes survive a killed process without it).
bool FlushInstallArea();

}  // namespace vmds
