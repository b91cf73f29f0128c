// Child processes: a program started with an argument text, its standard output and standard
// error captured through one pipe, waited for, and its exit code read.
//
// Start:
// - The argument text is a Windows command line without the program's own name; the program
//   receives the arguments CommandLine.h splits it into, after its own path.
// - The child gets an empty standard input, the capture pipe as standard output and standard
//   error, and no other descriptor or handle of the host. It inherits the environment and the
//   working directory, and runs in a process group of its own, so that ending it (Terminate)
//   reaches the programs it started too.
// - Terminal: when the host runs in the foreground of its controlling terminal, the child's
//   group takes the foreground while the child runs, as a shell gives the terminal to the
//   program it starts, and the host's group gets it back when the child is collected. A Ctrl-C
//   typed meanwhile reaches the installer (which ends, and the host reports it), as it reaches
//   a program started from a shell; it does not kill the host in the middle of an install. A
//   host in the background, without a terminal, or a second child while one holds the
//   terminal, leaves the terminal as it is.
// - Elevated: a process that already has administrator rights (root) starts the program as any
//   other; otherwise (Elevation.h) the program is started through the system's elevation tool,
//   pkexec, found on PATH; the tool starts the program as root once an administrator has
//   authenticated. When the tool is missing the start fails ("installing as a user other than
//   root needs pkexec"); when it refuses or the user cancels, the child ends without the program
//   having run and GetExitCode answers false: the tool's own answers 126 (not authorised,
//   cancelled) and 127 (cannot authenticate, or the program is missing) are never taken for the
//   program's exit code. The tool opens the program only after the password was typed, so a
//   program started this way must be one that only root can change: the package launcher
//   starts its own root-owned helper (packages/ElevatedLaunch.h), never a file of the user.
// - A program's SHA-256, when the caller gives it, is checked before the program starts, and
//   the start fails ("the program is not the file that was checked") when the file differs. On
//   POSIX the check reads the file just before it is started: it guards against a file changed
//   since it was checked, not against one changed in the instant between the two; callers keep
//   such files where only the process's own user can write.
//
// Exit codes: what the program returned. A program killed by a signal has no exit code of its
// own; it answers kSignalExitBase plus the signal's number, as a POSIX shell reports it.
//
// Interrupts (platform/Interrupt.h): every child that runs is known to SignalChildProcesses,
// which sends a signal to its process group; a child is forgotten the moment it is collected,
// never later, so that a process id the system has handed out again is never signalled. A child
// that held the terminal's foreground and ended by its interrupt key (SIGINT) passes the
// interrupt on to the run (PassOnTerminalInterrupt).
//
// Threads: Interrupt may be called from any thread at any time, also while another thread is
// inside Wait or ReadOutput. Every other operation belongs to one thread at a time (Start on
// one thread, then reading and waiting on another, is fine when the hand-over is ordered, as a
// thread start or join orders it).
//
// Where the Windows backend (CreateProcessW and anonymous pipes) differs: Wait may return as soon
// as the child wrote output (POSIX), or only when the time-out ends (Windows); callers read the
// output after every return either way. The child's command line is its path in double quotes,
// a blank and the argument text. The child runs in a job object of its own, where the system
// allows one, which Terminate ends at once (Windows has no polite request to end a program
// without a window). There is no terminal to hand over. Elevated by a process without the
// administrators' rights, the program is started through the shell (ShellExecuteExW, verb
// "runas"), which picks it by its name's extension: a program whose name does not end in
// ".exe" is renamed so for the run and gets its name back when its end is seen; its output is
// not captured (ReadOutput answers kEnded), and when the shell gives no process to watch, the
// child counts as ended at once without an exit code. MakeProgramFile only checks the file.
//
// What stands between the check and the elevated run on Windows: the program is a file in the
// user's %TEMP%, which every process of that user may write, and the shell opens it only after
// the administrator has consented, so a process of the user could put another file under the
// name meanwhile and have it run elevated. The backend closes that gap as the POSIX helper
// does, by checking what runs: before the shell is asked, the program file (under its ".exe"
// name) is opened and held open, shared for reading only, until the child's end is seen; while
// it is held nobody can write, rename or delete it, and the SHA-256 the caller gives is checked
// through that same handle. The program the shell starts is thus the file that was checked.
// (The shell's and the system's own opens ask for reading and executing, which the hold
// shares.) A program started the other way with a SHA-256 given is held and checked the same
// way. The check covers the program file the caller names; a program the caller unpacked
// itself into the user's folder is checked from the moment the caller took its digest
// (NSISPackageLauncher.h says what that leaves for cabinets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// The exit code of a program killed by signal s is kSignalExitBase + s.
const int32_t kSignalExitBase = 128;

// Sends `signal` to the process group of every child started by this process that has not been
// collected yet, or, with `force`, ends those groups at once (SIGKILL; on Windows the child's job
// object or the child itself). Any thread, at any time.
void SignalChildProcesses(int signal, bool force);

// Makes the file at `path` startable as a program by its owner (the execute permission on
// POSIX; nothing to do on Windows). False, with the last error recorded, on failure.
bool MakeProgramFile(const std::string& path);

// Whether the program at `path` is one only the super-user can change, and so one that the
// elevation tool may be asked to start with the super-user's rights: a regular file (not a
// link) that is executable, owned by root, and writable by neither its group nor others. False,
// with the last error saying why, otherwise. On Windows, where no such helper program is used,
// always false.
bool IsSuperUserProgram(const std::string& path);

class ChildProcess {
public:
    enum class Read {
        kData,    // `count` bytes were read
        kNoData,  // nothing is waiting now; more may come
        kEnded,   // every writer closed the pipe: no more output will come
        kFailed,  // the pipe cannot be read (the last error says why)
    };
    enum class Wake {
        kTimeout,      // the time ran out, or output is waiting
        kExited,       // the child has ended; its exit code can be read
        kInterrupted,  // Interrupt was called
    };

    ChildProcess();
    // Closes every handle. A child that still runs is ended first, as Terminate ends it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (a path) with `argumentText`, elevated when asked. `programSha256`, when
    // not empty, is the SHA-256 (32 bytes) the program file must have (see above). False, with
    // the last error recorded and nothing left open, when the program cannot be started or is
    // not the file that was checked; also when this object has started a child before.
    bool Start(const std::string& program, const std::string& argumentText, bool elevated,
               const std::string& programSha256 = std::string());

    // Reads at most `capacity` bytes of the child's output that are waiting, without waiting
    // for more.
    Read ReadOutput(char* buffer, size_t capacity, size_t& count);
    // How many bytes of output are waiting to be read now.
    size_t PendingOutput();

    // Waits up to `timeoutMs` milliseconds for the child to end or for Interrupt. Answers
    // kExited from then on once the child has ended, and kInterrupted from then on once
    // Interrupt was called (that answer comes first).
    Wake Wait(uint32_t timeoutMs);
    // Makes the Wait in progress, and every later one, answer kInterrupted.
    void Interrupt();

    // After Wait answered kExited: the exit code. False, with the last error recorded, when the
    // child never ran the program (elevation refused) or its end could not be observed.
    bool GetExitCode(int32_t& code);

    // Ends a child that still runs, with the programs of its process group: first asks them
    // to terminate, then, after `graceMs` milliseconds, kills them, and collects the child.
    // True when the child has ended (at once when it ended before); false when it could not be
    // ended (a child running with rights this process lacks).
    bool Terminate(uint32_t graceMs);

    struct State;  // the backend's handles; opaque

private:
    std::unique_ptr<State> state_;
};

}  // namespace platform
