// Private temporary folders that processes left when they were killed are removed; a folder of
// a process that still runs, of another user, or anything else, is not.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/TempFile.h"
#include "support/TempDir.h"

namespace {

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// A process that makes a private folder with a file in it and reports its path; it then ends
// without removing it, or lives on until `release` is closed.
pid_t MakeFolderInChild(bool livesOn, std::string& folder, int& release) {
    int report[2];
    int hold[2];
    if (::pipe(report) != 0 || ::pipe(hold) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(hold[1]);
        std::string path;
        if (!platform::MakePrivateDirectory("vomo-", path) ||
            !testsupport::WriteFile(path + "/package", "bytes")) {
            ::_exit(1);
        }
        (void)!::write(report[1], path.c_str(), path.size());
        ::close(report[1]);
        char byte;
        if (livesOn) {
            (void)!::read(hold[0], &byte, 1);  // until the test closes its end
        }
        ::_exit(0);  // without removing anything, as a killed process would
    }
    ::close(report[1]);
    ::close(hold[0]);
    char buffer[4096];
    const ssize_t got = ::read(report[0], buffer, sizeof buffer);
    ::close(report[0]);
    folder = got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
    release = hold[1];
    return child;
}

TEST(LeftoverFoldersTest, OnlyTheFoldersOfEndedProcessesGo) {
    testsupport::TempDir tmp("vcm-leftovers");
    const char* previous = std::getenv("TMPDIR");
    const std::string before = previous ? previous : "";
    ::setenv("TMPDIR", tmp.Path().c_str(), 1);

    std::string own;
    ASSERT_TRUE(platform::MakePrivateDirectory("vomo-", own));
    std::string living, ended;
    int livingRelease = -1, endedRelease = -1;
    const pid_t livingChild = MakeFolderInChild(true, living, livingRelease);
    const pid_t endedChild = MakeFolderInChild(false, ended, endedRelease);
    ASSERT_GT(livingChild, 0);
    ASSERT_GT(endedChild, 0);
    ASSERT_EQ(endedChild, ::waitpid(endedChild, nullptr, 0));
    ASSERT_FALSE(living.empty());
    ASSERT_FALSE(ended.empty());

    // Look alike, but none of them is an abandoned folder of this user's.
    const std::string open = tmp.File("vomo-open");
    const std::string foreign = tmp.File("vomo-foreign");
    const std::string link = tmp.File("vomo-link");
    const std::string file = tmp.File("vomo-file");
    const std::string unnamed = tmp.File("other-folder");
    // A script's own `mktemp -d vomo-XXXXXX` and `vomo-demo-XXXXXX`: private, this user's, no
    // mark; and one whose mark is a link to a file.
    const std::string scripts = tmp.File("vomo-Ab12Cd");
    const std::string demo = tmp.File("vomo-demo-Ab12Cd");
    const std::string linkedMark = tmp.File("vomo-Xy34Zw");
    for (const std::string& folder : {scripts, demo, linkedMark}) {
        ASSERT_EQ(0, ::mkdir(folder.c_str(), 0700));
        ASSERT_TRUE(testsupport::WriteFile(folder + "/data", "kept"));
    }
    ASSERT_EQ(0, ::symlink((scripts + "/data").c_str(),
                           (linkedMark + "/" + platform::kPrivateDirectoryMark).c_str()));
    // A process killed between making its folder and marking it leaves it empty and unmarked.
    const std::string unmarked = tmp.File("vomo-Qr56St");
    ASSERT_EQ(0, ::mkdir(unmarked.c_str(), 0700));
    ASSERT_EQ(0, ::mkdir(open.c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(foreign.c_str(), 0700));
    ASSERT_TRUE(testsupport::WriteFile(foreign + "/data", "kept"));
    if (::geteuid() == 0) {
        ASSERT_EQ(0, ::chown(foreign.c_str(), 65534, 65534));
    }
    ASSERT_EQ(0, ::symlink(ended.c_str(), link.c_str()));
    ASSERT_TRUE(testsupport::WriteFile(file, ""));
    ASSERT_EQ(0, ::mkdir(unnamed.c_str(), 0700));

    EXPECT_EQ(2u, platform::RemoveAbandonedPrivateDirectories(tmp.Path()));
    EXPECT_FALSE(Exists(ended));
    EXPECT_FALSE(Exists(unmarked));
    for (const std::string& kept :
         {own, living, open, foreign, link, file, unnamed, scripts, demo, linkedMark}) {
        EXPECT_TRUE(Exists(kept)) << kept;
    }

    ::close(livingRelease);  // the living process ends now
    ASSERT_EQ(livingChild, ::waitpid(livingChild, nullptr, 0));
    EXPECT_EQ(1u, platform::RemoveAbandonedPrivateDirectories(tmp.Path()));
    EXPECT_FALSE(Exists(living));
    EXPECT_TRUE(platform::RemovePrivateDirectory(own));
    EXPECT_FALSE(Exists(own));

    ::close(endedRelease);
    if (previous) {
        ::setenv("TMPDIR", before.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

}  // namespace
