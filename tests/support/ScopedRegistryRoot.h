// Points VOMO_REGISTRY_ROOT at a fresh, empty folder for the lifetime of the object and puts the
// previous value back afterwards, so that a test starts without hives and leaves none behind.
#pragma once

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace testsupport {

class ScopedRegistryRoot {
public:
    ScopedRegistryRoot() : dir_("vcm-hives") {
        const char* previous = std::getenv("VOMO_REGISTRY_ROOT");
        hadPrevious_ = previous != nullptr;
        if (previous) {
            previous_ = previous;
        }
        ::setenv("VOMO_REGISTRY_ROOT", dir_.Path().c_str(), 1);
    }
    ~ScopedRegistryRoot() {
        if (hadPrevious_) {
            ::setenv("VOMO_REGISTRY_ROOT", previous_.c_str(), 1);
        } else {
            ::unsetenv("VOMO_REGISTRY_ROOT");
        }
    }
    ScopedRegistryRoot(const ScopedRegistryRoot&) = delete;
    ScopedRegistryRoot& operator=(const ScopedRegistryRoot&) = delete;

    const std::string& Path() const { return dir_.Path(); }
    std::string MachineHive() const { return dir_.File("machine.db"); }
    std::string UserHive() const { return dir_.File("user.db"); }

private:
    TempDir dir_;
    bool hadPrevious_ = false;
    std::string previous_;
};

}  // namespace testsupport
