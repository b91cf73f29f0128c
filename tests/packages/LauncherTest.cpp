// The package launcher over test packages: the argument vector an installer receives, the exit
// codes and their log lines, the installer's output in the install log, the elevated road
// through pkexec and the checking helper, uninstalling through a copy of the recorded
// uninstaller, and the factory.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "api/InstallLog.h"
#include "engine/Locale.h"
#include "packages/NSISPackageLauncher.h"
#include "packages/PackageDigest.h"
#include "packages/PackageLauncherFactory.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"
#include "settings/InstallerSettingsImpl.h"
#include "support/CodeSigning.h"
#include "support/RecordingLog.h"
#include "support/StandInPkexec.h"
#include "support/TestPackages.h"

namespace {

namespace fs = boost::filesystem;
using testsupport::RecordingLog;

// After its arguments, a test program prints its own path and its folder's permissions.
const char kShowSelf[] =
    "printf 'self:%s mode:%s\\n' \"$0\" \"$(stat -c %a \"$(dirname \"$0\")\")\"";

class LauncherTest : public ::testing::Test {
protected:
    LauncherTest() : dir_("vcm-launcher"), log_(boost::make_shared<RecordingLog>()) {
        vmi::Locale::Select("en-us");
    }

    boost::shared_ptr<NSISPackageLauncher> Launcher(const std::string& id,
                                                    const std::string& installDir) {
        output_.Clear();
        log_->entries.clear();
        return boost::make_shared<NSISPackageLauncher>(
            id, installDir, log_, boost::make_shared<Redirector>(false, output_.Sink()),
            boost::make_shared<Redirector>(true, output_.Sink()));
    }

    // The output before the program's "self:" line, and the path that line names.
    std::string Arguments() const {
        const std::string text = output_.Text();
        return text.substr(0, text.find("self:"));
    }
    std::string Self() const {
        const std::string text = output_.Text();
        const std::string::size_type at = text.find("self:");
        return at == std::string::npos ? std::string()
                                       : text.substr(at + 5, text.find(" mode:", at) - at - 5);
    }

