#include "packages/OSUtilities.h"

#include <exception>

#include <boost/make_shared.hpp>

#include "platform/HostDirectory.h"
#include "platform/LastError.h"

bool OSUtilities::GetHostDirectory(Url& directory) {
    std::string path;
    if (!platform::GetHostDirectory(path)) {
        return false;
    }
    try {
        directory = Url::FromPath(path);
    } catch (const std::exception&) {
        return false;  // a folder name that is not UTF-8
    }
    return true;
}

std::string OSUtilities::GetLastErrorText() {
    return platform::GetLastErrorText();
}

boost::shared_ptr<IOSUtilities> CreateOSUtilities() {
    return boost::make_shared<OSUtilities>();
}
