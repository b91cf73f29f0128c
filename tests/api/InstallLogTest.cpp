// The install log a person reads: time-stamped lines of each kind, every format the system
// passes, rotation past its size, and writers in several threads whose lines never mix.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "api/InstallLog.h"
#include "platform/Environment.h"
#include "platform/LogFile.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> Lines(const std::string& path) {
    std::string text;
    testsupport::ReadFile(path, text);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The text of each line without its time stamp.
std::vector<std::string> Texts(const std::string& path) {
    std::vector<std::string> texts;
    for (const std::string& line : Lines(path)) {
        // "2026-12-09T14:03:27Z "
        EXPECT_TRUE(line.size() > 21 && line[4] == '-' && line[10] == 'T' && line[19] == 'Z' &&
                    line[20] == ' ')
            << line;
        texts.push_back(line.substr(21));
    }
    return texts;
}

TEST(InstallLogTest, LinesCarryTheirKindAndEveryFormatOfTheSystem) {
    testsupport::TempDir dir("vcm-log");
    vcm::InstallLog log(dir.File("nested/install.log"));
    log.Write("Downloading components --------------------------------------\n");
    log.WriteInfo("Component: [%s] %s\n", "a", "http://h/a.cab");
    log.WriteError("failed to load component %S from the registry.\n", L"K\u00e4se/\u6f22");
    log.WriteError("Component: [%s] - Failed with error: %s", "b", "No such file");
    log.WriteInfo("%d%% of %u, %5.1f, %lld, %zu, %x\n", -3, 7u, 2.25, 1LL << 40, size_t(9), 255);
    log.Write("-------------------------------------------------------------\n\n");
    log.WriteInfo("two\nlines\n");
    log.WriteInfo("%S and %s", static_cast<const wchar_t*>(nullptr), "unfinished %");
    // A manifest's or an installer's text never reaches a terminal as a command.
    log.WriteInfo("%s\n", "esc\x1b[2J bel\a cr\r del\x7f tab\tend");
    EXPECT_EQ((std::vector<std::string>{
                  "info  Downloading components --------------------------------------",
                  "info  Component: [a] http://h/a.cab",
                  "error failed to load component K\u00e4se/\u6f22 from the registry.",
                  "error Component: [b] - Failed with error: No such file",
                  "info  -3% of 7,   2.2, 1099511627776, 9, ff",
                  "info  -------------------------------------------------------------",
                  "info  two", "info  lines", "info  (null) and unfinished %",
                  "info  esc\\x1b[2J bel\\x07 cr\\x0d del\\x7f tab\tend"}),
              Texts(log.Path()));
    struct stat st;
    ASSERT_EQ(0, ::stat(log.Path().c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777);
}

TEST(InstallLogTest, PlaceFollowsTheEnvironment) {
    testsupport::TempDir dir("vcm-log");
    const std::string before = std::getenv("VOMO_LOG_DIR") ? std::getenv("VOMO_LOG_DIR") : "";
    testsupport::SetEnvironment("VOMO_LOG_DIR", dir.Path());
    EXPECT_EQ(dir.File("install.log"), platform::InstallLogPath());
    testsupport::UnsetEnvironment("VOMO_LOG_DIR");
    if (platform::IsSuperUser()) {
        EXPECT_EQ("/var/log/vomo/install.log", platform::InstallLogPath());
    }
    testsupport::SetEnvironment("VOMO_LOG_DIR", before);
}

TEST(InstallLogTest, RotationAndConcurrentWriters) {
    testsupport::TempDir dir("vcm-log");
    const std::string before = std::getenv("VOMO_LOG_DIR") ? std::getenv("VOMO_LOG_DIR") : "";
    testsupport::SetEnvironment("VOMO_LOG_DIR", dir.Path());

    // Four threads write past the rotation size: every line arrives whole, in one of the two
    // files, and the current file never holds more than one rotation's worth.
    vcm::InstallLog log;
    testsupport::SetEnvironment("VOMO_LOG_DIR", before);
    const std::string line(1000, 'x');
    const int perThread = 400;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                log.WriteInfo("%d %d %s\n", t, i, line.c_str());
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    const std::vector<std::string> current = Texts(log.Path());
    const std::vector<std::string> older = Texts(log.Path() + ".1");
    EXPECT_FALSE(older.empty());
    EXPECT_LE(current.size() * 1030, platform::kLogRotateBytes + 1030);
    for (const std::vector<std::string>* part : {&older, &current}) {
        for (const std::string& text : *part) {
            ASSERT_EQ(0u, text.find("info  ")) << text;
            ASSERT_EQ(text.size() - line.size(), text.find(line)) << text;
        }
    }
}

}  // namespace
