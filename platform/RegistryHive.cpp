#include "platform/RegistryHive.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "platform/Environment.h"
#include "platform/Folders.h"
#include "platform/LastError.h"
#include "platform/Registry.h"
#include "platform/RegistryNames.h"

namespace platform {
namespace reghive {

namespace {

const int64_t kApplicationId = 0x566F6D6F;  // "Vomo"
const int64_t kFormat = 1;
const int64_t kRootId = 0;
// The write-ahead log is kept between connections (so that a process that may only read the
// hive can still share it) and cut back to this size after checkpoints.
const char* const kJournalSizeLimit = "PRAGMA journal_size_limit = 4194304";
// Internal answer of a body that found it has to write; never recorded nor returned.
const uint32_t kNeedsWrite = 0xFFFFFFFFu;

const char* const kSchema =
    "CREATE TABLE hive(one INTEGER PRIMARY KEY CHECK (one = 1), stamp INTEGER NOT NULL);"
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, fold TEXT NOT NULL, path TEXT NOT NULL UNIQUE, units INTEGER NOT NULL,"
    " UNIQUE (parent, fold));"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,"
    " name TEXT NOT NULL, fold TEXT NOT NULL, units INTEGER NOT NULL, type INTEGER NOT NULL,"
    " data BLOB NOT NULL, UNIQUE (key, fold));"
    "PRAGMA application_id = 1450143087;"  // kApplicationId
    "PRAGMA user_version = 1;";

uint32_t Fail(uint32_t code, const std::string& text) {
    SetLastError(code, text);
    return code;
}

// A failed SQLite call, with the code and text of the connection.
struct SqlFailure {
    int code;
    int systemError;
    std::string text;
};

uint32_t ErrorCodeOf(const SqlFailure& failure) {
    switch (failure.code & 0xFF) {
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return kErrorAccessDenied;
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
            return (failure.systemError == EACCES || failure.systemError == EPERM ||
                    failure.systemError == EROFS)
                       ? kErrorAccessDenied
                       : kErrorRegistryIoFailed;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
        case SQLITE_FORMAT:
            return kErrorRegistryCorrupt;
        case SQLITE_FULL:
            return kErrorDiskFull;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return kErrorBusy;
        case SQLITE_NOMEM:
            return kErrorNotEnoughMemory;
        case SQLITE_TOOBIG:
            return kErrorInvalidParameter;
        default:
            return kErrorRegistryIoFailed;
    }
}

[[noreturn]] void ThrowSql(sqlite3* db, int code) {
    throw SqlFailure{
        code, db ? sqlite3_system_errno(db) : 0,
        std::string("registry hive: ") + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code))};
}

[[noreturn]] void ThrowCorrupt(const std::string& text) {
    throw SqlFailure{SQLITE_CORRUPT, 0, text};
}

// One open database of a hive, with its prepared statements.
struct Connection {
    sqlite3* db = nullptr;
    std::string file;
    pid_t pid = 0;
    bool readOnly = false;
    bool ready = false;  // the hive's tables exist and `stamp` is known
    int64_t stamp = 0;
    std::map<const char*, sqlite3_stmt*> statements;
    // The file as opened, to notice when it is removed or replaced (O_PATH: it takes no part in
    // the file's locks, and closing it releases none of SQLite's).
    int pathFd = -1;

    ~Connection() {
        for (auto& entry : statements) {
            sqlite3_finalize(entry.second);
        }
        sqlite3_close_v2(db);
        if (pathFd >= 0) {
            ::close(pathFd);
        }
    }

    // True while the file this connection opened is still linked into the file system.
    bool StillLinked() const {
        struct stat st;
        return pathFd >= 0 && ::fstat(pathFd, &st) == 0 && st.st_nlink > 0;
    }

    // The prepared statement of `sql` (a string literal: its address is the cache key).
    sqlite3_stmt* Statement(const char* sql) {
        auto it = statements.find(sql);
        if (it != statements.end()) {
            return it->second;
        }
        sqlite3_stmt* statement = nullptr;
        const int rc =
            sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (rc != SQLITE_OK) {
            ThrowSql(db, rc);
        }
        statements.emplace(sql, statement);
        return statement;
    }

    void Exec(const char* sql) {
        const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            ThrowSql(db, rc);
        }
    }
};

