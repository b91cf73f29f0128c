// The hive files beneath the POSIX registry: what happens to hives that are missing, damaged,
// replaced or read-only, and where they are made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "RegistryHelpers.h"
#include "platform/LastError.h"
#include "platform/Registry.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

using namespace platform;
using regtest::Handle;

namespace {

class RegistryHiveTest : public ::testing::Test {
protected:
    testsupport::ScopedRegistryRoot root_;
};

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

TEST_F(RegistryHiveTest, MissingHiveReadsAsEmptyWithoutMakingAFile) {
    Handle key;
    EXPECT_EQ(kErrorFileNotFound, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo", key));
    EXPECT_EQ(nullptr, key.key);

    Handle rootKey;
    ASSERT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"", rootKey));
    uint32_t subKeys = 9, values = 9;
    EXPECT_EQ(0u, RegQueryInfoKeyW(rootKey.key, nullptr, nullptr, nullptr, &subKeys, nullptr,
                                   nullptr, &values, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, subKeys);
    EXPECT_EQ(0u, values);
    char16_t name[16];
    uint32_t length = 16;
    EXPECT_EQ(kErrorNoMoreItems,
              RegEnumKeyExW(rootKey.key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(kErrorFileNotFound,
              RegQueryValueExW(rootKey.key, u"x", nullptr, nullptr, nullptr, nullptr));
    // Deleting what is not there changes nothing either.
    EXPECT_EQ(kErrorFileNotFound, RegDeleteValueW(rootKey.key, u"x"));
    EXPECT_EQ(kErrorFileNotFound, SHDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE"));
    EXPECT_EQ(kErrorFileNotFound, GetLastErrorCode());

    EXPECT_FALSE(FileExists(root_.MachineHive()));
    EXPECT_FALSE(FileExists(root_.UserHive()));
}

TEST_F(RegistryHiveTest, FirstWriteMakesTheHiveAndItsFolders) {
    const std::string nested = root_.Path() + "/deeper/still";
    testsupport::SetEnvironment("VOMO_REGISTRY_ROOT", nested);
    EXPECT_EQ(nested + "/user.db", RegistryHiveFile(kHKeyCurrentUser));

    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo\\Settings", key));
    ASSERT_EQ(0u, regtest::Set(key.key, u"v", kRegDword, std::string("\x2a\0\0\0", 4)));

    struct stat st;
    ASSERT_EQ(0, ::stat((nested + "/user.db").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777) << "the user hive is private to its user";
    EXPECT_FALSE(FileExists(nested + "/machine.db"));
}

TEST_F(RegistryHiveTest, DamagedHiveFailsWithoutBeingReplaced) {
    std::string garbage;
    for (int i = 0; i < 800; ++i) {
        garbage += "not a hive ";
    }
    ASSERT_TRUE(testsupport::WriteFile(root_.MachineHive(), garbage));

    Handle key;
    EXPECT_EQ(kErrorRegistryCorrupt, regtest::Open(kHKeyLocalMachine, u"SOFTWARE", key));
    EXPECT_FALSE(GetLastErrorText().empty());
    EXPECT_EQ(kErrorRegistryCorrupt, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo", key));
    EXPECT_EQ(kErrorRegistryCorrupt, regtest::Set(kHKeyLocalMachine, u"v", kRegSz, "x"));
    EXPECT_EQ(kErrorRegistryCorrupt, SHDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE"));
    uint32_t count = 0;
    EXPECT_EQ(kErrorRegistryCorrupt,
              RegQueryInfoKeyW(kHKeyLocalMachine, nullptr, nullptr, nullptr, &count, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));

    std::string after;
    ASSERT_TRUE(testsupport::ReadFile(root_.MachineHive(), after));
    EXPECT_TRUE(garbage == after) << "the damaged file was changed";
    // The other hive is not affected.
    EXPECT_EQ(0u, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo", key));
}

TEST_F(RegistryHiveTest, ForeignDatabaseIsNeverWritten) {
    const std::string command =
        "sqlite3 '" + root_.UserHive() + "' 'CREATE TABLE mine(x); INSERT INTO mine VALUES(42);'";
    ASSERT_EQ(0, testsupport::RunCommand(command));
    std::string before;
    ASSERT_TRUE(testsupport::ReadFile(root_.UserHive(), before));

    Handle key;
    EXPECT_EQ(kErrorRegistryCorrupt, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo", key));
    EXPECT_EQ(kErrorRegistryCorrupt, regtest::Open(kHKeyCurrentUser, u"SOFTWARE", key));

    std::string after;
    ASSERT_TRUE(testsupport::ReadFile(root_.UserHive(), after));
    EXPECT_TRUE(before == after) << "the foreign database was changed";
}

TEST_F(RegistryHiveTest, RemovedHiveFileMakesOldHandlesDeleted) {
    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo\\A", key));
    for (const char* suffix : {"", "-wal", "-shm"}) {
        ::unlink((root_.UserHive() + suffix).c_str());
    }
    // A new file gets new keys; the old handle must not land on one of them.
    Handle fresh;
    ASSERT_EQ(0u, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo\\B", fresh));
    EXPECT_EQ(kErrorKeyDeleted, regtest::Set(key.key, u"v", kRegSz, regtest::Sz(u"x")));
}

// Runs `body` in a child process that may not write the hives (another user when the tests
// run as root, otherwise read-only permissions); the child's exit status is returned.
template <class Body>
int RunWithoutWriteAccess(const std::string& folder, Body body) {
    const bool root = ::geteuid() == 0;
    if (root) {
        ::chmod(folder.c_str(), 0755);
    } else {
        ::chmod((folder + "/machine.db").c_str(), 0444);
        ::chmod(folder.c_str(), 0555);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(100);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(folder.c_str(), 0700);
    ::chmod((folder + "/machine.db").c_str(), 0644);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(RegistryHiveTest, HiveThisProcessMayNotWriteReadsButRefusesWrites) {
    {
        Handle key;
        ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Install", key));
        ASSERT_EQ(0u, regtest::Set(key.key, u"InstallDir", kRegSz, regtest::Sz(u"/opt/vomo")));
    }
    const int status = RunWithoutWriteAccess(root_.Path(), [] {
        Handle key;
        if (regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Install", key) != 0) {
            return 1;
        }
        uint32_t type = 0;
        std::string bytes;
        if (regtest::Get(key.key, u"InstallDir", type, bytes) != 0 ||
            bytes != regtest::Sz(u"/opt/vomo")) {
            return 2;
        }
        if (regtest::Set(key.key, u"InstallDir", kRegSz, "x") != kErrorAccessDenied) {
            return 3;
        }
        Handle created;
        if (regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Install\\New", created) !=
            kErrorAccessDenied) {
            return 4;
        }
        if (regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Install", created) != 0) {
            return 5;  // an existing key opens
        }
        if (SHDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE\\Vomo") != kErrorAccessDenied) {
            return 6;
        }
        // No user hive yet, and its folder may not be written either.
        if (regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo", created) != kErrorAccessDenied) {
            return 7;
        }
        return 0;
    });
    EXPECT_EQ(0, status);
    Handle key;
    EXPECT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Install", key));
}

}  // namespace
