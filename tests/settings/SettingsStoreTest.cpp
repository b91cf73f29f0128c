// The settings store: opening by path, open modes over the two hives, value encodings,
// enumeration, subkeys and key deletion.
#include <gtest/gtest.h>

#include "RawRegistry.h"
#include "platform/RegistryLibrary.h"
#include "settings/IVomoSettings.h"
#include "settings/ScopedRegistry.h"
#include "support/ScopedRegistryRoot.h"

using namespace vmds;
using platform::kHKeyCurrentUser;
using platform::kHKeyLocalMachine;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    IVomoSettings::Ptr Open(const std::string& path, uint32_t mode) {
        IVomoSettings::Ptr node;
        EXPECT_TRUE(OpenSettings(path, mode, &node)) << path << " in mode " << mode;
        return node;
    }

    testsupport::ScopedRegistryRoot root_;
};

TEST_F(SettingsStoreTest, OpenSettingsPaths) {
    IVomoSettings::Ptr node;
    EXPECT_FALSE(OpenSettings("Install/", kCreateMachine, &node)) << "ends in a separator";
    EXPECT_FALSE(OpenSettings("", kCreateMachine, &node));
    EXPECT_FALSE(OpenSettings("Install", 0, &node));
    EXPECT_FALSE(OpenSettings("Install", 10, &node));
    EXPECT_FALSE(OpenSettings("Bad\xff", kCreateMachine, &node)) << "malformed UTF-8";
    EXPECT_FALSE(OpenSettings("Install//Twice", kCreateMachine, &node));
    EXPECT_FALSE(node);

    ASSERT_TRUE(OpenSettings("Install", kCreateMachine, &node));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Install"));
    EXPECT_EQ(1, node->GetRefCount()) << "the out pointer holds the only reference";

    // "/" and "\" both separate; the last component is the node.
    ASSERT_TRUE(OpenSettings("Install/Setup\\Reports", kCreateMachine, &node));
    std::string name;
    ASSERT_TRUE(node->GetName(name));
    EXPECT_EQ("Reports", name);
    ASSERT_TRUE(node->SetString("Ping", "x"));
    ASSERT_TRUE(OpenSettings("Install\\Setup/Reports", kOpenMachineRead, &node));
    std::string text;
    EXPECT_TRUE(node->GetString("Ping", text));
    EXPECT_TRUE(OpenSettings("install/SETUP/reports", kOpenMachineRead, nullptr));
    EXPECT_FALSE(OpenSettings("Install/Missing/Reports", kOpenMachineRead, nullptr));
}

