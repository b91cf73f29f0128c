#include "platform/Cabinet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mspack.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/MszipFolder.h"

namespace platform {

namespace {

// libmspack does all its input and output through this table of functions; ours reads the
// cabinet from a file or from memory and writes members only into the one destination we
// opened, so the library never opens a file by a name of its own choosing.
struct System {
    mspack_system functions;  // first, so that libmspack's pointer is a pointer to the whole

    const unsigned char* memory = nullptr;  // a cabinet in memory instead of a file
    size_t memorySize = 0;

    const char* outputName = nullptr;  // what extract() is given as the output "name"
    int outputFd = -1;                 // the destination, or -1 to discard the output
    bool outputUsed = false;           // a member was written to the destination already
    uint64_t outputLimit = UINT64_MAX;
    uint64_t written = 0;
};

struct Handle {
    enum Type { kFile, kMemory, kOutput } type;
    System* system;
    FILE* file;
    uint64_t position;  // kMemory
};

Handle* AsHandle(mspack_file* file) {
    return reinterpret_cast<Handle*>(file);
}

// libmspack's diagnostic lines, kept for the failure's text instead of being printed.
thread_local std::string lastMessage;

// Opens a regular file for reading; anything else (a FIFO would block) is refused.
FILE* OpenRegularFile(const char* filename) {
    const int fd = ::open(filename, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        SetLastError(EINVAL, std::string("not a regular file: ") + filename);
        ::close(fd);
        return nullptr;
    }
    FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        SetLastErrorFromErrno();
        ::close(fd);
    }
    return file;
}

// Each member rewrites the destination from its start. A destination still empty is not
// truncated: on ext4, truncating a file to zero makes its close flush it to disk.
bool BeginMember(System& system) {
    if (system.outputFd >= 0 && system.outputUsed &&
        (::lseek(system.outputFd, 0, SEEK_SET) != 0 || ::ftruncate(system.outputFd, 0) != 0)) {
        SetLastErrorFromErrno();
        return false;
    }
    system.outputUsed = true;
    return true;
}

mspack_file* Open(mspack_system* self, const char* filename, int mode) {
    System* system = reinterpret_cast<System*>(self);
    Handle* handle = nullptr;
    if (mode == MSPACK_SYS_OPEN_READ) {
        if (system->memory) {
            handle = new Handle{Handle::kMemory, system, nullptr, 0};
        } else {
            FILE* file = OpenRegularFile(filename);
            if (!file) {
                return nullptr;
            }
            std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
            handle = new Handle{Handle::kFile, system, file, 0};
        }
    } else if (mode == MSPACK_SYS_OPEN_WRITE && system->outputName &&
               std::strcmp(filename, system->outputName) == 0) {
        if (!BeginMember(*system)) {
            return nullptr;
        }
        handle = new Handle{Handle::kOutput, system, nullptr, 0};
    }
    return reinterpret_cast<mspack_file*>(handle);
}

void Close(mspack_file* file) {
    Handle* handle = AsHandle(file);
    if (handle && handle->file) {
        std::fclose(handle->file);
    }
    delete handle;
}

int Read(mspack_file* file, void* buffer, int bytes) {
    Handle* handle = AsHandle(file);
    if (!handle || bytes < 0) {
        return -1;
    }
    if (handle->type == Handle::kFile) {
        const size_t n = std::fread(buffer, 1, static_cast<size_t>(bytes), handle->file);
        return n == 0 && std::ferror(handle->file) ? -1 : static_cast<int>(n);
    }
    if (handle->type == Handle::kMemory) {
        const uint64_t size = handle->system->memorySize;
        const uint64_t left = handle->position < size ? size - handle->position : 0;
        const size_t n = static_cast<size_t>(left < static_cast<uint64_t>(bytes) ? left : bytes);
        if (n > 0) {
            std::memcpy(buffer, handle->system->memory + handle->position, n);
        }
        handle->position += n;
        return static_cast<int>(n);
    }
    return -1;
}

// A member's bytes into the destination (or nowhere), counted against the output cap; false
// with the reason kept when the cap is passed or the write fails.
bool Emit(System& system, const char* from, size_t bytes) {
    system.written += static_cast<uint64_t>(bytes);
    if (system.written > system.outputLimit) {
        lastMessage = "more than " + std::to_string(system.outputLimit) + " bytes of output";
        return false;
    }
    if (system.outputFd < 0) {
        return true;
    }
    size_t left = bytes;
    while (left > 0) {
        const ssize_t n = ::write(system.outputFd, from, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            SetLastErrorFromErrno();
            return false;
        }
        from += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

int Write(mspack_file* file, void* buffer, int bytes) {
    Handle* handle = AsHandle(file);
    if (!handle || handle->type != Handle::kOutput || bytes < 0) {
        return -1;
    }
    return Emit(*handle->system, static_cast<const char*>(buffer), static_cast<size_t>(bytes))
               ? bytes
               : -1;
}

int Seek(mspack_file* file, off_t offset, int mode) {
    Handle* handle = AsHandle(file);
    if (!handle) {
        return -1;
    }
    if (handle->type == Handle::kFile) {
        const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                           : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                         : SEEK_END;
        return ::fseeko(handle->file, offset, whence) == 0 ? 0 : -1;
    }
    if (handle->type == Handle::kMemory) {
        const int64_t base = mode == MSPACK_SYS_SEEK_START ? 0
                             : mode == MSPACK_SYS_SEEK_CUR
                                 ? static_cast<int64_t>(handle->position)
                                 : static_cast<int64_t>(handle->system->memorySize);
        // Offsets come from the cabinet's own fields: no overflow, no position before 0.
        if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) {
            return -1;
        }
        handle->position = static_cast<uint64_t>(base + offset);
        return 0;
    }
    return -1;
}

off_t Tell(mspack_file* file) {
    Handle* handle = AsHandle(file);
    if (!handle) {
        return -1;
    }
    if (handle->type == Handle::kFile) {
        return ::ftello(handle->file);
    }
    return static_cast<off_t>(handle->position);
}

void Message(mspack_file*, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    lastMessage = text;
}

void* Alloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}

void Free(void* pointer) {
    std::free(pointer);
}

void Copy(void* source, void* destination, size_t bytes) {
    std::memmove(destination, source, bytes);
}

void InitSystem(System& system) {
    system.functions.open = Open;
    system.functions.close = Close;
    system.functions.read = Read;
    system.functions.write = Write;
    system.functions.seek = Seek;
    system.functions.tell = Tell;
    system.functions.message = Message;
    system.functions.alloc = Alloc;
    system.functions.free = Free;
    system.functions.copy = Copy;
    system.functions.null_ptr = nullptr;
}

const char* ErrorText(int error) {
    switch (error) {
        case MSPACK_ERR_ARGS:
            return "bad arguments";
        case MSPACK_ERR_OPEN:
            return "cannot open the file";
        case MSPACK_ERR_READ:
            return "cannot read the cabinet (truncated?)";
        case MSPACK_ERR_WRITE:
            return "cannot write the destination";
        case MSPACK_ERR_SEEK:
            return "cannot seek in the cabinet";
        case MSPACK_ERR_NOMEMORY:
            return "out of memory";
        case MSPACK_ERR_SIGNATURE:
            return "not a cabinet";
        case MSPACK_ERR_DATAFORMAT:
            return "the cabinet is malformed";
        case MSPACK_ERR_CHECKSUM:
            return "a data block's checksum is wrong";
        case MSPACK_ERR_DECRUNCH:
            return "the compressed data is corrupt";
        default:
            return "cabinet error";
    }
}

void RecordError(int error, const std::string& what) {
    std::string text = what + ": " + ErrorText(error);
    if (!lastMessage.empty()) {
        text += " (" + lastMessage + ")";
    }
    SetLastError(static_cast<uint32_t>(error), text);
}

// The decompressor with our I/O, and the cabinet it opened; both released on destruction.
class Decompressor {
public:
    explicit Decompressor(System& system) {
        int selfTest = MSPACK_ERR_OK;
        MSPACK_SYS_SELFTEST(selfTest);
        if (selfTest == MSPACK_ERR_OK) {
            decompressor_ = mspack_create_cab_decompressor(&system.functions);
        }
    }
    ~Decompressor() {
        if (cabinet_) {
            decompressor_->close(decompressor_, cabinet_);
        }
        if (decompressor_) {
            mspack_destroy_cab_decompressor(decompressor_);
        }
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // Opens the cabinet; false with the last error set.
    bool Open(const std::string& name, const std::string& what) {
        lastMessage.clear();
        if (!decompressor_) {
            SetLastError(MSPACK_ERR_NOMEMORY, what + ": no cabinet decompressor");
            return false;
        }
        cabinet_ = decompressor_->open(decompressor_, name.c_str());
        if (!cabinet_) {
            RecordError(decompressor_->last_error(decompressor_), what);
            return false;
        }
        return true;
    }
    mscabd_file* Members() const { return cabinet_->files; }
    mscabd_folder* Folders() const { return cabinet_->folders; }
    int Extract(mscabd_file* member, const char* output) {
        return decompressor_->extract(decompressor_, member, output);
    }

private:
    mscab_decompressor* decompressor_ = nullptr;
    mscabd_cabinet* cabinet_ = nullptr;
};

std::atomic<bool> gZlibForMszip{true};

// libmspack's bounds on what a member may claim.
const uint64_t kLengthMax = 0x7FFF8000u;
const uint64_t kBlockMax = 32768;

// Extracts the members of an opened cabinet: those in MSZIP folders of a cabinet that is not
// part of a set are inflated with zlib (MszipFolder.h), which is several times quicker than
// libmspack's own inflater; every other member goes through libmspack. Both write through Emit.
class MemberExtractor {
public:
    MemberExtractor(Decompressor& decompressor, System& system, const mszip::ReadAt& read)
        : decompressor_(decompressor), system_(system), read_(read) {
        int error = 0;
        std::string reason;
        laidOut_ = mszip::ReadLayout(read_, layout_, error, reason) && !layout_.spanned;
    }

