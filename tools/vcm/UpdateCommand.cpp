#include "tools/vcm/UpdateCommand.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "api/ControlCharacters.h"
#include "platform/LogFile.h"
#include "tools/vcm/ListCommand.h"
#include "tools/vcm/Progress.h"
#include "vcm/vcm.h"

namespace vcmtool {

namespace {

std::vector<std::string> Split(const std::string& ids) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = ids.find(';', start);
        fields.push_back(ids.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return fields;
        }
        start = end + 1;
    }
}

std::string Join(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) {
        text += (text.empty() ? "" : ";") + id;
    }
    return text;
}

}  // namespace

int Update(const Library& library, ComponentManager* manager, const std::string& ids, bool verbose,
           Outcome& outcome) {
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    int result = 0;
    {
        UpdateProgress progress(Split(ids), terminal, terminal || verbose, stderr,
                                platform::InstallLogPath());
        result = library.updateComponents(manager, ids.c_str());
    }
    outcome.details["ids"] = result == 0 ? Split(ids) : std::vector<std::string>();
    return result;
}

int UpdateDue(const Library& library, ComponentManager* manager, bool verbose, Outcome& outcome) {
    const std::vector<std::string> installed = InstalledIds();
    std::vector<std::string> updates;
    for (const std::string& id : installed) {
        std::vector<std::string> found;
        StringList list;
        list.context = &found;
        list.clear = ClearIds;
        const int checked = library.checkForUpdates(manager, id.c_str(), 0, AppendId, &list);
        if (checked == VCM_NOTHING_DUE) {
            continue;
        }
        if (checked == VCM_UNKNOWN_COMPONENT) {
            std::fprintf(stderr, "vcm: %s is not a component of the manifest; left as it is\n",
                         vcm::EscapeControlCharacters(id).c_str());
            continue;
        }
        if (checked != VCM_OK) {
            return checked;  // the manifest could not be prepared
        }
        updates.insert(updates.end(), found.begin(), found.end());
    }
    outcome.details["due"] = true;
    outcome.details["checked"] = installed;
    outcome.details["updates"] = updates;
    if (updates.empty()) {
        return 0;
    }
    Outcome run(outcome.command);
    const int result = Update(library, manager, Join(updates), verbose, run);
    if (result == 0) {
        outcome.ids = updates;
    }
    return result;
}

}  // namespace vcmtool
