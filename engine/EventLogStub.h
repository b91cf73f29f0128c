// The event log the engine starts with: it ignores every call.
#pragma once

#include "engine/IEventLog.h"

class EventLogStub : public vmi::IEventLog {
public:
    void Write(const char*, ...) override {}
    void WriteDebug(const char*, ...) override {}
    void WriteInfo(const char*, ...) override {}
    void WriteWarning(const char*, ...) override {}
    void WriteError(const char*, ...) override {}
};
