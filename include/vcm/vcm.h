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
 * Expired manifests are refused. A manifest may say when it expires (attribute "expires" of its
 * manifest element, a UTC date and time in ISO 8601 such as 2025-07-01T12:00:00Z, as
 * `vomo-dist manifest --expires` writes it). From that instant on the library refuses it,
 * however well signed, so that nobody can keep a machine from learning of a fix by serving it
 * the last good manifest for ever: the preparation fails as on a bad signature (1), and the
 * install log gives the reason "the manifest expired on <time>". An expiry that is not such a
 * date is refused too. The machine's clock decides. A manifest without the attribute does not
 * expire; a publisher who sets it publishes a fresh manifest before it runs out.
 *
 * Staged rollouts. A release may reach a share of the machines first (attribute "rollout",
 * 0 to 100, of a component's latestVersion). Each machine draws a bucket from 0 to 99 for each
 * release, from its own application-specific machine id, the component id and the version, and
 * takes the release when its bucket is below the share; so a machine that took a release keeps
 * it as the share widens. VCM_CheckForUpdates does not report a component whose release has not
 * reached this machine yet; VCM_UpdateComponents asked for that component still installs the
 * manifest's version. A share of 0 pauses the release; without the attribute it reaches every
 * machine.
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
 * One run at a time. Every install, update, hot-fix, offer and uninstall run on the machine,
 * of any process or manager, takes one exclusive lock (the file "run.lock" beside the machine
 * part of the registry); a run that finds it taken waits, with the install log line "waiting for
 * another update run (process N)", at most 30 minutes, and then fails with that reason (1 from
 * VCM_UpdateComponents). A run first writes a mark to the machine part of the registry: one that
 * cannot be written (read-only, full) fails the run before anything is downloaded (1), and so
 * does a record of the result that cannot be written at the end.
 *
 * Interrupts. The library installs no signal handler. A host that wants its runs to stop on
 * SIGINT, SIGTERM or SIGHUP blocks them in every thread before its first call (the library's
 * threads, started from the host's, then block them too). While a function waits for its work,
 * it takes such a signal when one is pending: the download under way stops, the installer
 * running gets the signal in its process group and is waited for (a second signal kills that
 * group), no further installer starts, the run fails (1) with "interrupted by signal N" in the
 * install log, and the temporary files go. When the function returns, the signal is pending for
 * the host again, for it to act on (vcm exits with 128 + N). A host that leaves the signals
 * unblocked is not affected.
 *
 * Result codes: the enumeration VCM_Result below names them; VCM_ResultName and
 * VCM_ResultMeaning give a code's name and meaning as texts (inline, nothing is exported).
 * VCM_CheckForUpdates and VCM_UpdateComponents report every failed preparation of the manifest
 * as 1; VCM_FindComponents passes the preparation's own code (1, 4, 5, 6, 8) on. A manifest
 * cabinet larger than 64 MiB fails its download (4). The reason behind a failure is written to
 * the install log.
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

/* The result codes of the six functions, with the numbers they return (functions still return
 * int). The meaning of each is what VCM_ResultMeaning returns. */
typedef enum VCM_Result {
    VCM_OK = 0,                  /* success */
    VCM_FAILED = 1,              /* manifest not verified or extracted, or the update failed */
    VCM_DOWNLOAD_FAILED = 4,     /* manifest not downloaded, or no temporary file for it */
    VCM_MANIFEST_UNREADABLE = 5, /* the manifest file could not be opened */
    VCM_MANIFEST_INVALID = 6,    /* the manifest could not be parsed */
    VCM_UPDATE_NOT_STARTED = 7,  /* the update could not start */
    VCM_PREPARATION_FAILED = 8,  /* an earlier preparation of this manager failed */
    VCM_NOTHING_DUE = 9,         /* VCM_CheckForUpdates: nothing is due, or checks are off */
    VCM_UNKNOWN_COMPONENT = 11,  /* VCM_CheckForUpdates: an id is not in the manifest */
    VCM_NO_MATCH = 12,           /* VCM_FindComponents: no spec matched */
    VCM_NO_SPEC = 13,            /* VCM_AddSpec: not a spec; VCM_FindComponents: none added */
    VCM_NEWER_VERSION_ONLY = 14  /* VCM_FindComponents: offered only in a newer version */
} VCM_Result;

/* `static inline` where the language has it; a C89 compiler gets a plain static function. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define VCM_INLINE inline
#elif defined(__GNUC__)
#define VCM_INLINE __inline__
#else
#define VCM_INLINE
#endif

/* The name of a result code ("VCM_OK", "VCM_NO_MATCH", ...); NULL for a number that is none. */
static VCM_INLINE const char* VCM_ResultName(int result) {
    switch (result) {
        case VCM_OK:
            return "VCM_OK";
        case VCM_FAILED:
            return "VCM_FAILED";
        case VCM_DOWNLOAD_FAILED:
            return "VCM_DOWNLOAD_FAILED";
        case VCM_MANIFEST_UNREADABLE:
            return "VCM_MANIFEST_UNREADABLE";
        case VCM_MANIFEST_INVALID:
            return "VCM_MANIFEST_INVALID";
        case VCM_UPDATE_NOT_STARTED:
            return "VCM_UPDATE_NOT_STARTED";
        case VCM_PREPARATION_FAILED:
            return "VCM_PREPARATION_FAILED";
        case VCM_NOTHING_DUE:
            return "VCM_NOTHING_DUE";
        case VCM_UNKNOWN_COMPONENT:
            return "VCM_UNKNOWN_COMPONENT";
        case VCM_NO_MATCH:
            return "VCM_NO_MATCH";
        case VCM_NO_SPEC:
            return "VCM_NO_SPEC";
        case VCM_NEWER_VERSION_ONLY:
            return "VCM_NEWER_VERSION_ONLY";
        default:
            return 0;
    }
}

/* What a result code means to a person: the texts of the README's table of result codes. */
static VCM_INLINE const char* VCM_ResultMeaning(int result) {
    switch (result) {
        case VCM_OK:
            return "success";
        case VCM_FAILED:
            return "the manifest could not be verified or extracted (or is older than one accepted "
                   "before, or has expired), or the update failed";
        case VCM_DOWNLOAD_FAILED:
            return "the manifest could not be downloaded, or there was no temporary file for it";
        case VCM_MANIFEST_UNREADABLE:
            return "the manifest file could not be opened";
        case VCM_MANIFEST_INVALID:
            return "the manifest could not be parsed";
        case VCM_UPDATE_NOT_STARTED:
            return "the update could not start (an id is not a component of the manifest)";
        case VCM_PREPARATION_FAILED:
            return "an earlier preparation of this manager failed";
        case VCM_NOTHING_DUE:
            return "VCM_CheckForUpdates: nothing is due, or update checks are switched off";
        case VCM_UNKNOWN_COMPONENT:
            return "VCM_CheckForUpdates: an id is not a component of the manifest";
        case VCM_NO_MATCH:
            return "VCM_FindComponents: no spec matched";
        case VCM_NO_SPEC:
            return "VCM_AddSpec: fewer than three fields; VCM_FindComponents: no specs were added";
        case VCM_NEWER_VERSION_ONLY:
            return "VCM_FindComponents: a spec is offered only in a newer version";
        default:
            return "not a result code of the library";
    }
}

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
