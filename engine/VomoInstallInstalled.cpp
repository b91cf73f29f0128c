// Engine operations over the installed state kept in the registry, and the update session.
#include "engine/VomoInstallImpl.h"

uint32_t VomoInstallImpl::LoadInstalledState() {
    return 6;
}

uint32_t VomoInstallImpl::CreateUpdateSession(const std::vector<std::string>&,
                                              boost::shared_ptr<vmi::IInstallSession>&) {
    return 6;
}

uint32_t VomoInstallImpl::GetWizardPageRules(std::vector<WizardPageRule>& rules) {
    if (wizardPageRules_.empty()) {
        return 2;
    }
    rules = wizardPageRules_;
    return 0;
}

uint32_t VomoInstallImpl::CompleteUpdate() {
    return 6;
}

uint32_t VomoInstallImpl::GetInstalledComponents(vmi::ComponentList& components) {
    if (installedComponents_.empty()) {
        return 15;
    }
    components = installedComponents_;
    return 0;
}

uint32_t VomoInstallImpl::ExpandInstallGroups(const vmi::ComponentList&,
                                              std::vector<std::string>&) {
    return 2;
}

uint32_t VomoInstallImpl::MarkHandledComponents(const vmi::ComponentList&) {
    return 0;
}
