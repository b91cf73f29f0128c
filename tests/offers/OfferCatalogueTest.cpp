// The offer catalogue through the engine: the sample manifest with every section, the bundle
// rules, and hostile offer sections.
#include <gtest/gtest.h>

#include "engine/Locale.h"
#include "offers/IBundleGroup.h"
#include "offers/IMessage.h"
#include "support/ManifestEngine.h"

namespace {

using testsupport::Ids;
using testsupport::ManifestXml;
using testsupport::Strings;

std::string Localized(const boost::shared_ptr<vmi::IMultiLangString>& text,
                      const std::string& code) {
    std::string value;
    return text && text->GetLocalizedText(code, value) == 0 ? value : "(none)";
}

Strings PluginIds(VomoInstallImpl& engine) {
    std::vector<PluginRecord> plugins;
    engine.GetBundlePlugins(plugins);
    Strings ids;
    for (const PluginRecord& plugin : plugins) {
        ids.push_back(plugin.id +
                      (plugin.commandLineArgs.empty() ? "" : " " + plugin.commandLineArgs));
    }
    return ids;
}

Strings Banners(VomoInstallImpl& engine, const std::string& distributor) {
    Strings ids;
    engine.GetBannerGroup(distributor, ids);
    return ids;
}

Strings Pages(const std::vector<WizardPageRule>& rules) {
    Strings pages;
    for (const WizardPageRule& rule : rules) {
        pages.push_back(rule.pageId + "<" + rule.insertAfterId + ":" + rule.ruleToApply);
    }
    return pages;
}

TEST(SampleManifestTest, EveryOfferOperationAnswersFromIt) {
    testsupport::ManifestEngine<> m;
    VomoInstallImpl& engine = *m.engine;
    ASSERT_EQ(0u, m.LoadFile(VCM_SAMPLE_MANIFEST, "VomoUpdate"));

    vmi::ComponentList list;
    ASSERT_EQ(0u, engine.GetOfferComponents(list));
    EXPECT_EQ((Strings{"VomoPlayer", "VomoCodecs", "VomoSync", "VomoSkins", "VomoLyrics"}),
              Ids(list));
    Strings ids;
    EXPECT_EQ(15u, engine.GetIdList(ids));  // no second bundle
    // The references' overrides: order, an element given inside, a stream.
    uint32_t order = 0;
    m.Component("VomoPlayer")->GetOrder(order);
    EXPECT_EQ(1u, order);
    EXPECT_TRUE(m.Component("VomoSync")->IsDefaultChecked());
    std::string text;
    m.Component("VomoSkins")->GetDisplayVersion(text);
    EXPECT_EQ("1.5 modern", text);
    EXPECT_FALSE(engine.IsIsolated());
    EXPECT_FALSE(engine.IsAutoUpdateProhibited());

    // Plug-ins: no priority first, then 10, then 5; their tests attached.
    EXPECT_EQ((Strings{"VomoSearch", "VomoWeather", "VomoToolbar /S"}), PluginIds(engine));
    std::vector<PluginRecord> plugins;
    engine.GetBundlePlugins(plugins);
    EXPECT_EQ(kPackageNone, plugins[1].packageType);
    ASSERT_EQ(1u, plugins[1].tests.size());
    EXPECT_FALSE(plugins[1].tests[0]->status);
    ASSERT_EQ(1u, plugins[2].tests.size());
    EXPECT_EQ((Strings{"VomoToolbar", "VomoWeather"}), plugins[2].tests[0]->pluginIds);
    EXPECT_EQ(0u, engine.SetPluginCommandLineArgs("VomoToolbar", "/S /quiet"));
    EXPECT_EQ((Strings{"VomoSearch", "VomoWeather", "VomoToolbar /S /quiet"}), PluginIds(engine));

    std::vector<boost::shared_ptr<vmi::IBundleGroup>> groups;
    ASSERT_EQ(0u, engine.GetBundleGroups(groups));
    ASSERT_EQ(1u, groups.size());
    boost::shared_ptr<vmi::IMultiLangString> heading;
    ASSERT_EQ(0u, groups[0]->GetHeading(heading));
    EXPECT_EQ("Vomo Medienpaket", Localized(heading, "de-de"));
    std::vector<boost::shared_ptr<vmi::IEula>> eulas;
    ASSERT_EQ(0u, groups[0]->GetEulas(eulas));
    Version version;
    eulas[0]->GetVersion(version);
    EXPECT_EQ("2.1.0.0", version.ToString());
    groups[0]->GetComponentIds(ids);
    EXPECT_EQ((Strings{"VomoPlayer", "VomoCodecs"}), ids);
    groups[0]->GetMarketingBundleVersion(text);
    EXPECT_EQ("2024.6", text);
    ASSERT_EQ(0u, engine.GetPostInstallPage({"VomoPlayer", "VomoSync"}, text));
    EXPECT_EQ("http://127.0.0.1/vomo/welcome", text);  // not isolated: the group's page

    std::vector<boost::shared_ptr<vmi::IMessage>> messages;
    ASSERT_EQ(0u, engine.GetMessages(messages));
    ASSERT_EQ(2u, messages.size());
    messages[0]->GetLocalizedText("de-de", text);
    EXPECT_EQ("Bitte starten Sie Vomo Wiedergabe neu.", text);

    std::vector<WizardPageRule> rules;
    ASSERT_EQ(0u, engine.GetWizardPageRules(rules));  // the group's layout
    EXPECT_EQ((Strings{"welcome<:always", "offers<welcome:showIfOffers", "finish<offers:always"}),
              Pages(rules));
    rules.assign(1, WizardPageRule{"kept", "", "", 0});
    ASSERT_EQ(0u, engine.GetWizardLayout(rules));  // "DefaultLayout", appended
    EXPECT_EQ((Strings{"kept<:", "welcome<:always", "licence<welcome:always", "finish<licence:"}),
              Pages(rules));

    EXPECT_EQ(Strings{"sync-promo"}, Banners(engine, "partner42"));  // unknown banner skipped
    EXPECT_EQ((Strings{"welcome", "codecs-promo"}), Banners(engine, "elsewhere"));
    EXPECT_EQ((Strings{"welcome", "codecs-promo"}), Banners(engine, ""));

    ASSERT_EQ(0u, engine.GetOfferableComponents(list));  // optional, nothing installed
    EXPECT_EQ((Strings{"VomoSync", "VomoSkins", "VomoLyrics"}), Ids(list));

    // With the partner's bundle as the second one: what it names is the host's own, the rest
    // is offered beside it; the download tag's references come last (VomoPlayer's order 1).
    ASSERT_EQ(0u, m.LoadFile(VCM_SAMPLE_MANIFEST, "VomoUpdate", "PartnerSetup"));
    ASSERT_EQ(0u, engine.GetIdList(ids));
    EXPECT_EQ((Strings{"VomoPlayer", "VomoCodecs"}), ids);
    engine.GetOfferComponents(list);
    EXPECT_EQ((Strings{"VomoSync", "VomoSkins", "VomoLyrics"}), Ids(list));
    m.Component("VomoPlayer")->GetOrder(order);
    EXPECT_EQ(1u, order);

    // The partner's bundle selected: "false" still makes it isolated; its licence text's
    // version 1.2 is not valid.
    ASSERT_EQ(0u, m.LoadFile(VCM_SAMPLE_MANIFEST, "PartnerSetup"));
    EXPECT_TRUE(engine.IsIsolated());
    EXPECT_EQ(15u, engine.GetBundlePlugins(plugins));
    engine.GetBundleGroups(groups);
    ASSERT_EQ(0u, groups[0]->GetEulas(eulas));
    eulas[0]->GetVersion(version);
    EXPECT_FALSE(version.IsValid());
    EXPECT_EQ(2u, engine.GetPostInstallPage({"VomoPlayer", "VomoCodecs"}, text));
}

// Bundle rules on components a, b and c: the orders after the load, the ids the bundle "t"
// reached, and its flags.
TEST(BundleRulesTest, ReferencesAndFlags) {
    struct Case {
        const char* bundles;
        const char* orders;
        Strings reached;
        bool isolated;
        bool prohibited;
        uint32_t bSize = 0;  // b's install size after the load
    } cases[] = {
        {"<bundle id='other'><componentRef id='AL' order='9'/></bundle>", "000", {}, false, false},
        {"<bundle id='t'><componentRef id='AL' order='5'/></bundle>",
         "555",
         {"a", "b", "c"},
         false,
         false},
        {"<bundle id='t' isolated='false'><componentRef id='gone' order='5'/><componentRef "
         "order='5'/><prohibitAutoUpdate>1</prohibitAutoUpdate></bundle>",
         "000",
         {},
         true,
         true},
        {"<bundle id='t' isolated=''><componentRef id='b' order='x'/><componentRef id='c' "
         "order='3'/><prohibitAutoUpdate>yes</prohibitAutoUpdate></bundle>",
         "003",
         {"b", "c"},
         false,
         false},
        // Every "AL" counts, overrides included; the first bundle of an id is the one selected.
        {"<bundle id='t'><componentRef id='AL' order='5'/><componentRef id='AL' order='6'>"
         "<installSize>7</installSize></componentRef><componentRef id='a' order='1'/></bundle>"
         "<bundle id='t'><componentRef id='b' order='8'/></bundle>",
         "166",
         {"a", "b", "c"},
         false,
         false,
         7},
        // An "AL" without an order keeps the one given before, here a component's own.
        {"<bundle id='t'><componentRef id='AL' order='5'/><componentRef id='AL'/><componentRef "
         "id='b' order='2'/><componentRef id='AL' order='x'/></bundle>",
         "525",
         {"a", "b", "c"},
         false,
         false},
        // A reference nested in another one's overrides is a dependency, not a bundle member.
        {"<bundle id='t'><componentRef id='a' order='2'><dependencies><componentRef id='b' "
         "order='7'/></dependencies></componentRef></bundle>",
         "200",
         {"a"},
         false,
         false},
        // Overriding elements are read from inside a reference only, never from beside it.
        {"<bundle id='t'><nameGroup><name lang='en-us'>t</name></nameGroup><componentRef id='c' "
         "order='4'><installSize>7</installSize></componentRef></bundle>",
         "004",
         {"c"},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bundles);
        testsupport::ManifestEngine<> m;
        ASSERT_EQ(0u, m.Load(ManifestXml("<componentDefinitions><component id='a'/><component "
                                         "id='b'/><component id='c'/></componentDefinitions>"
                                         "<bundleDefinitions>" +
                                         std::string(c.bundles) + "</bundleDefinitions>"),
                             "t"));
        std::string orders;
        for (const char* id : {"a", "b", "c"}) {
            uint32_t order = 0;
            m.Component(id)->GetOrder(order);
            orders += std::to_string(order);
        }
        EXPECT_EQ(c.orders, orders);
        uint32_t size = 0;
        m.Component("b")->GetInstallSize(size);
        EXPECT_EQ(c.bSize, size);
        vmi::ComponentList offers;
        m.engine->GetOfferComponents(offers);
        EXPECT_EQ(c.reached, Ids(offers));
        EXPECT_EQ(c.isolated, m.engine->IsIsolated());
        EXPECT_EQ(c.prohibited, m.engine->IsAutoUpdateProhibited());
        boost::shared_ptr<vmi::IMultiLangString> name;
        EXPECT_EQ(2u, m.Component("c")->GetName(name));
    }
}

// Missing attributes, unknown references, duplicate ids and ids no key or query can hold: the
// load succeeds and every offer operation answers.
TEST(HostileOffersTest, SectionsNeverFailTheLoad) {
    const char* const sections[] = {
        "<bundleDefinitions><bundle/><bundle id='t' bundleGroup=''><componentRef/>"
        "<componentRef id='AL' order='' stream=''/><pluginRef/></bundle></bundleDefinitions>"
        "<bannerGroups><bannerGroup><bannerRef/></bannerGroup></bannerGroups>"
        "<pluginDefinitions><plugin/></pluginDefinitions>"
        "<pluginTestDefinitions><pluginTest/></pluginTestDefinitions>"
        "<bannerDefinitions><banner/></bannerDefinitions>"
        "<messageDefinitions><message/></messageDefinitions><eulaDefinitions><eula/>"
        "</eulaDefinitions><wizardLayoutDefinitions><wizardLayout><page/></wizardLayout>"
        "</wizardLayoutDefinitions>",
        "<bundleDefinitions><bundle id='t' bundleGroup='missing'><pluginRef id='gone'/>"
        "</bundle></bundleDefinitions><bundleGroups><bundleGroup id='other'><wizardLayoutRef "
        "id='gone'/><eulaRef id='gone'/></bundleGroup></bundleGroups>",
        "<bundleDefinitions><bundle id='t' bundleGroup=\"q'/x\"><componentRef id='a' "
        "stream=\"'\"/></bundle></bundleDefinitions><bundleGroups><bundleGroup id=\"q'/x\">"
        "<wizardLayoutRef id=\"l'\"/></bundleGroup></bundleGroups><wizardLayoutDefinitions>"
        "<wizardLayout id=\"l'\"><page id='p/q'/></wizardLayout></wizardLayoutDefinitions>",
        "<bannerDefinitions><banner id='b'><duration>1</duration></banner><banner id='b'/>"
        "</bannerDefinitions><bannerGroups><bannerGroup distributorId='d'><bannerRef id='b'/>"
        "</bannerGroup><bannerGroup distributorId='d'/><bannerGroup distributorId='x/y'>"
        "<bannerRef id='b'/></bannerGroup></bannerGroups><pluginDefinitions><plugin id='p'>"
        "<priority>2</priority></plugin><plugin id='p'/></pluginDefinitions>"
        "<bundleDefinitions><bundle id='t' bundleGroup='g'><pluginRef id='p'/><pluginRef "
        "id='p'/></bundle></bundleDefinitions>",
    };
    for (const char* section : sections) {
        SCOPED_TRACE(section);
        testsupport::ManifestEngine<> m;
        ASSERT_EQ(0u, m.Load(ManifestXml("<componentDefinitions><component id='a'/>"
                                         "</componentDefinitions>" +
                                         std::string(section)),
                             "t"));
        VomoInstallImpl& engine = *m.engine;
        vmi::ComponentList list;
        std::vector<PluginRecord> plugins;
        std::vector<boost::shared_ptr<vmi::IBundleGroup>> groups;
        std::vector<boost::shared_ptr<vmi::IMessage>> messages;
        std::vector<WizardPageRule> rules;
        Strings ids;
        std::string text;
        engine.GetOfferComponents(list);
        engine.GetBundlePlugins(plugins);
        EXPECT_EQ(0u, engine.GetBundleGroups(groups));
        EXPECT_EQ(0u, engine.GetMessages(messages));
        EXPECT_EQ(0u, engine.GetWizardLayout(rules));
        engine.GetBannerGroup("d", ids);
        engine.GetOfferableComponents(list);
        engine.GetPostInstallPage({"a", "b"}, text);
    }
    // The last one: the first banner and banner group of an id win; both plug-ins of an id
    // named twice are listed once each.
    testsupport::ManifestEngine<> m;
    ASSERT_EQ(0u, m.Load(ManifestXml(sections[3]), "t"));
    EXPECT_EQ(Strings{"b"}, Banners(*m.engine, "d"));
    EXPECT_EQ((Strings{"p", "p"}), PluginIds(*m.engine));
}

// Thousands of references, definitions and plug-ins under test: the load stays linear (a
// quadratic reader would take minutes here) and hands out what the rules say.
TEST(HostileOffersTest, HugeCounts) {
    const int n = 20000;
    std::string components;
    std::string refs;
    std::string banners;
    std::string bannerRefs;
    std::string testRefs;
    for (int i = 0; i < n; ++i) {
        const std::string id = std::to_string(i);
        if (i < 2000) {
            components += "<component id='c" + id + "'/>";
        }
        refs += "<componentRef id='AL' order='" + id + "'/><pluginRef id='p'/>";
        banners += "<banner id='b" + id + "'/>";
        bannerRefs += "<bannerRef id='b" + id + "'/><bannerRef id='gone'/>";
        testRefs += "<testPlugin><pluginRef id='p'>x</pluginRef></testPlugin>";
    }
    std::string plugins;
    for (int i = 0; i < 2000; ++i) {
        plugins += "<plugin id='" + std::string(i < 2 ? "p" : "q") +
                   "'><pluginTests><pluginTestRef id='t'/></pluginTests></plugin>";
    }
    testsupport::ManifestEngine<> m;
    ASSERT_EQ(0u, m.Load(ManifestXml("<componentDefinitions>" + components +
                                     "</componentDefinitions><pluginTestDefinitions>"
                                     "<pluginTest id='t'>" +
                                     testRefs +
                                     "</pluginTest></pluginTestDefinitions><pluginDefinitions>" +
                                     plugins + "</pluginDefinitions><bannerDefinitions>" + banners +
                                     "</bannerDefinitions><bundleDefinitions>"
                                     "<bundle id='t'>" +
                                     refs +
                                     "</bundle></bundleDefinitions><bannerGroups>"
                                     "<bannerGroup>" +
                                     bannerRefs + "</bannerGroup></bannerGroups>"),
                         "t"));
    vmi::ComponentList offers;
    ASSERT_EQ(0u, m.engine->GetOfferComponents(offers));
    EXPECT_EQ(2000u, offers.size());
    uint32_t order = 1;
    m.Component("c1999")->GetOrder(order);
    EXPECT_EQ(static_cast<uint32_t>(n - 1), order);  // every "AL" counts: the last one's order
    std::vector<PluginRecord> bundlePlugins;
    ASSERT_EQ(0u, m.engine->GetBundlePlugins(bundlePlugins));
    ASSERT_EQ(2u, bundlePlugins.size());
    ASSERT_EQ(1u, bundlePlugins[0].tests.size());
    EXPECT_EQ(static_cast<size_t>(n), bundlePlugins[0].tests[0]->pluginIds.size());
    EXPECT_EQ(static_cast<size_t>(n), Banners(*m.engine, "").size());
}

}  // namespace
