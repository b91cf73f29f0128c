// One-shot settings accessors (open the key, read or write one value, release) against the same
// single-row read and write done with raw SQLite calls on a database of the same kind (write-ahead
// log, the same table layout). The targets: an accessor read costs at most twice the raw read
// (BM_ReadsBesideRawReads: batches of reads in pairs, bench/Paired.h); a write is a transaction
// of its own either way.
//
//   build/release/bin/bench_registry_accessors
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <boost/filesystem.hpp>
#include <cstdio>
#include <string>

#include "bench/Paired.h"
#include "settings/SettingsAccessors.h"

namespace {

std::string gFolder;

// A database laid out like a hive's values table, holding one value row.
class RawDatabase {
public:
    RawDatabase() {
        const std::string file = gFolder + "/raw.db";
        sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_exec(db_,
                     "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                     "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key "
                     "INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL, units INTEGER NOT "
                     "NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE (key, fold));"
                     "INSERT OR IGNORE INTO vals(key, name, fold, units, type, data) VALUES(4, "
                     "'Value', 'VALUE', 5, 11, x'2a00000000000000');",
                     nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db_, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2", -1,
                           &read_, nullptr);
        sqlite3_prepare_v2(db_,
                           "INSERT INTO vals(key, name, fold, units, type, data) VALUES(?1, "
                           "'Value', ?2, 5, 11, ?3) ON CONFLICT(key, fold) DO UPDATE SET type = "
                           "excluded.type, data = excluded.data",
                           -1, &write_, nullptr);
    }
    ~RawDatabase() {
        sqlite3_finalize(read_);
        sqlite3_finalize(write_);
        sqlite3_close(db_);
    }

    uint32_t Read() {
        sqlite3_bind_int64(read_, 1, 4);
        sqlite3_bind_text(read_, 2, "VALUE", 5, SQLITE_STATIC);
        uint32_t value = 0;
        if (sqlite3_step(read_) == SQLITE_ROW) {
            const void* data = sqlite3_column_blob(read_, 1);
            if (data && sqlite3_column_bytes(read_, 1) == 8) {
                value = *static_cast<const uint32_t*>(data);
            }
        }
        sqlite3_reset(read_);
        return value;
    }

    bool Write(uint64_t value) {
        sqlite3_bind_int64(write_, 1, 4);
        sqlite3_bind_text(write_, 2, "VALUE", 5, SQLITE_STATIC);
        sqlite3_bind_blob(write_, 3, &value, sizeof value, SQLITE_STATIC);
        const bool ok = sqlite3_step(write_) == SQLITE_DONE;
        sqlite3_reset(write_);
        return ok;
    }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* read_ = nullptr;
    sqlite3_stmt* write_ = nullptr;
};

void RawRead(benchmark::State& state) {
    RawDatabase db;
    for (auto _ : state) {
        benchmark::DoNotOptimize(db.Read());
    }
}

void RawWrite(benchmark::State& state) {
    RawDatabase db;
    uint64_t i = 0;
    for (auto _ : state) {
        if (!db.Write(++i)) {
            state.SkipWithError("raw write failed");
            break;
        }
    }
}

void AccessorReadNumber(benchmark::State& state) {
    vmds::WriteInstallNumber("Bench", "Value", 42);
    for (auto _ : state) {
        uint32_t value = 0;
        if (!vmds::ReadInstallNumber("Bench", "Value", value)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(value);
    }
}

void AccessorReadString(benchmark::State& state) {
    vmds::WriteInstallString("Bench", "Text", "/opt/vomo/component");
    for (auto _ : state) {
        std::string text;
        if (!vmds::ReadInstallString("Bench", "Text", text)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(text);
    }
}

void AccessorWriteNumber(benchmark::State& state) {
    uint32_t i = 0;
    for (auto _ : state) {
        if (!vmds::WriteInstallNumber("Bench", "Value", ++i)) {
            state.SkipWithError("write failed");
            break;
        }
    }
}

// Batches of reads, ours and raw ones in pairs.
void BM_ReadsBesideRawReads(benchmark::State& state) {
    const int kReads = 5000;
    RawDatabase db;
    vmds::WriteInstallNumber("Bench", "Value", 42);
    benchpair::Run(
        state, "5000 accessor reads", "5000 raw SQLite reads",
        [&] {
            uint32_t value = 0;
            bool ok = true;
            for (int i = 0; i < kReads; ++i) {
                ok = vmds::ReadInstallNumber("Bench", "Value", value) && ok;
            }
            return ok && value == 42;
        },
        [&] {
            uint32_t sum = 0;
            for (int i = 0; i < kReads; ++i) {
                sum += db.Read();
            }
            return sum == 42u * kReads;
        },
        benchpair::Target{2.0, 0});
}

BENCHMARK(RawRead);
BENCHMARK(AccessorReadNumber);
BENCHMARK(AccessorReadString);
BENCHMARK(RawWrite);
BENCHMARK(AccessorWriteNumber);
BENCHMARK(BM_ReadsBesideRawReads)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vomo-bench-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        std::perror("mkdtemp");
        return 1;
    }
    gFolder = pattern;
    setenv("VOMO_REGISTRY_ROOT", gFolder.c_str(), 1);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    boost::system::error_code ignored;
    boost::filesystem::remove_all(gFolder, ignored);
    return 0;
}
