// vcm: drives libvcm.so from the command line, loading it with dlopen as a setup program or an
// updater would.
//
//   vcm [--library PATH] find SPEC...            SPEC is "name;role;version"
//   vcm [--library PATH] check [--force] IDS     IDS is "id;id;..."
//   vcm [--library PATH] update IDS
//   vcm uninstall IDS
//   vcm hotfix
//   vcm log
//   vcm --version
//
// Prints the reported ids one per line and exits with the library's result code. While an
// update or an uninstall runs on a terminal, the install log's new lines are shown as they are
// written, under a line that counts the time.
//
// uninstall and hotfix reach work that the six functions do not offer, and no function may be
// added for them: the functions are the library's fixed interface to every host. So this
// program links the library's internals (vcm_core, as vomo-reg does) and drives the engine for
// those two commands (EngineCommands.h), without loading libvcm.so. The code is the same the
// library runs, with the same registry, manifest check and install log, so what a person sees
// here is what a host would get.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/LogFile.h"
#include "tools/vcm/EngineCommands.h"
#include "vcm/vcm.h"

namespace {

const int kUsageError = 64;  // no result code of the library uses it

struct Library {
    void* handle = nullptr;
    int (*initialize)(ComponentManager**) = nullptr;
    int (*addSpec)(ComponentManager*, const char*) = nullptr;
    int (*findComponents)(ComponentManager*, ComponentCallback, StringList*) = nullptr;
    int (*checkForUpdates)(ComponentManager*, const char*, int, ComponentCallback,
                           StringList*) = nullptr;
    int (*updateComponents)(ComponentManager*, const char*) = nullptr;
    void (*shutdown)(ComponentManager*) = nullptr;
};

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: vcm [--library PATH] find SPEC...\n"
                 "       vcm [--library PATH] check [--force] IDS\n"
                 "       vcm [--library PATH] update IDS\n"
                 "       vcm uninstall IDS\n"
                 "       vcm hotfix\n"
                 "\n"
                 "  find    reports the components offering each SPEC (\"name;role;version\")\n"
                 "  check   reports which of the components IDS (\"id;id;...\") have an update;\n"
                 "          --force checks them even when the schedule says they are not due\n"
                 "  update  installs the manifest version of the components IDS\n"
                 "  uninstall  removes the installed components IDS, and every installed\n"
                 "          component that requires one of them\n"
                 "  hotfix  installs the manifest's hot fixes for the installed components\n"
                 "  log     prints the install log\n"
                 "\n"
                 "       vcm log\n"
                 "       vcm --version\n"
                 "\n"
                 "Reported ids are printed one per line; the exit status is the library's\n"
                 "result code (see vcm(1)). Without --library, libvcm.so.1 is looked for in\n"
                 "the library folder beside this program's folder, then by the dynamic\n"
                 "loader's search path.\n");
}

// The library this program was built with: its SONAME in the installed tree's library folder
// (VCM_RELATIVE_LIBDIR from the program's folder), in the build tree's lib folder, beside the
// program, else wherever the dynamic loader finds it.
std::string DefaultLibraryPath() {
    const std::string soname = "libvcm.so." + std::to_string(VCM_VERSION_MAJOR);
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        std::string dir(self);
        const std::string::size_type slash = dir.rfind('/');
        if (slash != std::string::npos) {
            dir.erase(slash);
            for (const std::string& candidate : {dir + "/" VCM_RELATIVE_LIBDIR "/" + soname,
                                                 dir + "/../lib/" + soname, dir + "/" + soname}) {
                if (::access(candidate.c_str(), R_OK) == 0) {
                    return candidate;
                }
            }
        }
    }
    return soname;
}

template <class F>
bool Resolve(void* handle, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(handle, name));
    if (!function) {
        std::fprintf(stderr, "vcm: %s not found in the library\n", name);
        return false;
    }
    return true;
}

bool Load(const std::string& path, Library& library) {
    library.handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library.handle) {
        std::fprintf(stderr, "vcm: cannot load %s: %s\n", path.c_str(), ::dlerror());
        return false;
    }
    return Resolve(library.handle, "VCM_Initialize", library.initialize) &&
           Resolve(library.handle, "VCM_AddSpec", library.addSpec) &&
           Resolve(library.handle, "VCM_FindComponents", library.findComponents) &&
           Resolve(library.handle, "VCM_CheckForUpdates", library.checkForUpdates) &&
           Resolve(library.handle, "VCM_UpdateComponents", library.updateComponents) &&
           Resolve(library.handle, "VCM_Shutdown", library.shutdown);
}

