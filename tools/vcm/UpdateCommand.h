// vcm update: installs the manifest version of components through the library's
// VCM_UpdateComponents, showing the run's progress on standard error (Progress.h), and, with
// --due, first checks every installed component by the update schedule, as
// VCM_CheckForUpdates does without force, and updates those that have an update.
#pragma once

#include <string>

#include "tools/vcm/HostLibrary.h"
#include "tools/vcm/Report.h"

namespace vcmtool {

// Updates the components `ids` ("id;id;..."). The live progress line when standard error is a
// terminal; installers' output on standard error there, or anywhere with `verbose`. The
// library's result; the JSON document's "ids" are the ids updated.
int Update(const Library& library, ComponentManager* manager, const std::string& ids, bool verbose,
           Outcome& outcome);

// Checks each installed component by the schedule and updates those with an update, in one run.
// 0 when nothing is due, nothing has an update, or the update succeeded; else the failing
// check's or update's result. An installed component the manifest does not know is left alone,
// with a warning. The ids updated are the outcome's ids; the document adds "checked" (the
// installed ids) and "updates" (those that had one).
int UpdateDue(const Library& library, ComponentManager* manager, bool verbose, Outcome& outcome);

}  // namespace vcmtool
