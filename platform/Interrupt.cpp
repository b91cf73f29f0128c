#include "platform/Interrupt.h"

#include <mutex>

#include "platform/InterruptSignals.h"
#include "platform/Process.h"

namespace platform {

namespace {

struct InterruptState {
    std::mutex mutex;
    int signal = 0;    // the first request's signal
    int requests = 0;  // how many requests were made
    int taken = 0;     // the first signal taken from the host, to be made pending again
    int scopes = 0;    // InterruptScope objects alive
};

InterruptState& State() {
    // Never destroyed: static objects that end after it may still use it.
    static InterruptState* const state = new InterruptState;
    return *state;
}

}  // namespace

int InterruptSignal() {
    InterruptState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.signal;
}

void RequestInterrupt(int signal) {
    InterruptState& state = State();
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        first = state.requests++ == 0;
        if (first) {
            state.signal = signal;
        }
    }
    // The first signal is passed on as it came; a second one ends the programs for good.
    SignalChildProcesses(signal, !first);
}

int PollInterrupt() {
    const int signal = TakeBlockedPendingSignal();
    if (signal != 0) {
        {
            InterruptState& state = State();
            std::lock_guard<std::mutex> lock(state.mutex);
            if (state.taken == 0) {
                state.taken = signal;
            }
        }
        RequestInterrupt(signal);
    }
    return InterruptSignal();
}

void PassOnTerminalInterrupt(int signal) {
    if (IsSignalBlocked(signal)) {
        MakeSignalPending(signal);  // the host's next poll takes it like any other
    } else {
        RequestInterrupt(signal);
    }
}

InterruptScope::InterruptScope() {
    InterruptState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.scopes;
}

InterruptScope::~InterruptScope() {
    InterruptState& state = State();
    int taken = 0;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (--state.scopes > 0) {
            return;
        }
        taken = state.taken;
        state.signal = 0;
        state.requests = 0;
        state.taken = 0;
    }
    if (taken != 0) {
        MakeSignalPending(taken);
    }
}

void ClearInterruptForTesting() {
    InterruptState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.signal = 0;
    state.requests = 0;
    state.taken = 0;
}

}  // namespace platform
