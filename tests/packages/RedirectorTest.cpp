// Running programs hidden: their output, their input and descriptors, and the ends of runs that
// do not finish by themselves.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include <boost/filesystem.hpp>

#include "packages/Redirector.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"
#include "support/StandInPkexec.h"
#include "support/TestPackages.h"

namespace {

using testsupport::CapturedOutput;

// True while process `pid` exists and has not ended.
bool Alive(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, name, state;
    return stat >> pidText >> name >> state && state != "Z";
}

size_t ThreadCount() {
    size_t count = 0;
    for (boost::filesystem::directory_iterator it("/proc/self/task"), end; it != end; ++it) {
        ++count;
    }
    return count;
}

// The number after `key` in `text` (0 when absent).
int NumberAfter(const std::string& text, const std::string& key) {
    const std::string::size_type at = text.find(key);
    return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + key.size());
}

class RedirectorTest : public ::testing::Test {
protected:
    RedirectorTest() : dir_("vcm-redirector") {}

    std::string Program(const std::string& body) {
        return testsupport::MakeProgram(dir_, "p" + std::to_string(++programs_),
                                        "#!/bin/sh\n" + body + "\n");
    }

    testsupport::TempDir dir_;
    CapturedOutput output_;
    int programs_ = 0;
};

TEST_F(RedirectorTest, OutputArrivesInOrderInSmallChunks) {
    // A descriptor of the host that is not close-on-exec must not reach the child either.
    const int inherited = ::fcntl(STDIN_FILENO, F_DUPFD, 50);
    ASSERT_GE(inherited, 50);
    const struct {
        std::string body;
        std::string output;
        int32_t exitCode;
    } cases[] = {
        {"echo one; echo two >&2; echo three; exit 5", "one\ntwo\nthree\n", 5},
        {"cat; echo \"[$(cat)]\"", "[]\n", 0},  // standard input is empty
        {"[ -e /proc/$$/fd/" + std::to_string(inherited) + " ] && echo leaked; exit 0", "", 0},
        {"true", "", 0},
        {"seq 1 400000", "", 0},  // megabytes; compared below
    };
    std::string numbers;
    for (int i = 1; i <= 400000; ++i) {
        numbers += std::to_string(i) + "\n";
    }
    for (const auto& c : cases) {
        output_.Clear();
        Redirector redirector(false, output_.Sink());
        int32_t exitCode = -7;
        EXPECT_TRUE(redirector.Run("", Program(c.body), exitCode)) << c.body;
        EXPECT_EQ(c.exitCode, exitCode) << c.body;
        EXPECT_EQ(c.output.empty() && c.body[0] == 's' ? numbers : c.output, output_.Text());
        EXPECT_LE(output_.LargestChunk(), 255u);
    }
    EXPECT_EQ(255u, output_.LargestChunk());
    ::close(inherited);
}

// The host's standard output is its own data channel: without a sink, the output is read (the
// program never blocks on a full pipe) and dropped.
TEST_F(RedirectorTest, WithoutASinkOutputIsDroppedNotWrittenToStandardOutput) {
    Redirector redirector;
    int32_t exitCode = -7;
    ::testing::internal::CaptureStdout();
    const bool ran = redirector.Run(
        "\"a b\" c", Program("seq 1 100000; echo \"$1|$2\" > " + dir_.File("args")), exitCode);
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
    EXPECT_TRUE(ran);
    std::string arguments;
    EXPECT_TRUE(testsupport::ReadFile(dir_.File("args"), arguments));
    EXPECT_EQ("a b|c\n", arguments);
    // A program that cannot be started: false, the exit code untouched; the redirector serves
    // the next run.
    exitCode = -7;
    EXPECT_FALSE(redirector.Run("", dir_.File("missing"), exitCode));
    EXPECT_EQ(-7, exitCode);
    EXPECT_TRUE(redirector.Run("", Program("exit 0"), exitCode));
    EXPECT_EQ(0, exitCode);
}

