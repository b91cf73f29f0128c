/*
 * vcm.h - the interface of the Vomo component manager library (libvcm.so; vcm.dll on Windows).
 *
 * A host program (a setup program or an updater) loads the library and drives it through six
 * functions, in this order:
 *
 *   VCM_Initialize          once, to create a manager;
 *   VCM_AddSpec             any number of times;
 *   VCM_FindComponents, VCM_CheckForUpdates, VCM_UpdateComponents
 *                           in any order, as often as needed;
 *   VCM_Shutdown            once, to destroy the manager.
 *
 * The first request that needs the catalogue downloads the signed manifest cabinet, verifies
 * its signature, extracts and parses it; later requests reuse it.
 *
 * Old manifests are refused. The library records the highest manifest version it accepted on
 * the machine (value "HighestManifestVersion" of SOFTWARE\Vomo\Install\Setup in the machine
 * part of the registry) and refuses a manifest whose version is lower, however well signed,
 * so that nobody can keep a machine on old versions by serving it an old manifest: the
 * preparation then fails as on a bad signature (1). An equal version is accepted; a manifest
 * without a valid version is refused too once a version was recorded, and judged by its
 * signature alone before that. A process that may not write the machine part records nothing,
 * and its manifests are judged by their signatures. To withdraw a manifest, publish one with a
 * higher version.
 *
 * Ownership. The manager belongs to the library: create it with VCM_Initialize and give it
 * back with VCM_Shutdown, never free it yourself. Texts passed in are read during the call only
 * and stay the host's. Results are reported through a host-owned StringList: the library
 * empties it by calling its clear function (when not NULL), then calls the host's callback once
 * per reported id with that same StringList pointer; the host appends to its own list through
 * `context`. The id text passed to the callback is valid only during the callback; copy it.
 *
 * Threads. Every function runs on the calling thread and blocks it while it works (downloads
 * and updates poll every 10 ms); callbacks run on that thread before the function returns.
 * One manager must be used by one thread at a time. The library runs worker threads of its own
 * (downloads, update sessions, pings); VCM_Shutdown waits for them.
 *
 * Result codes (0 is success):
 *   1  the manifest could not be prepared (missing manager member, no download started,
 *      signature check or extraction failed; CheckForUpdates and UpdateComponents report every
 *      preparation failure as 1), or the update run failed
 *   4  no temporary file for the manifest download, or the download failed (a manifest
 *      cabinet larger than 64 MiB fails too)
 *   5  the manifest file could not be opened
 *   6  the manifest XML could not be parsed
 *   7  the update session could not be created
 *   8  a manifest download had already been started by an earlier, failed preparation
 *   9  nothing to check: update checks are switched off, or no listed component is due
 *   11 a listed id is not a component of the manifest
 *   12 no spec matched
 *   13 VCM_AddSpec: fewer than three fields; VCM_FindComponents: no specs were added
 *   14 no exact match, but a spec is offered in a greater version
 */
#ifndef VCM_VCM_H
#define VCM_VCM_H

/* The version of this interface and of the library built with it. The library's file name
 * carries the major version (libvcm.so.1); a new major version is a new, incompatible interface. */
#define VCM_VERSION_MAJOR 1
#define VCM_VERSION_MINOR 0
#define VCM_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* vcm.dll exports the six functions by their plain names with the C calling convention. */
#if defined(VCM_BUILDING_LIBRARY)
#define VCM_API __declspec(dllexport)
#else
#define VCM_API __declspec(dllimport)
#endif
#define VCM_CALL __cdecl
#else
#define VCM_API __attribute__((visibility("default")))
#define VCM_CALL
#endif

/* A list of texts owned by the host. */
typedef struct StringList {
    void* context;                /* the host's own list */
    void (*clear)(void* context); /* empties it; NULL: nothing to empty */
} StringList;

/* Called once per reported component id, with the host's list. */
typedef void (*ComponentCallback)(const char* id, StringList* list);

/* The manager; opaque to the host. */
typedef struct ComponentManager ComponentManager;

/* Creates a manager and stores it in *manager (NULL when it could not be made). Returns 0. */
VCM_API int VCM_CALL VCM_Initialize(ComponentManager** manager);

/* Adds a spec "name;role;version" (fields after the third are ignored).
 * 0, or 13 when the text has fewer than three fields. */
VCM_API int VCM_CALL VCM_AddSpec(ComponentManager* manager, const char* spec);

/* Reports, in ascending byte order, the ids of the first component offering each added spec
 * in exactly that version. Consumes the added specs. Calls back only on 0. */
VCM_API int VCM_CALL VCM_FindComponents(ComponentManager* manager, ComponentCallback callback,
                                        StringList* list);

/* Checks the ";"-separated component ids for updates and reports those with one. Unless
 * `force` is non-zero, only components due by the update schedule are checked. Calls back only
 * on 0. */
VCM_API int VCM_CALL VCM_CheckForUpdates(ComponentManager* manager, const char* ids, int force,
                                         ComponentCallback callback, StringList* list);

/* Installs the manifest version of the ";"-separated components; returns when done. */
VCM_API int VCM_CALL VCM_UpdateComponents(ComponentManager* manager, const char* ids);

/* Destroys the manager (NULL is allowed), after queued reports were tried. */
VCM_API void VCM_CALL VCM_Shutdown(ComponentManager* manager);

#ifdef __cplusplus
}
#endif

#endif /* VCM_VCM_H */
