// ComponentRecord: the plain record of one component or install group, as the manifest gives
// it, as the installed-component registry stores it, and as sessions and launchers receive it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "api/Url.h"
#include "engine/Version.h"

namespace vmi {
class IComponent;
}

// Installer package types and their manifest spellings: "exe" 1, "nsis" 2, "msi" 3.
enum PackageType : uint32_t {
    kPackageNone = 0,
    kPackageExe = 1,
    kPackageNsis = 2,
    kPackageMsi = 3,
};

// Maps a manifest's package type text (exact, case-sensitive) to the type; other texts are 0.
PackageType PackageTypeFromText(const std::string& text);

// A role in which a spec is offered.
struct SpecRole {
    std::string text;
    std::string cost;
};

// A named capability a component offers, in a version and in one or more roles.
struct Spec {
    std::string name;
    std::string version;
    std::vector<SpecRole> roles;
};

// Platform condition of a component: "cpu", "version" ("major.minor") and "condition".
struct OsRequirement {
    std::string cpu;
    std::string version;
    std::string condition;
};

struct ComponentRecord {
    bool isOptional = false;
    bool isDefaultChecked = false;
    bool isUpdateOnly = false;
    bool isUpdateDeferred = false;
    bool inInstallGroup = false;
    bool isDowngradeVersion = false;
    // Not read from the manifest. When set, an install keeps the component's registry key
    // instead of removing it before the installer runs.
    bool keepRegistryKey = false;
    uint32_t installSize = 0;
    uint32_t order = 0;
    std::string id;
    std::string displayVersion;
    std::vector<Spec> specs;
    PackageType packageType = kPackageNone;
    std::string commandLineArgs;
    Url packageUrl;
    // The SHA-256 the package must have, as the manifest's `package/sha256` gives it (64
    // hexadecimal digits; empty when absent; kept as written, packages/PackageDigest.h judges
    // it). Not stored in the registry.
    std::string packageSha256;
    Url secondaryUrl;  // not read from the manifest; an update run copies the package URL here
    std::vector<std::string> dependencies;
    std::vector<std::string> optionalDependencies;
    std::vector<std::string> dynamicDependencies;
    std::vector<std::string> shutdownModules;
    std::vector<std::string> auxiliaryIds;  // members of an install group
    Version latestVersion{"0.0.0.0"};
    // The percentage of machines that take latestVersion (a staged rollout, engine/Rollout.h).
    uint32_t rollout = 100;
    Version installedVersion{"0.0.0.0"};
    std::string installDir;
    std::string installGroup;
    std::string auxiliaryText;
    std::vector<std::string> resourceRefs;
    OsRequirement osRequirement;
    std::string locale;
    std::vector<std::string> auxiliaryRefs;  // accepted licence ids ("EulaIds")
    std::string buyUrlRef;
    std::string name;
    std::string description;
    std::string uninstallProgressText;
    std::string streamId;
    std::vector<boost::shared_ptr<vmi::IComponent>> streams;
    std::string postInstallPageOverride;
};
