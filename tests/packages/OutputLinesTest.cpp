// An installer's output, read in chunks wherever the pipe cuts it, becomes whole prefixed lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packages/OutputLines.h"

namespace {

TEST(OutputLinesTest, ChunksBecomePrefixedLines) {
    const std::string euro = "\xe2\x82\xac";  // three bytes of UTF-8
    // A long line whose cut would fall inside the euro sign: the cut moves before it.
    const std::string wide = std::string(kMaxOutputLineBytes - 1, 'w') + euro + "tail";
    const struct {
        const char* name;
        std::vector<std::string> chunks;
        std::string lines;
    } cases[] = {
        {"lines cut anywhere",
         {"one\ntw", "o\n", "\nthr", "ee"},
         "x: one\nx: two\nx: \nx: three\n"},
        {"carriage returns before newlines", {"dos\r\n", "a\rb\n"}, "x: dos\nx: a\rb\n"},
        {"nothing", {}, ""},
        {"a line longer than the bound",
         {wide.substr(0, 100), wide.substr(100), "\n"},
         "x: " + std::string(kMaxOutputLineBytes - 1, 'w') + "\nx: " + euro + "tail\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        OutputLines lines("x: ", [&out](const std::string& batch) { out += batch; });
        for (const std::string& chunk : c.chunks) {
            lines.Add(chunk.data(), chunk.size());
        }
        lines.Finish();
        lines.Finish();  // nothing is left to hand on twice
        EXPECT_EQ(c.lines, out);
    }
}

}  // namespace
