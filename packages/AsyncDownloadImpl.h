// AsyncDownloadImpl: one download run on a worker thread of its own, polled for its last
// progress report.
#pragma once

#include <cstdint>
#include <string>

#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "packages/IAsyncDownload.h"
#include "packages/ISyncDownloadCB.h"
#include "packages/SizeLimits.h"

class AsyncDownloadImpl final : public IAsyncDownload, public ISyncDownloadCB {
public:
    // Starts downloading `url` into the new local file `targetPath` at once; a resource of more
    // than `maxBytes` bytes fails the download.
    AsyncDownloadImpl(const std::string& url, const std::string& targetPath,
                      uint64_t maxBytes = kPackageMaxBytes);
    AsyncDownloadImpl(const AsyncDownloadImpl&) = delete;
    AsyncDownloadImpl& operator=(const AsyncDownloadImpl&) = delete;
    // Cancels a transfer that is still running and returns once the worker has ended.
    ~AsyncDownloadImpl() override;

    // The last report: before any, progress 0, maximum 0, state 1 and the empty text.
    void GetStatus(uint32_t& progress, uint32_t& progressMax, uint32_t& state,
                   std::string& statusText) override;
    // The next progress report stops the transfer, which then ends in state 4.
    void Cancel() override;

    // Called on the worker thread for every report of the transfer.
    bool OnProgress(uint32_t progress, uint32_t progressMax, uint32_t state,
                    const std::string& statusText) override;

private:
    void Run();

    const std::string url_;
    const std::string targetPath_;
    const uint64_t maxBytes_;

    boost::recursive_mutex mutex_;  // guards everything below but the thread
    uint32_t progress_ = 0;
    uint32_t progressMax_ = 0;
    uint32_t state_;
    std::string statusText_;
    bool cancelled_ = false;
    bool running_ = true;

    boost::thread worker_;
};
