// A host's view of manifest preparation end to end: libvcm.so loaded with dlopen, the signed
// manifest cabinet served by a local HTTP server, the test root trusted through
// VOMO_TRUST_ROOTS, and the exports driven as a setup program drives them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/UtcTime.h"
#include "packages/SizeLimits.h"
#include "platform/Clock.h"
#include "settings/SettingsAccessors.h"
#include "support/CodeSigning.h"
#include "support/LoadedExports.h"
#include "support/LocalHttpServer.h"
#include "support/PingTestSupport.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"
#include "support/TestPackages.h"
#include "support/TimestampServer.h"
#include "vcm/vcm.h"

using testsupport::CodeSigning;
using testsupport::HttpReply;
using testsupport::ReadFile;
using testsupport::Signer;
using testsupport::TempDir;

namespace {

const char kManifest[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<manifest version="5.0.0.1">
  <componentDefinitions>
    <component id="VomoPlayer">
      <latestVersion>4.1.0.12</latestVersion>
      <specs><spec name="player" version="4"><role>application</role></spec></specs>
    </component>
    <component id="VomoCodecs">
      <latestVersion>2.7.3.0</latestVersion>
      <specs><spec name="codecs" version="2"><role>plugin</role></spec></specs>
    </component>
  </componentDefinitions>
</manifest>
)";

// Versions around the installed ones that the update-check test records.
const char kUpdatesManifest[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<manifest version="6.0.0.0">
  <componentDefinitions>
    <component id="Newer"><latestVersion>2.0.0.0</latestVersion></component>
    <component id="Same"><latestVersion>1.0.0.0</latestVersion></component>
    <component id="Older"><latestVersion>1.0.0.0</latestVersion></component>
    <component id="Downgrade"><latestVersion>1.0.0.0</latestVersion>
      <isDowngradeVersion>true</isDowngradeVersion></component>
    <component id="NotInstalled"><latestVersion>3.0.0.0</latestVersion></component>
    <component id="BadVersion"><latestVersion>9.0.0.0</latestVersion></component>
    <component id="Paused"><latestVersion rollout="0">2.0.0.0</latestVersion></component>
    <component id="Everyone"><latestVersion rollout="100">2.0.0.0</latestVersion></component>
    <component id="Garbled"><latestVersion rollout="ten">2.0.0.0</latestVersion></component>
  </componentDefinitions>
</manifest>
)";

const char kCabinetPath[] = "/vomo/setup/manifest.cab";

class SignedManifestTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        files_ = new TempDir("vcm-e2e-files");
        const CodeSigning& signing = CodeSigning::Instance();
        ASSERT_TRUE(testsupport::MakeCabinet(files_->File("plain.cab"),
                                             {{"manifest.xml", kManifest}}, true, files_->Path()));
        ASSERT_TRUE(signing.Sign(Signer::kVomoLlc, files_->File("plain.cab"),
                                 files_->File("manifest.cab")));
        ASSERT_TRUE(signing.Sign(Signer::kOtherMaker, files_->File("plain.cab"),
                                 files_->File("other.cab")));
        // Signed with the expired key now, back-dated by a time-stamp that key made itself.
        testsupport::TimestampServer stamper(signing.Chain(Signer::kExpired),
                                             signing.Key(Signer::kExpired), 1593561600);
        ASSERT_TRUE(signing.Sign(Signer::kExpired, files_->File("plain.cab"),
                                 files_->File("backdated.cab"), "-ts " + stamper.Rfc3161Url()));
        ASSERT_TRUE(testsupport::MakeCabinet(files_->File("updates-plain.cab"),
                                             {{"manifest.xml", kUpdatesManifest}}, true,
                                             files_->Path()));
        ASSERT_TRUE(signing.Sign(Signer::kVomoInc, files_->File("updates-plain.cab"),
                                 files_->File("updates.cab")));
        ASSERT_TRUE(testsupport::MakeCabinet(files_->File("broken-plain.cab"),
                                             {{"manifest.xml", "<manifest>\n<oops></manifest>"}},
                                             true, files_->Path()));
        ASSERT_TRUE(signing.Sign(Signer::kVomoLlc, files_->File("broken-plain.cab"),
                                 files_->File("broken.cab")));
        ASSERT_TRUE(testsupport::WriteFile(files_->File("program.exe"),
                                           testsupport::MinimalPeImage(false)));
        ASSERT_TRUE(signing.Sign(Signer::kVomoLlc, files_->File("program.exe"),
                                 files_->File("signed.exe")));
    }
    static void TearDownTestSuite() {
        delete files_;
        files_ = nullptr;
    }

    void SetUp() override {
        ::setenv("TMPDIR", tmp_.Path().c_str(), 1);
        ::setenv("VOMO_TRUST_ROOTS", CodeSigning::Instance().TrustedRoots().c_str(), 1);
        ::setenv("VOMO_MANIFEST_URL", server_.Url(kCabinetPath).c_str(), 1);
        ASSERT_EQ("", e_.Error());
        list_.context = &ids_;
        list_.clear = [](void* context) {
            static_cast<std::vector<std::string>*>(context)->clear();
        };
    }
    void TearDown() override {
        ::unsetenv("VOMO_TRUST_ROOTS");
        ::unsetenv("TMPDIR");
    }

    // Serves `file` of the test files as the manifest cabinet, or a 404 for an empty name.
    void Serve(const std::string& file, const std::function<void(std::string&)>& change = {}) {
        if (file.empty()) {
            server_.Route(kCabinetPath, HttpReply::Status(404));
            return;
        }
        std::string bytes;
        ASSERT_TRUE(ReadFile(files_->File(file), bytes));
        if (change) {
            change(bytes);
        }
        server_.Route(kCabinetPath, HttpReply::Body(bytes));
    }

    ComponentManager* NewManager() {
        ComponentManager* manager = nullptr;
        EXPECT_EQ(0, e_.initialize(&manager));
        EXPECT_NE(nullptr, manager);
        return manager;
    }

    int Find(ComponentManager* manager, const std::vector<std::string>& specs) {
        for (const std::string& spec : specs) {
            EXPECT_EQ(0, e_.addSpec(manager, spec.c_str()));
        }
        ids_ = {"stale"};
        return e_.find(manager, Append, &list_);
    }

    int Check(ComponentManager* manager, const char* ids, int force = 1) {
        ids_ = {"stale"};
        return e_.check(manager, ids, force, Append, &list_);
    }

    // Records an installed version with vomo-reg, as an installer package would.
    static void RegAdd(const std::string& id, const std::string& name, const std::string& data) {
        const std::string command = std::string(VOMO_REG_PATH) +
                                    " add 'HKLM\\SOFTWARE\\Vomo\\Install\\" + id + "' /v " + name +
                                    " /d '" + data + "' /f >/dev/null 2>&1";
        ASSERT_EQ(0, testsupport::RunCommand(command)) << command;
    }

    // Records a component as installed, as its installer would.
    static bool MarkInstalled(const std::string& id, const std::string& version) {
        return vmds::WriteInstallString(id, "ComponentId", id) &&
               vmds::WriteInstallString(id, "InstalledVersion", version);
    }

    // What the install log gained while `run` ran.
    static std::string LogSince(const std::function<void()>& run) {
        const std::string path = std::string(std::getenv("VOMO_LOG_DIR")) + "/install.log";
        std::string before, after;
        ReadFile(path, before);
        run();
        ReadFile(path, after);
        return after.size() >= before.size() ? after.substr(before.size()) : after;
    }

    // vomo-dist's options that sign as the maker.
    static std::string SignerArguments() {
        const CodeSigning& signing = CodeSigning::Instance();
        return " --cert " + testsupport::ShellQuote(signing.Chain(Signer::kVomoLlc)) + " --key " +
               testsupport::ShellQuote(signing.Key(Signer::kVomoLlc));
    }
    // Runs vomo-dist with `args` (already quoted), as a publisher would.
    static void Dist(const std::string& args) {
        ASSERT_EQ(0,
                  testsupport::RunCommand(std::string(VOMO_DIST_PATH) + " " + args + " >/dev/null"))
            << args;
    }

    static void Append(const char* id, StringList* list) {
        static_cast<std::vector<std::string>*>(list->context)->push_back(id);
    }

    static TempDir* files_;
    testsupport::ScopedRegistryRoot registry_;  // each test starts with empty hives
    TempDir tmp_{"vcm-e2e-tmp"};
    testsupport::LocalHttpServer server_;
    testsupport::LoadedExports e_{VCM_LIBRARY_PATH};
    std::vector<std::string> ids_;
    StringList list_;
};

