// Components: parsing a component element, streams, the registry values of an installed
// component, and the platform filter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ComponentImpl.h"
#include "engine/Locale.h"
#include "engine/XmlFixture.h"
#include "packages/PackageDigest.h"
#include "platform/OsVersion.h"
#include "settings/SettingsAccessors.h"

using enginetest::Child;
using enginetest::ParsedXml;

namespace {

typedef std::vector<std::string> Strings;

// The first component of a manifest text.
vmi::ComponentPtr ParseFirst(const std::string& components) {
    ParsedXml xml("<manifest><componentDefinitions>" + components +
                  "</componentDefinitions></manifest>");
    EXPECT_EQ(0u, xml.Result());
    vmi::ComponentPtr component;
    EXPECT_EQ(0u, CreateComponent(Child(Child(xml.Root(), "componentDefinitions"), "component"),
                                  component));
    return component;
}

std::string Text(const boost::shared_ptr<vmi::IMultiLangString>& text, const char* code) {
    std::string value;
    return text && text->GetText(code, value) == 0 ? value : "<none>";
}

const char* const kRichComponent =
    "<component id='player' installGroup='true' order='7'>"
    " <installGroup>media</installGroup>"
    " <isOptional>1</isOptional><isDefaultChecked>true</isDefaultChecked>"
    " <isUpdateOnly>yes</isUpdateOnly><isUpdateDeferred>true</isUpdateDeferred>"
    " <isDowngradeVersion>true</isDowngradeVersion>"
    " <installSize>12345</installSize><latestVersion rollout='30'>2.1.0.7</latestVersion>"
    " <displayVersion>2.1</displayVersion><postInstallPageOverride>http://p/x</"
    "postInstallPageOverride>"
    " <specs>"
    "  <spec name='codec' version='3'><role cost='1'>decoder</role><role>encoder</role></spec>"
    "  <spec name='player' version='10'/>"
    " </specs>"
    " <nameGroup><name lang='en-us'>Player</name><name lang='de-de'>Spieler</name>"
    "  <name lang='fr-fr'>Lecteur</name></nameGroup>"
    " <descriptionGroup session='install'><description lang='en-us'>ignored</description>"
    " </descriptionGroup>"
    " <component>"
    "  <descriptionGroup session='install'><description lang='en-us'>Installs it</description>"
    "  </descriptionGroup>"
    "  <descriptionGroup session='update'><description lang='en-us'>Updates it</description>"
    "  </descriptionGroup>"
    "  <descriptionGroup><description lang='en-us'>no session</description></descriptionGroup>"
    " </component>"
    " <requirements><os cpu='x64' version='6.1' condition='equalorgreaterthan'/></requirements>"
    " <package><type>nsis</type><commandLineArgs>/S /q</commandLineArgs>"
    "  <url>http://dl.example:8080/player/setup.cab?v=2</url>"
    "  <sha256>0123456789ABCDEFabcdef0123456789ABCDEFabcdef0123456789ABCDEFabcd</sha256></package>"
    " <progressTexts>"
    "  <progressText session='download'><text lang='en-us'>Downloading</text></progressText>"
    "  <progressText session='install'><text lang='en-us'>Installing</text>"
    "   <text lang='de-de'>Installiere</text></progressText>"
    "  <progressText><text lang='en-us'>no session</text></progressText>"
    " </progressTexts>"
    " <dependencies><componentRef id='runtime'/><componentRef id='codecs'/></dependencies>"
    " <optionalDependencies><componentRef id='skins'/></optionalDependencies>"
    " <dynamicDependencies><componentRef id='plugin'/><componentRef/></dynamicDependencies>"
    " <resourceRef id='icon'/><resourceRef id='banner'/>"
    " <shutdownModuleGroup><shutdownModule>player.exe</shutdownModule>"
    "  <shutdownModule></shutdownModule><shutdownModule>tray.exe</shutdownModule>"
    " </shutdownModuleGroup>"
    " <buyUrlRef id='buy'/><messageRef id='msg'/>"
    " <streams>"
    "  <stream id='beta'><latestVersion rollout='5'>3.0.0.1</latestVersion><displayVersion>3.0 "
    "beta</displayVersion>"
    "   <package><url>http://dl.example/beta.cab</url></package>"
    "   <nameGroup><name lang='en-us'>Player Beta</name></nameGroup>"
    "  </stream>"
    "  <stream id='lts' "
    "installGroup='false'><postInstallPageOverride>http://p/lts</postInstallPageOverride>"
    "   <isUpdateOnly>1</isUpdateOnly></stream>"
    " </streams>"
    "</component>";

TEST(ComponentTest, ParsesEveryPartOfARichComponent) {
    vmi::Locale::ClearSelection();
    vmi::ComponentPtr c = ParseFirst(kRichComponent);
    ASSERT_TRUE(c);
    EXPECT_EQ("player", c->GetId());
    EXPECT_TRUE(c->IsInInstallGroup());
    EXPECT_EQ("media", c->GetInstallGroup());
    uint32_t number = 0;
    c->GetOrder(number);
    EXPECT_EQ(7u, number);
    EXPECT_TRUE(c->IsOptional());
    EXPECT_TRUE(c->IsDefaultChecked());
    EXPECT_FALSE(c->IsUpdateOnly());
    EXPECT_TRUE(c->IsUpdateDeferred());
    c->GetInstallSize(number);
    EXPECT_EQ(12345u, number);
    Version latest;
    c->GetLatestVersion(latest);
    EXPECT_EQ("2.1.0.7", latest.ToString());
    std::string text;
    c->GetDisplayVersion(text);
    EXPECT_EQ("2.1", text);

    std::vector<Spec> specs;
    c->GetSpecs(specs);
    ASSERT_EQ(2u, specs.size());
    EXPECT_EQ("codec", specs[0].name);
    EXPECT_EQ("3", specs[0].version);
    ASSERT_EQ(2u, specs[0].roles.size());
    EXPECT_EQ("decoder", specs[0].roles[0].text);
    EXPECT_EQ("1", specs[0].roles[0].cost);
    EXPECT_EQ("encoder", specs[0].roles[1].text);
    EXPECT_EQ("", specs[0].roles[1].cost);
    EXPECT_EQ("player", specs[1].name);
    EXPECT_TRUE(specs[1].roles.empty());

    boost::shared_ptr<vmi::IMultiLangString> ml;
    ASSERT_EQ(0u, c->GetName(ml));
    EXPECT_EQ(3u, ml->GetCount());
    EXPECT_EQ("Spieler", Text(ml, "de-de"));
    EXPECT_EQ("Lecteur", Text(ml, "fr-fr"));
    ASSERT_EQ(0u, c->GetInstallDescription(ml));
    EXPECT_EQ("Installs it", Text(ml, "en-us"));
    ASSERT_EQ(0u, c->GetUpdateDescription(ml));
    EXPECT_EQ("Updates it", Text(ml, "en-us"));

    ComponentRecord record;
    c->GetRecord(record);
    EXPECT_EQ("0123456789ABCDEFabcdef0123456789ABCDEFabcdef0123456789ABCDEFabcd",
              record.packageSha256);

    std::string cpu, version, condition;
    c->GetOsRequirement(cpu, version, condition);
    EXPECT_EQ("x64", cpu);
    EXPECT_EQ("6.1", version);
    EXPECT_EQ("equalorgreaterthan", condition);

    PackageType type = kPackageNone;
    Url url;
    ASSERT_EQ(0u, c->GetPackage(type, text, url));
    EXPECT_EQ(kPackageNsis, type);
    EXPECT_EQ("/S /q", text);
    EXPECT_EQ("dl.example", url.GetHost());
    EXPECT_EQ("8080", url.GetPort());
    EXPECT_EQ("v=2", url.GetQuery());

    ASSERT_EQ(0u, c->GetProgressText("download", ml));
    EXPECT_EQ("Downloading", Text(ml, "en-us"));
    ASSERT_EQ(0u, c->GetProgressText("install", ml));
    EXPECT_EQ("Installiere", Text(ml, "de-de"));
    EXPECT_EQ(2u, c->GetProgressText("uninstall", ml));
    EXPECT_EQ(2u, c->GetProgressText("other", ml));

    Strings list;
    c->GetDependencies(list);
    EXPECT_EQ(Strings({"runtime", "codecs"}), list);
    c->GetOptionalDependencies(list);
    EXPECT_EQ(Strings({"skins"}), list);
    c->GetDynamicDependencies(list);
    EXPECT_EQ(Strings({"plugin"}), list);
    ASSERT_EQ(0u, c->GetResourceRefs(list));
    EXPECT_EQ(Strings({"icon", "banner"}), list);
    c->GetShutdownModules(list);
    EXPECT_EQ(Strings({"player.exe", "tray.exe"}), list);
    EXPECT_EQ("buy", c->GetBuyUrlRef());
    EXPECT_EQ("msg", c->GetMessageRef());
    ASSERT_EQ(0u, c->GetPostInstallPage(text));
    EXPECT_EQ("http://p/x", text);

    c->GetRecord(record);
    ASSERT_EQ(2u, record.streams.size());
    EXPECT_EQ("beta", record.streams[0]->GetStreamId());
    EXPECT_EQ("", record.streams[0]->GetId());
    EXPECT_EQ("lts", record.streams[1]->GetStreamId());
    EXPECT_TRUE(record.isDowngradeVersion);
    EXPECT_EQ(30u, record.rollout);
    // No locale selected: the texts come through the fallback language.
    EXPECT_EQ("Player", record.name);
    EXPECT_EQ("Installs it", record.description);
    EXPECT_EQ("", record.locale);
    EXPECT_EQ("", c->GetStreamId());
}

TEST(ComponentTest, AbsentOrUnusableValuesKeepTheDefaults) {
    vmi::ComponentPtr c = ParseFirst(
        "<component id='c' installGroup='TRUE' order='many'><isOptional>yes</isOptional>"
        "<installSize>lots</installSize><latestVersion>1.2.3</latestVersion>"
        "<package><type>zip</type><url>\xff\xfe bad</url><sha256/></package>"
        "<progressTexts><progressText><text lang='en-us'>x</text></progressText></progressTexts>"
        "</component>");
    EXPECT_FALSE(c->IsInInstallGroup());
    EXPECT_FALSE(c->IsOptional());
    uint32_t number = 99;
    c->GetOrder(number);
    EXPECT_EQ(0u, number);
    c->GetInstallSize(number);
    EXPECT_EQ(0u, number);
    Version latest("9.9.9.9");
    c->GetLatestVersion(latest);
    EXPECT_FALSE(latest.IsValid());
    EXPECT_EQ("0.0.0.0", latest.ToString());
    PackageType type;
    std::string args;
    Url url;
    EXPECT_EQ(2u, c->GetPackage(type, args, url));
    EXPECT_TRUE(url.IsEmpty());
    // An empty digest element is no digest to check against, and never "no digest".
    ComponentRecord record;
    c->GetRecord(record);
    std::string digest;
    EXPECT_EQ(DigestText::kInvalid, ParseDigestText(record.packageSha256, digest));
    boost::shared_ptr<vmi::IMultiLangString> ml;
    for (const char* session : {"download", "install", "uninstall"}) {
        EXPECT_EQ(2u, c->GetProgressText(session, ml));
    }
    EXPECT_EQ(2u, c->GetName(ml));
    Strings refs;
    EXPECT_EQ(2u, c->GetResourceRefs(refs));
    std::string page;
    EXPECT_EQ(2u, c->GetPostInstallPage(page));

    vmi::ComponentPtr empty =
        ParseFirst("<component id='e'><installSize></installSize></component>");
    empty->GetInstallSize(number);
    EXPECT_EQ(0u, number);
    Version fresh;
    empty->GetLatestVersion(fresh);
    EXPECT_TRUE(fresh.IsValid());

    // A rollout belongs to the latestVersion it stands on; one that is no whole percentage
    // pauses the release rather than sending it to every machine.
    const struct {
        const char* latest;
        uint32_t rollout;
    } rollouts[] = {
        {"<latestVersion>2.0.0.0</latestVersion>", 100},
        {"<latestVersion rollout='0'>2.0.0.0</latestVersion>", 0},
        {"<latestVersion rollout='100'>2.0.0.0</latestVersion>", 100},
        {"<latestVersion rollout='007'>2.0.0.0</latestVersion>", 7},
        {"<latestVersion rollout='101'>2.0.0.0</latestVersion>", 0},
        {"<latestVersion rollout='5%'>2.0.0.0</latestVersion>", 0},
        {"<latestVersion rollout=' 5'>2.0.0.0</latestVersion>", 0},
        {"<latestVersion rollout='-1'>2.0.0.0</latestVersion>", 0},
        {"<latestVersion rollout=''>2.0.0.0</latestVersion>", 0},
        {"<latestVersion rollout='4294967306'>2.0.0.0</latestVersion>", 0},
        {"<latestVersion rollout='5'/>", 100},  // no version: nothing to roll out
    };
    for (const auto& r : rollouts) {
        ComponentRecord record;
        ParseFirst(std::string("<component id='r'>") + r.latest + "</component>")
            ->GetRecord(record);
        EXPECT_EQ(r.rollout, record.rollout) << r.latest;
    }
}

TEST(ComponentTest, SelectingAStreamTakesItsNonEmptyValues) {
    vmi::ComponentPtr c = ParseFirst(kRichComponent);
    c->SelectStream("");
    EXPECT_EQ("", c->GetStreamId());

    c->SelectStream("beta");
    EXPECT_EQ("beta", c->GetStreamId());
    EXPECT_EQ("player", c->GetId());  // the stream has no id of its own
    Version latest;
    c->GetLatestVersion(latest);
    EXPECT_EQ("3.0.0.1", latest.ToString());
    std::string text;
    c->GetDisplayVersion(text);
    EXPECT_EQ("3.0 beta", text);
    PackageType type;
    Url url;
    c->GetPackage(type, text, url);
    EXPECT_EQ(kPackageNsis, type);  // kept: the stream names no type
    EXPECT_EQ("/S /q", text);
    EXPECT_EQ("/beta.cab", url.GetPath());
    ComponentRecord record;
    c->GetRecord(record);
    EXPECT_EQ("", record.packageSha256);  // its own address, without a digest of its own
    boost::shared_ptr<vmi::IMultiLangString> name;
    c->GetName(name);
    EXPECT_EQ("Player Beta", Text(name, "en-us"));
    EXPECT_EQ("<none>", Text(name, "de-de"));
    Strings deps;
    c->GetDependencies(deps);
    EXPECT_EQ(2u, deps.size());  // the stream has none: the component's stay
    EXPECT_TRUE(c->IsInInstallGroup());
    c->GetRecord(record);
    EXPECT_EQ(5u, record.rollout);  // the stream's version comes with its own rollout

    vmi::ComponentPtr other = ParseFirst(kRichComponent);
    other->SelectStream("lts");
    other->GetRecord(record);
    EXPECT_EQ(30u, record.rollout);  // no version of its own: the component's stays
    EXPECT_TRUE(other->IsUpdateOnly());
    EXPECT_TRUE(other->IsInInstallGroup());  // a false flag never clears a true one
    ASSERT_EQ(0u, other->GetPostInstallPage(text));
    EXPECT_EQ("http://p/lts", text);
    other->GetRecord(record);
    EXPECT_EQ("0123456789ABCDEFabcdef0123456789ABCDEFabcdef0123456789ABCDEFabcd",
              record.packageSha256);  // the component's package

    vmi::ComponentPtr unknown = ParseFirst(kRichComponent);
    unknown->SelectStream("nightly");
    EXPECT_EQ("nightly", unknown->GetStreamId());
    unknown->GetLatestVersion(latest);
    EXPECT_EQ("2.1.0.7", latest.ToString());
}

TEST(ComponentTest, PostInstallPageComesFromTheOverrideOrTheSelectedStream) {
    // Streams asked for the page: the component has no override of its own.
    const std::string streams =
        "<streams><stream id='a'><postInstallPageOverride>http://a</postInstallPageOverride>"
        "</stream><stream id='b'/></streams>";
    ComponentRecord record;
    vmi::ComponentPtr source = ParseFirst("<component id='x'>" + streams + "</component>");
    source->GetRecord(record);
    std::string page = "unchanged";

    ComponentImpl noStream(record);
    EXPECT_EQ(2u, noStream.GetPostInstallPage(page));

    record.streamId = "a";
    ComponentImpl withPage(record);
    ASSERT_EQ(0u, withPage.GetPostInstallPage(page));
    EXPECT_EQ("http://a", page);

    record.streamId = "b";
    page = "unchanged";
    EXPECT_EQ(2u, ComponentImpl(record).GetPostInstallPage(page));
    EXPECT_EQ("unchanged", page);

    // No stream of the selected id at all: nothing was found, so no success with an empty page.
    record.streamId = "missing";
    EXPECT_EQ(2u, ComponentImpl(record).GetPostInstallPage(page));
    EXPECT_EQ("unchanged", page);
}

// Stream elements nested in stream elements are each found by the component's stream query;
// a stream does not parse streams of its own, so the work stays linear in the nesting.
TEST(ComponentTest, NestedStreamsDoNotMultiplyTheWork) {
    std::string nested;
    for (int i = 0; i < 60; ++i) {
        nested += "<streams><stream id='s" + std::to_string(i) + "'>";
    }
    for (int i = 0; i < 60; ++i) {
        nested += "</stream></streams>";
    }
    vmi::ComponentPtr c = ParseFirst("<component id='deep'>" + nested + "</component>");
    ComponentRecord record;
    c->GetRecord(record);
    ASSERT_EQ(60u, record.streams.size());
    ComponentRecord streamRecord;
    record.streams[0]->GetRecord(streamRecord);
    EXPECT_TRUE(streamRecord.streams.empty());
}

TEST(ComponentTest, RecordExportUsesTheSelectedLocale) {
    vmi::ComponentPtr c = ParseFirst(kRichComponent);
    ASSERT_TRUE(vmi::Locale::Select("en-us"));
    ComponentRecord record;
    c->GetRecord(record);
    EXPECT_EQ("en-us", record.locale);
    EXPECT_EQ("Player", record.name);
    vmi::Locale::ClearSelection();

    ComponentRecord bare;
    bare.id = "bare";
    ComponentImpl fromRecord(bare);
    fromRecord.GetRecord(record);
    EXPECT_EQ("", record.name);
    EXPECT_EQ("", record.description);
    int32_t index = 0;
    fromRecord.GetIndex(index);
    EXPECT_EQ(-1, index);
    EXPECT_FALSE(fromRecord.IsHandled());
    fromRecord.MarkHandled();
    EXPECT_TRUE(fromRecord.IsHandled());
}

// Registry values of an installed component (install area, key = component id).
TEST(ComponentRegistryTest, InstalledVersionDecidesWhetherAnUpdateIsAvailable) {
    struct Case {
        const char* id;
        const char* latest;
        const char* installed;  // null: not recorded
        bool downgrade;
        uint32_t code;
        bool update;
    } cases[] = {
        {"same", "1.2.3.4", "1.2.3.4", true, 0, false},
        {"newer", "1.2.3.5", "1.2.3.4", false, 0, true},
        {"older-flagged", "1.2.3.3", "1.2.3.4", true, 0, true},
        {"older", "1.2.3.3", "1.2.3.4", false, 0, false},
        {"three-numbers", "9.0.0.0", "1.2.3", false, 6, false},
        {"not-recorded", "9.0.0.0", nullptr, false, 3, false},
        {"unparsed-latest", "x", "0.0.0.1", false, 0, false},
    };
    for (const Case& t : cases) {
        if (t.installed) {
            ASSERT_TRUE(vmds::WriteInstallString(t.id, "InstalledVersion", t.installed)) << t.id;
        }
        vmi::ComponentPtr c = ParseFirst(
            std::string("<component id='") + t.id + "'><latestVersion>" + t.latest +
            "</latestVersion>" + (t.downgrade ? "<isDowngradeVersion>1</isDowngradeVersion>" : "") +
            "</component>");
        Version installed;
        EXPECT_EQ(t.code, c->GetInstalledVersion(installed)) << t.id;
        EXPECT_EQ(t.update, c->IsUpdateAvailable()) << t.id;
    }
}

TEST(ComponentRegistryTest, InstalledStateStreamIdAndInstallSize) {
    vmi::ComponentPtr c =
        ParseFirst("<component id='reg.player'><streams><stream id='beta'/></streams></component>");
    EXPECT_FALSE(c->IsInstalled());
    ASSERT_TRUE(vmds::WriteInstallString("reg.player", "ComponentId", "reg.player"));
    EXPECT_TRUE(c->IsInstalled());

    EXPECT_EQ(0u, c->StoreInstallSize(4096));
    uint32_t size = 0;
    ASSERT_TRUE(vmds::ReadInstallNumber("reg.player", "InstallSize", size));
    EXPECT_EQ(4096u, size);

    // A recorded stream id replaces the parsed one.
    ASSERT_TRUE(vmds::WriteInstallString("reg.player", "StreamId", "lts"));
    EXPECT_EQ("lts", ParseFirst("<component id='reg.player'/>")->GetStreamId());
}

// An id that would address another registry key never reaches the settings store.
TEST(ComponentRegistryTest, IdsWithKeySeparatorsAreNeverLookedUp) {
    ASSERT_TRUE(vmds::WriteInstallString("victim", "ComponentId", "victim"));
    ASSERT_TRUE(vmds::WriteInstallString("victim", "InstalledVersion", "1.0.0.0"));
    ASSERT_TRUE(vmds::WriteInstallString("victim/sub", "StreamId", "planted"));
    ASSERT_TRUE(vmds::WriteInstallString("victim/sub", "ComponentId", "planted"));
    for (const char* id : {"victim/sub", "victim\\sub", "x/../victim", "/victim", "victim\\"}) {
        SCOPED_TRACE(id);
        vmi::ComponentPtr c = ParseFirst(std::string("<component id='") + id +
                                         "'><latestVersion>2.0.0.0</latestVersion></component>");
        EXPECT_FALSE(c->IsInstalled());
        Version installed;
        EXPECT_EQ(3u, c->GetInstalledVersion(installed));
        EXPECT_FALSE(c->IsUpdateAvailable());
        EXPECT_EQ("", c->GetStreamId());
        EXPECT_EQ(6u, c->StoreInstallSize(77));
    }
    uint32_t size = 0;
    EXPECT_FALSE(vmds::ReadInstallNumber("victim", "InstallSize", size));
    EXPECT_FALSE(vmds::ReadInstallNumber("victim/sub", "InstallSize", size));
}

vmi::ComponentPtr WithRequirement(const std::string& attributes) {
    return ParseFirst("<component id='p'><requirements><os " + attributes +
                      "/></requirements></component>");
}

TEST(PlatformFilterTest, CpuAndVersionConditions) {
    uint32_t major = 0;
    uint32_t minor = 0;
    ASSERT_TRUE(platform::GetOsVersion(major, minor));
    const std::string running = std::to_string(major) + "." + std::to_string(minor);
    const std::string above = std::to_string(major + 1) + ".0";

    EXPECT_EQ(platform::IsX64Machine(), PassesOsRequirement(WithRequirement("cpu='x64'")));
    EXPECT_TRUE(PassesOsRequirement(WithRequirement("cpu='x86'")));
    EXPECT_TRUE(PassesOsRequirement(WithRequirement("")));

    EXPECT_TRUE(
        PassesOsRequirement(WithRequirement("version='" + running + "' condition='equal'")));
    EXPECT_TRUE(PassesOsRequirement(
        WithRequirement("version='" + running + "' condition='lessthanorequal'")));
    EXPECT_FALSE(
        PassesOsRequirement(WithRequirement("version='" + running + "' condition='lessthan'")));
    EXPECT_FALSE(
        PassesOsRequirement(WithRequirement("version='" + above + "' condition='greaterthan'")));
    EXPECT_TRUE(
        PassesOsRequirement(WithRequirement("version='" + above + "' condition='lessthan'")));
    EXPECT_TRUE(PassesOsRequirement(WithRequirement("version='0.99' condition='greaterthan'")));
    // Missing numbers are 0; a missing version with a condition compares with 0.0.
    EXPECT_TRUE(PassesOsRequirement(WithRequirement("condition='equalorgreaterthan'")));
    EXPECT_TRUE(PassesOsRequirement(WithRequirement("version='1' condition='equalorgreaterthan'")));
    // A condition word outside the five, or none with a version, fails the check.
    EXPECT_FALSE(PassesOsRequirement(WithRequirement("version='0.0' condition='EQUAL'")));
    EXPECT_FALSE(PassesOsRequirement(WithRequirement("version='0.0'")));
    EXPECT_FALSE(PassesOsRequirement(vmi::ComponentPtr()));
}

TEST(PlatformFilterTest, MajorNumbersDecideBeforeMinorNumbers) {
    using platform::CompareVersion;
    EXPECT_TRUE(CompareVersion(6, 0, 5, 1, platform::kVersionGreaterEqual));
    EXPECT_FALSE(CompareVersion(6, 0, 5, 1, platform::kVersionLess));
    EXPECT_TRUE(CompareVersion(5, 9, 6, 0, platform::kVersionLessEqual));
    EXPECT_TRUE(CompareVersion(6, 2, 6, 1, platform::kVersionGreater));
    EXPECT_FALSE(CompareVersion(6, 1, 6, 1, platform::kVersionGreater));
    EXPECT_TRUE(CompareVersion(6, 1, 6, 1, platform::kVersionEqual));
    EXPECT_FALSE(CompareVersion(6, 1, 6, 1, platform::kVersionNoCondition));
    EXPECT_FALSE(CompareVersion(6, 1, 6, 1, 9));
}

}  // namespace
