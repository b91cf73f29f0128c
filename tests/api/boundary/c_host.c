/* A host written in C: includes the public header, drives every export and checks the codes
 * that do not need a manifest server. The manifest address points at a closed local port.
 *
 * With arguments it drives the library for a caller instead, as a setup program would, and
 * exits with the library's result code (the Windows end-to-end run uses this):
 *   c_host find SPEC...     adds the specs, prints the ids found, one per line
 *   c_host update IDS       installs the components IDS ("id;id;...") */
#include <stdio.h>
#include <string.h>

#include "vcm/vcm.h"

#ifdef _WIN32
/* On Windows the host loads vcm.dll at run time, as setup programs do: with LoadLibraryW, from
 * the folder the host itself was started from, and the six functions by name. */
#include <windows.h>

static int(VCM_CALL* host_initialize)(ComponentManager**);
static int(VCM_CALL* host_add_spec)(ComponentManager*, const char*);
static int(VCM_CALL* host_find)(ComponentManager*, ComponentCallback, StringList*);
static int(VCM_CALL* host_check)(ComponentManager*, const char*, int, ComponentCallback,
                                 StringList*);
static int(VCM_CALL* host_update)(ComponentManager*, const char*);
static void(VCM_CALL* host_shutdown)(ComponentManager*);
#define VCM_Initialize host_initialize
#define VCM_AddSpec host_add_spec
#define VCM_FindComponents host_find
#define VCM_CheckForUpdates host_check
#define VCM_UpdateComponents host_update
#define VCM_Shutdown host_shutdown

static int load_library(void) {
    wchar_t path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    HMODULE library;
    while (length > 0 && path[length - 1] != L'\\') {
        length--;
    }
    if (length == 0 || length >= MAX_PATH) {
        fprintf(stderr, "FAILED: the host's folder cannot be read\n");
        return 0;
    }
    wcscpy(path + length, L"vcm.dll");
    library = LoadLibraryW(path);
    if (!library) {
        fprintf(stderr, "FAILED: LoadLibraryW(vcm.dll): error %lu\n", GetLastError());
        return 0;
    }
    host_initialize =
        (int(VCM_CALL*)(ComponentManager**))(void*)GetProcAddress(library, "VCM_Initialize");
    host_add_spec = (int(VCM_CALL*)(ComponentManager*, const char*))(void*)GetProcAddress(
        library, "VCM_AddSpec");
    host_find = (int(VCM_CALL*)(ComponentManager*, ComponentCallback, StringList*))(
        void*)GetProcAddress(library, "VCM_FindComponents");
    host_check = (int(VCM_CALL*)(ComponentManager*, const char*, int, ComponentCallback,
                                 StringList*))(void*)GetProcAddress(library, "VCM_CheckForUpdates");
    host_update = (int(VCM_CALL*)(ComponentManager*, const char*))(void*)GetProcAddress(
        library, "VCM_UpdateComponents");
    host_shutdown =
        (void(VCM_CALL*)(ComponentManager*))(void*)GetProcAddress(library, "VCM_Shutdown");
    if (!host_initialize || !host_add_spec || !host_find || !host_check || !host_update ||
        !host_shutdown) {
        fprintf(stderr, "FAILED: vcm.dll lacks one of the six functions\n");
        return 0;
    }
    return 1;
}
#else
static int load_library(void) {
    return 1; /* linked */
}
#endif

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

static void print_id(const char* id, StringList* list) {
    (void)list;
    printf("%s\n", id);
}

/* The caller's request: find or update. */
static int drive(int argc, char** argv) {
    ComponentManager* manager = NULL;
    StringList printed;
    int result = 64; /* no result code of the library */
    int i;
    printed.context = NULL;
    printed.clear = NULL;
    if (VCM_Initialize(&manager) != 0 || !manager) {
        fprintf(stderr, "no component manager\n");
        return result;
    }
    if (strcmp(argv[1], "find") == 0) {
        for (i = 2; i < argc; ++i) {
            VCM_AddSpec(manager, argv[i]);
        }
        result = VCM_FindComponents(manager, print_id, &printed);
    } else if (strcmp(argv[1], "update") == 0 && argc == 3) {
        result = VCM_UpdateComponents(manager, argv[2]);
    } else {
        fprintf(stderr, "usage: c_host [find SPEC... | update IDS]\n");
    }
    VCM_Shutdown(manager);
    fflush(stdout);
    return result;
}

int main(int argc, char** argv) {
    ComponentManager* manager = NULL;
    struct host_list mine;
    StringList list;
    StringList no_clear;

    if (!load_library()) {
        return 1;
    }
    if (argc > 1) {
        return drive(argc, argv);
    }
    memset(&mine, 0, sizeof mine);
    list.context = &mine;
    list.clear = host_clear;
    no_clear.context = &mine;
    no_clear.clear = NULL;

    expect(VCM_Initialize(&manager) == 0, "VCM_Initialize returns 0");
    expect(manager != NULL, "VCM_Initialize makes a manager");

    expect(VCM_AddSpec(manager, NULL) == VCM_NO_SPEC, "null spec is 13");
    expect(VCM_AddSpec(manager, "") == VCM_NO_SPEC, "empty spec is 13");
    expect(VCM_AddSpec(manager, "name;role") == 13, "two fields are 13");

    mine.count = 3;
    expect(VCM_FindComponents(manager, host_append, &list) == 13, "no specs is 13");
    expect(mine.clears == 1 && mine.count == 0, "the list is emptied without specs");
    expect(VCM_FindComponents(manager, host_append, &no_clear) == 13, "NULL clear is allowed");

    expect(VCM_AddSpec(manager, ";;") == 0, "two separators are a spec");
    expect(VCM_AddSpec(manager, "name;role;1.0;extra") == 0, "four fields are a spec");
    /* The manifest server is not reachable: preparation fails with 4, the list is emptied and
     * nothing is reported. */
    expect(VCM_FindComponents(manager, host_append, &list) == VCM_DOWNLOAD_FAILED,
           "unreachable manifest is 4");
    expect(mine.clears == 2 && mine.count == 0, "the list is emptied on failure");
    /* The download was started once; later preparations report 8. */
    expect(VCM_CheckForUpdates(manager, "a;b", 1, host_append, &list) == 1,
           "a failed preparation makes the check 1");
    expect(VCM_UpdateComponents(manager, NULL) == VCM_FAILED,
           "a failed preparation makes the update 1");

    VCM_Shutdown(manager);
    VCM_Shutdown(NULL);

    /* The names and meanings of the codes compile into a C89 host. */
    expect(strcmp(VCM_ResultName(VCM_NO_MATCH), "VCM_NO_MATCH") == 0, "the name of 12");
    expect(strcmp(VCM_ResultMeaning(12), "VCM_FindComponents: no spec matched") == 0,
           "the meaning of 12");
    expect(VCM_ResultName(2) == NULL, "2 is not a result of the library");

    if (failures == 0) {
        printf("C host OK\n");
    }
    return failures == 0 ? 0 : 1;
}
