// SyncDownload over the platform transfer, against a server on 127.0.0.1.
#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "packages/FileOperations.h"
#include "packages/OSUtilities.h"
#include "packages/SyncDownload.h"
#include "platform/Download.h"
#include "platform/LastError.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"
#include "support/TestPackages.h"
#include "tests/packages/DownloadTestSupport.h"

using testsupport::HttpReply;
using testsupport::ProgressReport;
using testsupport::RecordingObserver;

namespace {

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

class DownloadTest : public ::testing::Test {
protected:
    // Tries again after 20 ms, 40 ms instead of 1 s, 2 s.
    void SetUp() override { platform::SetDownloadRetryDelayForTesting(20); }
    void TearDown() override {
        platform::SetDownloadStallTimeoutForTesting(0);
        platform::SetDownloadRetryDelayForTesting(0);
    }

    bool Fetch(const std::string& url, ISyncDownloadCB* observer = nullptr) {
        const boost::shared_ptr<ISyncDownload> download = CreateSyncDownload();
        if (observer) {
            download->SetCallback(observer);
        }
        return download->Download(Url(url), Url::FromPath(target));
    }
    std::string Contents(const std::string& path) {
        std::string contents;
        testsupport::ReadFile(path, contents);
        return contents;
    }

    testsupport::LocalHttpServer server;
    testsupport::TempDir dir{"vcm-download"};
    std::string target = dir.File("target");
};

TEST_F(DownloadTest, CompleteDownloadReportsProgressRisingToTheTotal) {
    const std::string body = testsupport::TestBytes(3 * 1024 * 1024 + 7);
    HttpReply reply = HttpReply::Body(body);
    reply.chunkSize = 64 * 1024;
    server.Route("/vomo/file.cab", reply);
    RecordingObserver observer;

    ASSERT_TRUE(Fetch(server.Url("/vomo/file.cab"), &observer));
    EXPECT_TRUE(Contents(target) == body);
    struct stat info;
    ASSERT_EQ(0, ::stat(target.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777u);

    const std::vector<ProgressReport> reports = observer.Reports();
    ASSERT_GE(reports.size(), 2u);
    uint32_t previous = 0;
    for (const ProgressReport& report : reports) {
        EXPECT_EQ(2u, report.state);
        EXPECT_GE(report.progress, previous);
        EXPECT_TRUE(report.progressMax == 0 || report.progressMax == body.size());
        EXPECT_EQ(server.Url("/vomo/file.cab"), report.text);
        previous = report.progress;
    }
    EXPECT_EQ(body.size(), reports.back().progress);
    EXPECT_EQ(body.size(), reports.back().progressMax);
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_NE(std::string::npos, server.Requests()[0].find("Cache-Control: no-cache\r\n"));
}

TEST_F(DownloadTest, FailedTransfersLeaveNoFileAndRecordTheReason) {
    HttpReply dropped = HttpReply::Body(testsupport::TestBytes(1024 * 1024));
    dropped.dropAfter = 512 * 1024;
    server.Route("/dropped", dropped);
    server.Route("/missing", HttpReply::Status(404));
    server.Route("/broken", HttpReply::Status(500));
    server.Route("/loop", HttpReply::Redirect("/loop"));
    server.Route("/nowhere", HttpReply::Status(300));  // a redirect without a target

    for (const char* path : {"/dropped", "/missing", "/broken", "/loop", "/nowhere"}) {
        SCOPED_TRACE(path);
        platform::ClearLastError();
        EXPECT_FALSE(Fetch(server.Url(path)));
        EXPECT_FALSE(Exists(target));
        EXPECT_FALSE(CreateOSUtilities()->GetLastErrorText().empty());
    }
    EXPECT_FALSE(Fetch("http://127.0.0.1:1/refused"));
    EXPECT_FALSE(Exists(target));
}

// Over the cap, whether the length is announced, found out on the way, or read from a local
// file, the download fails and leaves no file; at the cap it succeeds.
TEST_F(DownloadTest, ResourcesOverTheSizeCapFailAndLeaveNoFile) {
    const size_t cap = 300000;
    for (const char* how : {"announced", "not announced", "file"}) {
        for (const size_t size : {cap, cap + 1, 3 * cap}) {
            SCOPED_TRACE(std::string(how) + " " + std::to_string(size));
            const std::string body = testsupport::TestBytes(size);
            HttpReply reply = HttpReply::Body(body);
            reply.announceLength = std::string(how) == "announced";
            server.Route("/file", reply);
            ASSERT_TRUE(testsupport::WriteFile(dir.File("source"), body));
            const Url source = std::string(how) == "file" ? Url::FromPath(dir.File("source"))
                                                          : Url(server.Url("/file"));
            SyncDownload download(cap);
            EXPECT_EQ(size <= cap, download.Download(source, Url::FromPath(target)));
            EXPECT_EQ(size <= cap, Exists(target));
            if (size > cap) {
                EXPECT_NE(std::string::npos,
                          platform::GetLastErrorText().find("larger than 300000 bytes"));
            }
            ::unlink(target.c_str());
        }
    }
}

TEST_F(DownloadTest, RedirectsAreFollowedButNeverToALocalFile) {
    server.Route("/old", HttpReply::Redirect(server.Url("/new")));
    server.Route("/new", HttpReply::Body("the moved payload"));
    ASSERT_TRUE(Fetch(server.Url("/old")));
    EXPECT_EQ("the moved payload", Contents(target));

    ASSERT_EQ(0, ::unlink(target.c_str()));
    const std::string secret = dir.File("secret");
    ASSERT_TRUE(testsupport::WriteFile(secret, "local secret"));
    server.Route("/sneaky", HttpReply::Redirect("file://" + secret));
    EXPECT_FALSE(Fetch(server.Url("/sneaky")));
    EXPECT_FALSE(Exists(target));
}

TEST_F(DownloadTest, StalledServerIsGivenUpAfterTheStallTimeOut) {
    platform::SetDownloadStallTimeoutForTesting(300);
    HttpReply stalling = HttpReply::Body(testsupport::TestBytes(100000));
    stalling.stallAfter = 1000;
    server.Route("/stall", stalling);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Fetch(server.Url("/stall")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(Exists(target));
    EXPECT_NE(std::string::npos,
              CreateOSUtilities()->GetLastErrorText().find("time-out after 0.3 s without data"));
}

TEST_F(DownloadTest, ObserverAnsweringFalseAtTheFirstReportStopsTheDownload) {
    server.Route("/file", HttpReply::Body(testsupport::TestBytes(2 * 1024 * 1024)));
    RecordingObserver observer(1);
    EXPECT_FALSE(Fetch(server.Url("/file"), &observer));
    EXPECT_EQ(1u, observer.Count());
    EXPECT_FALSE(Exists(target));
}

TEST_F(DownloadTest, ObserverCanBeDetachedAndReplacedDuringATransfer) {
    HttpReply slow = HttpReply::Body(testsupport::TestBytes(600 * 1024));
    slow.chunkSize = 8 * 1024;
    slow.chunkDelayMs = 10;
    server.Route("/slow", slow);
    RecordingObserver first;
    RecordingObserver second;
    const boost::shared_ptr<ISyncDownload> download = CreateSyncDownload();
    download->SetCallback(&first);
    std::atomic<bool> result{false};
    std::thread worker(
        [&] { result = download->Download(Url(server.Url("/slow")), Url::FromPath(target)); });

    ASSERT_TRUE(testsupport::WaitFor([&] { return first.Count() >= 3; }));
    download->ClearCallback();
    const size_t firstCount = first.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(firstCount, first.Count());  // nothing reaches a detached observer
    download->SetCallback(&second);
    worker.join();

    EXPECT_TRUE(result);
    EXPECT_LT(first.Reports().back().progress, 600u * 1024);
    ASSERT_GT(second.Count(), 0u);
    EXPECT_EQ(600u * 1024, second.Reports().back().progress);
}

TEST_F(DownloadTest, FileUrlsNameLocalPathsLiterally) {
    const std::string source = dir.File("a b#%zz?.cab");
    const std::string body = testsupport::TestBytes(200000);
    ASSERT_TRUE(testsupport::WriteFile(source, body));
    RecordingObserver observer;
    const boost::shared_ptr<ISyncDownload> download = CreateSyncDownload();
    download->SetCallback(&observer);
    ASSERT_TRUE(download->Download(Url::FromPath(source), Url::FromPath(target)));
    EXPECT_TRUE(Contents(target) == body);
    EXPECT_EQ(body.size(), observer.Reports().back().progressMax);
}

TEST_F(DownloadTest, TakenTargetNamesAreNeitherFollowedNorOverwritten) {
    server.Route("/file", HttpReply::Body("downloaded"));
    const std::string victim = dir.File("victim");
    ASSERT_TRUE(testsupport::WriteFile(victim, "precious"));
    FileOperations operations;
    const Url base = Url::FromPath(dir.Path());
    Url link, dangling, planted;
    ASSERT_TRUE(operations.MakeUniquePath(base, link));
    ASSERT_EQ(0, ::symlink(victim.c_str(), link.GetPath().c_str()));
    ASSERT_TRUE(operations.MakeUniquePath(base, dangling));
    ASSERT_EQ(0, ::symlink(dir.File("created-through-link").c_str(), dangling.GetPath().c_str()));
    ASSERT_TRUE(operations.MakeUniquePath(base, planted));
    ASSERT_TRUE(testsupport::WriteFile(planted.GetPath(), "someone else's"));

    const boost::shared_ptr<ISyncDownload> download = CreateSyncDownload();
    for (const Url* name : {&link, &dangling, &planted}) {
        EXPECT_FALSE(download->Download(Url(server.Url("/file")), *name));
    }
    EXPECT_EQ("precious", Contents(victim));
    EXPECT_FALSE(Exists(dir.File("created-through-link")));
    EXPECT_EQ("someone else's", Contents(planted.GetPath()));
    struct stat info;
    ASSERT_EQ(0, ::lstat(link.GetPath().c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(0, ::lstat(dangling.GetPath().c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

// A transfer that breaks off is tried again, from where it broke off when the server honours
// ranges; what is final is not; and the reason names the cause.
TEST_F(DownloadTest, BrokenTransfersAreTriedAgainFromWhereTheyBrokeOff) {
    platform::SetDownloadStallTimeoutForTesting(300);
    const size_t size = 1 << 20;
    const std::string body = testsupport::TestBytes(size);
    const auto reply = [&](std::function<void(HttpReply&)> change) {
        HttpReply r = HttpReply::Body(body);
        r.chunkSize = 64 * 1024;
        change(r);
        return r;
    };
    const struct Case {
        const char* name;
        HttpReply reply;
        bool succeeds;
        size_t requests;
        const char* secondRange;  // the Range header of the second request, "" for none
        double mostBytesSent;     // in package sizes
        const char* reason;
    } cases[] = {
        {"closed at half, range honoured", reply([](HttpReply& r) {
             r.dropAfter = size / 2;
             r.faultyAnswers = 1;
             r.honourRange = true;
             r.etag = "\"v1\"";
         }),
         true, 2, "bytes=524288-", 1.1, ""},
        {"closed at half, range ignored", reply([](HttpReply& r) {
             r.dropAfter = size / 2;
             r.faultyAnswers = 1;
         }),
         true, 2, "bytes=524288-", 1.6, ""},
        {"stalled once", reply([](HttpReply& r) {
             r.stallAfter = size / 4;
             r.faultyAnswers = 1;
             r.honourRange = true;
         }),
         true, 2, "bytes=262144-", 1.1, ""},
        {"unavailable twice", reply([](HttpReply& r) { r.failedAnswers = 2; }), true, 3, "", 1.1,
         ""},
        {"unavailable three times", reply([](HttpReply& r) { r.failedAnswers = 3; }), false, 3, "",
         0.1, "the server answered with HTTP status 503 (tried 3 times)"},
        {"not found", HttpReply::Status(404), false, 1, "", 0.1,
         "the server answered with HTTP status 404"},
        {"forbidden", HttpReply::Status(403), false, 1, "", 0.1,
         "the server answered with HTTP status 403"},
        {"closed every time", reply([](HttpReply& r) { r.dropAfter = size / 2; }), false, 3,
         "bytes=524288-", 1.6, "connection closed after 524288 of 1048576 bytes (tried 3 times)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::LocalHttpServer fresh;
        fresh.Route("/file", c.reply);
        platform::ClearLastError();
        EXPECT_EQ(c.succeeds, Fetch(fresh.Url("/file")));
        EXPECT_EQ(c.succeeds, Exists(target));
        if (c.succeeds) {
            EXPECT_TRUE(Contents(target) == body);
        } else {
            EXPECT_EQ(c.reason, platform::GetLastErrorText());
        }
        const std::vector<std::string> requests = fresh.Requests();
        EXPECT_EQ(c.requests, requests.size());
        if (requests.size() > 1) {
            EXPECT_EQ(c.secondRange, testsupport::LocalHttpServer::Header(requests[1], "Range"));
            if (!c.reply.etag.empty()) {
                EXPECT_EQ(c.reply.etag,
                          testsupport::LocalHttpServer::Header(requests[1], "If-Range"));
            }
        }
        EXPECT_LT(fresh.BodyBytesSent(), static_cast<size_t>(c.mostBytesSent * size));
        ::unlink(target.c_str());
    }
}

TEST_F(DownloadTest, FinalFailuresNameTheirCause) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Fetch("http://no-such-host.invalid/file.cab"));
    EXPECT_EQ("name not resolved: no-such-host.invalid", platform::GetLastErrorText());
    EXPECT_FALSE(Fetch("http://127.0.0.1:1/file.cab"));  // nobody listens: not tried again
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_FALSE(Exists(target));
}

// What was asked for over https never continues over http: a redirect there is refused before
// any request reaches the http server. A redirect that stays on https is followed.
TEST_F(DownloadTest, ARedirectFromHttpsToHttpIsRefused) {
    const std::string key = dir.File("key.pem");
    const std::string certificate = dir.File("certificate.pem");
    ASSERT_EQ(0, testsupport::RunCommand(
                     "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                     "-addext subjectAltName=IP:127.0.0.1 -keyout " +
                     key + " -out " + certificate + " 2>/dev/null"));
    httplib::SSLServer secure(certificate.c_str(), key.c_str());
    ASSERT_TRUE(secure.is_valid());
    server.Route("/file", HttpReply::Body("over http"));
    secure.Get("/down", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(server.Url("/file"));
    });
    secure.Get("/across", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/file");
    });
    secure.Get("/file", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("over https", "application/octet-stream");
    });
    const int port = secure.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { secure.listen_after_bind(); });
    ::setenv("CURL_CA_BUNDLE", certificate.c_str(), 1);
    const std::string base = "https://127.0.0.1:" + std::to_string(port);

    EXPECT_TRUE(Fetch(base + "/across"));
    EXPECT_EQ("over https", Contents(target));
    ::unlink(target.c_str());
    EXPECT_FALSE(Fetch(base + "/down"));
    EXPECT_NE(std::string::npos,
              platform::GetLastErrorText().find("a redirect from https to http was refused"))
        << platform::GetLastErrorText();
    EXPECT_FALSE(Exists(target));
    EXPECT_TRUE(server.Requests().empty());

    ::unsetenv("CURL_CA_BUNDLE");
    secure.stop();
    serving.join();
}

}  // namespace
