/*
 * A minimal host of the Vomo component manager: finds the components that offer the specs given
 * on the command line ("name;role;version"), checks them for updates and prints what it learns.
 *
 * Build against an installed library either way:
 *   cc minimal_host.c $(pkg-config --cflags --libs vcm) -o minimal_host
 *   cmake -S . -B build && cmake --build build      (find_package(vcm), target vcm::vcm)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vcm/vcm.h>

/* The host's own list of ids, filled through the callback. */
struct Ids {
    char text[4096];
};

static void ClearIds(void* context) {
    ((struct Ids*)context)->text[0] = '\0';
}

static void AppendId(const char* id, StringList* list) {
    struct Ids* ids = (struct Ids*)list->context;
    size_t used = strlen(ids->text);
    snprintf(ids->text + used, sizeof ids->text - used, "%s%s", used ? ";" : "", id);
}

int main(int argc, char** argv) {
    ComponentManager* manager = NULL;
    struct Ids ids;
    StringList list;
    int i, result;

    printf("vcm.h %d.%d.%d\n", VCM_VERSION_MAJOR, VCM_VERSION_MINOR, VCM_VERSION_PATCH);
    VCM_Initialize(&manager);
    if (manager == NULL) {
        fprintf(stderr, "no component manager\n");
        return 2;
    }
    for (i = 1; i < argc; ++i) {
        if (VCM_AddSpec(manager, argv[i]) != 0) {
            fprintf(stderr, "not a spec: %s\n", argv[i]);
        }
    }
    ids.text[0] = '\0';
    list.context = &ids;
    list.clear = ClearIds;
    result = VCM_FindComponents(manager, AppendId, &list);
    printf("find: %d [%s]\n", result, ids.text);
    if (result == 0) {
        char found[sizeof ids.text];
        strcpy(found, ids.text);
        result = VCM_CheckForUpdates(manager, found, 1, AppendId, &list);
        printf("check: %d [%s]\n", result, ids.text);
    }
    VCM_Shutdown(manager);
    return result;
}