// The host's list behind StringList.
void ClearIds(void* context) {
    static_cast<std::vector<std::string>*>(context)->clear();
}

void AppendId(const char* id, StringList* list) {
    static_cast<std::vector<std::string>*>(list->context)->push_back(id ? id : "");
}

// What a result code of `command` means to the person who ran it (the table of vcm(1)).
const char* Meaning(const std::string& command, int code) {
    if (command == "uninstall") {
        switch (code) {
            case 2:
                return "nothing was removed";
            case 10:
                return "an uninstaller failed, and the components after it stay installed";
            case 15:
                return "no id was given";
            default:
                return "the uninstall could not start";
        }
    }
    if (command == "hotfix") {
        switch (code) {
            case 2:
                return "no hot fix applies to the installed components";
            case 8:
                return "the manifest could not be downloaded";
            case 9:
                return "a hot fix failed to install";
            case 18:
                return "the manifest's signature was refused";
            case 19:
                return "the manifest could not be extracted";
            default:
                return "the hot fixes could not be started";
        }
    }
    switch (code) {
        case 1:
            return command == "update" ? "the update failed"
                                       : "the manifest could not be verified or extracted";
        case 4:
            return "the manifest could not be downloaded";
        case 5:
            return "the manifest file could not be opened";
        case 6:
            return "the manifest could not be parsed";
        case 7:
            return "the update could not start";
        case 8:
            return "an earlier preparation of the manifest failed";
        case 9:
            return "nothing is due for a check";
        case 11:
            return "an id is not a component of the manifest";
        case 12:
            return "no spec matched";
        case 13:
            return "no spec was given";
        case 14:
            return "a spec is offered only in a newer version";
        default:
            return "failed";
    }
}

// The size of the install log now, to read what a request adds to it.
std::streamoff LogSize() {
    std::ifstream in(platform::InstallLogPath(), std::ios::binary | std::ios::ate);
    return in ? static_cast<std::streamoff>(in.tellg()) : 0;
}

// The text of the last error line the log gained since `start` (without its time and kind), or
// empty. A log rotated meanwhile is read from its start.
std::string LastErrorLine(std::streamoff start) {
    std::ifstream in(platform::InstallLogPath(), std::ios::binary | std::ios::ate);
    if (!in) {
        return std::string();
    }
    if (static_cast<std::streamoff>(in.tellg()) < start) {
        start = 0;
    }
    in.seekg(start);
    const std::string marker = " error ";
    std::string line, last;
    while (std::getline(in, line)) {
        const std::string::size_type at = line.find(marker);
        if (at != std::string::npos && at < 24) {
            last = line.substr(at + marker.size());
        }
    }
    return last;
}

// Prints the install log, the rotated part first.
int PrintLog() {
    const std::string path = platform::InstallLogPath();
    bool any = false;
    for (const std::string& file : {path + ".1", path}) {
        std::ifstream in(file, std::ios::binary);
        if (in) {
            any = true;
            std::cout << in.rdbuf();
        }
    }
    if (!any) {
        std::fprintf(stderr, "vcm: no install log at %s\n", path.c_str());
        return 1;
    }
    return 0;
}

// While an update runs on a terminal: the install log's new lines as they are written, and
// below them a line with the time spent so far, rewritten in place.
class LiveLog {
public:
    // `doing` names the work on the time line ("updating").
    explicit LiveLog(const char* doing)
        : path_(platform::InstallLogPath()), doing_(doing), start_(Clock::now()) {
        std::ifstream in(path_, std::ios::binary | std::ios::ate);
        offset_ = in ? static_cast<std::streamoff>(in.tellg()) : 0;
        thread_ = std::thread(&LiveLog::Run, this);
    }
    ~LiveLog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
        ShowNewLines();
        std::printf("\r\033[K");
        std::fflush(stdout);
    }
    LiveLog(const LiveLog&) = delete;
    LiveLog& operator=(const LiveLog&) = delete;

