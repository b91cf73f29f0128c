// RunGuard: the start and the end of one install, update, hot-fix, offer or uninstall run, on
// the thread that runs it.
//
// Begin takes the machine-wide run lock (platform/RunLock.h), so that no two runs of the
// machine, of any process or of this one, start installers at once. While another run holds
// it, the event log gets the info line "waiting for another update run (process N)" once, and
// the wait lasts at most the run lock's limit (half an hour). A run that records its results in
// the registry then writes the mark of a run in progress, "RunProcessId" (this process's id) of
// the install area's "Setup" key: the registry is known to take writes before anything is
// downloaded or run, and a mark that a killed run left is named in the log by the next run.
//
// When the run may not start (the wait ran out, the runs were interrupted, the lock file or the
// registry cannot be used), Begin writes the error line "<heading>: <reason>" ("The run did not
// start" unless told otherwise) and records the reason as the thread's last error; the caller
// fails the run.
//
// End removes the mark and releases the lock; the destructor does so too. End fails, with the
// error line "The run could not be closed in the registry: <reason>", when the mark cannot be
// removed: the registry stopped taking writes during the run, and what the run recorded cannot
// be trusted.
//
// One guard belongs to one thread.
#pragma once

#include <boost/shared_ptr.hpp>

#include "engine/IEventLog.h"
#include "platform/RunLock.h"

class RunGuard {
public:
    enum Records {
        kRecordsResults,  // install, update and hot-fix runs: the registry must take writes
        kRecordsNothing,  // offers, uninstall runs (which check every removal themselves)
    };

    // `log` may be null (no lines are written).
    RunGuard(const boost::shared_ptr<vmi::IEventLog>& log, Records records);
    ~RunGuard();
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

    bool Begin(const char* heading = "The run did not start");
    bool End();

private:
    const boost::shared_ptr<vmi::IEventLog> log_;
    const Records records_;
    platform::RunLock lock_;
    bool marked_ = false;
};
