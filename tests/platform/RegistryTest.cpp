// The Win32-style registry: semantics and error codes of each call, names, value bytes,
// handles and deletion (RegistryHiveTest.cpp: the hive files of the POSIX backend). The Windows
// build runs these against the system's registry.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "RegistryHelpers.h"
#include "platform/LastError.h"
#include "platform/Registry.h"
#include "platform/RegistryLibrary.h"
#include "platform/RegistryNames.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

using namespace platform;
using regtest::Handle;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    testsupport::ScopedRegistryRoot root_;
};

const size_t kMaxValueNameUnitsForTest = 16383;

TEST_F(RegistryTest, CreateMakesEveryMissingKeyAndNamesKeepTheirCase) {
    Handle key;
    uint32_t disposition = 0;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Install\\Comp", key,
                                  kKeyAllAccess, &disposition));
    EXPECT_EQ(kRegCreatedNewKey, disposition);
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"software\\VOMO\\install\\comp", key,
                                  kKeyAllAccess, &disposition));
    EXPECT_EQ(kRegOpenedExistingKey, disposition);

    Handle product;
    ASSERT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"sOfTwArE\\vomo", product));
    EXPECT_EQ(std::vector<std::u16string>{u"Install"}, regtest::SubKeys(product.key));

    // Opening relative to a handle, and the empty path as the key itself.
    Handle again;
    ASSERT_EQ(0u, regtest::Open(product.key, u"INSTALL\\COMP", again));
    ASSERT_EQ(0u, regtest::Set(again.key, u"Name", kRegSz, regtest::Sz(u"x")));
    Handle same;
    ASSERT_EQ(0u, regtest::Open(key.key, u"", same));
    uint32_t type = 0;
    std::string bytes;
    EXPECT_EQ(0u, regtest::Get(same.key, u"NAME", type, bytes));
}

