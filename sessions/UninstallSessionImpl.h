// UninstallSessionImpl: removes installed components on a worker thread of its own (the work is
// an UninstallTransaction) while the caller polls its progress.
//
// What is removed. The session is made with the components the caller asked to remove; when it
// starts it reads the installed state from the registry and removes, besides them:
// - for a component standing for an install group, the group's installed members (the group
//   itself is not a component);
// - every installed component that requires one of the removed components ("Dependencies"),
//   directly or through others, so that nothing installed is left without what it needs.
// Members of the same bundle group and optional or dynamic dependencies are not added. Asked
// components that are not installed are left out. The removal order is the reverse of the order
// an install of the same components would take: each component comes before every component it
// requires, and components that do not require each other go in descending order of their ids.
// Each component is removed as its registry record describes it, its version being the
// installed one.
//
// States: 0 before the start; 6 uninstalling; 7 finished, every component removed; 8 failed.
// Progress: component i of n while it is being removed. Cancel is recorded and does not stop a
// run: an uninstaller that has started is never interrupted. The restart flag is set when any
// uninstaller asked for a restart, also when a later one failed.
//
// Threads: Start and the destructor belong to the owner; the IInstallSession operations may be
// called on any thread; OnUninstallStart is the worker's. Every one of them holds the session's
// lock for its whole body. The destructor waits for the worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "engine/ComponentRecord.h"
#include "engine/IEventLog.h"
#include "engine/IInstallSession.h"
#include "sessions/IUninstallTransactionCB.h"
#include "sessions/SessionThread.h"

class UninstallSessionImpl : public vmi::IInstallSession, public IUninstallTransactionCB {
public:
    // `components`: those to remove, which also give the names and texts of the current
    // component; `log` may be null.
    UninstallSessionImpl(const vmi::ComponentList& components,
                         const boost::shared_ptr<vmi::IEventLog>& log);
    ~UninstallSessionImpl() override;

    // Builds the list of components to remove and starts the worker. 0; 5 when the session was
    // started before (a session runs once); 15 when none of the components is installed; 2
    // when the installed components require each other in a circle, so that no removal order
    // exists; 6 when no worker thread could be made (the session then reports 8). Nothing is
    // removed unless the answer is 0.
    uint32_t Start();

    // The components being removed, in removal order (empty before the start).
    std::vector<ComponentRecord> GetRecords();

    uint32_t GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) override;
    // 2 when no component of the session has the current id.
    uint32_t GetCurrentComponent(vmi::ComponentPtr& component) override;
    uint32_t Cancel() override;
    // The current component's name in the current user-interface locale; 6 without one.
    uint32_t GetCurrentComponentText(std::string& text) override;
    // The current component's progress text for `phase` in the current user-interface locale;
    // 2 without a current component or when it has no such text.
    uint32_t GetStatusText(const std::string& phase, std::string& text) override;
    bool IsRebootRequired() override;

    void OnUninstallStart(uint32_t index, uint32_t count, const std::string& id) override;

private:
    // The records to remove in removal order, and a component for each added one; 0, 2 or 15
    // as Start answers.
    uint32_t BuildRecords(std::vector<ComponentRecord>& records, vmi::ComponentList& added);
    void Work();
    vmi::ComponentPtr CurrentComponent();

    const boost::shared_ptr<vmi::IEventLog> log_;

    boost::recursive_mutex mutex_;  // guards everything below but the worker
    std::vector<ComponentRecord> records_;
    vmi::ComponentList components_;
    uint32_t state_ = 0;
    uint32_t position_ = 0;
    uint32_t total_ = 0;
    std::string currentId_;
    bool cancelRequested_ = false;
    bool rebootRequired_ = false;
    bool started_ = false;

    SessionThread worker_;
};
