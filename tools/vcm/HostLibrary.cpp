#include "tools/vcm/HostLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>

namespace vcmtool {

namespace {

template <class F>
bool Resolve(void* handle, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(handle, name));
    if (!function) {
        std::fprintf(stderr, "vcm: %s not found in the library\n", name);
        return false;
    }
    return true;
}

}  // namespace

std::string DefaultLibraryPath() {
    const std::string soname = "libvcm.so." + std::to_string(VCM_VERSION_MAJOR);
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        std::string dir(self);
        const std::string::size_type slash = dir.rfind('/');
        if (slash != std::string::npos) {
            dir.erase(slash);
            for (const std::string& candidate : {dir + "/" VCM_RELATIVE_LIBDIR "/" + soname,
                                                 dir + "/../lib/" + soname, dir + "/" + soname}) {
                if (::access(candidate.c_str(), R_OK) == 0) {
                    return candidate;
                }
            }
        }
    }
    return soname;
}

bool Load(const std::string& path, Library& library) {
    library.handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library.handle) {
        std::fprintf(stderr, "vcm: cannot load %s: %s\n", path.c_str(), ::dlerror());
        return false;
    }
    return Resolve(library.handle, "VCM_Initialize", library.initialize) &&
           Resolve(library.handle, "VCM_AddSpec", library.addSpec) &&
           Resolve(library.handle, "VCM_FindComponents", library.findComponents) &&
           Resolve(library.handle, "VCM_CheckForUpdates", library.checkForUpdates) &&
           Resolve(library.handle, "VCM_UpdateComponents", library.updateComponents) &&
           Resolve(library.handle, "VCM_Shutdown", library.shutdown);
}

void Unload(Library& library) {
    if (library.handle) {
        ::dlclose(library.handle);
        library.handle = nullptr;
    }
}

void ClearIds(void* context) {
    static_cast<std::vector<std::string>*>(context)->clear();
}

void AppendId(const char* id, StringList* list) {
    static_cast<std::vector<std::string>*>(list->context)->push_back(id ? id : "");
}

}  // namespace vcmtool
