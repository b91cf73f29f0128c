// IInstallTransactionCB: what an install transaction tells the session that runs it. Both
// operations are called on the transaction's thread (the session's worker), in the order the
// transaction works: download reports for every package first, then one install start per
// component. The observer is not owned and must outlive the transaction's Run.
#pragma once

#include <cstdint>
#include <string>

class IInstallTransactionCB {
public:
    virtual ~IInstallTransactionCB() = default;
    // A progress report of the package of component `index` (of `count`), `id`: bytes so far
    // and the total (0 when unknown). False stops the transfer, and with it the transaction.
    virtual bool OnDownloadProgress(uint32_t progress, uint32_t progressMax, uint32_t index,
                                    uint32_t count, const std::string& id) = 0;
    // The installer of component `index` (of `count`), `id`, is about to be run.
    virtual void OnInstallStart(uint32_t index, uint32_t count, const std::string& id) = 0;
};
