#include "api/LocalTime.h"

#include "platform/Clock.h"

namespace vcm {

struct tm* LocalTime::Now() {
    static thread_local struct tm buffer;
    platform::LocalTimeOf(platform::CurrentTime(), buffer);
    return &buffer;
}

}  // namespace vcm
