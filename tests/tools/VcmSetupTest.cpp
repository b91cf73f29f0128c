// vcm setup end to end: a signed distribution on a local server (manifest, component packages,
// offers, a licence text), the first install made unattended and on a pseudo-terminal, the
// records it leaves, the hints the installer server gets, and vcm uninstall after it.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "offers/BundleGroupStore.h"
#include "registry/IComponentRegistry.h"
#include "settings/SettingsAccessors.h"
#include "support/PingTestSupport.h"
#include "support/PseudoTerminal.h"
#include "support/ScopedRegistryRoot.h"
#include "support/SignedPackages.h"

namespace {

using testsupport::ShellQuote;

// The report server of a test: an address of its own, since ctest runs the cases of this suite
// side by side and each listens on port 80.
std::string HintHost() {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return "127.0.80." + std::to_string(21 + std::hash<std::string>()(name) % 20);
}
const char kLicenceLine[] = "LICENCE TEXT: play fair.";

class VcmSetupTest : public ::testing::Test {
protected:
    VcmSetupTest() {
        testsupport::SetEnvironment("VOMO_MANIFEST_URL", packages_.ServeManifest(Manifest()));
        testsupport::SetEnvironment("VOMO_INSTALLER_URL", "http://" + hintHost_);
        packages_.Server().Route("/licence.txt",
                                 testsupport::HttpReply::Body(std::string(kLicenceLine) + "\n"));
    }
    ~VcmSetupTest() override {
        testsupport::SetEnvironment("VOMO_MANIFEST_URL",
                                    "http://127.0.0.1:1/vomo/setup/manifest.cab");
        testsupport::SetEnvironment("VOMO_INSTALLER_URL", "http://127.0.0.1");
    }

    // A component's installer: notes its id in the run list and records itself as its package
    // would, with an uninstaller that notes its removal.
    std::string Installer(const std::string& id) const {
        const std::string key = "'HKLM\\SOFTWARE\\Vomo\\Install\\" + id + "'";
        const std::string reg = std::string(VOMO_REG_PATH) + " add " + key;
        return "#!/bin/sh\ndir=\"${1#/DIR=}\"\necho " + id + " >> " + RanFile() +
               "\nmkdir -p \"$dir/" + id + "\"\nprintf '#!/bin/sh\\necho uninstall-" + id + " >> " +
               RanFile() + "\\n' > \"$dir/" + id + "/uninstall\"\nchmod 700 \"$dir/" + id +
               "/uninstall\"\n" + reg + " /v InstallDir /d \"$dir\" /f >/dev/null\n" + reg +
               " /v UninstallPath /d \"$dir/" + id + "/uninstall\" /f >/dev/null\n";
    }
    std::string Offer(const std::string& id) const {
        return "#!/bin/sh\necho " + id + " >> " + RanFile() + "\n";
    }
    std::string Package(const std::string& id, const std::string& script) {
        return "<package><type>nsis</type><url>" + packages_.Serve(id + ".cab", script) +
               "</url></package>";
    }
    std::string Component(const std::string& id, const std::string& more) {
        return "<component id='" + id + "'><latestVersion>2.0.0.0</latestVersion>" +
               "<nameGroup><name lang='en-us'>" + id + "</name></nameGroup>" +
               Package(id, Installer(id)) + more + "</component>";
    }
    std::string Plugin(const std::string& id, const std::string& test) {
        return "<plugin id='" + id + "'><displayNameGroup><name lang='en-us'>" + id +
               "</name></displayNameGroup><sourceUrl>http://source/" + id + "</sourceUrl>" +
               Package(id, Offer(id)) + "<pluginTests status='on'><pluginTestRef id='" + test +
               "'/></pluginTests></plugin>";
    }

