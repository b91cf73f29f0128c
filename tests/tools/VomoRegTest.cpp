// vomo-reg as installer packages and people use it: reg.exe's syntax and layout, values that the
// settings store reads back, and errors reported by exit status and "ERROR:" lines.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/RegistryHelpers.h"
#include "settings/IVomoSettings.h"
#include "settings/SettingsAccessors.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

class VomoRegTest : public ::testing::Test {
protected:
    Result Run(std::initializer_list<std::string> args, const std::string& input = "") {
        std::string command = Quote(VOMO_REG_PATH);
        for (const std::string& arg : args) {
            command += " " + Quote(arg);
        }
        const std::string err = scratch_.File("stderr");
        command += " 2>" + Quote(err);
        command += input.empty() ? " </dev/null" : " <<< " + Quote(input);
        Result result;
        result.status = testsupport::RunCommandOutput("bash -c " + Quote(command), result.out);
        testsupport::ReadFile(err, result.err);
        return result;
    }

    // Adds a value with /f and expects success.
    void Add(const std::string& key, const std::string& name, const std::string& type,
             const std::string& data) {
        const Result result = Run({"add", key, "/v", name, "/t", type, "/d", data, "/f"});
        ASSERT_EQ(0, result.status) << result.err;
        EXPECT_EQ("The operation completed successfully.\n", result.out);
    }

    // The data column of `query KEY /v NAME`.
    std::string QueryData(const std::string& key, const std::string& name,
                          const std::string& type) {
        const Result result = Run({"query", key, "/v", name});
        EXPECT_EQ(0, result.status) << result.err;
        const std::string prefix = "    " + name + "    " + type + "    ";
        const std::string::size_type at = result.out.find(prefix);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no row for " << name << " in:\n" << result.out;
            return std::string();
        }
        const std::string::size_type start = at + prefix.size();
        return result.out.substr(start, result.out.find('\n', start) - start);
    }

    testsupport::ScopedRegistryRoot root_;
    testsupport::TempDir scratch_{"vomo-reg-test"};
};

const std::string kComp = "HKLM\\SOFTWARE\\Vomo\\Install\\Comp";

TEST_F(VomoRegTest, EveryAddableTypeRoundTrips) {
    struct Case {
        const char* type;
        const char* given;
        const char* printed;
    };
    const Case cases[] = {
        {"REG_SZ", "C:\\Program Files\\Vomo ü", "C:\\Program Files\\Vomo ü"},
        {"REG_EXPAND_SZ", "%TEMP%\\vomo", "%TEMP%\\vomo"},
        {"REG_DWORD", "42", "0x2a"},
        {"REG_DWORD", "0xFFFFFFFF", "0xffffffff"},
        {"REG_QWORD", "0x123456789abcdef0", "0x123456789abcdef0"},
        {"REG_BINARY", "00ff7a", "00FF7A"},
        {"REG_MULTI_SZ", "one\\0two words\\0three", "one\\0two words\\0three"},
        {"REG_SZ", "", ""},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string name = "v" + std::to_string(index++);
        Add(kComp, name, c.type, c.given);
        const std::string printed = QueryData(kComp, name, c.type);
        EXPECT_EQ(c.printed, printed) << c.type;
        // What query prints, add takes back to the same value.
        Add(kComp, name + "again", c.type, printed);
        EXPECT_EQ(printed, QueryData(kComp, name + "again", c.type)) << c.type;
    }
}

