// Interrupts of the runs: the first signal reaches the whole process group of every program
// running, a second ends a program that ignores the first; a host's held signal is taken while
// a call waits and made pending for the host again when the call is over.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/Interrupt.h"
#include "platform/Process.h"
#include "support/TempDir.h"

namespace {

using platform::ChildProcess;

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
        if (::access(path.c_str(), F_OK) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(InterruptTest, TheFirstRequestReachesTheGroupAndASecondEndsIt) {
    testsupport::TempDir dir("vcm-interrupt");
    const std::string marks = dir.File("marks");
    const std::string ready = dir.File("ready");
    const struct Case {
        const char* name;
        std::string script;
        int requests;
        int32_t exitCode;
        const char* marked;
    } cases[] = {
        // The installer and a program it started both hear it, and the installer ends.
        {"polite",
         "(trap 'echo helper >> " + marks + "; exit 0' TERM; sleep 30 & wait) & trap 'echo " +
             "installer >> " + marks + "; wait; exit 5' TERM; touch " + ready + "; sleep 30 & wait",
         1, 5, "installer\nhelper\n"},
        // One that ignores it is killed by the second.
        {"deaf", "trap '' TERM; touch " + ready + "; sleep 30", 2, 128 + SIGKILL, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(marks.c_str());
        ::unlink(ready.c_str());
        testsupport::WriteFile(dir.File("script"), "#!/bin/sh\n" + c.script + "\n");
        ASSERT_TRUE(platform::MakeProgramFile(dir.File("script")));
        ChildProcess child;
        ASSERT_TRUE(child.Start(dir.File("script"), "", false));
        ASSERT_TRUE(WaitForFile(ready));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // its helper is up
        for (int i = 0; i < c.requests; ++i) {
            platform::RequestInterrupt(SIGTERM);
            if (i + 1 < c.requests) {
                EXPECT_EQ(ChildProcess::Wake::kTimeout, child.Wait(300));  // still there
            }
        }
        EXPECT_EQ(SIGTERM, platform::InterruptSignal());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (child.Wait(100) != ChildProcess::Wake::kExited &&
               std::chrono::steady_clock::now() < end) {
        }
        int32_t code = 0;
        ASSERT_TRUE(child.GetExitCode(code));
        EXPECT_EQ(c.exitCode, code);
        std::string text;
        testsupport::ReadFile(marks, text);
        // The order of the two lines is the scheduler's.
        EXPECT_EQ(std::string(c.marked).size(), text.size()) << text;
        for (const char* word : {"installer", "helper"}) {
            EXPECT_EQ(std::string(c.marked).find(word) != std::string::npos,
                      text.find(word) != std::string::npos)
                << word;
        }
        platform::ClearInterruptForTesting();
    }
}

// In a process of its own: the signal it makes pending is never delivered to another thread.
TEST(InterruptTest, AHeldSignalIsTakenDuringACallAndIsTheHostsAgainAfterIt) {
    const pid_t host = ::fork();
    ASSERT_GE(host, 0);
    if (host == 0) {
        sigset_t held;
        ::sigemptyset(&held);
        ::sigaddset(&held, SIGTERM);
        ::sigaddset(&held, SIGHUP);
        ::sigprocmask(SIG_BLOCK, &held, nullptr);
        int failures = 0;
        {
            platform::InterruptScope call;
            failures += platform::PollInterrupt() != 0;  // nothing yet
            ::kill(::getpid(), SIGHUP);
            failures += platform::PollInterrupt() != SIGHUP;
            ::kill(::getpid(), SIGTERM);  // a second one: taken, the first stays the request
            failures += platform::PollInterrupt() != SIGHUP;
            sigset_t pending;
            ::sigpending(&pending);
            failures += ::sigismember(&pending, SIGHUP) != 0;  // taken while the call waits
        }
        failures += platform::InterruptSignal() != 0;
        const timespec now = {0, 0};
        failures += ::sigtimedwait(&held, nullptr, &now) != SIGHUP;  // the host's again
        failures += ::sigtimedwait(&held, nullptr, &now) != -1;      // and only it
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(host, ::waitpid(host, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
