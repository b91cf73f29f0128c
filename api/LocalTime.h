#pragma once

#include "api/ITime.h"

namespace vcm {

// The local time of the current 64-bit time value, in a buffer of the calling thread.
class LocalTime : public ITime {
public:
    struct tm* Now() override;
};

}  // namespace vcm