TempDir* SignedManifestTest::files_ = nullptr;

TEST_F(SignedManifestTest, AGoodCabinetServesFindAndCheck) {
    Serve("manifest.cab");
    ComponentManager* manager = NewManager();
    EXPECT_EQ(0,
              Find(manager, {"codecs;plugin;2", "player;application;4", "player;application;3"}));
    EXPECT_EQ((std::vector<std::string>{"VomoCodecs", "VomoPlayer"}), ids_);
    // The catalogue is kept (no second download); a forced check compares the manifest's
    // versions with the installed ones.
    server_.Route(kCabinetPath, HttpReply::Status(404));
    EXPECT_EQ(0, Check(manager, "VomoPlayer;VomoCodecs"));
    EXPECT_TRUE(ids_.empty());  // nothing is installed yet
    ASSERT_TRUE(MarkInstalled("VomoPlayer", "4.0.2.0"));
    ASSERT_TRUE(MarkInstalled("VomoCodecs", "2.7.3.0"));
    EXPECT_EQ(0, Check(manager, "VomoPlayer;VomoCodecs"));
    EXPECT_EQ(std::vector<std::string>{"VomoPlayer"}, ids_);
    EXPECT_EQ(11, Check(manager, "VomoPlayer;NoSuchComponent"));
    e_.shutdown(manager);
    vmds::DeleteInstallKey("VomoPlayer");
    vmds::DeleteInstallKey("VomoCodecs");

    // A check is a first request of its own too.
    Serve("manifest.cab");
    manager = NewManager();
    EXPECT_EQ(0, Check(manager, "VomoCodecs"));
    EXPECT_TRUE(ids_.empty());
    e_.shutdown(manager);
}

