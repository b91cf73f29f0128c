#include "platform/InterruptSignals.h"

namespace platform {

// Windows delivers no interrupt signals to a process that a library could find pending: a
// console's Ctrl-C reaches the host's own control handler, if it has one, on a thread of its
// own.
int TakeBlockedPendingSignal() {
    return 0;
}

bool IsSignalBlocked(int) {
    return false;
}

void MakeSignalPending(int) {}

}  // namespace platform
