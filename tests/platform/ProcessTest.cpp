// A host started from a terminal: Ctrl-C reaches the installer it runs, as it reaches a program
// started from a shell, and the host lives on to see the installer end and gets its terminal
// back; a host that holds SIGINT (blocks it) finds it pending afterwards, so that it can end the
// run as interrupted.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Interrupt.h"
#include "platform/Process.h"

namespace {

// Runs in a forked process that is the session leader of a new pseudo-terminal: starts a child
// that waits, tells the test it runs, and exits 0 when the child ended by SIGINT, the terminal
// is the host's again, and SIGINT is pending for the host exactly when it `holds` SIGINT.
[[noreturn]] void Host(const char* terminal, int ready, bool holds) {
    ::setsid();
    sigset_t interrupt;
    ::sigemptyset(&interrupt);
    ::sigaddset(&interrupt, SIGINT);
    if (holds) {
        ::sigprocmask(SIG_BLOCK, &interrupt, nullptr);
    }
    const int tty = ::open(terminal, O_RDWR);  // becomes the controlling terminal
    if (tty < 0) {
        ::_exit(10);
    }
    platform::ChildProcess child;
    if (!child.Start("/bin/sleep", "30", false)) {
        ::_exit(11);
    }
    const bool childHolds = ::tcgetpgrp(tty) != ::getpgrp();
    if (::write(ready, "x", 1) != 1) {
        ::_exit(12);
    }
    while (child.Wait(1000) != platform::ChildProcess::Wake::kExited) {
    }
    int32_t code = 0;
    const bool interrupted = child.GetExitCode(code) && code == platform::kSignalExitBase + SIGINT;
    const bool given = ::tcgetpgrp(tty) == ::getpgrp();
    sigset_t pending;
    ::sigpending(&pending);
    const bool passedOn = ::sigismember(&pending, SIGINT) == 1;
    const bool runInterrupted = platform::InterruptSignal() == (holds ? 0 : SIGINT);
    ::_exit(childHolds && interrupted && given && passedOn == holds && runInterrupted ? 0 : 13);
}

TEST(ProcessTest, CtrlCOnTheHostsTerminalReachesTheInstallerNotTheHost) {
    for (const bool holds : {false, true}) {
        SCOPED_TRACE(holds ? "a host that holds SIGINT" : "a host that does not");
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(0, ::grantpt(master));
        ASSERT_EQ(0, ::unlockpt(master));
        const char* name = ::ptsname(master);
        ASSERT_NE(nullptr, name);
        int ready[2];
        ASSERT_EQ(0, ::pipe(ready));
        const pid_t host = ::fork();
        ASSERT_GE(host, 0);
        if (host == 0) {
            ::close(ready[0]);
            Host(name, ready[1], holds);
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(1, ::read(ready[0], &byte, 1));
        ASSERT_EQ(1, ::write(master, "\x03", 1));  // the terminal's interrupt key
        int status = 0;
        ASSERT_EQ(host, ::waitpid(host, &status, 0));
        EXPECT_TRUE(WIFEXITED(status)) << "the host was killed by signal " << WTERMSIG(status);
        EXPECT_EQ(0, WEXITSTATUS(status));
        ::close(ready[0]);
        ::close(master);
    }
}

}  // namespace
