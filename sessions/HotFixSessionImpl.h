// HotFixSessionImpl: installs hot fixes, each the small package that repairs an installed
// component, on a worker thread of its own, and calls a completion function when it ends.
//
// Each hot fix becomes one record: the hot fix's id (the component's id when it has none), its
// package, arguments and version, and the install directory recorded for the component it
// repairs. The component's registry key is kept: a hot fix changes the installed component, it
// does not install it afresh.
//
// States: 3 from the start and while an installer runs, 2 while a package downloads, 4
// finished, 5 failed. Progress as the install session counts it without offers: i * m + p of
// n * m while package i (of n) downloads p of m bytes (i of n when m is 0), i of n while
// installer i runs. The completion function is called once, on the worker, with 0 after a
// successful run and 6 after a failed one, once the state tells the outcome. The restart flag
// is set when any installer asked for a restart.
//
// Threads: Start and the destructor belong to the owner; GetProgress and IsRebootRequired may
// be called on any thread; the IInstallTransactionCB operations are the worker's. The
// destructor waits for the worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "engine/ComponentRecord.h"
#include "engine/HotFixRecord.h"
#include "engine/IEventLog.h"
#include "engine/IInstallSession.h"
#include "engine/IVomoInstall.h"
#include "sessions/IInstallTransactionCB.h"
#include "sessions/SessionThread.h"

class HotFixSessionImpl : public vmi::IHotFixSession, public IInstallTransactionCB {
public:
    // Reads the install directories of the repaired components from the registry. `log` and
    // `completion` may be null.
    HotFixSessionImpl(const std::vector<HotFixRecord>& hotFixes,
                      const boost::shared_ptr<vmi::IEventLog>& log,
                      vmi::HotFixCompletion completion);
    ~HotFixSessionImpl() override;

    // Starts the worker: 0, or 6 when the session was started before or no thread could be
    // made (the state is then 5 and the completion function is not called).
    uint32_t Start();

    uint32_t GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) override;
    bool IsRebootRequired() override;

    bool OnDownloadProgress(uint32_t progress, uint32_t progressMax, uint32_t index, uint32_t count,
                            const std::string& id) override;
    void OnInstallStart(uint32_t index, uint32_t count, const std::string& id) override;

private:
    void Work();

    std::vector<ComponentRecord> records_;
    const boost::shared_ptr<vmi::IEventLog> log_;
    const vmi::HotFixCompletion completion_;

    boost::recursive_mutex mutex_;  // guards the four below
    uint32_t state_ = 0;
    uint32_t position_ = 0;
    uint32_t total_ = 0;
    bool rebootRequired_ = false;
    bool started_ = false;  // the owner's

    SessionThread worker_;
};
