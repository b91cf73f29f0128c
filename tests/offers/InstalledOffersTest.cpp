// The offer catalogue and the registry: what CommitInstalledState records, what
// LoadInstalledState reads back without a manifest, and the selections that depend on what is
// installed (GetOfferableComponents, GetAvailableUpdates, CollectComponents,
// FilterComponentList).
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "offers/BundleGroupStore.h"
#include "registry/ComponentRegistry.h"
#include "settings/SettingsAccessors.h"
#include "support/ManifestEngine.h"
#include "support/ScopedRegistryRoot.h"

namespace {

using testsupport::Ids;
using testsupport::ManifestXml;
using testsupport::Strings;

void Record(const std::string& id, const std::string& installed, const std::string& stream = "") {
    ComponentRecord record;
    record.id = id;
    record.installedVersion = Version(installed);
    record.streamId = stream;
    ASSERT_EQ(0u, ComponentRegistry().SaveComponent(record));
}

Strings BannerIds(const std::vector<BannerPtr>& banners) {
    Strings ids;
    for (const BannerPtr& banner : banners) {
        std::string id;
        banner->GetId(id);
        ids.push_back(id);
    }
    return ids;
}

TEST(InstalledOffersTest, CommittedStateIsReadBackWithoutAManifest) {
    testsupport::ScopedRegistryRoot root;
    testsupport::ManifestEngine<> m;
    EXPECT_EQ(6u, m.engine->CommitInstalledState());  // no manifest loaded
    ASSERT_EQ(0u, m.LoadFile(VCM_SAMPLE_MANIFEST, "VomoUpdate"));
    Record("VomoPlayer", "4.0.2.0");
    Record("VomoSync", "1.0.4.0");
    ASSERT_EQ(0u, m.engine->CommitInstalledState());

    StoredGroupTexts texts;
    ASSERT_TRUE(LoadBundleGroupTexts("VomoMediaSuite", texts));
    EXPECT_EQ("2024.6", texts.marketingBundleVersion);
    EXPECT_EQ("Vomo Media Suite", texts.heading);  // no language selected: the fallback's
    EXPECT_EQ("Player, codecs and companions.", texts.description);
    std::set<std::string> members;
    ASSERT_EQ(0u, ComponentRegistry().GetBundleGroupMembers("VomoMediaSuite", members));
    EXPECT_EQ((std::set<std::string>{"VomoPlayer", "VomoSync"}), members);
    std::string value;
    ASSERT_TRUE(vmds::ReadInstallString("VomoSync", "ResourceDescriptors", value));
    EXPECT_EQ("sync-icon", value);
    BannerGroups stored;
    ASSERT_TRUE(LoadBannerPlacements("VomoMediaSuite", stored));
    EXPECT_EQ((Strings{"codecs-promo", "welcome"}), BannerIds(stored[""]));  // by id
    float seconds = 0;
    stored[""][1]->GetDisplayDuration(seconds);
    EXPECT_EQ(2.25f, seconds);
    ASSERT_EQ(0u, stored[""][1]->GetLocalizedUrl("en-us", value));
    EXPECT_EQ("http://127.0.0.1/banners/welcome-en.png", value);
    EXPECT_EQ(Strings{"sync-promo"}, BannerIds(stored["partner42"]));

    // A later engine without a manifest: the recorded group, banners and layout.
    testsupport::ManifestEngine<> later;
    ASSERT_EQ(0u, later.engine->LoadInstalledState());
    std::vector<boost::shared_ptr<vmi::IBundleGroup>> groups;
    later.engine->GetBundleGroups(groups);
    ASSERT_EQ(1u, groups.size());
    boost::shared_ptr<vmi::IMultiLangString> heading;
    ASSERT_EQ(0u, groups[0]->GetHeading(heading));
    EXPECT_EQ(0u, heading->GetLocalizedText("en-us", value));
    EXPECT_EQ(2u, heading->GetText("de-de", value));  // the copy holds one language
    Strings ids;
    groups[0]->GetComponentIds(ids);
    EXPECT_EQ((Strings{"VomoPlayer", "VomoSync"}), ids);
    ASSERT_EQ(0u, later.engine->GetBannerGroup("partner42", ids));
    EXPECT_EQ(Strings{"sync-promo"}, ids);
    std::vector<WizardPageRule> rules;
    EXPECT_EQ(7u, later.engine->GetWizardLayout(rules));     // no manifest to read
    ASSERT_EQ(0u, later.engine->GetWizardPageRules(rules));  // the stored pages
    ASSERT_EQ(3u, rules.size());
    EXPECT_EQ("offers", rules[1].pageId);

    // With the manifest loaded, its texts in every language stay; the copy only fills gaps.
    ASSERT_EQ(0u, m.engine->LoadInstalledState());
    m.engine->GetBundleGroups(groups);
    groups[0]->GetHeading(heading);
    EXPECT_EQ(0u, heading->GetText("de-de", value));
    StoredGroupTexts partner;
    partner.description = "Stored description";
    partner.hasDescription = true;
    ASSERT_TRUE(SaveBundleGroupTexts("PartnerSuite", partner));
    ASSERT_EQ(0u, m.LoadFile(VCM_SAMPLE_MANIFEST, "PartnerSetup"));
    ASSERT_EQ(0u, m.engine->LoadInstalledState());
    m.engine->GetBundleGroups(groups);
    ASSERT_EQ(2u, groups.size());  // the selected group, then the recorded one
    boost::shared_ptr<vmi::IMultiLangString> description;
    ASSERT_EQ(0u, groups[0]->GetDescription(description));
    EXPECT_EQ(0u, description->GetLocalizedText("en-us", value));
    EXPECT_EQ("Stored description", value);
    groups[0]->GetHeading(heading);
    heading->GetLocalizedText("en-us", value);
    EXPECT_EQ("Partner Suite", value);

    // A group id that cannot name a key is refused.
    ASSERT_EQ(0u, m.Load(ManifestXml("<bundleDefinitions><bundle id='t' bundleGroup='x/y'/>"
                                     "</bundleDefinitions>"),
                         "t"));
    EXPECT_EQ(6u, m.engine->CommitInstalledState());
}

TEST(InstalledOffersTest, RecordedStreamsAndReferenceStreams) {
    testsupport::ScopedRegistryRoot root;
    Record("a", "1.0.0.0", "s2");
    testsupport::ManifestEngine<> m;
    const std::string xml = ManifestXml(
        "<componentDefinitions><component id='a'><streams>"
        "<stream id='s1'><displayVersion>one</displayVersion></stream>"
        "<stream id='s2'><displayVersion>two</displayVersion></stream>"
        "</streams></component></componentDefinitions><bundleDefinitions>"
        "<bundle id='plain'><componentRef id='a'/></bundle>"
        "<bundle id='chosen'><componentRef id='a' stream='s1'/></bundle></bundleDefinitions>");
    for (const auto& expected :
         {std::make_pair("plain", "two s2"), std::make_pair("chosen", "one s1")}) {
        ASSERT_EQ(0u, m.Load(xml, expected.first));
        std::string version;
        m.Component("a")->GetDisplayVersion(version);
        EXPECT_EQ(expected.second, version + " " + m.Component("a")->GetStreamId());
    }
}

// Orders as the dependency ordering does for an acyclic catalogue (each component after the
// dependencies reached from it, depth first), or fails on request.
class OrderingEngine : public VomoInstallImpl {
public:
    OrderingEngine(const Url& url, int flag) : VomoInstallImpl(url, flag) {}
    bool fail = false;

