// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on destruction.
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vcm-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path of `name` inside the directory.
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole-file helpers for tests.
bool WriteFile(const std::string& path, const std::string& contents);
bool ReadFile(const std::string& path, std::string& contents);

// The entries below `dir`, at any depth, that are not folders (files, links): what was left
// behind in it.
size_t CountFilesBelow(const std::string& dir);
// True when `path` lies in a private folder (a directory, not a link, owned by this user, mode
// 0700) that stands directly in `parent`.
bool InPrivateFolderOf(const std::string& path, const std::string& parent);

// Runs a shell command; its exit status (or -1). Output goes to the test's own output.
int RunCommand(const std::string& command);
// Runs a shell command and captures its standard output.
int RunCommandOutput(const std::string& command, std::string& output);

}  // namespace testsupport
