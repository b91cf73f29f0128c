#include "platform/Elevation.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>

#include "platform/Environment.h"
#include "platform/LastError.h"

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

bool IsSuperUserProgram(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) {
        SetLastError(errno, "the elevation helper \"" + path + "\" is missing");
        return false;
    }
    if (!S_ISREG(info.st_mode) || (info.st_mode & S_IXUSR) == 0) {
        SetLastError(EACCES, "the elevation helper \"" + path + "\" is not a program");
        return false;
    }
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        SetLastError(EACCES, "the elevation helper \"" + path +
                                 "\" may be changed by users other than root");
        return false;
    }
    return true;
}

}  // namespace platform