    // 0 or an MSPACK_ERR_* code; the reason of a failure is kept as libmspack's are.
    int Extract(mscabd_file* member, const char* output) {
        mscabd_folder* folder = member->folder;
        size_t index = 0;
        for (mscabd_folder* f = decompressor_.Folders(); f && f != folder; f = f->next) {
            ++index;
        }
        if (!laidOut_ || !gZlibForMszip.load() || !folder ||
            MSCABD_COMP_METHOD(folder->comp_type) != MSCAB_COMP_MSZIP ||
            index >= layout_.folderDataOffsets.size()) {
            return decompressor_.Extract(member, output);
        }
        const uint64_t offset = member->offset;
        const uint64_t length = member->length;
        if (offset > kLengthMax || length > kLengthMax || offset + length > kLengthMax ||
            offset + length > static_cast<uint64_t>(folder->num_blocks) * kBlockMax) {
            lastMessage = "a member reaches past the end of its folder";
            return MSPACK_ERR_DATAFORMAT;
        }
        if (!BeginMember(system_)) {
            return MSPACK_ERR_OPEN;
        }
        std::unique_ptr<mszip::FolderReader>& reader = readers_[index];
        if (!reader) {
            reader.reset(new mszip::FolderReader(read_, layout_.folderDataOffsets[index],
                                                 static_cast<uint32_t>(folder->num_blocks),
                                                 layout_.dataReserve));
        }
        std::string reason;
        const int rc = reader->Extract(
            offset, length,
            [this](const char* data, size_t size) { return Emit(system_, data, size); }, reason);
        if (rc != MSPACK_ERR_OK && !reason.empty()) {
            lastMessage = reason;
        }
        return rc;
    }

private:
    Decompressor& decompressor_;
    System& system_;
    mszip::ReadAt read_;
    mszip::Layout layout_;
    bool laidOut_ = false;
    std::map<size_t, std::unique_ptr<mszip::FolderReader>> readers_;
};

// Reads of a cabinet file through its own descriptor, closed on destruction.
class CabinetFile {
public:
    explicit CabinetFile(const std::string& path) {
        if (FILE* file = OpenRegularFile(path.c_str())) {
            fd_ = ::dup(::fileno(file));
            std::fclose(file);
        }
    }
    ~CabinetFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    CabinetFile(const CabinetFile&) = delete;
    CabinetFile& operator=(const CabinetFile&) = delete;

