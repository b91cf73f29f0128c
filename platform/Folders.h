// Folders made on demand: the registry's hive folders and the install log's folder. Windows
// folders have no permission bits: there `mode` is ignored and a new folder takes the access
// rules its parent passes on.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Makes `folder` and every missing folder above it with permission bits `mode` (as the umask
// leaves them); true when it exists as a folder afterwards. An empty path is true. On failure
// errno says why (ENOTDIR when something other than a folder is in the way).
bool MakeFolders(const std::string& folder, uint32_t mode);

}  // namespace platform
