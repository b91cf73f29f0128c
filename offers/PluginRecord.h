// Plug-ins and plug-in tests as the manifest describes them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/ComponentRecord.h"
#include "engine/IMultiLangString.h"

struct PluginTestRecord {
    bool status = false;   // switched on
    bool control = false;  // has a non-empty testControl
    std::string id;
    uint32_t testPercentage = 0;
    std::vector<std::string> pluginIds;
    std::map<std::string, std::string> pluginTexts;
    std::string trackingId;
    std::vector<std::string> supportedLanguages;
};

struct PluginRecord {
    std::string id;
    uint32_t priority = 0;
    std::string reportId;
    boost::shared_ptr<vmi::IMultiLangString> displayName;
    std::string sourceUrl;
    uint32_t requiresInetConnect = 0;
    PackageType packageType = kPackageNone;
    std::string commandLineArgs;
    std::string packageUrl;
    boost::shared_ptr<vmi::IMultiLangString> downloadProgressText;
    boost::shared_ptr<vmi::IMultiLangString> installProgressText;
    bool testsEnabled = false;
    std::vector<std::string> testIds;
    std::vector<PluginTestRecord> tests;
};
