// The update check's part of staged rollouts (engine/Rollout.h): a machine outside a release's
// rollout is told of no update for it. Only the check asks; an update run asked for a component
// installs the manifest's version, as an administrator forcing it expects.
#include "api/ComponentManager.h"
#include "engine/Rollout.h"

bool ComponentManager::TakesRelease(vmi::IComponent& component) {
    ComponentRecord record;
    component.GetRecord(record);
    if (rolloutIgnored_ || record.rollout >= kFullRollout) {
        return true;
    }
    uint32_t bucket = 0;
    if (IsMachineInRollout(record.id, record.latestVersion, record.rollout, &bucket)) {
        return true;
    }
    boost::shared_ptr<vmi::IEventLog> log;
    if (engine_->GetEventLog(log) == 0 && log) {
        log->WriteInfo("%s %s is rolled out to %u%% of machines; this machine waits (bucket %u)\n",
                       record.id.c_str(), record.latestVersion.ToString().c_str(),
                       static_cast<unsigned>(record.rollout), static_cast<unsigned>(bucket));
    }
    return false;
}
