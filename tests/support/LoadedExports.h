// libvcm.so loaded with dlopen, as a host loads it, with its six exports resolved.
#pragma once

#include <dlfcn.h>

#include <string>

#include "vcm/vcm.h"

namespace testsupport {

class LoadedExports {
public:
    int (*initialize)(ComponentManager**) = nullptr;
    int (*addSpec)(ComponentManager*, const char*) = nullptr;
    int (*find)(ComponentManager*, ComponentCallback, StringList*) = nullptr;
    int (*check)(ComponentManager*, const char*, int, ComponentCallback, StringList*) = nullptr;
    int (*update)(ComponentManager*, const char*) = nullptr;
    void (*shutdown)(ComponentManager*) = nullptr;

    explicit LoadedExports(const char* path) : handle_(::dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        if (!handle_) {
            error_ = ::dlerror();
            return;
        }
        Resolve("VCM_Initialize", initialize);
        Resolve("VCM_AddSpec", addSpec);
        Resolve("VCM_FindComponents", find);
        Resolve("VCM_CheckForUpdates", check);
        Resolve("VCM_UpdateComponents", update);
        Resolve("VCM_Shutdown", shutdown);
    }
    ~LoadedExports() {
        if (handle_) {
            ::dlclose(handle_);
        }
    }
    LoadedExports(const LoadedExports&) = delete;
    LoadedExports& operator=(const LoadedExports&) = delete;

    // Empty when the library loaded and all six exports were found.
    std::string Error() const { return error_; }

private:
    template <class F>
    void Resolve(const char* name, F& function) {
        function = reinterpret_cast<F>(::dlsym(handle_, name));
        if (!function && error_.empty()) {
            error_ = std::string(name) + " not found";
        }
    }

    void* handle_;
    std::string error_;
};

}  // namespace testsupport