    uint32_t OrderComponents(const vmi::ComponentList& selected,
                             vmi::ComponentList& ordered) override {
        std::set<std::string> done;
        std::function<void(const vmi::ComponentPtr&)> visit = [&](const vmi::ComponentPtr& c) {
            if (!done.insert(c->GetId()).second) {
                return;
            }
            std::vector<std::string> dependencies;
            c->GetDependencies(dependencies);
            for (const std::string& id : dependencies) {
                vmi::ComponentPtr dependency;
                GetComponent(id, dependency);
                visit(dependency);
            }
            ordered.push_back(c);
        };
        for (const vmi::ComponentPtr& component : selected) {
            visit(component);
        }
        return fail ? 2 : 0;
    }
};

// base (current), app (depends on base and lib, which is not installed) and solo have
// updates or not as recorded; g is an install group of m1 (update), m2 (current), m3 (not
// installed) and opt2; opt is optional. The bundle "b" reaches app, the members and the
// optional ones; "locked" prohibits automatic updates.
class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Record("base", "2.0.0.0");
        Record("app", "2.0.0.0");
        Record("m1", "1.0.0.0");
        Record("m2", "1.0.0.0");
        Record("solo", "1.0.0.0");
    }

    void Load(const std::string& tag) {
        ASSERT_EQ(
            0u, m.Load(ManifestXml("<componentDefinitions>"
                                   "<component id='base'><latestVersion>2.0.0.0</latestVersion>"
                                   "</component><component id='lib'/>"
                                   "<component id='app'><latestVersion>3.0.0.0</latestVersion>"
                                   "<dependencies><componentRef id='base'/><componentRef id='lib'/>"
                                   "</dependencies></component>"
                                   "<component id='g' installGroup='true'/>"
                                   "<component id='m1'><installGroup>g</installGroup>"
                                   "<latestVersion>2.0.0.0</latestVersion></component>"
                                   "<component id='m2'><installGroup>g</installGroup>"
                                   "<latestVersion>1.0.0.0</latestVersion></component>"
                                   "<component id='m3'><installGroup>g</installGroup></component>"
                                   "<component id='opt'><isOptional>1</isOptional></component>"
                                   "<component id='opt2'><isOptional>1</isOptional>"
                                   "<installGroup>g</installGroup></component>"
                                   "<component id='solo'><latestVersion>2.0.0.0</latestVersion>"
                                   "</component></componentDefinitions><bundleDefinitions>"
                                   "<bundle id='b' bundleGroup='grp'><componentRef id='app'/>"
                                   "<componentRef id='m1'/><componentRef id='m2'/><componentRef "
                                   "id='m3'/><componentRef id='opt'/><componentRef id='opt2'/>"
                                   "</bundle><bundle id='locked'><componentRef id='app'/>"
                                   "<prohibitAutoUpdate>true</prohibitAutoUpdate></bundle>"
                                   "</bundleDefinitions>"),
                       tag));
    }

    Strings Updates(uint32_t expected = 0) {
        vmi::ComponentList list;
        EXPECT_EQ(expected, m.engine->GetAvailableUpdates(list));
        return Ids(list);
    }

    Strings Collected(int32_t which, bool withOffers, bool withGroups) {
        vmi::ComponentList list;
        m.engine->CollectComponents(which, withOffers, withGroups, list);
        return Ids(list);
    }

    vmi::ComponentList Components(const Strings& ids) {
        vmi::ComponentList list;
        for (const std::string& id : ids) {
            list.push_back(m.Component(id));
        }
        return list;
    }

    testsupport::ScopedRegistryRoot root_;
    testsupport::ManifestEngine<OrderingEngine> m;
};

