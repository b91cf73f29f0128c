#include "sessions/InstallSessionImpl.h"

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "sessions/InstallTransaction.h"
#include "sessions/SessionComponents.h"
#include "sessions/SessionProgress.h"

namespace {

typedef boost::lock_guard<boost::recursive_mutex> Lock;

using namespace install_state;

const uint32_t kRestartRequired = 13;  // an installer's success that asks for a restart

}  // namespace

InstallSessionImpl::InstallSessionImpl(const std::vector<ComponentRecord>& records,
                                       const vmi::ComponentList& components,
                                       const std::vector<OfferRecord>& offers,
                                       const boost::shared_ptr<vmi::IEventLog>& log)
    : records_(records), components_(components), offerRecords_(offers), log_(log) {}

InstallSessionImpl::~InstallSessionImpl() {
    worker_.Join();
}

uint32_t InstallSessionImpl::Start() {
    {
        Lock lock(mutex_);
        if (started_) {
            return 6;
        }
        started_ = true;
        state_ = kDownloading;
        // The offers first, so that they install alongside the components.
        offers_.reserve(offerRecords_.size());
        for (const OfferRecord& offer : offerRecords_) {
            offers_.push_back(boost::make_shared<AsyncOfferInstall>(offer, log_));
        }
    }
    if (!worker_.Start(boost::bind(&InstallSessionImpl::Work, this))) {
        Lock lock(mutex_);
        state_ = kFailed;
        return 6;
    }
    return 0;
}

void InstallSessionImpl::Work() {
    bool reboot = false;
    const uint32_t result = InstallTransaction::RunOnce(records_, this, log_, reboot);
    Lock lock(mutex_);
    rebootRequired_ = rebootRequired_ || reboot;
    if (result == 0) {
        currentId_.clear();
        state_ = kOfferDownloading;
    } else {
        state_ = kFailed;
    }
}

uint32_t InstallSessionImpl::OfferState(size_t i) {
    switch (offers_[i]->GetState()) {
        case 0:
            return kOfferNotStarted;
        case 1:
            return kOfferDownloading;
        case 2:
            return kOfferInstalling;
        default:
            return kFinished;
    }
}

std::vector<OfferRecord> InstallSessionImpl::GetInstalledOffers() {
    Lock lock(mutex_);
    std::vector<OfferRecord> installed;
    for (const boost::shared_ptr<AsyncOfferInstall>& offer : offers_) {
        uint32_t result = 0;
        if (offer->GetInstallerResult(result) && (result == 0 || result == kRestartRequired)) {
            installed.push_back(offer->GetRecord());
        }
    }
    return installed;
}

uint32_t InstallSessionImpl::GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) {
    Lock lock(mutex_);
    uint32_t unfinished = 0;
    if (state_ == kOfferNotStarted || state_ == kOfferDownloading || state_ == kOfferInstalling) {
        uint32_t last = kFinished;
        for (size_t i = 0; i < offers_.size(); ++i) {
            const uint32_t offer = OfferState(i);
            if (offer != kFinished) {
                ++unfinished;
                last = offer;
            }
            if (offer == kOfferDownloading) {
                break;
            }
        }
        state_ = last;
    }
    position = position_ + unfinished;
    total = total_;
    state = state_;
    return 0;
}

vmi::ComponentPtr InstallSessionImpl::CurrentComponent() {
    return FindSessionComponent(components_, currentId_);
}

uint32_t InstallSessionImpl::GetCurrentComponent(vmi::ComponentPtr& component) {
    Lock lock(mutex_);
    const vmi::ComponentPtr current = CurrentComponent();
    if (!current) {
        return 2;
    }
    component = current;
    return 0;
}

uint32_t InstallSessionImpl::Cancel() {
    Lock lock(mutex_);
    cancelRequested_ = true;
    return 0;
}

uint32_t InstallSessionImpl::GetCurrentComponentText(std::string& text) {
    Lock lock(mutex_);
    return SessionComponentName(components_, currentId_, text);
}

uint32_t InstallSessionImpl::GetStatusText(const std::string& phase, std::string& text) {
    Lock lock(mutex_);
    const vmi::ComponentPtr current = CurrentComponent();
    if (current) {
        return SessionProgressText(current, phase, text);
    }
    const bool download = phase == "download";
    if (!download && phase != "install") {
        text.clear();
        return 2;
    }
    size_t unfinished = 0;
    size_t only = 0;
    for (size_t i = 0; i < offers_.size(); ++i) {
        if (OfferState(i) != kFinished) {
            ++unfinished;
            only = i;
        }
    }
    if (unfinished == 1) {
        const OfferRecord& offer = offers_[only]->GetRecord();
        text = download ? offer.downloadText : offer.installText;
    } else if (offers_.size() > 1) {
        text =
            download ? "Downloading offers, please wait..." : "Installing offers, please wait...";
    } else {
        text.clear();
    }
    return text.empty() ? 2 : 0;
}

bool InstallSessionImpl::IsRebootRequired() {
    Lock lock(mutex_);
    return rebootRequired_;
}

bool InstallSessionImpl::OnDownloadProgress(uint32_t progress, uint32_t progressMax, uint32_t index,
                                            uint32_t count, const std::string& id) {
    Lock lock(mutex_);
    DownloadProgress(progress, progressMax, index,
                     static_cast<uint64_t>(count) + offerRecords_.size(), position_, total_);
    state_ = kDownloading;
    currentId_ = id;
    return !cancelRequested_;
}

void InstallSessionImpl::OnInstallStart(uint32_t index, uint32_t count, const std::string& id) {
    Lock lock(mutex_);
    ScaleProgress(index, static_cast<uint64_t>(count) + offerRecords_.size(), position_, total_);
    state_ = kInstalling;
    currentId_ = id;
}
