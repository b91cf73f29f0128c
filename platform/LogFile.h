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
// (the calling thread's last error says why) when the file cannot be opened or written, when
// the name holds a link or anything but a regular file (a FIFO is never written: no write
// raises SIGPIPE), or when the folder is one another user could swap the file in (Folders.h's
// IsTrustworthyFolder).
bool AppendToLog(const std::string& path, const std::string& text);

// Reads the log at `path` from byte `offset` to its end into `text`, and its size into `size`,
// never following a link under the name and never reading anything but a regular file (as the
// writer opens it). An offset at or past the end reads nothing. False (the last error says why)
// when it cannot be opened or read.
bool ReadLog(const std::string& path, uint64_t offset, std::string& text, uint64_t& size);

}  // namespace platform
