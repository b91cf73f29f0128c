// The engine's manifest download from a local server through verification and extraction: only
// a cabinet signed by an accepted signer becomes the manifest.
#include <gtest/gtest.h>

#include <cstdlib>

#include <boost/filesystem.hpp>

#include "engine/VomoInstallImpl.h"
#include "settings/SettingsAccessors.h"
#include "support/CodeSigning.h"
#include "support/LocalHttpServer.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"
#include "tests/packages/DownloadTestSupport.h"

using testsupport::CodeSigning;
using testsupport::HttpReply;
using testsupport::ReadFile;
using testsupport::Signer;
using testsupport::TempDir;

namespace {

const char kManifest[] = "<?xml version=\"1.0\"?>\n<manifest version=\"3.1.4.1\"/>\n";
const char kFullManifest[] =
    "<manifest version='3.1.4.1'><componentDefinitions>"
    "<component id='Setup'><serverUrl>http://setup.example/</serverUrl></component>"
    "<component id='c1'><latestVersion>1.2.0.0</latestVersion></component>"
    "</componentDefinitions><wizardLayoutDefinitions><wizardLayout id='DefaultLayout'>"
    "<page id='p1'><insertAfter>p0</insertAfter></page></wizardLayout>"
    "</wizardLayoutDefinitions></manifest>";

class ManifestVerifyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        files_ = new TempDir("vcm-manifest-files");
        const CodeSigning& signing = CodeSigning::Instance();
        ASSERT_TRUE(testsupport::MakeCabinet(files_->File("plain.cab"),
                                             {{"manifest.xml", kManifest}}, true, files_->Path()));
        ASSERT_TRUE(
            signing.Sign(Signer::kVomoInc, files_->File("plain.cab"), files_->File("good.cab")));
        ASSERT_TRUE(signing.Sign(Signer::kOtherMaker, files_->File("plain.cab"),
                                 files_->File("other.cab")));
        // Signed, but its data block was damaged before signing: it verifies and cannot be
        // extracted.
        std::string damaged;
        ASSERT_TRUE(ReadFile(files_->File("plain.cab"), damaged));
        damaged[damaged.size() - 3] ^= 0x40;
        ASSERT_TRUE(testsupport::WriteFile(files_->File("damaged.cab"), damaged));
        ASSERT_TRUE(signing.Sign(Signer::kVomoLlc, files_->File("damaged.cab"),
                                 files_->File("signed-damaged.cab")));
        // Signed by an accepted signer, but no cabinet.
        ASSERT_TRUE(
            testsupport::WriteFile(files_->File("image.exe"), testsupport::MinimalPeImage(true)));
        ASSERT_TRUE(
            signing.Sign(Signer::kVomoLlc, files_->File("image.exe"), files_->File("signed.exe")));
        // Not a cabinet, and not signed: a manifest as a man in the middle would serve it.
        ASSERT_TRUE(testsupport::WriteFile(
            files_->File("manifest.xml"),
            "<manifest version=\"9.9.9.9\"><componentDefinitions><component id=\"Setup\">"
            "<serverUrl>http://elsewhere.invalid</serverUrl></component>"
            "</componentDefinitions></manifest>"));
        // Well signed, with something for every reader of the manifest.
        ASSERT_TRUE(testsupport::MakeCabinet(
            files_->File("full.plain"), {{"manifest.xml", kFullManifest}}, true, files_->Path()));
        ASSERT_TRUE(
            signing.Sign(Signer::kVomoLlc, files_->File("full.plain"), files_->File("full.cab")));
        // Well signed, around the version of kManifest.
        for (const std::string version : {"3.1.4.0", "3.2.0.0", "1.2.3", ""}) {
            const std::string xml =
                version.empty() ? "<manifest/>" : "<manifest version=\"" + version + "\"/>";
            const std::string name = version.empty() ? "none" : version;
            ASSERT_TRUE(testsupport::MakeCabinet(files_->File(name), {{"manifest.xml", xml}}, true,
                                                 files_->Path()));
            ASSERT_TRUE(
                signing.Sign(Signer::kVomoLlc, files_->File(name), files_->File(name + ".cab")));
        }
    }
    static void TearDownTestSuite() {
        delete files_;
        files_ = nullptr;
    }
    void SetUp() override {
        ::setenv("TMPDIR", tmp_.Path().c_str(), 1);
        ::setenv("VOMO_TRUST_ROOTS", CodeSigning::Instance().TrustedRoots().c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TMPDIR");
        ::unsetenv("VOMO_TRUST_ROOTS");
    }

    // Serves `file` as the manifest cabinet and polls the engine's download to its end.
    uint32_t Prepare(VomoInstallImpl& engine, const std::string& file) {
        std::string bytes;
        EXPECT_TRUE(ReadFile(files_->File(file), bytes));
        server_.Route("/vomo/setup/manifest.cab", HttpReply::Body(bytes));
        EXPECT_EQ(0u, engine.BeginManifestDownload("VomoUpdate"));
        uint32_t answer = 5;
        testsupport::WaitFor([&] { return (answer = engine.PollManifestDownload()) != 5; });
        cabinet_ = engine.GetCabinetPath().GetPath();
        return answer;
    }

    // After a refused download: the verdict stays, the download is gone, and no reader of the
    // manifest gets anything.
    void ExpectRefused(VomoInstallImpl& engine, uint32_t verdict) {
        EXPECT_EQ(verdict, engine.PollManifestDownload());
        EXPECT_TRUE(engine.GetManifestPath().IsEmpty());
        EXPECT_FALSE(cabinet_.empty());
        EXPECT_FALSE(boost::filesystem::exists(cabinet_));
        EXPECT_EQ(7u, engine.LoadManifest());
        Version version;
        EXPECT_EQ(7u, engine.ReadManifestVersion(version));
        Url url;
        EXPECT_EQ(7u, engine.GetSetupServerUrl(url));
        vmi::ComponentPtr component;
        EXPECT_EQ(7u, engine.CreateComponentFromManifest("Setup", "", component));
    }

    static TempDir* files_;
    std::string cabinet_;  // where the last download went
    TempDir tmp_{"vcm-manifest-tmp"};
    testsupport::LocalHttpServer server_;
};

