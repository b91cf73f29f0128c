#pragma once

#include <string>

#include "ping/IPingHandler.h"
#include "ping/NameValue.h"

namespace vmp {

// Queues pings and sends them from a worker thread; keeps the failed ones in the registry
// under "Install\Setup\Reports" to send them again at the next start. Results: 0 or -1.
class IPingManager {
public:
    virtual ~IPingManager() = default;
    virtual int AddHandler(IPingHandler* handler) = 0;
    virtual int RemoveHandler(IPingHandler* handler) = 0;
    virtual void Start() = 0;
    virtual bool Stop() = 0;
    virtual int SendPing(const std::string& baseUrl, const std::string& pathTemplate,
                         const NameValueList& values, bool storeOnFailure) = 0;
    virtual int SendText(const std::string& text, bool storeOnFailure, const std::string& delimiter,
                         const std::string& defaultBaseUrl) = 0;
};

}  // namespace vmp
