#include "tools/vcm/Meanings.h"

namespace vcmtool {

const char* Meaning(const std::string& command, int code) {
    if (code == 64) {
        return "the command line cannot be run";
    }
    if (command == "uninstall") {
        switch (code) {
            case 2:
                return "nothing was removed";
            case 13:
                return "removed; a restart finishes the removal";
            case 10:
                return "an uninstaller failed, and the components after it stay installed";
            case 15:
                return "no id was given";
            default:
                return "the uninstall could not start";
        }
    }
    if (command == "setup") {
        switch (code) {
            case 1:
                return "a question got no answer, and nothing was installed";
            case 2:
                return "the bundle does not offer what was asked, and nothing was installed";
            case 7:
            case 8:
                return "the manifest could not be downloaded";
            case 9:
                return "an install failed";
            case 14:
                return "the manifest could not be parsed";
            case 18:
                return "the manifest's signature was refused";
            case 19:
                return "the manifest could not be extracted";
            case 64:
                return "usage: vcm setup --bundle NAME [--distributor ID] [--dir DIR] [--yes "
                       "--accept-licence] [--components IDS] [--offers IDS|none]";
            case 77:
                return "the licence was not accepted, and nothing was installed";
            default:
                return "the install could not start";
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

}  // namespace vcmtool
