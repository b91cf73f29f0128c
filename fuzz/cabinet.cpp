// libFuzzer target: the cabinet reader (headers, folders, file records) and the decompressors
// behind it, through our own input and output layer, over arbitrary bytes held in memory.
// Output is discarded and capped, so that a small input cannot keep one run busy for long.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Cabinet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<platform::CabinetMember> members;
    platform::ScanCabinetBuffer(data, size, 4 * 1024 * 1024, members);
    return 0;
}
