#include "platform/Process.h"

#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/Elevation.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

// Processes with CreateProcessW and anonymous pipes. Choices beyond Process.h's:
// - The command line is the program's path in double quotes, a blank and the argument text, so
//   that the program finds its arguments after its own name, as Windows programs expect.
// - Only the two pipe ends meant for the child are inherited (a handle list where the system
//   has one); the child runs without a window, in a job object of its own where the system
//   allows one, so that Terminate ends what it started too.
// - Windows has no polite request to end a program without a window: Terminate ends the child
//   (and its job) at once, whatever grace period it is given.
// - Elevated, by a process without the administrators' rights: ShellExecuteExW with the verb
//   "runas". The shell picks the program by its name's extension, so a program whose name does
//   not end in ".exe" is renamed to that name for the run and gets its own name back when its
//   end is seen. Its output cannot be captured: ReadOutput answers kEnded at once. When the
//   shell gives no process to watch, the child counts as ended at once without an exit code.
// - The program file is held open, shared for reading only, from its check until the child's
//   end is seen (always on the shell's road; on the other when a SHA-256 is given): while it is
//   held nobody can write, rename or delete it, so what the shell or CreateProcessW starts is
//   the file that was checked. The hold is let go before the ".exe" name is given back.
// - There is no terminal to hand over: the console, when there is one, treats the child as it
//   treats any program started without a window.
// - SignalChildProcesses has no signal to send: whatever is asked, it ends each running child
//   with its job at once, with the exit code kSignalExitBase plus the signal's number.

namespace platform {

namespace {

// After ending a child, how long it may take to be gone.
const DWORD kKillWaitMs = 1000;
// A child still running when its object goes is ended at once (no grace on Windows).
const uint32_t kDestructorGraceMs = 0;

bool EndsWithExe(const std::string& path) {
    return path.size() >= 4 && AsciiEqualNoCase(path.substr(path.size() - 4), ".exe");
}

// A pipe whose two ends are not inheritable.
bool MakePipe(win32::Handle& read, win32::Handle& write) {
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!::CreatePipe(&r, &w, nullptr, 0)) {
        win32::RecordLastError("CreatePipe");
        return false;
    }
    read.Reset(r);
    write.Reset(w);
    return true;
}

// The children started and not seen to end yet, for SignalChildProcesses.
struct RunningChildren {
    std::mutex mutex;
    std::set<ChildProcess::State*> children;
};

RunningChildren& Running() {
    // Never destroyed: static objects that end after it may still use it.
    static RunningChildren* const running = new RunningChildren;
    return *running;
}

void Forget(ChildProcess::State* state) {
    RunningChildren& running = Running();
    std::lock_guard<std::mutex> lock(running.mutex);
    running.children.erase(state);
}

}  // namespace

struct ChildProcess::State {
    win32::Handle process;
    win32::Handle job;
    win32::Handle output;  // the read end of the capture pipe
    win32::Handle wake;    // a manual-reset event that Interrupt sets
    std::atomic<bool> interrupted{false};
    bool started = false;
    bool outputEnded = false;
    bool collected = false;
    bool exitKnown = false;
    DWORD exitCode = 0;
    // An elevated program renamed for the shell: its own name and the one it runs under.
    std::wstring ownName;
    std::wstring runName;
    // The program file, held unchanged while the child may still open it.
    win32::Handle hold;

    void GiveNameBack() {
        hold.Reset();
        if (!runName.empty()) {
            ::MoveFileExW(runName.c_str(), ownName.c_str(), 0);  // best effort
            runName.clear();
        }
    }

    // Sees whether the child has ended; true once it has.
    bool Collect() {
        if (collected) {
            return true;
        }
        if (!process.Valid()) {
            collected = true;  // started through the shell, which gave nothing to watch
        } else if (::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
            collected = true;
            exitKnown = ::GetExitCodeProcess(process.Get(), &exitCode) != FALSE;
        }
        if (collected) {
            Forget(this);
            GiveNameBack();
        }
        return collected;
    }

    // Ends the child, with its job when it has one; the exit code it gets is `code`.
    bool End(UINT code) {
        return job.Valid() ? ::TerminateJobObject(job.Get(), code) != FALSE
                           : ::TerminateProcess(process.Get(), code) != FALSE;
    }

    bool Hold(const std::wstring& program, const std::string& sha256);
    bool StartCaptured(const std::wstring& program, const std::string& argumentText);
    bool StartThroughShell(const std::wstring& program, const std::string& argumentText,
                           const std::string& sha256);
};

void SignalChildProcesses(int signal, bool /*force*/) {
    RunningChildren& running = Running();
    std::lock_guard<std::mutex> lock(running.mutex);
    for (ChildProcess::State* child : running.children) {
        if (child->process.Valid()) {
            child->End(static_cast<UINT>(kSignalExitBase + signal));
        }
    }
}