// Every refusal is reported with its code and leaves the reason in the install log.
TEST_F(SignedManifestTest, RefusedCabinetsGive1AndAMissingOne4) {
    struct Case {
        const char* what;
        std::string file;
        std::function<void(std::string&)> change;
        int find;
        int check;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"one byte changed", "manifest.cab", [](std::string& b) { b[70] ^= 0x01; }, 1, 1,
         "Manifest signature refused: the file does not match its signature"},
        {"signed by another maker",
         "other.cab",
         {},
         1,
         1,
         "Manifest signed by \"Other Maker, Ltd.\", which is not an accepted signer"},
        {"expired, back-dated by its own time-stamp",
         "backdated.cab",
         {},
         1,
         1,
         "a certificate is outside its validity period (0x800B0101)"},
        {"not signed", "plain.cab", {}, 1, 1, "no embedded signature"},
        {"cut short", "manifest.cab", [](std::string& b) { b.resize(b.size() / 2); }, 1, 1,
         "Manifest signature refused: "},
        {"a signed program, not a cabinet", "signed.exe", {}, 1, 1, "Manifest extraction failed: "},
        {"not well-formed", "broken.cab", {}, 6, 1, ": line 2, column"},
        {"missing", "", {}, 4, 1, "failed: the server answered with HTTP status 404"},
        {"larger than the cap", "manifest.cab",
         [](std::string& b) { b.resize(kManifestCabinetMaxBytes + 1); }, 4, 1, "larger than"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Serve(c.file, c.change);
        const std::string logged = LogSince([&] {
            ComponentManager* manager = NewManager();
            EXPECT_EQ(c.find, Find(manager, {"player;application;4"}));
            EXPECT_TRUE(ids_.empty());
            e_.shutdown(manager);
        });
        EXPECT_NE(std::string::npos, logged.find(c.logged)) << logged;
        ComponentManager* manager = NewManager();
        EXPECT_EQ(c.check, Check(manager, "VomoPlayer"));
        EXPECT_TRUE(ids_.empty());
        e_.shutdown(manager);
        EXPECT_EQ(0u, testsupport::CountFilesBelow(tmp_.Path()));  // nothing refused is kept
    }

    // A machine hive that is not a hive reads as empty, and says so in the log.
    ASSERT_TRUE(testsupport::WriteFile(registry_.Path() + "/machine.db", std::string(4096, 'x')));
    Serve("manifest.cab");
    const std::string logged = LogSince([&] {
        ComponentManager* manager = NewManager();
        EXPECT_EQ(0, Check(manager, "VomoPlayer"));
        e_.shutdown(manager);
    });
    EXPECT_NE(std::string::npos, logged.find("error The registry cannot be read: ")) << logged;
}

