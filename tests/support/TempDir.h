// A fresh directory in the system temporary directory ($TMPDIR or /tmp; on Windows the folder
// GetTempPathW names), removed with everything in it on destruction.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vcm-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path of `name` inside the directory, joined with the system's separator.
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

// Whole-file helpers for tests.
bool WriteFile(const std::string& path, const std::string& contents);
bool ReadFile(const std::string& path, std::string& contents);

// Lets every user enter and read the folder `path` (mode 0755), for a child that runs as
// another user; nothing on Windows.
void OpenForOthers(const std::string& path);

// Sets or removes an environment variable of the test process.
void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);
// The entries below `dir`, at any depth, that are not folders (files, links): what was left
// behind in it. The mark of a private folder (platform/TempFile.h) belongs to the folder and is
// not counted.
std::vector<std::string> FilesBelow(const std::string& dir);
size_t CountFilesBelow(const std::string& dir);
#ifndef _WIN32
// True when `path` lies in a private folder (a directory, not a link, owned by this user, mode
// 0700, as lstat reads it) that stands directly in `parent`.
bool InPrivateFolderOf(const std::string& path, const std::string& parent);
#endif

// Runs a shell command; its exit status (or -1). Output goes to the test's own output.
int RunCommand(const std::string& command);
// Runs a shell command and captures its standard output.
int RunCommandOutput(const std::string& command, std::string& output);

}  // namespace testsupport
