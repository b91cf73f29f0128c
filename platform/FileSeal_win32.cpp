#include "platform/FileSeal.h"

#include "platform/WindowsSupport_win32.h"

#include <bcrypt.h>

#include <vector>

#include "platform/LastError.h"
#include "platform/Trust.h"

// The seal on Windows: the identity is the volume serial number and the file index of the open
// handle, the digest SHA-256 (BCrypt) of every byte read through that same handle.

namespace platform {

namespace {

const size_t kChunkBytes = 256 * 1024;

// SHA-256 of the whole file behind `file`, read from its start.
bool DigestOf(HANDLE file, std::string& digest) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return false;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    LARGE_INTEGER start = {};
    ok = ok && ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    std::vector<unsigned char> buffer(kChunkBytes);
    while (ok) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            ok = ::BCryptHashData(hash, buffer.data(), got, 0) == 0;
        }
    }
    unsigned char value[32];
    ok = ok && ::BCryptFinishHash(hash, value, sizeof value, 0) == 0;
    if (hash) {
        ::BCryptDestroyHash(hash);
    }
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (ok) {
        digest.assign(reinterpret_cast<const char*>(value), sizeof value);
    }
    return ok;
}

}  // namespace

namespace win32 {

bool SealHandle(HANDLE file, FileSeal& seal) {
    BY_HANDLE_FILE_INFORMATION information;
    if (::GetFileType(file) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetLastError(kTrustFileError, "only a file can be sealed");
        return false;
    }
    FileSeal made;
    made.device = information.dwVolumeSerialNumber;
    made.node =
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    made.size = (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    if (!DigestOf(file, made.digest)) {
        SetLastError(kTrustFileError, "the file cannot be read to its end");
        return false;
    }
    seal = made;
    return true;
}

}  // namespace win32

bool SealFile(const std::string& path, FileSeal& seal) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        SetLastError(kTrustFileError, "not a file name: " + path);
        return false;
    }
    // Others may read meanwhile, but not write: the digest is of one content.
    win32::Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) {
        win32::RecordLastError("cannot open " + path);
        SetLastError(kTrustFileError, GetLastErrorText());
        return false;
    }
    return win32::SealHandle(file.Get(), seal);
}

}  // namespace platform
