// InstallTransaction: installs a list of components, in list order, on the calling thread:
// downloads every package, then verifies every package's signature, then runs every installer,
// writing a running account to the event log and reporting progress to an observer.
//
// Steps and results:
// - Download: each package goes to a new temporary name of the process-wide temporary-name
//   source (a private folder only this user may enter). 7 when no name can be made, 8 when a
//   download fails or the observer stops it. A component whose package type no installer can
//   run (9), or without a package address (8), fails here, before anything was run.
// - Verify: a package whose record names a SHA-256 (the manifest's `package/sha256`) must have
//   it, checked before its signature is read: 18 with "the package is not the one the manifest
//   names" otherwise, and 18 too when the value is not 64 hexadecimal digits. Every downloaded
//   package must carry a signature of an accepted signer; 18 otherwise. What the check read is
//   sealed: the identity of the file it opened and the SHA-256 of its bytes, taken through that
//   same descriptor (and compared with the manifest's digest, when there is one).
// - Install: per component, the package runs, elevated, with the record's command-line
//   arguments. 12 when an installer reports an abort, any other launcher code passed on; 13 is
//   success with a restart required. The component's registry key is left as it is: the
//   installer writes its own values over the installed record, and the record of the new
//   version replaces the rest once the run has succeeded (the engine's CompleteUpdate). A run
//   cut short anywhere (a kill, a power loss) thus leaves the component recorded as the version
//   it had, never without a record, and the update stays due. (The record's keepRegistryKey
//   flag, which once spared hot fixes that removal, has nothing left to spare.)
//
// RunOnce is a whole run: it takes the machine's run lock and marks the run in the registry
// first (sessions/RunGuard.h), 6 when the run may not start or the registry stopped taking
// writes by its end. An interrupted run (platform/Interrupt.h) stops its download and starts no
// further installer; its failure line says "interrupted by signal N". Every failure line
// carries its reason (sessions/FailureReason.h).
//
// The file that runs is the file that was verified: right before its installer is started, a
// package is sealed again under its name, and it runs only when that seal equals the one the
// verify step took, same file (not another put under the name) and same bytes; otherwise the
// component fails with 18 and nothing of it runs. Together with the private folder, which only
// this user can change, nothing can swap a package between the two steps unnoticed. The
// launcher is given the verified digest, which an elevated run's checking side (the root-owned
// helper of a user's process) requires of the copy it runs, so that what runs as root is the
// verified file or nothing.
//
// The first failure ends the transaction; components installed before it stay installed.
// Every failure line is followed by the closing rule. Whatever the outcome, the downloaded
// packages are deleted before Run returns.
//
// One thread runs a transaction; the observer's operations are called on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include <chrono>

#include "engine/ComponentRecord.h"
#include "engine/IEventLog.h"
#include "packages/IFileOperations.h"
#include "packages/ISyncDownload.h"
#include "packages/ISyncDownloadCB.h"
#include "platform/FileSeal.h"
#include "sessions/IInstallTransactionCB.h"

class InstallTransaction : public ISyncDownloadCB {
public:
    // `observer` may be null; `log` may be null (no lines are written).
    InstallTransaction(const std::vector<ComponentRecord>& records, IInstallTransactionCB* observer,
                       const boost::shared_ptr<vmi::IEventLog>& log);
    // Deletes what is left of the downloaded packages.
    ~InstallTransaction() override;
    InstallTransaction(const InstallTransaction&) = delete;
    InstallTransaction& operator=(const InstallTransaction&) = delete;

    // Runs the three steps once; the result code above.
    uint32_t Run();
    // Makes a transaction and runs it as a whole run (see above): its result, and whether an
    // installer asked for a restart in `rebootRequired`. 6 when the run may not start or could
    // not be closed in the registry; 9 when the transaction could not even be made (memory ran
    // out).
    static uint32_t RunOnce(const std::vector<ComponentRecord>& records,
                            IInstallTransactionCB* observer,
                            const boost::shared_ptr<vmi::IEventLog>& log, bool& rebootRequired);
    // True when an installer asked for a restart (also when a later component failed).
    bool IsRebootRequired() const { return rebootRequired_; }

    // Progress of the package being downloaded, passed to the observer. A download that lasts
    // notes its bytes in the log, as a debug line "Component: [id] received N of M bytes" (M is
    // 0 while unknown) at most every kProgressNoteInterval, for those who watch the log.
    bool OnProgress(uint32_t progress, uint32_t progressMax, uint32_t state,
                    const std::string& statusText) override;

private:
    struct Package {
        Url file;                 // its temporary name; empty until one was made
        bool downloaded = false;  // the download completed
        platform::FileSeal seal;  // what the verify step accepted
    };

    uint32_t DownloadStep();
    uint32_t VerifyStep();
    uint32_t InstallStep();
    // Writes the closing rule and answers `result`.
    uint32_t Close(uint32_t result);
    void RemovePackages();
    uint32_t Count() const { return static_cast<uint32_t>(records_.size()); }

    std::vector<ComponentRecord> records_;
    IInstallTransactionCB* observer_;
    size_t index_ = 0;
    bool rebootRequired_ = false;
    boost::shared_ptr<vmi::IEventLog> log_;
    std::vector<Package> packages_;  // one per record
    boost::shared_ptr<IFileOperations> files_;
    boost::shared_ptr<ISyncDownload> download_;
    std::chrono::steady_clock::time_point progressNoted_;  // the download's start or last note
};
