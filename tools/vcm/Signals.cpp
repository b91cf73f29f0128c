#include "tools/vcm/Signals.h"

#include <signal.h>
#include <time.h>

#include <cstdio>

namespace vcmtool {

namespace {

const int kSignalExitBase = 128;

void InterruptSignals(sigset_t& set) {
    ::sigemptyset(&set);
    ::sigaddset(&set, SIGINT);
    ::sigaddset(&set, SIGTERM);
    ::sigaddset(&set, SIGHUP);
}

}  // namespace

void HoldInterrupts() {
    sigset_t set;
    InterruptSignals(set);
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int ExitStatus(int result) {
    sigset_t set;
    InterruptSignals(set);
    const timespec now = {0, 0};
    const int signal = ::sigtimedwait(&set, nullptr, &now);
    if (signal <= 0) {
        return result;
    }
    std::fprintf(stderr, "vcm: interrupted by signal %d\n", signal);
    return kSignalExitBase + signal;
}

}  // namespace vcmtool
