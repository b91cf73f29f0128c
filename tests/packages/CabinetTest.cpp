// Cabinet extraction with libmspack against cabinets made by gcab, checked against cabextract.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/Cabinet.h"
#include "platform/LastError.h"
#include "support/CodeSigning.h"
#include "support/TempDir.h"

using testsupport::MakeCabinet;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// An output cap no test cabinet comes near.
const uint64_t kAmple = 1ull << 30;

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        // Half random, half runs: something for the compressor to do on both kinds.
        c = static_cast<char>(generator() % 3 == 0 ? 'a' : generator());
    }
    return bytes;
}

struct stat StatOf(const std::string& path) {
    struct stat st;
    std::memset(&st, 0, sizeof st);
    ::lstat(path.c_str(), &st);
    return st;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The bytes cabextract writes for the single member of `cabinet`.
std::string CabextractMember(const std::string& cabinet, const std::string& member,
                             const std::string& dir) {
    std::string bytes;
    EXPECT_EQ(0, RunCommand("cabextract -q -d " + ShellQuote(dir) + " " + ShellQuote(cabinet)));
    EXPECT_TRUE(ReadFile(dir + "/" + member, bytes));
    return bytes;
}

class CabinetTest : public ::testing::Test {
protected:
    TempDir dir_{"vcm-cabinet"};
};

TEST_F(CabinetTest, WritesTheMemberBytesAndTime) {
    const std::string manifest = "<?xml version=\"1.0\"?>\n<manifest version=\"2.0.0.1\"/>\n";
    const std::string big = RandomBytes(1 << 20, 7);
    const std::string time = "2021-03-04 05:06:08";  // DOS times have two-second steps
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "MSZIP" : "stored");
        const std::string tag = compress ? "z" : "s";
        const std::string cabinet = dir_.File(tag + ".cab");
        const std::string source = dir_.File(tag + "src");
        ::mkdir(source.c_str(), 0700);
        ASSERT_TRUE(MakeCabinet(cabinet, {{"manifest.xml", manifest}, {"big.bin", big}}, compress,
                                source, time));
        const std::string reference = dir_.File(tag + "ref");
        ::mkdir(reference.c_str(), 0700);
        ASSERT_EQ(big, CabextractMember(cabinet, "big.bin", reference));

        // The members go one after the other into the one destination: the last one stays.
        const std::string out = dir_.File(tag + ".out");
        ASSERT_TRUE(platform::ExtractCabinet(cabinet, out, kAmple)) << platform::GetLastErrorText();
        std::string bytes;
        ASSERT_TRUE(ReadFile(out, bytes));
        EXPECT_EQ(big, bytes);
        const struct stat st = StatOf(out);
        EXPECT_EQ(StatOf(source + "/big.bin").st_mtime, st.st_mtime);
        EXPECT_EQ(0600u, st.st_mode & 07777);

        const std::string single = dir_.File(tag + "1.cab");
        ASSERT_TRUE(MakeCabinet(single, {{"manifest.xml", manifest}}, compress, source, time));
        const std::string out1 = dir_.File(tag + "1.out");
        ASSERT_TRUE(platform::ExtractCabinet(single, out1, kAmple));
        ASSERT_TRUE(ReadFile(out1, bytes));
        EXPECT_EQ(manifest, bytes);
        EXPECT_EQ(manifest, CabextractMember(single, "manifest.xml", reference));
    }
}

TEST_F(CabinetTest, ASignedCabinetExtractsLikeAnUnsignedOne) {
    const std::string cabinet = dir_.File("plain.cab");
    ASSERT_TRUE(MakeCabinet(cabinet, {{"m.xml", "<manifest/>"}}, true, dir_.Path()));
    const std::string signedCabinet = dir_.File("signed.cab");
    ASSERT_TRUE(testsupport::CodeSigning::Instance().Sign(testsupport::Signer::kVomoLlc, cabinet,
                                                          signedCabinet));
    ASSERT_TRUE(platform::ExtractCabinet(signedCabinet, dir_.File("out"), kAmple));
    std::string bytes;
    ASSERT_TRUE(ReadFile(dir_.File("out"), bytes));
    EXPECT_EQ("<manifest/>", bytes);
}

