#include "platform/Elevation.h"

#include <atomic>

#include "platform/Environment.h"

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

}  // namespace platform
