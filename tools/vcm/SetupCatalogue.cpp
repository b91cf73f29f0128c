#include "tools/vcm/SetupCatalogue.h"

#include <algorithm>
#include <set>

#include "engine/MultiLangStringImpl.h"
#include "engine/VomoInstallImpl.h"

namespace vcmtool {

namespace {

bool UpToDate(const vmi::ComponentPtr& component) {
    return component->IsInstalled() && !component->IsUpdateAvailable();
}

SetupChoice MakeChoice(const vmi::ComponentPtr& component, const std::string& language) {
    SetupChoice choice;
    choice.id = component->GetId();
    boost::shared_ptr<vmi::IMultiLangString> text;
    if (component->GetName(text) == 0) {
        choice.name = LocalizedOrEmpty(text, language);
    }
    if (choice.name.empty()) {
        choice.name = choice.id;
    }
    if (component->GetInstallDescription(text) == 0) {
        choice.description = LocalizedOrEmpty(text, language);
    }
    choice.optional = component->IsOptional();
    choice.defaultChecked = component->IsDefaultChecked();
    return choice;
}

}  // namespace

bool ReadSetupCatalogue(VomoInstallImpl& engine, const std::string& language,
                        SetupCatalogue& catalogue, SamplePosition position) {
    vmi::ComponentList reached;
    if (engine.GetOfferComponents(reached) != 0) {
        return false;
    }
    const BundleGroupRecord& group = engine.GetSelectedBundleGroup();
    catalogue.groupId = group.id;
    catalogue.heading = LocalizedOrEmpty(group.heading, language);
    catalogue.description = LocalizedOrEmpty(group.description, language);
    engine.GetMarketingBundleVersion(catalogue.marketingVersion);
    catalogue.licences = group.eulas;
    engine.GetWizardPageRules(catalogue.layout);

    vmi::ComponentList all;
    engine.GetComponents(all);
    std::set<std::string> groupsReached;
    for (const vmi::ComponentPtr& component : reached) {
        if (component->IsInInstallGroup()) {
            groupsReached.insert(component->GetId());
        }
    }
    for (const vmi::ComponentPtr& component : reached) {
        if (groupsReached.count(component->GetInstallGroup()) && !component->IsInInstallGroup()) {
            continue;  // chosen with its group
        }
        SetupChoice choice = MakeChoice(component, language);
        bool upToDate = true;
        if (component->IsInInstallGroup()) {
            choice.installGroup = true;
            for (const vmi::ComponentPtr& member : all) {
                if (member->GetInstallGroup() == choice.id) {
                    choice.members.push_back(member->GetId());
                    upToDate = upToDate && UpToDate(member);
                }
            }
        } else {
            upToDate = UpToDate(component);
        }
        choice.installed = upToDate;
        catalogue.choices.push_back(choice);
    }

    std::vector<PluginRecord> plugins;
    engine.GetBundlePlugins(plugins);
    for (const PluginRecord& plugin : plugins) {
        if (!PassesPluginTests(plugin, language, position)) {
            catalogue.heldBackOffers.push_back(plugin.id);
            continue;
        }
        SetupOffer offer;
        offer.plugin = plugin;
        offer.name = LocalizedOrEmpty(plugin.displayName, language);
        if (offer.name.empty()) {
            offer.name = plugin.id;
        }
        catalogue.offers.push_back(offer);
    }
    return true;
}

uint32_t ComponentsToInstall(VomoInstallImpl& engine, const SetupCatalogue& catalogue,
                             const std::vector<std::string>& chosen,
                             vmi::ComponentList& components) {
    vmi::ComponentList selected;
    std::set<std::string> selectedIds;
    for (const SetupChoice& choice : catalogue.choices) {
        if (choice.optional && std::find(chosen.begin(), chosen.end(), choice.id) == chosen.end()) {
            continue;
        }
        const std::vector<std::string> ids =
            choice.installGroup ? choice.members : std::vector<std::string>{choice.id};
        for (const std::string& id : ids) {
            vmi::ComponentPtr component;
            if (engine.GetComponent(id, component) == 0 && selectedIds.insert(id).second) {
                selected.push_back(component);
            }
        }
    }
    vmi::ComponentList ordered;
    if (engine.OrderComponents(selected, ordered) != 0) {
        return 2;
    }
    components.clear();
    for (const vmi::ComponentPtr& component : ordered) {
        if (!UpToDate(component)) {
            components.push_back(component);
        }
    }
    return 0;
}

}  // namespace vcmtool
