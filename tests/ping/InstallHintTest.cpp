// Install hints through vcm::PingSender, alone and as the component manager's hint sender.
#include <gtest/gtest.h>

#include <cstdlib>

#include <boost/make_shared.hpp>

#include "api/ComponentManager.h"
#include "api/InstallHints.h"
#include "ping/PingSender.h"
#include "platform/Socket.h"
#include "support/FakeEngine.h"
#include "support/FakeServices.h"
#include "support/PingTestSupport.h"
#include "support/ScopedRegistryRoot.h"

using pingtest::FakeSocket;
using pingtest::NowMs;
using pingtest::Port80Listener;
using pingtest::Request;

namespace {

boost::shared_ptr<vcm::PingSender> HintSender(const boost::shared_ptr<FakeSocket>& socket) {
    return boost::make_shared<vcm::PingSender>("http://installer.test",
                                               boost::make_shared<::PingSender>(socket));
}

// A component manager with substitute engine and settings and a real hint sender, whose update
// runs end as `states` say.
struct ManagerWithRealHints {
    explicit ManagerWithRealHints(std::deque<uint32_t> states) {
        engine = boost::make_shared<testsupport::FakeEngine>();
        settings = boost::make_shared<testsupport::FakeSettings>();
        session = boost::make_shared<testsupport::FakeSession>();
        session->states = states;
        engine->session = session;
        manager.reset(new ComponentManager(engine, settings,
                                           boost::make_shared<testsupport::FakeTime>(),
                                           boost::make_shared<vcm::PingSender>()));
    }
    boost::shared_ptr<testsupport::FakeEngine> engine;
    boost::shared_ptr<testsupport::FakeSettings> settings;
    boost::shared_ptr<testsupport::FakeSession> session;
    std::unique_ptr<ComponentManager> manager;
};

TEST(InstallHintTest, SuccessAndFailureHintsAndTextsGoToTheInstallerServer) {
    testsupport::ScopedRegistryRoot registry;
    auto socket = boost::make_shared<FakeSocket>();
    auto sender = HintSender(socket);
    EXPECT_TRUE(sender->SendComponentHint("X", false));
    EXPECT_TRUE(sender->SendComponentHint("X", true));
    EXPECT_TRUE(sender->SendComponentHint("50%off", false));  // the id is data, not format
    EXPECT_TRUE(sender->SendText("note/1"));

    EXPECT_FALSE(sender->SendComponentHint("", false));
    EXPECT_FALSE(sender->SendComponentHint("a b", true));  // makes no valid URL
    EXPECT_FALSE(sender->SendText("a%b"));                 // no token is known
    EXPECT_FALSE(sender->SendText(""));

    sender.reset();  // waits until every hint was tried
    EXPECT_EQ(
        (std::vector<std::string>{Request("installer.test", "/hint/v10-unique-component-X"),
                                  Request("installer.test", "/hint/v10-unique-component-X-FAIL"),
                                  Request("installer.test", "/hint/v10-unique-component-50%off"),
                                  Request("installer.test", "/note/1")}),
        socket->Requests());
}

TEST(InstallHintTest, AHintThatCannotBeDeliveredIsKeptWhenTheSenderGoes) {
    testsupport::ScopedRegistryRoot registry;
    auto socket = boost::make_shared<FakeSocket>();
    socket->SetAllDown(true);
    auto sender = HintSender(socket);
    EXPECT_TRUE(sender->SendComponentHint("Y", true));
    ::testing::internal::CaptureStdout();
    sender.reset();
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());  // the host's channel
    EXPECT_EQ(std::vector<std::string>{"installer.test"}, socket->Hosts());
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"hint00", "http://installer.test/hint/v10-unique-component-Y-FAIL"}}),
              pingtest::StoredPings());
}

TEST(InstallHintTest, UpdateRunsSendTheirHintsOverTheNetworkToTheConfiguredServer) {
    testsupport::ScopedRegistryRoot registry;
    Port80Listener listener("127.0.80.6");
    ASSERT_EQ("", listener.Error());
    testsupport::SetEnvironment("VOMO_INSTALLER_URL", "http://127.0.80.6/");
    ManagerWithRealHints run({7});
    run.settings->installed = {"first"};
    EXPECT_EQ(0, run.manager->UpdateComponents({"first"}));
    EXPECT_EQ(0, run.manager->UpdateComponents({"first"}));  // no second success hint
    run.session->states = {8};
    run.settings->installed.insert("broken");
    EXPECT_EQ(1, run.manager->UpdateComponents({"broken", "absent"}));
    run.manager.reset();  // the queue is drained before the manager is gone
    EXPECT_EQ(
        (std::vector<std::string>{Request("127.0.80.6", "/hint/v10-unique-component-first"),
                                  Request("127.0.80.6", "/hint/v10-unique-component-broken-FAIL")}),
        listener.WaitForRequests(2, 5000));
}

TEST(InstallHintTest, ShutdownWithAnUnreachableServerTakesAtMostTheConnectTimeOutPerHint) {
    testsupport::ScopedRegistryRoot registry;
    Port80Listener blackhole("127.0.80.7", Port80Listener::kBlackhole);
    ASSERT_EQ("", blackhole.Error());
    testsupport::SetEnvironment("VOMO_INSTALLER_URL", "http://127.0.80.7");
    ManagerWithRealHints run({8});
    run.settings->installed = {"a", "b"};
    EXPECT_EQ(1, run.manager->UpdateComponents({"a", "b"}));

    ::testing::internal::CaptureStdout();
    const int64_t start = NowMs();
    run.manager.reset();
    const int64_t elapsed = NowMs() - start;
    const std::string printed = ::testing::internal::GetCapturedStdout();
    const int64_t perHint = platform::kConnectTimeoutMilliseconds + 100;
    EXPECT_LT(elapsed, 2 * perHint + 1000);
    EXPECT_EQ("", printed);  // the host's channel; the install log has the notes
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"hint00", "http://127.0.80.7/hint/v10-unique-component-a-FAIL"},
                  {"hint01", "http://127.0.80.7/hint/v10-unique-component-b-FAIL"}}),
              pingtest::StoredPings());
}

}  // namespace
