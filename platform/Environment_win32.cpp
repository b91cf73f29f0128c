#include "platform/Environment.h"

#include <vector>

#include "platform/WindowsSupport_win32.h"

namespace platform {

namespace {

// "C:\...", "C:/..." or a network path "\\server\...".
bool IsAbsolute(const std::string& path) {
    if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) {
        return true;
    }
    return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
           (path[1] == '\\' || path[1] == '/');
}

}  // namespace

bool GetEnvironmentText(const std::string& name, std::string& value) {
    std::wstring wideName;
    if (!win32::Widen(name, wideName)) {
        return false;
    }
    std::vector<wchar_t> buffer(256);
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), buffer.data(),
                                                       static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return false;
            }
            value.clear();  // set, and empty
            return true;
        }
        if (length < buffer.size()) {
            value = win32::Narrow(buffer.data(), length);
            return true;
        }
        buffer.resize(length);  // the size needed, its terminator included
    }
}

// Windows has no XDG folders: the variable when it names an absolute path, otherwise the
// user's profile folder (USERPROFILE) and `homeRelative` below it.
std::string UserBaseDirectory(const std::string& variable, const std::string& homeRelative) {
    std::string base;
    if (GetEnvironmentText(variable, base) && IsAbsolute(base)) {
        return base;
    }
    std::string home;
    if (!GetEnvironmentText("USERPROFILE", home) || home.empty()) {
        return std::string();
    }
    std::string relative = homeRelative;
    for (char& c : relative) {
        if (c == '/') {
            c = '\\';
        }
    }
    return home + "\\" + relative;
}

// The process holds the administrators' rights: its token is a member of the Administrators
// group with that membership enabled (an elevated token under user account control).
bool IsSuperUser() {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators, &member)) {
        member = FALSE;
    }
    ::FreeSid(administrators);
    return member != FALSE;
}

}  // namespace platform
