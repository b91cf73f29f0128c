// Engine operations over the installed state kept in the registry.
#include <set>

#include <utf8.h>
#include <boost/make_shared.hpp>

#include "engine/ComponentImpl.h"
#include "engine/VomoInstallImpl.h"
#include "registry/IComponentRegistry.h"
#include "settings/KeyName.h"

namespace {

std::wstring Wide(const std::string& text) {
    std::wstring wide;
    try {
        utf8::utf8to32(text.begin(), text.end(), std::back_inserter(wide));
    } catch (const utf8::exception&) {
        wide.assign(text.begin(), text.end());
    }
    return wide;
}

}  // namespace

IComponentRegistry& VomoInstallImpl::Registry() {
    if (!registry_) {
        registry_ = CreateComponentRegistry();
    }
    return *registry_;
}

// Reads the record of every installed component. A component whose record cannot be read is
// named in the event log and skipped, so that one damaged key does not hide the components
// recorded after it; the operation then ends with 3, after every readable record was kept.
uint32_t VomoInstallImpl::LoadInstalledState() {
    std::set<std::string> ids;
    if (Registry().GetInstalledComponentIds(ids) != 0) {
        installedRecords_.clear();  // nothing installed yet
        return 0;
    }
    installedRecords_.clear();
    uint32_t result = 0;
    for (const std::string& id : ids) {
        if (vmds::SameKeyName(id, vmds::kSetupKeyName)) {
            continue;
        }
        ComponentRecord record;
        if (Registry().LoadComponent(id, record) != 0) {
            eventLog_->WriteError("failed to load component %S from the registry.\n",
                                  Wide(id).c_str());
            result = 3;
            continue;
        }
        installedRecords_[id] = record;
    }
    LoadInstalledOffers();
    return result;
}

uint32_t VomoInstallImpl::GetWizardPageRules(std::vector<WizardPageRule>& rules) {
    if (wizardPageRules_.empty()) {
        const uint32_t synced = Registry().SyncWizardLayout(wizardPageRules_);
        if (synced != 0) {
            return synced;
        }
    }
    rules = wizardPageRules_;
    return 0;
}

uint32_t VomoInstallImpl::GetInstalledComponents(vmi::ComponentList& components) {
    if (installedComponents_.empty()) {
        std::set<std::string> ids;
        Registry().GetInstalledComponentIds(ids);
        vmi::ComponentList built;
        std::set<std::string> present;
        for (const vmi::ComponentPtr& component : components_) {
            const std::string id = component->GetId();
            // "Install" also holds the product's own key, which no component may claim.
            if (ids.count(id) && vmds::IsComponentKeyName(id) && present.insert(id).second) {
                built.push_back(component);
            }
        }
        std::vector<ComponentRecord> groups;
        Registry().LoadInstallGroups(groups);
        for (const ComponentRecord& group : groups) {
            if (present.insert(group.id).second) {
                built.push_back(boost::make_shared<ComponentImpl>(group));
            }
        }
        // Kept once it holds something, so that an early call (before the manifest was loaded)
        // does not freeze an empty list.
        installedComponents_ = built;
    }
    if (installedComponents_.empty()) {
        return 15;
    }
    components = installedComponents_;
    return 0;
}

uint32_t VomoInstallImpl::ExpandInstallGroups(const vmi::ComponentList& components,
                                              std::vector<std::string>& ids) {
    ids.clear();
    for (const vmi::ComponentPtr& component : components) {
        if (!component) {
            continue;
        }
        if (!component->IsInInstallGroup()) {
            ids.push_back(component->GetId());
            continue;
        }
        const std::string group = component->GetId();
        for (const vmi::ComponentPtr& member : components_) {
            if (member->GetInstallGroup() == group) {
                ids.push_back(member->GetId());
            }
        }
    }
    return 0;
}

uint32_t VomoInstallImpl::MarkHandledComponents(const vmi::ComponentList& components) {
    std::vector<std::string> ids;
    ExpandInstallGroups(components, ids);
    const std::set<std::string> handled(ids.begin(), ids.end());
    for (const vmi::ComponentPtr& component : components_) {
        if (handled.count(component->GetId())) {
            component->MarkHandled();
        }
    }
    return 0;
}
