// AsyncOfferInstallImpl: downloads one offer's installer package and runs it, on a thread of
// its own, while an install session installs its components.
//
// States: 0 not started; 1 downloading; 2 installing; 3 finished (whatever the installer
// returned); -1 failed before the installer ran.
//
// An offer's package passes the same signature check as a component's before anything of it
// runs: a package that fails the check ends in -1 and never runs. The file that runs is the
// file that was checked, sealed by the check and sealed again right before its installer
// starts (see InstallTransaction.h). An offer whose package type no installer can run ends in
// -1 before anything is downloaded. The downloaded package is deleted whatever the outcome.
// The download answers every progress report with "go on": offers cannot be cancelled (an
// interrupt of the process's runs still stops them, platform/Interrupt.h). An offer downloads
// alongside the components; its installer waits for the machine's run lock (state 2 meanwhile,
// sessions/RunGuard.h), so that it never runs at the same time as another installer; an offer
// that gets no turn ends in -1.
//
// When no thread can be made for the worker, the offer ends at once in -1, so that a session
// waiting for its offers is not left waiting for one that never starts.
//
// GetState and GetInstallerResult may be called on any thread; the object's destructor waits
// for its worker.
#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "engine/IEventLog.h"
#include "offers/OfferRecord.h"
#include "packages/ISyncDownloadCB.h"
#include "sessions/SessionThread.h"

class AsyncOfferInstallImpl : public ISyncDownloadCB {
public:
    // `log` may be null.
    AsyncOfferInstallImpl(const OfferRecord& record, const boost::shared_ptr<vmi::IEventLog>& log);
    ~AsyncOfferInstallImpl() override;

    // Starts the worker; false when it was started before or no thread could be made (the
    // state is then -1).
    bool Start();
    int32_t GetState();
    // True once the installer has run (state 3), with its result in `result`.
    bool GetInstallerResult(uint32_t& result);

    bool OnProgress(uint32_t progress, uint32_t progressMax, uint32_t state,
                    const std::string& statusText) override;

private:
    void Work();
    // The worker's outcome short of running the installer: sets state -1.
    void Fail();

    const OfferRecord record_;
    const boost::shared_ptr<vmi::IEventLog> log_;
    boost::recursive_mutex mutex_;  // guards the four below
    int32_t state_ = 0;
    bool startAsked_ = false;
    bool installerRan_ = false;
    uint32_t installerResult_ = 0;
    SessionThread worker_;
};
