// The elevated road of a process without root's rights, shown in tests, which run as root: a
// stand-in for pkexec put first on PATH, the library told to take the elevation tool's road
// anyway (platform/Elevation.h), and the build tree's vcm-elevate as its helper
// (packages/ElevatedLaunch.h). Everything is put back when the object goes.
#pragma once

#include <string>

#include "support/TempDir.h"

namespace testsupport {

class StandInPkexec {
public:
    // The stand-in runs the shell commands `body`, which see pkexec's arguments as "$@" (the
    // default runs them, as pkexec does once authenticated). `helper` is the helper to use.
    // Without a body there is no pkexec on PATH at all.
    StandInPkexec(const std::string& helper, const std::string& body = "exec \"$@\"");
    ~StandInPkexec();
    StandInPkexec(const StandInPkexec&) = delete;
    StandInPkexec& operator=(const StandInPkexec&) = delete;

private:
    TempDir dir_{"vcm-pkexec"};
    std::string previousPath_;
};

}  // namespace testsupport
