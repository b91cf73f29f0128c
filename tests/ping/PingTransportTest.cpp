// The ping transport: the URL check, the split of a URL into host and path, the request bytes
// on the wire, and the socket's behaviour with peers that never answer or never accept.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "ping/PingSender.h"
#include "ping/PingSocket.h"
#include "ping/PingUrl.h"
#include "platform/Socket.h"
#include "support/PingTestSupport.h"

using pingtest::FakeSocket;
using pingtest::NowMs;
using pingtest::Port80Listener;
using pingtest::Request;

namespace {

TEST(PingUrlTest, AcceptsHttpAndHttpsWithAHostAndAPathWithoutSpaces) {
    EXPECT_TRUE(IsValidPingUrl("http://h/p"));
    EXPECT_TRUE(IsValidPingUrl("https://h/p"));
    EXPECT_TRUE(IsValidPingUrl("http://h:8080/p"));  // a port stays part of the host
    EXPECT_TRUE(IsValidPingUrl("http://h/"));
    EXPECT_TRUE(IsValidPingUrl("http://h/a/%s?x=1&y=%20"));

    EXPECT_FALSE(IsValidPingUrl("http://h/p q"));  // a space after the host part
    EXPECT_FALSE(IsValidPingUrl("http://h"));      // nothing after the host
    EXPECT_FALSE(IsValidPingUrl("http:///p"));     // no host
    EXPECT_FALSE(IsValidPingUrl("ftp://h/p"));
    EXPECT_FALSE(IsValidPingUrl("HTTP://h/p"));
    EXPECT_FALSE(IsValidPingUrl(" http://h/p"));  // the whole text must match, not a part
    EXPECT_FALSE(IsValidPingUrl("see http://h/p"));
    EXPECT_FALSE(IsValidPingUrl(""));
}

TEST(PingSenderTest, SplitsLikeTheScanPatternAndRefusesWhatDoesNotFit) {
    std::string host;
    std::string path;
    EXPECT_TRUE(PingSender::SplitUrl("http://H/p/q", host, path));
    EXPECT_EQ("H", host);
    EXPECT_EQ("/p/q", path);
    EXPECT_TRUE(PingSender::SplitUrl("http://h:8080/a?b=c%20d", host, path));
    EXPECT_EQ("h:8080", host);
    EXPECT_EQ("/a?b=c%20d", path);
    EXPECT_TRUE(PingSender::SplitUrl("http://h/p\tignored", host, path));  // path ends at a blank
    EXPECT_EQ("/p", path);

    EXPECT_FALSE(PingSender::SplitUrl("https://h/p", host, path));
    EXPECT_FALSE(PingSender::SplitUrl("http://h", host, path));
    EXPECT_FALSE(PingSender::SplitUrl("http:///p", host, path));
    EXPECT_FALSE(PingSender::SplitUrl(std::string("http://h\0x/p", 12), host, path));

    const std::string longest(PingSender::kMaxUrlPart, 'a');
    EXPECT_TRUE(PingSender::SplitUrl("http://" + longest + "/p", host, path));
    EXPECT_FALSE(PingSender::SplitUrl("http://" + longest + "a/p", host, path));
    EXPECT_TRUE(PingSender::SplitUrl("http://h/" + longest.substr(1), host, path));
    EXPECT_EQ(PingSender::kMaxUrlPart, path.size());
    EXPECT_FALSE(PingSender::SplitUrl("http://h/" + longest, host, path));
}

TEST(PingSenderTest, UrlsThatCannotBePingedNeverReachTheSocket) {
    auto socket = boost::make_shared<FakeSocket>();
    PingSender sender(socket);
    EXPECT_TRUE(sender.Startup());
    EXPECT_FALSE(sender.Ping("https://h/p"));
    EXPECT_FALSE(sender.Ping("http://h"));
    EXPECT_FALSE(sender.Ping("http://" + std::string(200, 'h') + "/p"));
    EXPECT_FALSE(sender.Ping("http://h/" + std::string(200, 'p')));
    EXPECT_TRUE(socket->Hosts().empty());

    EXPECT_TRUE(sender.Ping("http://H/p/q"));
    ASSERT_EQ(1u, socket->Requests().size());
    EXPECT_EQ("HEAD /p/q HTTP/1.0\r\nHost: H\r\n\r\n", socket->Requests()[0]);
}

TEST(PingSenderTest, ClosesItsSocketOnDestruction) {
    auto socket = boost::make_shared<FakeSocket>();
    {
        PingSender sender(socket);
        sender.Startup();
    }
    EXPECT_EQ(1, socket->Startups());
    EXPECT_EQ(1, socket->Closes());
}

// ---- over the loopback network ---------------------------------------------------------------

TEST(PingOnPort80Test, SendsExactlyTheHeadRequestOnAFreshConnectionPerPing) {
    Port80Listener listener("127.0.80.1");
    ASSERT_EQ("", listener.Error());
    PingSender sender;
    ASSERT_TRUE(sender.Startup());
    EXPECT_TRUE(sender.Ping("http://127.0.80.1/p/q"));
    EXPECT_TRUE(sender.Ping("http://127.0.80.1/hint/a?b=c&d=%41"));
    const std::vector<std::string> requests = listener.WaitForRequests(2, 5000);
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("HEAD /p/q HTTP/1.0\r\nHost: 127.0.80.1\r\n\r\n", requests[0]);
    EXPECT_EQ(Request("127.0.80.1", "/hint/a?b=c&d=%41"), requests[1]);
}

TEST(PingOnPort80Test, APeerThatNeverAnswersDoesNotDelayThePing) {
    Port80Listener listener("127.0.80.2", Port80Listener::kSilent);
    ASSERT_EQ("", listener.Error());
    PingSender sender;
    ASSERT_TRUE(sender.Startup());
    const int64_t start = NowMs();
    EXPECT_TRUE(sender.Ping("http://127.0.80.2/p"));
    EXPECT_TRUE(sender.Ping("http://127.0.80.2/q"));
    EXPECT_LT(NowMs() - start, 1000);
}

TEST(PingOnPort80Test, AServerThatNeverAcceptsCostsAtMostTheConnectTimeOut) {
    Port80Listener listener("127.0.80.3", Port80Listener::kBlackhole);
    ASSERT_EQ("", listener.Error());
    PingSender sender;
    ASSERT_TRUE(sender.Startup());
    const int64_t start = NowMs();
    EXPECT_FALSE(sender.Ping("http://127.0.80.3/p"));
    const int64_t elapsed = NowMs() - start;
    EXPECT_GE(elapsed, static_cast<int64_t>(platform::kConnectTimeoutMilliseconds) - 100);
    EXPECT_LT(elapsed, static_cast<int64_t>(platform::kConnectTimeoutMilliseconds) + 1500);
}

TEST(PingOnPort80Test, RefusedConnectionsAndHostsWithAPortFail) {
    PingSender sender;
    ASSERT_TRUE(sender.Startup());
    EXPECT_FALSE(sender.Ping("http://127.0.80.4/p"));  // nobody listens there
    // The whole host part goes to name resolution, which cannot resolve "host:port".
    Port80Listener listener("127.0.80.4");
    ASSERT_EQ("", listener.Error());
    EXPECT_FALSE(sender.Ping("http://127.0.80.4:80/p"));
    EXPECT_FALSE(sender.Ping("http://127.0.80.4 /p"));
    EXPECT_TRUE(sender.Ping("http://127.0.80.4/p"));
    EXPECT_EQ(1u, listener.WaitForRequests(1, 5000).size());
}

TEST(SocketTest, WorksOnlyBetweenStartupAndCloseAndNeverRaisesSigpipe) {
    Port80Listener listener("127.0.80.5", Port80Listener::kSilent);
    ASSERT_EQ("", listener.Error());
    Socket socket;
    EXPECT_FALSE(socket.Connect("127.0.80.5"));  // not started
    EXPECT_FALSE(socket.Send("x"));
    EXPECT_TRUE(socket.Startup());
    EXPECT_TRUE(socket.Startup());
    EXPECT_FALSE(socket.Send("x"));  // no connection yet
    EXPECT_TRUE(socket.Connect("127.0.80.5"));
    EXPECT_TRUE(socket.Send("HEAD / HTTP/1.0\r\n\r\n"));
    // The sending side is shut: another send fails with EPIPE, which must not kill the process.
    EXPECT_FALSE(socket.Send("more"));
    EXPECT_TRUE(socket.Connect("127.0.80.5"));  // a fresh connection replaces the old one
    EXPECT_TRUE(socket.Send("again"));
    socket.Close();
    socket.Close();
    EXPECT_FALSE(socket.Connect("127.0.80.5"));
    EXPECT_TRUE(socket.Startup());
    EXPECT_TRUE(socket.Connect("127.0.80.5"));
}

}  // namespace
