// vcm as scripts and people run it against a published distribution: standard output carries
// only ids (or one JSON document), messages name what is wrong, list shows the installed
// components, and update --due updates only what the schedule finds due.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "registry/IComponentRegistry.h"
#include "settings/InstallerSettingsImpl.h"
#include "support/InstalledComponents.h"
#include "support/PingTestSupport.h"
#include "support/PublishedSite.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

namespace {

using testsupport::InstalledComponent;
using testsupport::ShellQuote;

struct Ran {
    int status;
    std::string out;
    std::string err;
};

// An installer that records its folder, as packages do, and has one line of output that the
// library keeps in the install log as "<id>: <line>" (written there by the script itself, so
// that the test does not depend on the path the output takes).
std::string Installer(const std::string& id) {
    return "#!/bin/sh\n" + std::string(VOMO_REG_PATH) + " add 'HKLM\\SOFTWARE\\Vomo\\Install\\" +
           id + "' /v InstallDir /d /opt/vomo/" + id +
           " /f >/dev/null\n"
           "printf '%s info  " +
           id + ": installer of " + id +
           " at work\\n' \"$(date -u +%Y-%m-%dT%H:%M:%SZ)\" >> \"$VOMO_LOG_DIR/install.log\"\n";
}

class VcmCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        site_.Publish("7.0.0.0", {{"A", "2.0.0.0", Installer("A"), "a;app;2"},
                                  {"B", "1.0.0.0", Installer("B"), ""},
                                  {"C", "2.0.0.0", Installer("C"), ""}});
    }

    Ran Vcm(const std::string& args) {
        const std::string err = scratch_.File("stderr");
        Ran run;
        run.status = testsupport::RunCommandOutput(
            std::string(VCM_PATH) + " " + args + " 2>" + ShellQuote(err), run.out);
        testsupport::ReadFile(err, run.err);
        return run;
    }

    static std::string Log() {
        std::string text;
        testsupport::ReadFile(std::string(std::getenv("VOMO_LOG_DIR")) + "/install.log", text);
        return text;
    }

    static std::string InstalledVersion(const std::string& id) {
        ComponentRecord record;
        CreateComponentRegistry()->LoadComponent(id, record);
        return record.installedVersion.ToString();
    }

    testsupport::ScopedRegistryRoot registry_;  // inherited by vcm
    testsupport::PublishedSite site_;
    testsupport::TempDir scratch_{"vcm-run"};
};

// The library tells the install log, never the host's standard output, about the pings it
// keeps for a later run: scripts reading ids see ids only.
TEST_F(VcmCommandsTest, StoredPingsAndNoReportServerLeaveOnlyIdsOnStandardOutput) {
    testsupport::RecordInstalled(InstalledComponent("A", "1.0.0.0"));
    for (const char* args : {"check --force A", "find 'a;app;2'"}) {
        SCOPED_TRACE(args);
        pingtest::ForgetStoredPings();
        ASSERT_TRUE(pingtest::StorePings({{"hint00", "http://127.0.0.1/hint/v10-unique-x"}}));
        const std::string before = Log();
        const Ran run = Vcm(args);
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_EQ("A\n", run.out);
        const std::string added = Log().substr(before.size());
        EXPECT_NE(std::string::npos, added.find(" info  writing 1 failed pings to registry.\n"))
            << added;
        EXPECT_NE(std::string::npos,
                  added.find(" info  [hint00] http://127.0.0.1/hint/v10-unique-x\n"));
    }
}