TEST_F(SettingsStoreTest, NumbersAreWrittenAsQwordsAndReadStrictlyOrLoosely) {
    IVomoSettings::Ptr node = Open("Numbers", kCreateMachine);
    ASSERT_TRUE(node);
    ASSERT_TRUE(node->SetUInt32("u32", 0xFFFFFFFEu));
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(rawreg::Get(kHKeyLocalMachine, "Numbers", u"u32", type, bytes));
    EXPECT_EQ(platform::kRegQword, type);
    EXPECT_EQ(rawreg::Le64(0xFFFFFFFEu), bytes) << "zero-extended";

    uint32_t dword = 7;
    EXPECT_FALSE(node->GetDword("u32", dword)) << "a REG_QWORD is no strict DWORD";
    EXPECT_EQ(7u, dword);
    uint32_t u32 = 0;
    ASSERT_TRUE(node->GetUInt32("u32", u32));
    EXPECT_EQ(0xFFFFFFFEu, u32);
    uint64_t qword = 0;
    EXPECT_TRUE(node->GetQword("u32", qword));

    ASSERT_TRUE(node->SetInt32(u"i32", -2));
    ASSERT_TRUE(rawreg::Get(kHKeyLocalMachine, "Numbers", u"i32", type, bytes));
    EXPECT_EQ(rawreg::Le64(static_cast<uint64_t>(-2)), bytes) << "sign-extended";
    int32_t i32 = 0;
    ASSERT_TRUE(node->GetInt32("i32", i32));
    EXPECT_EQ(-2, i32);
    int64_t i64 = 0;
    ASSERT_TRUE(node->GetInt64("i32", i64));
    EXPECT_EQ(-2, i64);

    ASSERT_TRUE(node->SetInt64Parts("parts", 0x89ABCDEFu, 0x01234567u));
    ASSERT_TRUE(node->GetUInt64("parts", qword));
    EXPECT_EQ(0x0123456789ABCDEFull, qword);
    uint32_t low = 1, high = 2;
    EXPECT_FALSE(node->GetInt64Parts("missing", low, high));
    EXPECT_EQ(1u, low);
    EXPECT_EQ(2u, high);
    ASSERT_TRUE(node->GetInt64Parts(u"PARTS", low, high));
    EXPECT_EQ(0x89ABCDEFu, low);
    EXPECT_EQ(0x01234567u, high);

    ASSERT_TRUE(node->SetDword("strict", 42));
    ASSERT_TRUE(rawreg::Get(kHKeyLocalMachine, "Numbers", u"strict", type, bytes));
    EXPECT_EQ(platform::kRegDword, type);
    EXPECT_FALSE(node->GetQword("strict", qword));
    ASSERT_TRUE(node->GetInt64("strict", i64));
    EXPECT_EQ(42, i64);

    ASSERT_TRUE(node->SetBool("flag", true));
    ASSERT_TRUE(node->GetDword("flag", dword));
    EXPECT_EQ(1u, dword);
    bool flag = false;
    ASSERT_TRUE(node->GetBool("flag", flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(node->GetBool("u32", flag)) << "a bool is a 4-byte REG_DWORD";
}

TEST_F(SettingsStoreTest, NumberReadersCheckTypeAndSize) {
    // Values of the shapes another program may leave behind.
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Foreign", u"dword", platform::kRegDword,
                            rawreg::Le32(0x80000000u)));
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Foreign", u"short", platform::kRegDword, "\1\0"));
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Foreign", u"binary8", platform::kRegBinary,
                            rawreg::Le64(5)));
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Foreign", u"long", platform::kRegQword,
                            std::string(12, '\1')));
    ASSERT_TRUE(
        rawreg::Put(kHKeyLocalMachine, "Foreign", u"text", platform::kRegSz, rawreg::Sz(u"42")));
    IVomoSettings::Ptr node = Open("Foreign", kOpenMachineRead);
    ASSERT_TRUE(node);

    int64_t i64 = 0;
    ASSERT_TRUE(node->GetInt64("dword", i64));
    EXPECT_EQ(0x80000000ll, i64) << "four bytes are zero-extended";
    uint32_t u32 = 0;
    EXPECT_TRUE(node->GetUInt32("dword", u32));
    uint64_t qword = 0;
    EXPECT_FALSE(node->GetQword("dword", qword));
    for (const char* name : {"short", "binary8", "long", "text", "absent"}) {
        EXPECT_FALSE(node->GetInt64(name, i64)) << name;
        EXPECT_FALSE(node->GetDword(name, u32)) << name;
    }
}

TEST_F(SettingsStoreTest, StringsAreTerminatedUtf16AndOnlyRegSz) {
    IVomoSettings::Ptr node = Open("Texts", kCreateUser);
    ASSERT_TRUE(node);
    ASSERT_TRUE(node->SetString("path", std::string("C:\\Programme\\Grüße")));
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(rawreg::Get(kHKeyCurrentUser, "Texts", u"path", type, bytes));
    EXPECT_EQ(platform::kRegSz, type);
    EXPECT_EQ(rawreg::Sz(u"C:\\Programme\\Grüße"), bytes);

    std::string text;
    ASSERT_TRUE(node->GetString("PATH", text));
    EXPECT_EQ("C:\\Programme\\Grüße", text);
    std::u16string wide;
    ASSERT_TRUE(node->GetString(u"path", wide));
    EXPECT_EQ(u"C:\\Programme\\Grüße", wide);

    ASSERT_TRUE(node->SetString(u"empty", std::u16string()));
    ASSERT_TRUE(node->GetString("empty", text));
    EXPECT_EQ("", text);

    // Another program's values: text up to the first zero; other string types and empty
    // data refused.
    ASSERT_TRUE(rawreg::Put(kHKeyCurrentUser, "Texts", u"cut", platform::kRegSz,
                            rawreg::Sz(std::u16string(u"ab\0cd", 5))));
    ASSERT_TRUE(rawreg::Put(kHKeyCurrentUser, "Texts", u"odd", platform::kRegSz, "a\0b"));
    ASSERT_TRUE(rawreg::Put(kHKeyCurrentUser, "Texts", u"expand", platform::kRegExpandSz,
                            rawreg::Sz(u"%TEMP%")));
    ASSERT_TRUE(rawreg::Put(kHKeyCurrentUser, "Texts", u"nothing", platform::kRegSz, ""));
    ASSERT_TRUE(node->GetString("cut", text));
    EXPECT_EQ("ab", text);
    ASSERT_TRUE(node->GetString("odd", text));
    EXPECT_EQ("a", text);
    text = "untouched";
    EXPECT_FALSE(node->GetString("expand", text));
    EXPECT_FALSE(node->GetString("nothing", text));
    EXPECT_EQ("untouched", text);

    // Texts around the length that one read answers, and far beyond it, come back whole; a
    // long value of another string type is refused as a short one is.
    for (size_t length : {254u, 255u, 256u, 257u, 5000u}) {
        const std::string longText(length, 'x');
        ASSERT_TRUE(node->SetString("long", longText));
        ASSERT_TRUE(node->GetString("long", text)) << length;
        EXPECT_EQ(longText, text) << length;
        ASSERT_TRUE(rawreg::Put(kHKeyCurrentUser, "Texts", u"unended", platform::kRegSz,
                                std::string(length * 2, 'y')));  // no terminating zero
        ASSERT_TRUE(node->GetString("unended", text)) << length;
        EXPECT_EQ(length, text.size() / 3) << length;  // U+7979, three UTF-8 bytes each
    }
    ASSERT_TRUE(rawreg::Put(kHKeyCurrentUser, "Texts", u"long-expand", platform::kRegExpandSz,
                            rawreg::Sz(std::u16string(600, u'%'))));
    text = "untouched";
    EXPECT_FALSE(node->GetString("long-expand", text));
    EXPECT_EQ("untouched", text);
}

