// `vcm update` as a person or an unattended service runs it, on a bad day: killed at any moment,
// interrupted, started twice at once, served by a server that breaks off, with a registry it
// may not write. Each run is the real program against a local site (support/UpdateSite.h).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "settings/SettingsAccessors.h"
#include "support/UpdateSite.h"

namespace {

using testsupport::HttpReply;
using testsupport::SiteComponent;
using testsupport::UpdateSite;
typedef std::chrono::steady_clock Clock;

const char kBoth[] = "Alpha;Beta";
const char kOld[] = "1.0.0.0";
const char kNew[] = "2.0.0.0";

// A component's values as they stand in a registry folder, read raw (no defaults).
struct Recorded {
    bool present = false;
    std::string version, installDir, uninstallPath, packageType;
};

Recorded Read(const std::string& registry, const std::string& id) {
    const char* previous = std::getenv("VOMO_REGISTRY_ROOT");
    const std::string before = previous ? previous : "";
    ::setenv("VOMO_REGISTRY_ROOT", registry.c_str(), 1);
    Recorded r;
    r.present = vmds::InstallKeyExists(id);
    vmds::ReadInstallString(id, "InstalledVersion", r.version);
    vmds::ReadInstallString(id, "InstallDir", r.installDir);
    vmds::ReadInstallString(id, "UninstallPath", r.uninstallPath);
    vmds::ReadInstallString(id, "PackageType", r.packageType);
    ::setenv("VOMO_REGISTRY_ROOT", before.c_str(), 1);
    return r;
}

bool Running(pid_t pid) {
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {  // orphans come to this process: collected
    }
    return ::kill(pid, 0) == 0;
}

class VcmRunTest : public ::testing::Test {
protected:
    VcmRunTest() : site_(VOMO_REG_PATH) {
        // Installers whose vcm was killed come to this process, which waits for them.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }

    pid_t Start(const std::vector<std::string>& args, const std::string& registry = "",
                int uid = -1, const std::vector<std::string>& extraEnvironment = {}) {
        std::vector<std::string> environment = site_.EnvironmentList(registry);
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        return testsupport::StartProgram(VCM_PATH, args, environment, Output(), uid);
    }
    int Run(const std::vector<std::string>& args, const std::string& registry = "") {
        return testsupport::WaitForProgram(Start(args, registry));
    }
    // What the last vcm started wrote, standard output and error together.
    std::string Output() const { return site_.Dir().File("vcm.out"); }
    std::string Said() const {
        std::string text;
        testsupport::ReadFile(Output(), text);
        return text;
    }
    std::string LogSince(size_t start) const {
        const std::string log = site_.Log();
        return log.size() > start ? log.substr(start) : std::string();
    }
    // The process id an installer of `id` wrote last, 0 when none ran.
    pid_t InstallerPid(const std::string& id) const {
        std::string text;
        testsupport::ReadFile(site_.Dir().File(id + ".pid"), text);
        return static_cast<pid_t>(std::atoi(text.c_str()));
    }
    void WaitForInstallersToEnd() {
        for (const char* id : {"Alpha", "Beta", "Gamma"}) {
            const pid_t pid = InstallerPid(id);
            const auto end = Clock::now() + std::chrono::seconds(30);
            while (pid > 0 && Running(pid) && Clock::now() < end) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            ::unlink(site_.Dir().File(std::string(id) + ".pid").c_str());
        }
    }
    // A copy of the registry folder `from`.
    std::string CopyRegistry(const std::string& from, const std::string& name) {
        const std::string to = site_.Dir().File(name);
        EXPECT_EQ(0, testsupport::RunCommand("cp -a " + from + " " + to));
        return to;
    }
    void InstallOldVersions() {
        site_.Publish("5.0.0.0", {{"Alpha", kOld, site_.Installer("Alpha", kOld)},
                                  {"Beta", kOld, site_.Installer("Beta", kOld)}});
        ASSERT_EQ(0, Run({"update", kBoth})) << Said();
        WaitForInstallersToEnd();
    }

    UpdateSite site_;
};

// The crash test: an update of two components killed with SIGKILL at moments spread over the
// download, the verification, the installers and the recording of the results. Right after
// the kill the hive opens and each component reads as the version it had or as the new one,
// with what it takes to uninstall or update it; a second run completes, and nothing of either
// run is left in the temporary folder.
TEST_F(VcmRunTest, KilledAtAnyMomentTheUpdateIsRepairedByTheNextRun) {
    InstallOldVersions();
    const std::string baseline = CopyRegistry(site_.Registry(), "baseline");
    const size_t packageSize = 1 << 20;
    // Slow enough packages that moments of their download can be chosen.
    const auto slow = [](HttpReply& reply) {
        reply.chunkSize = 32 * 1024;
        reply.chunkDelayMs = 15;
    };
    const std::string pause = "sleep 0.2";
    site_.Publish("6.0.0.0",
                  {{"Alpha", kNew, site_.Installer("Alpha", kNew, pause), packageSize},
                   {"Beta", kNew, site_.Installer("Beta", kNew, pause), packageSize}},
                  slow);
    const struct Moment {
        const char* name;
        double downloaded;  // of both packages, or
        const char* line;   // a line the log shows,
        int delayMs;        // and the time after it
    } moments[] = {
        {"download starts", 0.02, nullptr, 0},
        {"Alpha half downloaded", 0.25, nullptr, 0},
        {"Alpha nearly downloaded", 0.48, nullptr, 0},
        {"Beta half downloaded", 0.75, nullptr, 0},
        {"Beta nearly downloaded", 0.97, nullptr, 0},
        {"verification starts", 0, "Verifying package signature", 0},
        {"Alpha verified", 0, "Component: [Alpha] - Digital Signature OK", 0},
        {"Beta verified", 0, "Component: [Beta] - Digital Signature OK", 0},
        {"Alpha's installer starts", 0, "Installing component: [Alpha]", 0},
        {"Alpha's installer waits", 0, "Installing component: [Alpha]", 100},
        {"Alpha's installer records", 0, "Installing component: [Alpha]", 260},
        {"Alpha installed", 0, "Component: [Alpha] Install Succeeded", 0},
        {"Beta's installer waits", 0, "Installing component: [Beta]", 100},
        {"Beta's installer records", 0, "Installing component: [Beta]", 260},
        {"Beta installed", 0, "Component: [Beta] Install Succeeded", 0},
        {"recording 5 ms in", 0, "Component: [Beta] Install Succeeded", 5},
        {"recording 15 ms in", 0, "Component: [Beta] Install Succeeded", 15},
        {"recording 30 ms in", 0, "Component: [Beta] Install Succeeded", 30},
        {"recording 60 ms in", 0, "Component: [Beta] Install Succeeded", 60},
        {"recording 120 ms in", 0, "Component: [Beta] Install Succeeded", 120},
    };
    int number = 0;
    for (const Moment& m : moments) {
        SCOPED_TRACE(m.name);
        const std::string registry = CopyRegistry(baseline, "crash-" + std::to_string(++number));
        for (const char* id : {"Alpha", "Beta"}) {  // slow again after the last repair
            HttpReply reply = HttpReply::Body(site_.Package(id, kNew));
            slow(reply);
            site_.Server().Route(std::string("/") + id + "-" + kNew + ".cab", reply);
        }
        const size_t sentBefore = site_.Server().BodyBytesSent();
        const size_t logBefore = site_.Log().size();
        const pid_t vcm = Start({"update", kBoth}, registry);
        const auto end = Clock::now() + std::chrono::seconds(60);
        bool reached = false;
        int status = -1;
        while (!reached && Clock::now() < end) {
            reached = m.line ? LogSince(logBefore).find(m.line) != std::string::npos
                             : site_.Server().BodyBytesSent() - sentBefore >=
                                   static_cast<size_t>(m.downloaded * 2 * packageSize);
            int raw = 0;
            if (!reached && ::waitpid(vcm, &raw, WNOHANG) == vcm) {
                status = raw;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(reached) << "vcm ended first with status " << status << ":\n"
                             << Said() << LogSince(logBefore);
        std::this_thread::sleep_for(std::chrono::milliseconds(m.delayMs));
        ::kill(vcm, SIGKILL);
        ::waitpid(vcm, nullptr, 0);
        WaitForInstallersToEnd();

        std::string keys;
        EXPECT_EQ(
            0, testsupport::RunCommandOutput("env " + site_.Environment(registry) + VOMO_REG_PATH +
                                                 " query 'HKLM\\SOFTWARE\\Vomo\\Install' /s",
                                             keys))
            << "the hive does not open";
        for (const char* id : {"Alpha", "Beta"}) {
            const Recorded r = Read(registry, id);
            EXPECT_TRUE(r.present) << id;
            EXPECT_TRUE(r.version == kOld || r.version == kNew) << id << " reads as " << r.version;
            EXPECT_EQ("nsis", r.packageType) << id;
            EXPECT_FALSE(r.installDir.empty()) << id;
            EXPECT_FALSE(r.uninstallPath.empty()) << id;
        }

        for (const char* id : {"Alpha", "Beta"}) {  // the repair need not wait for the network
            site_.Server().Route(std::string("/") + id + "-" + kNew + ".cab",
                                 HttpReply::Body(site_.Package(id, kNew)));
        }
        EXPECT_EQ(0, Run({"update", kBoth}, registry)) << Said();
        WaitForInstallersToEnd();
        for (const char* id : {"Alpha", "Beta"}) {
            EXPECT_EQ(kNew, Read(registry, id).version) << id;
            std::string installed;
            testsupport::ReadFile(
                site_.Dir().File(std::string("apps/") + id + "/" + id + ".version"), installed);
            EXPECT_EQ(std::string(kNew) + "\n", installed) << id;
        }
        EXPECT_EQ(std::vector<std::string>(), site_.LeftInTemp());
    }
}

// Two updates started at once: the second waits, saying for whom, and its installer runs only
// once the first one's has ended (an installer that finds another running fails, and both
// succeed).
TEST_F(VcmRunTest, TwoUpdatesAtOnceTakeTurns) {
    const std::string running = site_.Dir().File("running");
    const std::string exclusive = "mkdir " + running + " || exit 3\nsleep 0.5\nrmdir " + running;
    site_.Publish("5.0.0.0", {{"Gamma", kOld, site_.Installer("Gamma", kOld, exclusive)}});
    const std::string firstOut = site_.Dir().File("first.out");
    const std::string secondOut = site_.Dir().File("second.out");
    const std::vector<std::string> environment = site_.EnvironmentList();
    const pid_t first =
        testsupport::StartProgram(VCM_PATH, {"update", "Gamma"}, environment, firstOut);
    const pid_t second =
        testsupport::StartProgram(VCM_PATH, {"update", "Gamma"}, environment, secondOut);
    EXPECT_EQ(0, testsupport::WaitForProgram(first));
    EXPECT_EQ(0, testsupport::WaitForProgram(second));
    std::string said[2];
    testsupport::ReadFile(firstOut, said[0]);
    testsupport::ReadFile(secondOut, said[1]);
    const std::string waitedForFirst =
        "vcm: waiting for another update run (process " + std::to_string(first) + ")";
    const std::string waitedForSecond =
        "vcm: waiting for another update run (process " + std::to_string(second) + ")";
    // The one that came second waited for the other (which may wait for it in turn, to record
    // its result), and neither copied the other's notice.
    EXPECT_TRUE(said[1].find(waitedForFirst) != std::string::npos ||
                said[0].find(waitedForSecond) != std::string::npos)
        << said[0] << "\n----\n"
        << said[1];
    EXPECT_EQ(std::string::npos, said[0].find(waitedForFirst)) << said[0];
    EXPECT_EQ(std::string::npos, said[1].find(waitedForSecond)) << said[1];
    const std::string log = site_.Log();
    size_t installs = 0;
    for (size_t at = 0;
         (at = log.find("Component: [Gamma] Install Succeeded", at)) != std::string::npos; ++at) {
        ++installs;
    }
    EXPECT_EQ(2u, installs) << log;
    EXPECT_NE(std::string::npos, log.find("waiting for another update run (process "));
}

// SIGTERM while the package downloads, while the installer runs, and twice for an installer
// that ignores it: vcm ends with 143, the run fails with "interrupted by signal 15" in the log,
// the installer's process group got the signal, and the temporary folder is empty.
TEST_F(VcmRunTest, SigtermEndsTheRunAndLeavesNothingBehind) {
    InstallOldVersions();
    const std::string marks = site_.Dir().File("marks");
    const std::string polite = "trap 'echo installer >> " + marks +
                               "; wait; exit 7' TERM\n(trap 'echo helper >> " + marks +
                               "; exit 0' TERM; sleep 30 & wait) &\nsleep 30 & wait";
    const std::string deaf = "trap '' TERM\nsleep 30";
    const struct Case {
        const char* name;
        std::string before;  // what the installer does first
        int signals;
        const char* marked;
    } cases[] = {
        {"during the download", "", 1, ""},
        {"during the installer", polite, 1, "helper\ninstaller\n"},
        {"twice, for an installer that ignores it", deaf, 2, ""},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string manifest = "6.0.0." + std::to_string(++number);
        const size_t size = 1 << 20;
        site_.Publish(manifest, {{"Alpha", kNew, site_.Installer("Alpha", kNew, c.before), size}},
                      [&c](HttpReply& reply) {
                          reply.chunkSize = 16 * 1024;
                          reply.chunkDelayMs = c.before.empty() ? 10 : 0;  // time to interrupt
                      });
        ::unlink(marks.c_str());
        const size_t logBefore = site_.Log().size();
        const size_t sentBefore = site_.Server().BodyBytesSent();
        const pid_t vcm = Start({"update", "Alpha"});
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (Clock::now() < end &&
               (c.before.empty() ? site_.Server().BodyBytesSent() - sentBefore < size / 4
                                 : InstallerPid("Alpha") == 0)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(c.before.empty() ? 0 : 300));
        const auto sent = Clock::now();
        for (int i = 0; i < c.signals; ++i) {
            ::kill(vcm, SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        EXPECT_EQ(143, testsupport::WaitForProgram(vcm)) << Said();
        EXPECT_LT(Clock::now() - sent, std::chrono::seconds(10));  // not the installer's 30 s
        EXPECT_NE(std::string::npos, Said().find("vcm: interrupted by signal 15")) << Said();
        EXPECT_NE(std::string::npos, LogSince(logBefore).find("interrupted by signal 15"))
            << LogSince(logBefore);
        std::string text;
        testsupport::ReadFile(marks, text);
        EXPECT_EQ(std::string(c.marked).size(), text.size()) << text;
        EXPECT_EQ(kOld, Read(site_.Registry(), "Alpha").version);
        WaitForInstallersToEnd();
        EXPECT_EQ(std::vector<std::string>(), site_.LeftInTemp());
    }
}

// A server that closes the connection at half of a 64 MiB package on its first answer: the
// update succeeds, going on from where it broke off; one that ignores ranges sends it whole
// again, and the update succeeds too.
TEST_F(VcmRunTest, APackageBrokenOffHalfWayIsFetchedOnAndInstalled) {
    const size_t padding = 64 << 20;
    const struct Case {
        const char* name;
        bool ranges;
        double leastSent, mostSent;  // in packages
    } cases[] = {{"ranges honoured", true, 0.99, 1.6}, {"ranges ignored", false, 1.45, 2.1}};
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t size = 0;
        site_.Publish("7.0.0." + std::to_string(++number),
                      {{"Delta", kNew, site_.Installer("Delta", kNew), padding}},
                      [&](HttpReply& reply) {
                          size = reply.body->size();
                          reply.dropAfter = size / 2;
                          reply.faultyAnswers = 1;
                          reply.honourRange = c.ranges;
                          reply.etag = "\"delta-2\"";
                      });
        const size_t sentBefore = site_.Server().BodyBytesSent();
        const size_t requestsBefore = site_.Server().Requests().size();
        EXPECT_EQ(0, Run({"update", "Delta"})) << Said();
        const size_t sent = site_.Server().BodyBytesSent() - sentBefore;
        std::vector<std::string> asked;  // the package's requests of this run
        const std::vector<std::string> requests = site_.Server().Requests();
        for (size_t i = requestsBefore; i < requests.size(); ++i) {
            if (requests[i].find("GET /Delta-") == 0) {
                asked.push_back(requests[i]);
            }
        }
        ASSERT_EQ(2u, asked.size());  // it broke off once
        EXPECT_EQ("bytes=" + std::to_string(size / 2) + "-",
                  testsupport::LocalHttpServer::Header(asked[1], "Range"));
        EXPECT_LT(sent, static_cast<size_t>(c.mostSent * size));
        EXPECT_GT(sent, static_cast<size_t>(c.leastSent * size));  // it did break off
        EXPECT_EQ(kNew, Read(site_.Registry(), "Delta").version);
    }
}

// A registry vcm may not write (here: a user other than the one who owns it): the update fails
// before anything is downloaded or run, and says why, instead of reporting an install that was
// never recorded.
TEST_F(VcmRunTest, ARegistryThatCannotBeWrittenFailsTheUpdateWithTheReason) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "runs vcm as another user, which only root may";
    }
    InstallOldVersions();
    site_.Publish("6.0.0.0", {{"Alpha", kNew, site_.Installer("Alpha", kNew)}});
    ::unlink(site_.Dir().File("Alpha.pid").c_str());
    const std::string logs = site_.Dir().File("nobody-logs");
    ASSERT_EQ(0, ::mkdir(logs.c_str(), 01777));
    ::chmod(logs.c_str(), 01777);
    std::vector<std::string> environment;
    for (const std::string& entry : site_.EnvironmentList()) {
        environment.push_back(entry.compare(0, 13, "VOMO_LOG_DIR=") == 0 ? "VOMO_LOG_DIR=" + logs
                                                                         : entry);
    }
    const int status = testsupport::WaitForProgram(
        testsupport::StartProgram(VCM_PATH, {"update", "Alpha"}, environment, Output(), 65534));
    EXPECT_EQ(1, status) << Said();
    EXPECT_NE(std::string::npos, Said().find("the registry cannot be written")) << Said();
    EXPECT_EQ(0, InstallerPid("Alpha"));  // nothing ran
    EXPECT_EQ(kOld, Read(site_.Registry(), "Alpha").version);
}

}  // namespace
