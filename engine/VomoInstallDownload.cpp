// The manifest download: start, poll, verification and extraction.
#include "engine/VomoInstallImpl.h"

uint32_t VomoInstallImpl::BeginManifestDownload(const std::string&) {
    return 7;
}

uint32_t VomoInstallImpl::BeginManifestDownloadFor(const std::string& tag,
                                                   const std::string& name) {
    downloadName_ = name;
    return BeginManifestDownload(tag);
}

uint32_t VomoInstallImpl::PollManifestDownload() {
    return 4;
}
