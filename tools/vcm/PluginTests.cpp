#include "tools/vcm/PluginTests.h"

#include <systemd/sd-id128.h>

#include <openssl/sha.h>

#include "platform/AsciiCase.h"

namespace vcmtool {

namespace {

const uint32_t kSampleSize = 100;

// The application id under which the machine id is read, so that the positions of this
// program's tests say nothing about the machine id itself or about other programs' draws.
const sd_id128_t kPluginTestsApp =
    SD_ID128_MAKE(6f, 2b, 41, 0e, 9c, 75, 4d, 3a, 8e, 1f, 57, c0, d2, 64, 93, b8);

bool SupportsLanguage(const PluginTestRecord& test, const std::string& language) {
    if (test.supportedLanguages.empty()) {
        return true;
    }
    for (const std::string& supported : test.supportedLanguages) {
        if (platform::AsciiEqualNoCase(supported, language)) {
            return true;
        }
    }
    return false;
}

bool Passes(const PluginTestRecord& test, const std::string& language,
            SamplePosition samplePosition) {
    if (!test.status || !SupportsLanguage(test, language)) {
        return false;
    }
    uint32_t position = 0;
    if (!samplePosition(test.trackingId.empty() ? test.id : test.trackingId, position)) {
        // Without a position only a test that takes every machine can hold this one; its
        // control group is then out of reach, and the machine is kept out of the offer.
        return test.testPercentage >= kSampleSize && !test.control;
    }
    if (position >= test.testPercentage) {
        return false;
    }
    return !test.control || position >= test.testPercentage / 2;
}

}  // namespace

bool MachineSamplePosition(const std::string& testKey, uint32_t& position) {
    sd_id128_t machine;
    if (sd_id128_get_machine_app_specific(kPluginTestsApp, &machine) < 0) {
        return false;
    }
    const std::string input =
        std::string(reinterpret_cast<const char*>(machine.bytes), sizeof machine.bytes) + testKey;
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(input.data()), input.size(), digest);
    const uint32_t value = (static_cast<uint32_t>(digest[0]) << 24) |
                           (static_cast<uint32_t>(digest[1]) << 16) |
                           (static_cast<uint32_t>(digest[2]) << 8) | digest[3];
    position = value % kSampleSize;
    return true;
}

bool PassesPluginTests(const PluginRecord& plugin, const std::string& language,
                       SamplePosition position) {
    if (!plugin.testsEnabled) {
        return true;
    }
    if (plugin.testIds.empty()) {
        return false;
    }
    for (const std::string& id : plugin.testIds) {
        const PluginTestRecord* test = nullptr;
        for (const PluginTestPtr& candidate : plugin.tests) {
            if (candidate && candidate->id == id) {
                test = candidate.get();
                break;
            }
        }
        if (!test || !Passes(*test, language, position)) {
            return false;
        }
    }
    return true;
}

}  // namespace vcmtool
