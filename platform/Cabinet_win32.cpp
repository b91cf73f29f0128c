#include "platform/Cabinet.h"

#include <fcntl.h>
#include <fdi.h>

#include <cstdlib>
#include <cstring>

#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

// The system's cabinet decompressor (FDI of cabinet.dll). Choices beyond Cabinet.h's:
// - FDI does all its input and output through our functions: it may open only the cabinet it
//   was given, for reading, and every member it writes goes into the destination this code
//   created, so that it never opens a file by a name of its own choosing (a member's name
//   included).
// - After each member the destination takes the member's DOS date and time, taken as local
//   time, as its creation and last-write times, and the member's read-only, hidden, system and
//   archive attributes (best effort, as on the system's own extraction).

namespace platform {

namespace {

// One extraction or scan on this thread: FDI's file functions carry no context of their own.
struct Session {
    std::string source;                     // the only file FDI may open
    const unsigned char* memory = nullptr;  // a cabinet in memory instead of a file
    size_t memorySize = 0;
    HANDLE destination = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE: the output is discarded
    bool destinationUsed = false;
    uint64_t outputLimit = UINT64_MAX;
    uint64_t written = 0;
    bool overLimit = false;
    std::string failure;  // the reason of a failure that is ours rather than FDI's
    std::vector<CabinetMember>* members = nullptr;
    int memberCount = 0;
};

thread_local Session* current = nullptr;

struct Stream {
    enum Type { kFile, kMemory, kOutput } type;
    HANDLE file;
    uint64_t position;  // kMemory
};

Stream* AsStream(INT_PTR handle) {
    return reinterpret_cast<Stream*>(handle);
}

FNALLOC(Allocate) {
    return std::malloc(cb);
}

FNFREE(Release) {
    std::free(pv);
}

FNOPEN(Open) {
    Session* session = current;
    if (!session || !pszFile || session->source != pszFile ||
        (oflag & (_O_WRONLY | _O_RDWR | _O_CREAT)) != 0) {
        return -1;
    }
    (void)pmode;
    if (session->memory) {
        return reinterpret_cast<INT_PTR>(new Stream{Stream::kMemory, INVALID_HANDLE_VALUE, 0});
    }
    std::wstring wide;
    if (!win32::WidePath(pszFile, wide)) {
        return -1;
    }
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        session->failure =
            "cannot open " + session->source + ": " + win32::SystemMessage(::GetLastError());
        return -1;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        session->failure = "not a regular file: " + session->source;
        return -1;
    }
    return reinterpret_cast<INT_PTR>(new Stream{Stream::kFile, file, 0});
}

FNREAD(Read) {
    Stream* stream = AsStream(hf);
    if (stream->type == Stream::kFile) {
        DWORD got = 0;
        return ::ReadFile(stream->file, pv, cb, &got, nullptr) ? got : static_cast<UINT>(-1);
    }
    if (stream->type == Stream::kMemory) {
        const Session& session = *current;
        const uint64_t left =
            stream->position < session.memorySize ? session.memorySize - stream->position : 0;
        const UINT n = static_cast<UINT>(left < cb ? left : cb);
        if (n > 0) {
            std::memcpy(pv, session.memory + stream->position, n);
        }
        stream->position += n;
        return n;
    }
    return static_cast<UINT>(-1);
}

FNWRITE(Write) {
    Stream* stream = AsStream(hf);
    Session& session = *current;
    if (stream->type != Stream::kOutput) {
        return static_cast<UINT>(-1);
    }
    session.written += cb;
    if (session.written > session.outputLimit) {
        session.overLimit = true;
        session.failure = "more than " + std::to_string(session.outputLimit) + " bytes of output";
        return static_cast<UINT>(-1);
    }
    if (session.destination == INVALID_HANDLE_VALUE) {
        return cb;
    }
    const char* from = static_cast<const char*>(pv);
    UINT left = cb;
    while (left > 0) {
        DWORD done = 0;
        if (!::WriteFile(session.destination, from, left, &done, nullptr) || done == 0) {
            session.failure =
                "cannot write the destination: " + win32::SystemMessage(::GetLastError());
            return static_cast<UINT>(-1);
        }
        from += done;
        left -= done;
    }
    return cb;
}

FNCLOSE(Close) {
    Stream* stream = AsStream(hf);
    if (stream->type == Stream::kFile) {
        ::CloseHandle(stream->file);
    }
    delete stream;  // the destination itself stays open until the extraction ends
    return 0;
}

FNSEEK(Seek) {
    Stream* stream = AsStream(hf);
    if (stream->type == Stream::kFile) {
        LARGE_INTEGER distance, position;
        distance.QuadPart = dist;
        const DWORD method = seektype == SEEK_SET   ? FILE_BEGIN
                             : seektype == SEEK_CUR ? FILE_CURRENT
                                                    : FILE_END;
        if (!::SetFilePointerEx(stream->file, distance, &position, method) ||
            position.QuadPart > 0x7FFFFFFF) {
            return -1;
        }
        return static_cast<__LONG32>(position.QuadPart);
    }
    if (stream->type == Stream::kMemory) {
        const int64_t size = static_cast<int64_t>(current->memorySize);
        const int64_t base = seektype == SEEK_SET   ? 0
                             : seektype == SEEK_CUR ? static_cast<int64_t>(stream->position)
                                                    : size;
        const int64_t target = base + dist;
        if (target < 0 || target > 0x7FFFFFFF) {
            return -1;
        }
        stream->position = static_cast<uint64_t>(target);
        return static_cast<__LONG32>(target);
    }
    return -1;
}

// The member's DOS date and time, taken as local time, onto the destination's creation and
// last-write times, and its attributes onto the destination. Best effort.
void ApplyTimeAndAttributes(HANDLE destination, USHORT date, USHORT time, USHORT attributes) {
    FILETIME local, universal;
    if (::DosDateTimeToFileTime(date, time, &local) &&
        ::LocalFileTimeToFileTime(&local, &universal)) {
        ::SetFileTime(destination, &universal, nullptr, &universal);
    }
    FILE_BASIC_INFO basic = {};
    DWORD kept = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(destination, FileBasicInfo, &basic, sizeof basic);
}

CabinetMember Describe(const FDINOTIFICATION& note) {
    CabinetMember member;
    member.name = note.psz1 ? note.psz1 : "";
    member.length = static_cast<uint32_t>(note.cb);
    member.attributes = note.attribs;
    member.year = (note.date >> 9) + 1980;
    member.month = (note.date >> 5) & 0x0F;
    member.day = note.date & 0x1F;
    member.hour = note.time >> 11;
    member.minute = (note.time >> 5) & 0x3F;
    member.second = (note.time & 0x1F) * 2;
    return member;
}

FNFDINOTIFY(Notify) {
    Session& session = *current;
    switch (fdint) {
        case fdintCOPY_FILE: {
            // Each member rewrites the destination from its start.
            if (session.destination != INVALID_HANDLE_VALUE && session.destinationUsed) {
                LARGE_INTEGER start = {};
                if (!::SetFilePointerEx(session.destination, start, nullptr, FILE_BEGIN) ||
                    !::SetEndOfFile(session.destination)) {
                    session.failure =
                        "cannot rewrite the destination: " + win32::SystemMessage(::GetLastError());
                    return -1;
                }
            }
            session.destinationUsed = true;
            ++session.memberCount;
            if (session.members) {
                session.members->push_back(Describe(*pfdin));
            }
            return reinterpret_cast<INT_PTR>(new Stream{Stream::kOutput, INVALID_HANDLE_VALUE, 0});
        }
        case fdintCLOSE_FILE_INFO:
            if (session.destination != INVALID_HANDLE_VALUE) {
                ApplyTimeAndAttributes(session.destination, pfdin->date, pfdin->time,
                                       pfdin->attribs);
            }
            Close(pfdin->hf);
            return TRUE;
        default:
            return 0;
    }
}

const char* FdiErrorText(int code) {
    switch (code) {
        case FDIERROR_CABINET_NOT_FOUND:
            return "cannot open the cabinet";
        case FDIERROR_NOT_A_CABINET:
            return "not a cabinet";
        case FDIERROR_UNKNOWN_CABINET_VERSION:
            return "unknown cabinet version";
        case FDIERROR_CORRUPT_CABINET:
            return "the cabinet is malformed";
        case FDIERROR_ALLOC_FAIL:
            return "out of memory";
        case FDIERROR_BAD_COMPR_TYPE:
            return "unknown compression";
        case FDIERROR_MDI_FAIL:
            return "the compressed data is corrupt";
        case FDIERROR_TARGET_FILE:
            return "cannot write the destination";
        case FDIERROR_RESERVE_MISMATCH:
            return "the cabinet's reserved areas do not match";
        case FDIERROR_WRONG_CABINET:
            return "a member continues in another cabinet";
        case FDIERROR_USER_ABORT:
            return "stopped";
        default:
            return "cabinet error";
    }
}

// Runs FDI over the session's cabinet; false with the last error set.
bool Decompress(Session& session, const std::string& what) {
    current = &session;
    ERF error = {};
    HFDI context =
        ::FDICreate(Allocate, Release, Open, Read, Write, Close, Seek, cpuUNKNOWN, &error);
    bool ok = false;
    if (!context) {
        SetLastError(static_cast<uint32_t>(error.erfOper), what + ": no cabinet decompressor");
    } else {
        std::string path = session.source;
        const INT_PTR cabinet = Open(&path[0], _O_BINARY | _O_RDONLY | _O_SEQUENTIAL, 0);
        FDICABINETINFO info = {};
        if (cabinet == -1) {
            SetLastError(FDIERROR_CABINET_NOT_FOUND,
                         what + ": " + (session.failure.empty() ? "cannot open" : session.failure));
        } else if (!::FDIIsCabinet(context, cabinet, &info)) {
            Close(cabinet);
            SetLastError(FDIERROR_NOT_A_CABINET, what + ": not a cabinet");
        } else {
            Close(cabinet);
            char empty[1] = {'\0'};
            ok = ::FDICopy(context, empty, &path[0], 0, Notify, nullptr, nullptr) != FALSE;
            if (!ok) {
                const int code = error.erfOper ? error.erfOper : FDIERROR_CORRUPT_CABINET;
                std::string text = what + ": " + FdiErrorText(code);
                if (!session.failure.empty()) {
                    text += " (" + session.failure + ")";
                }
                SetLastError(static_cast<uint32_t>(code), text);
            }
        }
        ::FDIDestroy(context);
    }
    current = nullptr;
    return ok;
}

}  // namespace

