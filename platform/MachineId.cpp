#include "platform/MachineId.h"

#include <systemd/sd-id128.h>

#include <cstring>

#include "platform/LastError.h"

namespace platform {

namespace {

std::string Text(sd_id128_t id) {
    char text[SD_ID128_STRING_MAX];
    return sd_id128_to_string(id, text);
}

}  // namespace

bool MachineAppSpecificId(const AppKey& key, std::string& id) {
    sd_id128_t app;
    std::memcpy(app.bytes, key.bytes, sizeof app.bytes);
    sd_id128_t derived;
    const int result = sd_id128_get_machine_app_specific(app, &derived);
    if (result < 0) {
        SetLastError(static_cast<uint32_t>(-result),
                     std::string("no machine id: ") + std::strerror(-result));
        return false;
    }
    id = Text(derived);
    return true;
}

bool NewRandomId(std::string& id) {
    sd_id128_t random;
    const int result = sd_id128_randomize(&random);
    if (result < 0) {
        SetLastError(static_cast<uint32_t>(-result),
                     std::string("no random id: ") + std::strerror(-result));
        return false;
    }
    id = Text(random);
    return true;
}

}  // namespace platform
