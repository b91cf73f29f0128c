// A bundle group: what the installer shows for an offer (heading, description, the name of its
// uninstaller entry), the licence texts the user accepts with it, its components, the address
// opened after the install and the wizard layout its pages follow.
//
// A group comes either from the manifest (the group of the selected bundle, with texts in every
// language the manifest gives) or from the registry (a group recorded for an installed offer:
// its texts in the one language they were stored in, its recorded members as its components,
// and no licence texts, address or layout).
//
// Contract: the engine hands out snapshots; the object is immutable, so its operations may be
// called from any thread. Getters of optional parts answer 2 when the part is absent (a null
// text, an empty list or string) and leave their output untouched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/IMultiLangString.h"
#include "offers/IEula.h"

namespace vmi {

class IBundleGroup {
public:
    virtual uint32_t GetId(std::string& id) = 0;                                         // 0: 0
    virtual uint32_t GetHeading(boost::shared_ptr<IMultiLangString>& text) = 0;          // 1
    virtual uint32_t GetDescription(boost::shared_ptr<IMultiLangString>& text) = 0;      // 2
    virtual uint32_t GetUninstallerName(boost::shared_ptr<IMultiLangString>& text) = 0;  // 3
    // The ids of the group's eulaRef elements, in document order.
    virtual uint32_t GetEulaIds(std::vector<std::string>& ids) = 0;  // 4
    // The licence texts those ids name (the first licence text of each id; unknown ids are
    // left out).
    virtual uint32_t GetEulas(std::vector<boost::shared_ptr<IEula>>& eulas) = 0;  // 5
    // From the manifest: the ids of the group's componentRef elements. From the registry: the
    // recorded members.
    virtual uint32_t GetComponentIds(std::vector<std::string>& ids) = 0;  // 6
    virtual uint32_t GetPostInstallUrl(std::string& url) = 0;             // 7
    virtual uint32_t GetWizardLayoutId(std::string& id) = 0;              // 8
    // The marketing bundle version: the manifest's, or the one recorded with the group.
    virtual uint32_t GetMarketingBundleVersion(std::string& version) = 0;  // 9
    virtual ~IBundleGroup() = default;                                     // 10
};

}  // namespace vmi