TEST_F(SettingsStoreTest, TextsWithoutAConversionAreNeitherWrittenNorReturned) {
    IVomoSettings::Ptr node = Open("Texts", kCreateUser);
    ASSERT_TRUE(node);
    ASSERT_TRUE(node->SetString("kept", "original"));
    EXPECT_FALSE(node->SetString("kept", std::string("broken \xC3")));
    std::string text;
    ASSERT_TRUE(node->GetString("kept", text));
    EXPECT_EQ("original", text) << "a malformed text must not replace the value";

    const std::u16string lone = std::u16string(u"x") + char16_t(0xDC00);
    ASSERT_TRUE(node->SetString(u"lone", lone));
    std::u16string wide;
    ASSERT_TRUE(node->GetString(u"lone", wide));
    EXPECT_EQ(lone, wide);
    text = "untouched";
    EXPECT_FALSE(node->GetString("lone", text));
    EXPECT_EQ("untouched", text);

    ASSERT_TRUE(node->SetUInt32(lone, 1));
    IVomoSettings::NameSetU names;
    ASSERT_TRUE(node->GetValueNames(names));
    EXPECT_EQ((IVomoSettings::NameSetU{"kept", "lone"}), names)
        << "a name without UTF-8 form is left out";
    uint32_t count = 0;
    ASSERT_TRUE(node->GetValueCount(count));
    EXPECT_EQ(3u, count);
}

TEST_F(SettingsStoreTest, BinaryValues) {
    IVomoSettings::Ptr node = Open("Blobs", kCreateMachine);
    ASSERT_TRUE(node);
    vmtl::MemoryBuffer<char> data(3);
    data.GetData()[0] = '\0';
    data.GetData()[1] = '\xff';
    data.GetData()[2] = 'z';
    ASSERT_TRUE(node->SetBinary("blob", data));
    vmtl::MemoryBuffer<char> read;
    ASSERT_TRUE(node->GetBinary("blob", read));
    ASSERT_EQ(3u, read.GetCount());
    EXPECT_EQ(std::string(data.GetData(), 3), std::string(read.GetData(), 3));

    ASSERT_TRUE(node->SetBinary("empty", vmtl::MemoryBuffer<char>()));
    ASSERT_TRUE(node->SetString("text", "abc"));
    EXPECT_FALSE(node->GetBinary("empty", read)) << "at least one byte";
    EXPECT_FALSE(node->GetBinary("text", read));
    EXPECT_EQ(3u, read.GetCount()) << "left as it was";
}

