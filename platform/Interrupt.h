// Interrupting the runs under way: one request per process, made when a host's interrupt signal
// (SIGINT, SIGTERM or SIGHUP) reaches the library, that downloads, run-lock waits and sessions
// look at, and that the programs the runs started receive too.
//
// How a host asks for it. The library installs no signal handler and changes no signal mask of
// its host. A host that wants its runs to stop on those signals blocks them in every thread
// before it makes its first call (the library's threads, started from the host's, then block
// them too), so that they stay pending instead of ending the process. While a host's thread
// waits in one of the library's calls, the call looks for one of them pending every few
// milliseconds (PollInterrupt, on that thread), takes it, and interrupts the run; when the call
// is over (the outermost InterruptScope ends), the signal taken is made pending again for the
// process, so that the host finds it as if the library had never looked, and decides what comes
// next (vcm exits with 128 + the signal's number). A host that leaves the signals unblocked is
// not affected: their default action, or the host's own handler, happens as before.
//
// What a request does:
// - the first records its signal and sends it to the process group of every program the
//   library started that still runs (platform/Process.h), as a shell passes a terminal's
//   interrupt to the program in its foreground; the run waits for those programs to end;
// - every later request (a second signal while the run still waits) kills those process groups
//   (SIGKILL on POSIX, the job object or process on Windows), so that the wait ends even for a
//   program that ignores the first signal;
// - downloads give up at their next progress report, run-lock waits give up, and sessions start
//   no further installer; the run ends as a failure whose log line says "interrupted by signal
//   N".
//
// On Windows there are no such signals: PollInterrupt finds nothing pending, and only requests
// made inside the process (RequestInterrupt) interrupt a run.
//
// Every function may be called from any thread.
#pragma once

namespace platform {

// The interrupt requested in this process: the first request's signal number, 0 when none.
int InterruptSignal();

// Requests an interrupt by `signal` (see above).
void RequestInterrupt(int signal);

// On the host's thread, while a call of the library waits: takes one SIGINT, SIGTERM or SIGHUP
// that is pending and that the calling thread blocks, and requests an interrupt with it; the
// next such signal taken makes the second request. Answers InterruptSignal().
int PollInterrupt();

// After a program the library started while it held the terminal's foreground (Process.h) ended
// by the terminal's interrupt key (SIGINT), which the host would have received itself had it
// kept the foreground: when the host blocks the signal in the calling thread (see above), it is
// made pending for the host, which then interrupts the run as for any other; otherwise only the
// run is interrupted, without anything sent to the host.
void PassOnTerminalInterrupt(int signal);

// The span of one call of a host into the library. When the outermost scope of the process
// ends, the request is cleared, and the first signal that PollInterrupt took from the host is
// made pending again for the process.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
};

// Test hook: forgets the request, as the end of the outermost scope does, without making any
// signal pending. Never called by the product.
void ClearInterruptForTesting();

}  // namespace platform
