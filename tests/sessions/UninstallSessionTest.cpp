// Uninstall runs end to end: components recorded in a registry of the test's own, uninstallers
// that remove their install folder (themselves included) and exit with chosen codes, and the
// engine's uninstall session polled to its end.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>
#include <utility>

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "engine/ComponentImpl.h"
#include "engine/VomoInstallImpl.h"
#include "platform/Registry.h"
#include "support/InstalledComponents.h"
#include "support/RecordingLog.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TestPackages.h"

namespace {

using testsupport::InstalledComponent;
using testsupport::RecordingLog;
typedef std::vector<std::string> Strings;
typedef std::vector<std::pair<std::string, Strings>> Groups;

const int kNoUninstaller = -1;
const char kHeading[] = "Uninstalling components --------------------------------------\n";
const char kRule[] = "-------------------------------------------------------------\n\n";

struct Installed {
    InstalledComponent component;
    int exitCode;  // of its uninstaller, which removes its folder unless it fails with 3
    // Only "InstallDir" and "UninstallPath", as a run killed after the installer left it.
    bool halfRecorded = false;
};

struct Case {
    const char* name;
    std::vector<Installed> installed;
    Groups bundleGroups;
    Groups installGroups;
    Strings requested;
    uint32_t start;
    uint32_t state;
    bool reboot;
    Strings order;                      // the components worked on, in that order
    Strings remaining;                  // installed afterwards
    Strings groups;                     // bundle and install groups left
    Strings lines;                      // beginnings of log lines, in this order among the others
    size_t entries;                     // log lines in all
    const char* undeletable = nullptr;  // a component whose key the registry keeps
};

// clang-format off
const Case kCases[] = {
    {"NoUninstallPathOnlyLosesTheKey", {{{"a"}, kNoUninstaller}}, {}, {}, {"a"}, 0, 7, false,
     {"a"}, {}, {}, {kHeading, "Component: [a] \n", kRule}, 3},
    {"Exit4SucceedsWithRestart", {{{"a", "1.0.0.5"}, 4}}, {}, {}, {"a"}, 0, 7, true, {"a"}, {}, {},
     {"Unnstalling component: [a] version: [1.0.0.5]\n",
      "Component: [a] Uninstall Succeeded (Reboot Required)\n", kRule}, 5},
    {"FailureLeavesLaterComponentsAndGroups", {{{"a"}, 0}, {{"b"}, 3}, {{"c"}, 4}},
     {{"G", {"c"}}}, {}, {"a", "b", "c"}, 0, 8, true, {"c", "b"}, {"a", "b"}, {"G"},
     {"Component: [c] Uninstall Succeeded (Reboot Required)\n",
      "Component: [b] - Failed with error: ", kRule}, 8},
    {"LastMemberTakesItsBundleGroup", {{{"a"}, 0}, {{"b"}, 0}},
     {{"G1", {"a"}}, {"G2", {"a", "b"}}}, {}, {"a"}, 0, 7, false, {"a"}, {"b"}, {"G2"},
     {"Component: [a] Uninstall Succeeded\n", kRule}, 5},
    {"DependentsGoFirst", {{{"a"}, 0}, {{"b", "1.0.0.0", {"a"}}, 0},
                           {{"c", "1.0.0.0", {"b"}}, kNoUninstaller}, {{"d"}, 0}},
     {}, {}, {"a"}, 0, 7, false, {"c", "b", "a"}, {"d"}, {}, {kHeading, kRule}, 9},
    {"InstallGroupTakesItsMembers", {{{"m1", "1.0.0.0", {}, "g"}, 0},
                                     {{"m2", "1.0.0.0", {}, "g"}, 0},
                                     {{"h1", "1.0.0.0", {}, "h"}, 0}},
     {}, {{"g", {"m1", "m2"}}, {"h", {"h1"}}}, {"g"}, 0, 7, false, {"m2", "m1"}, {"h1"}, {"h"},
     {kHeading, kRule}, 8},
    {"NothingInstalledStartsNothing", {{{"a"}, 0}}, {}, {}, {"x"}, 15, 0, false, {}, {"a"}, {},
     {}, 0},
    {"AKeyThatStaysFailsTheRun", {{{"a"}, 0}}, {}, {}, {"a"}, 0, 8, false, {"a"}, {"a"}, {},
     {"Component: [a] Uninstall Succeeded\n",
      "Component: [a] - Failed to delete it's registry key: Access is denied", kRule}, 6, "a"},
    {"AHalfRecordedComponentIsRemoved", {{{"h"}, 0, true}}, {}, {}, {"h"}, 0, 7, false, {"h"},
     {}, {}, {"Component: [h] Uninstall Succeeded\n", kRule}, 5},
};
// clang-format on

// The path of a component's key below the machine hive's root.
std::u16string KeyPath(const std::string& id) {
    const std::string path = "SOFTWARE\\Vomo\\Install\\" + id;
    return std::u16string(path.begin(), path.end());
}

Strings InstalledIds() {
    std::set<std::string> ids;
    CreateComponentRegistry()->GetInstalledComponentIds(ids);
    ids.erase("Setup");
    return Strings(ids.begin(), ids.end());
}

Strings GroupIds() {
    const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
    std::set<std::string> ids;
    registry->GetBundleGroupIds(ids);
    std::vector<ComponentRecord> installGroups;
    registry->LoadInstallGroups(installGroups);
    for (const ComponentRecord& group : installGroups) {
        ids.insert(group.id);
    }
    return Strings(ids.begin(), ids.end());
}

TEST(UninstallSessionTest, RemovesComponentsEndToEnd) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        testsupport::ScopedRegistryRoot hives;
        testsupport::TempDir dir("vcm-uninstall");
        std::map<std::string, std::string> uninstallers;
        for (const Installed& installed : c.installed) {
            const std::string& id = installed.component.id;
            if (installed.exitCode == kNoUninstaller) {
                testsupport::RecordInstalled(installed.component);
                continue;
            }
            const std::string body = installed.exitCode == 3 ? "" : "rm -rf \"${2#_?=}\" \"$0\"";
            testsupport::RecordInstalled(installed.component, dir.File(id),
                                         testsupport::ArgumentScript(installed.exitCode, body));
            uninstallers[id] = dir.File(id) + "/uninstall";
            if (installed.halfRecorded) {
                ASSERT_EQ(0u, CreateComponentRegistry()->RemoveComponent(id));
                InstallerSettingsImpl settings;
                ASSERT_TRUE(settings.SetString(id, "InstallDir", dir.File(id)));
                ASSERT_TRUE(settings.SetString(id, "UninstallPath", uninstallers[id]));
            }
        }
        if (c.undeletable) {
            platform::SetKeyDeletionDeniedForTesting(platform::kHKeyLocalMachine,
                                                     KeyPath(c.undeletable), true);
        }
        const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
        for (const auto& group : c.bundleGroups) {
            for (const std::string& member : group.second) {
                ASSERT_EQ(0u, registry->AddBundleGroupMember(group.first, member));
            }
        }
        std::vector<ComponentRecord> installGroups;
        std::set<std::string> installGroupIds;
        for (const auto& group : c.installGroups) {
            ComponentRecord record;
            record.id = group.first;
            record.auxiliaryIds = group.second;
            installGroups.push_back(record);
            installGroupIds.insert(group.first);
        }
        ASSERT_EQ(0u, registry->SaveInstallGroups(installGroups));

