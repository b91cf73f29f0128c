#include "platform/FileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/LastError.h"

namespace platform {

namespace {

const int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::atomic<void (*)(const std::string&)> probeForTesting(nullptr);

bool Failed() {
    SetLastErrorFromErrno();
    return false;
}

// The names in the open folder `folder`, "." and ".." left out.
bool ListEntries(int folder, std::vector<std::string>& names) {
    const int listing = ::dup(folder);  // closedir closes the copy, not the caller's descriptor
    if (listing < 0) {
        return Failed();
    }
    DIR* stream = ::fdopendir(listing);
    if (!stream) {
        ::close(listing);
        return Failed();
    }
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
        errno = 0;
    }
    const int error = errno;
    ::closedir(stream);
    if (error != 0) {
        errno = error;
        return Failed();
    }
    return true;
}

bool RemoveBelow(int folder);

// Removes the entry `name` of the open folder `parent`.
bool RemoveEntry(int parent, const std::string& name) {
    struct stat info;
    if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? true : Failed();
    }
    if (S_ISDIR(info.st_mode)) {
        if (void (*probe)(const std::string&) = probeForTesting.load()) {
            probe(name);
        }
        const int child = ::openat(parent, name.c_str(), kOpenFolder);
        if (child >= 0) {
            const bool emptied = RemoveBelow(child);
            ::close(child);
            if (!emptied) {
                return false;
            }
            if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) {
                return true;
            }
            return Failed();
        }
        if (errno != ELOOP && errno != ENOTDIR) {
            return errno == ENOENT ? true : Failed();
        }
        // Swapped for a link or a file since it was looked at: removed as what it is now.
    }
    if (::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT) {
        return true;
    }
    return Failed();
}

// Empties the open folder `folder`.
bool RemoveBelow(int folder) {
    struct stat info;
    if (::fstat(folder, &info) != 0) {
        return Failed();
    }
    if ((info.st_mode & S_IRWXU) != S_IRWXU) {
        ::fchmod(folder, (info.st_mode & 07777) | S_IRWXU);  // best effort: listing says the rest
    }
    std::vector<std::string> names;
    if (!ListEntries(folder, names)) {
        return false;
    }
    for (const std::string& name : names) {
        if (!RemoveEntry(folder, name)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool RemoveTree(const std::string& path) {
    if (path.empty()) {
        return true;  // names nothing
    }
    // The path's own entry is removed relative to its parent folder like every other entry, so
    // that a swap of the last element between look and removal changes nothing. Trailing "/"
    // are dropped: "dir/" names the folder itself, and a link is never followed.
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed[trimmed.size() - 1] == '/') {
        trimmed.erase(trimmed.size() - 1);
    }
    const std::string::size_type slash = trimmed.rfind('/');
    const std::string parentPath =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : trimmed.substr(0, slash));
    const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        errno = EINVAL;
        return Failed();
    }
    // The folders above the last element are the caller's: they are followed as given. O_PATH
    // needs only search permission, as a removal by path does.
    const int parent = ::open(parentPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        return errno == ENOENT || errno == ENOTDIR ? true : Failed();  // nothing stands there
    }
    const bool removed = RemoveEntry(parent, name);
    ::close(parent);
    return removed;
}

void SetRemoveTreeProbeForTesting(void (*probe)(const std::string& name)) {
    probeForTesting.store(probe);
}

}  // namespace platform
