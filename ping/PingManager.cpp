#include "ping/PingManager.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include <boost/chrono.hpp>
#include <boost/format.hpp>
#include <boost/make_shared.hpp>

#include "ping/PingSender.h"
#include "ping/PingUrl.h"
#include "platform/AsciiCase.h"
#include "platform/Socket.h"
#include "settings/IVomoSettings.h"
#include "settings/SettingsAccessors.h"

namespace {

const char kReportsKey[] = "Install\\Setup\\Reports";

// Pauses of the worker, measured on the monotonic clock: after every attempt, and between looks
// at the queue.
const boost::chrono::milliseconds kAfterPing(100);
const boost::chrono::milliseconds kIdlePoll(20);
// Part of a stop's budget kept for storing the pings left and joining the worker.
const boost::chrono::milliseconds kStopReserve(1000);

// Formatting is done one call at a time: the formatter's parse fills the locale's lazily built
// character cache, which is not safe to fill from two threads at once.
boost::mutex formatMutex;

void SleepFor(boost::chrono::milliseconds interval) {
    boost::this_thread::sleep_until(boost::chrono::steady_clock::now() + interval);
}

std::string HintName(uint32_t counter) {
    char name[32];
    std::snprintf(name, sizeof(name), "hint%02u", counter);
    return name;
}

// Whether `name` is among `names`; value names compare without regard to case, as the registry
// does.
bool IsTaken(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& taken) {
        return platform::AsciiEqualNoCase(taken, name);
    });
}

}  // namespace

// ---- the auto-reset events ------------------------------------------------------------------

void PingManager::AutoResetEvent::Set() {
    boost::lock_guard<boost::mutex> lock(mutex_);
    set_ = true;
    changed_.notify_all();
}

void PingManager::AutoResetEvent::Reset() {
    boost::lock_guard<boost::mutex> lock(mutex_);
    set_ = false;
}

void PingManager::AutoResetEvent::Wait() {
    boost::unique_lock<boost::mutex> lock(mutex_);
    while (!set_) {
        changed_.wait(lock);
    }
    set_ = false;
}

// ---- life ------------------------------------------------------------------------------------

PingManager::PingManager(const boost::shared_ptr<IPingSender>& sender) : sender_(sender) {
    if (!sender_) {
        sender_ = boost::make_shared<PingSender>();
    }
    sender_->Startup();
}

PingManager::~PingManager() {
    {
        boost::lock_guard<boost::recursive_mutex> control(control_);
        StopWorker();
    }
    sender_->Close();
}

int PingManager::AddHandler(vmp::IPingHandler* handler) {
    if (!handler) {
        return -1;
    }
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    if (std::find(handlers_.begin(), handlers_.end(), handler) == handlers_.end()) {
        handlers_.push_back(handler);
    }
    return 0;
}

void PingManager::AutoResetEvent::WaitFor(boost::chrono::milliseconds interval) {
    const boost::chrono::steady_clock::time_point end =
        boost::chrono::steady_clock::now() + interval;
    boost::unique_lock<boost::mutex> lock(mutex_);
    while (!set_ && changed_.wait_until(lock, end) != boost::cv_status::timeout) {
    }
    set_ = false;
}

int PingManager::RemoveHandler(vmp::IPingHandler* handler) {
    if (!handler) {
        return -1;
    }
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    handlers_.erase(std::remove(handlers_.begin(), handlers_.end(), handler), handlers_.end());
    return 0;
}

void PingManager::Start() {
    boost::lock_guard<boost::recursive_mutex> control(control_);
    if (running_) {
        Stop();
    }
    if (worker_.joinable()) {
        // A worker that was told to stop but not yet joined: finish it before making another.
        stop_ = true;
        wake_.Set();
        worker_.join();
    }
    started_.Reset();
    wake_.Reset();
    stop_ = false;
    worker_ = boost::thread([this] { Run(); });
    started_.Wait();
    LoadFailedPings();
}

bool PingManager::Stop() {
    boost::lock_guard<boost::recursive_mutex> control(control_);
    return StopWorker();
}

