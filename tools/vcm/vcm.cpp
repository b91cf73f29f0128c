// vcm: drives libvcm.so from the command line, loading it with dlopen as a setup program or an
// updater would.
//
//   vcm [--library PATH] [--json] find SPEC...            SPEC is "name;role;version"
//   vcm [--library PATH] [--json] check [--force] [--ignore-rollout] IDS     IDS is "id;id;..."
//   vcm [--library PATH] [--json] [--verbose] update IDS | --due
//   vcm [--json] list
//   vcm [--json] uninstall IDS
//   vcm [--json] hotfix
//   vcm setup --bundle NAME [options]
//   vcm log
//   vcm --version
//
// Prints the reported ids one per line (or, with --json, one JSON document, Report.h) and exits
// with the library's result code. While an update runs, its progress is shown on standard
// error (Progress.h); standard output carries only what scripts read.
//
// list, uninstall and hotfix reach work that the six functions do not offer, and no function
// may be added for them: the functions are the library's fixed interface to every host. So this
// program links the library's internals (vcm_core, as vomo-reg does) and drives the engine for
// those commands (ListCommand.h, EngineCommands.h), without loading libvcm.so. The code is the
// same the library runs, with the same registry, manifest check and install log, so what a
// person sees here is what a host would get. setup, a setup program's first install, drives the
// engine the same way (SetupCommand.h).
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/vcm/EngineCommands.h"
#include "tools/vcm/HostLibrary.h"
#include "tools/vcm/ListCommand.h"
#include "tools/vcm/LogView.h"
#include "tools/vcm/Report.h"
#include "tools/vcm/RolloutCheck.h"
#include "tools/vcm/SetupCommand.h"
#include "tools/vcm/Signals.h"
#include "tools/vcm/UpdateCommand.h"
#include "tools/vcm/WaitNotice.h"
#include "vcm/vcm.h"

namespace {

using namespace vcmtool;

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: vcm [--library PATH] [--json] find SPEC...\n"
                 "       vcm [--library PATH] [--json] check [--force] [--ignore-rollout] IDS\n"
                 "       vcm [--library PATH] [--json] [--verbose] update IDS | --due\n"
                 "       vcm [--json] list\n"
                 "       vcm [--json] uninstall IDS\n"
                 "       vcm [--json] hotfix\n"
                 "       vcm setup --bundle NAME [--distributor ID] [--dir DIR]\n"
                 "                 [--yes --accept-licence]\n"
                 "                 [--components IDS] [--offers IDS|none]\n"
                 "\n"
                 "  find    reports the components offering each SPEC (\"name;role;version\")\n"
                 "  check   reports which of the components IDS (\"id;id;...\") have an update;\n"
                 "          --force checks them even when the schedule says they are not due;\n"
                 "          --ignore-rollout reports updates whose staged rollout has not\n"
                 "          reached this machine yet\n"
                 "  update  installs the manifest version of the components IDS; --due checks\n"
                 "          every installed component by the schedule and updates those with\n"
                 "          an update; --verbose shows installers' output (always shown on a\n"
                 "          terminal)\n"
                 "  list    lists the installed components with their versions and folders\n"
                 "  uninstall  removes the installed components IDS, and every installed\n"
                 "          component that requires one of them\n"
                 "  hotfix  installs the manifest's hot fixes for the installed components\n"
                 "  setup   installs the components of the bundle NAME for the first time:\n"
                 "          the licence, optional components and offers are asked on the\n"
                 "          terminal or, with --yes, taken from the options\n"
                 "  log     prints the install log\n"
                 "\n"
                 "       vcm log\n"
                 "       vcm --version\n"
                 "\n"
                 "Reported ids are printed one per line (--json: one JSON document); the exit\n"
                 "status is the library's result code (see vcm(1)). Without --library,\n"
                 "libvcm.so.1 is looked for in the library folder beside this program's\n"
                 "folder, then by the dynamic loader's search path.\n");
}

// What is wrong with the ids of an update, or empty: the library would only answer that the
// update could not start.
std::string UpdateIdsProblem(const std::vector<std::string>& operands) {
    if (operands.size() > 1) {
        std::string joined;
        for (const std::string& operand : operands) {
            joined += (joined.empty() ? "" : ";") + operand;
        }
        return "update takes one list of ids separated by \";\", as \"" + joined + "\"";
    }
    if (operands.empty() || operands[0].empty()) {
        return "no component id was given";
    }
    const std::string ids = ";" + operands[0] + ";";
    if (ids.find(";;") != std::string::npos) {
        return "an empty id in \"" + operands[0] + "\"";
    }
    return std::string();
}

