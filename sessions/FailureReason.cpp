#include "sessions/FailureReason.h"

#include "platform/Interrupt.h"
#include "platform/LastError.h"

std::string FailureReason(const char* fallback) {
    if (const int signal = platform::InterruptSignal()) {
        return "interrupted by signal " + std::to_string(signal);
    }
    const std::string text = platform::GetLastErrorText();
    return text.empty() ? std::string(fallback) : text;
}
