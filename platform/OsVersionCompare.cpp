#include "platform/OsVersion.h"

// The comparison both backends' version checks share; no system call.

namespace platform {

bool CompareVersion(uint32_t runMajor, uint32_t runMinor, uint32_t major, uint32_t minor,
                    uint32_t condition) {
    const int order = runMajor != major   ? (runMajor < major ? -1 : 1)
                      : runMinor != minor ? (runMinor < minor ? -1 : 1)
                                          : 0;
    switch (condition) {
        case kVersionEqual:
            return order == 0;
        case kVersionGreater:
            return order > 0;
        case kVersionGreaterEqual:
            return order >= 0;
        case kVersionLess:
            return order < 0;
        case kVersionLessEqual:
            return order <= 0;
        default:
            return false;
    }
}

}  // namespace platform
