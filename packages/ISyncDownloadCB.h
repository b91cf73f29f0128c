#pragma once

#include <cstdint>
#include <string>

// Observer of a download's progress. Answering false asks the transfer to stop.
class ISyncDownloadCB {
public:
    virtual ~ISyncDownloadCB() = default;
    // Bytes so far, total bytes (0 when unknown), state (always 2 from a transfer), status text.
    virtual bool OnProgress(uint32_t progress, uint32_t progressMax, uint32_t state,
                            const std::string& statusText) = 0;
};
