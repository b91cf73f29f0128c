// The result codes as hosts read them: the names and meanings vcm.h gives agree with the
// README's table, row for row, and every named code has a row.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "vcm/vcm.h"

namespace {

TEST(ResultNamesTest, TheHeaderAndTheReadmeTableAgree) {
    std::ifstream readme(VCM_SOURCE_DIR "/README.md");
    ASSERT_TRUE(readme) << "README.md";
    // "| 12 | `VCM_NO_MATCH` | `VCM_FindComponents`: no spec matched |"
    const std::regex row(R"(^\| (\d+) \| `(VCM_\w+)` \| (.+) \|$)");
    std::map<int, std::pair<std::string, std::string>> table;
    for (std::string line; std::getline(readme, line);) {
        std::smatch match;
        if (std::regex_match(line, match, row)) {
            std::string meaning = match[3];
            meaning.erase(std::remove(meaning.begin(), meaning.end(), '`'), meaning.end());
            table[std::stoi(match[1])] = {match[2], meaning};
        }
    }
    ASSERT_EQ(12u, table.size());
    for (int code = -1; code < 256; ++code) {
        const char* name = VCM_ResultName(code);
        if (!name) {
            EXPECT_EQ(0u, table.count(code)) << code << " has a row but no name";
            EXPECT_STREQ("not a result code of the library", VCM_ResultMeaning(code));
            continue;
        }
        ASSERT_EQ(1u, table.count(code)) << name << " has no row in the README";
        EXPECT_EQ(table[code].first, name);
        EXPECT_EQ(table[code].second, VCM_ResultMeaning(code)) << name;
    }
    EXPECT_EQ(0, VCM_OK);
    EXPECT_EQ(14, VCM_NEWER_VERSION_ONLY);
}

}  // namespace
