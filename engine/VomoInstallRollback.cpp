// Refusal of stale manifests. A signed manifest stays verifiable forever, so whoever stands
// between a machine and the distribution server could serve an old one and keep the machine on
// old versions, or keep serving the last one for ever so that the machine never learns of a fix.
// Two guards answer, both applied to a manifest whose signature was verified:
//
// - The highest manifest version accepted on the machine is kept in the machine part of the
//   registry; a verified manifest whose version is lower is refused like a bad signature. Once a
//   valid version was recorded, a manifest without a valid version (none, empty, "1.0") is
//   refused the same way: it could otherwise stand in for any old manifest. While nothing is
//   recorded (or the record does not parse, or the registry cannot be read), every manifest is
//   judged by its signature alone.
// - A manifest may say when it expires: the attribute "expires" of the manifest element, a UTC
//   date and time in ISO 8601. From that instant on it is refused like a bad signature. The
//   machine's clock decides; its skew is the machine's business. An expiry that cannot be read
//   refuses the manifest too: a guard that a typing error switched off would protect nobody.
//   Without the attribute a manifest does not expire.
//
// The expiry is checked first, so that an expired manifest never raises the recorded version.
#include <exception>
#include <string>

#include "engine/ManifestQuery.h"
#include "engine/UtcTime.h"
#include "engine/Version.h"
#include "engine/VomoInstallImpl.h"
#include "platform/Clock.h"
#include "settings/InstallerSettingsImpl.h"
#include "settings/SettingsAccessors.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kSignatureCheckFailed = 18;

// Below "Install" in the machine hive.
const char kSetupKey[] = "Setup";
const char kHighestVersionValue[] = "HighestManifestVersion";

// What the guards read of the manifest element: its version (not valid when absent) and its
// expiry text (empty when absent).
struct Freshness {
    Version version;
    bool expires = false;
    std::string expiry;
};

Freshness FreshnessOf(const TiXmlElement* root) {
    Freshness found;
    if (!root) {
        return found;
    }
    try {
        std::string text;
        if (QueryAttribute(root, "//manifest", "version", text)) {
            found.version.Parse(text);
        }
        found.expires = QueryAttribute(root, "//manifest", "expires", found.expiry);
    } catch (const std::exception&) {
        return Freshness();
    }
    return found;
}

}  // namespace

uint32_t VomoInstallImpl::CheckManifestFreshness(const TiXmlElement* root) {
    const Freshness found = FreshnessOf(root);
    if (found.expires) {
        int64_t expiry = 0;
        if (!ParseUtcTime(found.expiry, expiry)) {
            eventLog_->WriteError(
                "Manifest refused: its expiry \"%s\" is not a UTC date and time (ISO 8601)\n",
                found.expiry.c_str());
            return kSignatureCheckFailed;
        }
        if (platform::CurrentTime() >= expiry) {
            eventLog_->WriteError("Manifest refused: the manifest expired on %s\n",
                                  FormatUtcTime(expiry).c_str());
            return kSignatureCheckFailed;
        }
    }

    const Version& version = found.version;
    InstallerSettingsImpl settings;
    std::string recordedText;
    Version recorded;
    if (settings.GetString(kSetupKey, kHighestVersionValue, recordedText)) {
        recorded.Parse(recordedText);
    }
    if (!version.IsValid()) {
        if (!recorded.IsValid()) {
            return kSuccess;
        }
        eventLog_->WriteError("Manifest without a valid version, after version %s was accepted",
                              recorded.ToString().c_str());
        return kSignatureCheckFailed;
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
