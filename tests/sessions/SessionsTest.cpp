// Install, update, hot-fix and offer sessions end to end: signed test packages served over
// HTTP, installers that record themselves with vomo-reg, the event log and the registry read
// back afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <limits>
#include <set>
#include <thread>

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "engine/ComponentImpl.h"
#include "engine/Locale.h"
#include "engine/VomoInstallImpl.h"
#include "packages/PackageDigest.h"
#include "platform/FileSeal.h"
#include "platform/RunLock.h"
#include "registry/IComponentRegistry.h"
#include "sessions/AsyncOfferInstall.h"
#include "sessions/HotFixSessionImpl.h"
#include "sessions/InstallSessionImpl.h"
#include "sessions/InstallTransaction.h"
#include "sessions/SessionThread.h"
#include "settings/SettingsAccessors.h"
#include "support/ManifestEngine.h"
#include "support/RecordingLog.h"
#include "support/ScopedRegistryRoot.h"
#include "support/SignedPackages.h"
#include "support/StandInPkexec.h"
#include "support/TestPackages.h"

namespace {

using testsupport::Signer;
typedef std::vector<std::string> Lines;

const char kRule[] = "-------------------------------------------------------------\n\n";
const char kSwapped[] =
    "Component: [x] - Failed with error: the package is no longer the file whose signature was "
    "checked";

class SessionTest : public ::testing::Test {
public:
    SessionTest() : log_(boost::make_shared<testsupport::RecordingLog>()) {
        vmi::Locale::Select("en-us");
    }

    // An installer that notes its id in the run list, records its install directory as its
    // package would (unless `recordsKey` is false), runs `body` and exits with `exitCode`.
    std::string Installer(const std::string& id, int exitCode, const std::string& body = "",
                          bool recordsKey = true) const {
        std::string script = "#!/bin/sh\necho " + id + " >> " + RanFile() + "\n";
        if (recordsKey) {
            script += std::string(VOMO_REG_PATH) + " add 'HKLM\\SOFTWARE\\Vomo\\Install\\" + id +
                      "' /v InstallDir /d \"${1#/DIR=}\" /f >/dev/null\n";
        }
        return script + body + "\nexit " + std::to_string(exitCode) + "\n";
    }
    // The installers run so far, one id a line, and the file that lists them.
    std::string Ran() const {
        std::string text;
        testsupport::ReadFile(RanFile(), text);
        return text;
    }
    std::string RanFile() const { return packages_.Dir().File("ran"); }
    // The SHA-256 of the package served as `name`, as a manifest gives it.
    std::string Sha256(const std::string& name) const {
        platform::FileSeal seal;
        EXPECT_TRUE(platform::SealFile(packages_.Dir().File(name), seal));
        return DigestToHex(seal.digest);
    }

    ComponentRecord Record(const std::string& id, const std::string& script,
                           Signer signer = Signer::kVomoLlc) {
        ComponentRecord record;
        record.id = id;
        record.packageType = kPackageNsis;
        record.packageUrl = Url(packages_.Serve(id + ".cab", script, signer));
        record.latestVersion = Version("1.2.3.4");
        record.installDir = packages_.Dir().File("app");
        return record;
    }

