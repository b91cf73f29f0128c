#include "platform/MachineId.h"

#include "platform/WindowsSupport_win32.h"

#include <bcrypt.h>

#include <vector>

#include "platform/LastError.h"

// The machine's id is the MachineGuid value that Windows writes at installation into
// HKLM\SOFTWARE\Microsoft\Cryptography (read in the 64-bit view, where a 32-bit process
// would otherwise see a redirected key without it). The application's id is HMAC-SHA256
// keyed with that text (as UTF-8) over the application key, cut to 16 bytes.

namespace platform {

namespace {

const size_t kIdBytes = 16;

std::string Hex(const unsigned char* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

bool ReadMachineGuid(std::string& guid) {
    HKEY key = nullptr;
    LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                                     KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
    if (status != ERROR_SUCCESS) {
        win32::RecordError(static_cast<DWORD>(status), "no machine id");
        return false;
    }
    std::vector<wchar_t> text(64);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key, L"MachineGuid", nullptr, &type,
                                reinterpret_cast<LPBYTE>(text.data()), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        win32::RecordError(status != ERROR_SUCCESS ? static_cast<DWORD>(status)
                                                   : static_cast<DWORD>(ERROR_INVALID_DATA),
                           "no machine id");
        return false;
    }
    size_t length = size / sizeof(wchar_t);
    while (length > 0 && text[length - 1] == L'\0') {
        --length;
    }
    if (length == 0) {
        win32::RecordError(ERROR_INVALID_DATA, "no machine id");
        return false;
    }
    guid = win32::Narrow(text.data(), length);
    return true;
}

}  // namespace

bool MachineAppSpecificId(const AppKey& key, std::string& id) {
    std::string guid;
    if (!ReadMachineGuid(guid)) {
        return false;
    }
    const std::string digest = win32::BCryptSha256(
        std::string(reinterpret_cast<const char*>(key.bytes), sizeof key.bytes), guid);
    if (digest.size() < kIdBytes) {
        return false;  // the last error says why
    }
    id = Hex(reinterpret_cast<const unsigned char*>(digest.data()), kIdBytes);
    return true;
}

bool NewRandomId(std::string& id) {
    unsigned char bytes[kIdBytes];
    const NTSTATUS status =
        ::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status != 0) {
        SetLastError(static_cast<uint32_t>(status), "no random id");
        return false;
    }
    id = Hex(bytes, sizeof bytes);
    return true;
}

}  // namespace platform
