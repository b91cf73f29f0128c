// The progress of an update as vcm reads it from the install log: phases, bytes and rate of a
// download, installers' output, and what is shown without a terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "tools/vcm/Progress.h"

namespace {

using vcmtool::ComponentProgress;
using vcmtool::ProgressClock;
using vcmtool::UpdateProgress;
using vcmtool::UpdateWatch;

std::string Line(const char* kind, const std::string& text) {
    return std::string("2026-12-09T14:03:27Z ") + kind + " " + text;
}

TEST(VcmProgressTest, TheLogTellsPhasesBytesRateAndOutput) {
    UpdateWatch watch({"A", "B"});
    const ProgressClock::time_point t0 = ProgressClock::now();
    const struct {
        const char* kind;
        const char* text;
        int secondsLater;
        UpdateWatch::Kind read;
        const char* described;  // the current component afterwards
    } lines[] = {
        {"info ", "Downloading components -----", 0, UpdateWatch::kNothing, ""},
        {"info ", "Component: [A] http://h/A.cab", 0, UpdateWatch::kPhase, "A downloading"},
        {"debug", "Component: [A] received 1048576 of 3145728 bytes", 2, UpdateWatch::kBytes,
         "A downloading 1.0 MiB of 3.0 MiB, 512.0 KiB/s"},
        {"info ", "Component: [B] http://h/B.cab", 3, UpdateWatch::kPhase, "B downloading"},
        {"info ", "Component: [X] http://h/X.cab", 3, UpdateWatch::kNothing, "B downloading"},
        {"info ", "Verifying package signature -----", 4, UpdateWatch::kPhase, "B verifying"},
        {"info ", "Component: [A] - Digital Signature OK", 4, UpdateWatch::kPhase, "A verified"},
        {"info ", "Installing component: [A] version: [2.0.0.0]", 5, UpdateWatch::kPhase,
         "A installing"},
        {"info ", "A: Component: [B] is a line of A's installer", 5, UpdateWatch::kOutput,
         "A installing"},
        {"info ", "Component: [A] Install Succeeded", 6, UpdateWatch::kPhase, "A installed"},
        {"error", "Component: [B] - Failed with error: no", 6, UpdateWatch::kPhase, "B failed"},
        {"info ", "B: late output", 6, UpdateWatch::kOutput, "B failed"},
    };
    for (const auto& line : lines) {
        SCOPED_TRACE(line.text);
        EXPECT_EQ(line.read, watch.Read(Line(line.kind, line.text),
                                        t0 + std::chrono::seconds(line.secondsLater)));
        const ComponentProgress* current = watch.Current();
        EXPECT_EQ(line.described, current ? UpdateWatch::Describe(*current) : "");
    }
    EXPECT_EQ("B: late output", watch.Output());
    // The verify heading moves every downloaded package on at once.
    UpdateWatch both({"A", "B"});
    both.Read(Line("info ", "Component: [A] http://h/A.cab"), t0);
    both.Read(Line("info ", "Component: [B] http://h/B.cab"), t0);
    EXPECT_EQ(UpdateWatch::kPhase, both.Read(Line("info ", "Verifying package signature"), t0));
    EXPECT_EQ(2u, both.Changed().size());
    EXPECT_EQ(UpdateWatch::kNothing, both.Read("not a log line", t0));
}

// Without a terminal, one line per phase change, installers' output only when asked for, and
// lines written before a rotation of the log are not lost.
TEST(VcmProgressTest, WithoutATerminalEveryPhaseIsALine) {
    testsupport::TempDir dir("vcm-progress");
    const std::string log = dir.File("install.log");
    ASSERT_TRUE(testsupport::WriteFile(log, Line("info ", "Component: [A] old run") + "\n"));
    for (const bool verbose : {false, true}) {
        SCOPED_TRACE(verbose);
        FILE* out = std::tmpfile();
        ASSERT_NE(nullptr, out);
        {
            UpdateProgress progress({"A"}, false, verbose, out, log);
            std::FILE* append = std::fopen(log.c_str(), "a");
            std::fprintf(append, "%s\n%s\n", Line("info ", "Component: [A] http://h").c_str(),
                         Line("info ", "A: hello").c_str());
            std::fclose(append);
            std::rename(log.c_str(), (log + ".1").c_str());  // rotated before vcm read it
            append = std::fopen(log.c_str(), "a");
            std::fprintf(append, "%s\n%s",
                         Line("info ", "Component: [A] Install Succeeded").c_str(),
                         Line("info ", "A: unfinished line").c_str());
            std::fclose(append);
        }
        std::rewind(out);
        std::string shown;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, out)) {
            shown += buffer;
        }
        std::fclose(out);
        EXPECT_EQ(verbose ? "[A] downloading\nA: hello\n[A] installed\n"
                          : "[A] downloading\n[A] installed\n",
                  shown);
        ASSERT_TRUE(testsupport::WriteFile(log, ""));
    }
}

}  // namespace
