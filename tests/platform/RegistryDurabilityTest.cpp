// Nothing the registry confirmed is lost: not when two processes write one hive at the same
// time, and not when a writer is killed in the middle of its work. No process ever sees part of
// another's write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <set>
#include <string>
#include <vector>

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

// A chain of keys below SOFTWARE\Vomo\Atomic, `depth` levels deep.
std::u16string ChainPath(int depth) {
    std::string path = "SOFTWARE\\Vomo\\Atomic";
    for (int level = 0; level < depth; ++level) {
        path += "\\Level" + std::to_string(level);
    }
    return Text(path);
}

const int kChainDepth = 48;

struct Verdict {
    int violations = 0;
    int observations = 0;
    uint32_t error = 0;
};

struct WriteResult {
    uint32_t rc = 0;
    uint32_t disposition = 0;
};

// The watcher's side of one round: looks again and again at the chain's first and last key until
// `stop`, once more after it. The chain goes from absent to present in phase 'c' and back in
// phase 'd', each in one call, so a key seen in its new state never shows its old one again.
Verdict Watch(char phase, const std::atomic<int>& stop, int readyFd) {
    const std::u16string ends[2] = {ChainPath(1), ChainPath(kChainDepth)};
    Verdict verdict;
    bool changed = false;
    bool last = false;
    for (bool stopping = false; !stopping;) {
        stopping = stop.load() != 0;
        for (const std::u16string& path : ends) {
            Handle key;
            const uint32_t rc = regtest::Open(kHKeyLocalMachine, path.c_str(), key, kKeyRead);
            if (rc != 0 && rc != kErrorFileNotFound) {
                verdict.error = rc;
            }
            last = (rc == 0) == (phase == 'c');
            verdict.violations += changed && !last ? 1 : 0;
            changed = changed || last;
            ++verdict.observations;
        }
        if (verdict.observations == 2 && ::write(readyFd, "r", 1) != 1) {
            verdict.error = 1;
        }
    }
    verdict.violations += last ? 0 : 1;  // the write happened
    return verdict;
}

// A writer's side: phase 'c' creates the whole chain in one call, 'd' deletes it in one call.
WriteResult Write(char phase) {
    WriteResult result;
    if (phase == 'c') {
        Handle key;
        result.rc = regtest::Create(kHKeyLocalMachine, ChainPath(kChainDepth).c_str(), key,
                                    kKeyAllAccess, &result.disposition);
    } else {
        result.rc = SHDeleteKeyW(kHKeyLocalMachine, ChainPath(1).c_str());
    }
    return result;
}

// Reads one answer: a child writes each in one write of less than PIPE_BUF bytes, which a pipe
// keeps whole.
template <class T>
bool ReadAnswer(int fd, T& answer) {
    return ::read(fd, &answer, sizeof answer) == static_cast<ssize_t>(sizeof answer);
}

// Two processes create the same chain of keys at the same moment, then one deletes it, round
// after round, while a third watches: every round, the watcher sees each write whole or not at
// all, both creations succeed and exactly one of them made the chain.
TEST(RegistryDurabilityTest, ConcurrentCreationAndTreeDeletionAreSeenWholeOrNotAtAll) {
    testsupport::ScopedRegistryRoot root;
    {
        Handle product;  // the hive exists before the rounds start
        ASSERT_EQ(0u, regtest::Create(kHKeyLocalMachine, u"SOFTWARE\\Vomo", product));
    }
    void* shared = ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, shared);
    std::atomic<int>& stop = *new (shared) std::atomic<int>(0);

    // Process 0 watches, processes 1 and 2 write; each takes its phase from its own pipe and
    // answers on the common one. They die with the test, should it end early.
    int commands[3][2];
    int answers[2];
    ASSERT_EQ(0, ::pipe(answers));
    std::vector<pid_t> children;
    struct Reaper {
        std::vector<pid_t>& children;
        ~Reaper() {
            for (pid_t child : children) {
                ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
            }
        }
    } reaper{children};
    for (int p = 0; p < 3; ++p) {
        ASSERT_EQ(0, ::pipe(commands[p]));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (int q = 0; q <= p; ++q) {
                ::close(commands[q][1]);
            }
            ::close(answers[0]);
            char phase;
            while (::read(commands[p][0], &phase, 1) == 1) {
                const Verdict verdict = p == 0 ? Watch(phase, stop, answers[1]) : Verdict();
                const WriteResult result = p == 0 ? WriteResult() : Write(phase);
                const bool sent =
                    p == 0 ? ::write(answers[1], &verdict, sizeof verdict) == sizeof verdict
                           : ::write(answers[1], &result, sizeof result) == sizeof result;
                if (!sent) {
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
        children.push_back(child);
        ::close(commands[p][0]);
    }
    ::close(answers[1]);

    const int kRounds = 40;
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        for (const char phase : {'c', 'd'}) {
            stop.store(0);
            char ready = 0;
            ASSERT_EQ(1, ::write(commands[0][1], &phase, 1));
            ASSERT_TRUE(ReadAnswer(answers[0], ready));
            // Both writers create; the first alone deletes.
            const int writers = phase == 'c' ? 2 : 1;
            for (int p = 1; p <= writers; ++p) {
                ASSERT_EQ(1, ::write(commands[p][1], &phase, 1));
            }
            int created = 0;
            for (int w = 0; w < writers; ++w) {
                WriteResult result;
                ASSERT_TRUE(ReadAnswer(answers[0], result));
                EXPECT_EQ(0u, result.rc) << "round " << round << ", phase " << phase;
                created += result.disposition == kRegCreatedNewKey ? 1 : 0;
            }
            stop.store(1);
            Verdict verdict;
            ASSERT_TRUE(ReadAnswer(answers[0], verdict));
            EXPECT_EQ(0u, verdict.error) << "round " << round << ", phase " << phase;
            EXPECT_EQ(0, verdict.violations)
                << "round " << round << ", phase " << phase << ": part of a write was seen in "
                << verdict.observations << " looks";
            if (phase == 'c') {
                EXPECT_EQ(1, created) << "round " << round;
            }
        }
    }
    for (int p = 0; p < 3; ++p) {
        ::close(commands[p][1]);
    }
    ::close(answers[0]);
    for (pid_t child : children) {
        int status = 0;
        EXPECT_EQ(child, ::waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    children.clear();
    ::munmap(shared, sizeof(std::atomic<int>));
}

}  // namespace
