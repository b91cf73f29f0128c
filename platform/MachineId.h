// The identity of this machine as one application sees it, and new random identities.
//
// An application-specific id is derived from the machine's own id with a key of the
// application, so that it identifies the machine to that application only: two applications
// learn unrelated ids, and the machine's own id cannot be computed back from either. On Linux
// the machine's id is /etc/machine-id and the derivation is systemd's
// sd_id128_get_machine_app_specific (an HMAC-SHA256 keyed with the machine id). A system
// without a machine id (a container image, a freshly installed system before its first boot)
// has none to give.
//
// Where a second backend differs: on Windows the machine's id is the MachineGuid value of
// HKLM\SOFTWARE\Microsoft\Cryptography (its 64-bit view), and the derivation is HMAC-SHA256
// keyed with that text over the application key, cut to 128 bits, as systemd does it; random
// ids come from BCryptGenRandom.
//
// Ids are texts of 32 lower-case hexadecimal digits. Every function may run on several threads
// at once.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The application key: 16 bytes.
struct AppKey {
    uint8_t bytes[16];
};

// The machine's id as the application of `key` sees it. False, with the last error recorded and
// `id` untouched, when the system keeps no machine id or it cannot be read.
bool MachineAppSpecificId(const AppKey& key, std::string& id);

// A new random 128-bit id from the system's random source. False, with the last error recorded
// and `id` untouched, when the source fails.
bool NewRandomId(std::string& id);

}  // namespace platform
