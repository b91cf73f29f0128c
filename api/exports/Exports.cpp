// The six exported functions. None throws to the host and none writes a message; the result
// code is the whole report.
#include <new>
#include <string>
#include <vector>

#include "api/ComponentManager.h"
#include "vcm/vcm.h"

namespace {

// Reported for a failure the result-code table has no row for (an exception, such as memory
// exhaustion, or a null manager): the request did not succeed.
const int kFailed = 1;
const int kSpecRejected = 13;

void EmptyHostList(StringList* list) {
    if (list && list->clear) {
        list->clear(list->context);
    }
}

void Report(const std::vector<std::string>& ids, ComponentCallback callback, StringList* list) {
    if (!callback) {
        return;
    }
    for (const std::string& id : ids) {
        callback(id.c_str(), list);
    }
}

}  // namespace

extern "C" {

VCM_API int VCM_CALL VCM_Initialize(ComponentManager** manager) {
    if (!manager) {
        return 0;
    }
    *manager = nullptr;
    try {
        *manager = new (std::nothrow) ComponentManager();
    } catch (...) {
        *manager = nullptr;
    }
    return 0;
}

VCM_API int VCM_CALL VCM_AddSpec(ComponentManager* manager, const char* spec) {
    if (!manager) {
        return kSpecRejected;
    }
    try {
        const std::vector<std::string> fields = SplitList(spec);
        if (fields.size() < 3) {
            return kSpecRejected;
        }
        SpecRecord record;
        record.name = fields[0];
        record.role = fields[1];
        record.version = fields[2];
        manager->AddSpec(record);
        return 0;
    } catch (...) {
        return kSpecRejected;
    }
}

VCM_API int VCM_CALL VCM_FindComponents(ComponentManager* manager, ComponentCallback callback,
                                        StringList* list) {
    int result = kFailed;
    std::vector<std::string> ids;
    if (manager) {
        try {
            result = manager->FindComponents(ids);
        } catch (...) {
            result = kFailed;
        }
    }
    EmptyHostList(list);
    if (result == 0) {
        Report(ids, callback, list);
    }
    return result;
}

VCM_API int VCM_CALL VCM_CheckForUpdates(ComponentManager* manager, const char* ids, int force,
                                         ComponentCallback callback, StringList* list) {
    int result = kFailed;
    std::vector<std::string> idList;
    if (manager) {
        try {
            idList = SplitList(ids);
            const bool forced = (force & 0xFF) != 0;
            result = manager->CheckForUpdates(idList, forced);
        } catch (...) {
            result = kFailed;
        }
    }
    EmptyHostList(list);
    if (result == 0) {
        Report(idList, callback, list);
    }
    return result;
}

VCM_API int VCM_CALL VCM_UpdateComponents(ComponentManager* manager, const char* ids) {
    if (!manager) {
        return kFailed;
    }
    try {
        return manager->UpdateComponents(SplitList(ids));
    } catch (...) {
        return kFailed;
    }
}

VCM_API void VCM_CALL VCM_Shutdown(ComponentManager* manager) {
    if (!manager) {
        return;
    }
    try {
        delete manager;
    } catch (...) {
        // A destructor that throws leaves nothing the host could act on.
    }
}

}  // extern "C"
