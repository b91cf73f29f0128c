#include "platform/Elevation.h"

#include <atomic>

#include "platform/Environment.h"
#include "platform/WindowsSupport_win32.h"

namespace platform {

namespace {

std::atomic<bool> toolRoadForTests{false};

}  // namespace

bool ElevationGoesThroughTool() {
    return toolRoadForTests.load() || !IsSuperUser();
}

void TakeElevationToolRoadForTests(bool take) {
    toolRoadForTests.store(take);
}

// The shell elevates the program itself; no helper program is involved on Windows.
bool IsSuperUserProgram(const std::string& path) {
    win32::RecordError(ERROR_NOT_SUPPORTED, "no elevation helper is used: " + path);
    return false;
}

}  // namespace platform
