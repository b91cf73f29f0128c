// Selections over the catalogue and the installed state: the components to offer, the updates
// available, the components collected from the registry, and the list filtered for a
// component the user left out.
//
// The rules of each selection are those written down in engine/IVomoInstall.h.
#include <deque>
#include <map>
#include <set>
#include <unordered_map>

#include <boost/make_shared.hpp>

#include "engine/ComponentImpl.h"
#include "engine/VomoInstallImpl.h"
#include "registry/IComponentRegistry.h"
#include "settings/KeyName.h"

namespace {

enum CollectScope : int32_t {
    kCollectRecorded = 0,
    kCollectBundleGroupMembers = 1,
    kCollectSelectedGroupMembers = 2,
};

typedef std::unordered_map<std::string, vmi::ComponentPtr> ComponentIndex;

ComponentIndex IndexById(const vmi::ComponentList& components) {
    ComponentIndex index;
    for (const vmi::ComponentPtr& component : components) {
        index.insert(std::make_pair(component->GetId(), component));  // the first of an id
    }
    return index;
}

vmi::ComponentPtr Find(const ComponentIndex& index, const std::string& id) {
    const ComponentIndex::const_iterator found = index.find(id);
    return found == index.end() ? vmi::ComponentPtr() : found->second;
}

}  // namespace

uint32_t VomoInstallImpl::GetOfferableComponents(vmi::ComponentList& components) {
    const ComponentIndex index = IndexById(components_);
    std::set<std::string> recordedGroups;
    bool groupsRead = false;
    vmi::ComponentList found;
    for (const vmi::ComponentPtr& component : offerComponents_) {
        if (!component->IsOptional()) {
            continue;
        }
        const std::string group = component->GetInstallGroup();
        bool installed = false;
        bool update = false;
        if (group.empty()) {
            installed = component->IsInstalled();
            update = component->IsUpdateAvailable();
        } else {
            if (!groupsRead) {
                std::vector<ComponentRecord> records;
                Registry().LoadInstallGroups(records);
                for (const ComponentRecord& record : records) {
                    recordedGroups.insert(record.id);
                }
                groupsRead = true;
            }
            const vmi::ComponentPtr decider = Find(index, group);
            installed = (decider && decider->IsInstalled()) || recordedGroups.count(group) > 0;
            update = decider && decider->IsUpdateAvailable();
        }
        if (!installed && !update) {
            found.push_back(component);
        }
    }
    if (found.empty()) {
        return 15;
    }
    components = found;
    return 0;
}

uint32_t VomoInstallImpl::GetAvailableUpdates(vmi::ComponentList& components) {
    if (autoUpdateProhibited_) {
        return 15;
    }
    std::set<std::string> scope(bundleIdList_.begin(), bundleIdList_.end());
    scope.insert(idList_.begin(), idList_.end());
    const bool scoped = !scope.empty();

    std::set<std::string> chosen;
    std::set<std::string> groups;
    for (const vmi::ComponentPtr& component : components_) {
        const std::string id = component->GetId();
        if (component->IsInInstallGroup() || (scoped && !scope.count(id)) ||
            !component->IsInstalled() || !component->IsUpdateAvailable()) {
            continue;
        }
        chosen.insert(id);
        if (!component->GetInstallGroup().empty()) {
            groups.insert(component->GetInstallGroup());
        }
    }
    vmi::ComponentList selection;
    for (const vmi::ComponentPtr& component : components_) {
        const std::string id = component->GetId();
        const bool member = !component->IsInInstallGroup() &&
                            groups.count(component->GetInstallGroup()) > 0 &&
                            component->IsInstalled();
        if (chosen.count(id) || member) {
            chosen.insert(id);
            selection.push_back(component);
        }
    }
    if (selection.empty()) {
        return 15;
    }
    vmi::ComponentList ordered;
    if (OrderComponents(selection, ordered) != 0) {
        return 2;
    }
    vmi::ComponentList updates;
    for (const vmi::ComponentPtr& component : ordered) {
        if (chosen.count(component->GetId()) || !component->IsInstalled() ||
            component->IsUpdateAvailable()) {
            updates.push_back(component);
        }
    }
    components = updates;
    return 0;
}

uint32_t VomoInstallImpl::CollectComponents(int32_t which, bool withOffers, bool withInstallGroups,
                                            vmi::ComponentList& components) {
    std::set<std::string> ids;
    if (which == kCollectRecorded) {
        Registry().GetInstalledComponentIds(ids);
    } else if (which == kCollectBundleGroupMembers) {
        std::set<std::string> groups;
        Registry().GetBundleGroupIds(groups);
        for (const std::string& group : groups) {
            Registry().GetBundleGroupMembers(group, ids);
        }
    } else if (which == kCollectSelectedGroupMembers && !bundleGroup_.id.empty()) {
        Registry().GetBundleGroupMembers(bundleGroup_.id, ids);
    }

    std::vector<ComponentRecord> installGroups;
    std::set<std::string> grouped;
    if (withInstallGroups) {
        Registry().LoadInstallGroups(installGroups);
        for (const ComponentRecord& group : installGroups) {
            grouped.insert(group.auxiliaryIds.begin(), group.auxiliaryIds.end());
        }
    }

    vmi::ComponentList collected;
    std::set<std::string> present;
    for (const std::string& id : ids) {
        ComponentRecord record;
        if (!vmds::IsComponentKeyName(id) || grouped.count(id) ||
            Registry().LoadComponent(id, record) != 0 || !present.insert(id).second) {
            continue;
        }
        collected.push_back(boost::make_shared<ComponentImpl>(record));
    }
    for (ComponentRecord& group : installGroups) {
        if (present.insert(group.id).second) {
            group.inInstallGroup = true;
            collected.push_back(boost::make_shared<ComponentImpl>(group));
        }
    }
    if (withOffers) {
        for (const vmi::ComponentPtr& component : offerComponents_) {
            if (present.insert(component->GetId()).second) {
                collected.push_back(component);
            }
        }
    }
    if (collected.empty()) {
        return 15;
    }
    components = collected;
    return 0;
}

uint32_t VomoInstallImpl::FilterComponentList(const vmi::ComponentPtr& component,
                                              vmi::ComponentList& components) {
    if (!component) {
        return 2;
    }
    std::vector<std::string> start{component->GetId()};
    if (component->IsInInstallGroup()) {
        ExpandInstallGroups(vmi::ComponentList{component}, start);
        start.push_back(component->GetId());
    }
    // Who requires whom, within the list.
    std::unordered_map<std::string, std::vector<std::string>> requiredBy;
    for (const vmi::ComponentPtr& candidate : components) {
        if (!candidate) {
            continue;
        }
        std::vector<std::string> dependencies;
        candidate->GetDependencies(dependencies);
        for (const std::string& dependency : dependencies) {
            requiredBy[dependency].push_back(candidate->GetId());
        }
    }
    std::set<std::string> removed;
    std::deque<std::string> pending(start.begin(), start.end());
    while (!pending.empty()) {
        const std::string id = pending.front();
        pending.pop_front();
        if (!removed.insert(id).second) {
            continue;
        }
        const auto dependents = requiredBy.find(id);
        if (dependents != requiredBy.end()) {
            pending.insert(pending.end(), dependents->second.begin(), dependents->second.end());
        }
    }
    vmi::ComponentList kept;
    for (const vmi::ComponentPtr& candidate : components) {
        if (!candidate || !removed.count(candidate->GetId())) {
            kept.push_back(candidate);
        }
    }
    components.swap(kept);
    return 0;
}
