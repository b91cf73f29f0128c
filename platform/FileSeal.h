// The seal of a file: which file it is and what it holds, both read through one open
// descriptor, so that a later look can tell whether the file under a name is still the file that
// was sealed, unchanged.
//
// A file keeps its identity (the device and the file number on it) through renames; a file put
// in its place under the same name, a link to another file, or a copy of it has another. The
// digest, SHA-256 of every byte, tells a file rewritten in place.
//
// Where a second backend differs: on Windows the identity is the volume serial number and the
// file index of the open handle.
//
// Every function may run on several threads at once.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct FileSeal {
    uint64_t device = 0;
    uint64_t node = 0;
    uint64_t size = 0;
    std::string digest;  // the 32 bytes of SHA-256 over the content; empty in an unset seal

    bool operator==(const FileSeal& other) const {
        return !digest.empty() && device == other.device && node == other.node &&
               size == other.size && digest == other.digest;
    }
    bool operator!=(const FileSeal& other) const { return !(*this == other); }
};

// Seals the regular file at `path` (a directory or a FIFO under the name is refused, not waited
// on). False, with the last error recorded and `seal` as it was, when the file cannot be opened
// or read to its end.
bool SealFile(const std::string& path, FileSeal& seal);

}  // namespace platform