// Opens `program` so that, until `hold` is let go, nobody can write, rename or delete it, and
// checks its SHA-256 through that handle when `sha256` is given.
bool ChildProcess::State::Hold(const std::wstring& program, const std::string& sha256) {
    hold.Reset(::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hold.Valid()) {
        win32::RecordLastError("cannot open " + win32::Narrow(program));
        return false;
    }
    if (sha256.empty()) {
        return true;
    }
    FileSeal seal;
    if (!win32::SealHandle(hold.Get(), seal)) {
        hold.Reset();
        return false;
    }
    if (seal.digest != sha256) {
        hold.Reset();
        win32::RecordError(ERROR_ACCESS_DENIED, "the program is not the file that was checked");
        return false;
    }
    return true;
}

bool ChildProcess::State::StartCaptured(const std::wstring& program,
                                        const std::string& argumentText) {
    std::wstring arguments;
    if (!win32::Widen(argumentText, arguments)) {
        return false;
    }
    win32::Handle inputRead, inputWrite, outputRead, outputWrite;
    if (!MakePipe(inputRead, inputWrite) || !MakePipe(outputRead, outputWrite)) {
        return false;
    }
    // The child's ends become inheritable; the handle list keeps every other inheritable handle
    // of the host out of the child.
    if (!::SetHandleInformation(inputRead.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
        !::SetHandleInformation(outputWrite.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        win32::RecordLastError("SetHandleInformation");
        return false;
    }
    HANDLE inherited[2] = {inputRead.Get(), outputWrite.Get()};
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = inputRead.Get();
    startup.StartupInfo.hStdOutput = outputWrite.Get();
    startup.StartupInfo.hStdError = outputWrite.Get();
    SIZE_T listSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> listMemory(listSize);
    LPPROC_THREAD_ATTRIBUTE_LIST list =
        reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
    bool haveList = listSize > 0 && ::InitializeProcThreadAttributeList(list, 1, 0, &listSize);
    if (haveList && !::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                 inherited, sizeof inherited, nullptr, nullptr)) {
        ::DeleteProcThreadAttributeList(list);
        haveList = false;
    }
    DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT;
    if (haveList) {
        startup.lpAttributeList = list;
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    } else {
        startup.StartupInfo.cb = sizeof startup.StartupInfo;
    }
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION info = {};
    const BOOL created = ::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                          flags, nullptr, nullptr, &startup.StartupInfo, &info);
    if (haveList) {
        ::DeleteProcThreadAttributeList(list);
    }
    if (!created) {
        win32::RecordLastError("cannot start " + win32::Narrow(program));
        return false;
    }
    process.Reset(info.hProcess);
    win32::Handle thread(info.hThread);
    // A job of its own, where the system allows one (a host inside a job that forbids nesting
    // does not): Terminate then ends whatever the child started as well.
    job.Reset(::CreateJobObjectW(nullptr, nullptr));
    if (job.Valid() && !::AssignProcessToJobObject(job.Get(), process.Get())) {
        job.Reset();
    }
    ::ResumeThread(thread.Get());
    output.Reset(outputRead.Release());
    // The child's ends close here, and so does the write end of its input, which leaves the
    // input empty.
    return true;
}

bool ChildProcess::State::StartThroughShell(const std::wstring& program,
                                            const std::string& argumentText,
                                            const std::string& sha256) {
    std::wstring arguments;
    if (!win32::Widen(argumentText, arguments)) {
        return false;
    }
    std::wstring file = program;
    if (!EndsWithExe(win32::Narrow(program))) {
        file = program + L".exe";
        if (!::MoveFileExW(program.c_str(), file.c_str(), 0)) {
            win32::RecordLastError("cannot name " + win32::Narrow(program) + " for the shell");
            return false;
        }
        ownName = program;
        runName = file;
    }
    // Held from here until the child's end is seen: the shell opens the file only after the
    // administrator's consent, and by then it must still be the file that was checked.
    if (!Hold(file, sha256)) {
        GiveNameBack();
        return false;
    }
    // The shell's verbs may need COM on the calling thread.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"runas";
    execute.lpFile = file.c_str();
    execute.lpParameters = arguments.c_str();
    execute.nShow = SW_HIDE;
    const BOOL done = ::ShellExecuteExW(&execute);
    const DWORD error = ::GetLastError();
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    if (!done) {
        win32::RecordError(error, "cannot start " + win32::Narrow(file) + " elevated");
        GiveNameBack();
        return false;
    }
    process.Reset(execute.hProcess);
    outputEnded = true;
    return true;
}

