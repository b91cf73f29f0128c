// Gives the registry a fresh, empty place for the lifetime of the object and puts the previous
// one back afterwards, so that a test starts without keys and leaves none behind.
//
// On Linux the place is a new folder for the hive files (VOMO_REGISTRY_ROOT). On Windows the
// process's two predefined roots, HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, are pointed at two
// new keys below HKEY_CURRENT_USER\Software\Vomo Tests (RegOverridePredefKey), which are deleted
// afterwards; other processes keep seeing the real roots. Objects nest: each one puts back what
// was in force when it was made.
#pragma once

#include <string>

#include "support/TempDir.h"

namespace testsupport {

class ScopedRegistryRoot {
public:
    ScopedRegistryRoot();
    ~ScopedRegistryRoot();
    ScopedRegistryRoot(const ScopedRegistryRoot&) = delete;
    ScopedRegistryRoot& operator=(const ScopedRegistryRoot&) = delete;

    // The folder of the hive files, and the files (Linux only).
    const std::string& Path() const { return dir_.Path(); }
    std::string MachineHive() const { return dir_.File("machine.db"); }
    std::string UserHive() const { return dir_.File("user.db"); }

private:
    TempDir dir_;
    bool hadPrevious_ = false;
    std::string previous_;
};

}  // namespace testsupport
