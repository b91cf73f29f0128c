// Folders made on demand: the registry's hive folders and the install log's folder; and the check
// of a folder that files are made in. Windows folders have no permission bits: there `mode` is
// ignored and a new folder takes the access rules its parent passes on.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Makes `folder` and every missing folder above it with permission bits `mode` (as the umask
// leaves them); true when it exists as a folder afterwards. An empty path is true. On failure
// errno says why (ENOTDIR when something other than a folder is in the way).
bool MakeFolders(const std::string& folder, uint32_t mode);

// Whether files may be made in `folder` (a temporary or log folder named by the environment)
// without another user being able to take, swap or remove them: it is a folder (a link to one
// is judged by its target), owned by the super-user or the process's effective user, and when
// users other than its owner may write it (group or others' write permission) it has the
// sticky bit, as /tmp has. Only the folder itself is judged, not those above it. False, with
// the calling thread's last error (LastError.h) saying why, otherwise. On Windows, whose
// folders are guarded by access lists, every existing folder passes.
bool IsTrustworthyFolder(const std::string& folder);

}  // namespace platform
