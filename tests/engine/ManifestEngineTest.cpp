// The engine's manifest operations on a manifest file on disk.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cwchar>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "engine/IEventLog.h"
#include "engine/VomoInstallImpl.h"
#include "platform/OsVersion.h"
#include "support/RecordingLog.h"
#include "support/TempDir.h"

namespace {

typedef std::vector<std::string> Strings;

using testsupport::RecordingLog;

std::string Component(const std::string& id, const std::string& inner = "") {
    return "<component id='" + id + "'>" + inner + "</component>";
}

std::string SpecXml(const std::string& name, const std::string& version, const std::string& role) {
    return "<specs><spec name='" + name + "' version='" + version + "'><role>" + role +
           "</role></spec></specs>";
}

std::string Manifest(const std::string& components, const std::string& rest = "") {
    return "<?xml version='1.0' encoding='UTF-8'?><manifest version='3.1.4.1'>"
           "<componentDefinitions>" +
           components + "</componentDefinitions>" + rest + "</manifest>";
}

class ManifestEngineTest : public ::testing::Test {
protected:
    ManifestEngineTest()
        : dir_("vcm-manifest"),
          engine_(boost::make_shared<VomoInstallImpl>(Url("http://127.0.0.1:1/m.cab"), 0)),
          log_(boost::make_shared<RecordingLog>()) {
        engine_->SetEventLog(log_);
    }

    // Writes `xml` as the manifest file and points the engine at it.
    void UseManifest(const std::string& xml) {
        const std::string path = dir_.File("manifest.xml");
        ASSERT_TRUE(testsupport::WriteFile(path, xml));
        engine_->SetManifestPath(Url::FromPath(path));
    }

    Strings ComponentIds() {
        vmi::ComponentList list;
        engine_->GetComponents(list);
        Strings ids;
        for (const vmi::ComponentPtr& c : list) {
            ids.push_back(c->GetId());
        }
        return ids;
    }

    uint32_t Find(const std::string& role, const std::string& name, const std::string& version,
                  std::set<std::string>& ids) {
        SpecQuery query;
        query.role = role;
        query.name = name;
        query.version = version;
        return engine_->FindComponentsBySpec(query, ids);
    }

