#include "tools/vcm/WizardPages.h"

#include <algorithm>

#include "platform/AsciiCase.h"

namespace vcmtool {

namespace {

struct PageName {
    const char* name;
    SetupPage page;
};

const PageName kPageNames[] = {
    {"welcome", SetupPage::kWelcome},       {"licence", SetupPage::kLicence},
    {"license", SetupPage::kLicence},       {"eula", SetupPage::kLicence},
    {"components", SetupPage::kComponents}, {"offers", SetupPage::kOffers},
    {"plugins", SetupPage::kOffers},        {"directory", SetupPage::kDirectory},
};

bool FindPage(const std::string& name, SetupPage& page) {
    for (const PageName& known : kPageNames) {
        if (platform::AsciiEqualNoCase(name, known.name)) {
            page = known.page;
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<SetupPage> OrderSetupPages(const std::vector<WizardPageRule>& placements) {
    std::vector<SetupPage> pages = {SetupPage::kWelcome, SetupPage::kLicence,
                                    SetupPage::kComponents, SetupPage::kOffers,
                                    SetupPage::kDirectory};
    for (const WizardPageRule& placement : placements) {
        SetupPage page;
        SetupPage after;
        if (!FindPage(placement.pageId, page)) {
            continue;
        }
        const bool first = placement.insertAfterId.empty();
        if (!first && (!FindPage(placement.insertAfterId, after) || after == page)) {
            continue;
        }
        pages.erase(std::find(pages.begin(), pages.end(), page));
        const auto at = first ? pages.begin() : std::find(pages.begin(), pages.end(), after) + 1;
        pages.insert(at, page);
    }
    return pages;
}

}  // namespace vcmtool
