#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "api/Url.h"

// The host program's directory and the text of the calling thread's last system error. The
// object is released only through its shared pointer, so the destructor is not virtual.
class IOSUtilities {
public:
    virtual bool GetHostDirectory(Url& directory) = 0;
    virtual std::string GetLastErrorText() = 0;

protected:
    ~IOSUtilities() = default;
};

boost::shared_ptr<IOSUtilities> CreateOSUtilities();
