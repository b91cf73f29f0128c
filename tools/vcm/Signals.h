// vcm's handling of SIGINT, SIGTERM and SIGHUP.
//
// vcm holds them from the first line of main on (it blocks them in its only thread, so every
// thread started later blocks them too): none ends vcm in the middle of a run. While a call
// of the library waits for a run, the library takes one that arrives and interrupts the run:
// the download stops, the installer running gets the signal in its process group and is waited
// for, a second signal ends that wait, and the run fails with "interrupted by signal N" in the
// install log (platform/Interrupt.h). When the call returns, the signal is pending for vcm
// again. vcm then finishes as usual (the library shut down and unloaded, which removes its
// temporary folder) and ends with "vcm: interrupted by signal N" on standard error and the
// exit status 128 + N, as a shell reports a program ended by that signal. A signal that
// arrives while no run goes on ends vcm the same way once the command is over.
#pragma once

namespace vcmtool {

// Blocks the three signals in the calling thread; first thing in main.
void HoldInterrupts();

// vcm's exit status for a command that ended with `result`: 128 + N when one of the three
// signals is pending (it is taken, and the message printed), else `result`.
int ExitStatus(int result);

}  // namespace vcmtool
