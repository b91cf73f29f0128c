// The install hints a run sends when it ends, whether an update run of the component manager or
// a first install of a setup program: the first install of a component on this machine is
// recorded and reported once, and a failed run reports each component it may have left broken.
#pragma once

#include <string>
#include <vector>

#include "api/IInstallHints.h"
#include "api/ISettings.h"

namespace vcm {

// For the components `ids`, in the order given, after a run that `succeeded` or failed:
// - succeeded: each component that is installed and whose first install was never recorded
//   gets its record now and, when that record was written, the success hint;
// - failed: each component that is installed and whose first install was never recorded gets
//   the failure hint; nothing is recorded, so every failed run reports again and a later
//   success still sends the success hint.
// No hint goes out without a `pinger`; what the pinger answers is not looked at.
void SendInstallHints(ISettings& settings, IPingSender* pinger, const std::vector<std::string>& ids,
                      bool succeeded);

}  // namespace vcm
