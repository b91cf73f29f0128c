// Installed components as an install leaves them in the registry: the component's record
// (package type nsis) and, when it has an uninstaller, an install folder holding it, named by
// the values "InstallDir" and "UninstallPath" that the package writes itself.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "registry/IComponentRegistry.h"
#include "settings/InstallerSettingsImpl.h"
#include "support/TempDir.h"

namespace testsupport {

struct InstalledComponent {
    InstalledComponent(const std::string& id, const std::string& version = "1.0.0.0",
                       const std::vector<std::string>& dependencies = {},
                       const std::string& installGroup = std::string())
        : id(id), version(version), dependencies(dependencies), installGroup(installGroup) {}

    std::string id;
    std::string version;
    std::vector<std::string> dependencies;
    std::string installGroup;
};

// Records `component`. With a non-empty `uninstaller` script, the folder `installDir` is made
// and the script written into it as "uninstall"; the folder and the script are recorded.
inline void RecordInstalled(const InstalledComponent& component,
                            const std::string& installDir = std::string(),
                            const std::string& uninstaller = std::string()) {
    ComponentRecord record;
    record.id = component.id;
    record.packageType = kPackageNsis;
    record.installedVersion = Version(component.version);
    record.dependencies = component.dependencies;
    record.installGroup = component.installGroup;
    ASSERT_EQ(0u, CreateComponentRegistry()->SaveComponent(record)) << component.id;
    if (uninstaller.empty()) {
        return;
    }
    const std::string program = installDir + "/uninstall";
    boost::filesystem::create_directories(installDir);
    ASSERT_TRUE(WriteFile(program, uninstaller));
    boost::filesystem::permissions(program, boost::filesystem::owner_all);
    InstallerSettingsImpl settings;
    ASSERT_TRUE(settings.SetString(component.id, "InstallDir", installDir));
    ASSERT_TRUE(settings.SetString(component.id, "UninstallPath", program));
}

}  // namespace testsupport
