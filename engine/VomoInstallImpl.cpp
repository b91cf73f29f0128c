// Construction, engine state and the queries answered from the catalogue in memory.
#include "engine/VomoInstallImpl.h"

#include <boost/make_shared.hpp>

#include "engine/DependencyOrder.h"
#include "engine/EventLogStub.h"
#include "packages/IAsyncDownload.h"
#include "packages/IFileOperations.h"
#include "registry/IComponentRegistry.h"

VomoInstallImpl::VomoInstallImpl(const Url& manifestUrl, int flag)
    : manifestUrl_(manifestUrl),
      flag_(flag),
      eventLog_(boost::make_shared<EventLogStub>()),
      manifestVersion_() {}

VomoInstallImpl::~VomoInstallImpl() {
    // The manifest this engine extracted is its own, and nothing reads it once the engine is
    // gone: it does not wait in the temporary folder for the library to be unloaded.
    if (ownsManifestFile_) {
        CreateFileOperations()->RemoveAll(manifestPath_);
    }
}

uint32_t VomoInstallImpl::GetCallerInfo(vmi::CallerInfo& info) {
    info.callerTag = callerTag_;
    info.values.clear();
    info.object.reset();
    return 0;
}

uint32_t VomoInstallImpl::GetOfferComponents(vmi::ComponentList& components) {
    if (offerComponents_.empty()) {
        return 15;
    }
    components = offerComponents_;
    return 0;
}

uint32_t VomoInstallImpl::GetIdList(std::vector<std::string>& ids) {
    if (idList_.empty()) {
        return 15;
    }
    ids = idList_;
    return 0;
}

uint32_t VomoInstallImpl::GetComponents(vmi::ComponentList& components) {
    if (components_.empty()) {
        return 15;
    }
    components = components_;
    return 0;
}

uint32_t VomoInstallImpl::GetBundlePlugins(std::vector<PluginRecord>& plugins) {
    if (bundlePlugins_.empty()) {
        return 15;
    }
    plugins = bundlePlugins_;
    return 0;
}

uint32_t VomoInstallImpl::SetPluginCommandLineArgs(const std::string& pluginId,
                                                   const std::string& args) {
    for (PluginRecord& plugin : bundlePlugins_) {
        if (plugin.id == pluginId) {
            plugin.commandLineArgs = args;
        }
    }
    return 0;
}

uint32_t VomoInstallImpl::GetBundleGroups(
    std::vector<boost::shared_ptr<vmi::IBundleGroup>>& groups) {
    groups = bundleGroups_;
    return 0;
}

uint32_t VomoInstallImpl::GetMessages(std::vector<boost::shared_ptr<vmi::IMessage>>& messages) {
    messages = messages_;
    return 0;
}

uint32_t VomoInstallImpl::GetBannerGroup(const std::string& distributorId,
                                         std::vector<std::string>& bannerIds) {
    std::map<std::string, std::vector<std::string>>::const_iterator it =
        bannerGroups_.find(distributorId);
    if (it == bannerGroups_.end() || it->second.empty()) {
        it = bannerGroups_.find(std::string());
    }
    if (it == bannerGroups_.end() || it->second.empty()) {
        return 15;
    }
    bannerIds = it->second;
    return 0;
}

uint32_t VomoInstallImpl::SetInstallDir(const std::string& dir) {
    installDir_ = dir;
    return 0;
}

uint32_t VomoInstallImpl::GetInstallDir(std::string& dir) {
    if (installDir_.empty()) {
        return 2;
    }
    dir = installDir_;
    return 0;
}

uint32_t VomoInstallImpl::SetEventLog(const boost::shared_ptr<vmi::IEventLog>& log) {
    eventLog_ = log ? log : boost::make_shared<EventLogStub>();
    return 0;
}

uint32_t VomoInstallImpl::GetEventLog(boost::shared_ptr<vmi::IEventLog>& log) {
    log = eventLog_;
    return 0;
}

uint32_t VomoInstallImpl::SetCallerTag(const std::string& tag) {
    callerTag_ = tag;
    return 0;
}

uint32_t VomoInstallImpl::GetStateFlag(bool& flag) {
    flag = stateFlag_;
    return 0;
}

uint32_t VomoInstallImpl::GetComponent(const std::string& id, vmi::ComponentPtr& component) {
    for (const vmi::ComponentPtr& candidate : components_) {
        if (candidate && candidate->GetId() == id) {
            component = candidate;
            return 0;
        }
    }
    return 2;
}

uint32_t VomoInstallImpl::GetMarketingBundleVersion(std::string& version) {
    version = marketingBundleVersion_;
    return 0;
}

// No provider object is ever set in this system, so both texts are left as they are.
uint32_t VomoInstallImpl::GetProviderTexts(int32_t, std::string&, std::string&) {
    return 0;
}

// Unlike a map's insert-on-access, a lookup of an unknown id adds nothing: GetResources lists
// only what the manifest described.
uint32_t VomoInstallImpl::GetResource(const std::string& id, ResourceDescriptor& resource) {
    std::map<std::string, ResourceDescriptor>::const_iterator it = resources_.find(id);
    if (it == resources_.end() || it->second.tag.empty() || it->second.resid.empty() ||
        it->second.type.empty()) {
        return 2;
    }
    resource = it->second;
    return 0;
}

uint32_t VomoInstallImpl::GetResources(std::vector<ResourceDescriptor>& resources) {
    if (resources_.empty()) {
        return 2;
    }
    resources.clear();
    for (const auto& entry : resources_) {
        resources.push_back(entry.second);
    }
    return 0;
}

uint32_t VomoInstallImpl::GetCommonStreamId(std::string& streamId) {
    vmi::ComponentList updates;
    if (GetAvailableUpdates(updates) != 0) {
        return 0;
    }
    std::set<std::string> ids;
    for (const vmi::ComponentPtr& component : updates) {
        ids.insert(component->GetStreamId());
    }
    if (ids.size() == 1) {
        streamId = *ids.begin();
    }
    return 0;
}

// The nodes are the selected components followed by the catalogue's, so that a dependency the
// selection does not name is taken from the catalogue, and a selected component that the
// catalogue lacks (one made from an installed record) can still be ordered. Each id of the
// order stands for the first of those components that carries it.
uint32_t VomoInstallImpl::OrderComponents(const vmi::ComponentList& selected,
                                          vmi::ComponentList& ordered) {
    vmi::ComponentList candidates(selected);
    candidates.insert(candidates.end(), components_.begin(), components_.end());
    std::vector<DependencyNode> nodes;
    std::map<std::string, vmi::ComponentPtr> byId;
    for (const vmi::ComponentPtr& component : candidates) {
        if (!component) {
            continue;
        }
        DependencyNode node;
        node.id = component->GetId();
        component->GetDependencies(node.dependencies);
        byId.insert(std::make_pair(node.id, component));
        nodes.push_back(node);
    }
    std::vector<std::string> requested;
    for (const vmi::ComponentPtr& component : selected) {
        if (component) {
            requested.push_back(component->GetId());
        }
    }
    std::vector<std::string> order;
    if (!DependencyOrder(nodes, requested).GetInstallOrder(order)) {
        return 2;
    }
    ordered.clear();
    for (const std::string& id : order) {
        ordered.push_back(byId[id]);
    }
    return 0;
}
