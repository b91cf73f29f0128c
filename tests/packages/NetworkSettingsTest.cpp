// Downloads honour the network settings a user gives in the environment, as curl does: the
// certificate authorities of https (CURL_CA_BUNDLE, SSL_CERT_FILE), tried against a server whose
// certificate a private authority issued, and proxies (http_proxy, no_proxy).
#include <gtest/gtest.h>

#include <httplib.h>

#include <string>
#include <thread>

#include "platform/Download.h"
#include "platform/LastError.h"
#include "support/CodeSigning.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

namespace {

using testsupport::ShellQuote;
using testsupport::TempDir;

const uint64_t kCap = 1 << 20;

// An https server on 127.0.0.1 whose certificate a throwaway authority issued.
class PrivateTlsServer {
public:
    explicit PrivateTlsServer(const TempDir& dir) : ca_(dir.File("ca.pem")) {
        const std::string d = ShellQuote(dir.Path());
        const std::string made = "cd " + d +
                                 " && openssl req -x509 -newkey rsa:2048 -nodes -days 2"
                                 " -subj '/CN=Throwaway TLS Authority' -keyout ca.key -out ca.pem"
                                 " && openssl req -newkey rsa:2048 -nodes -subj '/CN=127.0.0.1'"
                                 " -keyout server.key -out server.csr"
                                 " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext"
                                 " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key"
                                 " -CAcreateserial -days 2 -extfile san.ext -out server.pem";
        if (testsupport::RunCommand("(" + made + ") >/dev/null 2>&1") != 0) {
            ADD_FAILURE() << "openssl could not make the authority";
            return;
        }
        server_.reset(
            new httplib::SSLServer(dir.File("server.pem").c_str(), dir.File("server.key").c_str()));
        server_->Get("/file", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("over tls\n", "text/plain");
        });
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        while (!server_->is_running()) {
            std::this_thread::yield();
        }
    }
    ~PrivateTlsServer() {
        if (server_) {
            server_->stop();
            thread_.join();
        }
    }
    std::string Url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/file"; }
    const std::string& Authority() const { return ca_; }

private:
    std::string ca_;
    std::unique_ptr<httplib::SSLServer> server_;
    int port_ = 0;
    std::thread thread_;
};

class NetworkSettingsTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* name :
             {"CURL_CA_BUNDLE", "SSL_CERT_FILE", "SSL_CERT_DIR", "http_proxy", "no_proxy"}) {
            testsupport::UnsetEnvironment(name);
        }
    }
    // Downloads `url` to a new file; its contents, or "failed: <reason>".
    std::string Fetch(const std::string& url) {
        const std::string path = dir_.File("download" + std::to_string(++count_));
        if (!platform::DownloadUrlToFile(url, path, kCap, nullptr)) {
            return "failed: " + platform::GetLastErrorText();
        }
        std::string text;
        testsupport::ReadFile(path, text);
        return text;
    }

    TempDir dir_{"vcm-network"};
    int count_ = 0;
};

TEST_F(NetworkSettingsTest, HttpsTrustsTheAuthoritiesTheEnvironmentNames) {
    PrivateTlsServer server(dir_);
    const std::string other = testsupport::CodeSigning::Instance().TrustedRoots();
    const struct {
        const char* bundle;  // CURL_CA_BUNDLE
        const char* file;    // SSL_CERT_FILE
        bool fetched;
    } cases[] = {
        {nullptr, nullptr, false},  // the system's store knows no such authority
        {nullptr, "private", true},
        {"private", nullptr, true},
        {"private", "other", true},  // CURL_CA_BUNDLE goes first, as for curl
        {"other", "private", false},
        {nullptr, "other", false},  // a file named replaces the system's store, not adds to it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bundle ? c.bundle : "-") + " " + (c.file ? c.file : "-"));
        const auto set = [&](const char* name, const char* which) {
            if (which) {
                testsupport::SetEnvironment(
                    name, std::string(which) == "private" ? server.Authority() : other);
            } else {
                testsupport::UnsetEnvironment(name);
            }
        };
        set("CURL_CA_BUNDLE", c.bundle);
        set("SSL_CERT_FILE", c.file);
        const std::string got = Fetch(server.Url());
        if (c.fetched) {
            EXPECT_EQ("over tls\n", got);
        } else {
            EXPECT_EQ(0u, got.find("failed: ")) << got;
            EXPECT_NE(std::string::npos, got.find("certificate")) << got;
        }
    }
}

// A proxy named by http_proxy gets the request for the whole address; no_proxy names the hosts
// reached directly.
TEST_F(NetworkSettingsTest, HttpGoesThroughTheProxyUnlessTheHostIsExcepted) {
    testsupport::LocalHttpServer proxy;
    proxy.Route("http://packages.vomo.invalid/a.cab", testsupport::HttpReply::Body("by proxy\n"));
    testsupport::SetEnvironment("http_proxy", proxy.Url(""));
    EXPECT_EQ("by proxy\n", Fetch("http://packages.vomo.invalid/a.cab"));
    ASSERT_EQ(1u, proxy.Requests().size());
    EXPECT_EQ(0u, proxy.Requests()[0].find("GET http://packages.vomo.invalid/a.cab HTTP/1.1\r\n"));

    testsupport::SetEnvironment("no_proxy", "example.invalid,.vomo.invalid");
    EXPECT_EQ(0u, Fetch("http://packages.vomo.invalid/a.cab").find("failed: "));
    EXPECT_EQ(1u, proxy.Requests().size());
}

}  // namespace