TEST_F(RegistryTest, NamesFoldBeyondAsciiAndKeepEveryUnit) {
    EXPECT_EQ(u'\u00DC', regnames::UpcaseUnit(u'\u00FC'));  // ü
    EXPECT_EQ(u'\u03A3', regnames::UpcaseUnit(u'\u03C3'));  // σ
    EXPECT_EQ(u'\u0416', regnames::UpcaseUnit(u'\u0436'));  // ж
    EXPECT_EQ(u'\u00DF', regnames::UpcaseUnit(u'\u00DF'));  // ß has no one-unit upper case
    EXPECT_EQ(u'\u0100', regnames::UpcaseUnit(u'\u0101'));  // alternating upper/lower block
    EXPECT_EQ(u'\u0100', regnames::UpcaseUnit(u'\u0100'));

    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo\\Überprüfung", key));
    Handle upper;
    EXPECT_EQ(0u, regtest::Open(kHKeyCurrentUser, u"SOFTWARE\\VOMO\\ÜBERPRÜFUNG", upper));
    Handle sharpS;
    EXPECT_EQ(0u, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo\\straße", sharpS));
    Handle doubleS;
    EXPECT_EQ(kErrorFileNotFound,
              regtest::Open(kHKeyCurrentUser, u"SOFTWARE\\Vomo\\STRASSE", doubleS));

    // A character outside the Basic Multilingual Plane and an unpaired surrogate come back
    // exactly, and count as their UTF-16 units.
    const std::u16string astral = u"clef \U0001D11E";
    const std::u16string lone = std::u16string(u"half ") + char16_t(0xD834);
    ASSERT_EQ(0u, regtest::Set(key.key, astral.c_str(), kRegSz, regtest::Sz(u"a")));
    ASSERT_EQ(0u, regtest::Set(key.key, lone.c_str(), kRegSz, regtest::Sz(u"b")));
    EXPECT_EQ((std::vector<std::u16string>{astral, lone}), regtest::ValueNames(key.key));
    uint32_t longest = 0;
    ASSERT_EQ(0u, RegQueryInfoKeyW(key.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &longest, nullptr, nullptr, nullptr));
    EXPECT_EQ(astral.size(), longest);
}

TEST_F(RegistryTest, ValuesKeepTheirTypeAndExactBytes) {
    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Values", key));
    const std::string odd("\x01\x00\xff", 3);
    const std::string nuls(5, '\0');
    ASSERT_EQ(0u, regtest::Set(key.key, u"odd", kRegSz, odd));  // not even whole units
    ASSERT_EQ(0u, regtest::Set(key.key, u"nuls", kRegBinary, nuls));
    ASSERT_EQ(0u, regtest::Set(key.key, u"custom", 0x1234, "abc"));
    ASSERT_EQ(0u, RegSetValueExW(key.key, u"empty", 0, kRegMultiSz, nullptr, 0));
    ASSERT_EQ(0u, regtest::Set(key.key, u"", kRegExpandSz, regtest::Sz(u"%TEMP%")));

    uint32_t type = 0;
    std::string bytes;
    ASSERT_EQ(0u, regtest::Get(key.key, u"ODD", type, bytes));
    EXPECT_EQ(kRegSz, type);
    EXPECT_EQ(odd, bytes);
    ASSERT_EQ(0u, regtest::Get(key.key, u"nuls", type, bytes));
    EXPECT_EQ(nuls, bytes);
    ASSERT_EQ(0u, regtest::Get(key.key, u"custom", type, bytes));
    EXPECT_EQ(0x1234u, type);
    ASSERT_EQ(0u, regtest::Get(key.key, u"empty", type, bytes));
    EXPECT_EQ(kRegMultiSz, type);
    EXPECT_EQ("", bytes);
    ASSERT_EQ(0u, regtest::Get(key.key, nullptr, type, bytes));  // the default value
    EXPECT_EQ(kRegExpandSz, type);

    // Too small a buffer: 234 and the size needed, the buffer left alone.
    uint8_t small[2] = {7, 7};
    uint32_t size = 2;
    EXPECT_EQ(kErrorMoreData, RegQueryValueExW(key.key, u"odd", nullptr, &type, small, &size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(7, small[0]);
    EXPECT_EQ(kErrorMoreData, GetLastErrorCode());
    // A buffer without a size is a caller's error.
    EXPECT_EQ(kErrorInvalidParameter,
              RegQueryValueExW(key.key, u"odd", nullptr, &type, small, nullptr));

    // Setting again under another case: new type and bytes, the first name and place kept.
    ASSERT_EQ(0u, regtest::Set(key.key, u"OdD", kRegDword, std::string("\1\0\0\0", 4)));
    ASSERT_EQ(0u, regtest::Get(key.key, u"odd", type, bytes));
    EXPECT_EQ(kRegDword, type);
    EXPECT_EQ((std::vector<std::u16string>{u"odd", u"nuls", u"custom", u"empty", u""}),
              regtest::ValueNames(key.key));

    ASSERT_EQ(0u, RegDeleteValueW(key.key, u"NULS"));
    EXPECT_EQ(kErrorFileNotFound, RegDeleteValueW(key.key, u"nuls"));
    EXPECT_EQ(kErrorFileNotFound, regtest::Get(key.key, u"nuls", type, bytes));
}

TEST_F(RegistryTest, EnumerationAndKeyInfo) {
    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo\\List", key));
    for (const char16_t* name : {u"beta", u"Alpha", u"gamma-long-name", u"DELTA"}) {
        Handle child;
        ASSERT_EQ(0u, regtest::Create(key.key, name, child));
    }
    ASSERT_EQ(0u, regtest::Set(key.key, u"second", kRegBinary, std::string(10, 'x')));
    ASSERT_EQ(0u, regtest::Set(key.key, u"first-but-set-later", kRegBinary, "y"));

    // Subkeys by folded name, values in the order they were first set.
    EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"beta", u"DELTA", u"gamma-long-name"}),
              regtest::SubKeys(key.key));
    EXPECT_EQ((std::vector<std::u16string>{u"second", u"first-but-set-later"}),
              regtest::ValueNames(key.key));

    uint32_t subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxData = 0;
    ASSERT_EQ(0u, RegQueryInfoKeyW(key.key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey,
                                   nullptr, &values, &maxValueName, &maxData, nullptr, nullptr));
    EXPECT_EQ(4u, subKeys);
    EXPECT_EQ(15u, maxSubKey);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(19u, maxValueName);
    EXPECT_EQ(10u, maxData);

    // The name must fit with its terminator.
    char16_t name[15];
    uint32_t length = 15;
    EXPECT_EQ(kErrorMoreData,
              RegEnumKeyExW(key.key, 3, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = 6;
    ASSERT_EQ(0u, RegEnumKeyExW(key.key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(5u, length);
    EXPECT_EQ(u"Alpha", std::u16string(name));
    length = 15;
    EXPECT_EQ(kErrorNoMoreItems,
              RegEnumKeyExW(key.key, 4, name, &length, nullptr, nullptr, nullptr, nullptr));

    // Enumerated values come with their data, sized like a query.
    uint32_t type = 0;
    uint8_t data[4];
    uint32_t size = sizeof data;
    length = 15;
    EXPECT_EQ(kErrorMoreData,
              RegEnumValueW(key.key, 0, name, &length, nullptr, &type, data, &size));
    EXPECT_EQ(10u, size);
}

TEST_F(RegistryTest, HandlesRefuseWhatTheyWereNotOpenedFor) {
    {
        Handle writer;
        ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Rights\\Sub", writer));
        ASSERT_EQ(0u, regtest::Set(writer.key, u"v", kRegSz, regtest::Sz(u"x")));
    }
    Handle reader;
    ASSERT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Rights", reader,
                                kKeyRead | kKeyWow64_64Key));
    EXPECT_EQ(kErrorAccessDenied, regtest::Set(reader.key, u"v", kRegSz, regtest::Sz(u"y")));
    EXPECT_EQ(kErrorAccessDenied, RegDeleteValueW(reader.key, u"v"));

    Handle writeOnly;
    ASSERT_EQ(
        0u, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Rights\\Sub", writeOnly, kKeyWrite));
    uint32_t type = 0;
    std::string bytes;
    EXPECT_EQ(kErrorAccessDenied, regtest::Get(writeOnly.key, u"v", type, bytes));
    EXPECT_EQ(0u, regtest::Set(writeOnly.key, u"w", kRegSz, regtest::Sz(u"y")));
}

// Answers recorded on Windows where a simpler reading of the calls would differ.
TEST_F(RegistryTest, AnswersAsWindowsDoes) {
    Handle alpha;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Win\\Alpha", alpha));
    ASSERT_EQ(0u, regtest::Set(alpha.key, u"v", kRegSz, regtest::Sz(u"foobar")));
    Handle reader;
    ASSERT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Win", reader, kKeyRead));
    const std::u16string longName(kMaxValueNameUnitsForTest + 1, u'n');
    Handle out;

    struct Case {
        const char* what;
        uint32_t expected;
        std::function<uint32_t()> call;
    };
    const Case cases[] = {
        {"open with a trailing separator", 0,
         [&] { return regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Win\\Alpha\\", out); }},
        {"open with two trailing separators", 0,
         [&] { return regtest::Open(reader.key, u"Alpha\\\\", out); }},
        {"create below a handle opened for reading", 0,
         [&] { return regtest::Create(reader.key, u"Beta", out); }},
        {"delete with a trailing separator", 0,
         [&] { return RegDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Win\\Beta\\"); }},
        {"delete a handle's own key without the right to delete", 0,
         [&] {
             Handle gamma;
             regtest::Create(alpha.key, u"Gamma", gamma);
             regtest::Open(alpha.key, u"Gamma", gamma, kKeyRead);
             const uint32_t rc = RegDeleteKeyW(gamma.key, u"");
             EXPECT_EQ(kErrorFileNotFound, regtest::Open(alpha.key, u"Gamma", out));
             return rc;
         }},
        {"set from a null buffer of four bytes", kErrorNoAccess,
         [&] { return RegSetValueExW(alpha.key, u"null", 0, kRegSz, nullptr, 4); }},
        {"query an over-long name", kErrorFileNotFound,
         [&] {
             return RegQueryValueExW(alpha.key, longName.c_str(), nullptr, nullptr, nullptr,
                                     nullptr);
         }},
        {"delete an over-long name", kErrorFileNotFound,
         [&] { return RegDeleteValueW(alpha.key, longName.c_str()); }},
        {"set an over-long name", kErrorInvalidParameter,
         [&] { return regtest::Set(alpha.key, longName.c_str(), kRegSz, "x"); }},
        {"enumerate a value into too small a name buffer", kErrorMoreData,
         [&] {
             char16_t name[1] = {u'x'};
             uint32_t length = 1, type = 0, size = 64;
             uint8_t data[64] = {};
             const uint32_t rc =
                 RegEnumValueW(alpha.key, 0, name, &length, nullptr, &type, data, &size);
             EXPECT_EQ(kRegSz, type) << "the type is reported";
             EXPECT_EQ(14u, size) << "and the size of the data";
             EXPECT_EQ(u'x', name[0]) << "the name buffer is left alone";
             EXPECT_EQ(0, data[0]) << "and so is the data buffer";
             return rc;
         }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, c.call()) << c.what;
    }
    EXPECT_EQ(0u, RegSetValueExW(alpha.key, u"empty", 0, kRegSz, nullptr, 0));
}

// RegReadValueW in one statement answers what opening, querying and closing answer together.
TEST_F(RegistryTest, ReadValueAnswersAsOpenQueryAndCloseDo) {
    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"Software\\Read\\Key", key));
    ASSERT_EQ(0u, regtest::Set(key.key, u"Text", kRegSz, regtest::Sz(u"value")));
    ASSERT_EQ(0u, regtest::Set(key.key, u"", kRegDword, std::string("\1\0\0\0", 4)));
    ASSERT_EQ(0u, regtest::Set(key.key, u"Empty", kRegBinary, std::string()));
    ASSERT_EQ(0u, regtest::Set(key.key, u"Big", kRegBinary, std::string(70000, 'b')));
    Handle parent;
    ASSERT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"Software\\Read", parent, kKeyRead));
    const std::u16string longName(kMaxValueNameUnitsForTest + 1, u'n');
    struct Case {
        RegKey base;
        const char16_t* subKey;
        uint32_t desired;
        const char16_t* name;
    };
    const Case cases[] = {
        {kHKeyLocalMachine, u"Software\\Read\\Key", kKeyRead, u"Text"},
        {kHKeyLocalMachine, u"SOFTWARE\\read\\KEY\\", kKeyRead, u"text"},
        {kHKeyLocalMachine, u"Software\\Read\\Key", kKeyRead, u""},
        {kHKeyLocalMachine, u"Software\\Read\\Key", kKeyRead, nullptr},
        {kHKeyLocalMachine, u"Software\\Read\\Key", kKeyRead, u"Empty"},
        {kHKeyLocalMachine, u"Software\\Read\\Key", kKeyRead, u"Big"},
        {kHKeyLocalMachine, u"Software\\Read\\Key", kKeyRead, u"Missing"},
        {kHKeyLocalMachine, u"Software\\Read\\Key", kKeyRead, longName.c_str()},
        {kHKeyLocalMachine, u"Software\\Read\\Missing", kKeyRead, u"Text"},
        {kHKeyLocalMachine, u"Software\\\\Read", kKeyRead, u"Text"},
        {kHKeyLocalMachine, u"\\Software\\Read\\Key", kKeyRead, u"Text"},
        {kHKeyLocalMachine, u"Software\\Read\\Key", kKeySetValue, u"Text"},
        {kHKeyLocalMachine, u"", kKeyRead, u"Text"},
        {kHKeyCurrentUser, u"Software\\Read\\Key", kKeyRead, u"Text"},
        {parent.key, u"Key", kKeyRead, u"Text"},
        {parent.key, u"Missing", kKeyRead, u"Text"},
        {reinterpret_cast<RegKey>(uintptr_t{0x1234}), u"Key", kKeyRead, u"Text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::u16string(c.subKey).size());
        Handle opened;
        const uint32_t openRc = RegOpenKeyExW(c.base, c.subKey, 0, c.desired, opened.Out());
        uint32_t expectedType = 0;
        std::string expectedBytes;
        const uint32_t expectedRc =
            openRc ? openRc : regtest::Get(opened.key, c.name, expectedType, expectedBytes);
        uint32_t type = 0;
        std::string bytes;
        bool keyOpened = true;
        EXPECT_EQ(expectedRc,
                  RegReadValueW(c.base, c.subKey, c.desired, c.name, &type, &bytes, &keyOpened));
        EXPECT_EQ(openRc == 0, keyOpened);
        if (expectedRc == 0) {
            EXPECT_EQ(expectedType, type);
            EXPECT_EQ(expectedBytes, bytes);
        }
    }
}

// RegFlushKey forces a hive's writes to the disk: through a root or a handle of it, also where
// no hive exists yet (nothing to force, and nothing made).
TEST_F(RegistryTest, FlushTakesRootsAndHandlesAndMakesNoHive) {
    EXPECT_EQ(0u, RegFlushKey(kHKeyCurrentUser));
    std::string unused;
    EXPECT_FALSE(testsupport::ReadFile(RegistryHiveFile(kHKeyCurrentUser), unused));
    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"Software\\Flushed", key));
    ASSERT_EQ(0u, regtest::Set(key.key, u"Value", kRegSz, regtest::Sz(u"kept")));
    EXPECT_EQ(0u, RegFlushKey(key.key));
    EXPECT_EQ(0u, RegFlushKey(kHKeyLocalMachine));
    EXPECT_EQ(kErrorInvalidHandle, RegFlushKey(reinterpret_cast<RegKey>(uintptr_t{0x1234})));
    uint32_t type = 0;
    std::string bytes;
    EXPECT_EQ(0u, regtest::Get(key.key, u"Value", type, bytes));
    EXPECT_EQ(regtest::Sz(u"kept"), bytes);
}

TEST_F(RegistryTest, DeletionRulesAndDeletedKeys) {
    Handle top;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Tree", top));
    Handle leaf;
    ASSERT_EQ(0u, regtest::Create(top.key, u"Mid\\Leaf", leaf));
    ASSERT_EQ(0u, regtest::Set(leaf.key, u"v", kRegSz, regtest::Sz(u"x")));

    EXPECT_EQ(kErrorAccessDenied, RegDeleteKeyW(top.key, u"Mid")) << "it has a subkey";
    EXPECT_EQ(kErrorFileNotFound, RegDeleteKeyW(top.key, u"Nothing"));
    EXPECT_EQ(kErrorAccessDenied, RegDeleteKeyW(kHKeyLocalMachine, u""));
    EXPECT_EQ(kErrorInvalidParameter, RegDeleteKeyW(top.key, nullptr));
    ASSERT_EQ(0u, RegDeleteKeyExW(top.key, u"mid\\LEAF", kKeyWow64_64Key, 0));

    // The handle of a deleted key answers 1018 to everything, even after a key of the same
    // name is made again.
    uint32_t type = 0;
    std::string bytes;
    EXPECT_EQ(kErrorKeyDeleted, regtest::Get(leaf.key, u"v", type, bytes));
    EXPECT_EQ(kErrorKeyDeleted, GetLastErrorCode());
    Handle recreated;
    ASSERT_EQ(0u, regtest::Create(top.key, u"Mid\\Leaf", recreated));
    EXPECT_EQ(kErrorKeyDeleted, regtest::Set(leaf.key, u"v", kRegSz, regtest::Sz(u"y")));
    Handle below;
    EXPECT_EQ(kErrorKeyDeleted, regtest::Create(leaf.key, u"x", below));
    uint32_t count = 0;
    EXPECT_EQ(kErrorKeyDeleted,
              RegQueryInfoKeyW(leaf.key, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(kErrorFileNotFound, regtest::Get(recreated.key, u"v", type, bytes))
        << "the values went with the deleted key";
    EXPECT_EQ(0u, RegCloseKey(leaf.key));
    leaf.key = nullptr;

    // The tree call takes everything below, and the key itself.
    ASSERT_EQ(0u, regtest::Set(recreated.key, u"v", kRegSz, regtest::Sz(u"x")));
    ASSERT_EQ(0u, SHDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\TREE"));
    Handle gone;
    EXPECT_EQ(kErrorFileNotFound, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Tree", gone));
    EXPECT_EQ(kErrorKeyDeleted, regtest::Get(recreated.key, u"v", type, bytes));
    Handle product;
    ASSERT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo", product));
    EXPECT_TRUE(regtest::SubKeys(product.key).empty());
}

TEST_F(RegistryTest, DeletionDeniedByTheTestHookLeavesTheWholeTree) {
    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Keep\\Locked\\Deep", key));
    SetKeyDeletionDeniedForTesting(kHKeyLocalMachine, u"software\\vomo\\keep\\LOCKED", true);
    EXPECT_EQ(kErrorAccessDenied, SHDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Keep"));
    EXPECT_EQ(0u, RegDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Keep\\Locked\\Deep"));
    EXPECT_EQ(kErrorAccessDenied,
              RegDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Keep\\Locked"));
    Handle still;
    EXPECT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Keep\\Locked", still));
    SetKeyDeletionDeniedForTesting(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Keep\\Locked", false);
    EXPECT_EQ(0u, SHDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Keep"));
}

TEST_F(RegistryTest, BadHandlesAndPathsAreRefused) {
    Handle key;
    EXPECT_EQ(kErrorInvalidHandle, regtest::Open(nullptr, u"x", key));
    EXPECT_EQ(kErrorInvalidHandle,
              regtest::Open(reinterpret_cast<RegKey>(uintptr_t{0x1234}), u"x", key));
    ASSERT_EQ(0u, regtest::Create(kHKeyCurrentUser, u"SOFTWARE\\Vomo", key));
    RegKey closed = key.key;
    ASSERT_EQ(0u, RegCloseKey(closed));
    key.key = nullptr;
    EXPECT_EQ(kErrorInvalidHandle, RegCloseKey(closed));
    EXPECT_EQ(kErrorInvalidHandle, regtest::Set(closed, u"v", kRegSz, regtest::Sz(u"x")));
    EXPECT_EQ(kErrorInvalidHandle, GetLastErrorCode());
    EXPECT_EQ(0u, RegCloseKey(kHKeyCurrentUser)) << "the roots are always open";

    for (const char16_t* path : {u"\\SOFTWARE", u"SOFTWARE\\\\Vomo", u"\\"}) {
        EXPECT_EQ(kErrorBadPathname, regtest::Create(kHKeyCurrentUser, path, key)) << path[0];
    }
    const std::u16string tooLong(256, u'k');
    EXPECT_EQ(kErrorInvalidParameter, regtest::Create(kHKeyCurrentUser, tooLong.c_str(), key));
    EXPECT_EQ(0u, regtest::Create(kHKeyCurrentUser, tooLong.substr(1).c_str(), key));
}

TEST_F(RegistryTest, LibraryLookupFindsTheRegistryDeletion) {
    LibraryHandle library = LoadLibraryW(u"ADVAPI32.DLL");
    ASSERT_NE(nullptr, library);
    const RegDeleteKeyExWProc deleteKey =
        reinterpret_cast<RegDeleteKeyExWProc>(GetProcAddress(library, "RegDeleteKeyExW"));
    ASSERT_NE(nullptr, deleteKey);
    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Gone", key));
    EXPECT_EQ(0u, deleteKey(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Gone", kKeyWow64_64Key, 0));

    EXPECT_EQ(nullptr, GetProcAddress(library, "RegDeleteTreeW"));
    EXPECT_EQ(127u, GetLastErrorCode());
    SetLibraryLookupFailsForTesting(true);
    EXPECT_EQ(nullptr, GetProcAddress(library, "RegDeleteKeyExW"));
    SetLibraryLookupFailsForTesting(false);
    EXPECT_TRUE(FreeLibrary(library));

    EXPECT_EQ(nullptr, LoadLibraryW(u"kernel32.dll"));
    EXPECT_EQ(126u, GetLastErrorCode());
}

TEST_F(RegistryTest, ThreadsShareAHive) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            Handle key;
            const std::u16string path = u"SOFTWARE\\Vomo\\Threads\\T" + std::u16string(1, u'0' + t);
            ASSERT_EQ(0u, regtest::Create(kHKeyCurrentUser, path.c_str(), key));
            for (int i = 0; i < 50; ++i) {
                const std::u16string name =
                    u"v" + std::u16string(1, u'a' + i % 26) + std::u16string(1, u'a' + i / 26);
                ASSERT_EQ(0u, regtest::Set(key.key, name.c_str(), kRegBinary, "x"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    Handle top;
    ASSERT_EQ(0u, regtest::Open(kHKeyCurrentUser, u"SOFTWARE\\Vomo\\Threads", top));
    ASSERT_EQ(4u, regtest::SubKeys(top.key).size());
    for (const std::u16string& name : regtest::SubKeys(top.key)) {
        Handle key;
        ASSERT_EQ(0u, regtest::Open(top.key, name.c_str(), key));
        EXPECT_EQ(50u, regtest::ValueNames(key.key).size());
    }
}

}  // namespace
