// IPackageLauncherFactory: makes the launcher of a component's or an offer's installer package.
//
// Each operation answers 6, and leaves `launcher` as it is, unless the record's package type is
// nsis; otherwise 0 with a new launcher for the record's id and install directory that writes
// its lines to `log` (which may be null: no lines). The record's packageSha256 becomes the
// digest the package must have when it runs elevated (NSISPackageLauncher's
// ExpectPackageDigest): the install transaction hands in the digest of the file it verified.
// Any thread.
#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "engine/ComponentRecord.h"
#include "engine/IEventLog.h"
#include "offers/OfferRecord.h"
#include "packages/IPackageLauncher.h"

class IPackageLauncherFactory {
public:
    virtual ~IPackageLauncherFactory() = default;
    virtual uint32_t CreateComponentLauncher(boost::shared_ptr<IPackageLauncher>& launcher,
                                             const ComponentRecord& record,
                                             const boost::shared_ptr<vmi::IEventLog>& log) = 0;
    virtual uint32_t CreateOfferLauncher(boost::shared_ptr<IPackageLauncher>& launcher,
                                         const OfferRecord& record,
                                         const boost::shared_ptr<vmi::IEventLog>& log) = 0;
};
