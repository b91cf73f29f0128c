// AsyncDownloadImpl: states, cancellation and the worker's lifetime.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <memory>

#include "packages/AsyncDownloadImpl.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"
#include "tests/packages/DownloadTestSupport.h"

using testsupport::HttpReply;

namespace {

struct Status {
    uint32_t progress = 99;
    uint32_t progressMax = 99;
    uint32_t state = 99;
    std::string text = "unset";
};

Status StatusOf(IAsyncDownload& download) {
    Status status;
    download.GetStatus(status.progress, status.progressMax, status.state, status.text);
    return status;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

class AsyncDownloadTest : public ::testing::Test {
protected:
    // A reply that takes about two seconds, for acting in the middle of a transfer.
    HttpReply Slow() {
        HttpReply reply = HttpReply::Body(testsupport::TestBytes(400 * 1024));
        reply.chunkSize = 4096;
        reply.chunkDelayMs = 20;
        return reply;
    }
    bool WaitForState(IAsyncDownload& download, uint32_t state) {
        return testsupport::WaitFor([&] { return StatusOf(download).state == state; });
    }

    testsupport::LocalHttpServer server;
    testsupport::TempDir dir{"vcm-async"};
    std::string target = dir.File("target");
};

TEST_F(AsyncDownloadTest, StatusBeforeAnyReportIsPendingAndEmpty) {
    // The target's folder does not exist, so the transfer can never report progress.
    AsyncDownloadImpl download(server.Url("/file"), dir.File("missing/target"));
    const Status fresh = StatusOf(download);
    EXPECT_EQ(0u, fresh.progress);
    EXPECT_EQ(0u, fresh.progressMax);
    EXPECT_TRUE(fresh.state == 1 || fresh.state == 4) << fresh.state;
    EXPECT_EQ(fresh.state == 4, !fresh.text.empty()) << fresh.text;  // a failure says why
    EXPECT_TRUE(WaitForState(download, 4));
}

TEST_F(AsyncDownloadTest, EndsInState3WithTheWholeFileOrInState4) {
    const std::string body = testsupport::TestBytes(700000);
    server.Route("/file", HttpReply::Body(body));
    server.Route("/missing", HttpReply::Status(404));
    {
        AsyncDownloadImpl download(server.Url("/file"), target);
        ASSERT_TRUE(WaitForState(download, 3));
        const Status done = StatusOf(download);
        EXPECT_EQ(body.size(), done.progress);
        EXPECT_EQ(body.size(), done.progressMax);
        std::string contents;
        ASSERT_TRUE(testsupport::ReadFile(target, contents));
        EXPECT_TRUE(contents == body);
    }
    AsyncDownloadImpl failed(server.Url("/missing"), dir.File("other"));
    EXPECT_TRUE(WaitForState(failed, 4));
    EXPECT_FALSE(Exists(dir.File("other")));
}

TEST_F(AsyncDownloadTest, CancelEndsTheTransferInState4) {
    server.Route("/slow", Slow());
    AsyncDownloadImpl download(server.Url("/slow"), target);
    ASSERT_TRUE(testsupport::WaitFor([&] { return StatusOf(download).progress > 0; }));
    download.Cancel();
    ASSERT_TRUE(WaitForState(download, 4));
    EXPECT_LT(StatusOf(download).progress, 400u * 1024);
    EXPECT_FALSE(Exists(target));
}

TEST_F(AsyncDownloadTest, DestroyingDuringATransferWaitsForTheWorker) {
    HttpReply stalling = Slow();
    stalling.stallAfter = 8192;  // then nothing, far longer than the test may take
    server.Route("/stall", stalling);
    std::unique_ptr<AsyncDownloadImpl> download(
        new AsyncDownloadImpl(server.Url("/stall"), target));
    ASSERT_TRUE(testsupport::WaitFor([&] { return StatusOf(*download).progress > 0; }));
    ASSERT_TRUE(Exists(target));

    const auto start = std::chrono::steady_clock::now();
    download.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    // The worker removes the partial file before it ends, so the file is gone with the object.
    EXPECT_FALSE(Exists(target));
}

}  // namespace