TEST_F(SettingsStoreTest, UnusableValueNamesFailEveryValueOperation) {
    IVomoSettings::Ptr node = Open("Names", kCreateMachine);
    ASSERT_TRUE(node);
    const std::string malformed("\xE2\x82", 2);
    const std::string zero("a\0b", 3);
    for (const std::string& name : {std::string(), malformed, zero}) {
        EXPECT_FALSE(node->SetUInt32(name, 1));
        EXPECT_FALSE(node->SetString(name, "x"));
        EXPECT_FALSE(node->SetBinary(name, vmtl::MemoryBuffer<char>(1)));
        uint32_t number = 0;
        EXPECT_FALSE(node->GetUInt32(name, number));
        std::string text;
        EXPECT_FALSE(node->GetString(name, text));
        EXPECT_FALSE(node->DeleteValue(name));
    }
    uint32_t count = 9;
    ASSERT_TRUE(node->GetValueCount(count));
    EXPECT_EQ(0u, count);
    EXPECT_FALSE(rawreg::KeyExists(kHKeyLocalMachine, "a")) << "no cut-short name was used";
}

TEST_F(SettingsStoreTest, BothHiveModesReadUserFirstThenMachine) {
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Settings\\Update", u"Interval", platform::kRegQword,
                            rawreg::Le64(7)));
    IVomoSettings::Ptr reader = Open("Settings/Update", kOpenBothRead);
    ASSERT_TRUE(reader) << "opened: the machine key exists";
    uint32_t interval = 0;
    ASSERT_TRUE(reader->GetUInt32("Interval", interval));
    EXPECT_EQ(7u, interval);
    EXPECT_FALSE(reader->SetUInt32("Interval", 1)) << "mode 5 is read-only";

    IVomoSettings::Ptr writer = Open("Settings/Update", kCreateUserMachineFallback);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->SetUInt32("Interval", 3));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyCurrentUser, "Settings\\Update"));
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(rawreg::Get(kHKeyLocalMachine, "Settings\\Update", u"Interval", type, bytes));
    EXPECT_EQ(rawreg::Le64(7), bytes) << "the machine value is left alone";

    reader = Open("Settings/Update", kOpenBothRead);
    ASSERT_TRUE(reader->GetUInt32("Interval", interval));
    EXPECT_EQ(3u, interval) << "the user value wins once written";

    // Mode 8 reads the machine value too when the user key lacks it.
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Settings\\Update", u"MachineOnly",
                            platform::kRegQword, rawreg::Le64(9)));
    ASSERT_TRUE(writer->GetUInt32("MachineOnly", interval));
    EXPECT_EQ(9u, interval);
    // Modes without fallback do not.
    IVomoSettings::Ptr userOnly = Open("Settings/Update", kOpenUserRead);
    EXPECT_FALSE(userOnly->GetUInt32("MachineOnly", interval));
}

TEST_F(SettingsStoreTest, EnumerationMergesBothHives) {
    ASSERT_TRUE(rawreg::CreateKey(kHKeyCurrentUser, "Merge\\A"));
    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "Merge\\a"));
    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "Merge\\B"));
    ASSERT_TRUE(rawreg::Put(kHKeyCurrentUser, "Merge", u"x", platform::kRegSz, rawreg::Sz(u"")));
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Merge", u"x", platform::kRegSz, rawreg::Sz(u"")));
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Merge", u"y", platform::kRegSz, rawreg::Sz(u"")));

    IVomoSettings::Ptr both = Open("Merge", kOpenBothRead);
    ASSERT_TRUE(both);
    IVomoSettings::NameSetU keys;
    ASSERT_TRUE(both->GetSubKeyNames(keys));
    // A name in both hives counts once, spelt as in the user hive.
    EXPECT_EQ((IVomoSettings::NameSetU{"A", "B"}), keys);
    uint32_t count = 0;
    ASSERT_TRUE(both->GetSubKeyCount(count));
    EXPECT_EQ(2u, count);
    IVomoSettings::NameSetW values;
    ASSERT_TRUE(both->GetValueNames(values));
    EXPECT_EQ((IVomoSettings::NameSetW{u"x", u"y"}), values);

    ASSERT_TRUE(rawreg::CreateKey(kHKeyCurrentUser, "Merge\\B"));
    ASSERT_TRUE(both->GetSubKeyNames(keys));
    EXPECT_EQ((IVomoSettings::NameSetU{"A", "B"}), keys) << "B once";

    IVomoSettings::Ptr machine = Open("Merge", kOpenMachineRead);
    ASSERT_TRUE(machine->GetSubKeyNames(keys));
    EXPECT_EQ((IVomoSettings::NameSetU{"B", "a"}), keys);
}

