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
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/ControlCharacters.h"
#include "tools/vcm/EngineCommands.h"
#include "tools/vcm/HostLibrary.h"
#include "tools/vcm/LogView.h"
#include "tools/vcm/Meanings.h"
#include "vcm/vcm.h"

namespace {

using namespace vcmtool;

const int kUsageError = 64;  // no result code of the library uses it

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
        std::printf("%s\n", vcm::EscapeControlCharacters(id).c_str());
    }
    std::fflush(stdout);
    library.shutdown(manager);
    Unload(library);
    if (result != 0) {
        // The code's meaning, and the log's own words for the failure behind it.
        const std::string why = LastErrorLine(logStart);
        std::fprintf(stderr, "vcm: %s%s%s\n", Meaning(command, result), why.empty() ? "" : ": ",
                     why.c_str());
    }
    return result;
}
