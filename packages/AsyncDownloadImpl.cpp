#include "packages/AsyncDownloadImpl.h"

#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "packages/SyncDownload.h"
#include "platform/LastError.h"

namespace {

const uint32_t kStatePending = 1;
const uint32_t kStateFinished = 3;
const uint32_t kStateFailed = 4;

}  // namespace

AsyncDownloadImpl::AsyncDownloadImpl(const std::string& url, const std::string& targetPath,
                                     uint64_t maxBytes)
    : url_(url), targetPath_(targetPath), maxBytes_(maxBytes), state_(kStatePending) {
    // Last, once every member is in place: the worker uses them at once.
    worker_ = boost::thread([this] { Run(); });
}

AsyncDownloadImpl::~AsyncDownloadImpl() {
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        if (running_) {
            cancelled_ = true;
        }
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

void AsyncDownloadImpl::GetStatus(uint32_t& progress, uint32_t& progressMax, uint32_t& state,
                                  std::string& statusText) {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    progress = progress_;
    progressMax = progressMax_;
    state = state_;
    statusText = statusText_;
}

void AsyncDownloadImpl::Cancel() {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    cancelled_ = true;
}

bool AsyncDownloadImpl::OnProgress(uint32_t progress, uint32_t progressMax, uint32_t state,
                                   const std::string& statusText) {
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    progress_ = progress;
    progressMax_ = progressMax;
    state_ = state;
    statusText_ = statusText;
    return !cancelled_;
}

void AsyncDownloadImpl::Run() {
    bool succeeded = false;
    bool cancelledEarly = false;
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        cancelledEarly = cancelled_;
    }
    std::string reason = "cancelled";
    if (!cancelledEarly) {
        try {
            const boost::shared_ptr<ISyncDownload> download =
                boost::make_shared<SyncDownload>(maxBytes_);
            download->SetCallback(this);
            succeeded = download->Download(Url(url_), Url::FromPath(targetPath_));
            download->ClearCallback();
            reason = platform::GetLastErrorText();
        } catch (const std::exception&) {
            succeeded = false;  // a text that is not a URL, or no memory
            reason = "not a usable address";
        }
    }
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    running_ = false;
    state_ = succeeded ? kStateFinished : kStateFailed;
    if (!succeeded) {
        statusText_ = reason;  // why, for the caller's log
    }
}
