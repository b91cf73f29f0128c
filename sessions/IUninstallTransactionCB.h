// IUninstallTransactionCB: what an uninstall transaction tells the session that runs it. The one
// operation is called on the transaction's thread (the session's worker), once per component,
// in removal order, before anything of that component is touched. The observer is not owned
// and must outlive the transaction's Run.
#pragma once

#include <cstdint>
#include <string>

class IUninstallTransactionCB {
public:
    virtual ~IUninstallTransactionCB() = default;
    // Component `index` (of `count`), `id`, is about to be removed.
    virtual void OnUninstallStart(uint32_t index, uint32_t count, const std::string& id) = 0;
};
