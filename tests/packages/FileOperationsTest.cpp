// FileOperations, FileIO, OSUtilities and the temporary-name source.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <vector>

#include <boost/filesystem.hpp>

#include "packages/FileIO.h"
#include "packages/FileOperations.h"
#include "packages/InstallerTempDirImpl.h"
#include "packages/OSUtilities.h"
#include "platform/FileTree.h"
#include "support/TempDir.h"

namespace {

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

std::string Contents(const std::string& path) {
    std::string contents;
    testsupport::ReadFile(path, contents);
    return contents;
}

// Points TMPDIR somewhere else for one test.
class TemporaryDirectoryOverride {
public:
    explicit TemporaryDirectoryOverride(const std::string& path) {
        const char* previous = std::getenv("TMPDIR");
        hadPrevious_ = previous != nullptr;
        previous_ = previous ? previous : "";
        ::setenv("TMPDIR", path.c_str(), 1);
    }
    ~TemporaryDirectoryOverride() {
        if (hadPrevious_) {
            ::setenv("TMPDIR", previous_.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

private:
    bool hadPrevious_;
    std::string previous_;
};

class FileOperationsTest : public ::testing::Test {
protected:
    Url At(const std::string& name) { return Url::FromPath(dir.File(name)); }

    testsupport::TempDir dir{"vcm-fileops"};
    FileOperations operations;
};

TEST_F(FileOperationsTest, UniqueNamesAreFreshVomoNamesInTheChosenFolder) {
    const std::regex form("vomo[0-9a-f]{4}");
    TemporaryDirectoryOverride tmp(dir.Path());
    Url first, second;
    ASSERT_TRUE(operations.MakeUniquePath(Url(), first));
    ASSERT_TRUE(operations.MakeUniquePath(Url(), second));
    EXPECT_EQ("file", first.GetScheme());
    EXPECT_NE(first, second);
    for (const Url* name : {&first, &second}) {
        const boost::filesystem::path path(name->GetPath());
        EXPECT_EQ(dir.Path(), path.parent_path().string());
        EXPECT_TRUE(std::regex_match(path.filename().string(), form)) << path;
        EXPECT_FALSE(Exists(path.string()));  // naming creates nothing
    }

    // A "%" in the folder's name is part of the folder, not of the model.
    ASSERT_EQ(0, ::mkdir(dir.File("100%").c_str(), 0700));
    Url inside;
    ASSERT_TRUE(operations.MakeUniquePath(At("100%"), inside));
    EXPECT_EQ(dir.File("100%"), boost::filesystem::path(inside.GetPath()).parent_path().string());
}

// A missing folder, and one whose path a "file" Url would cut at its "?" (so that one name
// would be checked and another handed out).
TEST_F(FileOperationsTest, UnusableTemporaryDirectoryGivesNoName) {
    ASSERT_EQ(0, ::mkdir(dir.File("a?b").c_str(), 0700));
    for (const char* folder : {"does-not-exist", "a?b"}) {
        SCOPED_TRACE(folder);
        TemporaryDirectoryOverride tmp(dir.File(folder));
        Url name;
        EXPECT_FALSE(operations.MakeUniquePath(Url(), name));
        EXPECT_FALSE(GetInstallerTempDir()->MakeUniquePath(name));
        EXPECT_TRUE(name.IsEmpty());
    }
    EXPECT_FALSE(CreateOSUtilities()->GetLastErrorText().empty());
    EXPECT_EQ(0u, testsupport::CountFilesBelow(dir.Path()));
}

TEST_F(FileOperationsTest, RemoveAllRemovesReadOnlyContentButNeverFollowsLinks) {
    EXPECT_TRUE(operations.RemoveAll(At("missing")));

    const std::string outside = dir.File("outside");
    ASSERT_EQ(0, ::mkdir(outside.c_str(), 0700));
    ASSERT_TRUE(testsupport::WriteFile(outside + "/keep", "kept"));
    const std::string tree = dir.File("tree");
    ASSERT_EQ(0, ::mkdir(tree.c_str(), 0700));
    ASSERT_EQ(0, ::mkdir((tree + "/sub").c_str(), 0700));
    ASSERT_TRUE(testsupport::WriteFile(tree + "/sub/readonly", "x"));
    ASSERT_EQ(0, ::chmod((tree + "/sub/readonly").c_str(), 0444));
    ASSERT_EQ(0, ::chmod((tree + "/sub").c_str(), 0555));
    ASSERT_EQ(0, ::symlink(outside.c_str(), (tree + "/link").c_str()));

    EXPECT_TRUE(operations.RemoveAll(At("tree")));
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ("kept", Contents(outside + "/keep"));

    // A path whose state cannot be read may still exist: that is no success.
    ASSERT_EQ(0, ::symlink("loop-b", dir.File("loop-a").c_str()));
    ASSERT_EQ(0, ::symlink("loop-a", dir.File("loop-b").c_str()));
    EXPECT_FALSE(operations.RemoveAll(At("loop-a/x")));
}

// The folder "tree", or its subfolder "sub", is exchanged with a link to a folder outside just
// after the walk found it to be a folder: the walk removes the link and never reaches through.
std::string swapName, swapFolder, swapLink;

TEST_F(FileOperationsTest, RemoveAllNeverFollowsALinkSwappedInForAFolder) {
    const std::string outside = dir.File("outside");
    ASSERT_EQ(0, ::mkdir(outside.c_str(), 0700));
    ASSERT_TRUE(testsupport::WriteFile(outside + "/keep", "kept"));
    for (const std::string name : {"tree", "sub"}) {
        SCOPED_TRACE(name);
        const std::string tree = dir.File(name + "-tree");
        ASSERT_EQ(0, ::mkdir(tree.c_str(), 0700));
        ASSERT_EQ(0, ::mkdir((tree + "/sub").c_str(), 0700));
        ASSERT_TRUE(testsupport::WriteFile(tree + "/sub/file", "x"));
        swapName = name == "tree" ? name + "-tree" : name;
        swapFolder = name == "tree" ? tree : tree + "/sub";
        swapLink = dir.File(name + "-link");
        ASSERT_EQ(0, ::symlink(outside.c_str(), swapLink.c_str()));
        platform::SetRemoveTreeProbeForTesting([](const std::string& found) {
            if (found == swapName) {
                platform::SetRemoveTreeProbeForTesting(nullptr);
                ::renameat2(AT_FDCWD, swapFolder.c_str(), AT_FDCWD, swapLink.c_str(),
                            RENAME_EXCHANGE);
            }
        });
        EXPECT_TRUE(operations.RemoveAll(Url::FromPath(tree)));
        platform::SetRemoveTreeProbeForTesting(nullptr);
        EXPECT_FALSE(Exists(swapFolder));
        EXPECT_EQ("kept", Contents(outside + "/keep"));
        EXPECT_TRUE(boost::filesystem::is_directory(  // the folder swapped out is left alone
            boost::filesystem::symlink_status(swapLink)));
    }
}

TEST_F(FileOperationsTest, DirectoriesAreCreatedOneLevelAndRecreatedEmpty) {
    EXPECT_TRUE(operations.CreateDirectory(At("new")));
    EXPECT_FALSE(operations.CreateDirectory(At("new")));
    EXPECT_FALSE(operations.CreateDirectory(At("absent/child")));
    ASSERT_TRUE(testsupport::WriteFile(dir.File("new/old"), "old"));
    EXPECT_TRUE(operations.Recreate(At("new")));
    EXPECT_TRUE(boost::filesystem::is_empty(dir.File("new")));
}

TEST_F(FileOperationsTest, CopyRefusesAnyExistingDestination) {
    ASSERT_TRUE(testsupport::WriteFile(dir.File("source"), "payload"));
    ASSERT_TRUE(testsupport::WriteFile(dir.File("existing"), "mine"));
    ASSERT_EQ(0, ::symlink(dir.File("through-link").c_str(), dir.File("dangling").c_str()));

    EXPECT_TRUE(operations.CopyFile(At("source"), At("copy")));
    EXPECT_EQ("payload", Contents(dir.File("copy")));
    EXPECT_TRUE(operations.CopyFile(dir.File("source"), dir.File("copy2")));
    EXPECT_EQ("payload", Contents(dir.File("copy2")));

    EXPECT_FALSE(operations.CopyFile(At("source"), At("existing")));
    EXPECT_FALSE(operations.CopyFile(dir.File("source"), dir.File("existing")));
    EXPECT_EQ("mine", Contents(dir.File("existing")));
    EXPECT_FALSE(operations.CopyFile(At("source"), At("dangling")));
    EXPECT_FALSE(Exists(dir.File("through-link")));
    EXPECT_FALSE(operations.CopyFile(At("absent"), At("copy3")));
}

TEST_F(FileOperationsTest, FileIOReadsWholeCountsOnlyInMode0) {
    ASSERT_TRUE(testsupport::WriteFile(dir.File("three"), "abc"));
    FileIO io;
    EXPECT_FALSE(io.Open(dir.File("three"), 1));
    EXPECT_FALSE(io.Open(dir.File("absent"), 0));
    char buffer[4] = {0};
    ASSERT_TRUE(io.Open(dir.File("three"), 0));
    EXPECT_FALSE(io.Read(buffer, 4));
    ASSERT_TRUE(io.Open(dir.File("three"), 0));  // reopening starts afresh
    EXPECT_TRUE(io.Read(buffer, 3));
    EXPECT_EQ("abc", std::string(buffer, 3));
    EXPECT_FALSE(io.Read(buffer, 1));
    io.Close();
    EXPECT_FALSE(io.Read(buffer, 1));
}

// Names in a folder every user can write could all be taken (65536 of them) or swapped by
// anyone: the process-wide source names in a private folder of its own.
TEST_F(FileOperationsTest, ProcessWideTempDirNamesInAPrivateFolderAndTouchesNothing) {
    TemporaryDirectoryOverride tmp(dir.Path());
    ASSERT_TRUE(testsupport::WriteFile(dir.File("unrelated"), "stays"));
    const boost::shared_ptr<IInstallerTempDir> shared = GetInstallerTempDir();
    EXPECT_EQ(shared, GetInstallerTempDir());
    EXPECT_TRUE(shared->Recreate());
    EXPECT_EQ("stays", Contents(dir.File("unrelated")));
    Url name;
    ASSERT_TRUE(shared->MakeUniquePath(name));
    EXPECT_TRUE(testsupport::InPrivateFolderOf(name.GetPath(), dir.Path()));
    EXPECT_TRUE(std::regex_match(boost::filesystem::path(name.GetPath()).filename().string(),
                                 std::regex("vomo[0-9a-f]{4}")));
}

// A private folder that went away or was opened to others, or a new system temporary directory,
// gets a new folder; destruction removes every folder made, with what was left in it, and
// nothing else.
TEST_F(FileOperationsTest, PrivateFoldersAreMadeWhenNeededAndRemovedWithTheSource) {
    ASSERT_EQ(0, ::mkdir(dir.File("other").c_str(), 0700));
    ASSERT_TRUE(testsupport::WriteFile(dir.File("unrelated"), "stays"));
    std::vector<std::string> folders;
    {
        InstallerTempDirImpl source((InstallerTempDirImpl::PrivateFolder()));
        Url name;
        TemporaryDirectoryOverride tmp(dir.Path());
        ASSERT_TRUE(source.MakeUniquePath(name));
        folders.push_back(boost::filesystem::path(name.GetPath()).parent_path().string());
        ASSERT_TRUE(operations.RemoveAll(Url::FromPath(folders[0])));
        ASSERT_TRUE(source.MakeUniquePath(name));
        EXPECT_TRUE(testsupport::InPrivateFolderOf(name.GetPath(), dir.Path()));
        ASSERT_TRUE(testsupport::WriteFile(name.GetPath(), "left behind"));
        folders.push_back(boost::filesystem::path(name.GetPath()).parent_path().string());
        ASSERT_EQ(0, ::chmod(folders[1].c_str(), 0777));
        ASSERT_TRUE(source.MakeUniquePath(name));
        EXPECT_TRUE(testsupport::InPrivateFolderOf(name.GetPath(), dir.Path()));
        folders.push_back(boost::filesystem::path(name.GetPath()).parent_path().string());
        ASSERT_EQ(0, ::chmod(folders[1].c_str(), 0700));  // as made, for the removal below
        TemporaryDirectoryOverride other(dir.File("other"));
        ASSERT_TRUE(source.MakeUniquePath(name));
        EXPECT_TRUE(testsupport::InPrivateFolderOf(name.GetPath(), dir.File("other")));
        folders.push_back(boost::filesystem::path(name.GetPath()).parent_path().string());
    }
    for (const std::string& folder : folders) {
        EXPECT_FALSE(Exists(folder)) << folder;
    }
    EXPECT_EQ("stays", Contents(dir.File("unrelated")));
    EXPECT_TRUE(Exists(dir.File("other")));
}

TEST_F(FileOperationsTest, TempDirWithABaseOwnsThatFolder) {
    ASSERT_EQ(0, ::mkdir(dir.File("base").c_str(), 0700));
    {
        InstallerTempDirImpl tempDir(CreateFileOperations(), At("base"));
        ASSERT_TRUE(testsupport::WriteFile(dir.File("base/left"), "x"));
        EXPECT_TRUE(tempDir.Recreate());
        EXPECT_TRUE(boost::filesystem::is_empty(dir.File("base")));
        Url name;
        ASSERT_TRUE(tempDir.MakeUniquePath(name));
        EXPECT_EQ(dir.File("base"), boost::filesystem::path(name.GetPath()).parent_path().string());
    }
    EXPECT_FALSE(Exists(dir.File("base")));
}

}  // namespace
