// Removal of a file or a folder with everything in it.
//
// The walk never leaves the tree it was given: every folder is opened without following a
// symbolic link (O_NOFOLLOW), and its entries are examined and removed relative to that open
// folder (openat, unlinkat), never again by path. A link met anywhere, the given path included,
// is removed as a link; what it points to is never touched, even when someone swaps a link in
// for a folder while the walk runs. Folders are made writable and searchable by their owner
// first, so that read-only content goes too; a read-only file needs nothing more, as its own
// permission bits do not guard its removal.
//
// On Windows every entry is opened as itself (a symbolic link or junction as the link), whether
// it is a folder to empty is read from that open handle, a folder is held open without delete
// sharing while its entries go (so it can be neither renamed nor swapped meanwhile), and
// entries are removed through their handles; read-only attributes are cleared first, as Windows
// refuses to delete a read-only file.
//
// May be called from any thread; failures record the reason as the thread's last error.
#pragma once

#include <string>

namespace platform {

// Removes `path` and, for a folder, everything below it. True when the path no longer exists
// (a path that never existed included); false when its state cannot be read or an entry
// cannot be removed.
bool RemoveTree(const std::string& path);

// Test hook: `probe` is called with the name of every folder entry the walk found to be a folder,
// after that look and before the folder is opened, so that a test can swap a link in at that
// very moment. Null removes it. Never set by the product.
void SetRemoveTreeProbeForTesting(void (*probe)(const std::string& name));

}  // namespace platform
