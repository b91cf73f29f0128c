// The package launcher over test packages: the argument vector an installer receives, the exit
// codes and their log lines, uninstalling through a copy of the recorded uninstaller, and the
// factory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "engine/Locale.h"
#include "packages/NSISPackageLauncher.h"
#include "packages/PackageLauncherFactory.h"
#include "settings/InstallerSettingsImpl.h"
#include "support/RecordingLog.h"
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
