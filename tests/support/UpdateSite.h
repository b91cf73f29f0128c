// A distribution site on 127.0.0.1 for runs of vcm as a person starts them: a signed manifest
// cabinet naming components whose installer packages (shell scripts in signed cabinets) the
// site serves, and the environment vcm runs in: a registry, an install log and a temporary
// folder of the site's own, the test signers trusted, the manifest's address set.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

namespace testsupport {

// One component of a manifest: its id, the version the manifest offers, and its installer.
struct SiteComponent {
    std::string id;
    std::string version;
    std::string installer;  // a shell script
    size_t padding = 0;     // bytes added after the script, to make the package that large
};

class UpdateSite {
public:
    // `vomoReg`: the vomo-reg program the installers record themselves with.
    explicit UpdateSite(const std::string& vomoReg);

    // Serves a manifest of version `manifestVersion` offering `components`, each package at
    // "/<id>-<version>.cab" with the reply `tweak` makes of it (the manifest's own reply is
    // plain). The packages' bytes are kept (Package).
    void Publish(const std::string& manifestVersion, const std::vector<SiteComponent>& components,
                 const std::function<void(HttpReply&)>& tweak = {});
    // The bytes of a published package.
    const std::string& Package(const std::string& id, const std::string& version) const;

    // A script that records the component as its package would, with vomo-reg: "InstallDir"
    // (its own folder below the site's "apps"), "UninstallPath" (an uninstaller it writes
    // there), and the file "<id>.version" holding `version`. Its process id goes to
    // "<id>.pid" in the site's folder first; `before` runs before anything is written.
    std::string Installer(const std::string& id, const std::string& version,
                          const std::string& before = std::string()) const;

    // "NAME=value ..." for a shell command that runs vcm in the site's environment, with the
    // registry folder `registry` (the site's own when empty).
    std::string Environment(const std::string& registry = std::string()) const;
    // The same as a list for execve.
    std::vector<std::string> EnvironmentList(const std::string& registry = std::string()) const;

    // The install log so far.
    std::string Log() const;
    // Everything left below the temporary folder, folders included.
    std::vector<std::string> LeftInTemp() const;

    LocalHttpServer& Server() { return server_; }
    const TempDir& Dir() const { return dir_; }
    const std::string& Registry() const { return registry_; }
    const std::string& Temp() const { return temp_; }
    std::string LogFile() const { return logs_ + "/install.log"; }

private:
    const std::string vomoReg_;
    TempDir dir_{"vcm-site"};
    std::string registry_;
    std::string logs_;
    std::string temp_;
    std::string roots_;
    LocalHttpServer server_;
    std::vector<std::pair<std::string, std::string>> packages_;  // (id-version, bytes)
};

// Starts `program` with `arguments` and the environment `environment` (nothing else of the
// test's), standard output and standard error to the file `output`; as the user `uid` when it
// is not -1. Its process id.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment, const std::string& output,
                   int uid = -1);
// Waits for a started program: its exit status, or 128 + the signal that ended it.
int WaitForProgram(pid_t pid);

}  // namespace testsupport