bool ExtractCabinet(const std::string& source, const std::string& destination,
                    uint64_t outputLimit) {
    std::wstring wide;
    if (!win32::WidePath(destination, wide)) {
        return false;
    }
    // Created exclusively: no file or link planted under the name is ever written to.
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        win32::RecordLastError("cannot create " + destination);
        return false;
    }
    Session session;
    session.source = source;
    session.destination = file;
    session.outputLimit = outputLimit;
    bool ok = Decompress(session, "cannot extract the cabinet " + source);
    if (ok && session.memberCount == 0) {
        SetLastError(FDIERROR_CORRUPT_CABINET, "the cabinet " + source + " holds no member");
        ok = false;
    }
    if (!::CloseHandle(file) && ok) {
        win32::RecordLastError("cannot close " + destination);
        ok = false;
    }
    if (!ok) {
        // No partial file is left; a read-only attribute must not keep it.
        ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(wide.c_str());
    }
    return ok;
}

bool ScanCabinetBuffer(const void* data, size_t size, size_t outputLimit,
                       std::vector<CabinetMember>& members) {
    members.clear();
    Session session;
    session.source = "(memory)";
    session.memory = static_cast<const unsigned char*>(data);
    session.memorySize = size;
    session.outputLimit = outputLimit;
    session.members = &members;
    return Decompress(session, "cannot scan the cabinet");
}

void UseZlibForMszipForTesting(bool) {}

}  // namespace platform
