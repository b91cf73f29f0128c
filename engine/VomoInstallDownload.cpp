// The manifest download: starting it and polling it.
#include <exception>

#include <boost/make_shared.hpp>

#include "engine/VomoInstallImpl.h"
#include "packages/AsyncDownloadImpl.h"
#include "packages/IInstallerTempDir.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kNoDownload = 4;
const uint32_t kDownloadRunning = 5;
const uint32_t kNoTemporaryName = 7;
const uint32_t kDownloadFailed = 8;

const uint32_t kStateFinished = 3;
const uint32_t kStateFailed = 4;

}  // namespace

uint32_t VomoInstallImpl::BeginManifestDownload(const std::string& tag) {
    if (manifestDownload_) {
        return kDownloadRunning;
    }
    Url target;
    const boost::shared_ptr<IInstallerTempDir> tempDir = GetInstallerTempDir();
    if (!tempDir || !tempDir->MakeUniquePath(target)) {
        return kNoTemporaryName;
    }
    manifestPath_ = target;
    downloadTag_ = tag;
    manifestReady_ = false;
    try {
        manifestDownload_ =
            boost::make_shared<AsyncDownloadImpl>(manifestUrl_.ToString(), target.GetPath());
    } catch (const std::exception&) {
        return kDownloadFailed;  // no worker thread could be started
    }
    return kSuccess;
}

uint32_t VomoInstallImpl::BeginManifestDownloadFor(const std::string& tag,
                                                   const std::string& name) {
    downloadName_ = name;
    return BeginManifestDownload(tag);
}

uint32_t VomoInstallImpl::PollManifestDownload() {
    if (!manifestDownload_) {
        return kNoDownload;
    }
    if (manifestReady_) {
        return kSuccess;
    }
    uint32_t progress = 0;
    uint32_t progressMax = 0;
    uint32_t state = 0;
    std::string text;
    manifestDownload_->GetStatus(progress, progressMax, state, text);
    if (state == kStateFailed) {
        return kDownloadFailed;
    }
    if (state != kStateFinished) {
        return kDownloadRunning;
    }
    const uint32_t verified = VerifyAndExtractManifest();
    manifestReady_ = verified == kSuccess;
    return verified;
}