TEST_F(CabinetTest, TheReadOnlyAttributeRemovesWritePermission) {
    const std::string cabinet = dir_.File("ro.cab");
    ASSERT_TRUE(MakeCabinet(cabinet, {{"m.xml", "<manifest/>"}}, false, dir_.Path()));
    std::string bytes;
    ASSERT_TRUE(ReadFile(cabinet, bytes));
    const size_t files =
        static_cast<unsigned char>(bytes[16]) | (static_cast<unsigned char>(bytes[17]) << 8);
    bytes[files + 14] |= 0x01;  // the first CFFILE's attributes
    ASSERT_TRUE(WriteFile(cabinet, bytes));
    ASSERT_TRUE(platform::ExtractCabinet(cabinet, dir_.File("out"), kAmple));
    EXPECT_EQ(0400u, StatOf(dir_.File("out")).st_mode & 07777);
    ASSERT_TRUE(ReadFile(dir_.File("out"), bytes));
    EXPECT_EQ("<manifest/>", bytes);
}

TEST_F(CabinetTest, RefusesWhatIsNotACabinetAndLeavesNothingBehind) {
    const std::string good = dir_.File("good.cab");
    ASSERT_TRUE(MakeCabinet(good, {{"data.bin", RandomBytes(200000, 3)}}, true, dir_.Path()));
    std::string cabinet;
    ASSERT_TRUE(ReadFile(good, cabinet));

    std::vector<std::pair<std::string, std::string>> bad = {
        {"empty", ""},
        {"three bytes", "MSC"},
        {"text", "MSCX this is not a cabinet at all"},
        {"PE image", testsupport::MinimalPeImage(false)},
        {"cut to 50 bytes", cabinet.substr(0, 50)},
        {"cut in the header", cabinet.substr(0, 30)},
        {"cut in the data", cabinet.substr(0, cabinet.size() / 2)},
    };
    std::string corrupt = cabinet;
    corrupt[cabinet.size() - 1000] ^= 0x55;  // inside a data block
    bad.emplace_back("corrupt data block", corrupt);
    std::string noFiles = cabinet;
    noFiles[28] = noFiles[29] = 0;  // no CFFILE records
    bad.emplace_back("no members", noFiles);

    // libmspack must not write to the host's standard error: catch it in a file.
    std::fflush(stderr);
    const int savedStderr = ::dup(2);
    const std::string errors = dir_.File("stderr");
    const int errorFd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(errorFd, 0);
    ::dup2(errorFd, 2);
    std::vector<std::string> accepted;
    for (size_t i = 0; i < bad.size(); ++i) {
        const std::string source = dir_.File("bad" + std::to_string(i));
        const std::string out = source + ".out";
        ASSERT_TRUE(WriteFile(source, bad[i].second));
        if (platform::ExtractCabinet(source, out, kAmple) || Exists(out)) {
            accepted.push_back(bad[i].first);
        }
    }
    std::fflush(stderr);
    ::dup2(savedStderr, 2);
    ::close(savedStderr);
    ::close(errorFd);
    EXPECT_TRUE(accepted.empty()) << "accepted or left a file: " << accepted.front();
    std::string printed;
    ASSERT_TRUE(ReadFile(errors, printed));
    EXPECT_EQ("", printed);
    EXPECT_FALSE(platform::ExtractCabinet(dir_.File("no-such.cab"), dir_.File("x"), kAmple));
    const std::string fifo = dir_.File("fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    EXPECT_FALSE(platform::ExtractCabinet(fifo, dir_.File("y"), kAmple));  // refused, not waited on
    EXPECT_FALSE(Exists(dir_.File("y")));
}

// The cap counts every member's bytes: one byte short of them fails and leaves nothing.
TEST_F(CabinetTest, OutputOverTheCapFailsAndLeavesNothingBehind) {
    const std::string cabinet = dir_.File("two.cab");
    ASSERT_TRUE(MakeCabinet(cabinet, {{"a.bin", std::string(60000, 'a')}, {"b.bin", "bb"}}, true,
                            dir_.Path()));
    EXPECT_TRUE(platform::ExtractCabinet(cabinet, dir_.File("fits"), 60002));
    for (const uint64_t cap : {60001, 59999, 0}) {
        SCOPED_TRACE(cap);
        EXPECT_FALSE(platform::ExtractCabinet(cabinet, dir_.File("over"), cap));
        EXPECT_FALSE(Exists(dir_.File("over")));
        EXPECT_NE(std::string::npos, platform::GetLastErrorText().find("bytes of output"));
    }
}

TEST_F(CabinetTest, NeverWritesThroughAnExistingNameOrLink) {
    const std::string cabinet = dir_.File("c.cab");
    ASSERT_TRUE(MakeCabinet(cabinet, {{"m.xml", "<manifest/>"}}, true, dir_.Path()));
    const std::string existing = dir_.File("existing");
    ASSERT_TRUE(WriteFile(existing, "someone else's"));
    EXPECT_FALSE(platform::ExtractCabinet(cabinet, existing, kAmple));
    std::string bytes;
    ASSERT_TRUE(ReadFile(existing, bytes));
    EXPECT_EQ("someone else's", bytes);

    const std::string target = dir_.File("target");
    const std::string link = dir_.File("link");
    ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));
    EXPECT_FALSE(platform::ExtractCabinet(cabinet, link, kAmple));
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(platform::ExtractCabinet(cabinet, dir_.File("no-such-dir/out"), kAmple));
}