TEST_F(SignedManifestTest, ASecondPreparationInTheSameManagerGives8) {
    Serve("manifest.cab", [](std::string& b) { b[b.size() / 3] ^= 0x01; });
    ComponentManager* manager = NewManager();
    EXPECT_EQ(1, Find(manager, {"player;application;4"}));
    Serve("manifest.cab");  // even once the server has it right
    EXPECT_EQ(8, Find(manager, {"player;application;4"}));
    EXPECT_EQ(1, Check(manager, "VomoPlayer"));  // checks report every preparation failure as 1
    e_.shutdown(manager);

    // A new manager starts afresh.
    manager = NewManager();
    EXPECT_EQ(0, Find(manager, {"player;application;4"}));
    EXPECT_EQ(std::vector<std::string>{"VomoPlayer"}, ids_);
    e_.shutdown(manager);
}

// Once a manifest was accepted, an older one, however well signed, fails preparation as a
// bad signature does.
TEST_F(SignedManifestTest, AManifestOlderThanOneAcceptedGives1) {
    Serve("updates.cab");  // version 6.0.0.0
    ComponentManager* manager = NewManager();
    EXPECT_EQ(0, Check(manager, "Newer"));
    e_.shutdown(manager);
    std::string recorded;
    EXPECT_TRUE(vmds::ReadInstallString("Setup", "HighestManifestVersion", recorded));
    EXPECT_EQ("6.0.0.0", recorded);

    Serve("manifest.cab");  // version 5.0.0.1
    const size_t files = testsupport::CountFilesBelow(tmp_.Path());
    manager = NewManager();
    EXPECT_EQ(1, Find(manager, {"player;application;4"}));
    EXPECT_TRUE(ids_.empty());
    e_.shutdown(manager);
    manager = NewManager();
    EXPECT_EQ(1, Check(manager, "VomoPlayer"));
    e_.shutdown(manager);
    EXPECT_EQ(files, testsupport::CountFilesBelow(tmp_.Path()));
}