private:
    typedef std::chrono::steady_clock Clock;

    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            ShowNewLines();
            const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
            std::printf("\r\033[K  %s... %.1f s", doing_, seconds);
            std::fflush(stdout);
            wake_.wait_for(lock, std::chrono::milliseconds(200));
        }
    }

    void ShowNewLines() {
        std::ifstream in(path_, std::ios::binary | std::ios::ate);
        if (!in) {
            return;
        }
        const std::streamoff size = in.tellg();
        if (size < offset_) {
            offset_ = 0;  // the log was rotated
        }
        in.seekg(offset_);
        std::string line;
        while (std::getline(in, line)) {
            if (in.eof()) {
                break;  // a line still being written
            }
            offset_ += static_cast<std::streamoff>(line.size()) + 1;
            std::printf("\r\033[K%s\n", line.c_str());
        }
    }

    const std::string path_;
    const char* const doing_;
    const Clock::time_point start_;
    std::streamoff offset_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    std::string libraryPath;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("vcm %d.%d.%d\n", VCM_VERSION_MAJOR, VCM_VERSION_MINOR, VCM_VERSION_PATCH);
            return 0;
        }
        if (arg == "--library") {
            if (i + 1 >= argc) {
                Usage(stderr);
                return kUsageError;
            }
            libraryPath = argv[++i];
            continue;
        }
        args.push_back(arg);
    }
    if (args.empty()) {
        Usage(stderr);
        return kUsageError;
    }

    const std::string command = args[0];
    if (command == "log") {
        return args.size() == 1 ? PrintLog() : (Usage(stderr), kUsageError);
    }
    if (command == "hotfix" || command == "uninstall") {
        if (args.size() != (command == "hotfix" ? 1u : 2u)) {
            Usage(stderr);
            return kUsageError;
        }
        const std::streamoff logStart = LogSize();
        int result = 0;
        if (command == "hotfix") {
            result = vcmtool::HotFix();
        } else if (::isatty(STDOUT_FILENO)) {
            LiveLog live("uninstalling");
            result = vcmtool::Uninstall(args[1]);
        } else {
            result = vcmtool::Uninstall(args[1]);
        }
        if (result != 0 && result != vcmtool::kRestartRequired) {
            const std::string why = LastErrorLine(logStart);
            std::fprintf(stderr, "vcm: %s%s%s\n", Meaning(command, result), why.empty() ? "" : ": ",
                         why.c_str());
        }
        return result;
    }
    bool force = false;
    std::vector<std::string> operands(args.begin() + 1, args.end());
    if (command == "check" && !operands.empty() && operands[0] == "--force") {
        force = true;
        operands.erase(operands.begin());
    }
    const bool known = command == "find" || command == "check" || command == "update";
    if (!known) {
        std::fprintf(stderr, "vcm: unknown command \"%s\"\n", command.c_str());
        Usage(stderr);
        return kUsageError;
    }
    if ((command == "find" && operands.empty()) || (command != "find" && operands.size() != 1)) {
        Usage(stderr);
        return kUsageError;
    }

    Library library;
    if (!Load(libraryPath.empty() ? DefaultLibraryPath() : libraryPath, library)) {
        return kUsageError;
    }

    ComponentManager* manager = nullptr;
    library.initialize(&manager);
    if (!manager) {
        std::fprintf(stderr, "vcm: the library could not create a component manager\n");
        return kUsageError;
    }

    std::vector<std::string> ids;
    StringList list;
    list.context = &ids;
    list.clear = ClearIds;

    const std::streamoff logStart = LogSize();
    int result = 0;
    if (command == "find") {
        for (const std::string& spec : operands) {
            result = library.addSpec(manager, spec.c_str());
            if (result != 0) {
                std::fprintf(stderr, "vcm: \"%s\" is not a spec (name;role;version)\n",
                             spec.c_str());
                break;
            }
        }
        if (result == 0) {
            result = library.findComponents(manager, AppendId, &list);
        }
    } else if (command == "check") {
        result =
            library.checkForUpdates(manager, operands[0].c_str(), force ? 1 : 0, AppendId, &list);
    } else if (::isatty(STDOUT_FILENO)) {
        LiveLog live("updating");
        result = library.updateComponents(manager, operands[0].c_str());
    } else {
        result = library.updateComponents(manager, operands[0].c_str());
    }

    for (const std::string& id : ids) {
        std::printf("%s\n", id.c_str());
    }
    std::fflush(stdout);
    library.shutdown(manager);
    ::dlclose(library.handle);
    if (result != 0) {
        // The code's meaning, and the log's own words for the failure behind it.
        const std::string why = LastErrorLine(logStart);
        std::fprintf(stderr, "vcm: %s%s%s\n", Meaning(command, result), why.empty() ? "" : ": ",
                     why.c_str());
    }
    return result;
}
