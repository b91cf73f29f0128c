// The install-area writers and the string reader as an interface, handed to the
// installed-component registry and the package launcher. Keys are relative to "Install/" in
// the machine hive; writers create a missing key.
#pragma once

#include <cstdint>
#include <string>

class IInstallerSettings {
public:
    virtual ~IInstallerSettings() = default;
    virtual bool SetBool(const std::string& key, const std::string& name, bool value) = 0;
    virtual bool SetNumber(const std::string& key, const std::string& name, uint32_t value) = 0;
    virtual bool SetString(const std::string& key, const std::string& name,
                           const std::string& text) = 0;
    // Replaces `text` with the value, or with the empty text when the read fails.
    virtual bool GetString(const std::string& key, const std::string& name, std::string& text) = 0;
};