    testsupport::TempDir dir_;
    boost::shared_ptr<VomoInstallImpl> engine_;
    boost::shared_ptr<RecordingLog> log_;
};

TEST_F(ManifestEngineTest, MissingManifestFileIsReportedAndLogged) {
    EXPECT_EQ(7u, engine_->LoadManifest());
    ASSERT_EQ(1u, log_->formats.size());
    EXPECT_EQ("Failed to open manifest file: %S", log_->formats[0]);

    const std::string path = dir_.File("absent.xml");
    engine_->SetManifestPath(Url::FromPath(path));
    EXPECT_EQ(7u, engine_->LoadManifest());
    ASSERT_EQ(2u, log_->arguments.size());
    EXPECT_EQ(std::wstring(path.begin(), path.end()), log_->arguments[1]);

    engine_->SetManifestPath(Url::FromPath(dir_.Path()));  // a directory is no manifest
    EXPECT_EQ(7u, engine_->LoadManifest());
    Version version;
    EXPECT_EQ(7u, engine_->ReadManifestVersion(version));
    Url url;
    EXPECT_EQ(7u, engine_->GetSetupServerUrl(url));
    vmi::ComponentPtr component;
    EXPECT_EQ(7u, engine_->CreateComponentFromManifest("a", "", component));
    engine_->SetManifestPath(Url());  // no verified manifest: every reader answers 7
    EXPECT_EQ(7u, engine_->CreateComponentFromManifest("a", "", component));
    vmi::ComponentList list;
    EXPECT_EQ(15u, engine_->GetComponents(list));
}

TEST_F(ManifestEngineTest, LoadBuildsTheCatalogue) {
    UseManifest(Manifest(
        Component("a", SpecXml("codec", "1", "decoder")) + Component("b"),
        "<bundleGroups><marketingBundleVersion>2024.1</marketingBundleVersion></bundleGroups>"
        "<resourceDefinitions>"
        " <resource id='r2'><tag>t2</tag><resid>12</resid><type>png</type></resource>"
        " <resource id='r1'><tag>old</tag><resid>1</resid><type>ico</type></resource>"
        " <resource id='r1'><tag>t1</tag><resid>11</resid><type>ico</type></resource>"
        " <resource><tag>no id</tag></resource>"
        " <resource id='partial'><tag>t</tag><type>bmp</type></resource>"
        "</resourceDefinitions>"));
    ASSERT_EQ(0u, engine_->LoadManifest());
    EXPECT_EQ(Strings({"a", "b"}), ComponentIds());
    Version version;
    EXPECT_EQ(0u, engine_->GetManifestVersion(version));
    EXPECT_EQ("3.1.4.1", version.ToString());
    std::string text;
    engine_->GetMarketingBundleVersion(text);
    EXPECT_EQ("2024.1", text);

    std::vector<ResourceDescriptor> resources;
    ASSERT_EQ(0u, engine_->GetResources(resources));
    ASSERT_EQ(3u, resources.size());
    EXPECT_EQ("partial", resources[0].id);
    EXPECT_EQ("r1", resources[1].id);
    EXPECT_EQ("t1", resources[1].tag);  // the later descriptor wins
    EXPECT_EQ("11", resources[1].resid);
    ResourceDescriptor resource;
    EXPECT_EQ(0u, engine_->GetResource("r2", resource));
    EXPECT_EQ("png", resource.type);
    EXPECT_EQ(2u, engine_->GetResource("partial", resource));
    EXPECT_EQ(2u, engine_->GetResource("none", resource));

    vmi::ComponentPtr component;
    EXPECT_EQ(0u, engine_->GetComponent("b", component));
    EXPECT_EQ("b", component->GetId());
}

TEST_F(ManifestEngineTest, PlatformFilterDropsAndKeepsComponents) {
    uint32_t major = 0;
    uint32_t minor = 0;
    ASSERT_TRUE(platform::GetOsVersion(major, minor));
    const std::string running = std::to_string(major) + "." + std::to_string(minor);
    auto os = [](const std::string& attributes) {
        return "<requirements><os " + attributes + "/></requirements>";
    };
    UseManifest(
        Manifest(Component("keep-equal", os("version='" + running + "' condition='equal'")) +
                 Component("drop-newer", os("version='" + std::to_string(major + 1) +
                                            ".0' condition='equalorgreaterthan'")) +
                 Component("x64", os("cpu='x64'")) +
                 Component("drop-unknown-word", os("version='1.0' condition='atleast'")) +
                 Component("keep-plain")));
    ASSERT_EQ(0u, engine_->LoadManifest());
    Strings expected = {"keep-equal"};
    if (platform::IsX64Machine()) {
        expected.push_back("x64");
    }
    expected.push_back("keep-plain");
    EXPECT_EQ(expected, ComponentIds());

    // The lookup by id applies no filter.
    vmi::ComponentPtr component;
    ASSERT_EQ(0u, engine_->CreateComponentFromManifest("drop-newer", "", component));
    EXPECT_EQ("drop-newer", component->GetId());

    UseManifest(Manifest(Component("gone", os("version='0.0' condition='lessthan'"))));
    ASSERT_EQ(0u, engine_->LoadManifest());
    vmi::ComponentList list;
    EXPECT_EQ(15u, engine_->GetComponents(list));
}

TEST_F(ManifestEngineTest, FindComponentsBySpecComparesVersionTexts) {
    UseManifest(
        Manifest(Component("old", SpecXml("codec", "9", "decoder")) +
                 Component("first", SpecXml("codec", "10", "decoder")) +
                 Component("second", SpecXml("codec", "10", "decoder")) +
                 Component("other-role", SpecXml("player", "1", "viewer")) +
                 Component("many",
                           "<specs><spec name='x' version='1'/><spec name='player' version='2'>"
                           "<role>editor</role><role>viewer</role></spec></specs>")));
    ASSERT_EQ(0u, engine_->LoadManifest());

    std::set<std::string> ids;
    // The exact match of the first component in list order wins, though an earlier
    // component offers a greater version text ("9" above "10").
    EXPECT_EQ(0u, Find("decoder", "codec", "10", ids));
    EXPECT_EQ(std::set<std::string>({"first"}), ids);

    ids.clear();
    EXPECT_EQ(23u, Find("decoder", "codec", "1", ids));  // "10" and "9" are both greater
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(2u, Find("decoder", "codec", "99", ids));  // smaller texts change nothing
    EXPECT_EQ(2u, Find("Decoder", "codec", "10", ids));
    EXPECT_EQ(2u, Find("decoder", "Codec", "10", ids));
    EXPECT_EQ(2u, Find("encoder", "codec", "10", ids));
    EXPECT_EQ(0u, Find("viewer", "player", "2", ids));
    EXPECT_EQ(std::set<std::string>({"many"}), ids);
    EXPECT_EQ(23u, Find("viewer", "player", "0", ids));
}

TEST_F(ManifestEngineTest, MalformedManifestLeavesThePreviousCatalogue) {
    UseManifest(Manifest(Component("a"),
                         "<resourceDefinitions><resource id='r'><tag>t</tag><resid>1</resid>"
                         "<type>x</type></resource></resourceDefinitions>"));
    ASSERT_EQ(0u, engine_->LoadManifest());
    for (const char* bad :
         {"<manifest version='9.9.9.9'><componentDefinitions>",
          "<manifest version='9.9.9.9'></wrong>", "", "just text", "<!-- only a comment -->"}) {
        UseManifest(bad);
        EXPECT_EQ(14u, engine_->LoadManifest()) << bad;
        EXPECT_EQ(Strings({"a"}), ComponentIds());
        Version version;
        engine_->GetManifestVersion(version);
        EXPECT_EQ("3.1.4.1", version.ToString());
        std::vector<ResourceDescriptor> resources;
        EXPECT_EQ(0u, engine_->GetResources(resources));
        Version read;
        EXPECT_EQ(14u, engine_->ReadManifestVersion(read));
        Url url;
        EXPECT_EQ(14u, engine_->GetSetupServerUrl(url));
        vmi::ComponentPtr component;
        EXPECT_EQ(2u, engine_->CreateComponentFromManifest("a", "", component));
    }
    // The good load tells what it read; each failed load says why, once.
    std::vector<std::string> expected(5, "Failed to parse manifest file: %S: %s\n");
    expected.insert(expected.begin(), "Manifest version %s loaded: %u components\n");
    EXPECT_EQ(expected, log_->formats);
}

TEST_F(ManifestEngineTest, LookupsOfOneComponentAndOfTheSetupServer) {
    UseManifest(
        Manifest(Component("a",
                           "<streams><stream id='beta'><displayVersion>2-beta</displayVersion>"
                           "</stream></streams>") +
                 Component("Setup", "<serverUrl>http://setup.example:81/api?x=1</serverUrl>") +
                 "<component id=\"it's\"/>"));
    vmi::ComponentPtr component;
    ASSERT_EQ(0u, engine_->CreateComponentFromManifest("a", "beta", component));
    EXPECT_EQ("beta", component->GetStreamId());
    std::string text;
    component->GetDisplayVersion(text);
    EXPECT_EQ("2-beta", text);
    EXPECT_EQ(2u, engine_->CreateComponentFromManifest("x", "", component));
    // An id holding a quote makes the lookup malformed: nothing is found.
    EXPECT_EQ(2u, engine_->CreateComponentFromManifest("it's", "", component));
    EXPECT_EQ(2u, engine_->CreateComponentFromManifest("a' or @id='Setup", "", component));

    Url url;
    ASSERT_EQ(0u, engine_->GetSetupServerUrl(url));
    EXPECT_EQ("http://setup.example:81/api?x=1", url.ToString());
    UseManifest(Manifest(Component("a", "<serverUrl>http://wrong</serverUrl>")));
    EXPECT_EQ(2u, engine_->GetSetupServerUrl(url));
}

TEST_F(ManifestEngineTest, ManifestVersionIsReadFromTheFileUntilLoaded) {
    UseManifest("<manifest build='1'><x version='5.6.7.8'/></manifest>");
    Version version;
    EXPECT_EQ(0u, engine_->GetManifestVersion(version));  // first version attribute anywhere
    EXPECT_EQ("5.6.7.8", version.ToString());
    UseManifest("<manifest><componentDefinitions/></manifest>");
    Version none("1.1.1.1");
    EXPECT_EQ(2u, engine_->ReadManifestVersion(none));
    EXPECT_EQ("1.1.1.1", none.ToString());
    UseManifest(Manifest(""));
    ASSERT_EQ(0u, engine_->LoadManifest());
    UseManifest("<manifest version='7.7.7.7'/>");
    EXPECT_EQ(0u, engine_->GetManifestVersion(version));  // the loaded one is kept
    EXPECT_EQ("3.1.4.1", version.ToString());
}

TEST_F(ManifestEngineTest, PostInstallPageOfTheSelectedComponents) {
    UseManifest(
        Manifest(Component("a") +
                 Component("b", "<postInstallPageOverride>http://b</postInstallPageOverride>") +
                 Component("c", "<postInstallPageOverride>http://c</postInstallPageOverride>")));
    ASSERT_EQ(0u, engine_->LoadManifest());
    std::string page;
    ASSERT_EQ(0u, engine_->GetPostInstallPage({"c"}, page));
    EXPECT_EQ("http://c", page);
    EXPECT_EQ(2u, engine_->GetPostInstallPage({"a"}, page));
    EXPECT_EQ(2u, engine_->GetPostInstallPage({}, page));
    // Several components selected: the engine's own page, empty until an offer sets it.
    EXPECT_EQ(2u, engine_->GetPostInstallPage({"a", "c"}, page));
}

TEST_F(ManifestEngineTest, HostileBytesDoNoHarm) {
    const std::string huge(1 << 20, 'v');
    UseManifest(Manifest(
        Component("\xc3\xa9t\xff",
                  "<nameGroup><name lang='\xfe'>\x80\x81</name></nameGroup>"
                  "<package><type>exe</type><url>http://\xff/x</url></package>" +
                      SpecXml("s", "1", "r")) +
        Component("big", "<displayVersion>" + huge + "</displayVersion><specs><spec name='" + huge +
                             "' version='1'><role cost='" + huge + "'>r</role></spec></specs>")));
    ASSERT_EQ(0u, engine_->LoadManifest());
    EXPECT_EQ(2u, ComponentIds().size());
    vmi::ComponentPtr component;
    ASSERT_EQ(0u, engine_->GetComponent("\xc3\xa9t\xff", component));
    boost::shared_ptr<vmi::IMultiLangString> name;
    EXPECT_EQ(0u, component->GetName(name));
    PackageType type;
    std::string args;
    Url url;
    EXPECT_EQ(0u, component->GetPackage(type, args, url));
    EXPECT_TRUE(url.IsEmpty());  // a URL that is not UTF-8 is not split
    std::set<std::string> ids;
    EXPECT_EQ(0u, Find("r", huge, "1", ids));
    EXPECT_EQ(std::set<std::string>({"big"}), ids);

    // A lead byte that swallows a closing quote breaks the XML: refused, catalogue kept.
    UseManifest(Manifest(Component("x\xe9")));
    EXPECT_EQ(14u, engine_->LoadManifest());
    EXPECT_EQ(2u, ComponentIds().size());
}

TEST_F(ManifestEngineTest, ThousandsOfComponents) {
    std::string components;
    for (int i = 0; i < 5000; ++i) {
        const std::string n = std::to_string(i);
        components +=
            Component("c" + n, SpecXml("spec" + n, "1", "role") +
                                   "<dependencies><componentRef id='c0'/></dependencies>");
    }
    UseManifest(Manifest(components));
    ASSERT_EQ(0u, engine_->LoadManifest());
    EXPECT_EQ(5000u, ComponentIds().size());
    std::set<std::string> ids;
    EXPECT_EQ(0u, Find("role", "spec4999", "1", ids));
    EXPECT_EQ(std::set<std::string>({"c4999"}), ids);
    vmi::ComponentPtr component;
    ASSERT_EQ(0u, engine_->GetComponent("c2500", component));
    std::vector<Spec> specs;
    component->GetSpecs(specs);
    ASSERT_EQ(1u, specs.size());  // only its own, among 5000 siblings
    EXPECT_EQ("spec2500", specs[0].name);
}

}  // namespace
