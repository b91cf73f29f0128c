// The addresses built into the library, each replaced at run time by an environment variable
// when that is set and not empty: VOMO_MANIFEST_URL for the manifest cabinet and
// VOMO_INSTALLER_URL for the installer server's base URL (no trailing "/").
#pragma once

#include <string>

namespace vcm {

std::string ManifestUrlText();
std::string InstallerBaseUrlText();

}  // namespace vcm