TEST_F(SettingsStoreTest, OpenModesChooseHivesAndAccess) {
    IVomoSettings::Ptr node;
    // Only in the user hive.
    ASSERT_TRUE(rawreg::CreateKey(kHKeyCurrentUser, "UserOnly"));
    EXPECT_TRUE(OpenSettings("UserOnly", kOpenUserWrite, nullptr));
    EXPECT_TRUE(OpenSettings("UserOnly", kOpenBothWrite, nullptr));
    EXPECT_FALSE(OpenSettings("UserOnly", kOpenMachineWrite, nullptr));
    EXPECT_FALSE(OpenSettings("UserOnly", kOpenMachineRead, nullptr));

    // Only in the machine hive: mode 2 opens, but writes to the missing user key fail.
    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "MachineOnly"));
    EXPECT_FALSE(OpenSettings("MachineOnly", kOpenUserWrite, nullptr));
    ASSERT_TRUE(OpenSettings("MachineOnly", kOpenBothWrite, &node));
    EXPECT_FALSE(node->SetUInt32("v", 1));
    EXPECT_FALSE(rawreg::KeyExists(kHKeyCurrentUser, "MachineOnly"));

    // Creating modes make the key in their hive only; mode 8 opens without a machine key.
    ASSERT_TRUE(OpenSettings("Made", kCreateUserMachineFallback, nullptr));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyCurrentUser, "Made"));
    EXPECT_FALSE(rawreg::KeyExists(kHKeyLocalMachine, "Made"));
    ASSERT_TRUE(OpenSettings("Made", kCreateMachine, nullptr));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Made"));

    // Read modes refuse every write.
    for (uint32_t mode : {kOpenUserRead, kOpenBothRead}) {
        ASSERT_TRUE(OpenSettings("Made", mode, &node));
        EXPECT_FALSE(node->SetString("v", "x")) << mode;
        EXPECT_FALSE(node->DeleteValue("v")) << mode;
    }
    ASSERT_TRUE(OpenSettings("Made", kOpenMachineRead, &node));
    EXPECT_FALSE(node->SetBool("v", true));
}

TEST_F(SettingsStoreTest, OpenSubKeyOpensEveryComponentAndCachesChildren) {
    IVomoSettings::Ptr top = Open("Install", kCreateMachine);
    ASSERT_TRUE(top);
    IVomoSettings::Ptr deep;
    ASSERT_TRUE(top->OpenSubKey(std::string("Comp/Sub\\Deep"), &deep)) << "created in mode 9";
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Comp\\Sub\\Deep"));
    EXPECT_FALSE(top->OpenSubKey(std::string("Comp/"), nullptr));

    IVomoSettings::Ptr reader = Open("Install", kOpenMachineRead);
    EXPECT_FALSE(reader->OpenSubKey(std::string("Missing/Sub"), nullptr));
    IVomoSettings::Ptr first;
    IVomoSettings::Ptr second;
    ASSERT_TRUE(reader->OpenSubKey(std::string("Comp"), &first));
    ASSERT_TRUE(reader->OpenSubKey(u"Comp", &second));
    EXPECT_EQ(first.Get(), second.Get()) << "the cached child is reused";
    EXPECT_EQ(3, first->GetRefCount()) << "the parent's map and two pointers";

    // A cached child whose key is gone is not handed out again.
    ASSERT_EQ(0u, platform::SHDeleteKeyW(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Install\\Comp"));
    EXPECT_FALSE(reader->OpenSubKey(std::string("Comp"), nullptr));
    // ... and a child that failed to open is not handed out once the failure is cached.
    EXPECT_FALSE(reader->OpenSubKey(std::string("Missing"), nullptr));
    EXPECT_FALSE(reader->OpenSubKey(std::string("Missing"), nullptr));
}

TEST_F(SettingsStoreTest, DeleteKeyInTheMachineHiveGoesDeepestFirstAndStopsAtARefusal) {
    for (const char* path : {"Install\\Doomed\\A", "Install\\Doomed\\B\\B1",
                             "Install\\Doomed\\B\\B2", "Install\\Doomed\\C\\C1\\C2"}) {
        ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, path));
    }
    platform::SetKeyDeletionDeniedForTesting(kHKeyLocalMachine,
                                             u"SOFTWARE\\Vomo\\Install\\Doomed\\B", true);
    IVomoSettings::Ptr node = Open("Install/Doomed", kOpenMachineWrite);
    ASSERT_TRUE(node);
    EXPECT_FALSE(node->DeleteKey());
    platform::SetKeyDeletionDeniedForTesting(kHKeyLocalMachine,
                                             u"SOFTWARE\\Vomo\\Install\\Doomed\\B", false);
    // C (the last) went whole; B lost its subkeys, which go before it, then stopped the
    // deletion; A and the key itself are still there.
    EXPECT_FALSE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Doomed\\C"));
    EXPECT_FALSE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Doomed\\B\\B1"));
    EXPECT_FALSE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Doomed\\B\\B2"));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Doomed\\B"));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Doomed\\A"));

    ASSERT_TRUE(node->DeleteKey());
    EXPECT_FALSE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Doomed"));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Install"));
    EXPECT_FALSE(node->DeleteKey()) << "nothing left to delete";
}

