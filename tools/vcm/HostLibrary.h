// The library as vcm loads it: with dlopen, as a setup program or an updater would, so that what
// vcm shows is what any host gets. Resolves the six exported functions and gives the host's list
// behind StringList.
#pragma once

#include <string>
#include <vector>

#include "vcm/vcm.h"

namespace vcmtool {

// The six functions of a loaded library. `handle` is dlopen's; null until Load succeeds.
struct Library {
    void* handle = nullptr;
    int (*initialize)(ComponentManager**) = nullptr;
    int (*addSpec)(ComponentManager*, const char*) = nullptr;
    int (*findComponents)(ComponentManager*, ComponentCallback, StringList*) = nullptr;
    int (*checkForUpdates)(ComponentManager*, const char*, int, ComponentCallback,
                           StringList*) = nullptr;
    int (*updateComponents)(ComponentManager*, const char*) = nullptr;
    void (*shutdown)(ComponentManager*) = nullptr;
};

// The library this program was built with: its SONAME in the installed tree's library folder,
// in the build tree's lib folder, beside the program, else wherever the dynamic loader finds it.
std::string DefaultLibraryPath();

// Loads the library at `path` and resolves the six functions; on failure prints why on standard
// error and returns false.
bool Load(const std::string& path, Library& library);

// Closes a library Load opened.
void Unload(Library& library);

// A StringList whose context is a std::vector<std::string> that the callback below fills.
void ClearIds(void* context);
void AppendId(const char* id, StringList* list);

}  // namespace vcmtool
