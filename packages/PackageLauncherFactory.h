// PackageLauncherFactory: makes NSISPackageLauncher objects for nsis packages.
#pragma once

#include "packages/IPackageLauncherFactory.h"

class PackageLauncherFactory : public IPackageLauncherFactory {
public:
    uint32_t CreateComponentLauncher(boost::shared_ptr<IPackageLauncher>& launcher,
                                     const ComponentRecord& record,
                                     const boost::shared_ptr<vmi::IEventLog>& log) override;
    uint32_t CreateOfferLauncher(boost::shared_ptr<IPackageLauncher>& launcher,
                                 const OfferRecord& record,
                                 const boost::shared_ptr<vmi::IEventLog>& log) override;
};