// The update check through the exports: exactly the installed components whose manifest
// version is newer (or older, for a component that allows downgrades) are reported, and
// nothing is called back for 9 or 11.
TEST_F(SignedManifestTest, CheckReportsNewerVersionsOfInstalledComponents) {
    for (const char* id : {"Newer", "Same", "Older", "Downgrade", "BadVersion"}) {
        RegAdd(id, "ComponentId", id);
    }
    RegAdd("Newer", "InstalledVersion", "1.0.0.0");
    RegAdd("Same", "InstalledVersion", "1.0.0.0");
    RegAdd("Older", "InstalledVersion", "2.0.0.0");
    RegAdd("Downgrade", "InstalledVersion", "2.0.0.0");
    RegAdd("BadVersion", "InstalledVersion", "1.2");
    Serve("updates.cab");
    const char* all = "Newer;Same;Older;Downgrade;NotInstalled;BadVersion";

    ComponentManager* manager = NewManager();
    // The first unforced check finds every installed component due.
    EXPECT_EQ(0, Check(manager, all, 0));
    EXPECT_EQ((std::vector<std::string>{"Newer", "Downgrade"}), ids_);
    // Checked just now: nothing is due, the list is emptied and nothing is reported.
    EXPECT_EQ(9, Check(manager, all, 0));
    EXPECT_TRUE(ids_.empty());
    // A forced check looks at all of them again, in the order given.
    EXPECT_EQ(0, Check(manager, "Downgrade;NotInstalled;Newer;Same", 1));
    EXPECT_EQ((std::vector<std::string>{"Downgrade", "Newer"}), ids_);
    // An id the manifest does not know stops the check with 11.
    EXPECT_EQ(11, Check(manager, "Newer;Ghost", 1));
    EXPECT_TRUE(ids_.empty());

    // Staged rollouts: a release at 0% (or at a share that is no percentage) is paused for
    // every machine, even to a forced check; one at 100% reaches every machine.
    for (const char* id : {"Paused", "Everyone", "Garbled"}) {
        RegAdd(id, "ComponentId", id);
        RegAdd(id, "InstalledVersion", "1.0.0.0");
    }
    const std::string logged = LogSince([&] {
        EXPECT_EQ(0, Check(manager, "Paused;Everyone;Garbled", 1));
        EXPECT_EQ(std::vector<std::string>{"Everyone"}, ids_);
    });
    EXPECT_NE(std::string::npos,
              logged.find("Paused 2.0.0.0 is rolled out to 0% of machines; this machine waits"))
        << logged;
    e_.shutdown(manager);

    // What a tester gets with vcm: the paused releases too.
    std::string out;
    EXPECT_EQ(
        0, testsupport::RunCommandOutput(
               std::string(VCM_PATH) + " check --force --ignore-rollout 'Paused;Everyone'", out));
    EXPECT_EQ("Paused\nEveryone\n", out);
    EXPECT_EQ(0, testsupport::RunCommandOutput(
                     std::string(VCM_PATH) + " check --force 'Paused;Everyone'", out));
    EXPECT_EQ("Everyone\n", out);
}

// A manifest may say when it expires: from then on it is refused as a bad signature would be,
// and the log says since when; before then it is accepted.
TEST_F(SignedManifestTest, AnExpiredManifestGives1AndOneAMinuteFromExpiry0) {
    const int64_t now = platform::CurrentTime();
    const struct {
        std::string expires;
        int result;
        std::string logged;
    } cases[] = {
        {FormatUtcTime(now - 60), 1, "the manifest expired on " + FormatUtcTime(now - 60)},
        {FormatUtcTime(now + 60), 0, ""},
        {"next week", 1, "its expiry \"next week\" is not a UTC date and time"},
    };
    const CodeSigning& signing = CodeSigning::Instance();
    int made = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expires);
        const std::string xml = "<manifest version='5.0.0.1' expires='" + c.expires +
                                "'><componentDefinitions><component id='VomoPlayer'/>"
                                "</componentDefinitions></manifest>";
        const std::string name = "dated-" + std::to_string(++made);
        ASSERT_TRUE(testsupport::MakeCabinet(files_->File(name + "-plain.cab"),
                                             {{"manifest.xml", xml}}, true, files_->Path()));
        ASSERT_TRUE(signing.Sign(Signer::kVomoLlc, files_->File(name + "-plain.cab"),
                                 files_->File(name + ".cab")));
        Serve(name + ".cab");
        const std::string logged = LogSince([&] {
            ComponentManager* manager = NewManager();
            EXPECT_EQ(c.result, Check(manager, "VomoPlayer"));
            e_.shutdown(manager);
        });
        if (!c.logged.empty()) {
            EXPECT_NE(std::string::npos, logged.find("Manifest refused: " + c.logged)) << logged;
        }
    }
    EXPECT_EQ(0u, testsupport::CountFilesBelow(tmp_.Path()));  // nothing refused is kept
}

