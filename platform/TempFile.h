// Temporary files of the platform: the system temporary directory, and files created under
// generated names.
//
// A generated name lives in a directory that other users may write (/tmp), so a file made under
// it is always created exclusively: when anything already stands at the name, a file, a
// directory or a symbolic link, dangling or not, creation fails and nothing is followed,
// truncated or overwritten. The new file is readable and writable by its owner only.
//
// On Windows the system temporary directory is the folder GetTempPathW names (from TMP, TEMP or
// the user's profile), without its trailing ""; a private folder is one whose access list lets
// only its owner, the process's user, in (and IsPrivateDirectory asks that it is a directory,
// not a link or junction, owned by that user); files are created exclusively (CREATE_NEW) and
// are not inherited by programs this process starts.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The system temporary directory: $TMPDIR when it is set and not empty (and the process does not
// run in secure mode, Environment.h), otherwise /tmp. False, with the last error recorded, when
// that is not an existing directory or not one files may safely be made in (a folder another
// user owns, or one others may write without the sticky bit: Folders.h's IsTrustworthyFolder).
bool GetTempDirectory(std::string& directory);

// A new folder in the system temporary directory, named `prefix` and six random characters,
// that only its owner may list and enter (mode 0700): what a program is unpacked into before
// it runs, out of other users' reach. False, with the last error recorded, on failure.
//
// The folder holds a lock for as long as its process lives, or until RemovePrivateDirectory:
// on POSIX an exclusive flock on the folder itself, through a descriptor that programs the
// process starts do not inherit; on Windows an open handle to it. A folder whose lock is free
// was left by a process that ended without removing it (killed, or its host crashed): before
// the process makes its first folder in a temporary directory, such folders there whose names
// start with kPrivateDirectoryPrefix are removed with everything in them
// (RemoveAbandonedPrivateDirectories). The folder also holds an empty file named
// kPrivateDirectoryMark, made once the lock is held, which tells it from a folder of the same
// kind of name that someone else made (a script's own `mktemp -d vomo-...`).
bool MakePrivateDirectory(const std::string& prefix, std::string& path);

// Removes a folder MakePrivateDirectory made, with everything in it, and releases its lock.
// True when it is gone.
bool RemovePrivateDirectory(const std::string& path);

// The start of the names of the folders that RemoveAbandonedPrivateDirectories looks at.
const char kPrivateDirectoryPrefix[] = "vomo-";

// The file in each folder MakePrivateDirectory made.
const char kPrivateDirectoryMark[] = ".vomo-private";

// Removes the folders of `directory` that MakePrivateDirectory made in processes that no longer
// run: named kPrivateDirectoryPrefix and more, folders themselves (not links), owned by this
// process's user, private to it, and whose lock is free. One that holds the mark as a file goes
// with everything in it; one without goes only when empty (a process that ended between making
// and marking its folder left it empty, and anyone else's keeps whatever it holds). A folder of
// a process that still runs, or of another user, or anything else, is left alone. The number of
// folders removed.
size_t RemoveAbandonedPrivateDirectories(const std::string& directory);

// A file created exclusively and open for writing.
class ExclusiveFile {
public:
    ExclusiveFile() = default;
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;
    // Closes a file that is still open; the file itself stays.
    ~ExclusiveFile();

    // Creates `path` exclusively with owner read and write permission. False, with the last
    // error recorded, when the name is taken or cannot be created.
    bool Create(const std::string& path);
    // Writes all of `size` bytes; false with the last error recorded on failure.
    bool Write(const void* data, size_t size);
    // Empties the file and writes again from its start: for a transfer that starts over.
    // False, with the last error recorded, on failure.
    bool Truncate();
    // Closes the file; false when data may not have reached it.
    bool Close();
    // Closes the file and removes it: for a transfer that did not complete. Only the file this
    // object created is ever removed.
    void Discard();

    bool IsOpen() const { return descriptor_ >= 0; }
    const std::string& Path() const { return path_; }

private:
    int descriptor_ = -1;
    bool created_ = false;
    std::string path_;
};

// True when `path` is still a folder as MakePrivateDirectory makes it: a directory itself (not a
// link to one), owned by the calling process's user, with mode 0700.
bool IsPrivateDirectory(const std::string& path);

}  // namespace platform
