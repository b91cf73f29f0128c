// The engine's manifest download from a local server through verification and extraction: only
// a cabinet signed by an accepted signer becomes the manifest.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/VomoInstallImpl.h"
#include "support/CodeSigning.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"
#include "tests/packages/DownloadTestSupport.h"

using testsupport::CodeSigning;
using testsupport::HttpReply;
using testsupport::ReadFile;
using testsupport::Signer;
using testsupport::TempDir;

namespace {

const char kManifest[] = "<?xml version=\"1.0\"?>\n<manifest version=\"3.1.4.1\"/>\n";

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
        cabinet_ = engine.GetManifestPath().GetPath();
        uint32_t answer = 5;
        testsupport::WaitFor([&] { return (answer = engine.PollManifestDownload()) != 5; });
        return answer;
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
    EXPECT_EQ(tmp_.Path(), manifest.GetPath().substr(0, manifest.GetPath().rfind('/')));
    std::string bytes;
    ASSERT_TRUE(ReadFile(manifest.GetPath(), bytes));
    EXPECT_EQ(kManifest, bytes);
    EXPECT_FALSE(ReadFile(cabinet_, bytes));  // the downloaded cabinet is not left behind
    EXPECT_EQ(0u, engine.PollManifestDownload());
    EXPECT_EQ(manifest, engine.GetManifestPath());
}

TEST_F(ManifestVerifyTest, RefusedSignaturesGive18AndKeepTheCabinetAsThePath) {
    for (const char* file : {"plain.cab", "other.cab"}) {
        SCOPED_TRACE(file);
        VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
        EXPECT_EQ(18u, Prepare(engine, file));
        std::string bytes, served;
        ASSERT_TRUE(ReadFile(engine.GetManifestPath().GetPath(), bytes));
        ASSERT_TRUE(ReadFile(files_->File(file), served));
        EXPECT_EQ(served, bytes);  // the downloaded cabinet, not a manifest
    }
    // Without the test root only the system's roots count.
    ::unsetenv("VOMO_TRUST_ROOTS");
    VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
    EXPECT_EQ(18u, Prepare(engine, "good.cab"));
}

TEST_F(ManifestVerifyTest, SignedFilesThatCannotBeExtractedGive19) {
    for (const char* file : {"signed.exe", "signed-damaged.cab"}) {
        SCOPED_TRACE(file);
        VomoInstallImpl engine(Url(server_.Url("/vomo/setup/manifest.cab")), 0);
        const uint32_t answer = Prepare(engine, file);
        EXPECT_EQ(19u, answer);
        std::string bytes, served;
        ASSERT_TRUE(ReadFile(engine.GetManifestPath().GetPath(), bytes));
        ASSERT_TRUE(ReadFile(files_->File(file), served));
        EXPECT_EQ(served, bytes);
    }
}

}  // namespace