TEST_F(SettingsStoreTest, DeleteKeyWithoutTheLookedUpFunctionDeletesTheTreeAtOnce) {
    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "Install\\Tree\\A\\B"));
    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "Install\\Tree\\Z"));
    IVomoSettings::Ptr node = Open("Install/Tree", kOpenMachineWrite);
    platform::SetLibraryLookupFailsForTesting(true);
    platform::SetKeyDeletionDeniedForTesting(kHKeyLocalMachine,
                                             u"SOFTWARE\\Vomo\\Install\\Tree\\A\\B", true);
    EXPECT_FALSE(node->DeleteKey());
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Tree\\Z")) << "all or nothing";
    platform::SetKeyDeletionDeniedForTesting(kHKeyLocalMachine,
                                             u"SOFTWARE\\Vomo\\Install\\Tree\\A\\B", false);
    EXPECT_TRUE(node->DeleteKey());
    platform::SetLibraryLookupFailsForTesting(false);
    EXPECT_FALSE(rawreg::KeyExists(kHKeyLocalMachine, "Install\\Tree"));
}

TEST_F(SettingsStoreTest, DeleteKeyInTheUserHiveAndReopeningAfterwards) {
    ASSERT_TRUE(rawreg::CreateKey(kHKeyCurrentUser, "Settings\\Gone\\Below"));
    ASSERT_TRUE(rawreg::CreateKey(kHKeyLocalMachine, "Settings\\Gone\\Below"));
    IVomoSettings::Ptr node = Open("Settings/Gone", kCreateUserMachineFallback);
    ASSERT_TRUE(node->DeleteKey());
    EXPECT_FALSE(rawreg::KeyExists(kHKeyCurrentUser, "Settings\\Gone"));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyLocalMachine, "Settings\\Gone\\Below"))
        << "only the hive the node writes";

    // The node opens again on its next use, which in a creating mode makes the key anew.
    ASSERT_TRUE(node->SetString("v", "again"));
    EXPECT_TRUE(rawreg::KeyExists(kHKeyCurrentUser, "Settings\\Gone"));
}

TEST_F(SettingsStoreTest, ReferenceCountsAndScopedOwners) {
    IVomoSettings::Ptr node = Open("Counted", kCreateMachine);
    ASSERT_TRUE(node);
    EXPECT_EQ(2, node->AddRef());
    {
        vmtl::RefCountedPtr_STLSafe<IVomoSettings> copy(node);
        EXPECT_EQ(3, node->GetRefCount());
    }
    EXPECT_EQ(1, node->Release());

    // A child lives as long as its parent holds it.
    IVomoSettings::Ptr child;
    ASSERT_TRUE(node->OpenSubKey(std::string("Child"), &child));
    IVomoSettings* raw = child.Get();
    child.Reset();
    EXPECT_EQ(1, raw->GetRefCount());

    platform::RegKey key = nullptr;
    ASSERT_EQ(0u,
              platform::RegOpenKeyExW(kHKeyLocalMachine, u"SOFTWARE", 0, platform::kKeyRead, &key));
    { ScopedLMKey owner(key); }
    EXPECT_EQ(platform::kErrorInvalidHandle, platform::RegCloseKey(key)) << "closed by its owner";

    ScopedDLL missing(u"nothing.dll");
    EXPECT_EQ(nullptr, missing.Lookup("RegDeleteKeyExW"));
    ScopedDLL advapi(u"advapi32.dll");
    EXPECT_NE(nullptr, advapi.Lookup("RegDeleteKeyExW"));
}

}  // namespace
