// The install log's file: where it lives, and appending to it.
//
// The folder is VOMO_LOG_DIR when set and not empty; otherwise /var/log/vomo for the super-user
// and ${XDG_STATE_HOME:-$HOME/.local/state}/vomo for anyone else (on Windows the Vomo\Logs folder
// of the common application data folder for an administrator, of the user's local application
// data folder otherwise). The file is "install.log" there, mode 0644; past kLogRotateBytes it is
// renamed to "install.log.1" (replacing an older one) and a new file is begun.
//
// Appending is safe from several threads and several processes at once: each call opens the
// file, takes an exclusive advisory lock (on Windows a lock of the whole file, with the file
// shared for deletion so that a rotation may rename it while others hold it), rotates when due,
// writes its text in one call and closes the file, so lines of different writers never mix and
// none is lost to a rotation.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

const uint64_t kLogRotateBytes = 1024 * 1024;

// The full path of the install log; empty when no folder can be named (no HOME).
std::string InstallLogPath();

// Appends `text` to the log at `path`, creating the file and its folders when missing; false
// (the calling thread's last error says why) when the file cannot be opened or written.
bool AppendToLog(const std::string& path, const std::string& text);

}  // namespace platform
