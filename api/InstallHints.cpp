#include "api/InstallHints.h"

#include <exception>

#include <boost/make_shared.hpp>

#include "api/Addresses.h"

namespace vcm {

const char PingSender::kSuccessTemplate[] = "hint/v10-unique-component-%s";
const char PingSender::kFailureTemplate[] = "hint/v10-unique-component-%s-FAIL";

PingSender::PingSender(const PingManager::NoteSink& notes)
    : ::PingHandler(InstallerBaseUrlText()), baseUrl_(GetBaseUrl()) {
    Begin(boost::shared_ptr<::IPingSender>(), notes);
}

PingSender::PingSender(const std::string& baseUrl,
                       const boost::shared_ptr<::IPingSender>& transport)
    : ::PingHandler(baseUrl), baseUrl_(baseUrl) {
    Begin(transport, PingManager::NoteSink());
}

// Nothing of the ping subsystem may escape to the component manager's caller as an exception:
// a manager whose worker could not be started now tries again with the first hint queued.
void PingSender::Begin(const boost::shared_ptr<::IPingSender>& transport,
                       const PingManager::NoteSink& notes) {
    try {
        manager_ = boost::make_shared<PingManager>(transport);
    } catch (const std::exception&) {
        return;  // no manager: every hint answers false
    }
    manager_->SetNoteSink(notes);
    try {
        manager_->Start();
    } catch (const std::exception&) {
        // The worker starts with the first hint queued, and the stored pings with it.
    }
    manager_->AddHandler(this);
}

PingSender::~PingSender() {
    if (manager_) {
        try {
            manager_->Stop();
        } catch (...) {
            // Stopping joins the worker; the manager's destructor makes sure of it.
        }
        manager_->RemoveHandler(this);
    }
    manager_.reset();
}

bool PingSender::SendText(const std::string& text) {
    if (!manager_) {
        return false;
    }
    try {
        return manager_->SendText(text, true, "%", "") == 0;
    } catch (const std::exception&) {
        return false;  // the worker could not be started
    }
}

bool PingSender::SendComponentHint(const std::string& componentId, bool failed) {
    if (componentId.empty() || !manager_) {
        return false;
    }
    vmp::NameValueList values(1);
    values[0].value = componentId;
    try {
        return manager_->SendPing(baseUrl_, failed ? kFailureTemplate : kSuccessTemplate, values,
                                  true) == 0;
    } catch (const std::exception&) {
        return false;  // the worker could not be started
    }
}

bool PingSender::LookupToken(vmp::NameValue&) {
    return false;
}

}  // namespace vcm
