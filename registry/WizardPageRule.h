// The placement of one installer wizard page.
#pragma once

#include <cstdint>
#include <string>

struct WizardPageRule {
    std::string pageId;
    std::string insertAfterId;
    std::string ruleToApply;
    uint32_t pageOrder = 0;  // given only when read from the registry
};
