#include "sessions/RunGuard.h"

#include <cstdio>
#include <string>

#include <boost/make_shared.hpp>

#include "engine/EventLogStub.h"
#include "platform/Interrupt.h"
#include "platform/LastError.h"
#include "settings/SettingsAccessors.h"

namespace {

// The install area's key of the product itself, and the mark of a run in progress.
const char kSetupKey[] = "Setup";
const char kRunMark[] = "RunProcessId";

// The wait's limit as a person reads it: "30 minutes", or seconds for shorter ones.
std::string WaitText() {
    const uint32_t milliseconds = platform::RunLockWaitMilliseconds();
    char text[64];
    if (milliseconds % 60000 == 0) {
        std::snprintf(text, sizeof text, "%u minutes", milliseconds / 60000);
    } else {
        std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000.0);
    }
    return text;
}

}  // namespace

RunGuard::RunGuard(const boost::shared_ptr<vmi::IEventLog>& log, Records records)
    : log_(log ? log : boost::make_shared<EventLogStub>()), records_(records) {}

RunGuard::~RunGuard() {
    End();
}

bool RunGuard::Begin(const char* heading) {
    const platform::RunLock::Outcome taken = lock_.Take([this](uint32_t holder) {
        log_->WriteInfo("waiting for another update run (process %u)\n", holder);
    });
    std::string reason;
    switch (taken) {
        case platform::RunLock::Outcome::kTaken:
            break;
        case platform::RunLock::Outcome::kTimedOut:
            reason = "gave up waiting for another update run (process " +
                     std::to_string(lock_.Holder()) + ") after " + WaitText();
            break;
        case platform::RunLock::Outcome::kInterrupted:
            reason = "interrupted by signal " + std::to_string(platform::InterruptSignal());
            break;
        case platform::RunLock::Outcome::kFailed:
            reason = platform::GetLastErrorText();
            break;
    }
    if (reason.empty() && records_ == kRecordsResults) {
        uint32_t previous = 0;
        if (vmds::ReadInstallNumber(kSetupKey, kRunMark, previous) && previous != 0) {
            log_->WriteInfo("The run of process %u ended before it finished\n", previous);
        }
        platform::ClearLastError();
        if (vmds::WriteInstallNumber(kSetupKey, kRunMark, platform::CurrentProcessId())) {
            marked_ = true;
        } else {
            const std::string why = platform::GetLastErrorText();
            reason = "the registry cannot be written: " +
                     (why.empty() ? std::string("the install area cannot be created") : why);
        }
    }
    if (reason.empty()) {
        return true;
    }
    lock_.Release();
    log_->WriteError("%s: %s\n", heading, reason.c_str());
    platform::SetLastError(1, reason);
    return false;
}

bool RunGuard::End() {
    bool closed = true;
    if (marked_) {
        marked_ = false;
        platform::ClearLastError();
        if (!vmds::DeleteInstallValue(kSetupKey, kRunMark)) {
            const std::string why = platform::GetLastErrorText();
            log_->WriteError("The run could not be closed in the registry: %s\n",
                             why.empty() ? "the mark of the run cannot be removed" : why.c_str());
            closed = false;
        }
    }
    lock_.Release();
    return closed;
}
