#include "tools/vcm/RolloutCheck.h"

#include <cstdio>
#include <vector>

#include "api/ComponentManager.h"
#include "tools/vcm/LogView.h"
#include "tools/vcm/Meanings.h"

namespace vcmtool {

int CheckIgnoringRollout(const std::string& ids, bool force) {
    const std::streamoff logStart = LogSize();
    std::vector<std::string> list = SplitList(ids.c_str());
    int result = 0;
    {
        ComponentManager manager;  // shut down, as VCM_Shutdown does, before the log is read
        manager.SetRolloutIgnored(true);
        result = manager.CheckForUpdates(list, force);
    }
    if (result == 0) {
        for (const std::string& id : list) {
            std::printf("%s\n", id.c_str());
        }
        std::fflush(stdout);
        return 0;
    }
    const std::string why = LastErrorLine(logStart);
    std::fprintf(stderr, "vcm: %s%s%s\n", Meaning("check", result), why.empty() ? "" : ": ",
                 why.c_str());
    return result;
}

}  // namespace vcmtool