TEST_F(CabinetTest, ScanningInMemoryListsMembersAndBoundsTheOutput) {
    const std::string cabinet = dir_.File("scan.cab");
    ASSERT_TRUE(MakeCabinet(cabinet, {{"a.xml", "<a/>"}, {"b.bin", RandomBytes(100000, 5)}}, true,
                            dir_.Path(), "2022-12-31 23:59:58"));
    std::string bytes;
    ASSERT_TRUE(ReadFile(cabinet, bytes));
    std::vector<platform::CabinetMember> members;
    ASSERT_TRUE(platform::ScanCabinetBuffer(bytes.data(), bytes.size(), 1 << 20, members));
    ASSERT_EQ(2u, members.size());
    EXPECT_EQ("a.xml", members[0].name);
    EXPECT_EQ(4u, members[0].length);
    EXPECT_EQ(100000u, members[1].length);
    EXPECT_EQ(2022, members[1].year);
    EXPECT_EQ(12, members[1].month);
    EXPECT_EQ(31, members[1].day);
    EXPECT_EQ(23, members[1].hour);
    EXPECT_EQ(59, members[1].minute);
    EXPECT_EQ(58, members[1].second);
    EXPECT_FALSE(platform::ScanCabinetBuffer(bytes.data(), bytes.size(), 50000, members));
    EXPECT_FALSE(platform::ScanCabinetBuffer(bytes.data(), 40, 1 << 20, members));
}

