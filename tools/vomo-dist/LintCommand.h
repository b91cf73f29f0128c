// `vomo-dist lint`, and the checks and the expiry of what `vomo-dist manifest` signs.
#pragma once

#include <string>
#include <vector>

class WorkFolder;

// vomo-dist lint MANIFEST [--packages DIR] [--previous URL-or-FILE] [--strict], `args` without
// the command. Prints the findings on standard output, one a line, then a count on standard
// error. 0 without errors (and, with --strict, without warnings); 1 with errors; 2 with
// warnings only under --strict, and on a usage error.
int RunLint(std::vector<std::string> args);

// What `vomo-dist manifest` signs for the manifest file `manifest`: the checks of lint (the
// findings on standard error), then, with `expires` (a --expires text) an expiry written into a
// copy in `work`. 0 with `packed` the file to pack; 1 when the manifest has errors or the copy
// cannot be made; 2 when `expires` names no instant to come.
int PrepareManifestForSigning(const std::string& manifest, const std::string& expires,
                              const WorkFolder& work, std::string& packed);
