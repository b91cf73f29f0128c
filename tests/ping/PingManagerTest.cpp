// The ping manager against a substitute socket: queueing, the worker, the failed list, URL
// templates, handlers, and stopping and restarting.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <thread>

#include <boost/make_shared.hpp>

#include "ping/PingHandler.h"
#include "ping/PingManager.h"
#include "ping/PingSender.h"
#include "support/PingTestSupport.h"
#include "support/ScopedRegistryRoot.h"

using pingtest::FakeSocket;
using pingtest::NowMs;
using pingtest::Request;

namespace {

vmp::NameValueList Values(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    vmp::NameValueList values;
    for (const auto& pair : pairs) {
        values.push_back(vmp::NameValue{pair.first, pair.second});
    }
    return values;
}

// Expands tokens from a table and counts how it is used.
class TableHandler : public PingHandler {
public:
    explicit TableHandler(const std::string& base) : PingHandler(base) {}
    std::map<std::string, std::string> table;
    int expansions = 0;

    bool ExpandTokens(const std::string& delimiter, std::string& text) override {
        ++expansions;
        return PingHandler::ExpandTokens(delimiter, text);
    }
    bool LookupToken(vmp::NameValue& pair) override {
        auto it = table.find(pair.name);
        if (it == table.end()) {
            return false;
        }
        pair.value = it->second;
        return true;
    }
};

class PingManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        socket = boost::make_shared<FakeSocket>();
        manager.reset(new PingManager(boost::make_shared<PingSender>(socket)));
    }

    // Waits until the failed list ends with `url`.
    bool WaitForFailed(const std::string& url, int milliseconds) {
        const int64_t deadline = NowMs() + milliseconds;
        while (NowMs() < deadline) {
            const std::vector<std::string> failed = manager->GetFailedPings();
            if (!failed.empty() && failed.back() == url) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    testsupport::ScopedRegistryRoot registry;  // a store of its own; outlives the manager
    boost::shared_ptr<FakeSocket> socket;
    std::unique_ptr<PingManager> manager;
};

TEST_F(PingManagerTest, KeepsTheNewestHundredFailedPingsAndReportsThemWhenItStops) {
    socket->SetAllDown(true);
    manager->Start();
    for (int i = 0; i <= 100; ++i) {
        ASSERT_EQ(0, manager->SendPing("http://down", "n%s",
                                       Values({{"", std::to_string(i).c_str()}}), true));
    }
    ASSERT_TRUE(WaitForFailed("http://down/n100", 30000));
    const std::vector<std::string> failed = manager->GetFailedPings();
    ASSERT_EQ(PingManager::kMaxFailedPings, failed.size());
    EXPECT_EQ("http://down/n1", failed.front());  // the oldest one was dropped
    EXPECT_EQ(101u, socket->Hosts().size());      // every ping was tried once

    // What is stored is told to the owner's note sink, and nothing to standard output.
    std::string noted;
    manager->SetNoteSink([&noted](const std::string& note) { noted += note + "\n"; });
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
    EXPECT_EQ(0u, noted.find("writing 100 failed pings to registry.\n"
                             "[hint00] http://down/n1\n[hint01] http://down/n2\n"))
        << noted;
    // Written oldest first as hint00 to hint99, and no longer held in memory.
    const std::map<std::string, std::string> stored = pingtest::StoredPings();
    ASSERT_EQ(100u, stored.size());
    for (int i = 0; i < 100; ++i) {
        char name[8];
        std::snprintf(name, sizeof(name), "hint%02d", i);
        EXPECT_EQ("http://down/n" + std::to_string(i + 1), stored.at(name));
    }
    EXPECT_TRUE(manager->GetFailedPings().empty());
}

TEST_F(PingManagerTest, OnlyPingsAskingForItAreKeptAfterAFailedSend) {
    socket->SetDown("down");
    manager->Start();
    EXPECT_EQ(0, manager->SendPing("http://down", "forget", {}, false));
    EXPECT_EQ(0, manager->SendPing("http://up", "sent", {}, true));
    EXPECT_EQ(0, manager->SendPing("http://down", "keep", {}, true));
    ASSERT_TRUE(WaitForFailed("http://down/keep", 5000));
    EXPECT_EQ(std::vector<std::string>{"http://down/keep"}, manager->GetFailedPings());
    EXPECT_EQ((std::vector<std::string>{"down", "up", "down"}), socket->Hosts());
}

TEST_F(PingManagerTest, BuildsUrlsFromTemplatesAndRefusesUnusableOnes) {
    manager->Start();
    // No values: the template is taken as it is, directives included.
    EXPECT_EQ(0, manager->SendPing("http://h", "a/%s", {}, true));
    // Only named values: the text still goes through the formatter ("%%" becomes "%").
    EXPECT_EQ(0, manager->SendPing("http://h", "b/%id%/100%%", Values({{"id", "x"}}), true));
    // Named and positional values together; surplus values are left out, missing ones empty.
    EXPECT_EQ(0, manager->SendPing("http://h", "c/%n%-%s-%s",
                                   Values({{"", "p1"}, {"n", "N"}, {"", "p2"}}), true));
    EXPECT_EQ(0, manager->SendPing("http://h", "d/%s", Values({{"", "1"}, {"", "2"}}), true));
    EXPECT_EQ(0, manager->SendPing("http://h", "e/%s-%s", Values({{"", "1"}}), true));
    // A positional value is data, not format: its "%" stays.
    EXPECT_EQ(0, manager->SendPing("http://h", "f/%s", Values({{"", "50%"}}), true));

    EXPECT_EQ(-1, manager->SendPing("http://h", "g/%s", Values({{"missing", "v"}}), true));
    EXPECT_EQ(-1, manager->SendPing("http://h", "h/%s", Values({{"", "a b"}}), true));
    EXPECT_EQ(-1, manager->SendPing("ftp://h", "i", {}, true));
    // Not a valid format string: refused, never thrown at the caller.
    EXPECT_EQ(-1, manager->SendPing("http://h", "j/%s/%", Values({{"", "v"}}), true));
    EXPECT_EQ(-1, manager->SendPing("http://h", "k/%t%", Values({{"t", "50%"}}), true));

    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ((std::vector<std::string>{Request("h", "/a/%s"), Request("h", "/b/x/100%"),
                                        Request("h", "/c/N-p1-p2"), Request("h", "/d/1"),
                                        Request("h", "/e/1-"), Request("h", "/f/50%")}),
              socket->Requests());
}

TEST_F(PingManagerTest, AsksHandlersInRegistrationOrderEachOnce) {
    TableHandler noBase("");
    TableHandler tokens("http://t");
    tokens.table["id"] = "42";
    EXPECT_EQ(-1, manager->AddHandler(nullptr));
    EXPECT_EQ(-1, manager->RemoveHandler(nullptr));
    EXPECT_EQ(0, manager->RemoveHandler(&tokens));  // not registered: nothing changes
    EXPECT_EQ(-1, manager->SendText("x/%id%", true, "%", ""));

    EXPECT_EQ(0, manager->AddHandler(&noBase));
    EXPECT_EQ(0, manager->AddHandler(&tokens));
    EXPECT_EQ(0, manager->AddHandler(&noBase));

    EXPECT_EQ(-1, manager->SendText("", true, "%", "http://d"));
    EXPECT_EQ(0, noBase.expansions);

    // The first handler knows no token; the second expands it with its own base URL.
    EXPECT_EQ(0, manager->SendText("x/%id%", true, "%", "http://d"));
    EXPECT_EQ(1, noBase.expansions);
    EXPECT_EQ(1, tokens.expansions);
    // Without tokens the first handler builds on the default base URL.
    EXPECT_EQ(0, manager->SendText("plain", true, "%", "http://d"));
    EXPECT_EQ(2, noBase.expansions);
    EXPECT_EQ(1, tokens.expansions);
    // No handler makes a valid URL.
    EXPECT_EQ(-1, manager->SendText("a b", true, "%", "http://d"));

    EXPECT_EQ(0, manager->RemoveHandler(&noBase));
    EXPECT_EQ(0, manager->SendText("y", true, "%", "http://d"));
    EXPECT_EQ(3, noBase.expansions);  // unchanged since the -1 above
    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ((std::vector<std::string>{Request("t", "/x/42"), Request("d", "/plain"),
                                        Request("t", "/y")}),
              socket->Requests());
}

TEST(PingHandlerTest, BuildsOnItsOwnBaseFirstAndExpandsEveryToken) {
    TableHandler handler("");
    std::string url;
    EXPECT_FALSE(handler.BuildUrl("p", "", url));
    EXPECT_TRUE(handler.BuildUrl("p", "http://d", url));
    EXPECT_EQ("http://d/p", url);
    TableHandler own("http://own");
    EXPECT_TRUE(own.BuildUrl("p", "http://d", url));
    EXPECT_EQ("http://own/p", url);

    handler.table = {{"a", "1"}, {"b", "2"}, {"loop", "$loop$"}, {"rest", "R"}};
    std::string text = "$a$/$b$/$a$";
    EXPECT_TRUE(handler.ExpandTokens("$", text));
    EXPECT_EQ("1/2/1", text);
    text = "$a$/$unknown$/$b$";
    EXPECT_FALSE(handler.ExpandTokens("$", text));
    EXPECT_EQ("1/$unknown$/$b$", text);  // replacements made so far stay
    // A value holding the delimiter is not expanded again, so expansion ends.
    text = "x$loop$y";
    EXPECT_TRUE(handler.ExpandTokens("$", text));
    EXPECT_EQ("x$loop$y", text);
    // Without a closing delimiter the name runs to the end of the text.
    text = "x/$rest";
    EXPECT_TRUE(handler.ExpandTokens("$", text));
    EXPECT_EQ("x/R", text);
}

TEST_F(PingManagerTest, StopJoinsOnlyARunningWorkerAndDoesNotWaitOnAnEmptyQueue) {
    EXPECT_FALSE(manager->Stop());
    manager->Start();
    EXPECT_TRUE(manager->IsRunning());
    const int64_t start = NowMs();
    EXPECT_TRUE(manager->Stop());
    EXPECT_LT(NowMs() - start, 500);
    EXPECT_FALSE(manager->IsRunning());
    EXPECT_FALSE(manager->Stop());
}

TEST_F(PingManagerTest, CallersNeverWaitForTheNetworkAndStopWaitsForEveryQueuedPing) {
    manager->Start();
    socket->Hold();
    const int64_t start = NowMs();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0, manager->SendPing("http://h", "p%s", Values({{"", std::to_string(i).c_str()}}),
                                       true));
    }
    EXPECT_LT(NowMs() - start, 500);
    ASSERT_TRUE(socket->WaitUntilHeld(5000));  // the worker is inside a connection
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        socket->Release();
    });
    EXPECT_TRUE(manager->Stop());
    releaser.join();
    EXPECT_EQ(3u, socket->Requests().size());
}

TEST_F(PingManagerTest, APingAfterStopRestartsTheWorker) {
    manager->Start();
    manager->Start();  // a running worker is stopped and replaced
    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ(0, manager->SendPing("http://h", "again", {}, true));
    EXPECT_TRUE(manager->IsRunning());
    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ(std::vector<std::string>{Request("h", "/again")}, socket->Requests());
}

TEST_F(PingManagerTest, RequestsFromSeveralThreadsAreAllSentAndDestructionDrainsTheQueue) {
    manager->Start();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 4; ++i) {
                const std::string id = std::to_string(t) + "-" + std::to_string(i);
                EXPECT_EQ(0, manager->SendPing("http://h", "%s", Values({{"", id.c_str()}}), true));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    manager.reset();
    EXPECT_EQ(16u, socket->Requests().size());
    EXPECT_EQ(1, socket->Startups());
    EXPECT_GE(socket->Closes(), 1);
}

}  // namespace
