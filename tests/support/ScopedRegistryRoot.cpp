#include "support/ScopedRegistryRoot.h"

#include <cstdlib>

namespace testsupport {

ScopedRegistryRoot::ScopedRegistryRoot() : dir_("vcm-hives") {
    const char* previous = std::getenv("VOMO_REGISTRY_ROOT");
    hadPrevious_ = previous != nullptr;
    if (previous) {
        previous_ = previous;
    }
    SetEnvironment("VOMO_REGISTRY_ROOT", dir_.Path());
}

ScopedRegistryRoot::~ScopedRegistryRoot() {
    if (hadPrevious_) {
        SetEnvironment("VOMO_REGISTRY_ROOT", previous_);
    } else {
        UnsetEnvironment("VOMO_REGISTRY_ROOT");
    }
}

}  // namespace testsupport
