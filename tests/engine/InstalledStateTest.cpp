// The engine's operations over the installed state: what the registry records, combined with
// the components of a manifest on disk.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "engine/VomoInstallImpl.h"
#include "registry/ComponentRegistry.h"
#include "settings/SettingsAccessors.h"
#include "support/RecordingLog.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

namespace {

typedef std::vector<std::string> Strings;

// Components a, b and c, the install group g (a and b belong to it) and the group h.
const char kManifest[] =
    "<manifest version='1.0.0.0'><componentDefinitions>"
    "<component id='a'><installGroup>g</installGroup><latestVersion>2.0.0.0</latestVersion>"
    "</component>"
    "<component id='b'><installGroup>g</installGroup></component>"
    "<component id='c'/>"
    "<component id='Setup'/>"
    "<component id='g' installGroup='true'/>"
    "<component id='h' installGroup='true'/>"
    "</componentDefinitions></manifest>";

Strings Ids(const vmi::ComponentList& components) {
    Strings ids;
    for (const vmi::ComponentPtr& component : components) {
        ids.push_back(component->GetId());
    }
    return ids;
}

class InstalledStateTest : public ::testing::Test {
protected:
    InstalledStateTest()
        : dir_("vcm-installed"),
          engine_(boost::make_shared<VomoInstallImpl>(Url("http://127.0.0.1:1/m.cab"), 0)),
          log_(boost::make_shared<testsupport::RecordingLog>()) {
        engine_->SetEventLog(log_);
    }

    void LoadManifest() {
        const std::string path = dir_.File("manifest.xml");
        ASSERT_TRUE(testsupport::WriteFile(path, kManifest));
        engine_->SetManifestPath(Url::FromPath(path));
        ASSERT_EQ(0u, engine_->LoadManifest());
    }

    void Record(const std::string& id, const std::string& group = "") {
        ComponentRecord record;
        record.id = id;
        record.installGroup = group;
        record.installedVersion = Version("1.0.0.0");
        ASSERT_EQ(0u, registry_.SaveComponent(record));
    }

    vmi::ComponentList Components(const Strings& ids) {
        vmi::ComponentList list;
        for (const std::string& id : ids) {
            vmi::ComponentPtr component;
            EXPECT_EQ(0u, engine_->GetComponent(id, component)) << id;
            list.push_back(component);
        }
        return list;
    }

    testsupport::ScopedRegistryRoot root_;
    testsupport::TempDir dir_;
    boost::shared_ptr<VomoInstallImpl> engine_;
    boost::shared_ptr<testsupport::RecordingLog> log_;
    ComponentRegistry registry_;
};

TEST_F(InstalledStateTest, LoadingTheInstalledStateReadsEveryRecord) {
    EXPECT_EQ(0u, engine_->LoadInstalledState());  // nothing installed yet
    Record("a", "g");
    Record("c");
    ASSERT_TRUE(vmds::WriteInstallString("Setup", "InstallDir", "/opt/vomo"));  // not a component
    EXPECT_EQ(0u, engine_->LoadInstalledState());
    EXPECT_TRUE(log_->formats.empty());
}

TEST_F(InstalledStateTest, UnreadableRecordsAreLoggedAndSkippedAndTheLoadEndsWith3) {
    Record("a");
    // A key whose name holds "/" cannot be read as a component: its id would address another key.
    // Each such key is named in the log; the records after the first one are still read.
    ASSERT_TRUE(vmds::WriteInstallString("Setup", "x", "y"));
    for (const char* name : {"odd/name", "zz/name"}) {
        ASSERT_EQ(0, testsupport::RunCommand(std::string(VOMO_REG_PATH) +
                                             " add 'HKLM\\SOFTWARE\\Vomo\\Install\\" + name +
                                             "' /v ComponentId /d odd /f >/dev/null 2>&1"));
    }
    EXPECT_EQ(3u, engine_->LoadInstalledState());
    ASSERT_EQ(2u, log_->formats.size());
    EXPECT_EQ("failed to load component %S from the registry.\n", log_->formats[1]);
    EXPECT_EQ((std::vector<std::wstring>{L"odd/name", L"zz/name"}), log_->arguments);
}

TEST_F(InstalledStateTest, InstalledComponentsAreTheRecordedOnesPlusInstallGroups) {
    vmi::ComponentList installed;
    EXPECT_EQ(15u, engine_->GetInstalledComponents(installed));

    LoadManifest();
    Record("c");
    Record("a", "g");
    ComponentRecord group;
    group.id = "stored-group";
    group.name = "Stored group";
    group.auxiliaryIds = {"x"};
    ComponentRecord known;
    known.id = "a";  // already in the list: not added twice
    ASSERT_EQ(0u, registry_.SaveInstallGroups({group, known}));

    ASSERT_EQ(0u, engine_->GetInstalledComponents(installed));
    EXPECT_EQ((Strings{"a", "c", "stored-group"}), Ids(installed));
    std::vector<std::string> members;
    ASSERT_EQ(0u, installed[2]->GetAuxiliaryIds(members));
    EXPECT_EQ(Strings{"x"}, members);

    // Built once, then kept.
    registry_.RemoveComponent("c");
    ASSERT_EQ(0u, engine_->GetInstalledComponents(installed));
    EXPECT_EQ(3u, installed.size());
}

TEST_F(InstalledStateTest, InstallGroupsExpandToTheirMembersInListOrder) {
    LoadManifest();
    Strings ids{"stale"};
    ASSERT_EQ(0u, engine_->ExpandInstallGroups(Components({"c", "g", "h", "a"}), ids));
    EXPECT_EQ((Strings{"c", "a", "b", "a"}), ids);  // h has no members
}

TEST_F(InstalledStateTest, MarkingHandledComponentsMarksGroupMembers) {
    LoadManifest();
    ASSERT_EQ(0u, engine_->MarkHandledComponents(Components({"g"})));
    for (const char* id : {"a", "b"}) {
        EXPECT_TRUE(Components({id})[0]->IsHandled()) << id;
    }
    for (const char* id : {"c", "g", "h"}) {
        EXPECT_FALSE(Components({id})[0]->IsHandled()) << id;
    }
}

TEST_F(InstalledStateTest, WizardPageRulesComeFromTheRegistryWhenTheEngineHasNone) {
    std::vector<WizardPageRule> rules;
    EXPECT_EQ(2u, engine_->GetWizardPageRules(rules));
    std::vector<WizardPageRule> stored{{"welcome", "", "always", 0}, {"options", "welcome", "", 0}};
    ASSERT_EQ(0u, registry_.SyncWizardLayout(stored));
    ASSERT_EQ(0u, engine_->GetWizardPageRules(rules));
    ASSERT_EQ(2u, rules.size());
    EXPECT_EQ("welcome", rules[0].pageId);
    EXPECT_EQ(2u, rules[1].pageOrder);
}

}  // namespace
