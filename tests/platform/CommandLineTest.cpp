// Splitting an argument text into the argument vector, and escaping a text for a quoted part.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CommandLine.h"

namespace {

typedef std::vector<std::string> Strings;

TEST(CommandLineTest, SplitsByTheWindowsRules) {
    const struct {
        const char* text;
        Strings arguments;
    } cases[] = {
        {"", {}},
        {" \t ", {}},
        {"a  b\tc ", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"a \"\" b", {"a", "", "b"}},
        {"\\a\\\\b\\", {"\\a\\\\b\\"}},   // backslashes without a quote are literal
        {"a\\\"b", {"a\"b"}},             // odd: literal quote
        {"a\\\\\"b c\"", {"a\\b c"}},     // even: half of them, then a delimiter
        {"a\\\\\\\"b", {"a\\\"b"}},       // three: one, then a literal quote
        {"\"a\"\"b c\"", {"a\"b", "c"}},  // "" inside quotes: a quote, and the part ends
        {"\"a\"\"\"b\"", {"a\"b"}},       // three in a row reopen the quoted part
        {"/DIR=\"C:\\Dir\\\" /LOCALE=en-us", {"/DIR=C:\\Dir\" /LOCALE=en-us"}},
        {" /UNINSTALL _?=/opt/my \"dir\"\\ x ", {"/UNINSTALL", "_?=/opt/my \"dir\"\\ x "}},
        {"a_?=b c", {"a_?=b", "c"}},  // only at an argument's start
        {"\"_?=a b\" c", {"_?=a b", "c"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.arguments, platform::SplitCommandLine(c.text)) << c.text;
    }
}

TEST(CommandLineTest, AnEscapedTextComesBackWholeFromItsQuotes) {
    const char* texts[] = {"",     "/opt/vomo", "/opt/my vomo", "a\"b",   "trailing\\",
                           "\\\\", "a\\\"b",    "x\\\\\"",      "\"\"\"", "c:\\a b\\"};
    for (const char* text : texts) {
        const std::string line = "/DIR=\"" + platform::EscapeForQuotes(text) + "\" /LOCALE=en-us";
        EXPECT_EQ(Strings({std::string("/DIR=") + text, "/LOCALE=en-us"}),
                  platform::SplitCommandLine(line))
            << line;
    }
    EXPECT_EQ("/opt/my vomo\\x", platform::EscapeForQuotes("/opt/my vomo\\x"));
}

}  // namespace
