// The failed-ping store under "Install\Setup\Reports": names of the stored pings, reading them
// back at start, and the component manager sending stored hints as it comes and goes.
#include <gtest/gtest.h>

#include <set>

#include <boost/make_shared.hpp>

#include "api/ComponentManager.h"
#include "ping/PingManager.h"
#include "ping/PingSender.h"
#include "platform/Socket.h"
#include "support/PingTestSupport.h"
#include "support/ScopedRegistryRoot.h"

using pingtest::FakeSocket;
using pingtest::ForgetStoredPings;
using pingtest::NowMs;
using pingtest::Port80Listener;
using pingtest::Request;
using pingtest::StoredPings;
using pingtest::StorePings;

namespace {

class PingStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        socket = boost::make_shared<FakeSocket>();
        manager.reset(new PingManager(boost::make_shared<PingSender>(socket)));
    }
    testsupport::ScopedRegistryRoot registry;  // a store of its own; outlives the manager
    boost::shared_ptr<FakeSocket> socket;
    std::unique_ptr<PingManager> manager;
};

// The store tells its owner's sink what it writes, and never the host's standard output.
TEST_F(PingStoreTest, NamesContinueAfterTheStoredValuesAndNeverOverwriteOne) {
    std::vector<std::string> notes;
    manager->SetNoteSink([&notes](const std::string& note) { notes.push_back(note); });
    socket->SetAllDown(true);
    manager->Start();  // the key is empty; values written now come from elsewhere
    ASSERT_TRUE(
        StorePings({{"hint00", "http://h/0"}, {"hint01", "http://h/1"}, {"hint02", "http://h/2"}}));
    EXPECT_EQ(0, manager->SendPing("http://down", "a", {}, true));
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
    EXPECT_EQ(
        (std::vector<std::string>{"writing 1 failed pings to registry.", "[hint03] http://down/a"}),
        notes);
    EXPECT_EQ((std::map<std::string, std::string>{{"hint00", "http://h/0"},
                                                  {"hint01", "http://h/1"},
                                                  {"hint02", "http://h/2"},
                                                  {"hint03", "http://down/a"}}),
              StoredPings());

    ForgetStoredPings();
    manager->Start();
    // Three values again, but "hint03" among them: the next free name is taken instead.
    ASSERT_TRUE(StorePings({{"hint00", "http://h/0"}, {"HINT03", "http://h/3"}, {"other", "x"}}));
    EXPECT_EQ(0, manager->SendPing("http://down", "b", {}, true));
    EXPECT_TRUE(manager->Stop());
    const std::map<std::string, std::string> stored = StoredPings();
    EXPECT_EQ(4u, stored.size());
    EXPECT_EQ("http://h/3", stored.at("HINT03"));
    EXPECT_EQ("http://down/b", stored.at("hint04"));
}

TEST_F(PingStoreTest, StartSendsTheValidStoredPingsAgainAndRemovesTheKey) {
    ASSERT_TRUE(
        StorePings({{"hint00", "http://h/x"}, {"hint01", "not a ping"}, {"hint02", "http://h/y"}}));
    manager->Start();
    EXPECT_TRUE(StoredPings().empty());
    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ((std::vector<std::string>{Request("h", "/x"), Request("h", "/y")}),
              socket->Requests());

    // A ping that failed in one run is sent again by the request that restarts the worker.
    socket->SetAllDown(true);
    EXPECT_EQ(0, manager->SendPing("http://h", "z", {}, true));
    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ((std::map<std::string, std::string>{{"hint00", "http://h/z"}}), StoredPings());
    socket->SetAllDown(false);
    EXPECT_EQ(0, manager->SendPing("http://h", "after", {}, true));
    EXPECT_TRUE(manager->Stop());
    EXPECT_TRUE(StoredPings().empty());
    EXPECT_EQ((std::vector<std::string>{Request("h", "/x"), Request("h", "/y"), Request("h", "/z"),
                                        Request("h", "/after")}),
              socket->Requests());  // the stored one goes first
}

TEST(StoredHintTest, AComponentManagerCreatedAndDestroyedAtOnceSendsEachStoredHintOnce) {
    testsupport::ScopedRegistryRoot registry;
    Port80Listener server("127.0.80.8");
    ASSERT_EQ("", server.Error());
    Port80Listener blackhole("127.0.80.9", Port80Listener::kBlackhole);
    ASSERT_EQ("", blackhole.Error());
    testsupport::SetEnvironment("VOMO_INSTALLER_URL", "http://127.0.80.8");
    ASSERT_TRUE(StorePings({{"hint00", "http://127.0.80.8/hint/v10-unique-component-A"},
                            {"hint01", "http://127.0.80.9/hint/v10-unique-component-B-FAIL"},
                            {"hint02", "http://127.0.80.8/hint/v10-unique-component-C-FAIL"}}));

    const int64_t start = NowMs();
    delete new ComponentManager();
    // The hint to the server that never accepts costs one connect time-out, no more.
    EXPECT_LT(NowMs() - start, platform::kConnectTimeoutMilliseconds + 1500);

    EXPECT_EQ(
        (std::vector<std::string>{Request("127.0.80.8", "/hint/v10-unique-component-A"),
                                  Request("127.0.80.8", "/hint/v10-unique-component-C-FAIL")}),
        server.WaitForRequests(3, 1000));
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"hint00", "http://127.0.80.9/hint/v10-unique-component-B-FAIL"}}),
              StoredPings());
}

// A shutdown never holds its host longer than the stop budget: with a server whose connections
// hang, the stored pings not tried by then are stored again, every one, and none twice.
//
// Ten pings: each connection hangs for the whole connect time-out, so two are tried and the rest
// are still queued when the budget runs out. Storing ten costs little, so a sound shutdown ends
// about the stop's reserve (a second) before the budget even on a loaded machine, while one that
// kept no reserve tries connections up to the budget itself and cannot end before it.
TEST(StoredHintTest, ShutdownWithHangingConnectionsEndsWithinItsBudgetAndKeepsEveryPing) {
    testsupport::ScopedRegistryRoot registry;
    Port80Listener blackhole("127.0.80.10", Port80Listener::kBlackhole);
    ASSERT_EQ("", blackhole.Error());
    testsupport::SetEnvironment("VOMO_INSTALLER_URL", "http://127.0.80.10");
    std::map<std::string, std::string> stored;
    std::set<std::string> urls;
    for (int i = 0; i < 10; ++i) {
        const std::string url = "http://127.0.80.10/hint/v10-unique-component-" + std::to_string(i);
        stored["hint" + std::to_string(100 + i)] = url;
        urls.insert(url);
    }
    ASSERT_TRUE(StorePings(stored));

    ::testing::internal::CaptureStdout();
    ComponentManager* manager = new ComponentManager();
    const int64_t start = NowMs();
    delete manager;
    const int64_t elapsed = NowMs() - start;
    ::testing::internal::GetCapturedStdout();
    EXPECT_LT(elapsed, static_cast<int64_t>(PingManager::kStopBudgetMilliseconds));

    std::multiset<std::string> after;
    for (const auto& value : StoredPings()) {
        after.insert(value.second);
    }
    EXPECT_EQ(std::multiset<std::string>(urls.begin(), urls.end()), after);
}

}  // namespace
