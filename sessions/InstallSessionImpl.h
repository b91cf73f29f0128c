// InstallSessionImpl: installs components chosen by the caller on a worker thread of its own
// (the work is an InstallTransaction), with the session's offers installed alongside, while
// the caller polls its progress.
//
// States: 1 components installed, an offer has not started yet; 2 downloading a component's
// package; 3 components installed, an offer downloading; 4 running a component's installer;
// 5 components installed, an offer installing; 7 components installed and no offer still
// running; 8 failed.
//
// Progress: while the package of component i (of n) downloads, p of m bytes, the position is
// i * m + p and the total (n + k) * m, with k offers; i and n + k when m is 0. While the
// installer of component i runs: i of n + k. When a total would not fit in 32 bits, position
// and total are scaled down together, so the bar still rises.
//
// Offers: an offer counts as not started (1), downloading (3), installing (5) or finished (7,
// also when it failed). Once the components are installed, every poll looks at the offers from
// the first, counting the unfinished ones up to and including the first that downloads; the
// state becomes that of the last unfinished offer counted, or 7 when none is, and the position
// is the stored one plus that count. So a session reports 7 only when no offer is under way.
//
// Cancel takes effect at the next download report: the transfer is abandoned and the session
// ends in 8 without running any installer. It does not stop a running installer nor an offer.
// The restart flag is set when any installer asked for a restart, also when a later component
// failed.
//
// Threads: Start and the destructor belong to the owner; the IInstallSession operations may be
// called on any thread; the IInstallTransactionCB operations are the worker's. Every one of
// them holds the session's lock for its whole body. The destructor waits for the worker, then
// for the offers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "engine/ComponentRecord.h"
#include "engine/IEventLog.h"
#include "engine/IInstallSession.h"
#include "offers/OfferRecord.h"
#include "sessions/AsyncOfferInstall.h"
#include "sessions/IInstallTransactionCB.h"
#include "sessions/SessionThread.h"

// The states above, by name, for the session and for those who poll it.
namespace install_state {
const uint32_t kOfferNotStarted = 1;
const uint32_t kDownloading = 2;
const uint32_t kOfferDownloading = 3;
const uint32_t kInstalling = 4;
const uint32_t kOfferInstalling = 5;
const uint32_t kFinished = 7;
const uint32_t kFailed = 8;
}  // namespace install_state

class InstallSessionImpl : public vmi::IInstallSession, public IInstallTransactionCB {
public:
    // `records` in install order; `components` give the names and texts of the current
    // component; `log` may be null.
    InstallSessionImpl(const std::vector<ComponentRecord>& records,
                       const vmi::ComponentList& components, const std::vector<OfferRecord>& offers,
                       const boost::shared_ptr<vmi::IEventLog>& log);
    ~InstallSessionImpl() override;

    // Starts the offers, then the worker. 0, or 6 when the session was started before or no
    // worker thread could be made (the session then reports 8).
    uint32_t Start();

    // The component records of the run, in install order.
    const std::vector<ComponentRecord>& GetRecords() const { return records_; }
    // The offers whose installer has run and answered success (0, or 13 for a restart), in the
    // order the session was given them.
    std::vector<OfferRecord> GetInstalledOffers();

    uint32_t GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) override;
    // 2 when no component of the session has the current id.
    uint32_t GetCurrentComponent(vmi::ComponentPtr& component) override;
    uint32_t Cancel() override;
    // The current component's name in the current user-interface locale; 6 without one.
    uint32_t GetCurrentComponentText(std::string& text) override;
    // With a current component: its progress text for `phase` ("download", "install",
    // "uninstall") in the current user-interface locale, or 2 when it has none. Without one,
    // for "download" and "install": the offer's own text when exactly one offer is unfinished,
    // "Downloading offers, please wait..." or "Installing offers, please wait..." when the
    // session has more than one offer; 2 when that gives no text.
    uint32_t GetStatusText(const std::string& phase, std::string& text) override;
    bool IsRebootRequired() override;

    bool OnDownloadProgress(uint32_t progress, uint32_t progressMax, uint32_t index, uint32_t count,
                            const std::string& id) override;
    void OnInstallStart(uint32_t index, uint32_t count, const std::string& id) override;

private:
    void Work();
    vmi::ComponentPtr CurrentComponent();
    // The state of offer `i` as the session counts it: 1, 3, 5 or 7.
    uint32_t OfferState(size_t i);

    const std::vector<ComponentRecord> records_;
    const vmi::ComponentList components_;
    const std::vector<OfferRecord> offerRecords_;
    const boost::shared_ptr<vmi::IEventLog> log_;

    boost::recursive_mutex mutex_;  // guards everything below but the worker
    std::vector<boost::shared_ptr<AsyncOfferInstall>> offers_;  // one per offer record
    uint32_t state_ = 0;
    uint32_t position_ = 0;
    uint32_t total_ = 0;
    std::string currentId_;
    bool cancelRequested_ = false;
    bool rebootRequired_ = false;
    bool started_ = false;

    SessionThread worker_;
};
