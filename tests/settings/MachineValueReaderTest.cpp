// The install area's one-shot reads go past the settings nodes (one registry call each): for
// every kind of stored value, every path form and every missing piece they must answer what a
// node opened with OpenSettings(kOpenMachineRead) and its getter answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RawRegistry.h"
#include "settings/IVomoSettings.h"
#include "settings/InstallKeySnapshot.h"
#include "settings/MachineValueReader.h"
#include "settings/SettingsAccessors.h"
#include "support/ScopedRegistryRoot.h"

using namespace vmds;
using platform::kHKeyLocalMachine;

namespace {

struct Answer {
    bool ok = false;
    uint32_t number = 0;
    bool flag = false;
    std::string text;
    bool operator==(const Answer& other) const {
        return ok == other.ok && number == other.number && flag == other.flag && text == other.text;
    }
};

void PrintTo(const Answer& a, std::ostream* out) {
    *out << (a.ok ? "ok " : "failed ") << a.number << " " << a.flag << " '" << a.text << "'";
}

enum class Getter { kNumber, kBool, kString };

Answer ThroughNode(const std::string& path, const std::string& name, Getter getter) {
    Answer answer;
    IVomoSettings::Ptr node;
    if (!OpenSettings(path, kOpenMachineRead, &node)) {
        return answer;
    }
    switch (getter) {
        case Getter::kNumber:
            answer.ok = node->GetUInt32(name, answer.number);
            break;
        case Getter::kBool:
            answer.ok = node->GetBool(name, answer.flag);
            break;
        case Getter::kString:
            answer.ok = node->GetString(name, answer.text);
            break;
    }
    return answer;
}

Answer InOneCall(const std::string& path, const std::string& name, Getter getter) {
    Answer answer;
    switch (getter) {
        case Getter::kNumber:
            answer.ok = ReadMachineUInt32(path, name, answer.number);
            break;
        case Getter::kBool:
            answer.ok = ReadMachineBool(path, name, answer.flag);
            break;
        case Getter::kString:
            answer.ok = ReadMachineString(path, name, answer.text);
            break;
    }
    return answer;
}

TEST(MachineValueReaderTest, AnswersAsANodeAndItsGetterDo) {
    testsupport::ScopedRegistryRoot root;
    const std::u16string text = u"/opt/vomo/\u00e9t\u00e9";
    const std::string longText(600, 'x');
    const std::vector<std::pair<uint32_t, std::string>> values = {
        {platform::kRegDword, rawreg::Le32(7)},
        {platform::kRegDword, rawreg::Le32(0)},
        {platform::kRegQword, rawreg::Le64(0x100000002ull)},
        {platform::kRegDword, rawreg::Le64(5)},  // a DWORD of 8 bytes
        {platform::kRegQword, rawreg::Le32(9)},  // a QWORD of 4 bytes
        {platform::kRegDword, std::string("\1\2\3", 3)},
        {platform::kRegBinary, rawreg::Le32(1)},
        {platform::kRegSz, rawreg::Sz(text)},
        {platform::kRegSz, rawreg::Sz(rawreg::Wide(longText))},
        {platform::kRegSz, std::string("a\0b\0", 4)},        // no terminator
        {platform::kRegSz, std::string("a\0\0\0b\0\0", 7)},  // stops at the zero unit
        {platform::kRegSz, std::string("abc", 3)},           // an odd last byte
        {platform::kRegSz, std::string()},
        {platform::kRegSz, std::string("\0\xd8\0\0", 4)},  // a lone surrogate: no UTF-8
        {platform::kRegExpandSz, rawreg::Sz(text)},
        {platform::kRegQword, std::string(12, '\1')},  // longer than any number
    };
    for (size_t i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Install\\Kinds",
                                rawreg::Wide("v" + std::to_string(i)), values[i].first,
                                values[i].second));
    }
    ASSERT_TRUE(rawreg::Put(kHKeyLocalMachine, "Install\\A\\B", u"Name", platform::kRegSz,
                            rawreg::Sz(u"deep")));
    ASSERT_TRUE(
        rawreg::Put(kHKeyLocalMachine, "Install\\A\\B", u"", platform::kRegDword, rawreg::Le32(3)));

    std::vector<std::pair<std::string, std::string>> reads;
    for (size_t i = 0; i < values.size() + 1; ++i) {  // and one value that is missing
        reads.emplace_back("Install/Kinds", "v" + std::to_string(i));
    }
    for (const std::string& path : std::vector<std::string>{
             "Install/A/B", "Install\\A\\B", "Install/a\\b", "Install/A//B", "Install/A/B/",
             "Install//A/B", "/Install/A/B", "Install/A", "Install/Missing/B", "",
             std::string("Install/A\0/B", 12), "Install/\xff"}) {
        for (const std::string& name :
             std::vector<std::string>{"Name", "name", "", "Missing", std::string("Na\0me", 5)}) {
            reads.emplace_back(path, name);
        }
    }
    for (const auto& read : reads) {
        for (Getter getter : {Getter::kNumber, Getter::kBool, Getter::kString}) {
            EXPECT_EQ(ThroughNode(read.first, read.second, getter),
                      InOneCall(read.first, read.second, getter))
                << "'" << read.first << "' '" << read.second << "' getter "
                << static_cast<int>(getter);
        }
    }
    // The accessors of the install area take these reads.
    uint32_t number = 0;
    EXPECT_TRUE(ReadInstallNumber("Kinds", "v2", number));
    EXPECT_EQ(2u, number);
    std::string read;
    EXPECT_TRUE(ReadInstallString("A/B", "Name", read));
    EXPECT_EQ("deep", read);
    EXPECT_FALSE(ReadInstallString("A/B", "", read));
}

// While a snapshot of the install area's key names lives, keys it did not list read as missing
// without a look at the registry; every other read goes on as without it.
TEST(MachineValueReaderTest, ASnapshotAnswersForKeysThatWereMissing) {
    testsupport::ScopedRegistryRoot root;
    std::string text;
    {
        const InstallKeySnapshot none;  // no install area at all
        EXPECT_FALSE(ReadInstallString("Later", "Name", text));
    }
    ASSERT_TRUE(WriteInstallString("Present", "Name", "here"));
    ASSERT_TRUE(WriteInstallString("Deep/Inner", "Name", "inside"));
    {
        const InstallKeySnapshot snapshot;
        ASSERT_TRUE(WriteInstallString("Later", "Name", "after"));
        EXPECT_FALSE(ReadInstallString("Later", "Name", text));   // taken before it existed
        EXPECT_TRUE(ReadInstallString("PRESENT", "Name", text));  // names fold as keys do
        EXPECT_EQ("here", text);
        EXPECT_TRUE(ReadInstallString("Deep/Inner", "Name", text));  // paths are read
        EXPECT_EQ("inside", text);
        uint32_t number = 0;
        bool flag = false;
        EXPECT_FALSE(ReadInstallNumber("Missing", "Value", number));
        EXPECT_FALSE(ReadInstallBool("Missing", "Value", flag));
    }
    EXPECT_TRUE(ReadInstallString("Later", "Name", text));  // none lives now
    EXPECT_EQ("after", text);
}

}  // namespace
