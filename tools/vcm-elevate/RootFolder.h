// The folder vcm-elevate works in, which only root can write, and the copy of the package into
// it.
#pragma once

#include <cstdint>
#include <string>

#include <boost/function.hpp>

namespace elevate {

// A new folder, mode 0700, made with mkdtemp in the first of /var/cache and /run that is a
// folder owned by root which nobody else may write. Removed, with everything in it, when the
// object goes.
class RootFolder {
public:
    RootFolder() = default;
    ~RootFolder();
    RootFolder(const RootFolder&) = delete;
    RootFolder& operator=(const RootFolder&) = delete;

    // False, with a reason, when no such folder can be made.
    bool Make(std::string& reason);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Copies the regular file `source` (opened without following a link under its name; a FIFO,
// a device or a folder is refused, not read) to the new file `destination` (created
// exclusively, mode 0600), at most `limit` bytes. `stop` is asked between pieces; when it
// answers true the copy ends. False, with a reason, on any failure; a partial copy is removed.
bool CopyPackage(const std::string& source, const std::string& destination, uint64_t limit,
                 const boost::function<bool()>& stop, std::string& reason);

}  // namespace elevate
