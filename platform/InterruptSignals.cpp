#include "platform/InterruptSignals.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace platform {

namespace {

const int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

int TakeBlockedPendingSignal() {
    sigset_t pending;
    sigset_t blocked;
    if (::sigpending(&pending) != 0 || ::pthread_sigmask(SIG_BLOCK, nullptr, &blocked) != 0) {
        return 0;
    }
    for (const int signal : kInterruptSignals) {
        if (::sigismember(&pending, signal) != 1 || ::sigismember(&blocked, signal) != 1) {
            continue;
        }
        sigset_t one;
        ::sigemptyset(&one);
        ::sigaddset(&one, signal);
        const timespec now = {0, 0};
        // Another thread of the host may take it first; then there is nothing to take.
        if (::sigtimedwait(&one, nullptr, &now) == signal) {
            return signal;
        }
    }
    return 0;
}

bool IsSignalBlocked(int signal) {
    sigset_t blocked;
    return ::pthread_sigmask(SIG_BLOCK, nullptr, &blocked) == 0 &&
           ::sigismember(&blocked, signal) == 1;
}

void MakeSignalPending(int signal) {
    ::kill(::getpid(), signal);
}

}  // namespace platform
