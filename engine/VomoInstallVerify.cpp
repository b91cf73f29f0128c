// Verification of the downloaded manifest cabinet and extraction of the manifest.
#include "engine/VomoInstallImpl.h"

// Placeholder until signature verification lands: no cabinet is trusted.
uint32_t VomoInstallImpl::VerifyAndExtractManifest() { return 18; }
