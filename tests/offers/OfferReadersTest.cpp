// Banners, messages, licence texts, plug-ins and plug-in tests read from their own elements.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "engine/XmlFixture.h"
#include "offers/OfferTexts.h"
#include "offers/PluginRecord.h"

namespace {

using enginetest::Child;
using enginetest::ParsedXml;

typedef std::vector<std::string> Strings;

TEST(OfferTextsTest, BannerDurationsAddressesAndLicenceVersions) {
    ParsedXml xml(
        "<defs>"
        "<banner id='b'><url lang='en-us'>http://e</url><url lang='de-de'>http://d</url></banner>"
        "<banner><duration>abc</duration></banner>"
        "<banner><duration> 2.25</duration></banner>"
        "<banner><duration>0</duration></banner>"
        "<banner><duration>-4</duration></banner>"
        "<banner><duration>1e999</duration></banner>"
        "<banner><duration>1.5e1 s</duration></banner>"
        "<banner><duration>1e</duration></banner>"
        "<banner><duration>0x10</duration></banner>"
        "<banner><duration>+0X1.8p1</duration></banner>"
        "<banner><duration>0x</duration></banner>"
        "<banner><duration>\t.5</duration></banner>"
        "<banner><duration>inf</duration></banner>"
        "<eula id='e'><version>1.2</version><url lang='en-us'>http://l</url></eula>"
        "<eula><version>2.1.0.0</version></eula>"
        "<message id='m'><text lang='de-de'>Hallo</text></message>"
        "</defs>");
    ASSERT_EQ(0u, xml.Result());
    // Read as strtod reads them: "1e" is 1, "0x10" 16, "0x" 0 (the "x" ends the number).
    const float seconds[] = {3.5f, 0, 2.25f, 0, 0, 0, 15, 1, 16, 3, 0, 0.5f, 0};
    for (int i = 0; i < 13; ++i) {
        float found = -1;
        CreateBanner(Child(xml.Root(), "banner", i))->GetDisplayDuration(found);
        EXPECT_EQ(seconds[i], found) << "banner " << i;
    }
    boost::shared_ptr<vmi::IBanner> banner = CreateBanner(Child(xml.Root(), "banner"));
    std::string text;
    banner->GetId(text);
    EXPECT_EQ("b", text);
    EXPECT_EQ(0u, banner->GetLocalizedUrl("fr-fr", text));  // the fallback language
    EXPECT_EQ("http://e", text);
    text = "kept";
    EXPECT_EQ(2u, CreateBanner(Child(xml.Root(), "banner", 1))->GetLocalizedUrl("en-us", text));
    EXPECT_EQ("kept", text);

    Version version;
    boost::shared_ptr<vmi::IEula> eula = CreateEula(Child(xml.Root(), "eula"));
    EXPECT_EQ(0u, eula->GetVersion(version));
    EXPECT_FALSE(version.IsValid());
    EXPECT_EQ("0.0.0.0", version.ToString());
    EXPECT_EQ(0u, eula->GetLocalizedUrl("en-us", text));
    EXPECT_EQ("http://l", text);
    CreateEula(Child(xml.Root(), "eula", 1))->GetVersion(version);
    EXPECT_TRUE(version.IsValid());

    boost::shared_ptr<vmi::IMessage> message = CreateMessage(Child(xml.Root(), "message"));
    EXPECT_EQ(0u, message->GetLocalizedText("de-de", text));
    EXPECT_EQ("Hallo", text);
    EXPECT_EQ(2u, message->GetLocalizedText("fr-fr", text));  // no "en-us" to fall back to
}

TEST(PluginReadersTest, TestsAndPlugins) {
    ParsedXml xml(
        "<defs>"
        "<pluginTest id='t1' status='on'><trackingId>T</trackingId>"
        " <testPercentage>25</testPercentage>"
        " <supportedLangs><lang>en-us</lang><lang/><lang>de-de</lang></supportedLangs>"
        " <testPlugin><pluginRef id='p1'>a</pluginRef><pluginRef>no id</pluginRef></testPlugin>"
        " <testPlugin><pluginRef id='p2'>b</pluginRef></testPlugin>"
        " <testControl>holdout</testControl></pluginTest>"
        "<pluginTest id='t2' status='On'><testPercentage>x</testPercentage></pluginTest>"
        "<plugin id='p1'><priority>5</priority><reportid>r</reportid>"
        " <displayNameGroup><name lang='en-us'>P</name></displayNameGroup>"
        " <sourceUrl>http://s</sourceUrl><requiresInetConnect>1</requiresInetConnect>"
        " <package><type>nsis</type><commandLineArgs>/S</commandLineArgs><url>http://u</url>"
        " </package><progressTexts><progressText session='install'><text lang='en-us'>I</text>"
        " </progressText></progressTexts>"
        " <pluginTests status='on'><pluginTestRef id='t1'/><pluginTestRef id='gone'/>"
        " <pluginTestRef id='t1'/></pluginTests></plugin>"
        "<plugin id='p2'><package><type>NSIS</type></package>"
        " <pluginTests status='ON'><pluginTestRef id='t2'/></pluginTests></plugin>"
        "</defs>");
    ASSERT_EQ(0u, xml.Result());
    PluginTestIndex tests;
    for (int i = 0; i < 2; ++i) {
        boost::shared_ptr<PluginTestRecord> test = boost::make_shared<PluginTestRecord>();
        ParsePluginTest(Child(xml.Root(), "pluginTest", i), *test);
        tests[test->id] = test;
    }
    const PluginTestRecord& t1 = *tests["t1"];
    EXPECT_TRUE(t1.status);
    EXPECT_TRUE(t1.control);
    EXPECT_EQ("T", t1.trackingId);
    EXPECT_EQ(25u, t1.testPercentage);
    EXPECT_EQ((Strings{"en-us", "de-de"}), t1.supportedLanguages);
    // References spread over testPlugin elements are all listed; one without an id is not.
    EXPECT_EQ((Strings{"p1", "p2"}), t1.pluginIds);
    EXPECT_EQ("b", t1.pluginTexts.at("p2"));
    const PluginTestRecord& t2 = *tests["t2"];
    EXPECT_FALSE(t2.status);  // "On" is not "on"
    EXPECT_FALSE(t2.control);
    EXPECT_EQ(0u, t2.testPercentage);

    PluginRecord p1;
    ParsePlugin(Child(xml.Root(), "plugin"), p1, tests);
    EXPECT_EQ(5u, p1.priority);
    EXPECT_EQ(1u, p1.requiresInetConnect);
    EXPECT_EQ(kPackageNsis, p1.packageType);
    EXPECT_EQ("/S", p1.commandLineArgs);
    EXPECT_EQ("http://u", p1.packageUrl);
    EXPECT_EQ("http://s", p1.sourceUrl);
    ASSERT_TRUE(p1.displayName && p1.installProgressText);
    EXPECT_FALSE(p1.downloadProgressText);
    EXPECT_TRUE(p1.testsEnabled);
    EXPECT_EQ((Strings{"t1", "gone"}), p1.testIds);  // each once; an unknown test attaches none
    ASSERT_EQ(1u, p1.tests.size());
    EXPECT_EQ(tests["t1"], p1.tests[0]);  // shared, not copied

    PluginRecord p2;
    ParsePlugin(Child(xml.Root(), "plugin", 1), p2, tests);
    EXPECT_EQ(kPackageNone, p2.packageType);  // NSIS in capitals is no type
    EXPECT_FALSE(p2.testsEnabled);
    EXPECT_EQ(0u, p2.priority);
}

TEST(PluginReadersTest, BundleOrderIsUnprioritisedFirstThenDescending) {
    std::vector<PluginRecord> plugins(6);
    const uint32_t priorities[] = {5, 0, 10, 0, 10, 4294967295u};
    const char* const ids[] = {"a", "b", "c", "d", "e", "f"};
    for (int i = 0; i < 6; ++i) {
        plugins[i].id = ids[i];
        plugins[i].priority = priorities[i];
    }
    SortBundlePlugins(plugins);
    Strings order;
    for (const PluginRecord& plugin : plugins) {
        order.push_back(plugin.id);
    }
    EXPECT_EQ((Strings{"b", "d", "f", "c", "e", "a"}), order);
}

}  // namespace
