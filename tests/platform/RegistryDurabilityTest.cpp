// Nothing the registry confirmed is lost: not when two processes write one hive at the same
// time, and not when a writer is killed in the middle of its work.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include "RegistryHelpers.h"
#include "platform/LastError.h"
#include "platform/Registry.h"
#include "support/ScopedRegistryRoot.h"

using namespace platform;
using regtest::Handle;

namespace {

std::u16string Text(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Data(int process, int index) {
    // Values of different lengths, some spanning several database pages.
    return std::string(static_cast<size_t>(1 + (index % 9) * 700),
                       static_cast<char>('a' + process)) +
           std::to_string(index);
}

std::u16string BatchPath(int index) {
    return Text("SOFTWARE\\Vomo\\Load\\Batch" + std::to_string(index / 100));
}

std::u16string ValueName(int process, int index) {
    return Text("p" + std::to_string(process) + "-" + std::to_string(index));
}

// The child's work: every value through its own calls, into keys both processes create.
int WriteValues(int process, int count) {
    for (int i = 0; i < count; ++i) {
        Handle key;
        uint32_t rc = regtest::Create(kHKeyLocalMachine, BatchPath(i).c_str(), key);
        if (rc == 0) {
            rc = regtest::Set(key.key, ValueName(process, i).c_str(), kRegBinary, Data(process, i));
        }
        if (rc != 0) {
            std::fprintf(stderr, "process %d, value %d: error %u (%s)\n", process, i, rc,
                         platform::GetLastErrorText().c_str());
            return 1;
        }
    }
    return 0;
}

TEST(RegistryDurabilityTest, TwoProcessesWritingOneHiveAtOnceLoseNothing) {
    testsupport::ScopedRegistryRoot root;  // no hive yet: both processes race to make it
    const int kPerProcess = 1500;
    int gate[2];
    ASSERT_EQ(0, ::pipe(gate));
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = ::fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            ::close(gate[1]);
            char c;
            // Returns when the parent closes its end: both start at the same moment.
            while (::read(gate[0], &c, 1) > 0) {
            }
            ::_exit(WriteValues(p, kPerProcess));
        }
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    size_t total = 0;
    for (int batch = 0; batch < kPerProcess / 100; ++batch) {
        Handle key;
        ASSERT_EQ(0u, regtest::Open(kHKeyLocalMachine, BatchPath(batch * 100).c_str(), key));
        total += regtest::ValueNames(key.key).size();
        for (int p = 0; p < 2; ++p) {
            for (int i = batch * 100; i < batch * 100 + 100; ++i) {
                uint32_t type = 0;
                std::string bytes;
                ASSERT_EQ(0u, regtest::Get(key.key, ValueName(p, i).c_str(), type, bytes))
                    << p << "-" << i;
                ASSERT_EQ(Data(p, i), bytes);
            }
        }
    }
    EXPECT_EQ(2u * kPerProcess, total);
}

TEST(RegistryDurabilityTest, WriterKilledMidLoopKeepsEveryValueWhoseCallReturned) {
    testsupport::ScopedRegistryRoot root;
    for (int round = 0; round < 3; ++round) {
        int report[2];
        ASSERT_EQ(0, ::pipe(report));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(report[0]);
            Handle key;
            if (regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Killed", key) != 0) {
                ::_exit(1);
            }
            for (int i = 0;; ++i) {
                if (regtest::Set(key.key, ValueName(round, i).c_str(), kRegBinary,
                                 Data(round, i)) != 0) {
                    ::_exit(2);
                }
                // Only now is the value confirmed to the parent.
                if (::write(report[1], &i, sizeof i) != sizeof i) {
                    ::_exit(3);
                }
            }
        }
        ::close(report[1]);

        std::set<int> confirmed;
        const size_t killAfter = 150 + static_cast<size_t>(round) * 97;
        int index = 0;
        while (confirmed.size() < killAfter &&
               ::read(report[0], &index, sizeof index) == static_cast<ssize_t>(sizeof index)) {
            confirmed.insert(index);
        }
        ::kill(child, SIGKILL);
        // Confirmations already in the pipe count too.
        while (::read(report[0], &index, sizeof index) == static_cast<ssize_t>(sizeof index)) {
            confirmed.insert(index);
        }
        ::close(report[0]);
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: status " << status;
        ASSERT_GE(confirmed.size(), killAfter);

        Handle key;
        ASSERT_EQ(0u, regtest::Open(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\Killed", key));
        for (int i : confirmed) {
            uint32_t type = 0;
            std::string bytes;
            ASSERT_EQ(0u, regtest::Get(key.key, ValueName(round, i).c_str(), type, bytes))
                << "round " << round << ", value " << i;
            ASSERT_EQ(Data(round, i), bytes);
        }
    }
    // The hive still takes writes.
    Handle key;
    ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo\\After", key));
    EXPECT_EQ(0u, regtest::Set(key.key, u"v", kRegSz, regtest::Sz(u"ok")));
}

}  // namespace
