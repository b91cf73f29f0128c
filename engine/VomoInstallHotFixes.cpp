// Hot fixes: the small packages of the manifest's "hotfixDefinitions" section that repair an
// installed component, kept for the hot-fix session.
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include <boost/chrono/duration.hpp>
#include <boost/thread/thread.hpp>

#include "engine/ManifestDocument.h"
#include "engine/ManifestQuery.h"
#include "engine/Version.h"
#include "engine/VomoInstallImpl.h"
#include "packages/PackageDigest.h"
#include "platform/Interrupt.h"
#include "registry/IComponentRegistry.h"

namespace {

const uint32_t kSuccess = 0;
const uint32_t kDownloadRunning = 5;
const boost::chrono::milliseconds kPollInterval(10);

bool SameHotFix(const HotFixRecord& a, const HotFixRecord& b) {
    return a.id == b.id && a.componentId == b.componentId && a.version == b.version &&
           a.packageType == b.packageType && a.commandLineArgs == b.commandLineArgs &&
           a.url == b.url && a.packageSha256 == b.packageSha256;
}

}  // namespace

// The manifest path names only a manifest that was verified and extracted (or one a caller
// vouched for), so the file there is read when it opens. Otherwise a download is started and
// polled to its end, and read only once it was verified.
bool VomoInstallImpl::OpenVerifiedManifest(boost::shared_ptr<const ManifestDocument>& document) {
    uint32_t loaded = ReadManifest(document);  // an empty path does not open
    if (loaded == ManifestDocument::kUnavailable) {
        if (BeginManifestDownload("dummy") != kSuccess) {
            return false;  // also while another download runs or after one was refused
        }
        uint32_t polled;
        platform::InterruptScope interrupts;  // a host's interrupt ends the download
        while ((polled = PollManifestDownload()) == kDownloadRunning) {
            boost::this_thread::sleep_for(kPollInterval);
            platform::PollInterrupt();
        }
        if (polled != kSuccess) {
            return false;
        }
        loaded = ReadManifest(document);
    }
    return loaded == ManifestDocument::kLoaded;
}

// A hot fix applies to a component recorded as installed whose installed version is not above
// the hot fix's version. A hot fix already in the list is not appended again, so that asking
// twice does not run the same package twice.
bool VomoInstallImpl::GetHotFixes() {
    boost::shared_ptr<const ManifestDocument> document;
    if (!OpenVerifiedManifest(document)) {
        return false;
    }
    std::vector<HotFixRecord> found;
    try {
        std::vector<const TiXmlNode*> nodes;
        QueryNodes(document->Root(), "//hotfixDefinitions/hotfix", nodes);
        for (const TiXmlNode* node : nodes) {
            HotFixRecord hotFix;
            std::string versionText;
            ComponentRecord installed;
            if (!QueryText(node, "componentId", hotFix.componentId) ||
                !Registry().IsComponentInstalled(hotFix.componentId) ||
                Registry().LoadComponent(hotFix.componentId, installed) != 0 ||
                !QueryText(node, "version", versionText) ||
                !Version(versionText).GreaterOrEqual(installed.installedVersion)) {
                continue;
            }
            hotFix.version = versionText;
            std::string text;
            QueryAttribute(node, "self::hotfix", "id", hotFix.id);
            if (QueryText(node, "//package/type", text)) {
                hotFix.packageType = PackageTypeFromText(text);
            }
            QueryText(node, "//package/commandLineArgs", hotFix.commandLineArgs);
            QueryText(node, "//package/url", hotFix.url);
            if (QueryText(node, "//package/sha256", text)) {
                hotFix.packageSha256 = PresentDigestText(text);
            }
            found.push_back(hotFix);
        }
    } catch (const std::exception&) {
        return false;  // the list stays as it was
    }
    bool appended = false;
    for (const HotFixRecord& hotFix : found) {
        const auto same = [&hotFix](const HotFixRecord& other) {
            return SameHotFix(hotFix, other);
        };
        if (std::none_of(hotFixes_.begin(), hotFixes_.end(), same)) {
            hotFixes_.push_back(hotFix);
            appended = true;
        }
    }
    return appended;
}
