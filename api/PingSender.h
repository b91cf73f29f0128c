#pragma once

#include "api/IPingSender.h"

namespace vcm {

// Sends install hints through a ping manager it owns.
class PingSender : public IPingSender {
public:
    PingSender();
    ~PingSender() override;
    bool SendText(const std::string& text) override;
    bool SendComponentHint(const std::string& componentId, bool failed) override;
};

}  // namespace vcm
