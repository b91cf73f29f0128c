// vcm list: the installed components, as the registry records them, with the version the
// manifest offers when the manifest can be prepared (downloaded, verified, read) now. Reads the
// registry and the manifest through the library's own code built into vcm, as uninstall does:
// the six functions offer no list.
#pragma once

#include <string>
#include <vector>

#include "tools/vcm/Report.h"

namespace vcmtool {

// The ids of the installed components, in byte order.
std::vector<std::string> InstalledIds();

// Lists the installed components into the outcome: a line "id<TAB>installed version<TAB>
// manifest version<TAB>install folder" each ("-" for what is not known), and "components" of the
// JSON document, with "manifest" telling whether the manifest could be prepared. 0: a manifest
// that cannot be prepared only leaves the manifest's versions unknown (its reason is the
// outcome's reason).
int List(Outcome& outcome);

}  // namespace vcmtool
