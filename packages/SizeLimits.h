// The most a download or an extraction may write. A server, or anyone between it and us (the
// manifest's address is plain http), could otherwise fill the temporary folder, and with it
// the memory when that folder lives in RAM. A transfer or an extraction that passes its cap
// fails and leaves no file.
#pragma once

#include <cstdint>

// A component's installer package, downloaded or extracted from its cabinet.
const uint64_t kPackageMaxBytes = 4ull << 30;
// The signed manifest cabinet as downloaded.
const uint64_t kManifestCabinetMaxBytes = 64ull << 20;
// The manifest extracted from that cabinet.
const uint64_t kManifestMaxBytes = 64ull << 20;
