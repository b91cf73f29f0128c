#include "tools/vcm/ListCommand.h"

#include <set>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "api/Addresses.h"
#include "api/InstallLog.h"
#include "engine/VomoInstallImpl.h"
#include "registry/IComponentRegistry.h"
#include "settings/KeyName.h"
#include "tools/vcm/LogView.h"

namespace vcmtool {

namespace {

const boost::chrono::milliseconds kPollInterval(10);
// Engine answers of a manifest download's poll that mean it has ended in failure.
const uint32_t kNoDownload = 4;
const uint32_t kDownloadFailed = 8;
const uint32_t kSignatureFailed = 18;
const uint32_t kExtractionFailed = 19;

// Downloads, verifies and loads the manifest, as a host's first request does; true when the
// engine holds its catalogue.
bool PrepareManifest(VomoInstallImpl& engine) {
    if (engine.BeginManifestDownload("VomoUpdate") != 0) {
        return false;
    }
    for (;;) {
        const uint32_t polled = engine.PollManifestDownload();
        if (polled == 0) {
            break;
        }
        if (polled == kNoDownload || polled == kDownloadFailed || polled == kSignatureFailed ||
            polled == kExtractionFailed) {
            return false;
        }
        boost::this_thread::sleep_for(kPollInterval);
    }
    return engine.LoadManifest() == 0;
}

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

nlohmann::ordered_json OrNull(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

}  // namespace

std::vector<std::string> InstalledIds() {
    std::set<std::string> keys;
    CreateComponentRegistry()->GetInstalledComponentIds(keys);
    std::vector<std::string> ids;
    for (const std::string& id : keys) {
        if (vmds::IsComponentKeyName(id)) {
            ids.push_back(id);
        }
    }
    return ids;
}

int List(Outcome& outcome) {
    const boost::shared_ptr<IComponentRegistry> registry = CreateComponentRegistry();
    const std::streamoff logStart = LogSize();
    VomoInstallImpl engine(Url(vcm::ManifestUrlText()), 0);
    engine.SetEventLog(boost::make_shared<vcm::InstallLog>());
    const bool prepared = PrepareManifest(engine);
    if (!prepared) {
        outcome.reason = LastErrorLine(logStart);
    }
    nlohmann::ordered_json& listed = outcome.details["components"] =
        nlohmann::ordered_json::array();
    for (const std::string& id : InstalledIds()) {
        ComponentRecord record;
        if (registry->LoadComponent(id, record) != 0) {
            continue;  // gone since the ids were read, or unreadable
        }
        const std::string installed =
            record.installedVersion.IsValid() ? record.installedVersion.ToString() : "";
        std::string offered;
        vmi::ComponentPtr component;
        Version latest;
        if (prepared && engine.GetComponent(id, component) == 0 && component &&
            component->GetLatestVersion(latest) == 0 && latest.IsValid()) {
            offered = latest.ToString();
        }
        outcome.ids.push_back(id);
        outcome.lines.push_back(id + "\t" + OrDash(installed) + "\t" + OrDash(offered) + "\t" +
                                OrDash(record.installDir));
        listed.push_back({{"id", id},
                          {"installedVersion", OrNull(installed)},
                          {"manifestVersion", OrNull(offered)},
                          {"installDir", OrNull(record.installDir)}});
    }
    outcome.details["manifest"] = prepared;
    return 0;
}

}  // namespace vcmtool
