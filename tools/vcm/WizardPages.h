// The pages of vcm setup's text-mode wizard and the order the bundle group's wizard layout
// gives them.
//
// The pages, in their own order: welcome (the bundle group's heading and description), licence
// (the licence texts to accept), components (the optional components and install groups),
// offers (the plug-ins offered beside them), directory (where the product goes). The install
// and the summary always come last. A layout's placement moves one of these pages right after
// the page it names ("insertAfter"; first when it names none); page names are compared without
// regard to case, and "eula" and "license" also name the licence page, "plugins" the offers
// page. Placements of other pages, and placements after pages the terminal does not have, are
// left aside, as are their rules: a terminal cannot evaluate the rules of a graphical wizard.
#pragma once

#include <string>
#include <vector>

#include "registry/WizardPageRule.h"

namespace vcmtool {

enum class SetupPage { kWelcome, kLicence, kComponents, kOffers, kDirectory };

// The pages in the order `placements` (in layout order) give them.
std::vector<SetupPage> OrderSetupPages(const std::vector<WizardPageRule>& placements);

}  // namespace vcmtool