    // The bundle "Suite": Player (which requires Runtime) and Runtime always, Visualizer when
    // chosen; the offers Toolbar (its test takes every machine) and Other (its test wants
    // German); a licence, a banner for the distributor "acme" and a message from Player.
    std::string Manifest() {
        return "<?xml version='1.0' encoding='UTF-8'?><manifest version='3.0.0.0'>"
               "<eulaDefinitions><eula id='eula1'><version>1.0.0.0</version><url lang='en-us'>" +
               packages_.Server().Url("/licence.txt") +
               "</url></eula></eulaDefinitions><componentDefinitions>" +
               Component("Player",
                         "<dependencies><componentRef id='Runtime'/></dependencies>"
                         "<messageRef id='thanks'/>") +
               Component("Runtime", "") + Component("Visualizer", "<isOptional>true</isOptional>") +
               "</componentDefinitions><pluginTestDefinitions>"
               "<pluginTest id='everyone' status='on'><testPercentage>100</testPercentage>"
               "<supportedLangs><lang>en-us</lang></supportedLangs></pluginTest>"
               "<pluginTest id='german' status='on'><testPercentage>100</testPercentage>"
               "<supportedLangs><lang>de-de</lang></supportedLangs></pluginTest>"
               "</pluginTestDefinitions><pluginDefinitions>" +
               Plugin("Toolbar", "everyone") + Plugin("Other", "german") +
               "</pluginDefinitions><bannerDefinitions><banner id='b1'><url lang='en-us'>"
               "http://banners.example/acme</url><duration>0.2</duration></banner>"
               "</bannerDefinitions><messageDefinitions><message id='thanks'><text "
               "lang='en-us'>Thank you for choosing Player.</text></message>"
               "</messageDefinitions><bundleDefinitions><bundle id='Suite' "
               "bundleGroup='SuiteGroup'><componentRef id='Player'/><componentRef id='Runtime'/>"
               "<componentRef id='Visualizer'/><pluginRef id='Toolbar'/><pluginRef id='Other'/>"
               "</bundle></bundleDefinitions><bundleGroups><marketingBundleVersion>5.0"
               "</marketingBundleVersion><bundleGroup id='SuiteGroup'><descriptionGroup>"
               "<heading lang='en-us'>Vomo Suite</heading><description lang='en-us'>Plays "
               "everything.</description></descriptionGroup><eulaRef id='eula1'/>"
               "<postInstallUrl>http://welcome.example/</postInstallUrl></bundleGroup>"
               "</bundleGroups><bannerGroups><bannerGroup distributorId='acme'><bannerRef "
               "id='b1'/></bannerGroup></bannerGroups></manifest>";
    }

    int Vcm(const std::string& args, std::string& output) {
        return testsupport::RunCommandOutput(
            std::string(VCM_PATH) + " " + args + " </dev/null 2>&1", output);
    }
    std::string Ran() const {
        std::string text;
        testsupport::ReadFile(RanFile(), text);
        return text;
    }
    std::string RanFile() const { return packages_.Dir().File("ran"); }
    std::string Dir() const { return packages_.Dir().File("product"); }
    bool Requested(const std::string& path) {
        for (const std::string& request : packages_.Server().Requests()) {
            if (request.find("GET " + path + " ") == 0) {
                return true;
            }
        }
        return false;
    }

    // What a first install of Player and Runtime with the offer Toolbar leaves behind.
    void ExpectFirstInstallRecorded() {
        // The components in dependency order, the kept offer beside them, never the other.
        std::string ran = Ran();
        const std::string::size_type toolbar = ran.find("Toolbar\n");
        ASSERT_NE(std::string::npos, toolbar) << ran;
        EXPECT_EQ("Runtime\nPlayer\n", ran.erase(toolbar, 8));
        EXPECT_FALSE(Requested("/Other.cab"));
        for (const char* id : {"Player", "Runtime"}) {
            std::string value;
            EXPECT_TRUE(vmds::ReadInstallString(id, "InstalledVersion", value));
            EXPECT_EQ("2.0.0.0", value) << id;
            EXPECT_TRUE(vmds::ReadInstallString(id, "EulaIds", value));
            EXPECT_EQ("eula1", value) << id;
            EXPECT_TRUE(vmds::ReadInstallString(id, "InstallDir", value));
            EXPECT_EQ(Dir(), value) << id;
        }
        EXPECT_FALSE(vmds::InstallKeyExists("Visualizer"));
        std::string dir;
        EXPECT_TRUE(vmds::ReadInstallString("Setup", "InstallDir", dir));
        EXPECT_EQ(Dir(), dir);
        const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
        std::set<std::string> members;
        EXPECT_EQ(0u, registry->GetBundleGroupMembers("SuiteGroup", members));
        EXPECT_EQ((std::set<std::string>{"Player", "Runtime"}), members);
        StoredGroupTexts texts;
        ASSERT_TRUE(LoadBundleGroupTexts("SuiteGroup", texts));
        EXPECT_EQ("Vomo Suite", texts.heading);
        EXPECT_EQ("Plays everything.", texts.description);
        EXPECT_EQ("5.0", texts.marketingBundleVersion);
        std::vector<InstalledPlugin> plugins;
        ASSERT_EQ(0u, registry->LoadPlugins(plugins));
        ASSERT_EQ(1u, plugins.size());
        EXPECT_EQ("Toolbar", plugins[0].id);
        EXPECT_EQ("http://source/Toolbar", plugins[0].sourceUrl);
        EXPECT_EQ((std::vector<std::string>{
                      pingtest::Request(hintHost_, "/hint/v10-unique-component-Runtime"),
                      pingtest::Request(hintHost_, "/hint/v10-unique-component-Player")}),
                  hints_.WaitForRequests(2, 5000));
    }

