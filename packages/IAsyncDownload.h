#pragma once

#include <cstdint>
#include <string>

// A download running on a worker thread of its own, polled for its last progress report.
// States: 1 pending, 2 transferring, 3 finished with the file complete, 4 failed or cancelled;
// in state 4 the status text says why (an HTTP status, a time-out, the size cap, "cancelled").
// Any thread may poll.
class IAsyncDownload {
public:
    virtual ~IAsyncDownload() = default;
    virtual void GetStatus(uint32_t& progress, uint32_t& progressMax, uint32_t& state,
                           std::string& statusText) = 0;
    virtual void Cancel() = 0;
};
