// Refusal of a manifest older than one accepted before. A signed manifest stays verifiable
// forever, so whoever stands between a machine and the distribution server could serve an old
// one and keep the machine on old versions. The highest manifest version accepted on the
// machine is kept in the machine part of the registry; a verified manifest whose version is
// lower is refused like a bad signature. A manifest without a valid version is judged by its
// signature alone, as is every manifest while nothing is recorded (or the record does not
// parse, or the registry cannot be read).
#include <exception>
#include <string>

#include "engine/ManifestQuery.h"
#include "engine/Version.h"
#include "engine/VomoInstallImpl.h"
#include "settings/InstallerSettingsImpl.h"
#include "settings/SettingsAccessors.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kSignatureCheckFailed = 18;

// Below "Install" in the machine hive.
const char kSetupKey[] = "Setup";
const char kHighestVersionValue[] = "HighestManifestVersion";

// The manifest's own version, as the manifest load reads it; not valid when absent.
Version ManifestVersionOf(const TiXmlElement* root) {
    Version version;
    if (!root) {
        return version;
    }
    try {
        std::string text;
        if (QueryAttribute(root, "//manifest", "version", text)) {
            version.Parse(text);
        }
    } catch (const std::exception&) {
        return Version();
    }
    return version;
}

}  // namespace

uint32_t VomoInstallImpl::CheckManifestVersion(const TiXmlElement* root) {
    const Version version = ManifestVersionOf(root);
    if (!version.IsValid()) {
        return kSuccess;
    }
    InstallerSettingsImpl settings;
    std::string recordedText;
    Version recorded;
    if (settings.GetString(kSetupKey, kHighestVersionValue, recordedText)) {
        recorded.Parse(recordedText);
    }
    if (recorded.IsValid() && version.LessThan(recorded)) {
        eventLog_->WriteError("Manifest version %s is older than version %s accepted before",
                              version.ToString().c_str(), recorded.ToString().c_str());
        return kSignatureCheckFailed;
    }
    // Recorded only now, with the manifest verified, extracted and its version read; an equal
    // version needs no write. A machine part that cannot be written (a user without rights to
    // it) leaves the check as it was: the manifest is still accepted.
    if (!recorded.IsValid() || version.GreaterThan(recorded)) {
        // Forced to the disk: a power loss must not bring an older manifest back within reach.
        if (settings.SetString(kSetupKey, kHighestVersionValue, version.ToString())) {
            vmds::FlushInstallArea();
        }
    }
    return kSuccess;
}
