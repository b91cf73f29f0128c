// UninstallTransaction: removes installed components, one after the other in the order given,
// writing a running account to the event log and telling its observer which component it is
// at.
//
// For each component it reads the "UninstallPath" its package recorded. Without one, the
// component is taken to be gone already and only its registry key is removed. Otherwise a copy
// of that uninstaller runs (through the component's package launcher) and, when it succeeds,
// the component's key is removed. The first uninstaller that fails ends the run with the
// launcher's result (6 when the component's package type has no launcher): the components
// before it stay removed, those after it stay installed. A key that cannot be removed ends the
// run with 10 too: a run that leaves a removed component recorded as installed is no success.
// An interrupted run (platform/Interrupt.h) starts no further uninstaller and fails with 10.
// Every failure line carries its reason.
//
// Only after every component was removed, the groups left without members are cleaned up:
// every bundle group none of whose members is still installed loses its key with everything
// below it, and so does every install group that one of the removed components belonged to
// once none of its members is installed any more (the engine would otherwise go on counting
// the group as installed).
//
// Result: 0, or the failing component's result. The restart flag is set when any uninstaller
// asked for a restart, also when a later one failed. The log lines are read by tools, so their
// texts are kept exactly as they are.
//
// Run belongs to one thread (the session's worker); IsRebootRequired may be read by it
// afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/ComponentRecord.h"
#include "engine/IEventLog.h"
#include "registry/IComponentRegistry.h"
#include "sessions/IUninstallTransactionCB.h"

class UninstallTransaction {
public:
    // `records` in removal order; `observer` may be null, `log` too (no lines).
    UninstallTransaction(const std::vector<ComponentRecord>& records,
                         IUninstallTransactionCB* observer,
                         const boost::shared_ptr<vmi::IEventLog>& log);

    uint32_t Run();
    bool IsRebootRequired() const { return rebootRequired_; }

private:
    // Removes one component; 0 or 13 on success, else the failing result.
    uint32_t Remove(const ComponentRecord& record);
    // Removes the component's key; false, with the failure line written, when it stays.
    bool RemoveKey(const std::string& id);
    void RemoveEmptyGroups();

    const std::vector<ComponentRecord> records_;
    IUninstallTransactionCB* const observer_;
    uint32_t index_ = 0;
    bool rebootRequired_ = false;
    bool keyFailed_ = false;  // the failure line of a key that stayed is written already
    const boost::shared_ptr<vmi::IEventLog> log_;
    const boost::shared_ptr<IComponentRegistry> registry_;
};