// The exact type and bytes `add` stores where reg.exe's answers are easy to get wrong.
TEST_F(VomoRegTest, AddStoresWhatRegExeStores) {
    const std::string nul(2, '\0');
    struct Case {
        std::vector<std::string> args;  // after "add KEY"
        const char16_t* name;
        uint32_t type;
        std::string bytes;
    };
    const Case cases[] = {
        {{}, u"", platform::kRegSz, nul},  // no value named: the default value, empty
        {{"/ve", "/d", "x", "/f"}, u"", platform::kRegSz, "x" + std::string(1, '\0') + nul},
        {{"/f"}, u"", platform::kRegSz, nul},  // overwritten with /f
        {{"/v", "q", "/t", "REG_QWORD", "/f"}, u"q", platform::kRegQword, std::string(8, '\0')},
        {{"/v", "q", "/t", "reg_qword", "/d", "-1", "/f"},
         u"q",
         platform::kRegQword,
         std::string(8, '\xFF')},
        {{"/v", "m", "/t", "REG_MULTI_SZ", "/f"}, u"m", platform::kRegMultiSz, nul},
        {{"/v", "m", "/t", "REG_MULTI_SZ", "/d", "", "/f"}, u"m", platform::kRegMultiSz, nul},
        {{"/v", "m", "/t", "REG_MULTI_SZ", "/d", "\\0", "/f"},
         u"m",
         platform::kRegMultiSz,
         nul + nul},
        {{"/v", "m", "/t", "REG_MULTI_SZ", "/d", "a\\0", "/f"},
         u"m",
         platform::kRegMultiSz,
         std::string("a\0\0\0\0\0", 6)},
        {{"/v", "m", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "a#b#", "/f"},
         u"m",
         platform::kRegMultiSz,
         std::string("a\0\0\0b\0\0\0\0\0", 10)},
    };
    const std::string key = kComp + "\\Stored\\";  // the one trailing "\\" is dropped
    for (const Case& c : cases) {
        std::string command = Quote(VOMO_REG_PATH) + " add " + Quote(key);
        for (const std::string& arg : c.args) {
            command += " " + Quote(arg);
        }
        std::string out;
        ASSERT_EQ(0, testsupport::RunCommandOutput(command + " </dev/null 2>&1", out)) << out;
        regtest::Handle handle;
        ASSERT_EQ(0u, regtest::Open(platform::kHKeyLocalMachine,
                                    u"SOFTWARE\\Vomo\\Install\\Comp\\Stored", handle));
        uint32_t type = 0;
        std::string bytes;
        EXPECT_EQ(0u, regtest::Get(handle.key, c.name, type, bytes)) << command;
        EXPECT_EQ(c.type, type) << command;
        EXPECT_TRUE(c.bytes == bytes) << command << ": " << bytes.size() << " bytes";
    }
}

TEST_F(VomoRegTest, ValuesAddedByTheToolAreReadByTheStore) {
    Add(kComp, "InstallDir", "REG_SZ", "/opt/vomo/comp");
    Add(kComp, "UninstallPath", "REG_SZ", "/opt/vomo/comp/uninstall");
    Add(kComp, "Count", "REG_DWORD", "0x2a");
    Add(kComp, "Stamp", "REG_QWORD", "1700000000000");
    Add(kComp, "Path", "REG_EXPAND_SZ", "%HOME%/x");
    Add(kComp, "Blob", "REG_BINARY", "CAFE");

    EXPECT_TRUE(vmds::InstallKeyExists("Comp"));
    std::string text;
    ASSERT_TRUE(vmds::ReadInstallString("Comp", "InstallDir", text));
    EXPECT_EQ("/opt/vomo/comp", text);

    vmds::IVomoSettings::Ptr node;
    ASSERT_TRUE(vmds::OpenSettings("Install/Comp", vmds::kOpenMachineRead, &node));
    // A REG_DWORD from another program: a number for the loose readers, no QWORD.
    int64_t i64 = 0;
    ASSERT_TRUE(node->GetInt64("Count", i64));
    EXPECT_EQ(42, i64);
    uint32_t u32 = 0;
    ASSERT_TRUE(node->GetUInt32("count", u32));
    EXPECT_EQ(42u, u32);
    uint64_t qword = 0;
    EXPECT_FALSE(node->GetQword("Count", qword));
    ASSERT_TRUE(node->GetQword("Stamp", qword));
    EXPECT_EQ(1700000000000ull, qword);
    EXPECT_FALSE(node->GetString("Path", text)) << "REG_EXPAND_SZ is not a string value";
    vmtl::MemoryBuffer<char> blob;
    ASSERT_TRUE(node->GetBinary("Blob", blob));
    EXPECT_EQ(std::string("\xCA\xFE"), std::string(blob.GetData(), blob.GetCount()));
}

