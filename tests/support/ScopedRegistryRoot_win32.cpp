#include "support/ScopedRegistryRoot.h"

#include <windows.h>

#include <mutex>
#include <random>
#include <vector>

namespace testsupport {

namespace {

// The scopes in force, innermost last: the two keys each points the roots at.
struct Scope {
    std::wstring name;
    HKEY machine;
    HKEY user;
};

struct Scopes {
    std::mutex mutex;
    HKEY base = nullptr;  // HKEY_CURRENT_USER\Software\Vomo Tests, opened before any override
    std::vector<Scope> stack;
};

Scopes& AllScopes() {
    static Scopes* scopes = new Scopes;  // outlives every static destructor
    return *scopes;
}

void PointRootsAt(HKEY machine, HKEY user) {
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, user);
}

}  // namespace

ScopedRegistryRoot::ScopedRegistryRoot() : dir_("vcm-hives") {
    Scopes& scopes = AllScopes();
    std::lock_guard<std::mutex> lock(scopes.mutex);
    if (!scopes.base) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Vomo Tests", 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &scopes.base, nullptr);
    }
    std::random_device random;
    Scope scope;
    scope.name = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(random());
    ::RegCreateKeyExW(scopes.base, (scope.name + L"\\Machine").c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &scope.machine, nullptr);
    ::RegCreateKeyExW(scopes.base, (scope.name + L"\\User").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &scope.user, nullptr);
    PointRootsAt(scope.machine, scope.user);
    scopes.stack.push_back(scope);
}

ScopedRegistryRoot::~ScopedRegistryRoot() {
    Scopes& scopes = AllScopes();
    std::lock_guard<std::mutex> lock(scopes.mutex);
    if (scopes.stack.empty()) {
        return;
    }
    const Scope scope = scopes.stack.back();
    scopes.stack.pop_back();
    if (scopes.stack.empty()) {
        PointRootsAt(nullptr, nullptr);  // the real roots again
    } else {
        PointRootsAt(scopes.stack.back().machine, scopes.stack.back().user);
    }
    ::RegCloseKey(scope.machine);
    ::RegCloseKey(scope.user);
    ::RegDeleteTreeW(scopes.base, scope.name.c_str());
    ::RegDeleteKeyW(scopes.base, scope.name.c_str());
}

}  // namespace testsupport
