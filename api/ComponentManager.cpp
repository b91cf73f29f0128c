#include "api/ComponentManager.h"

#include <cstdio>
#include <set>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/chrono.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "api/Addresses.h"
#include "api/FirstInstallHints.h"
#include "api/InstallHints.h"
#include "api/InstallLog.h"
#include "api/LocalTime.h"
#include "api/SettingsShim.h"
#include "api/Url.h"
#include "engine/VomoInstallImpl.h"
#include "platform/Clock.h"
#include "platform/Interrupt.h"
#include "settings/FailureReport.h"

namespace {

const char kGroupName[] = "VomoUpdate";
const char kAllId[] = "all";
const char kUpdateKey[] = "Update";
const char kIntervalValue[] = "UpdateCheckInterval";
const char kCheckDateValue[] = "UpdateCheckDate";
const uint32_t kDefaultInterval = 3;
const uint32_t kChecksSwitchedOff = 1000;
const double kSecondsPerDay = 86400.0;

// Every poll waits 10 ms measured on the monotonic clock.
const boost::chrono::nanoseconds kPollInterval(10000000);

// Engine results the preparation relies on.
const uint32_t kEngineBusy = 5;
const uint32_t kEngineNoTempName = 7;
const uint32_t kEngineNoDownload = 4;
const uint32_t kEngineDownloadFailed = 8;
const uint32_t kEngineSignatureFailed = 18;
const uint32_t kEngineExtractionFailed = 19;
const uint32_t kEngineFileUnavailable = 7;
const uint32_t kEngineXmlNotParsed = 14;
const uint32_t kEngineGreaterVersion = 23;

// Session states of the update run.
const uint32_t kSessionFinished = 7;
const uint32_t kSessionFailed = 8;

}  // namespace

std::vector<std::string> SplitList(const char* text) {
    std::vector<std::string> fields;
    if (!text || !*text) {
        return fields;
    }
    const std::string whole(text);
    boost::algorithm::split(fields, whole, boost::algorithm::is_any_of(";"),
                            boost::algorithm::token_compress_off);
    return fields;
}

ComponentManager::ComponentManager() : ComponentManager(boost::make_shared<vcm::InstallLog>()) {}

// The store of failed hints tells the log, as info lines, what it keeps for the next run.
ComponentManager::ComponentManager(const boost::shared_ptr<vcm::InstallLog>& log)
    : engine_(boost::make_shared<VomoInstallImpl>(Url(vcm::ManifestUrlText()), 0)),
      settings_(boost::make_shared<vcm::SettingsShim>()),
      clock_(boost::make_shared<vcm::LocalTime>()),
      pinger_(boost::make_shared<vcm::PingSender>(
          [log](const std::string& note) { log->WriteInfo("%s\n", note.c_str()); })) {
    engine_->SetEventLog(log);
    // A damaged hive reads as "nothing there"; its reason goes to the same log.
    vmds::SetFailureSink([log](const std::string& text) { log->WriteError("%s\n", text.c_str()); });
    ownsFailureSink_ = true;
}

ComponentManager::ComponentManager(const boost::shared_ptr<vmi::IVomoInstall>& engine,
                                   const boost::shared_ptr<vcm::ISettings>& settings,
                                   const boost::shared_ptr<vcm::ITime>& clock,
                                   const boost::shared_ptr<vcm::IPingSender>& pinger)
    : engine_(engine), settings_(settings), clock_(clock), pinger_(pinger) {}

ComponentManager::~ComponentManager() {
    if (ownsFailureSink_) {
        vmds::SetFailureSink(vmds::FailureSink());
    }
    specs_.clear();
    pinger_.reset();
    clock_.reset();
    settings_.reset();
    engine_.reset();
}

void ComponentManager::AddSpec(const SpecRecord& spec) {
    specs_.push_back(spec);
}

int ComponentManager::PrepareManifest() {
    if (!engine_ || !settings_ || !clock_ || !pinger_) {
        return 1;
    }
    const uint32_t begun = engine_->BeginManifestDownload(kGroupName);
    if (begun == kEngineBusy) {
        return 8;
    }
    if (begun == kEngineNoTempName) {
        return 4;
    }
    // A host's interrupt signal ends the download (platform/Interrupt.h).
    platform::InterruptScope interrupts;
    for (;;) {
        platform::PollInterrupt();
        const uint32_t polled = engine_->PollManifestDownload();
        if (polled == 0) {
            break;
        }
        if (polled == kEngineNoDownload || polled == kEngineSignatureFailed ||
            polled == kEngineExtractionFailed) {
            return 1;
        }
        if (polled == kEngineDownloadFailed) {
            return 4;
        }
        boost::this_thread::sleep_for(kPollInterval);
    }
    const uint32_t loadedCode = engine_->LoadManifest();
    if (loadedCode == kEngineFileUnavailable) {
        return 5;
    }
    if (loadedCode == kEngineXmlNotParsed) {
        return 6;
    }
    loaded_ = true;
    return 0;
}

int ComponentManager::FindComponents(std::vector<std::string>& ids) {
    if (specs_.empty()) {
        return 13;
    }
    platform::InterruptScope interrupts;
    if (!loaded_) {
        const int prepared = PrepareManifest();
        if (prepared != 0) {
            return prepared;
        }
    }
    int result = 12;
    std::set<std::string> found;  // byte-wise order, each id once
    for (const SpecRecord& spec : specs_) {
        SpecQuery query;
        query.role = spec.role;
        query.name = spec.name;
        query.version = spec.version;
        const uint32_t answer = engine_->FindComponentsBySpec(query, found);
        if (answer == kEngineGreaterVersion && result == 12) {
            result = 14;
        }
        if (answer == 0) {
            result = 0;
        }
    }
    specs_.clear();
    ids.insert(ids.end(), found.begin(), found.end());
    return result;
}