        // The components a host asks to remove, as the registry's records make them.
        vmi::ComponentList requested;
        for (const std::string& id : c.requested) {
            ComponentRecord record;
            record.id = id;
            record.inInstallGroup = installGroupIds.count(id) > 0;
            requested.push_back(boost::make_shared<ComponentImpl>(record));
        }
        VomoInstallImpl engine(Url("http://127.0.0.1:1/m.cab"), 0);
        const boost::shared_ptr<RecordingLog> log = boost::make_shared<RecordingLog>();
        engine.SetEventLog(log);
        boost::shared_ptr<vmi::IInstallSession> session;
        ASSERT_EQ(c.start, engine.StartUninstallSession(requested, session));
        uint32_t position = 0, total = 0, state = 0;
        if (session) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
            while (session->GetProgress(position, total, state) == 0 && state == 6 &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            EXPECT_EQ(c.reboot, session->IsRebootRequired());
        }
        EXPECT_EQ(c.state, state);

        // The components worked on, each with its recorded uninstaller (or none).
        Strings order;
        for (size_t i = 0; i < log->entries.size(); ++i) {
            if (log->formats[i] == std::string("Component: [%s] %s\n")) {
                const std::string& text = log->entries[i].text;
                const std::string id = text.substr(12, text.find(']') - 12);
                EXPECT_EQ("Component: [" + id + "] " + uninstallers[id] + "\n", text);
                order.push_back(id);
            }
        }
        EXPECT_EQ(c.order, order);
        if (c.state == 7) {
            EXPECT_EQ(c.order.size(), total);
            EXPECT_EQ(c.order.size() - 1, position);
        }
        if (c.undeletable) {
            platform::SetKeyDeletionDeniedForTesting(platform::kHKeyLocalMachine,
                                                     KeyPath(c.undeletable), false);
        }
        EXPECT_EQ(c.remaining, InstalledIds());
        EXPECT_EQ(c.groups, GroupIds());
        for (const auto& uninstaller : uninstallers) {
            if (c.undeletable && uninstaller.first == c.undeletable) {
                continue;  // its uninstaller ran: only its key stays
            }
            const bool kept = std::count(c.remaining.begin(), c.remaining.end(), uninstaller.first);
            EXPECT_EQ(kept, boost::filesystem::exists(uninstaller.second)) << uninstaller.first;
        }

        EXPECT_EQ(c.entries, log->entries.size());
        size_t next = 0;
        for (const std::string& line : c.lines) {
            while (next < log->entries.size() &&
                   log->entries[next].text.compare(0, line.size(), line)) {
                ++next;
            }
            EXPECT_LT(next++, log->entries.size()) << "no line " << line;
        }
    }
}

}  // namespace
