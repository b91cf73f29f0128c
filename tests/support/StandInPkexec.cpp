#include "support/StandInPkexec.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "packages/ElevatedLaunch.h"
#include "platform/Elevation.h"

namespace testsupport {

StandInPkexec::StandInPkexec(const std::string& helper, const std::string& body) {
    const char* path = std::getenv("PATH");
    previousPath_ = path ? path : "/usr/bin:/bin";
    if (body.empty()) {
        ::setenv("PATH", dir_.Path().c_str(), 1);
    } else {
        const std::string pkexec = dir_.File("pkexec");
        if (!WriteFile(pkexec, "#!/bin/sh\n" + body + "\n") ||
            RunCommand("chmod 755 " + pkexec) != 0) {
            ADD_FAILURE() << "cannot write the stand-in " << pkexec;
        }
        ::setenv("PATH", (dir_.Path() + ":" + previousPath_).c_str(), 1);
    }
    platform::TakeElevationToolRoadForTests(true);
    elevation::SetHelperPathForTests(helper);
}

StandInPkexec::~StandInPkexec() {
    elevation::SetHelperPathForTests(std::string());
    platform::TakeElevationToolRoadForTests(false);
    ::setenv("PATH", previousPath_.c_str(), 1);
}

}  // namespace testsupport
