// A worker session (install, uninstall, update) polled by its caller.
#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "engine/IComponent.h"

namespace vmi {

class IInstallSession {
public:
    virtual ~IInstallSession() = default;
    // Position, total and state of the run; always 0.
    virtual uint32_t GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) = 0;
    virtual uint32_t GetCurrentComponent(ComponentPtr& component) = 0;
    virtual uint32_t Cancel() = 0;
    virtual uint32_t GetCurrentComponentText(std::string& text) = 0;
    virtual uint32_t GetStatusText(const std::string& phase, std::string& text) = 0;
    virtual bool IsRebootRequired() = 0;
};

// The session of a hot-fix run.
class IHotFixSession {
public:
    virtual ~IHotFixSession() = default;
    virtual uint32_t GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) = 0;
    virtual bool IsRebootRequired() = 0;
};

}  // namespace vmi
