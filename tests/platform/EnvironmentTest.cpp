// What a host takes from its environment and its folders: a setuid host takes nothing from its
// caller's variables; temporary and log folders another user could swap files in are refused;
// the log is never written through a link or a FIFO.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>

#include "platform/LastError.h"
#include "platform/LogFile.h"
#include "platform/TempFile.h"
#include "support/CodeSigning.h"
#include "support/TempDir.h"

namespace {

using testsupport::ShellQuote;

// The "name=value" lines of the host's output.
std::map<std::string, std::string> Values(const std::string& output) {
    std::map<std::string, std::string> values;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const std::string::size_type equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return values;
}

// A setuid-root host run by an unprivileged user (nobody) ignores every variable the library
// reads: its caller cannot make it trust another certificate authority, fetch another manifest,
// use another registry, log or temporary folder. The same host without the setuid bit honours
// them, which shows that the variables were set.
TEST(EnvironmentTest, ASetuidHostIgnoresTheCallersVariables) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a setuid-root copy of the host needs root";
    }
    if (testsupport::RunCommand("command -v setpriv >/dev/null && id nobody >/dev/null") != 0) {
        GTEST_SKIP() << "setpriv or the user nobody is missing";
    }
    testsupport::TempDir dir("vcm-setuid");
    const testsupport::CodeSigning& signing = testsupport::CodeSigning::Instance();
    ASSERT_TRUE(testsupport::WriteFile(dir.File("image.exe"), testsupport::MinimalPeImage(false)));
    ASSERT_TRUE(
        signing.Sign(testsupport::Signer::kVomoLlc, dir.File("image.exe"), dir.File("signed.exe")));
    ASSERT_EQ(0,
              testsupport::RunCommand(
                  "cp " + ShellQuote(signing.TrustedRoots()) + " " + dir.File("roots.pem") +
                  " && mkdir " + dir.File("usertmp") + " && chown nobody " + dir.File("usertmp") +
                  " && cp " + ENVIRONMENT_HOST_PATH + " " + dir.File("plain") + " && cp " +
                  ENVIRONMENT_HOST_PATH + " " + dir.File("setuid") + " && chmod 4755 " +
                  dir.File("setuid") + " && chmod 755 " + dir.Path() + " && chmod 644 " +
                  dir.File("*.exe") + " " + dir.File("roots.pem")));
    const std::string variables =
        "VOMO_TRUST_ROOTS=" + dir.File("roots.pem") +
        " VOMO_MANIFEST_URL=http://evil.invalid/m.cab VOMO_INSTALLER_URL=http://evil.invalid"
        " VOMO_REGISTRY_ROOT=/evil VOMO_LOG_DIR=/evil HOME=/evil TMPDIR=" +
        dir.File("usertmp");
    const auto run = [&](const std::string& host) {
        std::string output;
        EXPECT_EQ(0, testsupport::RunCommandOutput(
                         "setpriv --reuid=nobody --regid=nogroup --clear-groups -- env -i " +
                             variables + " " + dir.File(host) + " " + dir.File("signed.exe"),
                         output))
            << output;
        return Values(output);
    };

    std::map<std::string, std::string> plain = run("plain");
    EXPECT_EQ("http://evil.invalid/m.cab", plain["manifest"]);
    EXPECT_EQ("/evil/machine.db", plain["machine"]);
    EXPECT_EQ(dir.File("usertmp"), plain["tmp"]);
    EXPECT_EQ("trusted", plain["trust"]);

    std::map<std::string, std::string> setuid = run("setuid");
    if (setuid.empty()) {
        GTEST_SKIP() << "the setuid copy did not run here (a file system mounted nosuid?)";
    }
    EXPECT_EQ(VCM_BUILTIN_MANIFEST_URL, setuid["manifest"]);
    EXPECT_EQ(VCM_BUILTIN_INSTALLER_URL, setuid["installer"]);
    EXPECT_EQ("/var/lib/vomo/registry/machine.db", setuid["machine"]);
    EXPECT_EQ("/root/.config/vomo/registry/user.db", setuid["user"]);  // root's own home
    EXPECT_EQ("/var/log/vomo/install.log", setuid["log"]);
    EXPECT_EQ("/tmp", setuid["tmp"]);
    EXPECT_EQ("refused", setuid["trust"]);  // the caller's certificate authority is not trusted
}

