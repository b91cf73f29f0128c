// The manifest download: starting it and polling it.
#include <exception>

#include <boost/make_shared.hpp>

#include "engine/ManifestDocument.h"
#include "engine/VomoInstallImpl.h"
#include "packages/AsyncDownloadImpl.h"
#include "packages/IFileOperations.h"
#include "packages/IInstallerTempDir.h"
#include "packages/SizeLimits.h"

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
    cabinetPath_ = target;
    downloadTag_ = tag;
    manifestChecked_ = false;
    try {
        manifestDownload_ = boost::make_shared<AsyncDownloadImpl>(
            manifestUrl_.ToString(), target.GetPath(), kManifestCabinetMaxBytes);
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
    if (manifestChecked_) {
        return manifestVerdict_;
    }
    uint32_t progress = 0;
    uint32_t progressMax = 0;
    uint32_t state = 0;
    std::string text;
    manifestDownload_->GetStatus(progress, progressMax, state, text);
    if (state == kStateFailed) {
        eventLog_->WriteError("Manifest download from %s failed: %s\n",
                              manifestUrl_.ToString().c_str(), text.c_str());
        manifestChecked_ = true;
        manifestVerdict_ = kDownloadFailed;
        return kDownloadFailed;
    }
    if (state != kStateFinished) {
        return kDownloadRunning;
    }
    eventLog_->WriteInfo("Manifest downloaded from %s: %u bytes\n", manifestUrl_.ToString().c_str(),
                         progress);
    Url extracted;
    uint32_t verdict = VerifyAndExtractManifest(cabinetPath_, extracted);
    // Whatever the verdict, the cabinet has served its purpose: a refused download is not left
    // behind, and only the extracted manifest is read from now on.
    const boost::shared_ptr<IFileOperations> files = CreateFileOperations();
    files->RemoveAll(cabinetPath_);
    // The extracted manifest is parsed here once: its version is checked on the tree, which
    // then serves every reader of this manifest (ReadManifest).
    boost::shared_ptr<ManifestDocument> document;
    if (verdict == kSuccess) {
        document = boost::make_shared<ManifestDocument>();
        if (document->Load(extracted.GetPath()) != ManifestDocument::kLoaded) {
            document.reset();  // judged by its signature alone; the load reports it
        }
        verdict = CheckManifestFreshness(document ? document->Root() : nullptr);
        if (verdict != kSuccess) {
            files->RemoveAll(extracted);
        }
    }
    if (verdict == kSuccess) {
        manifestPath_ = extracted;
        ownsManifestFile_ = true;
        verifiedManifest_ = document;
    }
    manifestChecked_ = true;
    manifestVerdict_ = verdict;
    return verdict;
}
