// The registry layout of installed components, bundle groups, install groups, the stored wizard
// layout and installed plug-ins, below "SOFTWARE\Vomo\" in the machine hive.
// Results: 0 success, 6 a key could not be opened, created or deleted, 2 nothing stored.
// A component id names the key "Install\<id>". Ids that are empty, hold "\" or "/", or are the
// product's own key "Setup" (in any case) are refused by every operation that writes, removes or
// reads a component's key: 6, or false from IsComponentInstalled, with nothing touched.
// GetInstalledComponentIds lists "Setup" with the component ids; callers skip it.
// WriteComponent writes "InstalledVersion" last and removes the optional values the record
// lacks, so that a record written over an older one reads as the older version until it is
// complete. ReadComponent reads a missing "PackageType" as nsis.
// Holds no state between calls; any thread may call, each operation opening its own keys.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/ComponentRecord.h"
#include "registry/WizardPageRule.h"
#include "settings/IInstallerSettings.h"

// A plug-in as the registry keeps it: id and source URL.
struct InstalledPlugin {
    std::string id;
    std::string sourceUrl;
};

class IComponentRegistry {
public:
    virtual ~IComponentRegistry() = default;  // 0
    virtual uint32_t WriteComponent(const ComponentRecord& record,
                                    IInstallerSettings& writer) = 0;               // 1
    virtual uint32_t SaveComponent(const ComponentRecord& record) = 0;             // 2
    virtual uint32_t SaveComponentDisplayInfo(const ComponentRecord& record) = 0;  // 3
    virtual uint32_t RemoveComponent(const std::string& id) = 0;                   // 4
    virtual uint32_t GetInstalledComponentIds(std::set<std::string>& ids) = 0;     // 5
    virtual uint32_t ReadComponent(const std::string& id, ComponentRecord& record,
                                   IInstallerSettings& reader) = 0;                      // 6
    virtual uint32_t LoadComponent(const std::string& id, ComponentRecord& record) = 0;  // 7
    virtual uint32_t GetDependencies(const std::string& id,
                                     std::vector<std::string>& ids) = 0;  // 8
    virtual uint32_t SetDependencies(const std::string& id,
                                     const std::vector<std::string>& ids) = 0;  // 9
    virtual bool IsComponentInstalled(const std::string& id) = 0;               // 10
    virtual uint32_t AddBundleGroupMember(const std::string& groupId,
                                          const std::string& memberId) = 0;  // 11
    virtual uint32_t GetBundleGroupMembers(const std::string& groupId,
                                           std::set<std::string>& members) = 0;  // 12
    virtual uint32_t AddBundleGroupPrivateMember(const std::string& groupId,
                                                 const std::string& memberId) = 0;  // 13
    virtual uint32_t GetBundleGroupPrivateMembers(const std::string& groupId,
                                                  std::set<std::string>& members) = 0;   // 14
    virtual uint32_t GetBundleGroupIds(std::set<std::string>& ids) = 0;                  // 15
    virtual uint32_t RemoveBundleGroup(const std::string& groupId) = 0;                  // 16
    virtual uint32_t LoadInstallGroups(std::vector<ComponentRecord>& groups) = 0;        // 17
    virtual uint32_t SaveInstallGroups(const std::vector<ComponentRecord>& groups) = 0;  // 18
    virtual uint32_t RemoveInstallGroups(const std::vector<std::string>& ids) = 0;       // 19
    virtual uint32_t SyncWizardLayout(std::vector<WizardPageRule>& rules) = 0;           // 20
    virtual uint32_t SavePlugin(const InstalledPlugin& plugin) = 0;                      // 21
    virtual uint32_t LoadPlugins(std::vector<InstalledPlugin>& plugins) = 0;             // 22
};

boost::shared_ptr<IComponentRegistry> CreateComponentRegistry();
