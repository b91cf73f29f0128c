// What the Windows backend of the platform layer (the *_win32.cpp files) shares, and nothing
// else includes: this header brings in <windows.h>, whose macros (CreateDirectory, CopyFile,
// DeleteFile, GetObject and more) must never reach a header of our interfaces.
//
// Texts cross the system's calls as UTF-16 (the W calls); paths may be written with "/" or "\"
// above this layer and reach the system with "\" only, as some calls (the shell's) require.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>

namespace platform {

struct FileSeal;

namespace win32 {

// UTF-8 text as UTF-16 for a W call; false when `text` is not UTF-8 or holds a zero.
bool Widen(const std::string& text, std::wstring& wide);
// A path for a W call: Widen, with every "/" turned into "\".
bool WidePath(const std::string& path, std::wstring& wide);
// UTF-16 from a W call as UTF-8; unpaired surrogates become U+FFFD.
std::string Narrow(const wchar_t* text, size_t length);
std::string Narrow(const std::wstring& text);

// Records the Win32 error `code` with the system's text (FormatMessageW) as the calling thread's
// last error (LastError.h); `context`, when given, comes first ("context: text").
void RecordError(DWORD code, const std::string& context = std::string());
// RecordError of GetLastError().
void RecordLastError(const std::string& context = std::string());
// The system's text for a Win32 error or HRESULT `code`, without the line break it ends with;
// empty when the system has none.
std::string SystemMessage(DWORD code);

// The seal (FileSeal.h) of the file open as `file`, read through that handle from its start:
// the trust check seals the very handle it checked through. False, with the last error set to
// kTrustFileError, when it is not a file or cannot be read to its end.
bool SealHandle(HANDLE file, FileSeal& seal);

// The 32 bytes of SHA-256 over `bytes` through BCrypt, or of HMAC-SHA256 keyed with `key` when
// it is not empty; empty, with the last error recorded, when BCrypt fails (Sha256_win32.cpp).
std::string BCryptSha256(const std::string& bytes, const std::string& key = std::string());

// Owns one kernel handle and closes it; null and INVALID_HANDLE_VALUE are "none".
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) {
            ::CloseHandle(handle_);
        }
        handle_ = handle;
    }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace win32
}  // namespace platform
