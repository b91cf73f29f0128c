// A private folder of vomo-dist's own in the system temporary directory, removed with
// everything in it when the object goes.
#pragma once

#include <string>

#include "platform/TempFile.h"

class WorkFolder {
public:
    WorkFolder() {
        if (!platform::MakePrivateDirectory("vomo-dist-", path_)) {
            path_.clear();
        }
    }
    ~WorkFolder() {
        if (!path_.empty()) {
            platform::RemovePrivateDirectory(path_);
        }
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // Empty when the folder could not be made (the last error says why).
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
