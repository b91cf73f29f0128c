#include "packages/PackageLauncherFactory.h"

#include <boost/make_shared.hpp>

#include "packages/NSISPackageLauncher.h"

namespace {

uint32_t MakeLauncher(boost::shared_ptr<IPackageLauncher>& launcher, PackageType type,
                      const std::string& id, const std::string& installDir,
                      const std::string& packageSha256,
                      const boost::shared_ptr<vmi::IEventLog>& log) {
    if (type != kPackageNsis) {
        return 6;
    }
    const boost::shared_ptr<NSISPackageLauncher> made =
        boost::make_shared<NSISPackageLauncher>(id, installDir, log);
    made->ExpectPackageDigest(packageSha256);
    launcher = made;
    return 0;
}

}  // namespace

uint32_t PackageLauncherFactory::CreateComponentLauncher(
    boost::shared_ptr<IPackageLauncher>& launcher, const ComponentRecord& record,
    const boost::shared_ptr<vmi::IEventLog>& log) {
    return MakeLauncher(launcher, record.packageType, record.id, record.installDir,
                        record.packageSha256, log);
}

uint32_t PackageLauncherFactory::CreateOfferLauncher(boost::shared_ptr<IPackageLauncher>& launcher,
                                                     const OfferRecord& record,
                                                     const boost::shared_ptr<vmi::IEventLog>& log) {
    return MakeLauncher(launcher, record.packageType, record.id, record.installDir,
                        record.packageSha256, log);
}