TEST_F(SelectionTest, AvailableUpdates) {
    Load("");
    // Install order; lib is added as a dependency that is not installed, base is current.
    EXPECT_EQ((Strings{"lib", "app", "m1", "m2", "solo"}), Updates());
    Load("b");  // only what the bundle reached; m2 comes with its group
    EXPECT_EQ((Strings{"lib", "app", "m1", "m2"}), Updates());
    m.engine->fail = true;
    EXPECT_EQ(Strings{}, Updates(2));
    Load("locked");
    EXPECT_EQ(Strings{}, Updates(15));
}

TEST_F(SelectionTest, OfferableComponentsLetTheInstallGroupDecide) {
    Load("b");
    vmi::ComponentList list;
    ASSERT_EQ(0u, m.engine->GetOfferableComponents(list));
    EXPECT_EQ((Strings{"opt", "opt2"}), Ids(list));
    ComponentRecord group;
    group.id = "g";
    group.auxiliaryIds = {"m1", "m2"};
    ASSERT_EQ(0u, ComponentRegistry().SaveInstallGroups({group}));
    ASSERT_EQ(0u, m.engine->GetOfferableComponents(list));
    EXPECT_EQ(Strings{"opt"}, Ids(list));  // g is recorded: opt2 counts as installed
}

TEST_F(SelectionTest, CollectedComponents) {
    Load("b");
    EXPECT_EQ((Strings{"app", "base", "m1", "m2", "solo"}), Collected(0, false, false));
    EXPECT_EQ(Strings{}, Collected(2, false, false));  // no group recorded yet
    ASSERT_EQ(0u, m.engine->CommitInstalledState());
    EXPECT_EQ((Strings{"app", "m1", "m2"}), Collected(2, false, false));
    EXPECT_EQ((Strings{"app", "m1", "m2", "m3", "opt", "opt2"}), Collected(1, true, false));
    ComponentRecord group;
    group.id = "g";
    group.auxiliaryIds = {"m1", "m2"};
    ASSERT_EQ(0u, ComponentRegistry().SaveInstallGroups({group}));
    const Strings grouped = Collected(0, false, true);
    EXPECT_EQ((Strings{"app", "base", "solo", "g"}), grouped);
    vmi::ComponentList list;
    m.engine->CollectComponents(0, false, true, list);
    EXPECT_TRUE(list.back()->IsInInstallGroup());
    EXPECT_EQ(15u, m.engine->CollectComponents(9, false, false, list));
}

TEST_F(SelectionTest, FilteringRemovesWhatRequiresTheComponent) {
    Load("");
    vmi::ComponentList list = Components({"base", "lib", "app", "m1", "solo"});
    ASSERT_EQ(0u, m.engine->FilterComponentList(m.Component("base"), list));
    EXPECT_EQ((Strings{"lib", "m1", "solo"}), Ids(list));
    list = Components({"m1", "m2", "app", "solo"});
    ASSERT_EQ(0u, m.engine->FilterComponentList(m.Component("g"), list));
    EXPECT_EQ((Strings{"app", "solo"}), Ids(list));
    EXPECT_EQ(2u, m.engine->FilterComponentList(vmi::ComponentPtr(), list));
}

}  // namespace
