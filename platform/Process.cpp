#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/Elevation.h"
#include "platform/FileSeal.h"
#include "platform/Interrupt.h"
#include "platform/LastError.h"

namespace platform {

namespace {

// The elevation tool of a process without root rights, found through PATH.
const char kElevationTool[] = "pkexec";
// pkexec's own answers when it did not run the program: not authorised or cancelled (126),
// or no way to authenticate (127).
const int kToolRefused = 126;
const int kToolCannotAuthenticate = 127;

// Without a process descriptor or a wake-up descriptor, waits are cut into slices this long.
const int kWaitSliceMs = 10;
// A child still running when its object goes is asked to terminate this long before it is
// killed.
const uint32_t kDestructorGraceMs = 2000;
// After the kill signal, how long a child may take to be collected.
const uint32_t kKillWaitMs = 1000;
// An executable that another thread's child still holds open for writing (it was extracted
// just before a parallel start) cannot be started for a moment; so many tries, this far apart.
const int kBusyTextAttempts = 50;
const int kBusyTextPauseMs = 10;

typedef std::chrono::steady_clock Clock;

void CloseDescriptor(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// A pipe whose two ends are close-on-exec and above the standard descriptors, so that placing
// them as 0, 1 and 2 in the child never overwrites one with another.
bool MakePipe(int ends[2]) {
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        if (ends[i] <= STDERR_FILENO) {
            const int moved = ::fcntl(ends[i], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            const int error = errno;
            ::close(ends[i]);
            ends[i] = moved;
            if (moved < 0) {
                errno = error;
                SetLastErrorFromErrno();
                CloseDescriptor(ends[0]);
                CloseDescriptor(ends[1]);
                return false;
            }
        }
    }
    return true;
}

// Makes `group` the foreground process group of the terminal `tty`. A process outside the
// foreground group is sent SIGTTOU for this call unless it blocks it, as a shell does.
bool SetForeground(int tty, pid_t group) {
    sigset_t ttou, before;
    ::sigemptyset(&ttou);
    ::sigaddset(&ttou, SIGTTOU);
    ::pthread_sigmask(SIG_BLOCK, &ttou, &before);
    const bool done = ::tcsetpgrp(tty, group) == 0;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return done;
}

// When the host runs in the foreground of its controlling terminal, the child's process group
// takes the foreground for the length of the child's run, as a shell hands the terminal to the
// program it runs: the terminal's interrupt key (Ctrl-C) then reaches the installer and what it
// started, not the host, which sees the installer end and reports it. The terminal, to be given
// back, or -1 when nothing was handed over (no terminal, a host in the background, a terminal
// already given to another child).
int HandTerminalTo(pid_t group) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        return -1;
    }
    if (::tcgetpgrp(tty) != ::getpgrp() || !SetForeground(tty, group)) {
        ::close(tty);
        return -1;
    }
    return tty;
}

// Gives the terminal back to the host's group when the child's group still holds it, or when
// the group that holds it is gone.
void GiveTerminalBack(int& tty, pid_t group) {
    if (tty < 0) {
        return;
    }
    const pid_t holder = ::tcgetpgrp(tty);
    if (holder == group || (holder > 0 && ::kill(-holder, 0) != 0 && errno == ESRCH)) {
        SetForeground(tty, ::getpgrp());
    }
    CloseDescriptor(tty);
}

// The children started and not collected yet. A child is collected (waitpid) only under the
// mutex, and signalled only under it, so that a process id is never signalled once the system
// may have given it to another process.
struct RunningChildren {
    std::mutex mutex;
    std::set<pid_t> pids;
};

RunningChildren& Running() {
    // Never destroyed: static objects that end after it may still use it.
    static RunningChildren* const running = new RunningChildren;
    return *running;
}

// Sends `signal` to the child's process group (the child and what it started), and to the
// child itself only when it has left that group: sent both ways, the child would receive it
// twice whenever it took the first before the second was sent, and a program that cleans up on
// TERM would do so twice.
void SignalChildAndGroup(pid_t pid, int signal) {
    ::killpg(pid, signal);
    if (::getpgid(pid) != pid) {
        ::kill(pid, signal);
    }
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

struct ChildProcess::State {
    pid_t pid = -1;
    int output = -1;    // the read end of the capture pipe, non-blocking
    int pidfd = -1;     // readable once the child has ended; -1 where the kernel has none
    int wake = -1;      // an event counter made readable by Interrupt
    int terminal = -1;  // the host's terminal while the child's group holds its foreground
    std::atomic<bool> interrupted{false};
    bool started = false;
    bool throughTool = false;
    bool outputEnded = false;
    bool collected = false;
    bool statusKnown = false;
    int status = 0;

    // Collects the child if it has ended; true once it has.
    bool Collect() {
        if (collected) {
            return true;
        }
        int result = 0;
        {
            RunningChildren& running = Running();
            std::lock_guard<std::mutex> lock(running.mutex);
            const pid_t answer = ::waitpid(pid, &result, WNOHANG);
            if (answer == pid) {
                collected = statusKnown = true;
                status = result;
            } else if (answer < 0 && errno == ECHILD) {
                collected = true;  // collected by someone else (the host ignores SIGCHLD)
            }
            if (collected) {
                running.pids.erase(pid);
            }
        }
        if (collected) {
            CloseDescriptor(pidfd);
            // Ended by the terminal's interrupt key while it held the terminal: the host did
            // not see the key, the run must.
            const bool heldTerminal = terminal >= 0;
            GiveTerminalBack(terminal, pid);
            if (heldTerminal && statusKnown && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) {
                PassOnTerminalInterrupt(SIGINT);
            }
        }
        return collected;
    }

    // Waits up to `timeoutMs` for the child's end, whatever else happens.
    bool WaitForEnd(uint32_t timeoutMs) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!Collect()) {
            const int left = MillisecondsLeft(deadline);
            if (left == 0) {
                return false;
            }
            if (pidfd >= 0) {
                pollfd entry = {pidfd, POLLIN, 0};
                ::poll(&entry, 1, left);
            } else {
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(std::min(left, kWaitSliceMs)));
            }
        }
        return true;
    }

    void Signal(int signal) { SignalChildAndGroup(pid, signal); }
};

