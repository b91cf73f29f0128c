#include "api/FirstInstallHints.h"

namespace vcm {

void SendInstallHints(ISettings& settings, IPingSender* pinger, const std::vector<std::string>& ids,
                      bool succeeded) {
    for (const std::string& id : ids) {
        if (settings.IsUniqueInstallRecorded(id) || !settings.IsInstalled(id)) {
            continue;
        }
        if (succeeded) {
            if (settings.RecordUniqueInstall(id) && pinger) {
                pinger->SendComponentHint(id, false);
            }
        } else if (pinger) {
            pinger->SendComponentHint(id, true);
        }
    }
}

}  // namespace vcm