TempDir* ManifestVerifyTest::files_ = nullptr;

TEST_F(ManifestVerifyTest, ASignedCabinetBecomesTheManifestFile) {
    VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
    ASSERT_EQ(0u, Prepare(engine, "good.cab"));
    const Url manifest = engine.GetManifestPath();
    EXPECT_EQ("file", manifest.GetScheme());
    EXPECT_TRUE(testsupport::InPrivateFolderOf(manifest.GetPath(), tmp_.Path()));
    std::string bytes;
    ASSERT_TRUE(ReadFile(manifest.GetPath(), bytes));
    EXPECT_EQ(kManifest, bytes);
    EXPECT_FALSE(ReadFile(cabinet_, bytes));  // the downloaded cabinet is not left behind
    EXPECT_EQ(0u, engine.PollManifestDownload());
    EXPECT_EQ(manifest, engine.GetManifestPath());
}

TEST_F(ManifestVerifyTest, RefusedSignaturesGive18AndLeaveNothingToRead) {
    for (const char* file : {"plain.cab", "other.cab", "manifest.xml"}) {
        SCOPED_TRACE(file);
        VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
        EXPECT_EQ(18u, Prepare(engine, file));
        ExpectRefused(engine, 18);
    }
    // Without the test root only the system's roots count.
    ::unsetenv("VOMO_TRUST_ROOTS");
    VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
    EXPECT_EQ(18u, Prepare(engine, "good.cab"));
    ExpectRefused(engine, 18);
    EXPECT_EQ(0u, testsupport::CountFilesBelow(tmp_.Path()));
}

TEST_F(ManifestVerifyTest, SignedFilesThatCannotBeExtractedGive19) {
    for (const char* file : {"signed.exe", "signed-damaged.cab"}) {
        SCOPED_TRACE(file);
        VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
        EXPECT_EQ(19u, Prepare(engine, file));
        ExpectRefused(engine, 19);
    }
    EXPECT_EQ(0u, testsupport::CountFilesBelow(tmp_.Path()));
}