    mszip::ReadAt Reader() const {
        const int fd = fd_;
        return [fd](uint64_t offset, void* buffer, size_t size) -> size_t {
            size_t done = 0;
            while (fd >= 0 && done < size) {
                const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + done, size - done,
                                          static_cast<off_t>(offset + done));
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    break;
                }
                done += static_cast<size_t>(n);
            }
            return done;
        };
    }

private:
    int fd_ = -1;
};

mszip::ReadAt MemoryReader(const unsigned char* data, size_t size) {
    return [data, size](uint64_t offset, void* buffer, size_t wanted) -> size_t {
        if (offset >= size) {
            return 0;
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(wanted, size - offset));
        std::memcpy(buffer, data + offset, n);
        return n;
    };
}

// The member's DOS time as local time onto the destination's modification time, and its
// read-only attribute onto the write permissions. Best effort: failures are ignored.
void ApplyTimeAndAttributes(int fd, const mscabd_file* member) {
    struct tm local;
    std::memset(&local, 0, sizeof local);
    local.tm_year = member->date_y - 1900;
    local.tm_mon = member->date_m - 1;
    local.tm_mday = member->date_d;
    local.tm_hour = member->time_h;
    local.tm_min = member->time_m;
    local.tm_sec = member->time_s;
    local.tm_isdst = -1;
    const int64_t when = MakeLocalTime(local);
    if (when != -1) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(when);
        times[1].tv_nsec = 0;
        ::futimens(fd, times);
    }
    ::fchmod(fd, (member->attribs & MSCAB_ATTRIB_RDONLY) ? 0400 : 0600);
}

}  // namespace

