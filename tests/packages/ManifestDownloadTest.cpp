// The engine's manifest download: starting it and polling it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <regex>

#include <boost/filesystem.hpp>

#include "engine/VomoInstallImpl.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"
#include "tests/packages/DownloadTestSupport.h"

using testsupport::HttpReply;

namespace {

// Runs each test with TMPDIR in a folder of its own, so that names and leftovers can be seen.
class ManifestDownloadTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("TMPDIR", tmp.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("TMPDIR"); }

    // Polls until the answer is no longer "a download is running".
    uint32_t PollToEnd(VomoInstallImpl& engine) {
        uint32_t answer = 5;
        testsupport::WaitFor([&] { return (answer = engine.PollManifestDownload()) != 5; });
        return answer;
    }

    testsupport::LocalHttpServer server;
    testsupport::TempDir tmp{"vcm-engine-tmp"};
};

TEST_F(ManifestDownloadTest, PollWithoutADownloadIs4AndNoNameIs7) {
    VomoInstallImpl engine(Url(server.Url("/vomo/setup/manifest.cab")), 0);
    EXPECT_EQ(4u, engine.PollManifestDownload());
    ::setenv("TMPDIR", tmp.File("gone").c_str(), 1);
    EXPECT_EQ(7u, engine.BeginManifestDownload("VomoUpdate"));
    EXPECT_EQ(4u, engine.PollManifestDownload());  // nothing was started
    EXPECT_TRUE(engine.GetManifestPath().IsEmpty());
}

TEST_F(ManifestDownloadTest, StartStoresTagAndTargetAndRefusesASecondStart) {
    HttpReply cabinet = HttpReply::Body(testsupport::TestBytes(256 * 1024));
    cabinet.chunkSize = 4096;
    cabinet.chunkDelayMs = 10;
    server.Route("/vomo/setup/manifest.cab", cabinet);
    VomoInstallImpl engine(Url(server.Url("/vomo/setup/manifest.cab")), 0);

    ASSERT_EQ(0u, engine.BeginManifestDownload("VomoUpdate"));
    EXPECT_EQ("VomoUpdate", engine.GetDownloadTag());
    const Url target = engine.GetCabinetPath();
    EXPECT_EQ("file", target.GetScheme());
    const boost::filesystem::path path(target.GetPath());
    EXPECT_TRUE(testsupport::InPrivateFolderOf(path.string(), tmp.Path()));
    EXPECT_TRUE(std::regex_match(path.filename().string(), std::regex("vomo[0-9a-f]{4}")));
    EXPECT_TRUE(engine.GetManifestPath().IsEmpty());  // nothing verified yet

    EXPECT_EQ(5u, engine.PollManifestDownload());  // about a second of transfer remains
    EXPECT_EQ(5u, engine.BeginManifestDownloadFor("dummy", "hotfix"));
    EXPECT_EQ("hotfix", engine.GetDownloadName());
    EXPECT_EQ("VomoUpdate", engine.GetDownloadTag());
    EXPECT_EQ(target, engine.GetCabinetPath());

    // The content is no signed cabinet, so the finished download is refused at verification,
    // and removed.
    EXPECT_EQ(18u, PollToEnd(engine));
    EXPECT_EQ(0u, testsupport::CountFilesBelow(tmp.Path()));
    EXPECT_TRUE(engine.GetManifestPath().IsEmpty());
}

TEST_F(ManifestDownloadTest, FailedDownloadPollsAs8AndLeavesNoFile) {
    server.Route("/vomo/setup/manifest.cab", HttpReply::Status(404));
    VomoInstallImpl engine(Url(server.Url("/vomo/setup/manifest.cab")), 0);
    ASSERT_EQ(0u, engine.BeginManifestDownloadFor("VomoUpdate", "manifest"));
    EXPECT_EQ("manifest", engine.GetDownloadName());
    EXPECT_EQ(8u, PollToEnd(engine));
    EXPECT_EQ(8u, engine.PollManifestDownload());
    EXPECT_FALSE(engine.GetCabinetPath().IsEmpty());
    EXPECT_EQ(0u, testsupport::CountFilesBelow(tmp.Path()));
}

}  // namespace
