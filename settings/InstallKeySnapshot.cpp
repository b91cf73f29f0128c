#include "settings/InstallKeySnapshot.h"

#include <vector>

#include "platform/Registry.h"
#include "platform/RegistryNames.h"
#include "settings/ScopedRegistry.h"
#include "settings/SettingsText.h"

namespace vmds {

namespace {

thread_local InstallKeySnapshot* gCurrent = nullptr;

const char16_t kInstallKey[] = u"SOFTWARE\\Vomo\\Install";

}  // namespace

InstallKeySnapshot::InstallKeySnapshot() : previous_(gCurrent) {
    gCurrent = this;
    ScopedLMKey key;
    const uint32_t opened =
        platform::RegOpenKeyExW(platform::kHKeyLocalMachine, kInstallKey, 0,
                                platform::kKeyRead | platform::kKeyWow64_64Key, key.Receive());
    if (opened == platform::kErrorFileNotFound) {
        valid_ = true;  // no install area: no key at all
        return;
    }
    uint32_t count = 0;
    uint32_t longest = 0;
    if (opened != 0 ||
        platform::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr) != 0) {
        return;
    }
    std::vector<char16_t> name(longest + 1);
    for (uint32_t index = 0;; ++index) {
        uint32_t length = static_cast<uint32_t>(name.size());
        const uint32_t rc = platform::RegEnumKeyExW(key.Get(), index, name.data(), &length, nullptr,
                                                    nullptr, nullptr, nullptr);
        if (rc == platform::kErrorNoMoreItems) {
            break;
        }
        if (rc != 0) {
            folded_.clear();
            return;  // a name that cannot be read (or one added meanwhile): no snapshot
        }
        folded_.insert(platform::regnames::Fold(std::u16string(name.data(), length)));
    }
    // Keys added or removed meanwhile may have moved others past the enumeration: no snapshot.
    uint32_t after = 0;
    if (platform::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &after, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr) != 0 ||
        after != count || folded_.size() != count) {
        folded_.clear();
        return;
    }
    valid_ = true;
}

InstallKeySnapshot::~InstallKeySnapshot() {
    gCurrent = previous_;
}

bool InstallKeySnapshot::KnownMissing(const std::string& key) {
    const InstallKeySnapshot* snapshot = gCurrent;
    if (!snapshot || !snapshot->valid_ || key.find_first_of("/\\") != std::string::npos) {
        return false;
    }
    std::u16string wide;
    if (!Utf8ToUtf16(key, wide) || wide.empty()) {
        return false;  // left to the read itself
    }
    return snapshot->folded_.count(platform::regnames::Fold(wide)) == 0;
}

}  // namespace vmds
