#include "sessions/DynamicSessionImpl.h"

#include <boost/bind/bind.hpp>
#include <boost/thread/lock_guard.hpp>

#include "sessions/InstallTransaction.h"

namespace {

typedef boost::lock_guard<boost::recursive_mutex> Lock;

const uint32_t kDownloading = 2;
const uint32_t kInstalling = 4;
const uint32_t kFinished = 7;
const uint32_t kFailed = 8;

}  // namespace

DynamicSessionImpl::DynamicSessionImpl(const vmi::ComponentList& components,
                                       const std::vector<std::string>& ids,
                                       const std::string& installDir,
                                       const boost::shared_ptr<vmi::IEventLog>& log)
    : components_(components), ids_(ids), installDir_(installDir), log_(log) {}

DynamicSessionImpl::~DynamicSessionImpl() {
    worker_.Join();
}

uint32_t DynamicSessionImpl::Start() {
    if (started_) {
        return 6;
    }
    std::vector<ComponentRecord> records;
    for (const std::string& id : ids_) {
        vmi::ComponentPtr found;
        for (const vmi::ComponentPtr& component : components_) {
            if (component && component->GetId() == id) {
                found = component;
                break;
            }
        }
        if (!found) {
            if (log_) {
                log_->WriteError("Component: [%s] - not a component of the manifest\n", id.c_str());
            }
            return 15;
        }
        ComponentRecord record;
        found->GetRecord(record);
        record.secondaryUrl = record.packageUrl;
        record.auxiliaryRefs.clear();
        record.installDir = installDir_;
        found->GetLatestVersion(record.latestVersion);
        records.push_back(record);
    }
    started_ = true;
    records_ = records;
    SetState(kDownloading);
    if (!worker_.Start(boost::bind(&DynamicSessionImpl::Work, this))) {
        SetState(kFailed);
        return 6;
    }
    return 0;
}

void DynamicSessionImpl::Work() {
    bool reboot = false;  // not copied: an update run never asks for a restart
    const uint32_t result = InstallTransaction::RunOnce(records_, this, log_, reboot);
    SetState(result == 0 ? kFinished : kFailed);
}

void DynamicSessionImpl::SetState(uint32_t state) {
    Lock lock(mutex_);
    state_ = state;
}

uint32_t DynamicSessionImpl::GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) {
    Lock lock(mutex_);
    position = 0;
    total = 0;
    state = state_;
    return 0;
}

uint32_t DynamicSessionImpl::GetCurrentComponent(vmi::ComponentPtr&) {
    return 2;
}

uint32_t DynamicSessionImpl::Cancel() {
    Lock lock(mutex_);
    cancelRequested_ = true;
    return 0;
}

uint32_t DynamicSessionImpl::GetCurrentComponentText(std::string&) {
    return 2;
}

uint32_t DynamicSessionImpl::GetStatusText(const std::string&, std::string&) {
    return 2;
}

bool DynamicSessionImpl::IsRebootRequired() {
    return false;
}

bool DynamicSessionImpl::OnDownloadProgress(uint32_t, uint32_t, uint32_t, uint32_t,
                                            const std::string&) {
    Lock lock(mutex_);
    state_ = kDownloading;
    return !cancelRequested_;
}

void DynamicSessionImpl::OnInstallStart(uint32_t, uint32_t, const std::string&) {
    SetState(kInstalling);
}
