// Whether a plug-in of the bundle is offered on this machine: the decision a setup program
// takes over the plug-in tests the manifest carries (the library only carries them).
//
// A plug-in whose tests are not enabled is offered. A plug-in whose tests are enabled is
// offered only when it names at least one test and passes every test it names. A test passes
// when
// - the manifest defines it and it is switched on: a test that is off, or that the manifest
//   does not define, runs no experiment, and a plug-in held to its tests is then not offered;
// - it supports the user-interface language: its list of languages is empty or holds the
//   language (letter case aside);
// - it takes this machine into its sample: the machine's position in the test, a number from 0
//   to 99 drawn from the machine id and the test's tracking id (its id when it has none), is
//   below the test's percentage. The same machine keeps its position in a test from one run to
//   the next; a machine without a machine id is in the sample only of a test of 100 percent;
// - and, for a test with a control group (testControl), the machine is not in that group: the
//   lower half of the sample is the control group, which is not offered the plug-in, so that
//   what the offer changes can be measured against it.
#pragma once

#include <cstdint>
#include <string>

#include "offers/PluginRecord.h"

namespace vcmtool {

// The machine's position (0 to 99) in the sample of the test whose key is `testKey`; false
// when the machine has no machine id.
typedef bool (*SamplePosition)(const std::string& testKey, uint32_t& position);

// The position drawn from the machine id (/etc/machine-id, through libsystemd).
bool MachineSamplePosition(const std::string& testKey, uint32_t& position);

// Whether `plugin` is offered on this machine, for the user-interface language `language`.
bool PassesPluginTests(const PluginRecord& plugin, const std::string& language,
                       SamplePosition position = MachineSamplePosition);

}  // namespace vcmtool
