// The uninstall session: removing installed components on a worker thread of its own.
#include <boost/make_shared.hpp>

#include "engine/VomoInstallImpl.h"
#include "sessions/UninstallSessionImpl.h"

// The session reads what is installed from the registry itself, so no manifest is needed: a
// host may pass components made from the installed records (CollectComponents).
uint32_t VomoInstallImpl::StartUninstallSession(const vmi::ComponentList& components,
                                                boost::shared_ptr<vmi::IInstallSession>& session) {
    const boost::shared_ptr<UninstallSessionImpl> started =
        boost::make_shared<UninstallSessionImpl>(components, eventLog_);
    const uint32_t result = started->Start();
    if (result != 0) {
        return result;  // no session is kept
    }
    currentSession_ = started;
    session = started;
    return 0;
}
