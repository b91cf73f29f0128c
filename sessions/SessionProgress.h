// The progress numbers sessions report: position and total as 32-bit numbers, computed in 64
// bits and, when the total would not fit, scaled down together, so that a long run's bar still
// rises instead of wrapping round.
#pragma once

#include <cstdint>
#include <limits>

inline void ScaleProgress(uint64_t position, uint64_t total, uint32_t& outPosition,
                          uint32_t& outTotal) {
    while (total > std::numeric_limits<uint32_t>::max()) {
        position >>= 1;
        total >>= 1;
    }
    outPosition = static_cast<uint32_t>(position);
    outTotal = static_cast<uint32_t>(total);
}

// The position and total while package `index` of `parts` downloads `progress` of `progressMax`
// bytes (`index` of `parts` when the size is unknown).
inline void DownloadProgress(uint32_t progress, uint32_t progressMax, uint32_t index,
                             uint64_t parts, uint32_t& outPosition, uint32_t& outTotal) {
    if (progressMax > 0) {
        ScaleProgress(static_cast<uint64_t>(index) * progressMax + progress, parts * progressMax,
                      outPosition, outTotal);
    } else {
        ScaleProgress(index, parts, outPosition, outTotal);
    }
}
