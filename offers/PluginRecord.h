// Plug-ins and plug-in tests as the manifest describes them, and their readers.
//
// A plug-in is a small installer package offered beside the components; a plug-in test
// describes an experiment over plug-ins. The system only carries the test data (share,
// control flag, languages) to its caller: it draws no random numbers and chooses nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include <tinyxml.h>
#include <boost/shared_ptr.hpp>

#include "engine/ComponentRecord.h"
#include "engine/IMultiLangString.h"

struct PluginTestRecord {
    bool status = false;   // switched on: attribute "status" is exactly "on"
    bool control = false;  // has a non-empty testControl
    std::string id;
    uint32_t testPercentage = 0;
    // The ids of the plug-ins under test, in document order, and the text of each one's
    // reference element.
    std::vector<std::string> pluginIds;
    std::map<std::string, std::string> pluginTexts;
    std::string trackingId;
    std::vector<std::string> supportedLanguages;
};

typedef boost::shared_ptr<const PluginTestRecord> PluginTestPtr;
// The plug-in tests a manifest defines, by id: the first test of each id.
typedef std::unordered_map<std::string, PluginTestPtr> PluginTestIndex;

struct PluginRecord {
    std::string id;
    uint32_t priority = 0;  // 0 when none is given
    std::string reportId;
    boost::shared_ptr<vmi::IMultiLangString> displayName;
    std::string sourceUrl;
    uint32_t requiresInetConnect = 0;
    PackageType packageType = kPackageNone;
    std::string commandLineArgs;
    std::string packageUrl;
    std::string packageSha256;  // text of `package/sha256`, empty when absent
    boost::shared_ptr<vmi::IMultiLangString> downloadProgressText;
    boost::shared_ptr<vmi::IMultiLangString> installProgressText;
    bool testsEnabled = false;  // attribute "status" of the pluginTests child is exactly "on"
    // The ids of the plug-in's pluginTestRef elements (attribute "id"), in document order,
    // each once, and the test records they name: the first test of each id; a reference to a
    // test the manifest does not define keeps its id and attaches nothing. Test records are
    // shared, not copied, between the plug-ins that refer to them.
    std::vector<std::string> testIds;
    std::vector<PluginTestPtr> tests;
};

// Reads a `pluginTest` element into a fresh record. Numbers are scanned as "%u" (a text that
// is not a number gives 0). Every pluginRef below a testPlugin element with a non-empty "id"
// is listed, in document order, however the references are spread over testPlugin elements.
void ParsePluginTest(const TiXmlNode* node, PluginTestRecord& record);

// Reads a `plugin` element into a fresh record, attaching the tests it names from `tests` (the
// tests read so far).
void ParsePlugin(const TiXmlNode* node, PluginRecord& record, const PluginTestIndex& tests);

// The order in which a bundle hands out its plug-ins: those without a priority (0) first, then
// by descending priority; plug-ins of equal priority keep their order (stable).
void SortBundlePlugins(std::vector<PluginRecord>& plugins);
