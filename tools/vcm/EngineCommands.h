// The two commands of vcm that the library's six functions do not offer: removing installed
// components and installing the hot fixes that apply. They drive the library's engine directly
// (vcm links the library's internals for them, as vomo-reg does), with the same registry, the
// same verified manifest download and the same install log as the library loaded by a host.
//
// Both run on the calling thread until the work has ended and tell what they did in the
// outcome (Report.h) that the caller prints; their results are vcm's exit statuses.
#pragma once

#include <string>

#include "tools/vcm/Report.h"

namespace vcmtool {

// Uninstall's answer when every component was removed and a restart finishes the removal.
const int kRestartRequired = 13;

// Removes the installed components `ids` ("id;id;..."; an install group stands for its
// members), with every installed component that requires one of them. The ids removed go to
// the outcome's ids. 0 removed; 13 removed, restart required; 2 an id is not installed (nothing is
// removed); 10 an uninstaller failed (the components after it stay installed); 15 no id given;
// other values: the uninstall could not start.
int Uninstall(const std::string& ids, Outcome& outcome);

// Finds the hot fixes of the manifest that apply to the installed components, downloading and
// verifying the manifest, and installs them. Each goes to the outcome as a line "id component
// version" and as an entry of its "hotFixes". 0
// installed; 2 no hot fix applies; 8 the manifest could not be downloaded; 18 its signature
// was refused; 19 it could not be extracted; 9 a hot fix failed to install; other values: the
// hot fixes could not be started.
int HotFix(Outcome& outcome);

}  // namespace vcmtool
