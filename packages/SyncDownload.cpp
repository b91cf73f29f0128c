#include "packages/SyncDownload.h"

#include <limits>

#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

namespace {

// The state every report carries: the transfer is under way.
const uint32_t kStateTransferring = 2;

uint32_t Capped(uint64_t value) {
    const uint64_t largest = std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(value < largest ? value : largest);
}

}  // namespace

BindStatusCallback::BindStatusCallback(ISyncDownloadCB* observer)
    : references_(1), observer_(observer) {}

uint32_t BindStatusCallback::AddRef() {
    return ++references_;
}

uint32_t BindStatusCallback::Release() {
    const uint32_t remaining = --references_;
    if (remaining == 0) {
        delete this;
    }
    return remaining;
}

int32_t BindStatusCallback::OnProgress(uint64_t progress, uint64_t progressMax,
                                       const char* statusText) {
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (!observer_) {
        return platform::kProgressContinue;
    }
    const std::string text = statusText ? statusText : "";
    const bool goOn =
        observer_->OnProgress(Capped(progress), Capped(progressMax), kStateTransferring, text);
    return goOn ? platform::kProgressContinue : platform::kProgressAbort;
}

void BindStatusCallback::SetObserver(ISyncDownloadCB* observer) {
    boost::lock_guard<boost::mutex> lock(mutex_);
    observer_ = observer;
}

bool SyncDownload::SetCallback(ISyncDownloadCB* callback) {
    boost::lock_guard<boost::mutex> lock(mutex_);
    observer_ = callback;
    if (active_) {
        active_->SetObserver(callback);
    }
    return true;
}

bool SyncDownload::ClearCallback() {
    return SetCallback(nullptr);
}

bool SyncDownload::Download(const Url& url, const Url& file) {
    BindStatusCallback* callback = nullptr;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        callback = new BindStatusCallback(observer_);
        active_ = callback;
    }
    bool succeeded = false;
    try {
        succeeded =
            platform::DownloadUrlToFile(url.ToString(), file.GetPath(), maxBytes_, callback);
    } catch (const std::exception&) {
        succeeded = false;
    }
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        callback->SetObserver(nullptr);
        active_ = nullptr;
    }
    callback->Release();
    return succeeded;
}

boost::shared_ptr<ISyncDownload> CreateSyncDownload() {
    return boost::make_shared<SyncDownload>();
}