bool PingManager::StopWorker() {
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        stopping_ = true;
        // Attempts end early enough to leave time for storing what is left and for the join.
        stopDeadline_ = boost::chrono::steady_clock::now() +
                        boost::chrono::milliseconds(kStopBudgetMilliseconds) - kStopReserve;
    }
    // The worker drains the queue, or empties it into the failed list once the budget is spent.
    if (!IsQueueEmpty() && running_) {
        drained_.Wait();
    }
    stop_ = true;
    wake_.Set();
    bool joined = false;
    if (worker_.joinable()) {
        worker_.join();
        joined = true;
    }
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    stopping_ = false;
    return joined;
}

// ---- requests --------------------------------------------------------------------------------

int PingManager::SendPing(const std::string& baseUrl, const std::string& pathTemplate,
                          const vmp::NameValueList& values, bool storeOnFailure) {
    std::string text = pathTemplate;
    if (!values.empty()) {
        std::vector<std::string> positional;
        for (const vmp::NameValue& pair : values) {
            if (pair.name.empty()) {
                positional.push_back(pair.value);
                continue;
            }
            const std::string token = "%" + pair.name + "%";
            const size_t at = text.find(token);
            if (at == std::string::npos) {
                return -1;
            }
            text.replace(at, token.size(), pair.value);
        }
        // Missing or surplus positional values are not errors: a directive without a value
        // becomes empty and a value without a directive is left out. A text that is not a valid
        // format string is refused like any other unusable template.
        try {
            boost::lock_guard<boost::mutex> formatting(formatMutex);
            boost::format format(text);
            format.exceptions(boost::io::all_error_bits ^
                              (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
            for (const std::string& value : positional) {
                format % value.c_str();
            }
            text = format.str();
        } catch (const boost::io::format_error&) {
            return -1;
        }
    }
    const std::string url = baseUrl + "/" + text;
    if (!IsValidPingUrl(url)) {
        return -1;
    }
    Enqueue(url, storeOnFailure);
    return 0;
}

int PingManager::SendText(const std::string& text, bool storeOnFailure,
                          const std::string& delimiter, const std::string& defaultBaseUrl) {
    if (text.empty()) {
        return -1;
    }
    std::vector<vmp::IPingHandler*> handlers;
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        handlers = handlers_;
    }
    for (vmp::IPingHandler* handler : handlers) {
        std::string copy = text;
        std::string url;
        if (handler->ExpandTokens(delimiter, copy) &&
            handler->BuildUrl(copy, defaultBaseUrl, url) && IsValidPingUrl(url)) {
            Enqueue(url, storeOnFailure);
            return 0;
        }
    }
    return -1;
}

// ---- the queue -------------------------------------------------------------------------------

void PingManager::Enqueue(const std::string& url, bool storeOnFailure) {
    boost::lock_guard<boost::recursive_mutex> control(control_);
    if (!running_) {
        Start();
    }
    Append(url, storeOnFailure);
}

void PingManager::Append(const std::string& url, bool storeOnFailure) {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    drained_.Reset();
    PingItem item;
    item.url = url;
    item.storeOnFailure = storeOnFailure;
    pending_.push_back(item);
}

bool PingManager::IsQueueEmpty() {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    const bool empty = pending_.empty();
    if (empty) {
        drained_.Set();
    }
    return empty;
}

bool PingManager::PopFront(PingItem& item) {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    if (!pending_.empty()) {
        item = pending_.front();
        pending_.pop_front();
    }
    return !item.url.empty();
}

void PingManager::KeepFailed(const PingItem& item) {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    if (failed_.size() >= kMaxFailedPings) {
        failed_.pop_front();
    }
    failed_.push_back(item);
}

bool PingManager::MayAttempt() {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    if (!stopping_) {
        return true;
    }
    const auto left = boost::chrono::duration_cast<boost::chrono::milliseconds>(
        stopDeadline_ - boost::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return false;
    }
    // The attempt about to start ends with the budget: its look-up and connection waits are
    // cut there (a short request then goes into the fresh connection's buffer at once).
    platform::SetSocketDeadline(static_cast<uint32_t>(left.count()));
    return true;
}

void PingManager::KeepUntried() {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    while (!pending_.empty()) {
        if (pending_.front().storeOnFailure && !pending_.front().url.empty()) {
            KeepFailed(pending_.front());
        }
        pending_.pop_front();
    }
}

std::vector<std::string> PingManager::GetFailedPings() {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    std::vector<std::string> urls;
    for (const PingItem& item : failed_) {
        urls.push_back(item.url);
    }
    return urls;
}

// ---- the worker ------------------------------------------------------------------------------

void PingManager::Run() {
    // Running is set before the start is signalled, so that the starter (and a request queued
    // right after) sees a running worker and does not start a second one.
    running_ = true;
    started_.Set();
    while (!stop_) {
        if (!IsQueueEmpty()) {
            do {
                if (!MayAttempt()) {
                    // Stored with the failed ones when the worker ends; the emptied queue then
                    // lets the stop go on.
                    KeepUntried();
                    continue;
                }
                PingItem item;
                if (PopFront(item)) {
                    bool sent = false;
                    try {
                        sent = sender_->Ping(item.url);
                    } catch (...) {
                        sent = false;  // a sender that throws has not sent
                    }
                    if (!sent && item.storeOnFailure) {
                        KeepFailed(item);
                    }
                }
                SleepFor(kAfterPing);
            } while (!IsQueueEmpty());
        }
        wake_.WaitFor(kIdlePoll);
    }
    platform::ClearSocketDeadline();
    bool anyFailed = false;
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        anyFailed = !failed_.empty();
    }
    if (anyFailed) {
        try {
            SaveFailedPings();
        } catch (...) {
            // The failed list stays in memory; the next run of the worker saves it again.
        }
    }
    running_ = false;
}

