// A host as small as a setuid or setcap program could be: it prints what the library takes from
// the environment (addresses, registry and log places, the temporary folder) and whether the
// signed file given as its argument is trusted, one "name=value" line each.
#include <cstdio>
#include <string>

#include "api/Addresses.h"
#include "platform/LogFile.h"
#include "platform/RegistryHive.h"
#include "platform/TempFile.h"
#include "platform/Trust.h"

int main(int argc, char** argv) {
    std::string tmp;
    if (!platform::GetTempDirectory(tmp)) {
        tmp = "refused";
    }
    std::printf("manifest=%s\n", vcm::ManifestUrlText().c_str());
    std::printf("installer=%s\n", vcm::InstallerBaseUrlText().c_str());
    std::printf("machine=%s\n",
                platform::reghive::HiveFile(platform::reghive::Hive::Machine).c_str());
    std::printf("user=%s\n", platform::reghive::HiveFile(platform::reghive::Hive::User).c_str());
    std::printf("log=%s\n", platform::InstallLogPath().c_str());
    std::printf("tmp=%s\n", tmp.c_str());
    if (argc > 1) {
        std::printf("trust=%s\n", platform::VerifyFileTrust(argv[1]) == platform::kTrustOk
                                      ? "trusted"
                                      : "refused");
    }
    return 0;
}