bool ExtractCabinet(const std::string& source, const std::string& destination,
                    uint64_t outputLimit) {
    System system;
    InitSystem(system);
    system.outputLimit = outputLimit;
    Decompressor decompressor(system);
    if (!decompressor.Open(source, "cannot open the cabinet " + source)) {
        return false;
    }
    if (!decompressor.Members()) {
        SetLastError(MSPACK_ERR_DATAFORMAT, "the cabinet " + source + " holds no member");
        return false;
    }
    const int fd =
        ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetLastErrorFromErrno();
        SetLastError(GetLastErrorCode(),
                     "cannot create " + destination + ": " + GetLastErrorText());
        return false;
    }
    system.outputName = destination.c_str();
    system.outputFd = fd;
    const CabinetFile file(source);
    MemberExtractor extractor(decompressor, system, file.Reader());
    bool ok = true;
    for (mscabd_file* member = decompressor.Members(); ok && member; member = member->next) {
        lastMessage.clear();
        const int error = extractor.Extract(member, system.outputName);
        if (error != MSPACK_ERR_OK) {
            RecordError(error,
                        "cannot extract " + std::string(member->filename) + " from " + source);
            ok = false;
        } else {
            ApplyTimeAndAttributes(fd, member);
        }
    }
    if (::close(fd) != 0 && ok) {
        SetLastErrorFromErrno();
        ok = false;
    }
    if (!ok) {
        ::unlink(destination.c_str());
    }
    return ok;
}

bool ScanCabinetBuffer(const void* data, size_t size, size_t outputLimit,
                       std::vector<CabinetMember>& members) {
    members.clear();
    System system;
    InitSystem(system);
    system.memory = static_cast<const unsigned char*>(data);
    system.memorySize = size;
    system.outputName = "(discarded)";
    system.outputLimit = outputLimit;
    Decompressor decompressor(system);
    if (!decompressor.Open("(memory)", "cannot open the cabinet")) {
        return false;
    }
    MemberExtractor extractor(decompressor, system, MemoryReader(system.memory, size));
    for (mscabd_file* member = decompressor.Members(); member; member = member->next) {
        CabinetMember info;
        info.name = member->filename ? member->filename : "";
        info.length = member->length;
        info.attributes = static_cast<uint32_t>(member->attribs);
        info.year = member->date_y;
        info.month = member->date_m;
        info.day = member->date_d;
        info.hour = member->time_h;
        info.minute = member->time_m;
        info.second = member->time_s;
        members.push_back(info);
        lastMessage.clear();
        const int error = extractor.Extract(member, system.outputName);
        if (error != MSPACK_ERR_OK) {
            RecordError(error, "cannot extract " + info.name);
            return false;
        }
    }
    return true;
}

void UseZlibForMszipForTesting(bool use) {
    gZlibForMszip.store(use);
}

}  // namespace platform
