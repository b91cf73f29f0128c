// Engine operations that read the manifest file.
#include "engine/VomoInstallImpl.h"

uint32_t VomoInstallImpl::LoadManifest() {
    return 7;
}

uint32_t VomoInstallImpl::FindComponentsBySpec(const SpecQuery&, std::set<std::string>&) {
    return 2;
}

uint32_t VomoInstallImpl::CreateComponentFromManifest(const std::string&, const std::string&,
                                                      vmi::ComponentPtr&) {
    return 2;
}

uint32_t VomoInstallImpl::ReadManifestVersion(Version&) {
    return 7;
}

uint32_t VomoInstallImpl::GetManifestVersion(Version& version) {
    if (!manifestVersion_.IsValid()) {
        ReadManifestVersion(manifestVersion_);
    }
    version = manifestVersion_;
    return 0;
}

uint32_t VomoInstallImpl::GetSetupServerUrl(Url&) {
    return 7;
}

uint32_t VomoInstallImpl::GetPostInstallPage(const std::vector<std::string>&, std::string&) {
    return 2;
}