    const std::string hintHost_ = HintHost();
    testsupport::ScopedRegistryRoot registry_;  // inherited by vcm and the installers
    testsupport::SignedPackages packages_;
    pingtest::Port80Listener hints_{hintHost_};
};

TEST_F(VcmSetupTest, AnUnattendedSetupInstallsRecordsAndReportsAndUninstallRemovesIt) {
    ASSERT_EQ("", hints_.Error());
    std::string out;
    ASSERT_EQ(0, Vcm("setup --bundle Suite --distributor acme --yes --accept-licence --offers "
                     "'Toolbar;Other' --dir " +
                         ShellQuote(Dir()),
                     out))
        << out;
    ExpectFirstInstallRecorded();
    std::string::size_type at = 0;
    for (const char* line :
         {"vcm: the offer \"Other\" is not made on this machine", "Vomo Suite 5.0",
          "Thank you for choosing Player.", "Banner: http://banners.example/acme",
          // The progress is sampled: which installer's status is seen depends on timing.
          "finished", "Player 2.0.0.0", "offer Toolbar", "Next, see http://welcome.example/"}) {
        at = out.find(line, at);
        EXPECT_NE(std::string::npos, at) << line << " in\n" << out;
    }

    testsupport::WriteFile(RanFile(), "");
    EXPECT_EQ(0, Vcm("uninstall 'Player;Runtime'", out)) << out;
    EXPECT_EQ("Player\nRuntime\n", out);
    EXPECT_EQ("uninstall-Player\nuninstall-Runtime\n", Ran());
    std::set<std::string> left;
    CreateComponentRegistry()->GetBundleGroupIds(left);
    EXPECT_EQ(std::set<std::string>(), left);
    EXPECT_FALSE(vmds::InstallKeyExists("Player"));
    EXPECT_FALSE(vmds::InstallKeyExists("Runtime"));
}

TEST_F(VcmSetupTest, RefusalsInstallNothingAndSayWhy) {
    const struct {
        const char* args;
        int status;
        const char* words;
    } cases[] = {
        {"setup --bundle Suite --yes", 77, "an unattended setup needs --accept-licence"},
        {"setup --yes --accept-licence", 64, "setup needs --bundle NAME"},
        {"setup --bundle Suite --dir relative", 64, "--dir takes an absolute folder"},
        {"setup --bundle Nothing --yes --accept-licence", 2, "no bundle \"Nothing\""},
        {"setup --bundle Suite --yes --accept-licence --components Ghost", 2,
         "no component or install group \"Ghost\""},
        {"setup --bundle Suite --yes --accept-licence --offers Ghost", 2, "no offer \"Ghost\""},
        // Asked on standard input, which ends before the licence is accepted.
        {"setup --bundle Suite", 77, kLicenceLine},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(c.status, Vcm(c.args, out)) << c.args << "\n" << out;
        EXPECT_NE(std::string::npos, out.find(c.words)) << c.args << "\n" << out;
    }
    EXPECT_EQ("", Ran());
    std::set<std::string> ids;
    CreateComponentRegistry()->GetInstalledComponentIds(ids);
    EXPECT_EQ(std::set<std::string>{"Setup"}, ids);  // the product's own key, no component
    EXPECT_FALSE(Requested("/Player.cab"));
}

TEST_F(VcmSetupTest, ATerminalSetupShowsTheLicenceAndTakesTheAnswers) {
    ASSERT_EQ("", hints_.Error());
    const std::string command =
        "PAGER=cat " + ShellQuote(VCM_PATH) + " setup --bundle Suite --distributor acme";
    {
        testsupport::PseudoTerminal refused(command);
        EXPECT_TRUE(refused.Expect(kLicenceLine)) << refused.Output();
        EXPECT_TRUE(refused.Expect("Do you accept this licence? [y/N] ")) << refused.Output();
        refused.Send("\n");  // the default is no
        EXPECT_EQ(77, refused.Wait()) << refused.Output();
    }
    EXPECT_EQ("", Ran());

    testsupport::PseudoTerminal terminal(command);
    for (const auto& step : std::vector<std::pair<std::string, std::string>>{
             {"Vomo Suite 5.0", ""},
             {"Plays everything.", ""},
             {kLicenceLine, ""},
             {"Do you accept this licence? [y/N] ", "yes\n"},
             {"Always installed: Player, Runtime", ""},
             {"Install Visualizer? [y/N] ", "n\n"},
             {"Also install the offer Toolbar? [y/N] ", "y\n"},
             {"Install into [/opt/vomo] ", Dir() + "\n"},
             {"Banner: http://banners.example/acme", ""},
             {"Next, see http://welcome.example/", ""}}) {
        ASSERT_TRUE(terminal.Expect(step.first)) << step.first << " in\n" << terminal.Output();
        terminal.Send(step.second);
    }
    EXPECT_EQ(0, terminal.Wait()) << terminal.Output();
    EXPECT_EQ(std::string::npos, terminal.Output().find("Other")) << terminal.Output();
    ExpectFirstInstallRecorded();
}

}  // namespace