// The manifest is parsed once, when it was verified: every reader of it answers from that tree,
// whatever becomes of the extracted file afterwards (rewritten or gone), while a manifest file
// a caller names is read as it stands at each call.
TEST_F(ManifestVerifyTest, EveryReaderOfTheVerifiedManifestUsesTheTreeParsedOnce) {
    testsupport::ScopedRegistryRoot registry;
    const std::string other = tmp_.File("other.xml");
    for (const char* afterwards : {"rewritten", "removed", "named by the caller"}) {
        SCOPED_TRACE(afterwards);
        VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
        ASSERT_EQ(0u, Prepare(engine, "full.cab"));
        const std::string extracted = engine.GetManifestPath().GetPath();
        const std::string changed = "<manifest version='9.0.0.0'/>";
        if (std::string(afterwards) == "rewritten") {
            ASSERT_TRUE(testsupport::WriteFile(extracted, changed));
        } else if (std::string(afterwards) == "removed") {
            ASSERT_TRUE(boost::filesystem::remove(extracted));
        } else {
            ASSERT_TRUE(testsupport::WriteFile(other, kFullManifest));
            engine.SetManifestPath(Url::FromPath(other));
            ASSERT_EQ(0u, engine.LoadManifest());
            ASSERT_TRUE(testsupport::WriteFile(other, changed));
            Version version;
            EXPECT_EQ(0u, engine.ReadManifestVersion(version));
            EXPECT_EQ("9.0.0.0", version.ToString());
            Url url;
            EXPECT_EQ(2u, engine.GetSetupServerUrl(url));
            continue;
        }
        ASSERT_EQ(0u, engine.LoadManifest());
        vmi::ComponentPtr loaded;
        EXPECT_EQ(0u, engine.GetComponent("c1", loaded));
        Version version;
        EXPECT_EQ(0u, engine.ReadManifestVersion(version));
        EXPECT_EQ("3.1.4.1", version.ToString());
        Url url;
        EXPECT_EQ(0u, engine.GetSetupServerUrl(url));
        EXPECT_EQ("http://setup.example/", url.ToString());
        vmi::ComponentPtr component;
        ASSERT_EQ(0u, engine.CreateComponentFromManifest("c1", "", component));
        EXPECT_EQ("c1", component->GetId());
        std::vector<WizardPageRule> rules;
        ASSERT_EQ(0u, engine.GetWizardLayout(rules));
        ASSERT_EQ(1u, rules.size());
        EXPECT_EQ("p1", rules[0].pageId);
        EXPECT_FALSE(engine.GetHotFixes());  // none in it, and nothing else downloaded
        EXPECT_EQ(0u, engine.LoadManifest());
    }
}

// The highest version accepted is recorded; a lower one is refused as a bad signature would
// be, an equal one is accepted. A manifest without a valid version is accepted only while no
// version was recorded: after that it could stand in for any old one.
TEST_F(ManifestVerifyTest, AManifestOlderThanOneAcceptedIsRefused) {
    testsupport::ScopedRegistryRoot registry;
    const struct {
        const char* file;
        uint32_t verdict;
        const char* recorded;  // empty: nothing recorded
    } steps[] = {
        {"1.2.3.cab", 0, ""},          {"good.cab", 0, "3.1.4.1"},   {"3.1.4.0.cab", 18, "3.1.4.1"},
        {"good.cab", 0, "3.1.4.1"},    {"1.2.3.cab", 18, "3.1.4.1"}, {"none.cab", 18, "3.1.4.1"},
        {"3.2.0.0.cab", 0, "3.2.0.0"}, {"good.cab", 18, "3.2.0.0"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.file);
        const size_t files = testsupport::CountFilesBelow(tmp_.Path());
        VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
        EXPECT_EQ(step.verdict, Prepare(engine, step.file));
        if (step.verdict == 0) {
            EXPECT_EQ(0u, engine.LoadManifest());
        } else {
            ExpectRefused(engine, step.verdict);
            EXPECT_EQ(files, testsupport::CountFilesBelow(tmp_.Path()));
        }
        std::string recorded;
        EXPECT_EQ(*step.recorded != 0,
                  vmds::ReadInstallString("Setup", "HighestManifestVersion", recorded));
        EXPECT_EQ(step.recorded, recorded);
    }
}

}  // namespace