void SignalChildProcesses(int signal, bool force) {
    RunningChildren& running = Running();
    std::lock_guard<std::mutex> lock(running.mutex);
    for (const pid_t pid : running.pids) {
        SignalChildAndGroup(pid, force ? SIGKILL : signal);
    }
}

bool MakeProgramFile(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 ||
        ::chmod(path.c_str(), (info.st_mode & 07777) | S_IXUSR) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool IsSuperUserProgram(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) {
        SetLastError(static_cast<uint32_t>(errno),
                     "the elevation helper \"" + path + "\" is missing");
        return false;
    }
    if (!S_ISREG(info.st_mode) || (info.st_mode & S_IXUSR) == 0) {
        SetLastError(EACCES, "the elevation helper \"" + path + "\" is not a program");
        return false;
    }
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        SetLastError(EACCES, "the elevation helper \"" + path +
                                 "\" may be changed by users other than root");
        return false;
    }
    return true;
}

ChildProcess::ChildProcess() : state_(new State) {
    state_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    if (state_->started && !state_->Collect()) {
        Terminate(kDestructorGraceMs);
    }
    GiveTerminalBack(state_->terminal, state_->pid);
    CloseDescriptor(state_->output);
    CloseDescriptor(state_->pidfd);
    CloseDescriptor(state_->wake);
}

bool ChildProcess::Start(const std::string& program, const std::string& argumentText, bool elevated,
                         const std::string& programSha256) {
    State& s = *state_;
    if (s.started) {
        errno = EBUSY;
        SetLastErrorFromErrno();
        return false;
    }
    if (!programSha256.empty()) {
        FileSeal seal;
        if (!SealFile(program, seal)) {
            return false;
        }
        if (seal.digest != programSha256) {
            SetLastError(EPERM, "the program is not the file that was checked");
            return false;
        }
    }
    std::vector<std::string> arguments;
    s.throughTool = elevated && ElevationGoesThroughTool();
    if (s.throughTool) {
        arguments.push_back(kElevationTool);
    }
    arguments.push_back(program);
    const std::vector<std::string> split = SplitCommandLine(argumentText);
    arguments.insert(arguments.end(), split.begin(), split.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(&argument[0]);
    }
    argv.push_back(nullptr);

    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    if (!MakePipe(input)) {
        return false;
    }
    if (!MakePipe(output)) {
        CloseDescriptor(input[0]);
        CloseDescriptor(input[1]);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
    // Our own descriptors are close-on-exec; this also keeps out those that other code of the
    // host opened without that flag.
    ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // Its own process group; no blocked signals and default actions everywhere, whatever the
    // host set up for itself (an ignored SIGPIPE would otherwise be inherited).
    sigset_t none, all;
    ::sigemptyset(&none);
    ::sigfillset(&all);
    ::sigdelset(&all, SIGKILL);
    ::sigdelset(&all, SIGSTOP);
    ::posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);

    pid_t pid = -1;
    int error = 0;
    for (int attempt = 0; attempt < kBusyTextAttempts; ++attempt) {
        error =
            s.throughTool
                ? ::posix_spawnp(&pid, kElevationTool, &actions, &attributes, argv.data(), environ)
                : ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
        if (error != ETXTBSY) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kBusyTextPauseMs));
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    // The child's ends, and the write end of its input, which leaves the input empty.
    CloseDescriptor(input[0]);
    CloseDescriptor(input[1]);
    CloseDescriptor(output[1]);
    if (error != 0) {
        CloseDescriptor(output[0]);
        if (s.throughTool && error == ENOENT) {
            SetLastError(static_cast<uint32_t>(error),
                         "installing as a user other than root needs pkexec");
            return false;
        }
        errno = error;
        SetLastErrorFromErrno();
        return false;
    }
    ::fcntl(output[0], F_SETFL, ::fcntl(output[0], F_GETFL) | O_NONBLOCK);
    {
        RunningChildren& running = Running();
        std::lock_guard<std::mutex> lock(running.mutex);
        running.pids.insert(pid);
    }
    s.pid = pid;
    // Started while its run was being interrupted: it gets the signal the others got.
    if (const int signal = InterruptSignal()) {
        s.Signal(signal);
    }
    s.output = output[0];
    // Through syscall(): the wrapper's header of some C libraries lacks C linkage. Without
    // pidfd_open (an old kernel, a filter), waits look for the child's end in slices.
    s.pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    s.terminal = HandTerminalTo(pid);
    s.started = true;
    return true;
}