// A checked run starts only the file whose SHA-256 it was given.
TEST_F(RedirectorTest, ACheckedRunStartsOnlyTheFileWithTheDigestGiven) {
    const std::string marker = dir_.File("ran");
    const std::string program = Program("touch " + marker);
    const std::string other = Program("exit 0");
    for (const std::string& digestOf : {program, other}) {
        platform::FileSeal seal;
        ASSERT_TRUE(platform::SealFile(digestOf, seal));
        Redirector redirector(false, output_.Sink());
        int32_t exitCode = -7;
        EXPECT_EQ(digestOf == program, redirector.RunChecked("", program, seal.digest, exitCode));
        EXPECT_EQ(digestOf == program, boost::filesystem::exists(marker));
        if (digestOf != program) {
            EXPECT_EQ("the program is not the file that was checked", platform::GetLastErrorText());
        }
        boost::filesystem::remove(marker);
    }
}

// pkexec answers 126 (refused, cancelled) and 127 (cannot authenticate) for itself when it ran
// nothing: never an exit code of the program, which passes through otherwise.
TEST_F(RedirectorTest, PkexecsOwnAnswersAreNoExitCode) {
    const std::string program = Program("exit 5");
    const struct {
        const char* pkexec;
        bool watched;
        int32_t exitCode;
    } cases[] = {
        {"exit 126", false, -7},
        {"exit 127", false, -7},
        {"exec \"$@\"", true, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pkexec);
        testsupport::StandInPkexec pkexec("", c.pkexec);
        Redirector redirector(true, output_.Sink());
        int32_t exitCode = -7;
        EXPECT_EQ(c.watched, redirector.Run("", program, exitCode));
        EXPECT_EQ(c.exitCode, exitCode);
        if (!c.watched) {
            EXPECT_NE(std::string::npos,
                      platform::GetLastErrorText().find("pkexec did not run the program"));
        }
    }
}

TEST_F(RedirectorTest, AGrandchildHoldingTheOutputOpenDoesNotHoldTheRunUp) {
    Redirector redirector(false, output_.Sink());
    int32_t exitCode = -7;
    ASSERT_TRUE(redirector.Run(
        "", Program("(sleep 30; echo late) & echo \"grandchild:$!\"; exit 3"), exitCode));
    EXPECT_EQ(3, exitCode);
    const int grandchild = NumberAfter(output_.Text(), "grandchild:");
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(Alive(grandchild));
    EXPECT_EQ(std::string::npos, output_.Text().find("late"));
    ::kill(grandchild, SIGKILL);
}

TEST_F(RedirectorTest, DestroyingARunningRedirectorEndsTheChildAndItsReader) {
    std::thread([] {}).join();  // a sanitizer's own thread starts with the first thread
    const size_t threadsBefore = ThreadCount();
    std::unique_ptr<Redirector> redirector(new Redirector(false, output_.Sink()));
    bool ran = true;
    int32_t exitCode = -7;
    std::thread caller([&] {
        ran = redirector->Run(
            "", Program("sleep 1000 & echo \"child:$$ grandchild:$!\"; while :; do sleep 1; done"),
            exitCode);
    });
    ASSERT_TRUE(output_.WaitFor("grandchild:", 60));
    const int child = NumberAfter(output_.Text(), "child:");
    const int grandchild = NumberAfter(output_.Text(), "grandchild:");
    EXPECT_TRUE(Alive(child));
    redirector.reset();
    caller.join();
    EXPECT_FALSE(ran);
    EXPECT_EQ(-7, exitCode);
    EXPECT_FALSE(Alive(child));
    EXPECT_EQ(threadsBefore, ThreadCount());
    // The child's process group went with it; give the grandchild's new parent a moment to
    // collect it.
    for (int i = 0; i < 500 && Alive(grandchild); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(Alive(grandchild));
}

}  // namespace