TEST_F(VcmCommandsTest, MessagesNameWhatIsWrong) {
    testsupport::RecordInstalled(InstalledComponent("A", "1.0.0.0"));
    const struct {
        const char* args;
        int status;
        const char* said;
    } cases[] = {
        {"update ''", 64, "vcm: no component id was given\n"},
        {"update A B", 64, "vcm: update takes one list of ids separated by \";\", as \"A;B\"\n"},
        {"update 'A;;B'", 64, "vcm: an empty id in \"A;;B\"\n"},
        {"find 'a;app;2' 'a;app'", 13, "vcm: \"a;app\" is not a spec (name;role;version)\n"},
        {"check --force 'A;Ghost'", 11, "Component: [Ghost] - not a component of the manifest\n"},
        {"update 'A;Ghost'", 7, "Component: [Ghost] - not a component of the manifest\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Ran run = Vcm(c.args);
        EXPECT_EQ(c.status, run.status);
        EXPECT_EQ("", run.out);
        EXPECT_NE(std::string::npos, run.err.find(c.said)) << run.err;
        EXPECT_EQ(std::string::npos, run.err.find("no spec was given")) << run.err;
    }
    // A preparation that succeeded tells its steps.
    const std::string log = Log();
    std::string::size_type at = 0;
    for (const char* step : {" info  Manifest downloaded from http://127.0.0.1:",
                             " info  Manifest signature verified: signed by \"Vomo, LLC\"\n",
                             " info  Manifest extracted\n",
                             " info  Manifest version 7.0.0.0 loaded: 3 components\n"}) {
        at = log.find(step, at);
        EXPECT_NE(std::string::npos, at) << step << " in\n" << log;
    }
}

// Every --json output is one document that a JSON library reads, with the result's name.
TEST_F(VcmCommandsTest, JsonDocumentsOfEveryCommandParse) {
    testsupport::RecordInstalled(InstalledComponent("A", "1.0.0.0"));
    testsupport::RecordInstalled(InstalledComponent("B", "1.0.0.0"));
    const struct {
        const char* command;
        const char* args;
        int status;
        const char* name;
        std::vector<std::string> ids;
    } cases[] = {
        {"find", "--json find 'a;app;2'", 0, "VCM_OK", {"A"}},
        {"find", "find --json 'b;app;2'", 12, "VCM_NO_MATCH", {}},
        {"check", "--json check --force 'A;B'", 0, "VCM_OK", {"A"}},
        {"check", "--json check --force 'A;Ghost'", 11, "VCM_UNKNOWN_COMPONENT", {}},
        {"list", "--json list", 0, "VCM_OK", {"A", "B"}},
        {"update", "--json update B", 0, "VCM_OK", {"B"}},
        {"update", "--json update ''", 64, "usage", {}},
        {"uninstall", "--json uninstall Ghost", 2, "not-installed", {}},
        {"hotfix", "--json hotfix", 2, "no-hot-fix", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Ran run = Vcm(c.args);
        EXPECT_EQ(c.status, run.status) << run.err;
        nlohmann::json document;
        ASSERT_NO_THROW(document = nlohmann::json::parse(run.out)) << run.out;
        const std::string command = c.command;
        EXPECT_EQ(command, document.at("command"));
        EXPECT_EQ(c.status, document.at("result"));
        EXPECT_EQ(c.name, document.at("name"));
        EXPECT_TRUE(document.at("meaning").is_string());
        EXPECT_EQ(c.ids, document.at("ids").get<std::vector<std::string>>());
        // A reason where one is known (the unknown id, the id not installed, the empty list).
        const nlohmann::json& reason = document.at("reason");
        EXPECT_TRUE(c.status == 0 ? reason.is_null() : reason.is_null() || reason.is_string());
        if (c.status == 11 || c.status == 64 || command == "uninstall") {
            EXPECT_TRUE(reason.is_string()) << document.dump();
        }
        if (c.status == 11) {
            EXPECT_NE(std::string::npos, reason.get<std::string>().find("Ghost"));
        }
        if (command == "list") {
            EXPECT_EQ(true, document.at("manifest"));
            EXPECT_EQ("2.0.0.0", document.at("components").at(0).at("manifestVersion"));
            EXPECT_EQ("1.0.0.0", document.at("components").at(1).at("installedVersion"));
        }
    }
}

TEST_F(VcmCommandsTest, ListShowsVersionsAndFoldersAndDoesWithoutTheManifest) {
    testsupport::RecordInstalled(InstalledComponent("A", "1.0.0.0"));
    testsupport::RecordInstalled(InstalledComponent("B", "1.0.0.0"));
    InstallerSettingsImpl settings;
    ASSERT_TRUE(settings.SetString("A", "InstallDir", "/opt/vomo/a"));
    Ran run = Vcm("list");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("A\t1.0.0.0\t2.0.0.0\t/opt/vomo/a\nB\t1.0.0.0\t1.0.0.0\t-\n", run.out);

    site_.Packages().Server().Route("/vomo/setup/manifest.cab",
                                    testsupport::HttpReply::Status(404));
    run = Vcm("list");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("A\t1.0.0.0\t-\t/opt/vomo/a\nB\t1.0.0.0\t-\t-\n", run.out);
}

// update --due checks every installed component by the schedule, as a host's unforced check
// does, and updates those that have an update; with nothing due it succeeds doing nothing.
TEST_F(VcmCommandsTest, UpdateDueUpdatesOnlyWhatIsDue) {
    for (const char* id : {"A", "B", "C"}) {
        testsupport::RecordInstalled(InstalledComponent(id, "1.0.0.0"));
    }
    Ran run = Vcm("check C");  // C is checked now, and so not due again for days
    EXPECT_EQ("C\n", run.out);

    run = Vcm("update --due");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("A\n", run.out);  // B has no update, C is not due
    EXPECT_EQ("2.0.0.0", InstalledVersion("A"));
    EXPECT_EQ("1.0.0.0", InstalledVersion("C"));
    // Without a terminal: one line per phase, and no installer output unless asked for.
    std::string::size_type at = 0;
    for (const char* phase : {"[A] downloading\n", "[A] verifying\n", "[A] verified\n",
                              "[A] installing\n", "[A] installed\n"}) {
        at = run.err.find(phase, at);
        EXPECT_NE(std::string::npos, at) << phase << " in\n" << run.err;
    }
    EXPECT_EQ(std::string::npos, run.err.find("installer of A")) << run.err;

    run = Vcm("--json update --due");
    EXPECT_EQ(0, run.status) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), document.at("checked"));
    EXPECT_TRUE(document.at("updates").empty());
    EXPECT_TRUE(document.at("ids").empty());

    // --verbose shows installers' output on standard error; standard output stays empty.
    run = Vcm("update --verbose C");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("C: installer of C at work\n")) << run.err;
    EXPECT_EQ("2.0.0.0", InstalledVersion("C"));
}

}  // namespace
