#include "sessions/HotFixSessionImpl.h"

#include <exception>

#include <boost/bind/bind.hpp>
#include <boost/thread/lock_guard.hpp>

#include "registry/IComponentRegistry.h"
#include "sessions/InstallTransaction.h"
#include "sessions/SessionProgress.h"

namespace {

typedef boost::lock_guard<boost::recursive_mutex> Lock;

const uint32_t kDownloading = 2;
const uint32_t kInstalling = 3;
const uint32_t kFinished = 4;
const uint32_t kFailed = 5;

}  // namespace

HotFixSessionImpl::HotFixSessionImpl(const std::vector<HotFixRecord>& hotFixes,
                                     const boost::shared_ptr<vmi::IEventLog>& log,
                                     vmi::HotFixCompletion completion)
    : log_(log), completion_(completion) {
    const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
    for (const HotFixRecord& hotFix : hotFixes) {
        ComponentRecord installed;
        registry->LoadComponent(hotFix.componentId, installed);
        ComponentRecord record;
        record.id = hotFix.id.empty() ? hotFix.componentId : hotFix.id;
        record.keepRegistryKey = true;
        record.packageType = hotFix.packageType;
        record.commandLineArgs = hotFix.commandLineArgs;
        record.packageSha256 = hotFix.packageSha256;
        try {
            record.packageUrl = Url(hotFix.url);
        } catch (const std::exception&) {
            record.packageUrl = Url();  // not UTF-8: no address, which fails the download
        }
        record.latestVersion = Version(hotFix.version);
        record.installDir = installed.installDir;
        records_.push_back(record);
    }
}

HotFixSessionImpl::~HotFixSessionImpl() {
    worker_.Join();
}

uint32_t HotFixSessionImpl::Start() {
    if (started_) {
        return 6;
    }
    started_ = true;
    {
        Lock lock(mutex_);
        state_ = kInstalling;
    }
    if (!worker_.Start(boost::bind(&HotFixSessionImpl::Work, this))) {
        Lock lock(mutex_);
        state_ = kFailed;
        return 6;
    }
    return 0;
}

void HotFixSessionImpl::Work() {
    bool reboot = false;
    const uint32_t result = InstallTransaction::RunOnce(records_, this, log_, reboot);
    {
        Lock lock(mutex_);
        rebootRequired_ = reboot;
        state_ = result == 0 ? kFinished : kFailed;
    }
    if (completion_) {
        completion_(result == 0 ? 0 : 6);
    }
}

uint32_t HotFixSessionImpl::GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) {
    Lock lock(mutex_);
    position = position_;
    total = total_;
    state = state_;
    return 0;
}

bool HotFixSessionImpl::IsRebootRequired() {
    Lock lock(mutex_);
    return rebootRequired_;
}

bool HotFixSessionImpl::OnDownloadProgress(uint32_t progress, uint32_t progressMax, uint32_t index,
                                           uint32_t count, const std::string&) {
    Lock lock(mutex_);
    DownloadProgress(progress, progressMax, index, count, position_, total_);
    state_ = kDownloading;
    return true;
}

void HotFixSessionImpl::OnInstallStart(uint32_t index, uint32_t count, const std::string&) {
    Lock lock(mutex_);
    position_ = index;
    total_ = count;
    state_ = kInstalling;
}
