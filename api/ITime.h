// The component manager's clock.
#pragma once

#include <ctime>

namespace vcm {

class ITime {
public:
    virtual ~ITime() = default;
    // The current local time, broken down (month 0 to 11, years since 1900). The buffer belongs
    // to the calling thread and is overwritten by its next call; callers may change its fields
    // but must not keep the pointer.
    virtual struct tm* Now() = 0;
};

}  // namespace vcm
