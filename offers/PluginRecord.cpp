#include "offers/PluginRecord.h"

#include <algorithm>
#include <set>

#include "engine/ManifestQuery.h"
#include "engine/TextScan.h"
#include "packages/PackageDigest.h"

namespace {

// "%u" of the text of `path`; 0 when the element is absent or holds no number.
uint32_t NumberAt(const TiXmlNode* node, const char* path) {
    std::string text;
    uint32_t value = 0;
    if (!QueryText(node, path, text) || !ScanUnsigned(text, value)) {
        return 0;
    }
    return value;
}

// The multi-language "//text" below the first progress text of `session`.
boost::shared_ptr<vmi::IMultiLangString> ProgressText(const TiXmlNode* node,
                                                      const std::string& session) {
    std::vector<const TiXmlNode*> nodes;
    boost::shared_ptr<vmi::IMultiLangString> text;
    if (!QueryNodes(node, "//progressText[@session='" + session + "']", nodes) ||
        !QueryMultiLangString(nodes.front(), "//text", text)) {
        return boost::shared_ptr<vmi::IMultiLangString>();
    }
    return text;
}

}  // namespace

void ParsePluginTest(const TiXmlNode* node, PluginTestRecord& record) {
    record = PluginTestRecord();
    std::string text;
    QueryAttribute(node, "self::pluginTest", "id", record.id);
    record.status = QueryAttribute(node, "self::pluginTest", "status", text) && text == "on";
    QueryText(node, "trackingId", record.trackingId);
    record.testPercentage = NumberAt(node, "testPercentage");
    QueryTextList(node, "//supportedLangs//lang", record.supportedLanguages);

    std::vector<const TiXmlNode*> refs;
    QueryNodes(node, "//testPlugin//pluginRef", refs);
    for (const TiXmlNode* ref : refs) {
        std::string id;
        if (QueryAttribute(ref, "self::pluginRef", "id", id) && !id.empty() &&
            QueryText(ref, "self::pluginRef", text)) {
            record.pluginIds.push_back(id);
            record.pluginTexts[id] = text;
        }
    }
    record.control = QueryText(node, "testControl", text) && !text.empty();
}

void ParsePlugin(const TiXmlNode* node, PluginRecord& record, const PluginTestIndex& tests) {
    record = PluginRecord();
    std::string text;
    QueryAttribute(node, "self::plugin", "id", record.id);
    record.priority = NumberAt(node, "priority");
    QueryText(node, "reportid", record.reportId);
    boost::shared_ptr<vmi::IMultiLangString> name;
    if (QueryMultiLangString(node, "//displayNameGroup/name", name)) {
        record.displayName = name;
    }
    QueryText(node, "sourceUrl", record.sourceUrl);
    record.requiresInetConnect = NumberAt(node, "requiresInetConnect");
    if (QueryText(node, "//package/type", text)) {
        record.packageType = PackageTypeFromText(text);
    }
    QueryText(node, "//package/commandLineArgs", record.commandLineArgs);
    QueryText(node, "//package/url", record.packageUrl);
    if (QueryText(node, "//package/sha256", text)) {
        record.packageSha256 = PresentDigestText(text);
    }
    record.downloadProgressText = ProgressText(node, "download");
    record.installProgressText = ProgressText(node, "install");
    record.testsEnabled = QueryAttribute(node, "pluginTests", "status", text) && text == "on";

    std::vector<std::string> ids;
    QueryAttributeList(node, "//pluginTestRef", "id", ids);
    std::set<std::string> seen;
    for (const std::string& id : ids) {
        if (!seen.insert(id).second) {
            continue;
        }
        record.testIds.push_back(id);
        const PluginTestIndex::const_iterator test = tests.find(id);
        if (test != tests.end()) {
            record.tests.push_back(test->second);
        }
    }
}

void SortBundlePlugins(std::vector<PluginRecord>& plugins) {
    std::stable_sort(plugins.begin(), plugins.end(),
                     [](const PluginRecord& a, const PluginRecord& b) {
                         if (a.priority == 0 || b.priority == 0) {
                             return a.priority == 0 && b.priority != 0;
                         }
                         return a.priority > b.priority;
                     });
}