int RunCommand(int argc, char** argv) {
    std::string libraryPath;
    bool json = false;
    bool verbose = false;
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
        if (arg == "--json" || arg == "--verbose") {
            (arg == "--json" ? json : verbose) = true;
            continue;
        }
        args.push_back(arg);
    }
    if (args.empty()) {
        Usage(stderr);
        return kUsageError;
    }

    const std::string command = args[0];
    if (command == "setup") {
        return vcmtool::SetupCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    const WaitNotice waitNotice(command);
    Outcome outcome(command);
    if (command == "log") {
        return args.size() == 1 ? PrintLog() : (Usage(stderr), kUsageError);
    }
    if (command == "list" || command == "hotfix" || command == "uninstall") {
        if (args.size() != (command == "uninstall" ? 2u : 1u)) {
            Usage(stderr);
            return kUsageError;
        }
        const std::streamoff logStart = LogSize();
        if (command == "list") {
            outcome.result = List(outcome);
        } else if (command == "hotfix") {
            outcome.result = vcmtool::HotFix(outcome);
        } else if (::isatty(STDOUT_FILENO) && !json) {
            LiveLog live("uninstalling");
            outcome.result = vcmtool::Uninstall(args[1], outcome);
        } else {
            outcome.result = vcmtool::Uninstall(args[1], outcome);
        }
        if (outcome.result != 0 && outcome.reason.empty()) {
            outcome.reason = LastErrorLine(logStart);
        }
        return Print(outcome, json);
    }
    bool force = false;
    bool ignoreRollout = false;
    std::vector<std::string> operands(args.begin() + 1, args.end());
    while (command == "check" && !operands.empty() &&
           (operands[0] == "--force" || operands[0] == "--ignore-rollout")) {
        (operands[0] == "--force" ? force : ignoreRollout) = true;
        operands.erase(operands.begin());
    }
    const bool due = command == "update" && operands.size() == 1 && operands[0] == "--due";
    const bool known = command == "find" || command == "check" || command == "update";
    if (!known) {
        std::fprintf(stderr, "vcm: unknown command \"%s\"\n", command.c_str());
        Usage(stderr);
        return kUsageError;
    }
    if ((command == "find" && operands.empty()) || (command == "check" && operands.size() != 1)) {
        Usage(stderr);
        return kUsageError;
    }
    if (command == "update" && !due) {
        outcome.message = UpdateIdsProblem(operands);
        if (!outcome.message.empty()) {
            outcome.result = kUsageError;
            return Print(outcome, json);
        }
    }

    if (ignoreRollout) {
        // The library's own code, run in vcm.
        vcmtool::CheckIgnoringRollout(operands[0], force, outcome);
        return Print(outcome, json);
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

    StringList list;
    list.context = &outcome.ids;
    list.clear = ClearIds;

    const std::streamoff logStart = LogSize();
    int result = 0;
    if (command == "find") {
        for (const std::string& spec : operands) {
            result = library.addSpec(manager, spec.c_str());
            if (result != 0) {
                outcome.message = "\"" + spec + "\" is not a spec (name;role;version)";
                break;
            }
        }
        if (result == 0) {
            result = library.findComponents(manager, AppendId, &list);
        }
    } else if (command == "check") {
        result =
            library.checkForUpdates(manager, operands[0].c_str(), force ? 1 : 0, AppendId, &list);
    } else if (due) {
        result = UpdateDue(library, manager, verbose, outcome);
    } else {
        result = Update(library, manager, operands[0], verbose, outcome);
    }

    library.shutdown(manager);
    Unload(library);
    outcome.result = result;
    if (result != 0) {
        // The log's own words for the failure behind the code.
        outcome.reason = LastErrorLine(logStart);
    }
    return Print(outcome, json);
}

}  // namespace

// SIGINT, SIGTERM and SIGHUP are held from the start and end vcm once the command is over
// (Signals.h).
int main(int argc, char** argv) {
    vcmtool::HoldInterrupts();
    return vcmtool::ExitStatus(RunCommand(argc, argv));
}
