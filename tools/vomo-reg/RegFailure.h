// How vomo-reg fails: a command that cannot go on throws a Failure, and main() prints its message
// after "ERROR: " on standard error and exits with status 1. Used on the tool's one thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/LastError.h"
#include "platform/Registry.h"

namespace vomoreg {

const char kNotFound[] = "The system was unable to find the specified registry key or value.";

struct Failure {
    std::string message;  // without "ERROR: "
};

[[noreturn]] inline void Fail(const std::string& message) {
    throw Failure{message};
}

[[noreturn]] inline void InvalidSyntax(const std::string& operation) {
    Fail("Invalid syntax.\nType \"vomo-reg " + operation + " /?\" for usage.");
}

// The message for a registry call that answered `code`, worded as reg.exe words it where it has
// words of its own, otherwise the registry's text of the failure.
[[noreturn]] inline void FailWithCode(uint32_t code) {
    if (code == platform::kErrorFileNotFound || code == platform::kErrorKeyDeleted) {
        Fail(kNotFound);
    }
    if (code == platform::kErrorAccessDenied) {
        Fail("Access is denied.");
    }
    const std::string text = platform::GetLastErrorText();
    Fail(text.empty() ? "The registry answered error " + std::to_string(code) + "." : text);
}

}  // namespace vomoreg
