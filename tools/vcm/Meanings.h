// What vcm's exit statuses mean to the person who ran a command (the table of vcm(1)).
#pragma once

#include <string>

namespace vcmtool {

// The meaning of result `code` of `command` ("find", "check", "update", "list", "uninstall",
// "hotfix"); 64 is vcm's own, for a command line it cannot run.
const char* Meaning(const std::string& command, int code);

}  // namespace vcmtool
