// What the selected bundle offers a first install, as vcm setup shows it: the bundle group's
// texts and licence texts, the components and install groups to choose, and the plug-ins
// offered beside them; and the components a choice installs.
//
// Choices. Every component the bundle reaches is a choice of its own, except the members of an
// install group that the bundle also reaches: the group is then one choice for all of them.
// A choice that is not optional is always installed; an optional one is installed when chosen
// (by default when its manifest says it is checked by default). A choice whose components are
// all installed in the manifest's version is shown as installed and installs nothing.
//
// Offers: the selected bundle's plug-ins that pass their plug-in tests on this machine
// (PluginTests.h), in the bundle's order; the others are never shown nor run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/IComponent.h"
#include "offers/IEula.h"
#include "offers/PluginRecord.h"
#include "registry/WizardPageRule.h"
#include "tools/vcm/PluginTests.h"

class VomoInstallImpl;

namespace vcmtool {

struct SetupChoice {
    std::string id;  // the component's, or the install group's
    std::string name;
    std::string description;
    bool optional = false;
    bool defaultChecked = false;
    bool installed = false;  // nothing of it left to install
    bool installGroup = false;
    std::vector<std::string> members;  // an install group's component ids
};

struct SetupOffer {
    PluginRecord plugin;
    std::string name;
};

struct SetupCatalogue {
    std::string groupId;
    std::string heading;
    std::string description;
    std::string marketingVersion;
    std::vector<boost::shared_ptr<vmi::IEula>> licences;
    std::vector<WizardPageRule> layout;
    std::vector<SetupChoice> choices;
    std::vector<SetupOffer> offers;
    std::vector<std::string> heldBackOffers;  // ids of the plug-ins whose tests fail here
};

// Reads the catalogue of a loaded engine; texts in `language`. False when the selected bundle
// reaches no component.
bool ReadSetupCatalogue(VomoInstallImpl& engine, const std::string& language,
                        SetupCatalogue& catalogue, SamplePosition position = MachineSamplePosition);

// The components to install for the `chosen` optional choices (the others' ids) with the
// choices that are not optional, and every component they require that is not installed in
// the manifest's version, in install order; components installed in the manifest's version
// are left out. 0; 2 when a required component is not in the manifest or the components
// require each other in a circle.
uint32_t ComponentsToInstall(VomoInstallImpl& engine, const SetupCatalogue& catalogue,
                             const std::vector<std::string>& chosen,
                             vmi::ComponentList& components);

}  // namespace vcmtool