// Update runs through the exports, as a publisher would set them up with vomo-dist: each
// package's installer records itself with vomo-reg; first installs and failures reach the
// installer server as hints on port 80.
TEST_F(SignedManifestTest, UpdateRunsInstallRecordAndReportThroughTheExports) {
    pingtest::Port80Listener hints("127.0.80.11");
    ASSERT_EQ("", hints.Error());
    ::setenv("VOMO_INSTALLER_URL", "http://127.0.80.11", 1);
    const std::string signer = SignerArguments();
    TempDir site("vcm-e2e-site");
    std::string manifest = "<manifest version='7.0.0.0'><componentDefinitions>";
    for (const char* id : {"Alpha", "Beta"}) {
        const std::string installer = site.File(std::string(id) + ".sh");
        ASSERT_TRUE(
            testsupport::WriteFile(installer, std::string("#!/bin/sh\n") + VOMO_REG_PATH +
                                                  " add 'HKLM\\SOFTWARE\\Vomo\\Install\\" + id +
                                                  "' /v InstallDir /d \"${1#/DIR=}\" /f\n"));
        const std::string cab = site.File(std::string(id) + ".cab");
        Dist("package " + installer + " -o " + cab + " && " + VOMO_DIST_PATH + " sign " + cab +
             signer);
        std::string bytes;
        ASSERT_TRUE(ReadFile(cab, bytes));
        server_.Route("/" + std::string(id) + ".cab", HttpReply::Body(bytes));
        manifest += std::string("<component id='") + id +
                    "'><latestVersion rollout='0'>3.1.0.0</latestVersion>"
                    "<package><type>nsis</type><url>" +
                    server_.Url("/" + std::string(id) + ".cab") + "</url></package></component>";
    }
    ASSERT_TRUE(testsupport::WriteFile(site.File("manifest.xml"),
                                       manifest + "</componentDefinitions></manifest>"));
    Dist("manifest " + site.Path() + signer);
    std::string cabinet;
    ASSERT_TRUE(ReadFile(site.File("vomo/setup/manifest.cab"), cabinet));
    server_.Route(kCabinetPath, HttpReply::Body(cabinet));

    const auto update = [&](const char* ids) {
        ComponentManager* manager = NewManager();
        const int result = e_.update(manager, ids);
        e_.shutdown(manager);  // the hints queued are sent before it returns
        return result;
    };
    // The release is paused (rollout 0): the check tells of no update, but a host asking for
    // the component installs the manifest's version all the same.
    ASSERT_TRUE(MarkInstalled("Alpha", "1.0.0.0"));
    ComponentManager* checker = NewManager();
    EXPECT_EQ(0, Check(checker, "Alpha"));
    EXPECT_TRUE(ids_.empty());
    e_.shutdown(checker);
    const std::string log = LogSince([&] { EXPECT_EQ(0, update("Alpha")); });
    std::string value;
    EXPECT_TRUE(vmds::ReadInstallString("Alpha", "InstalledVersion", value));
    EXPECT_EQ("3.1.0.0", value);
    EXPECT_TRUE(vmds::ReadInstallString("Alpha", "InstallDir", value));  // its installer's
    std::string::size_type at = 0;
    for (const char* line :
         {"Downloading components", "Component: [Alpha] http://", "Verifying package signature",
          "Component: [Alpha] - Digital Signature OK", "Installing component: [Alpha]",
          "Component: [Alpha] Install Succeeded"}) {
        at = log.find(line, at);
        EXPECT_NE(std::string::npos, at) << line << " in\n" << log;
    }
    EXPECT_EQ(std::vector<std::string>{pingtest::Request("127.0.80.11",
                                                         "/hint/v10-unique-component-Alpha")},
              hints.WaitForRequests(1, 5000));

    EXPECT_EQ(0, update("Alpha"));        // installed before: no second hint
    EXPECT_EQ(7, update("Alpha;Ghost"));  // an id the manifest does not know
    // Beta's package is gone from the server: the run fails, Beta (installed, never reported)
    // gets a failure hint, Alpha (reported before) none, and nothing is recorded.
    ASSERT_TRUE(MarkInstalled("Beta", "1.0.0.0"));
    server_.Route("/Beta.cab", HttpReply::Status(404));
    EXPECT_EQ(1, update("Alpha;Beta"));
    EXPECT_TRUE(vmds::ReadInstallString("Beta", "InstalledVersion", value));
    EXPECT_EQ("1.0.0.0", value);
    EXPECT_EQ((std::vector<std::string>{
                  pingtest::Request("127.0.80.11", "/hint/v10-unique-component-Alpha"),
                  pingtest::Request("127.0.80.11", "/hint/v10-unique-component-Beta-FAIL")}),
              hints.WaitForRequests(2, 5000));
    ::setenv("VOMO_INSTALLER_URL", "http://127.0.0.1", 1);
}

