// OSUtilities: the host program's directory and the calling thread's last system error.
#pragma once

#include "packages/IOSUtilities.h"

class OSUtilities final : public IOSUtilities {
public:
    // The folder of the running program's executable, as a "file" Url.
    bool GetHostDirectory(Url& directory) override;
    // The text the platform layer recorded with the calling thread's last failure; empty when
    // none was recorded.
    std::string GetLastErrorText() override;
};
