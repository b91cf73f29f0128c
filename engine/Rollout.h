// Staged rollouts: a release that reaches a share of the machines first.
//
// A component's latestVersion may carry a rollout percentage, 0 to 100. Each machine has a
// bucket, 0 to 99, for each release (component id and version), drawn from a hash of the
// machine's rollout id, the component id and the version; the machine takes the release when
// its bucket is below the percentage. The bucket does not depend on the percentage, so a
// machine that took a release at 10% still takes it at 50%, and one that waited at 50% may
// take it at 60%; a new version draws new buckets, so that the same machines are not always
// the first. 0 pauses a rollout, 100 (or no percentage at all) is every machine.
//
// The machine's rollout id is its application-specific machine id (MachineId.h). A machine
// whose system keeps no machine id uses a random id kept in the machine part of the registry
// (value "RolloutMachineId" of SOFTWARE\Vomo\Install\Setup), made on first use; where that
// cannot be written either (a user without rights to it), the random id holds for the process.
//
// Every function may run on several threads at once.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Version.h"

// The percentage of a release that every machine takes.
const uint32_t kFullRollout = 100;

// A rollout percentage as the manifest writes it: decimal digits only (no sign, blank or
// fraction), 0 to 100. False, with `percent` untouched, for any other text.
bool ParseRolloutPercent(const std::string& text, uint32_t& percent);

// The bucket, 0 to 99, of the machine `machineId` for `version` of the component `componentId`.
uint32_t RolloutBucket(const std::string& machineId, const std::string& componentId,
                       const Version& version);

// This machine's rollout id (see above); computed once per process.
std::string MachineRolloutId();

// Whether this machine takes `version` of `componentId` at `percent`; `bucket`, when given,
// receives the machine's bucket.
bool IsMachineInRollout(const std::string& componentId, const Version& version, uint32_t percent,
                        uint32_t* bucket = nullptr);