// Someone between the machine and the plain-http package server serves Beta's signed package at
// Alpha's address. A manifest whose packages carry the sha256 that vomo-dist filled in binds
// each package to its entry: the substitute is refused as a signature failure and nothing
// runs. A manifest without them is judged as before: the signature alone, which Beta's passes.
TEST_F(SignedManifestTest, ASubstitutedPackageIsRefusedWhenTheManifestNamesItsDigest) {
    const std::string signer = SignerArguments();
    TempDir site("vcm-e2e-site");
    const std::string ran = site.File("ran");
    std::string manifest = "<manifest version='7.0.0.0'><componentDefinitions>";
    for (const char* id : {"Alpha", "Beta"}) {
        const std::string installer = site.File(std::string(id) + ".sh");
        ASSERT_TRUE(testsupport::WriteFile(
            installer, std::string("#!/bin/sh\necho ") + id + " >> " + ran + "\n"));
        const std::string cab = site.File(std::string(id) + ".cab");
        Dist("package " + installer + " -o " + cab + " && " + VOMO_DIST_PATH + " sign " + cab +
             signer);
        manifest += std::string("<component id='") + id +
                    "'><latestVersion>3.1.0.0</latestVersion><package><type>nsis</type><url>" +
                    server_.Url("/" + std::string(id) + ".cab") + "</url></package></component>";
    }
    ASSERT_TRUE(testsupport::WriteFile(site.File("manifest.xml"),
                                       manifest + "</componentDefinitions></manifest>"));
    std::string beta;
    ASSERT_TRUE(ReadFile(site.File("Beta.cab"), beta));
    server_.Route("/Alpha.cab", HttpReply::Body(beta));  // the substitute

    for (const bool digests : {true, false}) {
        SCOPED_TRACE(digests ? "with digests" : "without digests");
        Dist("manifest " + site.Path() + signer + (digests ? " --packages " + site.Path() : ""));
        std::string cabinet;
        ASSERT_TRUE(ReadFile(site.File("vomo/setup/manifest.cab"), cabinet));
        server_.Route(kCabinetPath, HttpReply::Body(cabinet));
        testsupport::WriteFile(ran, "");
        const std::string log = LogSince([&] {
            ComponentManager* manager = NewManager();
            EXPECT_EQ(digests ? 1 : 0, e_.update(manager, "Alpha"));
            e_.shutdown(manager);
        });
        std::string who;
        ReadFile(ran, who);
        EXPECT_EQ(digests ? "" : "Beta\n", who);
        EXPECT_EQ(digests, log.find("error Component: [Alpha] - Failed with error: the package "
                                    "is not the one the manifest names") != std::string::npos)
            << log;
    }
}

}  // namespace
