#pragma once

#include <boost/shared_ptr.hpp>

#include "api/Url.h"
#include "packages/ISyncDownloadCB.h"

// A blocking download of a URL to a local file, relaying progress to one observer.
class ISyncDownload {
public:
    virtual ~ISyncDownload() = default;
    // Attaches the observer (not owned); also during a running transfer. Always true.
    virtual bool SetCallback(ISyncDownloadCB* callback) = 0;
    // Detaches the observer; also during a running transfer. Always true.
    virtual bool ClearCallback() = 0;
    // Downloads `url` to the local file `file` (a "file" Url); true on success.
    virtual bool Download(const Url& url, const Url& file) = 0;
};

// A download for installer packages: a resource larger than kPackageMaxBytes fails.
boost::shared_ptr<ISyncDownload> CreateSyncDownload();
