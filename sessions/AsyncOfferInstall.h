// AsyncOfferInstall: one offer of an install session, downloaded and installed alongside the
// session's components by its worker object (AsyncOfferInstallImpl.h), which it starts at once.
//
// GetState answers the worker's state (0 not started, 1 downloading, 2 installing, 3 finished,
// -1 failed before the installer ran, also when no worker thread could be started);
// GetInstallerResult the installer's result once it ran. Any thread. The destructor waits for
// the worker.
#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "engine/IEventLog.h"
#include "offers/OfferRecord.h"

class AsyncOfferInstallImpl;

class AsyncOfferInstall {
public:
    AsyncOfferInstall(const OfferRecord& record, const boost::shared_ptr<vmi::IEventLog>& log);
    ~AsyncOfferInstall();
    AsyncOfferInstall(const AsyncOfferInstall&) = delete;
    AsyncOfferInstall& operator=(const AsyncOfferInstall&) = delete;

    int32_t GetState();
    // True once the offer's installer has run, with its result in `result`.
    bool GetInstallerResult(uint32_t& result);
    const OfferRecord& GetRecord() const { return record_; }

private:
    const OfferRecord record_;
    const boost::shared_ptr<vmi::IEventLog> log_;
    boost::shared_ptr<AsyncOfferInstallImpl> worker_;
};