// One run of a cached statement; resets it when done.
class Query {
public:
    Query(Connection& connection, const char* sql)
        : db_(connection.db), statement_(connection.Statement(sql)) {}
    ~Query() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, int64_t value) {
        Check(sqlite3_bind_int64(statement_, index, value));
        return *this;
    }
    // Binds `text` without a copy: it must outlive the statement's run (Step).
    Query& BindKept(int index, const std::string& text) {
        Check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                SQLITE_STATIC));
        return *this;
    }
    Query& Bind(int index, const std::string& text) {
        Check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Query& BindBlob(int index, const uint8_t* data, size_t size) {
        static const uint8_t kNothing = 0;
        Check(sqlite3_bind_blob64(statement_, index, size ? data : &kNothing, size,
                                  SQLITE_TRANSIENT));
        return *this;
    }

    // True for a row, false when done.
    bool Step() {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            ThrowSql(db_, rc);
        }
        return false;
    }

    int64_t Int(int column) { return sqlite3_column_int64(statement_, column); }
    bool IsNull(int column) { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    std::string Bytes(int column) {
        const void* data = sqlite3_column_blob(statement_, column);
        const int size = sqlite3_column_bytes(statement_, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                    : std::string();
    }
    std::u16string Name(int column) {
        const unsigned char* text = sqlite3_column_text(statement_, column);
        const int size = sqlite3_column_bytes(statement_, column);
        std::u16string name;
        if (!regnames::FromStored(
                text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
                     : std::string(),
                name)) {
            ThrowCorrupt("registry hive: a stored name is not valid text");
        }
        return name;
    }

private:
    void Check(int rc) {
        if (rc != SQLITE_OK) {
            ThrowSql(db_, rc);
        }
    }

    sqlite3* db_;
    sqlite3_stmt* statement_;
};

std::string FoldedName(const std::u16string& name) {
    return regnames::FoldToStored(name);
}

// The statements of one transaction. Without a connection, or on a file that holds no hive
// yet, it is an empty hive: only the root exists, and nothing is written.
class Txn {
public:
    explicit Txn(Connection* connection) : c_(connection) {}

    bool Empty() const { return c_ == nullptr || !c_->ready; }
    int64_t Stamp() const { return Empty() ? 0 : c_->stamp; }

    // 0 when `key` still names a key of this hive file, else kErrorKeyDeleted (recorded).
    uint32_t Check(const KeyRef& key) {
        if (key.id == kRootId) {
            return 0;
        }
        if (key.stamp != Stamp()) {
            return Fail(kErrorKeyDeleted, "The hive file of this key was removed or replaced.");
        }
        Query q(*c_, "SELECT 1 FROM keys WHERE id = ?1");
        if (!q.Bind(1, key.id).Step()) {
            return Fail(kErrorKeyDeleted,
                        "Illegal operation attempted on a registry key that has been marked for "
                        "deletion.");
        }
        return 0;
    }

    // The key whose stored folded path is `path` (the root for the empty path).
    bool FindPath(const std::string& path, int64_t& id) {
        if (path.empty()) {
            id = kRootId;
            return true;
        }
        if (Empty()) {
            return false;
        }
        Query q(*c_, "SELECT id FROM keys WHERE path = ?1");
        if (!q.BindKept(1, path).Step()) {
            return false;
        }
        id = q.Int(0);
        return true;
    }

    int64_t AddKey(int64_t parent, const std::string& path, const std::u16string& name) {
        Query q(*c_,
                "INSERT INTO keys(parent, name, fold, path, units) VALUES(?1, ?2, ?3, ?4, ?5)");
        q.Bind(1, parent)
            .Bind(2, regnames::ToStored(name))
            .Bind(3, FoldedName(name))
            .Bind(4, path)
            .Bind(5, static_cast<int64_t>(name.size()))
            .Step();
        return sqlite3_last_insert_rowid(c_->db);
    }

    bool HasSubKeys(int64_t id) {
        if (Empty()) {
            return false;
        }
        Query q(*c_, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
        return q.Bind(1, id).Step();
    }

    // The value `name` of `key`, checking in the same statement that the key still exists:
    // 0, kErrorFileNotFound or kErrorKeyDeleted (recorded).
    uint32_t GetValue(const KeyRef& key, const std::u16string& name, Value& out) {
        if (key.id != kRootId && key.stamp != Stamp()) {
            return Check(key);
        }
        if (Empty()) {
            return NoValue();
        }
        if (key.id == kRootId) {
            Query q(*c_, "SELECT name, type, data FROM vals WHERE key = 0 AND fold = ?1");
            if (!q.Bind(1, FoldedName(name)).Step()) {
                return NoValue();
            }
            Take(q, out);
            return 0;
        }
        Query q(*c_,
                "SELECT v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id AND "
                "v.fold = ?2 WHERE k.id = ?1");
        const std::string fold = FoldedName(name);
        if (!q.Bind(1, key.id).BindKept(2, fold).Step()) {
            return Check(key);
        }
        if (q.IsNull(1)) {
            return NoValue();
        }
        Take(q, out);
        return 0;
    }

    // The value `name` of the key whose stored folded path is `path` (not the root), with the
    // key's existence in the same statement: 0, or kErrorFileNotFound (recorded) for a missing
    // key (`keyFound` false) or value.
    uint32_t GetValueAtPath(const std::string& path, const std::u16string& name, Value& out,
                            bool& keyFound) {
        keyFound = false;
        if (Empty()) {
            return Fail(kErrorFileNotFound, "The system cannot find the file specified.");
        }
        Query q(*c_,
                "SELECT v.id, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id AND "
                "v.fold = ?2 WHERE k.path = ?1");
        const std::string fold = FoldedName(name);
        if (!q.BindKept(1, path).BindKept(2, fold).Step()) {
            return Fail(kErrorFileNotFound, "The system cannot find the file specified.");
        }
        keyFound = true;
        if (q.IsNull(0)) {
            return NoValue();
        }
        out.name = name;  // the stored spelling is not asked for here
        out.type = static_cast<uint32_t>(q.Int(1));
        out.bytes = q.Bytes(2);
        return 0;
    }

    void PutValue(int64_t key, const std::u16string& name, uint32_t type, const uint8_t* data,
                  size_t size) {
        // An existing value keeps its name's case and its place in the enumeration order.
        Query q(*c_,
                "INSERT INTO vals(key, name, fold, units, type, data) VALUES(?1, ?2, ?3, ?4, ?5, "
                "?6) ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = "
                "excluded.data");
        q.Bind(1, key)
            .Bind(2, regnames::ToStored(name))
            .Bind(3, FoldedName(name))
            .Bind(4, static_cast<int64_t>(name.size()))
            .Bind(5, static_cast<int64_t>(type))
            .BindBlob(6, data, size)
            .Step();
    }

    bool RemoveValue(int64_t key, const std::u16string& name) {
        if (Empty()) {
            return false;
        }
        Query q(*c_, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
        q.Bind(1, key).Bind(2, FoldedName(name)).Step();
        return sqlite3_changes(c_->db) > 0;
    }

    bool KeyAt(int64_t parent, uint32_t index, std::u16string& name) {
        if (Empty()) {
            return false;
        }
        Query q(*c_, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2");
        if (!q.Bind(1, parent).Bind(2, static_cast<int64_t>(index)).Step()) {
            return false;
        }
        name = q.Name(0);
        return true;
    }

    bool ValueAt(int64_t key, uint32_t index, Value& out) {
        if (Empty()) {
            return false;
        }
        Query q(*c_,
                "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
        if (!q.Bind(1, key).Bind(2, static_cast<int64_t>(index)).Step()) {
            return false;
        }
        Take(q, out);
        return true;
    }

    KeyCounts Counts(int64_t id) {
        KeyCounts counts;
        if (Empty()) {
            return counts;
        }
        {
            Query q(*c_, "SELECT count(*), coalesce(max(units), 0) FROM keys WHERE parent = ?1");
            q.Bind(1, id).Step();
            counts.subKeys = static_cast<uint32_t>(q.Int(0));
            counts.maxSubKeyName = static_cast<uint32_t>(q.Int(1));
        }
        Query q(*c_,
                "SELECT count(*), coalesce(max(units), 0), coalesce(max(length(data)), 0) FROM "
                "vals WHERE key = ?1");
        q.Bind(1, id).Step();
        counts.values = static_cast<uint32_t>(q.Int(0));
        counts.maxValueName = static_cast<uint32_t>(q.Int(1));
        counts.maxValueData = static_cast<uint32_t>(q.Int(2));
        return counts;
    }

    // `id` and every key below it.
    std::set<int64_t> Subtree(int64_t id) {
        std::set<int64_t> ids;
        Query q(*c_,
                "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN "
                "sub ON keys.parent = sub.id) SELECT id FROM sub");
        q.Bind(1, id);
        while (q.Step()) {
            ids.insert(q.Int(0));
        }
        return ids;
    }

    void RemoveKey(int64_t id) {
        {
            Query q(*c_, "DELETE FROM vals WHERE key = ?1");
            q.Bind(1, id).Step();
        }
        Query q(*c_, "DELETE FROM keys WHERE id = ?1");
        q.Bind(1, id).Step();
    }

private:
    static uint32_t NoValue() {
        return Fail(kErrorFileNotFound, "The system cannot find the file specified.");
    }

    // Name, type and data from the first three columns.
    static void Take(Query& q, Value& out) {
        out.name = q.Name(0);
        out.type = static_cast<uint32_t>(q.Int(1));
        out.bytes = q.Bytes(2);
    }

    Connection* c_;
};

// How a call uses the hive: reading in one statement (which SQLite runs as a transaction of its
// own), reading in several, writing, or writing only to a hive file that exists already (a
// deletion has nothing to do in a missing hive, and must not make one).
enum class Access { ReadOne, Read, Write, WriteIfExists };

bool Writes(Access access) {
    return access == Access::Write || access == Access::WriteIfExists;
}

// The stored folded path of `path` below the key whose stored path is `base`. "\\" folds and
// is stored as itself, so the whole path folds at once.
std::string JoinPath(const std::string& base, const Path& path) {
    if (path.empty()) {
        return base;
    }
    return base.empty() ? FoldedName(path) : base + '\\' + FoldedName(path);
}

uint32_t FailFromErrno(const std::string& what) {
    const int error = errno;
    const uint32_t code = (error == EACCES || error == EPERM || error == EROFS)
                              ? kErrorAccessDenied
                              : kErrorRegistryIoFailed;
    return Fail(code, what + ": " + std::strerror(error));
}

int64_t NewStamp() {
    std::random_device random;
    std::mt19937_64 generator((static_cast<uint64_t>(random()) << 32) ^ random() ^
                              static_cast<uint64_t>(::getpid()));
    int64_t stamp = 0;
    while (stamp == 0) {
        stamp = static_cast<int64_t>(generator() >> 1);
    }
    return stamp;
}

bool SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Makes a new hive at `file` whole: it is built under a temporary name beside it (tables, stamp,
// write-ahead-log mode) and then linked to its name, which fails harmlessly when another process
// was first. No process ever meets a hive half made, nor two processes making one at once.
// Where the file system cannot link, the hive is left to be made in place by the first write.
uint32_t MakeHive(const std::string& file, const std::string& folder, mode_t mode) {
    std::string temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0; ++attempt) {
        temporary = (folder.empty() ? std::string() : folder + "/") + "." +
                    file.substr(folder.empty() ? 0 : folder.size() + 1) + "." +
                    std::to_string(::getpid()) + "." + std::to_string(attempt) + ".new";
        fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && (errno != EEXIST || attempt > 100)) {
            return FailFromErrno("cannot create the registry hive " + file);
        }
    }
    ::close(fd);

    sqlite3* db = nullptr;
    bool built =
        sqlite3_open_v2(temporary.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (built) {
        const std::string script =
            std::string("BEGIN;") + kSchema + "INSERT INTO hive(one, stamp) VALUES(1, " +
            std::to_string(NewStamp()) + ");COMMIT;PRAGMA journal_mode = WAL;";
        built = sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    const std::string error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    if (!built || !SyncPath(temporary, O_RDONLY)) {
        ::unlink(temporary.c_str());
        return Fail(kErrorRegistryIoFailed,
                    "cannot create the registry hive " + file + ": " + error);
    }
    const int linked = ::link(temporary.c_str(), file.c_str());
    const int linkError = errno;
    ::unlink(temporary.c_str());
    if (linked != 0 && linkError != EEXIST) {
        if (linkError == EACCES || linkError == EROFS) {
            errno = linkError;
            return FailFromErrno("cannot create the registry hive " + file);
        }
        return 0;  // no links here: made in place instead
    }
    SyncPath(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
    return 0;
}

// What the file says it is: its application id, format number and count of schema objects.
void ReadIdentity(Connection& c, int64_t& application, int64_t& format, int64_t& objects) {
    {
        Query q(c, "PRAGMA application_id");
        application = q.Step() ? q.Int(0) : 0;
    }
    {
        Query q(c, "PRAGMA user_version");
        format = q.Step() ? q.Int(0) : 0;
    }
    Query q(c, "SELECT count(*) FROM sqlite_master");
    objects = q.Step() ? q.Int(0) : 0;
}

// True for a hive and for an empty database, which may become one.
bool HoldsHiveOrNothing(Connection& c) {
    int64_t application = 0;
    int64_t format = 0;
    int64_t objects = 0;
    ReadIdentity(c, application, format, objects);
    return application == kApplicationId || (application == 0 && objects == 0);
}

// Waits for another connection's transaction in short sleeps (SQLite's own handler sleeps up to
// 100 ms at a time, far longer than a registry call holds the hive), for at most
// kRegistryBusyTimeoutMs in all.
int WaitWhileBusy(void* /*unused*/, int attempt) {
    static thread_local std::chrono::steady_clock::time_point started;
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        started = now;
    } else if (now - started > std::chrono::milliseconds(kRegistryBusyTimeoutMs)) {
        return 0;
    }
    ::usleep(attempt < 10 ? 50 * (attempt + 1) : 500);
    return 1;
}

// The process's id, kept up to date across fork() without a system call per use.
std::atomic<pid_t> gPid{0};

void RefreshPid() {
    gPid.store(::getpid());
}

pid_t CurrentPid() {
    static std::once_flag once;
    std::call_once(once, [] {
        RefreshPid();
        ::pthread_atfork(nullptr, nullptr, &RefreshPid);
    });
    return gPid.load(std::memory_order_relaxed);
}

// The environment variables that place the hives, as last seen.
struct Placement {
    bool set[3] = {false, false, false};
    std::string values[3];
    std::string file;
};

// The process's way into one hive: the hive's connection, opened when first needed and reused,
// and one transaction at a time.
class HiveStore {
public:
    explicit HiveStore(Hive hive) : hive_(hive) {}

    // Runs `body` as one transaction of `access`. Every call first makes sure that the connection
    // still reaches the hive file at its place (the file may have been removed or replaced by
    // another process, or the place changed), except reads through a handle (`throughHandle`):
    // those read whatever file the handle's key was found in, which spares them a system call.
    template <class Body>
    uint32_t Run(Access access, const Body& body, bool throughHandle = false) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string& file = File();
        if (file.empty()) {
            if (access == Access::Write) {
                return Fail(kErrorAccessDenied,
                            "The registry hive has no place: neither VOMO_REGISTRY_ROOT nor HOME "
                            "is set.");
            }
            Txn empty(nullptr);
            return body(empty);
        }

        const bool current =
            connection_ && connection_->pid == CurrentPid() && connection_->file == file;
        bool exists = true;
        int statError = 0;
        if (!current || (!(throughHandle && !Writes(access)) && !connection_->StillLinked())) {
            DropConnection();
            struct stat st;
            exists = ::stat(file.c_str(), &st) == 0;
            statError = exists ? 0 : errno;
        }
        if (!exists) {
            if (statError != ENOENT && statError != ENOTDIR) {
                errno = statError;
                return FailFromErrno("registry hive " + file);
            }
            if (access != Access::Write) {
                Txn empty(nullptr);
                return body(empty);
            }
        }
        if (!connection_) {
            const uint32_t rc = Connect(file, exists);
            if (rc != 0) {
                return rc;
            }
        }
        if (Writes(access) && connection_->readOnly) {
            return Fail(kErrorAccessDenied,
                        "Access is denied: this process may not write the "
                        "registry hive " +
                            file + ".");
        }

        Connection& c = *connection_;
        const bool write = Writes(access);
        // One statement of a known hive needs no transaction around it.
        const bool explicitTransaction = access != Access::ReadOne || !c.ready;
        bool madeHive = false;
        try {
            if (explicitTransaction) {
                Query(c, write ? "BEGIN IMMEDIATE" : "BEGIN").Step();
                PrepareHive(c, write, madeHive);
            }
            Txn txn(&c);
            const uint32_t result = body(txn);
            if (!explicitTransaction) {
                return result;
            }
            if (result == 0) {
                Query(c, "COMMIT").Step();
            } else {
                Query(c, "ROLLBACK").Step();
                ForgetHive(madeHive);
            }
            return result;
        } catch (const SqlFailure& failure) {
            EndAfterFailure(madeHive);
            if ((failure.code & 0xFF) != SQLITE_BUSY && (failure.code & 0xFF) != SQLITE_LOCKED) {
                DropConnection();
            }
            return Fail(ErrorCodeOf(failure), failure.text);
        } catch (const std::bad_alloc&) {
            EndAfterFailure(madeHive);
            return Fail(kErrorNotEnoughMemory, "Not enough memory for the registry.");
        }
    }

private:
    // The hive file's place, recomputed only when the variables that decide it change.
    const std::string& File() {
        static const char* const kNames[3] = {"VOMO_REGISTRY_ROOT", "XDG_CONFIG_HOME", "HOME"};
        bool changed = !placed_;
        const char* values[3] = {nullptr, nullptr, nullptr};
        for (int i = 0; i < 3; ++i) {
            values[i] = ::secure_getenv(kNames[i]);  // none in a setuid host, as everywhere
            if (!changed && (placement_.set[i] != (values[i] != nullptr) ||
                             (values[i] && placement_.values[i] != values[i]))) {
                changed = true;
            }
            // A set VOMO_REGISTRY_ROOT decides alone.
            if (i == 0 && values[0] && *values[0] && !changed) {
                return placement_.file;
            }
        }
        if (changed) {
            for (int i = 0; i < 3; ++i) {
                placement_.set[i] = values[i] != nullptr;
                placement_.values[i] = values[i] ? values[i] : "";
            }
            placement_.file = HiveFile(hive_);
            placed_ = true;
        }
        return placement_.file;
    }

    uint32_t Connect(const std::string& file, bool exists) {
        if (!exists) {
            const std::string::size_type slash = file.rfind('/');
            const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash);
            // The user hive's own folder is private; a VOMO_REGISTRY_ROOT folder holds both.
            const bool ownFolder = !(placement_.set[0] && !placement_.values[0].empty());
            if (!MakeFolders(folder, hive_ == Hive::User && ownFolder ? 0700 : 0755)) {
                return FailFromErrno("cannot create the registry folder " + folder);
            }
            // The user hive is private to its user.
            if (const uint32_t rc = MakeHive(file, folder, hive_ == Hive::User ? 0600 : 0644)) {
                return rc;
            }
            exists = ::access(file.c_str(), F_OK) == 0;
        }

        std::unique_ptr<Connection> c(new Connection);
        c->file = file;
        c->pid = CurrentPid();
        const int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE) |
                          SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
        int rc = sqlite3_open_v2(file.c_str(), &c->db, flags, nullptr);
        if (rc != SQLITE_OK && exists) {
            sqlite3_close_v2(c->db);
            c->db = nullptr;
            rc = sqlite3_open_v2(
                file.c_str(), &c->db,
                SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE, nullptr);
        }
        if (rc != SQLITE_OK) {
            const SqlFailure failure{rc, c->db ? sqlite3_system_errno(c->db) : 0,
                                     "cannot open the registry hive " + file + ": " +
                                         (c->db ? sqlite3_errmsg(c->db) : sqlite3_errstr(rc))};
            return Fail(ErrorCodeOf(failure), failure.text);
        }
        try {
            sqlite3_extended_result_codes(c->db, 1);
            sqlite3_busy_handler(c->db, &WaitWhileBusy, nullptr);
            c->readOnly = sqlite3_db_readonly(c->db, "main") == 1;
            int persist = 1;
            sqlite3_file_control(c->db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
            // Commits reach the write-ahead log, not the disk: they survive the process being
            // killed, and Flush forces them to the disk where a power loss must not take them.
            c->Exec("PRAGMA synchronous = NORMAL");
            c->Exec(kJournalSizeLimit);
            // Reads the file's header: a file that is not a database fails here, and another
            // program's database is refused before anything could change it.
            if (!HoldsHiveOrNothing(*c)) {
                ThrowCorrupt("The file " + file + " is not a registry hive.");
            }
            if (!c->readOnly) {
                // A no-op for hives made whole; a database still empty switches now, which can
                // meet another process switching it at the same moment.
                const auto started = std::chrono::steady_clock::now();
                for (;;) {
                    try {
                        c->Exec("PRAGMA journal_mode = WAL");
                        break;
                    } catch (const SqlFailure& failure) {
                        if ((failure.code & 0xFF) != SQLITE_BUSY ||
                            std::chrono::steady_clock::now() - started >
                                std::chrono::milliseconds(kRegistryBusyTimeoutMs)) {
                            throw;
                        }
                        ::usleep(1000);
                    }
                }
            }
        } catch (const SqlFailure& failure) {
            return Fail(ErrorCodeOf(failure), failure.text);
        }
        c->pathFd = ::open(file.c_str(), O_PATH | O_CLOEXEC);
        if (c->pathFd < 0) {
            return FailFromErrno("registry hive " + file);
        }
        connection_ = std::move(c);
        return 0;
    }

    // Inside the transaction: finds out whether the file holds a hive, and makes one in an empty
    // file when writing. A file that holds anything else is never written.
    void PrepareHive(Connection& c, bool write, bool& madeHive) {
        if (c.ready) {
            return;
        }
        int64_t application = 0;
        int64_t format = 0;
        int64_t objects = 0;
        ReadIdentity(c, application, format, objects);
        if (application == kApplicationId) {
            if (format != kFormat) {
                ThrowCorrupt("The registry hive " + c.file + " has format " +
                             std::to_string(format) + ", which this program does not read.");
            }
            Query q(c, "SELECT stamp FROM hive WHERE one = 1");
            if (!q.Step()) {
                ThrowCorrupt("The registry hive " + c.file + " lacks its stamp.");
            }
            c.stamp = q.Int(0);
            c.ready = true;
            return;
        }
        if (application != 0 || objects != 0) {
            ThrowCorrupt("The file " + c.file + " is not a registry hive.");
        }
        if (!write) {
            return;  // an empty database: an empty hive
        }
        c.Exec(kSchema);
        const int64_t stamp = NewStamp();
        Query q(c, "INSERT INTO hive(one, stamp) VALUES(1, ?1)");
        q.Bind(1, stamp).Step();
        c.stamp = stamp;
        c.ready = true;
        madeHive = true;
    }

    // After a rollback: a hive made by the rolled-back transaction does not exist.
    void ForgetHive(bool madeHive) {
        if (madeHive && connection_) {
            connection_->ready = false;
            connection_->stamp = 0;
        }
    }

    void EndAfterFailure(bool madeHive) {
        if (connection_ && connection_->db && !sqlite3_get_autocommit(connection_->db)) {
            sqlite3_exec(connection_->db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        ForgetHive(madeHive);
    }

    void DropConnection() {
        if (connection_ && connection_->pid != CurrentPid()) {
            // Inherited through fork(): the parent still uses this database, so the child must
            // neither close it nor touch its locks. It is left as it is.
            connection_.release();
            return;
        }
        connection_.reset();
    }

    Hive hive_;
    std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
    bool placed_ = false;
    Placement placement_;
};

HiveStore& Store(Hive hive) {
    static HiveStore user(Hive::User);
    static HiveStore machine(Hive::Machine);
    return hive == Hive::User ? user : machine;
}

// Keys that tests marked as not deletable, by hive and folded path.
struct DeniedKeys {
    std::mutex mutex;
    std::atomic<bool> any{false};
    std::set<std::pair<int, std::string>> keys;
};

DeniedKeys& Denied() {
    static DeniedKeys denied;
    return denied;
}

// True when one of `ids` is a key marked as not deletable.
bool AnyDenied(Hive hive, Txn& txn, const std::set<int64_t>& ids) {
    DeniedKeys& denied = Denied();
    if (!denied.any.load()) {
        return false;
    }
    std::vector<std::string> paths;
    {
        std::lock_guard<std::mutex> lock(denied.mutex);
        for (const auto& entry : denied.keys) {
            if (entry.first == static_cast<int>(hive)) {
                paths.push_back(entry.second);
            }
        }
    }
    for (const std::string& path : paths) {
        int64_t id = kRootId;
        if (txn.FindPath(path, id) && ids.count(id)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string HiveFile(Hive hive) {
    const char* const name = hive == Hive::User ? "/user.db" : "/machine.db";
    std::string root;
    if (GetEnvironmentText("VOMO_REGISTRY_ROOT", root) && !root.empty()) {
        return root + name;
    }
    if (hive == Hive::Machine) {
        return "/var/lib/vomo/registry/machine.db";
    }
    const std::string config = UserBaseDirectory("XDG_CONFIG_HOME", ".config");
    return config.empty() ? std::string() : config + "/vomo/registry" + name;
}

namespace {

// Finds the key at `path` below `base`: 0, kErrorFileNotFound or kErrorKeyDeleted (recorded).
uint32_t Find(Txn& txn, const KeyRef& base, const Path& path, KeyRef& out) {
    if (const uint32_t rc = txn.Check(base)) {
        return rc;
    }
    std::string target = JoinPath(base.path, path);
    int64_t id = 0;
    if (!txn.FindPath(target, id)) {
        return Fail(kErrorFileNotFound, "The system cannot find the file specified.");
    }
    out = KeyRef{base.hive, id, id == kRootId ? 0 : txn.Stamp(), std::move(target)};
    return 0;
}

// From a root, finding a key is one statement.
Access FindAccess(const KeyRef& base) {
    return base.id == kRootId ? Access::ReadOne : Access::Read;
}

}  // namespace

uint32_t OpenKey(const KeyRef& base, const Path& path, KeyRef& out) {
    return Store(base.hive).Run(FindAccess(base),
                                [&](Txn& txn) { return Find(txn, base, path, out); });
}

uint32_t CreateKey(const KeyRef& base, const Path& path, KeyRef& out, bool& created) {
    // Looking first without writing lets an existing key open in a hive this process may only
    // read, and spares a write transaction when nothing is missing.
    const uint32_t looked = Store(base.hive).Run(FindAccess(base), [&](Txn& txn) -> uint32_t {
        const uint32_t rc = Find(txn, base, path, out);
        return rc == kErrorFileNotFound ? kNeedsWrite : rc;
    });
    if (looked != kNeedsWrite) {
        created = false;
        return looked;
    }
    return Store(base.hive).Run(Access::Write, [&](Txn& txn) -> uint32_t {
        if (const uint32_t rc = txn.Check(base)) {
            return rc;
        }
        int64_t id = base.id;
        std::string current = base.path;
        bool madeLast = false;
        for (Path::size_type start = 0; start < path.size();) {
            Path::size_type end = path.find(u'\\', start);
            if (end == Path::npos) {
                end = path.size();
            }
            const std::u16string name = path.substr(start, end - start);
            current = JoinPath(current, name);
            const int64_t parent = id;
            madeLast = !txn.FindPath(current, id);
            if (madeLast) {
                id = txn.AddKey(parent, current, name);
            }
            start = end + 1;
        }
        out = KeyRef{base.hive, id, id == kRootId ? 0 : txn.Stamp(), current};
        created = madeLast;
        return 0;
    });
}

uint32_t QueryValue(const KeyRef& key, const std::u16string& name, Value& out) {
    return Store(key.hive).Run(
        Access::ReadOne, [&](Txn& txn) { return txn.GetValue(key, name, out); }, key.id != kRootId);
}

uint32_t QueryValueAt(const KeyRef& base, const Path& path, const std::u16string& name, Value& out,
                      bool& keyFound) {
    keyFound = false;
    const std::string target = JoinPath(base.path, path);
    if (base.id != kRootId || target.empty()) {
        return Fail(kErrorInvalidParameter, "The parameter is incorrect.");
    }
    // From a root, as OpenKey from a root: the file now at the hive's place is read.
    return Store(base.hive).Run(
        Access::ReadOne, [&](Txn& txn) { return txn.GetValueAtPath(target, name, out, keyFound); });
}

uint32_t SetValue(const KeyRef& key, const std::u16string& name, uint32_t type, const uint8_t* data,
                  size_t size) {
    return Store(key.hive).Run(Access::Write, [&](Txn& txn) -> uint32_t {
        if (const uint32_t rc = txn.Check(key)) {
            return rc;
        }
        txn.PutValue(key.id, name, type, data, size);
        return 0;
    });
}

uint32_t DeleteValue(const KeyRef& key, const std::u16string& name) {
    return Store(key.hive).Run(Access::WriteIfExists, [&](Txn& txn) -> uint32_t {
        if (const uint32_t rc = txn.Check(key)) {
            return rc;
        }
        if (!txn.RemoveValue(key.id, name)) {
            return Fail(kErrorFileNotFound, "The system cannot find the file specified.");
        }
        return 0;
    });
}

uint32_t EnumKey(const KeyRef& key, uint32_t index, std::u16string& name) {
    return Store(key.hive).Run(
        Access::Read,
        [&](Txn& txn) -> uint32_t {
            if (const uint32_t rc = txn.Check(key)) {
                return rc;
            }
            if (!txn.KeyAt(key.id, index, name)) {
                return Fail(kErrorNoMoreItems, "No more data is available.");
            }
            return 0;
        },
        key.id != kRootId);
}

uint32_t EnumValue(const KeyRef& key, uint32_t index, Value& out) {
    return Store(key.hive).Run(
        Access::Read,
        [&](Txn& txn) -> uint32_t {
            if (const uint32_t rc = txn.Check(key)) {
                return rc;
            }
            if (!txn.ValueAt(key.id, index, out)) {
                return Fail(kErrorNoMoreItems, "No more data is available.");
            }
            return 0;
        },
        key.id != kRootId);
}

uint32_t QueryInfo(const KeyRef& key, KeyCounts& out) {
    return Store(key.hive).Run(
        Access::Read,
        [&](Txn& txn) -> uint32_t {
            if (const uint32_t rc = txn.Check(key)) {
                return rc;
            }
            out = txn.Counts(key.id);
            return 0;
        },
        key.id != kRootId);
}

uint32_t DeleteKey(const KeyRef& base, const Path& path, bool tree) {
    return Store(base.hive).Run(Access::WriteIfExists, [&](Txn& txn) -> uint32_t {
        KeyRef target;
        if (const uint32_t rc = Find(txn, base, path, target)) {
            return rc;
        }
        const int64_t id = target.id;
        if (id == kRootId) {
            return Fail(kErrorAccessDenied, "Access is denied: a hive's root cannot be deleted.");
        }
        if (!tree && txn.HasSubKeys(id)) {
            return Fail(kErrorAccessDenied, "Access is denied: the key has subkeys.");
        }
        const std::set<int64_t> ids = tree ? txn.Subtree(id) : std::set<int64_t>{id};
        if (AnyDenied(base.hive, txn, ids)) {
            return Fail(kErrorAccessDenied, "Access is denied: the key may not be deleted.");
        }
        for (int64_t each : ids) {
            txn.RemoveKey(each);
        }
        return 0;
    });
}

uint32_t Flush(Hive hive) {
    const std::string file = HiveFile(hive);
    if (file.empty()) {
        return 0;  // no hive, nothing written
    }
    // The log holds every commit not yet checkpointed, by whatever connection; syncing it
    // makes them all durable. Without a log, checkpoints have synchronised the file itself.
    for (const std::string& path : {file + "-wal", file}) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            if (errno == ENOENT) {
                continue;
            }
            return FailFromErrno("cannot flush the registry hive " + file);
        }
        const bool synced = ::fdatasync(fd) == 0;
        const int error = errno;
        ::close(fd);
        if (!synced) {
            errno = error;
            return FailFromErrno("cannot flush the registry hive " + file);
        }
        return 0;
    }
    return 0;
}

void SetDeletionDenied(Hive hive, const Path& path, bool deny) {
    DeniedKeys& denied = Denied();
    std::lock_guard<std::mutex> lock(denied.mutex);
    const auto entry = std::make_pair(static_cast<int>(hive), JoinPath(std::string(), path));
    if (deny) {
        denied.keys.insert(entry);
    } else {
        denied.keys.erase(entry);
    }
    denied.any.store(!denied.keys.empty());
}

}  // namespace reghive
}  // namespace platform