ChildProcess::Read ChildProcess::ReadOutput(char* buffer, size_t capacity, size_t& count) {
    State& s = *state_;
    count = 0;
    if (s.output < 0 || s.outputEnded) {
        return Read::kEnded;
    }
    const ssize_t got = ::read(s.output, buffer, capacity);
    if (got > 0) {
        count = static_cast<size_t>(got);
        return Read::kData;
    }
    if (got == 0) {
        s.outputEnded = true;
        return Read::kEnded;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return Read::kNoData;
    }
    SetLastErrorFromErrno();
    s.outputEnded = true;
    return Read::kFailed;
}

size_t ChildProcess::PendingOutput() {
    int waiting = 0;
    if (state_->output < 0 || state_->outputEnded ||
        ::ioctl(state_->output, FIONREAD, &waiting) != 0 || waiting < 0) {
        return 0;
    }
    return static_cast<size_t>(waiting);
}

ChildProcess::Wake ChildProcess::Wait(uint32_t timeoutMs) {
    State& s = *state_;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (s.interrupted.load()) {
            return Wake::kInterrupted;
        }
        if (!s.started || s.Collect()) {
            return s.started ? Wake::kExited : Wake::kTimeout;
        }
        int left = MillisecondsLeft(deadline);
        if (left == 0) {
            return Wake::kTimeout;
        }
        pollfd entries[3];
        nfds_t count = 0;
        const bool watchOutput = s.output >= 0 && !s.outputEnded;
        if (watchOutput) {
            entries[count++] = {s.output, POLLIN, 0};
        }
        if (s.pidfd >= 0) {
            entries[count++] = {s.pidfd, POLLIN, 0};
        }
        if (s.wake >= 0) {
            entries[count++] = {s.wake, POLLIN, 0};
        }
        if (s.pidfd < 0 || s.wake < 0) {
            left = std::min(left, kWaitSliceMs);
        }
        if (::poll(entries, count, left) > 0 && watchOutput && entries[0].revents != 0) {
            // Output is waiting; an end or an interruption seen at the same time comes first.
            if (s.interrupted.load()) {
                return Wake::kInterrupted;
            }
            return s.Collect() ? Wake::kExited : Wake::kTimeout;
        }
    }
}

void ChildProcess::Interrupt() {
    state_->interrupted.store(true);
    if (state_->wake >= 0) {
        const uint64_t one = 1;
        (void)!::write(state_->wake, &one, sizeof one);
    }
}

bool ChildProcess::GetExitCode(int32_t& code) {
    const State& s = *state_;
    if (!s.collected || !s.statusKnown) {
        errno = ECHILD;
        SetLastErrorFromErrno();
        return false;
    }
    if (WIFSIGNALED(s.status)) {
        code = kSignalExitBase + WTERMSIG(s.status);
        return true;
    }
    const int exitCode = WEXITSTATUS(s.status);
    if (s.throughTool && (exitCode == kToolRefused || exitCode == kToolCannotAuthenticate)) {
        SetLastError(EACCES, std::string(kElevationTool) +
                                 " did not run the program: refused, cancelled or not authorised");
        return false;
    }
    code = exitCode;
    return true;
}

bool ChildProcess::Terminate(uint32_t graceMs) {
    State& s = *state_;
    if (!s.started || s.Collect()) {
        return true;
    }
    s.Signal(SIGTERM);
    if (s.WaitForEnd(graceMs)) {
        return true;
    }
    s.Signal(SIGKILL);
    return s.WaitForEnd(kKillWaitMs);
}

}  // namespace platform