int ComponentManager::GetCheckInterval(uint32_t& interval) {
    uint32_t value = 0;
    if (settings_->ReadDword(kUpdateKey, kIntervalValue, value)) {
        interval = value;
        return 0;
    }
    if (!settings_->WriteDword(kUpdateKey, kIntervalValue, kDefaultInterval)) {
        return 1;
    }
    interval = kDefaultInterval;
    return 0;
}

bool ComponentManager::IsCheckDue(const std::string& id) {
    std::string stamp;
    if (id != kAllId) {
        if (!settings_->IsInstalled(id)) {
            return false;
        }
        if (!settings_->ReadString(id, kCheckDateValue, stamp)) {
            return true;
        }
    } else if (!settings_->ReadString(kUpdateKey, kCheckDateValue, stamp)) {
        return true;
    }

    // Fields the scan does not reach stay 0.
    struct tm time = {};
    std::sscanf(stamp.c_str(), "%04d%02d%02d%02d%02d%02d", &time.tm_year, &time.tm_mon,
                &time.tm_mday, &time.tm_hour, &time.tm_min, &time.tm_sec);

    uint32_t interval = 0;
    if (!settings_->ReadDword(kUpdateKey, kIntervalValue, interval)) {
        interval = kDefaultInterval;
        settings_->WriteDword(kUpdateKey, kIntervalValue, kDefaultInterval);
    }
    return DaysSince(time) >= static_cast<int32_t>(interval);
}

int32_t ComponentManager::DaysSince(const struct tm& stamp) {
    struct tm now = *clock_->Now();
    struct tm then = stamp;
    then.tm_year -= 1900;
    then.tm_isdst = now.tm_isdst;
    then.tm_wday = 0;
    then.tm_yday = 0;
    const int64_t nowTime = platform::MakeLocalTime(now);
    const int64_t thenTime = platform::MakeLocalTime(then);
    if (nowTime == -1 || thenTime == -1) {
        return 0;
    }
    return static_cast<int32_t>(static_cast<double>(nowTime - thenTime) / kSecondsPerDay);
}

void ComponentManager::FormatTimeStamp(const struct tm& time, std::string& stamp) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d%02d%02d%02d", time.tm_year, time.tm_mon,
                  time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
    stamp = buffer;
}

int ComponentManager::RecordCheckDate(const std::string& id) {
    const std::string key = id == kAllId ? std::string(kUpdateKey) : id;
    struct tm* now = clock_->Now();
    now->tm_year += 1900;
    std::string stamp;
    FormatTimeStamp(*now, stamp);
    return settings_->WriteString(key, kCheckDateValue, stamp) ? 0 : 1;
}

int ComponentManager::CheckForUpdates(std::vector<std::string>& ids, bool force) {
    if (!engine_ || !settings_ || !clock_) {
        return 1;  // what preparation would answer for a missing member
    }
    if (!force) {
        uint32_t interval = 0;
        if (GetCheckInterval(interval) == 0 && interval == kChecksSwitchedOff) {
            return 9;
        }
        std::vector<std::string> due;
        for (const std::string& id : ids) {
            if (IsCheckDue(id)) {
                due.push_back(id);
            }
        }
        if (due.empty()) {
            return 9;
        }
        ids.swap(due);
    }
    platform::InterruptScope interrupts;
    if (!loaded_ && PrepareManifest() != 0) {
        return 1;
    }
    std::vector<std::string> updates;
    for (const std::string& id : ids) {
        vmi::ComponentPtr component;
        if (engine_->GetComponent(id, component) != 0 || !component) {
            boost::shared_ptr<vmi::IEventLog> log;
            if (engine_->GetEventLog(log) == 0 && log) {
                log->WriteError("Component: [%s] - not a component of the manifest\n", id.c_str());
            }
            return 11;
        }
        RecordCheckDate(id);
        if (component->IsUpdateAvailable() && TakesRelease(*component)) {
            updates.push_back(id);
        }
    }
    ids.swap(updates);
    return 0;
}

int ComponentManager::UpdateComponents(const std::vector<std::string>& ids) {
    if (!engine_ || !settings_) {
        return 1;  // what preparation would answer for a missing member
    }
    // A host's interrupt signal that arrives while the run goes on cancels it: the download
    // stops, the installer running gets the signal, no other starts, and the run fails; a
    // second one ends the installer's wait (platform/Interrupt.h). The signal is the host's
    // again when this call returns.
    platform::InterruptScope interrupts;
    if (!loaded_ && PrepareManifest() != 0) {
        return 1;
    }
    const std::vector<std::string> sequence(ids);
    boost::shared_ptr<vmi::IInstallSession> session;
    if (engine_->CreateUpdateSession(sequence, session) != 0 || !session) {
        return 7;
    }

    uint32_t state = 1;
    bool cancelled = false;
    for (;;) {
        const boost::chrono::steady_clock::time_point polled = boost::chrono::steady_clock::now();
        if (platform::PollInterrupt() != 0 && !cancelled) {
            session->Cancel();
            cancelled = true;
        }
        uint32_t position = 0;
        uint32_t total = 0;
        session->GetProgress(position, total, state);
        if (state == kSessionFailed) {
            break;
        }
        boost::this_thread::sleep_until(polled + kPollInterval);
        if (state == kSessionFinished) {
            break;
        }
    }

    vcm::SendInstallHints(*settings_, pinger_.get(), sequence, state == kSessionFinished);
    if (state == kSessionFinished) {
        return engine_->CompleteUpdate() == 0 ? 0 : 1;
    }
    return 1;
}
