// What a vcm command prints when it has run: in plain text, its lines on standard output (the
// ids, one per line, that scripts read) and, when it failed, one line on standard error with the
// meaning of its result and the reason; with --json, one JSON document on standard output
// instead, described in vcm(1):
//
//   {"command": "check", "result": 11, "name": "VCM_UNKNOWN_COMPONENT",
//    "meaning": "an id is not a component of the manifest",
//    "reason": "Component: [Ghost] - not a component of the manifest", "ids": []}
//
// "reason" is null when nothing more is known than the result. Commands add members of their
// own ("components" of list, "hotFixes" of hotfix, "due" of update --due).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vcmtool {

// vcm's exit status for a command line it cannot run; no result of the library uses it.
const int kUsageError = 64;

struct Outcome {
    explicit Outcome(const std::string& command) : command(command) {}

    std::string command;  // "find", "check", "update", "list", "uninstall", "hotfix"
    int result = 0;
    // The ids the command reports (found, with an update, updated, removed): the plain
    // output's lines and the document's "ids".
    std::vector<std::string> ids;
    // Plain output lines of commands that report more than ids (list, hotfix); printed
    // instead of the ids when there are any.
    std::vector<std::string> lines;
    // What went wrong in vcm's own words, when it knows more than the result's meaning (a
    // malformed spec); printed alone.
    std::string message;
    // The install log's reason for the failure, printed after the meaning.
    std::string reason;
    // The command's own members of the document.
    nlohmann::ordered_json details = nlohmann::ordered_json::object();
};

// The name of a command's result: the library's name (vcm.h) for find, check, update and list,
// vcm's own for the statuses of uninstall and hotfix and for usage errors.
std::string ResultName(const std::string& command, int result);

// The JSON document of an outcome.
nlohmann::ordered_json ToJson(const Outcome& outcome);

// Prints the outcome as plain text or as JSON; returns its result, vcm's exit status.
int Print(const Outcome& outcome, bool json);

}  // namespace vcmtool
