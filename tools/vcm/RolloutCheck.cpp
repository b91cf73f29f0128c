#include "tools/vcm/RolloutCheck.h"

#include <vector>

#include "api/ComponentManager.h"
#include "tools/vcm/LogView.h"

namespace vcmtool {

void CheckIgnoringRollout(const std::string& ids, bool force, Outcome& outcome) {
    const std::streamoff logStart = LogSize();
    std::vector<std::string> list = SplitList(ids.c_str());
    {
        ComponentManager manager;  // shut down, as VCM_Shutdown does, before the log is read
        manager.SetRolloutIgnored(true);
        outcome.result = manager.CheckForUpdates(list, force);
    }
    if (outcome.result == 0) {
        outcome.ids = list;
    } else {
        outcome.reason = LastErrorLine(logStart);
    }
}

}  // namespace vcmtool
