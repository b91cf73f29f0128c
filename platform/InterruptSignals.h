// The system's side of interrupts (Interrupt.h): the interrupt signals of a host that are
// pending for the process. On Windows there are none: the functions find nothing and do
// nothing.
//
// Every function may be called from any thread.
#pragma once

namespace platform {

// Takes one of SIGINT, SIGTERM and SIGHUP that is pending (for the process or the calling
// thread) and that the calling thread blocks, so that it is pending no longer: its number, or 0
// when there is none.
int TakeBlockedPendingSignal();

// True when the calling thread blocks `signal`.
bool IsSignalBlocked(int signal);

// Makes `signal` pending for the process (sent to the process itself).
void MakeSignalPending(int signal);

}  // namespace platform
