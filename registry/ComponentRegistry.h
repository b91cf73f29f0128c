#pragma once

#include "registry/IComponentRegistry.h"

// The installed-component registry over the settings store. It keeps no state: every operation
// opens the keys it needs and releases them before it returns. Ids that hold a path separator
// are refused wherever a key name is made from them (not installed, or 6).
class ComponentRegistry : public IComponentRegistry {
public:
    uint32_t WriteComponent(const ComponentRecord& record, IInstallerSettings& writer) override;
    uint32_t SaveComponent(const ComponentRecord& record) override;
    uint32_t SaveComponentDisplayInfo(const ComponentRecord& record) override;
    uint32_t RemoveComponent(const std::string& id) override;
    uint32_t GetInstalledComponentIds(std::set<std::string>& ids) override;
    uint32_t ReadComponent(const std::string& id, ComponentRecord& record,
                           IInstallerSettings& reader) override;
    uint32_t LoadComponent(const std::string& id, ComponentRecord& record) override;
    uint32_t GetDependencies(const std::string& id, std::vector<std::string>& ids) override;
    uint32_t SetDependencies(const std::string& id, const std::vector<std::string>& ids) override;
    bool IsComponentInstalled(const std::string& id) override;
    uint32_t AddBundleGroupMember(const std::string& groupId, const std::string& memberId) override;
    uint32_t GetBundleGroupMembers(const std::string& groupId,
                                   std::set<std::string>& members) override;
    uint32_t AddBundleGroupPrivateMember(const std::string& groupId,
                                         const std::string& memberId) override;
    uint32_t GetBundleGroupPrivateMembers(const std::string& groupId,
                                          std::set<std::string>& members) override;
    uint32_t GetBundleGroupIds(std::set<std::string>& ids) override;
    uint32_t RemoveBundleGroup(const std::string& groupId) override;
    uint32_t LoadInstallGroups(std::vector<ComponentRecord>& groups) override;
    uint32_t SaveInstallGroups(const std::vector<ComponentRecord>& groups) override;
    uint32_t RemoveInstallGroups(const std::vector<std::string>& ids) override;
    uint32_t SyncWizardLayout(std::vector<WizardPageRule>& rules) override;
    uint32_t SavePlugin(const InstalledPlugin& plugin) override;
    uint32_t LoadPlugins(std::vector<InstalledPlugin>& plugins) override;
};

// List values: ids joined with ";" (nothing before the first or after the last); an empty text
// is an empty list.
std::string JoinList(const std::vector<std::string>& items);
std::vector<std::string> SplitListValue(const std::string& text);