    testsupport::TempDir dir_;
    testsupport::CapturedOutput output_;
    boost::shared_ptr<RecordingLog> log_;
};

TEST_F(LauncherTest, TheInstallerReceivesTheDirectoryTheLocaleAndTheExtraArguments) {
    const std::string package =
        testsupport::MakePackage(dir_, "args", testsupport::ArgumentScript(0, kShowSelf));
    const struct {
        const char* installDir;
        const char* extra;
        const char* arguments;
    } cases[] = {
        {"/opt/My \"Vomo\" dir\\", "", "[/DIR=/opt/My \"Vomo\" dir\\]\n[/LOCALE=en-us]\n"},
        {"/opt/vomo", "/S", "[/DIR=/opt/vomo]\n[/LOCALE=en-us]\n[/S]\n"},
        {"", "/S \"/X=a b\"", "[/DIR=]\n[/LOCALE=en-us]\n[/S]\n[/X=a b]\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(0u, Launcher("args", c.installDir)->InstallPackage(package, c.extra, false));
        EXPECT_EQ(c.arguments, Arguments()) << c.installDir;
        // The program ran from a private folder of its own, removed afterwards.
        EXPECT_NE(std::string::npos, output_.Text().find(" mode:700\n")) << output_.Text();
        ASSERT_FALSE(Self().empty());
        EXPECT_FALSE(fs::exists(fs::path(Self()).parent_path()));
    }
}

TEST_F(LauncherTest, ExitCodesMapToResultsAndLogLines) {
    const std::string prefix = "INFO: NSISPackageLauncher::InstallPackage for ";
    const struct {
        const char* body;  // what the program does before exiting with `exitCode`
        int exitCode;
        uint32_t result;
        const char* outcome;
    } cases[] = {
        {"", 0, 0, " SUCCEEDED"},
        {"", 1, 12, " FAILED(Abort)"},
        {"", 2, 12, " FAILED(Abort)"},
        {"", 3, 9, " FAILED(InstallFAilure)"},
        {"", 4, 13, " SUCCEEDED(Reboot)"},
        {"", 77, 9, " FAILED(InstallFAilure)"},
        {"kill -KILL $$", 0, 9, " FAILED(InstallFAilure)"},
    };
    // An elevated run's exit code is read too. Without root rights the elevation tool would ask
    // for a password, so only a test run as root covers it.
    for (bool elevate : {false, ::geteuid() == 0}) {
        for (const auto& c : cases) {
            const std::string package = testsupport::MakePackage(
                dir_, "code" + std::to_string(c.exitCode) + (*c.body ? "k" : ""),
                testsupport::ArgumentScript(c.exitCode, c.body));
            const std::string line = prefix + package + " args - /S";
            EXPECT_EQ(c.result, Launcher("codes", "/opt")->InstallPackage(package, "/S", elevate))
                << c.exitCode << c.body << " elevated " << elevate;
            ASSERT_EQ(2u, log_->entries.size());
            EXPECT_EQ(RecordingLog::kInfo, log_->entries[0].operation);
            EXPECT_EQ(line + "\n", log_->entries[0].text);
            EXPECT_EQ(RecordingLog::kInfo, log_->entries[1].operation);
            EXPECT_EQ(line + c.outcome + "\n", log_->entries[1].text);
        }
    }
    // A program that cannot be started fails like an unknown exit code; a file that is not a
    // cabinet runs as it is.
    EXPECT_EQ(9u, Launcher("codes", "/opt")->InstallPackage(dir_.File("missing"), "", false));
    EXPECT_EQ(prefix + dir_.File("missing") + " args -  FAILED(InstallFAilure)\n",
              log_->entries.back().text);
    const std::string plain = testsupport::MakeProgram(dir_, "plain", "#!/bin/sh\nexit 4\n");
    EXPECT_EQ(13u, Launcher("codes", "/opt")->InstallPackage(plain, "", false));
    // Without an event log nothing is written, and the run is the same.
    EXPECT_EQ(13u, NSISPackageLauncher("codes", "/opt", boost::shared_ptr<vmi::IEventLog>(),
                                       boost::make_shared<Redirector>(false, output_.Sink()))
                       .InstallPackage(plain, "", false));
}

// The library never writes to its host's standard output, its data channel: an installer's
// output, however long, goes to the install log, line by line, each line "<id>: <text>". With
// standard output a pipe nobody reads, nothing raises SIGPIPE.
TEST_F(LauncherTest, AnInstallersOutputGoesToTheLogLineByLineNeverToStandardOutput) {
    const std::string longLine(kMaxOutputLineBytes + 10, 'w');
    const std::string package =
        testsupport::MakePackage(dir_, "chatty",
                                 "#!/bin/sh\nseq 1 10000\nprintf 'crlf\\r\\nbell\\a\\n'\necho " +
                                     longLine + "\nprintf 'last words'\nexit 0\n");
    const std::string logPath = dir_.File("install.log");
    const boost::shared_ptr<vcm::InstallLog> log = boost::make_shared<vcm::InstallLog>(logPath);

    // Standard output is a pipe whose reader is gone; a write to it would raise SIGPIPE.
    static std::atomic<int> pipes{0};
    struct sigaction counting = {}, before = {};
    counting.sa_handler = [](int) { ++pipes; };
    ASSERT_EQ(0, ::sigaction(SIGPIPE, &counting, &before));
    int closed[2];
    ASSERT_EQ(0, ::pipe(closed));
    ::close(closed[0]);
    std::fflush(stdout);
    const int savedOut = ::dup(STDOUT_FILENO);
    ::dup2(closed[1], STDOUT_FILENO);
    const uint32_t result =
        NSISPackageLauncher("chatty", "/opt", log).InstallPackage(package, "", false);
    std::fflush(stdout);
    ::dup2(savedOut, STDOUT_FILENO);
    ::close(savedOut);
    ::close(closed[1]);
    ::sigaction(SIGPIPE, &before, nullptr);
    EXPECT_EQ(0u, result);
    EXPECT_EQ(0, pipes.load());

    std::string text;
    ASSERT_TRUE(testsupport::ReadFile(logPath, text));
    std::vector<std::string> lines;
    for (std::string::size_type at = 0, end; (end = text.find('\n', at)) != std::string::npos;
         at = end + 1) {
        // "<time> info  " before each line.
        lines.push_back(text.substr(at + 27, end - at - 27));
    }
    ASSERT_EQ(10007u, lines.size()) << text.substr(0, 2000);
    EXPECT_EQ("INFO: NSISPackageLauncher::InstallPackage for " + package + " args - ", lines[0]);
    for (int i = 1; i <= 10000; ++i) {
        ASSERT_EQ("chatty: " + std::to_string(i), lines[i]);
    }
    EXPECT_EQ("chatty: crlf", lines[10001]);  // the carriage return before the newline dropped
    EXPECT_EQ("chatty: bell\\x07", lines[10002]);
    EXPECT_EQ("chatty: " + longLine.substr(0, kMaxOutputLineBytes), lines[10003]);
    EXPECT_EQ("chatty: " + longLine.substr(kMaxOutputLineBytes), lines[10004]);
    EXPECT_EQ("chatty: last words", lines[10005]);  // no newline ended it
}

// A process without root's rights installs through pkexec and vcm-elevate: the helper copies
// the package where only root may write, checks there that it is the file verified (its digest)
// and signed by an accepted signer, and only then runs it. What runs is the verified package or
// nothing; a refusal is a signature failure (18), the installer's own exit codes pass through,
// and a code the helper keeps for itself is never mistaken for the installer's.
TEST_F(LauncherTest, TheElevatedRoadRunsOnlyWhatTheHelperChecked) {
    const testsupport::CodeSigning& signing = testsupport::CodeSigning::Instance();
    testsupport::SetEnvironment("VOMO_TRUST_ROOTS", signing.TrustedRoots());
    testsupport::StandInPkexec pkexec(VCM_ELEVATE_PATH);
    const auto sign = [&](const std::string& name, int exitCode, testsupport::Signer signer) {
        const std::string plain = testsupport::MakePackage(
            dir_, name + ".plain", testsupport::ArgumentScript(exitCode, kShowSelf));
        EXPECT_TRUE(signing.Sign(signer, plain, dir_.File(name)));
        return dir_.File(name);
    };
    const auto digestOf = [](const std::string& file) {
        platform::FileSeal seal;
        EXPECT_TRUE(platform::SealFile(file, seal));
        return DigestToHex(seal.digest);
    };
    const std::string other = sign("other", 0, testsupport::Signer::kVomoLlc);
    const std::string arguments = "[/DIR=/opt]\n[/LOCALE=en-us]\n[/S]\n";
    const struct {
        const char* name;
        int exitCode;
        testsupport::Signer signer;
        bool otherDigest;  // the launcher expects another file's digest
        uint32_t result;
        const char* reason;  // in the last error after the run, when not empty
        bool ran;
    } cases[] = {
        {"installed", 0, testsupport::Signer::kVomoLlc, false, 0, "", true},
        {"restart", 4, testsupport::Signer::kVomoInc, false, 13, "", true},
        {"aborted", 2, testsupport::Signer::kVomoLlc, false, 12, "", true},
        {"failed", 3, testsupport::Signer::kVomoLlc, false, 9, "exit code 3", true},
        {"helper's code", 123, testsupport::Signer::kVomoLlc, false, 9,
         "an exit code vcm-elevate keeps for itself", true},
        {"swapped", 0, testsupport::Signer::kVomoLlc, true, 18,
         "the package is no longer the file whose signature was checked", false},
        {"foreign signer", 0, testsupport::Signer::kOtherMaker, false, 18,
         "vcm-elevate refused the package's signature", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string package = sign(c.name, c.exitCode, c.signer);
        const boost::shared_ptr<NSISPackageLauncher> launcher = Launcher("elevated", "/opt");
        launcher->ExpectPackageDigest(digestOf(c.otherDigest ? other : package));
        EXPECT_EQ(c.result, launcher->InstallPackage(package, "/S", true));
        EXPECT_NE(std::string::npos, platform::GetLastErrorText().find(c.reason))
            << platform::GetLastErrorText();
        if (c.ran) {
            EXPECT_EQ(arguments, Arguments()) << output_.Text();
            // It ran from a folder only root may enter, gone afterwards.
            EXPECT_NE(std::string::npos, output_.Text().find(" mode:700\n"));
            EXPECT_EQ(0u, Self().find("/var/cache/vcm-elevate-")) << Self();
            EXPECT_FALSE(fs::exists(fs::path(Self()).parent_path()));
        } else {
            EXPECT_EQ(std::string::npos, output_.Text().find("[/DIR=")) << output_.Text();
            EXPECT_EQ(0u, output_.Text().find("vcm-elevate: ")) << output_.Text();
        }
    }
    // Neither a link to a package nor a FIFO is copied: the helper opens the name itself.
    const std::string good = sign("good", 0, testsupport::Signer::kVomoLlc);
    fs::create_symlink(good, dir_.File("link"));
    ASSERT_EQ(0, ::mkfifo(dir_.File("fifo").c_str(), 0600));
    for (const char* name : {"link", "fifo"}) {
        const boost::shared_ptr<NSISPackageLauncher> launcher = Launcher("elevated", "/opt");
        launcher->ExpectPackageDigest(digestOf(good));
        EXPECT_EQ(9u, launcher->InstallPackage(dir_.File(name), "/S", true)) << name;
        EXPECT_NE(std::string::npos, platform::GetLastErrorText().find("could not copy"));
        EXPECT_EQ(std::string::npos, output_.Text().find("[/DIR=")) << output_.Text();
    }
    testsupport::UnsetEnvironment("VOMO_TRUST_ROOTS");
}

// Nothing runs, and the install fails (9) with a reason that names the cause, when pkexec is
// missing or answers for itself (126: refused or cancelled; 127: cannot authenticate), or when
// the helper is missing or could be changed by someone other than root.
TEST_F(LauncherTest, WithoutPkexecOrATrustworthyHelperNothingRuns) {
    const std::string package =
        testsupport::MakePackage(dir_, "never", testsupport::ArgumentScript(0, kShowSelf));
    const std::string foreignHelper = dir_.File("vcm-elevate");
    ASSERT_EQ(0, testsupport::RunCommand("cp " + std::string(VCM_ELEVATE_PATH) + " " +
                                         foreignHelper + " && chown nobody " + foreignHelper));
    const struct {
        const char* pkexec;  // the stand-in's body; empty: no pkexec at all
        std::string helper;
        const char* reason;
    } cases[] = {
        {"", VCM_ELEVATE_PATH, "installing as a user other than root needs pkexec"},
        {"exit 126", VCM_ELEVATE_PATH, "pkexec did not run the program"},
        {"exit 127", VCM_ELEVATE_PATH, "pkexec did not run the program"},
        {"exec \"$@\"", dir_.File("missing"), "is missing"},
        {"exec \"$@\"", foreignHelper, "may be changed by users other than root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pkexec + (" " + c.helper));
        testsupport::StandInPkexec pkexec(c.helper, c.pkexec);
        EXPECT_EQ(9u, Launcher("never", "/opt")->InstallPackage(package, "", true));
        EXPECT_NE(std::string::npos, platform::GetLastErrorText().find(c.reason))
            << platform::GetLastErrorText();
        EXPECT_EQ("", output_.Text());
        EXPECT_EQ(RecordingLog::kInfo, log_->entries.back().operation);
        EXPECT_NE(std::string::npos, log_->entries.back().text.find("FAILED(InstallFAilure)"));
    }
}

TEST_F(LauncherTest, UninstallingRunsACopyOfTheRecordedUninstaller) {
    InstallerSettingsImpl settings;
    const std::string installDir = "/opt/my \"vomo\" dir";
    const struct {
        int exitCode;
        uint32_t result;
    } cases[] = {{0, 0}, {2, 12}, {4, 13}, {3, 10}, {1, 12}, {99, 10}};
    for (const auto& c : cases) {
        const std::string uninstaller =
            testsupport::MakeProgram(dir_, "uninstall" + std::to_string(c.exitCode),
                                     testsupport::ArgumentScript(c.exitCode, kShowSelf));
        ASSERT_TRUE(settings.SetString("comp", "InstallDir", installDir));
        ASSERT_TRUE(settings.SetString("comp", "UninstallPath", uninstaller));
        EXPECT_EQ(c.result, Launcher("comp", "unused")->UninstallPackage()) << c.exitCode;
        EXPECT_EQ("[/UNINSTALL]\n[_?=" + installDir + "]\n", Arguments());
        EXPECT_NE(uninstaller, Self());
        EXPECT_FALSE(fs::exists(Self()));  // the copy is gone
        EXPECT_TRUE(fs::exists(uninstaller));
        EXPECT_TRUE(log_->entries.empty());
    }

    // Nothing runs, and the result is 10, when a value is missing or the copy cannot be made.
    ASSERT_TRUE(settings.SetString("noPath", "InstallDir", installDir));
    ASSERT_TRUE(settings.SetString("noDir", "UninstallPath", dir_.File("uninstall0")));
    ASSERT_TRUE(settings.SetString("gone", "InstallDir", installDir));
    ASSERT_TRUE(settings.SetString("gone", "UninstallPath", dir_.File("missing")));
    for (const char* id : {"noPath", "noDir", "gone", "unknown", "comp\\sub"}) {
        EXPECT_EQ(10u, Launcher(id, "unused")->UninstallPackage()) << id;
        EXPECT_EQ("", output_.Text());
    }
}

TEST(PackageLauncherFactoryTest, OnlyNsisPackagesGetALauncher) {
    PackageLauncherFactory factory;
    const boost::shared_ptr<vmi::IEventLog> log;
    for (PackageType type : {kPackageNone, kPackageExe, kPackageNsis, kPackageMsi}) {
        ComponentRecord component;
        component.packageType = type;
        OfferRecord offer;
        offer.packageType = type;
        boost::shared_ptr<IPackageLauncher> fromComponent, fromOffer;
        const uint32_t expected = type == kPackageNsis ? 0 : 6;
        EXPECT_EQ(expected, factory.CreateComponentLauncher(fromComponent, component, log));
        EXPECT_EQ(expected, factory.CreateOfferLauncher(fromOffer, offer, log));
        EXPECT_EQ(type == kPackageNsis, fromComponent && fromOffer);
    }
}

}  // namespace
