#include "engine/Rollout.h"

#include <mutex>

#include "platform/MachineId.h"
#include "platform/Sha256.h"
#include "settings/InstallerSettingsImpl.h"

namespace {

const uint32_t kBuckets = 100;

// The key of this application's machine id: a constant of the component manager, so that
// its machine id tells nothing about the machine to anybody else.
const platform::AppKey kAppKey = {{0xfa, 0xe8, 0x16, 0x50, 0xf3, 0x8c, 0x45, 0xf1, 0x92, 0xa8, 0x61,
                                   0xd7, 0x6e, 0xbc, 0x19, 0xd}};

const char kSetupKey[] = "Setup";
const char kStoredIdValue[] = "RolloutMachineId";

bool IsIdText(const std::string& text) {
    if (text.size() != 32) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// The id kept in the machine hive, made and stored when there is none.
std::string StoredMachineId() {
    InstallerSettingsImpl settings;
    std::string id;
    if (settings.GetString(kSetupKey, kStoredIdValue, id) && IsIdText(id)) {
        return id;
    }
    if (!platform::NewRandomId(id)) {
        return std::string();  // every such machine then shares the buckets of the empty id
    }
    settings.SetString(kSetupKey, kStoredIdValue, id);
    return id;
}

}  // namespace

bool ParseRolloutPercent(const std::string& text, uint32_t& percent) {
    if (text.empty() || text.size() > 3) {
        return false;
    }
    uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > kFullRollout) {
        return false;
    }
    percent = value;
    return true;
}

uint32_t RolloutBucket(const std::string& machineId, const std::string& componentId,
                       const Version& version) {
    std::string input = machineId;
    input += '\0';
    input += componentId;
    input += '\0';
    input += version.ToString();
    const std::string digest = platform::Sha256(input);
    if (digest.size() < 8) {
        return kBuckets - 1;  // no digest: the last bucket, which only a full rollout reaches
    }
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value = (value << 8) | static_cast<unsigned char>(digest[static_cast<size_t>(i)]);
    }
    return static_cast<uint32_t>(value % kBuckets);
}

std::string MachineRolloutId() {
    static std::mutex mutex;
    static std::string id;
    static bool known = false;
    std::lock_guard<std::mutex> lock(mutex);
    if (!known) {
        if (!platform::MachineAppSpecificId(kAppKey, id)) {
            id = StoredMachineId();
        }
        known = true;
    }
    return id;
}

bool IsMachineInRollout(const std::string& componentId, const Version& version, uint32_t percent,
                        uint32_t* bucket) {
    const uint32_t drawn = RolloutBucket(MachineRolloutId(), componentId, version);
    if (bucket) {
        *bucket = drawn;
    }
    return drawn < percent;  // every bucket is below 100
}
