// Install hints: the pings that tell the installer server that a component was installed for
// the first time on this machine, or that installing it failed. The sender owns a ping manager
// for its whole life and is itself the manager's handler for the installer server's base URL.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "api/IInstallHints.h"
#include "ping/IPingSender.h"
#include "ping/PingHandler.h"
#include "ping/PingManager.h"

namespace vcm {

class PingSender : public IPingSender, public ::PingHandler {
public:
    // Success and failure hint paths; the argument is the component id.
    static const char kSuccessTemplate[];
    static const char kFailureTemplate[];

    // For the installer server's base URL (built in, or VOMO_INSTALLER_URL), sending over
    // sockets; what the store of failed hints does is told to `notes` (the install log).
    explicit PingSender(const PingManager::NoteSink& notes = PingManager::NoteSink());
    // For `baseUrl`, sending through `transport` (a PingSender over sockets when empty).
    PingSender(const std::string& baseUrl, const boost::shared_ptr<::IPingSender>& transport);
    // Waits until every queued hint was tried (the failed ones are stored for the next run),
    // then unregisters itself and releases the manager.
    ~PingSender() override;
    PingSender(const PingSender&) = delete;
    PingSender& operator=(const PingSender&) = delete;

    // Queues base URL + "/" + text; a text holding "%" is refused (no token is known).
    bool SendText(const std::string& text) override;
    // Queues the success or failure hint of a component, to be kept and sent again by a later
    // run when it cannot be delivered. False for an empty id or one that makes no valid URL.
    bool SendComponentHint(const std::string& componentId, bool failed) override;

    // No token is known to this handler.
    bool LookupToken(vmp::NameValue& pair) override;

private:
    void Begin(const boost::shared_ptr<::IPingSender>& transport,
               const PingManager::NoteSink& notes);

    boost::shared_ptr<PingManager> manager_;
    std::string baseUrl_;
};

}  // namespace vcm
