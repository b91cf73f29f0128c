#include "support/LoadedExports.h"

#include <dlfcn.h>

namespace testsupport {

LoadedExports::LoadedExports(const char* path) : handle_(::dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) {
        error_ = ::dlerror();
        return;
    }
    ResolveAll();
}

LoadedExports::~LoadedExports() {
    if (handle_) {
        ::dlclose(handle_);
    }
}

void* LoadedExports::Find(const char* name) {
    return ::dlsym(handle_, name);
}

}  // namespace testsupport
