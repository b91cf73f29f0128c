// vcm setup's own rules: which plug-ins a machine is offered by their plug-in tests, and the
// order the wizard layout gives the terminal's pages.
#include <gtest/gtest.h>

#include <algorithm>

#include <boost/make_shared.hpp>

#include "settings/SettingsAccessors.h"
#include "support/ManifestEngine.h"
#include "support/ScopedRegistryRoot.h"
#include "tools/vcm/PluginTests.h"
#include "tools/vcm/SetupCatalogue.h"
#include "tools/vcm/WizardPages.h"

namespace {

using vcmtool::SetupPage;

// This machine's place in every test's sample, or none (-1).
int g_position = 0;
bool Position(const std::string&, uint32_t& position) {
    if (g_position < 0) {
        return false;
    }
    position = static_cast<uint32_t>(g_position);
    return true;
}

TEST(SetupRulesTest, PluginTestsDecideWhichOffersAMachineSees) {
    struct Test {
        const char* id;
        bool on;
        uint32_t percentage;
        bool control;
        std::vector<std::string> languages;
    };
    const Test kOn = {"t", true, 100, false, {}};
    const struct Case {
        const char* name;
        bool enabled;                    // the plug-in's tests are enabled
        std::vector<std::string> names;  // the tests it names
        std::vector<Test> defined;
        int position;
        bool offered;
    } cases[] = {
        {"TestsNotEnabled", false, {"t"}, {{"t", false, 0, false, {}}}, 0, true},
        {"EnabledWithoutTests", true, {}, {}, 0, false},
        {"UnknownTest", true, {"gone"}, {kOn}, 0, false},
        {"TestSwitchedOff", true, {"t"}, {{"t", false, 100, false, {}}}, 0, false},
        {"EveryMachine", true, {"t"}, {kOn}, 99, true},
        {"LanguageSupported", true, {"t"}, {{"t", true, 100, false, {"de-de", "EN-US"}}}, 0, true},
        {"LanguageNotSupported", true, {"t"}, {{"t", true, 100, false, {"de-de"}}}, 0, false},
        {"InsideTheSample", true, {"t"}, {{"t", true, 30, false, {}}}, 29, true},
        {"OutsideTheSample", true, {"t"}, {{"t", true, 30, false, {}}}, 30, false},
        {"NoSample", true, {"t"}, {{"t", true, 0, false, {}}}, 0, false},
        {"ControlGroupIsTheLowerHalf", true, {"t"}, {{"t", true, 30, true, {}}}, 14, false},
        {"UpperHalfOfAControlledSample", true, {"t"}, {{"t", true, 30, true, {}}}, 15, true},
        {"NoMachineIdEveryMachine", true, {"t"}, {kOn}, -1, true},
        {"NoMachineIdSample", true, {"t"}, {{"t", true, 99, false, {}}}, -1, false},
        {"NoMachineIdControl", true, {"t"}, {{"t", true, 100, true, {}}}, -1, false},
        {"EveryTestMustPass",
         true,
         {"t", "u"},
         {kOn, {"u", true, 100, false, {"fr-fr"}}},
         0,
         false},
    };
    for (const Case& c : cases) {
        PluginRecord plugin;
        plugin.id = "p";
        plugin.testsEnabled = c.enabled;
        plugin.testIds = c.names;
        for (const Test& t : c.defined) {
            if (std::find(c.names.begin(), c.names.end(), t.id) == c.names.end()) {
                continue;  // attached only when named, as the reader does
            }
            const boost::shared_ptr<PluginTestRecord> test = boost::make_shared<PluginTestRecord>();
            test->id = t.id;
            test->status = t.on;
            test->testPercentage = t.percentage;
            test->control = t.control;
            test->supportedLanguages = t.languages;
            plugin.tests.push_back(test);
        }
        g_position = c.position;
        EXPECT_EQ(c.offered, vcmtool::PassesPluginTests(plugin, "en-us", Position)) << c.name;
    }
    // A machine keeps its place in a test, and the place depends on the test.
    uint32_t first = 100;
    uint32_t again = 100;
    if (vcmtool::MachineSamplePosition("tracking-1", first)) {
        ASSERT_TRUE(vcmtool::MachineSamplePosition("tracking-1", again));
        EXPECT_EQ(first, again);
        EXPECT_LT(first, 100u);
    }
}

// The choices a bundle offers and what choosing installs: an install group is one choice for
// its members, what the chosen require comes along in install order, and what is installed in
// the manifest's version is left out.
TEST(SetupRulesTest, ChoicesAndWhatTheyInstall) {
    testsupport::ScopedRegistryRoot registry;
    ASSERT_TRUE(vmds::WriteInstallString("inst", "ComponentId", "inst"));
    ASSERT_TRUE(vmds::WriteInstallString("inst", "InstalledVersion", "1.0.0.0"));
    testsupport::ManifestEngine<> m;
    ASSERT_EQ(0u, m.Load(testsupport::ManifestXml(
                             "<componentDefinitions>"
                             "<component id='grp' installGroup='true'><isOptional>1</isOptional>"
                             "<isDefaultChecked>1</isDefaultChecked></component>"
                             "<component id='m2'><installGroup>grp</installGroup><dependencies>"
                             "<componentRef id='base'/></dependencies></component>"
                             "<component id='m1'><installGroup>grp</installGroup></component>"
                             "<component id='solo'><isOptional>1</isOptional></component>"
                             "<component id='inst'><latestVersion>1.0.0.0</latestVersion>"
                             "</component><component id='base'/><component id='other'/>"
                             "</componentDefinitions><bundleDefinitions><bundle id='t'>"
                             "<componentRef id='AL'/></bundle><bundle id='u'><componentRef "
                             "id='other'/></bundle></bundleDefinitions>"),
                         "t", "u"));
    vcmtool::SetupCatalogue catalogue;
    ASSERT_TRUE(vcmtool::ReadSetupCatalogue(*m.engine, "en-us", catalogue, Position));
    std::string choices;
    for (const vcmtool::SetupChoice& c : catalogue.choices) {
        choices += c.id + (c.optional ? "?" : "") + (c.defaultChecked ? "+" : "") +
                   (c.installed ? "=" : "");
        for (const std::string& member : c.members) {
            choices += " " + member;
        }
        choices += ";";
    }
    EXPECT_EQ("grp?+ m2 m1;solo?;inst=;base;", choices);  // "other" is the host's own bundle's
    const struct {
        std::vector<std::string> chosen;
        std::vector<std::string> installed;
    } cases[] = {
        {{}, {"base"}},
        {{"grp"}, {"base", "m1", "m2"}},
        {{"grp", "solo", "inst"}, {"base", "m1", "m2", "solo"}},
    };
    for (const auto& c : cases) {
        vmi::ComponentList components;
        ASSERT_EQ(0u, vcmtool::ComponentsToInstall(*m.engine, catalogue, c.chosen, components));
        EXPECT_EQ(c.installed, testsupport::Ids(components));
    }
}

TEST(SetupRulesTest, TheLayoutOrdersTheTerminalsPages) {
    const SetupPage W = SetupPage::kWelcome, L = SetupPage::kLicence, C = SetupPage::kComponents,
                    O = SetupPage::kOffers, D = SetupPage::kDirectory;
    const struct Case {
        std::vector<WizardPageRule> placements;
        std::vector<SetupPage> pages;
    } cases[] = {
        {{}, {W, L, C, O, D}},
        {{{"Directory", "welcome", "", 0}}, {W, D, L, C, O}},
        {{{"eula", "components", "", 0}, {"plugins", "", "", 0}}, {O, W, C, L, D}},
        // Pages the terminal does not have, placements after them, and a page after itself.
        {{{"Banner", "welcome", "", 0}, {"offers", "finish", "", 0}, {"licence", "license", "", 0}},
         {W, L, C, O, D}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.pages, vcmtool::OrderSetupPages(c.placements));
    }
}

}  // namespace
