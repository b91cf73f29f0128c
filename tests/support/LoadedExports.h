// The library loaded at run time, as a host loads it (dlopen on Linux, LoadLibraryW on Windows),
// with its six exports resolved.
#pragma once

#include <string>

#include "vcm/vcm.h"

namespace testsupport {

class LoadedExports {
public:
    int(VCM_CALL* initialize)(ComponentManager**) = nullptr;
    int(VCM_CALL* addSpec)(ComponentManager*, const char*) = nullptr;
    int(VCM_CALL* find)(ComponentManager*, ComponentCallback, StringList*) = nullptr;
    int(VCM_CALL* check)(ComponentManager*, const char*, int, ComponentCallback,
                         StringList*) = nullptr;
    int(VCM_CALL* update)(ComponentManager*, const char*) = nullptr;
    void(VCM_CALL* shutdown)(ComponentManager*) = nullptr;

    explicit LoadedExports(const char* path);
    ~LoadedExports();
    LoadedExports(const LoadedExports&) = delete;
    LoadedExports& operator=(const LoadedExports&) = delete;

    // Empty when the library loaded and all six exports were found.
    std::string Error() const { return error_; }

private:
    // The export `name`, or null.
    void* Find(const char* name);

    template <class F>
    void Resolve(const char* name, F& function) {
        function = reinterpret_cast<F>(Find(name));
        if (!function && error_.empty()) {
            error_ = std::string(name) + " not found";
        }
    }
    void ResolveAll() {
        Resolve("VCM_Initialize", initialize);
        Resolve("VCM_AddSpec", addSpec);
        Resolve("VCM_FindComponents", find);
        Resolve("VCM_CheckForUpdates", check);
        Resolve("VCM_UpdateComponents", update);
        Resolve("VCM_Shutdown", shutdown);
    }

    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace testsupport
