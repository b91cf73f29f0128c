// DynamicSessionImpl: the update session behind a component update run. It installs the
// current version of the requested components, in the order requested (no dependency order is
// applied), on a worker thread of its own, and reports only a coarse state: 2 downloading,
// 4 installing, 7 finished, 8 failed. Position and total stay 0, there is no current
// component, and no restart is reported. Cancel stops the package download under way (the run
// fails); an interrupt of the process's runs (platform/Interrupt.h) stops installers too.
//
// The records are built by Start from the catalogue's components: each requested id's record,
// with its second address set to its package address, no accepted licence ids, the product's
// install directory and the component's latest version.
//
// Threads: Start, GetRecords and the destructor belong to the owner; the IInstallSession
// operations may be called on any thread; the IInstallTransactionCB operations are the
// worker's. The destructor waits for the worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "engine/ComponentRecord.h"
#include "engine/IEventLog.h"
#include "engine/IInstallSession.h"
#include "sessions/IInstallTransactionCB.h"
#include "sessions/SessionThread.h"

class DynamicSessionImpl : public vmi::IInstallSession, public IInstallTransactionCB {
public:
    // `log` may be null.
    DynamicSessionImpl(const vmi::ComponentList& components, const std::vector<std::string>& ids,
                       const std::string& installDir, const boost::shared_ptr<vmi::IEventLog>& log);
    ~DynamicSessionImpl() override;

    // Builds the records and starts the worker. 0; 15 when a requested id has no component
    // (nothing runs); 6 when the session was started before or no thread could be made.
    uint32_t Start();
    // The records built by Start, in the order requested.
    const std::vector<ComponentRecord>& GetRecords() const { return records_; }

    uint32_t GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) override;
    uint32_t GetCurrentComponent(vmi::ComponentPtr& component) override;  // 2
    uint32_t Cancel() override;  // stops a download under way; the run then fails
    uint32_t GetCurrentComponentText(std::string& text) override;                  // 2
    uint32_t GetStatusText(const std::string& phase, std::string& text) override;  // 2
    bool IsRebootRequired() override;                                              // false

    bool OnDownloadProgress(uint32_t progress, uint32_t progressMax, uint32_t index, uint32_t count,
                            const std::string& id) override;
    void OnInstallStart(uint32_t index, uint32_t count, const std::string& id) override;

private:
    void Work();
    void SetState(uint32_t state);

    const vmi::ComponentList components_;
    const std::vector<std::string> ids_;
    const std::string installDir_;
    const boost::shared_ptr<vmi::IEventLog> log_;
    std::vector<ComponentRecord> records_;  // written by Start before the worker runs

    boost::recursive_mutex mutex_;  // guards the two below
    uint32_t state_ = 0;
    bool cancelRequested_ = false;
    bool started_ = false;  // the owner's

    SessionThread worker_;
};
