// `vcm check --ignore-rollout`: what a tester of a staged release gets, whatever share of the
// machines its rollout has reached.
//
// The six exported functions are every host's fixed interface, so no seventh is added for a
// tester's wish; and no environment variable of the library switches rollouts off, since one
// set where updaters are started (a service's environment file, a shell profile) would
// silently send every release to a whole fleet at once, and would be one more input every host
// had to guard. vcm instead runs the update check of the library's own code (vcm links it, as
// for uninstall and hotfix) with rollouts ignored, over the same registry, verified manifest,
// schedule and install log as the library loaded by a host.
#pragma once

#include <string>

#include "tools/vcm/Report.h"

namespace vcmtool {

// Checks the components `ids` ("id;id;...") for updates as VCM_CheckForUpdates does (only the
// due ones unless `force`), with every staged rollout ignored. Fills `outcome` with the check's
// result, the ids with an update and, on a failure, the install log's reason.
void CheckIgnoringRollout(const std::string& ids, bool force, Outcome& outcome);

}  // namespace vcmtool