TEST_F(VomoRegTest, QueryLayoutIsRegExe) {
    Add(kComp, "Test1", "REG_SZ", "Hello, World");
    Add(kComp, "Test2", "REG_DWORD", "0x123");
    Add(kComp + "\\subkey", "Test3", "REG_SZ", "Some string data");
    ASSERT_EQ(0, Run({"add", kComp + "\\empty", "/f"}).status);
    ASSERT_EQ(0, Run({"add", kComp, "/ve", "/d", "Default text", "/f"}).status);

    const std::string full = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vomo\\Install\\Comp";
    Result result = Run({"query", kComp});
    ASSERT_EQ(0, result.status);
    EXPECT_EQ("\n" + full +
                  "\n"
                  "    Test1    REG_SZ    Hello, World\n"
                  "    Test2    REG_DWORD    0x123\n"
                  "    (Default)    REG_SZ    Default text\n"
                  "\n" +
                  full + "\\empty\n" + full + "\\subkey\n",
              result.out);

    result = Run({"query", "hkey_local_machine\\SOFTWARE\\Vomo\\Install\\Comp\\", "/s"});
    ASSERT_EQ(0, result.status);
    EXPECT_EQ("\n" + full +
                  "\n"
                  "    Test1    REG_SZ    Hello, World\n"
                  "    Test2    REG_DWORD    0x123\n"
                  "    (Default)    REG_SZ    Default text\n"
                  "\n" +
                  full + "\\empty\n    (Default)    REG_SZ    \n\n" + full +
                  "\\subkey\n"
                  "    Test3    REG_SZ    Some string data\n"
                  "\n",
              result.out)
        << "the key as given, its root spelled out and the trailing separator dropped";

    result = Run({"query", kComp, "/v", "Test3", "/s"});
    ASSERT_EQ(0, result.status);
    EXPECT_EQ("\n" + full +
                  "\\subkey\n"
                  "    Test3    REG_SZ    Some string data\n"
                  "\n"
                  "End of search: 1 match(es) found.\n",
              result.out);

    result = Run({"query", kComp + "\\subkey", "/ve"});
    ASSERT_EQ(0, result.status);
    EXPECT_EQ("\n" + full + "\\subkey\n    (Default)    REG_SZ    (value not set)\n\n", result.out);
}

