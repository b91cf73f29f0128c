// A bundle group as a plain record (from the manifest, or from the registry copy kept for an
// installed offer), and the factory of the vmi::IBundleGroup snapshots the engine hands out.
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/IMultiLangString.h"
#include "offers/IBundleGroup.h"
#include "offers/IEula.h"

struct BundleGroupRecord {
    std::string id;
    boost::shared_ptr<vmi::IMultiLangString> heading;      // null when absent
    boost::shared_ptr<vmi::IMultiLangString> description;  // null when absent
    boost::shared_ptr<vmi::IMultiLangString> uninstallerName;
    std::vector<std::string> eulaIds;
    std::vector<boost::shared_ptr<vmi::IEula>> eulas;
    std::vector<std::string> componentIds;
    std::string postInstallUrl;
    std::string wizardLayoutId;
    std::string marketingBundleVersion;
};

boost::shared_ptr<vmi::IBundleGroup> CreateBundleGroup(const BundleGroupRecord& record);
