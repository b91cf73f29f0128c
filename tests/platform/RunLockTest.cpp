// The machine-wide run lock between processes: a holder is named and waited for up to the
// limit, the lock is free again the moment its holder dies (SIGKILL included), and an
// interrupt ends a wait.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/Interrupt.h"
#include "platform/RunLock.h"
#include "support/TempDir.h"

namespace {

using platform::RunLock;

TEST(RunLockTest, AnotherProcessIsWaitedForUntilItEndsEvenByAKill) {
    platform::SetRunLockWaitForTesting(300);
    int taken[2];
    ASSERT_EQ(0, ::pipe(taken));
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        RunLock lock;
        const bool held = lock.Take({}) == RunLock::Outcome::kTaken;
        (void)!::write(taken[1], held ? "y" : "n", 1);
        ::pause();  // until killed
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(1, ::read(taken[0], &answer, 1));
    ASSERT_EQ('y', answer);

    RunLock mine;
    uint32_t told = 0;
    int calls = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunLock::Outcome::kTimedOut, mine.Take([&](uint32_t pid) {
        told = pid;
        ++calls;
    }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(static_cast<uint32_t>(holder), told);
    EXPECT_EQ(1, calls);  // said once, however long the wait

    ::kill(holder, SIGKILL);
    ASSERT_EQ(holder, ::waitpid(holder, nullptr, 0));
    platform::SetRunLockWaitForTesting(5000);
    EXPECT_EQ(RunLock::Outcome::kTaken, mine.Take({}));
    std::string named;
    ASSERT_TRUE(testsupport::ReadFile(platform::RunLockPath(), named));
    EXPECT_EQ(std::to_string(::getpid()) + "\n", named);

    // A wait in this process that an interrupt ends.
    RunLock second;
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        platform::RequestInterrupt(SIGTERM);
    });
    EXPECT_EQ(RunLock::Outcome::kInterrupted, second.Take({}));
    interrupter.join();
    platform::ClearInterruptForTesting();
    mine.Release();
    EXPECT_EQ(RunLock::Outcome::kTaken, second.Take({}));
    platform::SetRunLockWaitForTesting(0);
    ::close(taken[0]);
    ::close(taken[1]);
}

}  // namespace
