/* A host written in C: includes the public header, drives every export and checks the codes
 * that do not need a manifest server. The manifest address points at a closed local port. */
#include <stdio.h>
#include <string.h>

#include "vcm/vcm.h"

struct host_list {
    int clears;
    int count;
    char ids[8][64];
};

static void host_clear(void* context) {
    struct host_list* list = (struct host_list*)context;
    list->clears++;
    list->count = 0;
}

static void host_append(const char* id, StringList* list) {
    struct host_list* mine = (struct host_list*)list->context;
    if (mine->count < 8) {
        strncpy(mine->ids[mine->count], id, 63);
        mine->ids[mine->count][63] = '\0';
        mine->count++;
    }
}

static int failures = 0;

static void expect(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "FAILED: %s\n", what);
        failures++;
    }
}

int main(void) {
    ComponentManager* manager = NULL;
    struct host_list mine;
    StringList list;
    StringList no_clear;

    memset(&mine, 0, sizeof mine);
    list.context = &mine;
    list.clear = host_clear;
    no_clear.context = &mine;
    no_clear.clear = NULL;

    expect(VCM_Initialize(&manager) == 0, "VCM_Initialize returns 0");
    expect(manager != NULL, "VCM_Initialize makes a manager");

    expect(VCM_AddSpec(manager, NULL) == 13, "null spec is 13");
    expect(VCM_AddSpec(manager, "") == 13, "empty spec is 13");
    expect(VCM_AddSpec(manager, "name;role") == 13, "two fields are 13");

    mine.count = 3;
    expect(VCM_FindComponents(manager, host_append, &list) == 13, "no specs is 13");
    expect(mine.clears == 1 && mine.count == 0, "the list is emptied without specs");
    expect(VCM_FindComponents(manager, host_append, &no_clear) == 13, "NULL clear is allowed");

    expect(VCM_AddSpec(manager, ";;") == 0, "two separators are a spec");
    expect(VCM_AddSpec(manager, "name;role;1.0;extra") == 0, "four fields are a spec");
    /* The manifest server is not reachable: preparation fails with 4, the list is emptied and
     * nothing is reported. */
    expect(VCM_FindComponents(manager, host_append, &list) == 4, "unreachable manifest is 4");
    expect(mine.clears == 2 && mine.count == 0, "the list is emptied on failure");
    /* The download was started once; later preparations report 8. */
    expect(VCM_CheckForUpdates(manager, "a;b", 1, host_append, &list) == 1,
           "a failed preparation makes the check 1");
    expect(VCM_UpdateComponents(manager, NULL) == 1, "a failed preparation makes the update 1");

    VCM_Shutdown(manager);
    VCM_Shutdown(NULL);

    if (failures == 0) {
        printf("C host OK\n");
    }
    return failures == 0 ? 0 : 1;
}