bool MakeProgramFile(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        win32::RecordError(
            attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_ACCESS_DENIED, path);
        return false;
    }
    return true;  // any file may be started; there is no permission bit to set
}

// The shell elevates the program itself; no helper program is involved on Windows.
bool IsSuperUserProgram(const std::string& path) {
    win32::RecordError(ERROR_NOT_SUPPORTED, "no elevation helper is used: " + path);
    return false;
}

ChildProcess::ChildProcess() : state_(new State) {
    state_->wake.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

ChildProcess::~ChildProcess() {
    if (state_->started && !state_->Collect()) {
        Terminate(kDestructorGraceMs);
    }
    Forget(state_.get());
    state_->GiveNameBack();
}

bool ChildProcess::Start(const std::string& program, const std::string& argumentText, bool elevated,
                         const std::string& programSha256) {
    State& s = *state_;
    if (s.started) {
        win32::RecordError(ERROR_BUSY, "a child was started already");
        return false;
    }
    std::wstring wideProgram;
    if (!win32::WidePath(program, wideProgram)) {
        return false;
    }
    const bool throughShell = elevated && ElevationGoesThroughTool();
    bool started = false;
    if (throughShell) {
        started = s.StartThroughShell(wideProgram, argumentText, programSha256);
    } else if (programSha256.empty() || s.Hold(wideProgram, programSha256)) {
        started = s.StartCaptured(wideProgram, argumentText);
        if (!started) {
            s.hold.Reset();
        }
    }
    s.started = started;
    if (started) {
        RunningChildren& running = Running();
        std::lock_guard<std::mutex> lock(running.mutex);
        running.children.insert(&s);
    }
    return started;
}

ChildProcess::Read ChildProcess::ReadOutput(char* buffer, size_t capacity, size_t& count) {
    State& s = *state_;
    count = 0;
    if (!s.output.Valid() || s.outputEnded) {
        return Read::kEnded;
    }
    DWORD available = 0;
    if (!::PeekNamedPipe(s.output.Get(), nullptr, 0, nullptr, &available, nullptr)) {
        const DWORD error = ::GetLastError();
        s.outputEnded = true;
        if (error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA) {
            return Read::kEnded;
        }
        win32::RecordError(error, "PeekNamedPipe");
        return Read::kFailed;
    }
    if (available == 0 || capacity == 0) {
        return Read::kNoData;
    }
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(capacity < available ? capacity : available);
    if (!::ReadFile(s.output.Get(), buffer, wanted, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        s.outputEnded = true;
        if (error == ERROR_BROKEN_PIPE) {
            return Read::kEnded;
        }
        win32::RecordError(error, "ReadFile");
        return Read::kFailed;
    }
    count = got;
    return got > 0 ? Read::kData : Read::kNoData;
}

size_t ChildProcess::PendingOutput() {
    DWORD available = 0;
    if (!state_->output.Valid() || state_->outputEnded ||
        !::PeekNamedPipe(state_->output.Get(), nullptr, 0, nullptr, &available, nullptr)) {
        return 0;
    }
    return available;
}

ChildProcess::Wake ChildProcess::Wait(uint32_t timeoutMs) {
    State& s = *state_;
    if (s.interrupted.load()) {
        return Wake::kInterrupted;
    }
    if (!s.started) {
        return Wake::kTimeout;
    }
    if (s.Collect()) {
        return Wake::kExited;
    }
    HANDLE objects[2] = {s.wake.Get(), s.process.Get()};
    const DWORD woke = ::WaitForMultipleObjects(2, objects, FALSE, timeoutMs);
    // An interruption seen at the same time as the end comes first.
    if (s.interrupted.load()) {
        return Wake::kInterrupted;
    }
    if (woke == WAIT_OBJECT_0 + 1 && s.Collect()) {
        return Wake::kExited;
    }
    return Wake::kTimeout;
}

void ChildProcess::Interrupt() {
    state_->interrupted.store(true);
    if (state_->wake.Valid()) {
        ::SetEvent(state_->wake.Get());
    }
}

bool ChildProcess::GetExitCode(int32_t& code) {
    const State& s = *state_;
    if (!s.collected || !s.exitKnown) {
        win32::RecordError(ERROR_INVALID_HANDLE, "the program's exit code is not known");
        return false;
    }
    code = static_cast<int32_t>(s.exitCode);
    return true;
}

bool ChildProcess::Terminate(uint32_t /*graceMs*/) {
    State& s = *state_;
    if (!s.started || s.Collect()) {
        return true;
    }
    const bool ended = s.End(1);
    if (!ended) {
        win32::RecordLastError("cannot end the program");
    }
    ::WaitForSingleObject(s.process.Get(), kKillWaitMs);
    return s.Collect();
}

}  // namespace platform
