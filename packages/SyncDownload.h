// SyncDownload: the blocking download behind ISyncDownload, over the platform's URL-to-file
// transfer, and BindStatusCallback, the object through which the platform's progress reports
// reach the download's observer.
#pragma once

#include <atomic>
#include <cstdint>

#include <boost/thread/mutex.hpp>

#include "packages/ISyncDownload.h"
#include "packages/SizeLimits.h"
#include "platform/Download.h"

// Relays progress reports of one transfer to an observer. Made with a reference count of 1 and
// freed by the Release that brings the count to 0. The observer is guarded by the object's own
// mutex, held while the observer runs: once SetObserver returns, the previous observer is
// neither running nor called again.
class BindStatusCallback final : public platform::IDownloadStatusCallback {
public:
    explicit BindStatusCallback(ISyncDownloadCB* observer);
    BindStatusCallback(const BindStatusCallback&) = delete;
    BindStatusCallback& operator=(const BindStatusCallback&) = delete;

    uint32_t AddRef() override;
    uint32_t Release() override;
    // Passes (progress, maximum, 2, text) to the observer, with both numbers capped at the
    // largest 32-bit value and an absent text as the empty text. An observer answering false
    // aborts the transfer. Without an observer the transfer simply goes on.
    int32_t OnProgress(uint64_t progress, uint64_t progressMax, const char* statusText) override;

    void SetObserver(ISyncDownloadCB* observer);

private:
    ~BindStatusCallback() = default;

    std::atomic<uint32_t> references_;
    boost::mutex mutex_;
    ISyncDownloadCB* observer_;
};

// Downloads one URL at a time to a new local file, relaying progress to the current observer.
// Reusable: every Download makes and drops its own BindStatusCallback. SetCallback and
// ClearCallback may be called from another thread while a download runs, but not from within
// the observer's OnProgress. A resource of more than the size cap fails the download.
class SyncDownload : public ISyncDownload {
public:
    explicit SyncDownload(uint64_t maxBytes = kPackageMaxBytes) : maxBytes_(maxBytes) {}
    bool SetCallback(ISyncDownloadCB* callback) override;
    bool ClearCallback() override;
    bool Download(const Url& url, const Url& file) override;

private:
    const uint64_t maxBytes_;
    boost::mutex mutex_;  // guards the two fields below
    BindStatusCallback* active_ = nullptr;
    ISyncDownloadCB* observer_ = nullptr;
};
