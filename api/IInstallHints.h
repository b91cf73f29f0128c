// Install hints: the pings that tell the installer server about first installs and failures.
#pragma once

#include <string>

namespace vcm {

class IPingSender {
public:
    virtual ~IPingSender() = default;
    // Queues a ping for base URL + "/" + text; true when queued.
    virtual bool SendText(const std::string& text) = 0;
    // Queues the success or failure hint of a component; true when queued.
    virtual bool SendComponentHint(const std::string& componentId, bool failed) = 0;
};

}  // namespace vcm
