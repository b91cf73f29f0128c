#include "tools/vcm/Report.h"

#include <cstdio>

#include "api/ControlCharacters.h"
#include "tools/vcm/Meanings.h"
#include "vcm/vcm.h"

namespace vcmtool {

std::string ResultName(const std::string& command, int result) {
    if (result == 0) {
        return VCM_ResultName(VCM_OK);
    }
    if (result == kUsageError) {
        return "usage";
    }
    if (command == "uninstall") {
        switch (result) {
            case 2:
                return "not-installed";
            case 10:
                return "uninstall-failed";
            case 13:
                return "restart-required";
            case 15:
                return "no-id";
            default:
                return "not-started";
        }
    }
    if (command == "hotfix") {
        switch (result) {
            case 2:
                return "no-hot-fix";
            case 8:
                return "download-failed";
            case 9:
                return "install-failed";
            case 18:
                return "signature-refused";
            case 19:
                return "extraction-failed";
            default:
                return "not-started";
        }
    }
    const char* name = VCM_ResultName(result);
    return name ? name : "unknown";
}

nlohmann::ordered_json ToJson(const Outcome& outcome) {
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    document["command"] = outcome.command;
    document["result"] = outcome.result;
    document["name"] = ResultName(outcome.command, outcome.result);
    document["meaning"] = outcome.result == 0
                              ? std::string("success")
                              : std::string(Meaning(outcome.command, outcome.result));
    const std::string& reason = outcome.message.empty() ? outcome.reason : outcome.message;
    document["reason"] = reason.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(reason);
    document["ids"] = outcome.ids;
    for (const auto& member : outcome.details.items()) {
        document[member.key()] = member.value();
    }
    return document;
}

int Print(const Outcome& outcome, bool json) {
    if (json) {
        // Texts that are not UTF-8 (an id from a damaged registry) are replaced, never a reason
        // to print nothing.
        const std::string text =
            ToJson(outcome).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        return outcome.result;
    }
    // Ids, lines and reasons come from the manifest, the registry and the log: their control
    // characters are shown escaped, never obeyed by the terminal.
    for (const std::string& line : outcome.lines.empty() ? outcome.ids : outcome.lines) {
        std::printf("%s\n", vcm::EscapeControlCharacters(line).c_str());
    }
    std::fflush(stdout);
    if (!outcome.message.empty()) {
        std::fprintf(stderr, "vcm: %s\n", vcm::EscapeControlCharacters(outcome.message).c_str());
    } else if (outcome.result != 0) {
        std::fprintf(stderr, "vcm: %s%s%s\n", Meaning(outcome.command, outcome.result),
                     outcome.reason.empty() ? "" : ": ",
                     vcm::EscapeControlCharacters(outcome.reason).c_str());
    }
    return outcome.result;
}

}  // namespace vcmtool