// ---- the store -------------------------------------------------------------------------------

void PingManager::SaveFailedPings() {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    if (!failed_.empty()) {
        Note("writing " + std::to_string(failed_.size()) + " failed pings to registry.");
    }
    vmds::IVomoSettings::Ptr key;
    if (!vmds::OpenSettings(kReportsKey, vmds::kCreateMachine, &key) || !key) {
        return;  // kept in memory only
    }
    uint32_t counter = 0;
    if (!key->GetValueCount(counter)) {
        counter = 0;
    }
    // Names continue after the values already there. A name already taken (values removed or
    // added by someone else leave gaps) is passed over, so that no stored ping is overwritten.
    vmds::IVomoSettings::NameSetU names;
    std::vector<std::string> taken;
    if (key->GetValueNames(names)) {
        taken.assign(names.begin(), names.end());
    }
    bool stored = false;
    while (!failed_.empty()) {
        std::string name = HintName(counter++);
        while (IsTaken(taken, name)) {
            name = HintName(counter++);
        }
        const PingItem& item = failed_.front();
        Note("[" + name + "] " + item.url);
        if (!key->SetString(name, item.url)) {
            break;  // the rest stays in memory for the next save
        }
        taken.push_back(name);
        failed_.pop_front();
        stored = true;
    }
    if (stored) {
        vmds::FlushInstallArea();  // the stored pings outlast a power loss
    }
}

void PingManager::SetNoteSink(const NoteSink& sink) {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    notes_ = sink;
}

void PingManager::Note(const std::string& text) {
    if (notes_) {
        try {
            notes_(text);
        } catch (...) {
            // A note that cannot be told is lost; the store goes on.
        }
    }
}

void PingManager::LoadFailedPings() {
    vmds::IVomoSettings::Ptr key;
    if (!vmds::OpenSettings(kReportsKey, vmds::kOpenMachineWrite, &key) || !key) {
        return;
    }
    vmds::IVomoSettings::NameSetU names;
    key->GetValueNames(names);
    for (const std::string& name : names) {
        std::string url;
        if (!key->GetString(name, url)) {
            continue;
        }
        key->DeleteValue(name);
        if (IsValidPingUrl(url)) {
            Append(url, true);
        }
    }
    key->DeleteKey();
}