uint32_t Le32At(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

uint16_t Le16At(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// Where the data blocks of the first folder of a gcab cabinet (no reserve) start and end.
std::vector<std::pair<size_t, size_t>> DataBlocks(const std::string& cabinet) {
    std::vector<std::pair<size_t, size_t>> blocks;
    size_t at = Le32At(cabinet, 36);
    for (uint16_t n = Le16At(cabinet, 40); n > 0 && at + 8 <= cabinet.size(); --n) {
        const size_t size = Le16At(cabinet, at + 4);
        blocks.emplace_back(at, at + 8 + size);
        at += 8 + size;
    }
    return blocks;
}

struct Outcome {
    bool ok = false;
    std::string out;  // the destination's bytes: the last member's
    bool scanned = false;
};

// MSZIP folders are inflated with zlib, every other kind by libmspack, which can also inflate
// them: both readers must agree on every cabinet, and on damaged ones zlib's may refuse more
// but never accept what libmspack's refuses, nor give other bytes.
TEST_F(CabinetTest, ZlibInflatesMszipAsLibmspackDoesAndNeverMoreLeniently) {
    std::string text;
    for (int i = 0; text.size() < 150000; ++i) {
        text += "<component id=\"c" + std::to_string(i * 7 % 1000) + "\" version=\"1." +
                std::to_string(i % 13) + "\"/>\n";
    }
    const std::string cabinet = dir_.File("both.cab");
    ASSERT_TRUE(MakeCabinet(cabinet,
                            {{"a.xml", text},
                             {"b.bin", RandomBytes(70000, 3)},
                             {"c", ""},
                             {"d.xml", text.substr(0, 40000)}},
                            true, dir_.Path()));
    std::string bytes;
    ASSERT_TRUE(ReadFile(cabinet, bytes));
    int runs = 0;
    const auto run = [&](const std::string& input, bool zlib) {
        platform::UseZlibForMszipForTesting(zlib);
        const std::string in = dir_.File("in" + std::to_string(runs));
        const std::string out = dir_.File("out" + std::to_string(runs++));
        Outcome outcome;
        EXPECT_TRUE(WriteFile(in, input));
        outcome.ok = platform::ExtractCabinet(in, out, kAmple);
        if (outcome.ok) {
            EXPECT_TRUE(ReadFile(out, outcome.out));
        }
        std::vector<platform::CabinetMember> members;
        outcome.scanned = platform::ScanCabinetBuffer(input.data(), input.size(), kAmple, members);
        ::unlink(in.c_str());
        ::unlink(out.c_str());
        platform::UseZlibForMszipForTesting(true);
        return outcome;
    };

    const Outcome whole = run(bytes, true);
    EXPECT_TRUE(whole.ok && whole.scanned);
    EXPECT_EQ(text.substr(0, 40000), whole.out);

    // Members listed out of their folder's order: the folder is read again from its start.
    const size_t files = Le32At(bytes, 16);
    const size_t second = bytes.find('\0', files + 16) + 1;
    const size_t third = bytes.find('\0', second + 16) + 1;
    std::string swapped = bytes;
    swapped.replace(files, third - files,
                    bytes.substr(second, third - second) + bytes.substr(files, second - files));
    std::string reordered = swapped;
    // Now b.bin, a.xml, c, d.xml: end with a.xml by dropping the last two from the count.
    reordered[28] = 2;
    const Outcome again = run(reordered, true);
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(text, again.out);

    // Damaged compressed data behind cleared checksums reaches the inflaters.
    const std::vector<std::pair<size_t, size_t>> blocks = DataBlocks(bytes);
    ASSERT_GT(blocks.size(), 3u);
    int refused = 0;
    for (int trial = 0; trial < 48; ++trial) {
        std::string damaged = bytes;
        for (const auto& block : blocks) {
            damaged.replace(block.first, 4, 4, '\0');
        }
        const auto& block = blocks[trial % blocks.size()];
        const size_t data = block.first + 8;
        damaged[data + (trial * 7919) % (block.second - data)] ^=
            static_cast<char>(1 << (trial % 8));
        SCOPED_TRACE(trial);
        const Outcome ours = run(damaged, true);
        const Outcome theirs = run(damaged, false);
        if (ours.ok) {
            EXPECT_TRUE(theirs.ok);
            EXPECT_EQ(theirs.out, ours.out);
        } else {
            ++refused;
        }
        EXPECT_TRUE(!ours.scanned || theirs.scanned);
    }
    EXPECT_GT(refused, 0);

    // With the checksums kept, damage is refused for the checksum; a cut cabinet is refused.
    std::string damaged = bytes;
    damaged[blocks[1].first + 20] ^= 4;
    EXPECT_FALSE(run(damaged, true).ok);
    EXPECT_NE(std::string::npos, platform::GetLastErrorText().find("checksum"));
    EXPECT_FALSE(run(bytes.substr(0, blocks[2].first + 30), true).ok);
    EXPECT_FALSE(run(bytes.substr(0, blocks[2].first + 30), false).ok);
}

}  // namespace