// A temporary or log folder is used only when no other user can take or swap what is made in
// it: owned by root or the process's user, and, when others may write it, sticky as /tmp is.
TEST(EnvironmentTest, FoldersAnotherUserCouldSwapFilesInAreRefused) {
    testsupport::TempDir dir("vcm-folders");
    const struct {
        const char* name;
        const char* setUp;  // shell commands run in the folder's place ($f)
        bool used;
    } cases[] = {
        {"private", "mkdir -m 700 $f", true},
        {"sticky, anyone may write", "mkdir -m 1777 $f", true},
        {"anyone may write, not sticky", "mkdir -m 777 $f", false},
        {"its group may write, not sticky", "mkdir -m 775 $f", false},
        {"another user's", "mkdir -m 755 $f && chown nobody $f", false},
        {"a link to a private folder", "mkdir -m 700 $f.real && ln -s $f.real $f", true},
        {"a file", "touch $f", false},
    };
    // TMPDIR as it was, whatever ends the test.
    struct KeptTmp {
        KeptTmp()
            : set(std::getenv("TMPDIR") != nullptr), value(set ? std::getenv("TMPDIR") : "") {}
        ~KeptTmp() {
            set ? testsupport::SetEnvironment("TMPDIR", value)
                : testsupport::UnsetEnvironment("TMPDIR");
        }
        bool set;
        std::string value;
    } kept;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (::geteuid() != 0 && std::string(c.setUp).find("chown") != std::string::npos) {
            continue;  // only root may give a folder away
        }
        const std::string folder = dir.File("f" + std::to_string(&c - cases));
        ASSERT_EQ(0, testsupport::RunCommand("f=" + ShellQuote(folder) + "; " + c.setUp));
        testsupport::SetEnvironment("TMPDIR", folder);
        std::string tmp;
        EXPECT_EQ(c.used, platform::GetTempDirectory(tmp)) << platform::GetLastErrorText();
        EXPECT_EQ(c.used, platform::AppendToLog(folder + "/install.log", "line\n"))
            << platform::GetLastErrorText();
        if (!c.used) {
            EXPECT_NE(std::string::npos, platform::GetLastErrorText().find(folder));
        }
    }
}

// The install log is appended to only as a regular file: a link is not followed, and a FIFO
// planted under its name neither blocks the writer (no reader) nor receives the line (a reader
// waiting), so that no write can raise SIGPIPE in the host. The reader does not follow a link.
TEST(EnvironmentTest, TheLogIsNeverWrittenThroughALinkOrAFifo) {
    testsupport::TempDir dir("vcm-logplace");
    ASSERT_TRUE(testsupport::WriteFile(dir.File("secret"), "secret\n"));
    ASSERT_EQ(0, ::symlink(dir.File("secret").c_str(), dir.File("link.log").c_str()));
    ASSERT_EQ(0, ::mkfifo(dir.File("lonely.log").c_str(), 0644));
    ASSERT_EQ(0, ::mkfifo(dir.File("read.log").c_str(), 0644));
    const int reader = ::open(dir.File("read.log").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const char* name : {"link.log", "lonely.log", "read.log"}) {
        SCOPED_TRACE(name);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(platform::AppendToLog(dir.File(name), "line\n"));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        std::string text;
        uint64_t size = 0;
        EXPECT_FALSE(platform::ReadLog(dir.File(name), 0, text, size));
        EXPECT_EQ("", text);
    }
    char byte = 0;
    EXPECT_GE(0, ::read(reader, &byte, 1));  // nothing was written to the waiting reader
    ::close(reader);
    std::string secret;
    ASSERT_TRUE(testsupport::ReadFile(dir.File("secret"), secret));
    EXPECT_EQ("secret\n", secret);
}

}  // namespace