    // Polls until the state is one of `ends`; the state.
    template <class Session>
    uint32_t WaitForEnd(Session& session, const std::set<uint32_t>& ends = {7, 8}) {
        uint32_t position = 0, total = 0, state = 0;
        for (int i = 0; i < 12000; ++i) {
            session.GetProgress(position, total, state);
            if (ends.count(state)) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return state;
    }

    // The log lines, without those of the launcher.
    Lines Logged() const {
        Lines lines;
        for (const auto& entry : log_->entries) {
            if (entry.text.find("INFO: NSISPackageLauncher") != 0) {
                lines.push_back(entry.text);
            }
        }
        return lines;
    }
    // The last `n` log lines, each cut to the length of the expected one when that ends in "*".
    void ExpectLogEndsWith(const Lines& expected) const {
        Lines last = Logged();
        ASSERT_GE(last.size(), expected.size());
        last.erase(last.begin(), last.end() - expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const std::string& want = expected[i];
            if (!want.empty() && want.back() == '*') {
                last[i] = last[i].substr(0, want.size() - 1) + "*";
            }
        }
        EXPECT_EQ(expected, last);
    }

    testsupport::ScopedRegistryRoot registry_;
    testsupport::SignedPackages packages_;
    boost::shared_ptr<testsupport::RecordingLog> log_;
};

TEST_F(SessionTest, ComponentsInstallInDependencyOrderWithEveryLogLine) {
    ComponentRecord a = Record("a", Installer("a", 0));
    ComponentRecord b = Record("b", Installer("b", 0));
    ComponentRecord c = Record("c", Installer("c", 0));
    a.dependencies = {"b"};
    b.dependencies = {"c", "installed-already"};  // not selected: not installed again
    ASSERT_TRUE(vmds::WriteInstallString("a", "Stale", "from an earlier install"));
    const vmi::ComponentList components = {boost::make_shared<ComponentImpl>(a),
                                           boost::make_shared<ComponentImpl>(b),
                                           boost::make_shared<ComponentImpl>(c)};
    auto engine = boost::make_shared<VomoInstallImpl>(Url("http://127.0.0.1:1/m.cab"), 0);
    engine->SetEventLog(log_);
    engine->SetInstallDir(packages_.Dir().File("product"));
    boost::shared_ptr<vmi::IInstallSession> session;
    ASSERT_EQ(0u, engine->StartInstallSession(components, {}, session));
    EXPECT_EQ(7u, WaitForEnd(*session));

    EXPECT_EQ("c\nb\na\n", Ran());
    Lines expected = {"Downloading components --------------------------------------\n"};
    for (const ComponentRecord* r : {&c, &b, &a}) {
        expected.push_back("Component: [" + r->id + "] " + r->packageUrl.ToString() + "\n");
    }
    expected.push_back(kRule);
    expected.push_back("Verifying package signature ------------------------------------\n");
    for (const char* id : {"c", "b", "a"}) {
        expected.push_back("Component: [" + std::string(id) + "] - Digital Signature OK\n");
    }
    expected.push_back(kRule);
    expected.push_back("Installing components --------------------------------------\n");
    for (const char* id : {"c", "b", "a"}) {
        expected.push_back("Installing component: [" + std::string(id) + "] version: [1.2.3.4]\n");
        expected.push_back("Component: [" + std::string(id) + "] Install Succeeded\n");
    }
    expected.push_back(kRule);
    EXPECT_EQ(expected, Logged());
    std::string value;
    EXPECT_TRUE(vmds::ReadInstallString("a", "InstallDir", value));
    EXPECT_EQ(packages_.Dir().File("product"), value);
    // The installed record stays until the new one replaces it: a run cut short leaves it.
    EXPECT_TRUE(vmds::ReadInstallString("a", "Stale", value));
    EXPECT_FALSE(session->IsRebootRequired());
    EXPECT_EQ(Lines(), packages_.LeftInTemp());
}

TEST_F(SessionTest, ARunEndsAtItsFirstFailureAndLeavesNoPackageBehind) {
    const struct Case {
        const char* name;
        std::function<void(SessionTest&, ComponentRecord&)> changeSecond;
        uint32_t state;
        const char* ran;
        bool reboot;
        Lines logEnd;
    } cases[] = {
        {"foreign signer",
         [](SessionTest& t, ComponentRecord& y) { y = t.Record("y", "", Signer::kOtherMaker); },
         8,
         "",
         false,
         {"Component: [x] - Digital Signature OK\n",
          "Component: [y] - Failed with error: the signer \"Other Maker, Ltd.\" is not an "
          "accepted signer",
          kRule}},
        {"unsigned",
         [](SessionTest& t, ComponentRecord& y) {
             y.packageUrl = Url(t.packages_.ServeUnsigned("y.cab", ""));
         },
         8,
         "",
         false,
         {"Component: [y] - Failed with error: *", kRule}},
        {"restart",
         [](SessionTest& t, ComponentRecord& y) { y = t.Record("y", t.Installer("y", 4)); },
         7,
         "x\ny\nz\n",
         true,
         {"Component: [y] Install Succeeded (Reboot Required)\n",
          "Installing component: [z] version: [1.2.3.4]\n", "Component: [z] Install Succeeded\n",
          kRule}},
        {"installer fails",
         [](SessionTest& t, ComponentRecord& y) { y = t.Record("y", t.Installer("y", 3)); },
         8,
         "x\ny\n",
         false,
         {"Component: [y] - Failed with error: the installer ended with exit code 3", kRule}},
        {"installer aborts",
         [](SessionTest& t, ComponentRecord& y) { y = t.Record("y", t.Installer("y", 2)); },
         8,
         "x\ny\n",
         false,
         {"Component: [y] - Failed due to installer script error: the installer ended with exit "
          "code 2",
          kRule}},
        {"another package's digest",
         [](SessionTest& t, ComponentRecord& y) { y.packageSha256 = t.Sha256("x.cab"); },
         8,
         "",
         false,
         {"Component: [x] - Digital Signature OK\n",
          "Component: [y] - Failed with error: the package is not the one the manifest names",
          kRule}},
        {"a digest that is not one",
         [](SessionTest& t, ComponentRecord& y) { y.packageSha256 = t.Sha256("y.cab") + "0"; },
         8,
         "",
         false,
         {"Component: [y] - Failed with error: the manifest's sha256 of the package is not 64 "
          "hexadecimal digits",
          kRule}},
        {"its own digest, in capitals",
         [](SessionTest& t, ComponentRecord& y) {
             y.packageSha256 = boost::algorithm::to_upper_copy(t.Sha256("y.cab"));
         },
         7,
         "x\ny\nz\n",
         false,
         {"Component: [z] Install Succeeded\n", kRule}},
        {"no package type",
         [](SessionTest&, ComponentRecord& y) { y.packageType = kPackageNone; },
         8,
         "",
         false,
         {"Component: [y] - Failed with error: no installer can run its package type", kRule}},
        {"no package address",
         [](SessionTest&, ComponentRecord& y) { y.packageUrl = Url(); },
         8,
         "",
         false,
         {"Component: [y] \n", "Failed to download file: the component has no package address\n",
          kRule}},
        {"package missing",
         [](SessionTest& t, ComponentRecord& y) {
             y.packageUrl = Url(t.packages_.Server().Url("/missing.cab"));
         },
         8,
         "",
         false,
         {"Failed to download file: the server answered with HTTP status 404\n", kRule}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ComponentRecord> records = {Record("x", Installer("x", 0)),
                                                Record("y", Installer("y", 0)),
                                                Record("z", Installer("z", 0))};
        c.changeSecond(*this, records[1]);
        testsupport::WriteFile(RanFile(), "");
        log_->entries.clear();
        InstallSessionImpl session(records, vmi::ComponentList(), {}, log_);
        ASSERT_EQ(0u, session.Start());
        EXPECT_EQ(c.state, WaitForEnd(session));
        EXPECT_EQ(c.ran, Ran());
        EXPECT_EQ(c.reboot, session.IsRebootRequired());
        ExpectLogEndsWith(c.logEnd);
        EXPECT_EQ(Lines(), packages_.LeftInTemp());
    }
}

TEST_F(SessionTest, CancelDuringADownloadRunsNoInstaller) {
    ComponentRecord slow = Record("slow", Installer("slow", 0));
    testsupport::HttpReply trickle = testsupport::HttpReply::Body(packages_.Bytes("slow.cab"));
    trickle.chunkSize = 256;
    trickle.chunkDelayMs = 20;
    packages_.Server().Route("/slow.cab", trickle);
    InstallSessionImpl session({slow}, vmi::ComponentList(), {}, log_);
    ASSERT_EQ(0u, session.Start());
    EXPECT_EQ(0u, session.Cancel());
    EXPECT_EQ(8u, WaitForEnd(session));
    EXPECT_EQ("", Ran());
    ExpectLogEndsWith({"Failed to download file: the transfer was stopped\n", kRule});
    EXPECT_EQ(Lines(), packages_.LeftInTemp());
}

// Changes the downloaded package when its installer is about to start.
class Swapper : public IInstallTransactionCB {
public:
    Swapper(const testsupport::SignedPackages& packages,
            std::function<void(const std::string&)> swap)
        : packages_(packages), swap_(swap) {}
    bool OnDownloadProgress(uint32_t, uint32_t, uint32_t, uint32_t, const std::string&) override {
        return true;
    }
    void OnInstallStart(uint32_t, uint32_t, const std::string&) override {
        const Lines files = packages_.LeftInTemp();
        ASSERT_EQ(1u, files.size());
        swap_(files[0]);
    }

private:
    const testsupport::SignedPackages& packages_;
    std::function<void(const std::string&)> swap_;
};

TEST_F(SessionTest, APackageChangedAfterItsSignatureWasCheckedDoesNotRun) {
    const ComponentRecord x = Record("x", Installer("x", 0));
    Record("other", Installer("other", 0));  // validly signed too
    const std::string other = packages_.Bytes("other.cab");
    const std::function<void(const std::string&)> swaps[] = {
        [&](const std::string& file) { testsupport::WriteFile(file, other); },  // rewritten
        [&](const std::string& file) {  // another signed file renamed over it
            testsupport::WriteFile(file + ".new", other);
            std::rename((file + ".new").c_str(), file.c_str());
        },
        [&](const std::string& file) {  // grown by a byte
            std::string bytes;
            testsupport::ReadFile(file, bytes);
            testsupport::WriteFile(file, bytes + "!");
        },
    };
    ASSERT_TRUE(vmds::WriteInstallString("x", "InstallDir", "/opt/x"));  // installed before
    for (const auto& swap : swaps) {
        log_->entries.clear();
        Swapper swapper(packages_, swap);
        InstallTransaction transaction({x}, &swapper, log_);
        EXPECT_EQ(18u, transaction.Run());
        EXPECT_EQ("", Ran());
        ExpectLogEndsWith({"Installing component: [x] version: [1.2.3.4]\n", kSwapped, kRule});
        EXPECT_EQ(Lines(), packages_.LeftInTemp());
        std::string dir;
        EXPECT_TRUE(vmds::ReadInstallString("x", "InstallDir", dir));  // the component is kept
        EXPECT_EQ("/opt/x", dir);
    }
}

// A process without root's rights installs through pkexec, which opens what it is given only
// once an administrator has typed the password (the stand-in waits a second). Meanwhile a
// process of the user replaces every file of the user's temporary folder, over and over, with a
// signed package of another component or with a program of its own. What runs as root is the
// verified package or nothing: here nothing, refused as a signature failure.
TEST_F(SessionTest, WhatRunsElevatedIsTheVerifiedPackageOrNothing) {
    testsupport::StandInPkexec pkexec(VCM_ELEVATE_PATH, "sleep 1\nexec \"$@\"");
    const std::string evil = "#!/bin/sh\necho evil >> " + RanFile() + "\nexit 0\n";
    Record("evil", evil);  // signed by the maker too
    const std::string evilCabinet = packages_.Bytes("evil.cab");
    const ComponentRecord x = Record("x", Installer("x", 0));

    struct Observer : IInstallTransactionCB {
        bool OnDownloadProgress(uint32_t, uint32_t, uint32_t, uint32_t,
                                const std::string&) override {
            return true;
        }
        void OnInstallStart(uint32_t, uint32_t, const std::string&) override { started = true; }
        std::atomic<bool> started{false};
    } observer;
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        namespace fs = boost::filesystem;
        while (!stop && !observer.started) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // Past the transaction's own last look at the package, while pkexec waits.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        while (!stop) {
            boost::system::error_code error;
            for (fs::recursive_directory_iterator it(packages_.Temp().Path(), error), end;
                 !error && it != end; it.increment(error)) {
                const std::string file = it->path().string();
                std::string bytes;
                if (fs::is_regular_file(it->path()) && file.find(".swap") == std::string::npos &&
                    testsupport::ReadFile(file, bytes)) {
                    testsupport::WriteFile(file + ".swap",
                                           bytes.compare(0, 4, "MSCF") == 0 ? evilCabinet : evil);
                    fs::permissions(file + ".swap", fs::owner_all, error);
                    fs::rename(file + ".swap", file, error);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    bool reboot = false;
    const uint32_t result = InstallTransaction::RunOnce({x}, &observer, log_, reboot);
    stop = true;
    swapper.join();
    EXPECT_EQ(18u, result);
    EXPECT_EQ("", Ran());
    ExpectLogEndsWith(
        {"Component: [x] - Failed with error: the package is no longer the file whose signature "
         "was checked",
         kRule});
}

TEST_F(SessionTest, ProgressCountsComponentsAndOffers) {
    const uint32_t kMax = std::numeric_limits<uint32_t>::max();
    const bool kInstall = true;
    const struct {
        size_t offers;
        bool install;  // an install start, else a download report
        uint32_t progress, progressMax, index, count;
        uint32_t position, total, state;
    } cases[] = {
        {0, false, 0, 1000, 0, 3, 0, 3000, 2},
        {0, false, 999, 1000, 0, 3, 999, 3000, 2},
        {0, false, 0, 1000, 1, 3, 1000, 3000, 2},
        {0, false, 999, 1000, 2, 3, 2999, 3000, 2},
        {0, false, 70, 0, 1, 3, 1, 3, 2},
        {2, false, 10, 100, 1, 3, 110, 500, 2},
        {0, kInstall, 0, 0, 2, 3, 2, 3, 4},
        {2, kInstall, 0, 0, 1, 3, 1, 5, 4},
        {0, false, 0, kMax - 1, 3, 4, kMax / 4 * 3, kMax / 2 * 2, 2},  // scaled to 32 bits
    };
    for (const auto& c : cases) {
        InstallSessionImpl session({}, {}, std::vector<OfferRecord>(c.offers), log_);
        if (c.install) {
            session.OnInstallStart(c.index, c.count, "id");
        } else {
            EXPECT_TRUE(
                session.OnDownloadProgress(c.progress, c.progressMax, c.index, c.count, "id"));
        }
        uint32_t position = 0, total = 0, state = 0;
        session.GetProgress(position, total, state);
        EXPECT_NEAR(c.position, position, 1) << c.progress << " " << c.index;
        EXPECT_EQ(c.total, total) << c.progress << " " << c.index;
        EXPECT_EQ(c.state, state);
        session.Cancel();
        EXPECT_FALSE(session.OnDownloadProgress(1, 2, 0, 1, "id"));
    }
}

TEST_F(SessionTest, OffersRunOnlyWhenSignedAndEndFinishedWhateverTheirInstallerSays) {
    const struct {
        const char* name;
        int exitCode;
        int sign;  // 0 unsigned, 1 by the maker, 2 by someone else
        PackageType type;
        int32_t state;
        const char* ran;
    } cases[] = {
        {"good", 0, 1, kPackageNsis, 3, "good\n"}, {"fails", 3, 1, kPackageNsis, 3, "fails\n"},
        {"unsigned", 0, 0, kPackageNsis, -1, ""},  {"foreign", 0, 2, kPackageNsis, -1, ""},
        {"exe", 0, 1, kPackageExe, -1, ""},        {"digest", 0, 1, kPackageNsis, 3, "digest\n"},
        {"misnamed", 0, 1, kPackageNsis, -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(RanFile(), "");
        const std::string script = Installer(c.name, c.exitCode, "", false);
        OfferRecord offer;
        offer.id = c.name;
        offer.packageType = c.type;
        offer.packageUrl =
            Url(c.sign == 0   ? packages_.ServeUnsigned(offer.id, script)
                : c.sign == 1 ? packages_.Serve(offer.id, script)
                              : packages_.Serve(offer.id, script, Signer::kOtherMaker));
        // The manifest names the offer's own digest, or that of another package.
        if (offer.id == "digest" || offer.id == "misnamed") {
            offer.packageSha256 = Sha256(offer.id == "digest" ? offer.id : "good");
        }
        AsyncOfferInstall install(offer, log_);
        int32_t state = 0;
        for (int i = 0; i < 12000 && (state = install.GetState()) >= 0 && state < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(c.state, state);
        EXPECT_EQ(c.ran, Ran());
        EXPECT_EQ(Lines(), packages_.LeftInTemp());
    }
}

TEST_F(SessionTest, TheSessionWaitsForItsOffersAndNamesThem) {
    std::vector<OfferRecord> offers(2);
    for (size_t i = 0; i < offers.size(); ++i) {
        offers[i].id = "offer" + std::to_string(i);
        offers[i].packageType = kPackageNsis;
        offers[i].installText = "Installing " + offers[i].id;
        const std::string release = packages_.Dir().File("release-" + offers[i].id);
        offers[i].packageUrl = Url(packages_.Serve(
            offers[i].id, Installer(offers[i].id, 0,
                                    "while [ ! -e " + release + " ]; do sleep 0.05; done", false)));
    }
    InstallSessionImpl session({}, {}, offers, log_);
    // The position counts the offers still running.
    const auto position = [&session] {
        uint32_t position = 0, total = 0, state = 0;
        session.GetProgress(position, total, state);
        return position;
    };
    ASSERT_EQ(0u, session.Start());
    EXPECT_EQ(5u, WaitForEnd(session, {5}));  // both offers are at their installers
    EXPECT_EQ(2u, position());
    std::string text;
    EXPECT_EQ(0u, session.GetStatusText("install", text));
    EXPECT_EQ("Installing offers, please wait...", text);
    EXPECT_EQ(0u, session.GetStatusText("download", text));
    EXPECT_EQ("Downloading offers, please wait...", text);
    EXPECT_EQ(2u, session.GetStatusText("uninstall", text));
    EXPECT_EQ(6u, session.GetCurrentComponentText(text));

    // Their installers take turns: the one that runs first is released first.
    for (int i = 0; i < 12000 && Ran().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string first = Ran().substr(0, Ran().find('\n'));
    const std::string second = first == "offer0" ? "offer1" : "offer0";
    testsupport::WriteFile(packages_.Dir().File("release-" + first), "");
    for (int i = 0;
         i < 12000 && session.GetStatusText("install", text) == 0 && text != "Installing " + second;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ("Installing " + second, text);  // the one offer still running names itself
    EXPECT_EQ(1u, position());
    testsupport::WriteFile(packages_.Dir().File("release-" + second), "");
    EXPECT_EQ(7u, WaitForEnd(session, {7}));
    EXPECT_EQ(0u, position());
    EXPECT_EQ(first + "\n" + second + "\n", Ran());  // one after the other
}

TEST_F(SessionTest, AnOfferWithoutAThreadEndsFailedAndTheSessionStillFinishes) {
    OfferRecord offer;
    offer.id = "o";
    offer.packageType = kPackageNsis;
    offer.packageUrl = Url(packages_.Serve("o", Installer("o", 0, "", false)));
    SessionThread::RefuseNextStartsForTesting(1);  // the offer's: offers start first
    InstallSessionImpl session({}, {}, {offer}, log_);
    ASSERT_EQ(0u, session.Start());
    EXPECT_EQ(7u, WaitForEnd(session));
    EXPECT_EQ("", Ran());
    EXPECT_TRUE(session.GetInstalledOffers().empty());
    ASSERT_FALSE(Logged().empty());
    EXPECT_EQ("Offer: [o] - Failed with error: no thread could be started for it",
              Logged().front());
}

// A setup program's road through the engine: the bundle's plug-ins as offers (the one that
// is not the bundle's refused), the arguments set for them, the components of an install
// group, and the record CompleteInstall leaves.
TEST_F(SessionTest, AFirstInstallRunsTheKeptOffersAndCompleteInstallRecordsIt) {
    const auto component = [&](const std::string& id, const std::string& more) {
        return "<component id='" + id + "'" + more + "<latestVersion>2.0.0.0</latestVersion>" +
               "<package><type>nsis</type><url>" + packages_.Serve(id + ".cab", Installer(id, 0)) +
               "</url></package></component>";
    };
    const auto plugin = [&](const std::string& id) {
        return "<plugin id='" + id + "'><sourceUrl>http://source/" + id +
               "</sourceUrl><package><type>nsis</type><url>" +
               packages_.Serve(id + ".cab",
                               "#!/bin/sh\necho " + id + " \"$*\" >> " + RanFile() + "\n") +
               "</url></package></plugin>";
    };
    testsupport::ManifestEngine<> m;
    ASSERT_EQ(0u,
              m.Load(testsupport::ManifestXml(
                         "<componentDefinitions>" + component("grp", " installGroup='true'>") +
                         component("m1", "><installGroup>grp</installGroup>") +
                         component("m2", "><installGroup>grp</installGroup>") +
                         "</componentDefinitions><pluginDefinitions>" + plugin("p") + plugin("q") +
                         "</pluginDefinitions><bundleDefinitions><bundle id='t'>"
                         "<componentRef id='AL'/><pluginRef id='p'/><pluginRef id='q'/>"
                         "</bundle></bundleDefinitions>"),
                     "t"));
    m.engine->SetEventLog(log_);
    m.engine->SetInstallDir(packages_.Dir().File("product"));
    ASSERT_EQ(0u, m.engine->SetPluginCommandLineArgs("p", "/FROM=setup"));
    std::vector<PluginRecord> plugins;
    ASSERT_EQ(0u, m.engine->GetBundlePlugins(plugins));
    ASSERT_EQ(2u, plugins.size());
    PluginRecord stranger = plugins[0];
    stranger.packageUrl = "http://127.0.0.1:1/elsewhere.cab";
    boost::shared_ptr<vmi::IInstallSession> session;
    EXPECT_EQ(2u, m.engine->StartInstallSession({}, {stranger}, session));
    EXPECT_FALSE(session);
    EXPECT_EQ(6u, m.engine->CompleteInstall({}));  // no install session

    std::vector<std::string> members;
    m.engine->ExpandInstallGroups({m.Component("grp")}, members);
    vmi::ComponentList components;
    for (const std::string& id : members) {
        components.push_back(m.Component(id));
    }
    plugins[0].commandLineArgs = "/IGNORED";  // the engine runs its own record of the plug-in
    ASSERT_EQ(0u, m.engine->StartInstallSession(components, {plugins[0]}, session));
    EXPECT_EQ(7u, WaitForEnd(*session));
    std::string ran = Ran();
    const std::string offer =
        "p /DIR=" + packages_.Dir().File("product") + " /LOCALE=en-us " + "/FROM=setup\n";
    ASSERT_NE(std::string::npos, ran.find(offer)) << ran;
    EXPECT_EQ("m1\nm2\n", ran.erase(ran.find(offer), offer.size()));

    EXPECT_EQ(0u, m.engine->CompleteInstall({"eula1", "eula2"}));
    for (const char* id : {"m1", "m2"}) {
        std::string value;
        EXPECT_TRUE(vmds::ReadInstallString(id, "InstalledVersion", value));
        EXPECT_EQ("2.0.0.0", value);
        EXPECT_TRUE(vmds::ReadInstallString(id, "EulaIds", value));
        EXPECT_EQ("eula1;eula2", value);
    }
    const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
    std::vector<ComponentRecord> groups;
    ASSERT_EQ(0u, registry->LoadInstallGroups(groups));
    ASSERT_EQ(1u, groups.size());
    EXPECT_EQ("grp", groups[0].id);
    EXPECT_EQ((std::vector<std::string>{"m1", "m2"}), groups[0].auxiliaryIds);
    std::vector<InstalledPlugin> installed;
    ASSERT_EQ(0u, registry->LoadPlugins(installed));
    ASSERT_EQ(1u, installed.size());
    EXPECT_EQ("p", installed[0].id);
    EXPECT_EQ("http://source/p", installed[0].sourceUrl);
    std::string dir;
    EXPECT_TRUE(vmds::ReadInstallString("Setup", "InstallDir", dir));
    EXPECT_EQ(packages_.Dir().File("product"), dir);
}

std::atomic<int> g_completions{0};
std::atomic<int> g_lastCompletion{-1};
void Completed(int32_t result) {
    ++g_completions;
    g_lastCompletion = result;
}

// A hot fix keeps its component's key whatever its installer says; the session ends finished or
// failed and hands its completion function the session's own result, once.
TEST_F(SessionTest, AHotFixKeepsItsComponentAndCompletesOnceWithTheSessionsResult) {
    ASSERT_TRUE(vmds::WriteInstallString("player", "InstallDir", "/opt/player"));
    const struct {
        const char* id;
        int exitCode;
        uint32_t state;
        bool reboot;
        int completion;
        const char* logged;
    } cases[] = {
        {"restart", 4, 4, true, 0, "Component: [restart] Install Succeeded (Reboot Required)\n"},
        {"fails", 3, 5, false, 6, "Component: [fails] - Failed with error: *"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        testsupport::WriteFile(RanFile(), "");
        g_completions = 0;
        HotFixRecord hotFix;
        hotFix.id = c.id;
        hotFix.componentId = "player";
        hotFix.version = "1.0.0.5";
        hotFix.packageType = kPackageNsis;
        hotFix.url =
            packages_.Serve(hotFix.id + ".cab",
                            Installer(hotFix.id, c.exitCode, "echo \"$1\" >> " + RanFile(), false));
        {
            HotFixSessionImpl session({hotFix}, log_, &Completed);
            ASSERT_EQ(0u, session.Start());
            EXPECT_EQ(c.state, WaitForEnd(session, {4, 5}));
            EXPECT_EQ(c.reboot, session.IsRebootRequired());
        }
        EXPECT_EQ(1, g_completions.load());
        EXPECT_EQ(c.completion, g_lastCompletion.load());
        EXPECT_EQ(hotFix.id + "\n/DIR=/opt/player\n", Ran());
        std::string dir;
        EXPECT_TRUE(vmds::ReadInstallString("player", "InstallDir", dir));  // the key was kept
        ExpectLogEndsWith({c.logged, kRule});
    }
}

TEST_F(SessionTest, AnUpdateRunsTheRequestedComponentsAsAskedAndCompleteUpdateRecordsThem) {
    const std::string xml = testsupport::ManifestXml(
        "<componentDefinitions>"
        "<component id='first'><latestVersion>2.0.0.0</latestVersion><package><type>nsis</type>"
        "<url>" +
        packages_.Serve("first.cab", Installer("first", 4)) +
        "</url></package>"
        "</component>"
        "<component id='second'><latestVersion>3.0.0.0</latestVersion><package><type>nsis</type>"
        "<url>" +
        packages_.Serve("second.cab", Installer("second", 0, "", false)) +
        "</url></package><dependencies><componentRef id='first'/></dependencies></component>"
        "</componentDefinitions>");
    testsupport::ManifestEngine<> m;
    ASSERT_EQ(0u, m.Load(xml));
    EXPECT_EQ(6u, m.engine->CompleteUpdate());  // no update session yet
    ASSERT_TRUE(vmds::WriteInstallString("Setup", "InstallDir", "/opt/vomo"));
    vmi::Locale::ClearSelection();
    boost::shared_ptr<vmi::IInstallSession> session;
    EXPECT_EQ(15u, m.engine->CreateUpdateSession({"first", "unknown"}, session));
    EXPECT_FALSE(session);
    EXPECT_EQ("", Ran());

    ASSERT_EQ(0u, m.engine->CreateUpdateSession({"second", "first"}, session));
    EXPECT_EQ("en-us", vmi::Locale::CurrentCode());
    uint32_t position = 1, total = 1, state = 0;
    while (state != 7 && state != 8) {
        session->GetProgress(position, total, state);
        ASSERT_EQ(0u, position + total);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(7u, state);
    EXPECT_EQ("second\nfirst\n", Ran());  // the order asked for, not the dependency order
    EXPECT_FALSE(session->IsRebootRequired());
    std::string text;
    EXPECT_EQ(2u, session->GetStatusText("install", text));

    EXPECT_EQ(0u, m.engine->CompleteUpdate());
    std::string value;
    EXPECT_TRUE(vmds::ReadInstallString("first", "InstalledVersion", value));
    EXPECT_EQ("2.0.0.0", value);
    EXPECT_TRUE(vmds::ReadInstallString("first", "InstallDir", value));
    EXPECT_EQ("/opt/vomo", value);
    EXPECT_FALSE(vmds::InstallKeyExists("second"));  // its installer made no key: skipped
}

TEST_F(SessionTest, ReleasingTheEngineWaitsForItsRunningSession) {
    const vmi::ComponentList components = {
        boost::make_shared<ComponentImpl>(Record("slow", Installer("slow", 0, "sleep 1")))};
    auto engine = boost::make_shared<VomoInstallImpl>(Url("http://127.0.0.1:1/m.cab"), 0);
    boost::shared_ptr<vmi::IInstallSession> session;
    ASSERT_EQ(0u, engine->StartInstallSession(components, {}, session));
    session.reset();
    engine.reset();
    EXPECT_EQ("slow\n", Ran());
    EXPECT_EQ(Lines(), packages_.LeftInTemp());
}

// Two runs of one process (two engines of one host) take turns as two processes do: the second
// waits, says for whom, and runs once the first is over; a run that waits too long fails, with
// the reason in the log.
TEST_F(SessionTest, RunsOfOneProcessTakeTurnsAndAWaitHasALimit) {
    const std::string release = packages_.Dir().File("release");
    const ComponentRecord first = Record(
        "first", Installer("first", 0, "while [ ! -e " + release + " ]; do sleep 0.05; done"));
    const ComponentRecord second = Record("second", Installer("second", 0));
    const auto secondLog = boost::make_shared<testsupport::RecordingLog>();
    InstallSessionImpl running({first}, vmi::ComponentList(), {}, log_);
    ASSERT_EQ(0u, running.Start());
    for (int i = 0; i < 12000 && Ran().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    InstallSessionImpl waiting({second}, vmi::ComponentList(), {}, secondLog);
    ASSERT_EQ(0u, waiting.Start());
    const std::string waitLine =
        "waiting for another update run (process " + std::to_string(::getpid()) + ")\n";
    for (int i = 0; i < 12000 && secondLog->Count() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ("first\n", Ran());  // the second waits
    testsupport::WriteFile(release, "");
    EXPECT_EQ(7u, WaitForEnd(running));
    EXPECT_EQ(7u, WaitForEnd(waiting));
    EXPECT_EQ("first\nsecond\n", Ran());
    ASSERT_FALSE(secondLog->entries.empty());
    EXPECT_EQ(waitLine, secondLog->entries.front().text);

    platform::SetRunLockWaitForTesting(300);
    platform::RunLock held;
    ASSERT_EQ(platform::RunLock::Outcome::kTaken, held.Take({}));
    log_->entries.clear();
    InstallSessionImpl refused({second}, vmi::ComponentList(), {}, log_);
    ASSERT_EQ(0u, refused.Start());
    EXPECT_EQ(8u, WaitForEnd(refused));
    EXPECT_EQ((Lines{waitLine,
                     "The run did not start: gave up waiting for another update run "
                     "(process " +
                         std::to_string(::getpid()) + ") after 0.3 s\n"}),
              Logged());
    platform::SetRunLockWaitForTesting(0);
}

}  // namespace