TEST_F(VomoRegTest, FailuresExitWithOneAndAnErrorLine) {
    Add(kComp, "Count", "REG_DWORD", "1");
    for (const Result& result : {
             Run({}),
             Run({"query"}),
             Run({"query", "HKCR\\Software"}),
             Run({"query", "HKLM\\SOFTWARE\\Nothing"}),
             Run({"query", kComp, "/v", "Missing"}),
             Run({"query", kComp, "/v"}),
             Run({"query", kComp, "/v", "Count", "/ve"}),
             Run({"query", kComp, "/s", "/s"}),
             Run({"add", kComp, "/v", "x", "/t", "REG_LINK", "/d", "1", "/f"}),
             Run({"add", kComp, "/v", "x", "/t", "REG_DWORD", "/d", "4294967296", "/f"}),
             Run({"add", kComp, "/v", "x", "/t", "REG_DWORD", "/d", "-1", "/f"}),
             Run({"add", kComp, "/v", "x", "/t", "REG_DWORD", "/f"}),
             Run({"add", kComp, "/v", "x", "/t", "REG_BINARY", "/d", "0g", "/f"}),
             Run({"add", kComp, "/v", "x", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b", "/f"}),
             Run({"add", kComp, "/v", "x", "/t", "REG_MULTI_SZ", "/d", "\\0a", "/f"}),
             Run({"add", kComp, "/v", "x", "/t", "REG_QWORD", "/d", "-0x1", "/f"}),
             Run({"add", "HKLM\\", "/v", "x", "/d", "y", "/f"}),
             Run({"add", "HKEY_LOCAL_MACHINE\\", "/v", "x", "/d", "y", "/f"}),
             Run({"add", kComp + "\\\\", "/v", "x", "/d", "y", "/f"}),
             Run({"delete", kComp, "/v", "Missing", "/f"}),
             Run({"delete", "HKLM", "/f"}),
             Run({"delete", "HKLM\\SOFTWARE\\Nothing", "/f"}),
         }) {
        EXPECT_EQ(1, result.status) << result.out;
        EXPECT_EQ(0u, result.err.find("ERROR: ")) << result.err;
    }
    // Nothing was written by the refused additions, not even to the hive's root.
    EXPECT_EQ(1, Run({"query", kComp, "/v", "x"}).status);
    EXPECT_EQ(1, Run({"query", "HKLM", "/v", "x"}).status);
    EXPECT_EQ(0, Run({"query", "/?"}).status);
}

TEST_F(VomoRegTest, AddAndDeleteAskUnlessForced) {
    Add(kComp, "Count", "REG_DWORD", "1");
    Result result = Run({"add", kComp, "/v", "Count", "/t", "REG_DWORD", "/d", "2"}, "no");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("0x1", QueryData(kComp, "Count", "REG_DWORD"));
    result = Run({"add", kComp, "/v", "Count", "/t", "REG_DWORD", "/d", "2"}, "yes");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("0x2", QueryData(kComp, "Count", "REG_DWORD"));

    EXPECT_EQ(0, Run({"delete", kComp}, "n").status);
    EXPECT_EQ(0, Run({"query", kComp}).status) << "declined: still there";

    // Standard input ending without an answer is a failure that changes nothing.
    for (const Result& unanswered : {
             Run({"add", kComp, "/v", "Count", "/t", "REG_DWORD", "/d", "3"}),
             Run({"add", kComp, "/v", "Count", "/t", "REG_DWORD", "/d", "3"}, "perhaps"),
             Run({"delete", kComp}),
             Run({"delete", kComp, "/va"}),
         }) {
        EXPECT_EQ(1, unanswered.status);
        EXPECT_EQ(0u, unanswered.err.find("ERROR: ")) << unanswered.err;
    }
    EXPECT_EQ("0x2", QueryData(kComp, "Count", "REG_DWORD"));

    Add(kComp, "Other", "REG_SZ", "x");
    Add(kComp + "\\Sub", "Kept", "REG_SZ", "x");
    EXPECT_EQ(0, Run({"delete", kComp, "/v", "Count", "/f"}).status);
    EXPECT_EQ(1, Run({"query", kComp, "/v", "Count"}).status);
    EXPECT_EQ(0, Run({"delete", kComp, "/va", "/f"}).status);
    result = Run({"query", kComp});
    EXPECT_EQ("\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Vomo\\Install\\Comp\\Sub\n", result.out)
        << "/va takes the values, not the subkeys";
    EXPECT_EQ(0, Run({"delete", kComp, "/f"}).status);
    EXPECT_EQ(1, Run({"query", kComp}).status);
}

TEST_F(VomoRegTest, UserHiveIsSeparate) {
    ASSERT_EQ(0, Run({"add", "HKCU\\SOFTWARE\\Vomo\\Settings\\Update", "/v", "Channel", "/d",
                      "beta", "/f"})
                     .status);
    EXPECT_EQ(1, Run({"query", "HKLM\\SOFTWARE\\Vomo\\Settings\\Update"}).status);
    std::string text;
    ASSERT_TRUE(vmds::ReadSettingsString("Update", "Channel", text));
    EXPECT_EQ("beta", text);
}

}  // namespace
