// The complete example of the publishers' manifest reference (docs/manifest.md), loaded
// through the engine: what the reference says of it is what the library reads.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/IMultiLangString.h"
#include "offers/IBundleGroup.h"
#include "support/InstalledComponents.h"
#include "support/ManifestEngine.h"

namespace {

using testsupport::Strings;

// The reference's one ```xml block.
std::string ReferenceExample() {
    std::string doc;
    EXPECT_TRUE(testsupport::ReadFile(std::string(VCM_SOURCE_DIR) + "/docs/manifest.md", doc));
    const std::string open = "```xml\n";
    const std::string::size_type start = doc.find(open);
    EXPECT_NE(std::string::npos, start);
    EXPECT_EQ(std::string::npos, doc.find(open, start + 1)) << "one example only";
    const std::string::size_type end = doc.find("```", start + open.size());
    return doc.substr(start + open.size(), end - start - open.size());
}

std::string English(const boost::shared_ptr<vmi::IMultiLangString>& text) {
    std::string value;
    return text && text->GetLocalizedText("en-us", value) == 0 ? value : "<none>";
}

TEST(ManifestReferenceTest, TheExampleLoadsAsTheReferenceDescribesIt) {
    testsupport::ManifestEngine<> m;
    ASSERT_EQ(0u, m.Load(ReferenceExample(), "VomoUpdate"));
    vmi::ComponentList components;
    ASSERT_EQ(0u, m.engine->GetComponents(components));
    EXPECT_EQ(Strings({"Setup", "VomoRuntime", "VomoPlayer", "VomoExtras", "VomoSkins"}),
              testsupport::Ids(components));
    Version version;
    m.engine->GetManifestVersion(version);
    EXPECT_EQ("2025.3.0.0", version.ToString());

    // The player: a staged release, its texts, its spec, its package and what it needs.
    ComponentRecord player;
    m.Component("VomoPlayer")->GetRecord(player);
    EXPECT_EQ("4.1.0.12", player.latestVersion.ToString());
    EXPECT_EQ(25u, player.rollout);
    EXPECT_EQ("Vomo Player", player.name);
    EXPECT_EQ("Plays your music and videos.", player.description);
    boost::shared_ptr<vmi::IMultiLangString> text;
    ASSERT_EQ(0u, m.Component("VomoPlayer")->GetUpdateDescription(text));
    EXPECT_EQ("Faster start, fewer stutters.", English(text));
    EXPECT_EQ(kPackageNsis, player.packageType);
    EXPECT_EQ("/vomo/packages/VomoPlayer-4.1.0.12.cab", player.packageUrl.GetPath());
    EXPECT_EQ(Strings({"VomoRuntime"}), player.dependencies);
    EXPECT_EQ(1u, player.order);  // the bundle's reference replaces the component's 2
    SpecQuery query;
    query.role = "application";
    query.name = "player";
    query.version = "4";
    std::set<std::string> found;
    EXPECT_EQ(0u, m.engine->FindComponentsBySpec(query, found));
    EXPECT_EQ(std::set<std::string>{"VomoPlayer"}, found);

    // The skins: the bundle selects the classic stream and preselects them; the beta stream
    // carries a rollout of its own.
    ComponentRecord skins;
    m.Component("VomoSkins")->GetRecord(skins);
    EXPECT_EQ("classic", skins.streamId);
    EXPECT_EQ("1.5 classic", skins.displayVersion);
    EXPECT_TRUE(skins.isDefaultChecked);
    EXPECT_EQ(100u, skins.rollout);
    ASSERT_EQ(2u, skins.streams.size());
    ComponentRecord beta;
    skins.streams[1]->GetRecord(beta);
    EXPECT_EQ(10u, beta.rollout);
    EXPECT_TRUE(m.Component("VomoExtras")->IsInInstallGroup());

    // The offers around them.
    std::vector<PluginRecord> plugins;
    ASSERT_EQ(0u, m.engine->GetBundlePlugins(plugins));
    ASSERT_EQ(1u, plugins.size());
    EXPECT_EQ("VomoToolbar", plugins[0].id);
    ASSERT_EQ(1u, plugins[0].tests.size());
    EXPECT_EQ(20u, plugins[0].tests[0]->testPercentage);
    std::vector<boost::shared_ptr<vmi::IBundleGroup>> groups;
    m.engine->GetBundleGroups(groups);
    ASSERT_FALSE(groups.empty());
    ASSERT_EQ(0u, groups[0]->GetHeading(text));
    EXPECT_EQ("Vomo Media Suite", English(text));
    std::vector<WizardPageRule> pages;
    m.engine->GetWizardPageRules(pages);
    ASSERT_EQ(2u, pages.size());
    EXPECT_EQ("offers", pages[1].pageId);
    EXPECT_EQ("showIfOffers", pages[1].ruleToApply);
    pages.clear();
    ASSERT_EQ(0u, m.engine->GetWizardLayout(pages));
    ASSERT_EQ(2u, pages.size());
    EXPECT_EQ("welcome", pages[1].insertAfterId);
    std::vector<std::string> banners;
    ASSERT_EQ(0u, m.engine->GetBannerGroup("elsewhere", banners));
    EXPECT_EQ(Strings({"welcome"}), banners);
    ResourceDescriptor icon;
    ASSERT_EQ(0u, m.engine->GetResource("player-icon", icon));
    EXPECT_EQ("101", icon.resid);
    Url server;
    ASSERT_EQ(0u, m.engine->GetSetupServerUrl(server));
    EXPECT_EQ("setup.example", server.GetHost());

    // The hot fix applies to the player as installed at the version it names.
    testsupport::RecordInstalled(testsupport::InstalledComponent("VomoPlayer", "4.1.0.12"));
    ASSERT_TRUE(m.engine->GetHotFixes());
    ASSERT_EQ(1u, m.engine->GetHotFixList().size());
    EXPECT_EQ("player-fix-1", m.engine->GetHotFixList()[0].id);
}

}  // namespace
