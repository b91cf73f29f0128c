#include "registry/ComponentRegistry.h"

#include <algorithm>
#include <map>

#include <boost/make_shared.hpp>

#include "settings/IVomoSettings.h"
#include "settings/InstallerSettingsImpl.h"
#include "settings/KeyName.h"
#include "settings/SettingsAccessors.h"

namespace {

using vmds::IVomoSettings;

// Keys below the product key.
const char kInstallKey[] = "Install";
const char kBundleGroupsKey[] = "Install\\Setup\\BundleGroups";
const char kInstallGroupsKey[] = "Install\\Setup\\InstallGroups";
const char kWizardLayoutKey[] = "Install\\Setup\\WizardLayout";
const char kPluginsKey[] = "Install\\Setup\\Plugins";
// The same keys relative to the install area, for the one-shot accessors.
const char kInstallGroupsArea[] = "Setup\\InstallGroups\\";
const char kPrivateKey[] = "_private";

const uint32_t kOk = 0;
const uint32_t kNothingStored = 2;
const uint32_t kKeyUnavailable = 6;

std::string Child(const std::string& parent, const std::string& name) {
    return parent + "\\" + name;
}

bool Open(const std::string& path, uint32_t mode, IVomoSettings::Ptr& node) {
    return vmds::OpenSettings(path, mode, &node) && node;
}

// Subkey names of a machine-hive key opened for reading.
bool SubKeyNames(const std::string& path, std::set<std::string>& names) {
    IVomoSettings::Ptr node;
    if (!Open(path, vmds::kOpenMachineRead, node)) {
        return false;
    }
    IVomoSettings::NameSetU found;
    if (!node->GetSubKeyNames(found)) {
        return false;
    }
    names.insert(found.begin(), found.end());
    return true;
}

// Opens, for reading, every subkey of `path` whose name is a plain key name and hands it to
// `visit`; false when `path` itself cannot be read.
template <class Visit>
bool ForEachSubKey(const std::string& path, Visit visit) {
    std::set<std::string> names;
    if (!SubKeyNames(path, names)) {
        return false;
    }
    for (const std::string& name : names) {
        IVomoSettings::Ptr node;
        if (vmds::IsPlainKeyName(name) && Open(Child(path, name), vmds::kOpenMachineRead, node)) {
            visit(name, *node);
        }
    }
    return true;
}

void ReadText(IVomoSettings& node, const char* name, std::string& field) {
    std::string value;
    if (node.GetString(std::string(name), value)) {
        field = value;
    }
}

std::string PackageTypeText(PackageType type) {
    switch (type) {
        case kPackageExe:
            return "exe";
        case kPackageNsis:
            return "nsis";
        default:
            return std::string();
    }
}

}  // namespace

std::string JoinList(const std::vector<std::string>& items) {
    std::string text;
    for (std::vector<std::string>::size_type i = 0; i < items.size(); ++i) {
        if (i > 0) {
            text += ';';
        }
        text += items[i];
    }
    return text;
}

std::vector<std::string> SplitListValue(const std::string& text) {
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find(';', start);
        items.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return items;
}

boost::shared_ptr<IComponentRegistry> CreateComponentRegistry() {
    return boost::make_shared<ComponentRegistry>();
}

uint32_t ComponentRegistry::WriteComponent(const ComponentRecord& r, IInstallerSettings& writer) {
    const std::string& id = r.id;
    if (!vmds::IsComponentKeyName(id)) {
        return kKeyUnavailable;
    }
    // Written in this order; the first write that fails ends the operation with 6, so that a
    // record that could not be stored is never reported as saved.
    //
    // The record may replace an older one in place (an update keeps the installed record until
    // the new one is complete), so "InstalledVersion" comes last: should the process end in the
    // middle, the component still reads as the version it had, and the update stays due. The
    // optional values an older record had and this one lacks are removed before it, so that
    // the record reads back as written.
    const auto optional = [&](const char* name, const std::string& text) {
        return text.empty() ? vmds::DeleteInstallValue(id, name) : writer.SetString(id, name, text);
    };
    bool ok = writer.SetBool(id, "IsOptional", r.isOptional) &&
              writer.SetBool(id, "IsDefaultChecked", r.isDefaultChecked) &&
              writer.SetNumber(id, "InstallSize", r.installSize) &&
              writer.SetString(id, "ComponentId", r.id) &&
              writer.SetString(id, "DisplayVersion", r.displayVersion) &&
              writer.SetString(id, "InstallGroupId", r.installGroup) &&
              writer.SetString(id, "Description", r.description) &&
              writer.SetString(id, "Name", r.name) &&
              writer.SetString(id, "CommandLineArgs", r.commandLineArgs) &&
              writer.SetString(id, "PackageUrl", r.packageUrl.ToString()) &&
              writer.SetString(id, "Locale", r.locale) && optional("StreamId", r.streamId) &&
              optional("PackageType", PackageTypeText(r.packageType)) &&
              writer.SetString(id, "Dependencies", JoinList(r.dependencies)) &&
              writer.SetString(id, "OptionalDependencies", JoinList(r.optionalDependencies)) &&
              writer.SetString(id, "DynamicDependencies", JoinList(r.dynamicDependencies)) &&
              writer.SetString(id, "ShutdownModules", JoinList(r.shutdownModules)) &&
              writer.SetString(id, "ResourceDescriptors", JoinList(r.resourceRefs)) &&
              writer.SetString(id, "EulaIds", JoinList(r.auxiliaryRefs)) &&
              optional("uninstallProgText", r.uninstallProgressText) &&
              writer.SetString(id, "InstalledVersion", r.installedVersion.ToString());
    return ok ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::SaveComponent(const ComponentRecord& record) {
    InstallerSettingsImpl writer;
    return WriteComponent(record, writer);
}

uint32_t ComponentRegistry::SaveComponentDisplayInfo(const ComponentRecord& r) {
    const std::string& id = r.id;
    if (!vmds::IsComponentKeyName(id)) {
        return kKeyUnavailable;
    }
    InstallerSettingsImpl writer;
    bool ok = writer.SetBool(id, "IsOptional", r.isOptional) &&
              writer.SetBool(id, "IsDefaultChecked", r.isDefaultChecked) &&
              writer.SetString(id, "InstallGroupId", r.installGroup) &&
              writer.SetString(id, "Description", r.description) &&
              writer.SetString(id, "Name", r.name) && writer.SetString(id, "Locale", r.locale);
    if (ok && !r.streamId.empty()) {
        ok = writer.SetString(id, "StreamId", r.streamId);
    }
    if (ok && !r.uninstallProgressText.empty()) {
        ok = writer.SetString(id, "uninstallProgText", r.uninstallProgressText);
    }
    return ok ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::RemoveComponent(const std::string& id) {
    if (!vmds::IsComponentKeyName(id)) {
        return kKeyUnavailable;
    }
    return vmds::DeleteInstallKey(id) ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::GetInstalledComponentIds(std::set<std::string>& ids) {
    ids.clear();
    return SubKeyNames(kInstallKey, ids) ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::ReadComponent(const std::string& id, ComponentRecord& r,
                                          IInstallerSettings& reader) {
    if (!vmds::IsComponentKeyName(id) || !vmds::InstallKeyExists(id)) {
        return kKeyUnavailable;
    }
    // A missing value leaves its field as it was.
    const auto text = [&](const char* name, std::string& field) {
        std::string value;
        if (reader.GetString(id, name, value)) {
            field = value;
            return true;
        }
        return false;
    };
    const auto list = [&](const char* name, std::vector<std::string>& field) {
        std::string value;
        if (reader.GetString(id, name, value)) {
            field = SplitListValue(value);
        }
    };
    bool flag = false;
    if (vmds::ReadInstallBool(id, "IsOptional", flag)) {
        r.isOptional = flag;
    }
    if (vmds::ReadInstallBool(id, "IsDefaultChecked", flag)) {
        r.isDefaultChecked = flag;
    }
    uint32_t number = 0;
    if (vmds::ReadInstallNumber(id, "InstallSize", number)) {
        r.installSize = number;
    }
    text("ComponentId", r.id);
    text("DisplayVersion", r.displayVersion);
    text("InstallGroupId", r.installGroup);
    text("Description", r.description);
    text("Name", r.name);
    text("InstallDir", r.installDir);
    text("Locale", r.locale);
    text("CommandLineArgs", r.commandLineArgs);
    text("StreamId", r.streamId);
    std::string value;
    if (text("PackageUrl", value)) {
        Url url;
        try {
            url.Parse(value);
        } catch (...) {
            url = Url();  // registry texts are valid UTF-8; a broken one reads as no URL
        }
        r.packageUrl = url;
    }
    // Without the value (a record whose writing was cut short after its installer had run),
    // the package type is nsis, the one type a launcher exists for, so that the component can
    // still be uninstalled and updated.
    if (text("PackageType", value)) {
        r.packageType = value == "exe"    ? kPackageExe
                        : value == "nsis" ? kPackageNsis
                                          : kPackageNone;
    } else {
        r.packageType = kPackageNsis;
    }
    if (text("InstalledVersion", value)) {
        r.installedVersion = Version(value);
    }
    list("Dependencies", r.dependencies);
    list("OptionalDependencies", r.optionalDependencies);
    list("DynamicDependencies", r.dynamicDependencies);
    list("ShutdownModules", r.shutdownModules);
    list("ResourceDescriptors", r.resourceRefs);
    text("uninstallProgText", r.uninstallProgressText);
    return kOk;
}

uint32_t ComponentRegistry::LoadComponent(const std::string& id, ComponentRecord& record) {
    InstallerSettingsImpl reader;
    return ReadComponent(id, record, reader);
}

uint32_t ComponentRegistry::GetDependencies(const std::string& id, std::vector<std::string>& ids) {
    if (!vmds::IsComponentKeyName(id) || !vmds::InstallKeyExists(id)) {
        return kKeyUnavailable;
    }
    std::string value;
    vmds::ReadInstallString(id, "Dependencies", value);
    ids = SplitListValue(value);
    return kOk;
}

uint32_t ComponentRegistry::SetDependencies(const std::string& id,
                                            const std::vector<std::string>& ids) {
    if (!vmds::IsComponentKeyName(id) || !vmds::InstallKeyExists(id)) {
        return kKeyUnavailable;
    }
    return vmds::WriteInstallString(id, "Dependencies", JoinList(ids)) ? kOk : kKeyUnavailable;
}

bool ComponentRegistry::IsComponentInstalled(const std::string& id) {
    return vmds::IsComponentKeyName(id) && vmds::InstallKeyExists(id);
}

uint32_t ComponentRegistry::AddBundleGroupMember(const std::string& groupId,
                                                 const std::string& memberId) {
    if (!vmds::IsPlainKeyName(groupId) || !vmds::IsPlainKeyName(memberId)) {
        return kKeyUnavailable;
    }
    const std::string path = Child(Child(kBundleGroupsKey, groupId), memberId);
    return vmds::OpenSettings(path, vmds::kCreateMachine, nullptr) ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::GetBundleGroupMembers(const std::string& groupId,
                                                  std::set<std::string>& members) {
    if (!vmds::IsPlainKeyName(groupId)) {
        return kKeyUnavailable;
    }
    std::set<std::string> names;
    if (!SubKeyNames(Child(kBundleGroupsKey, groupId), names)) {
        return kKeyUnavailable;
    }
    for (const std::string& name : names) {
        if (!vmds::SameKeyName(name, kPrivateKey)) {
            members.insert(name);
        }
    }
    return kOk;
}

uint32_t ComponentRegistry::AddBundleGroupPrivateMember(const std::string& groupId,
                                                        const std::string& memberId) {
    if (!vmds::IsPlainKeyName(groupId) || !vmds::IsPlainKeyName(memberId)) {
        return kKeyUnavailable;
    }
    const std::string path = Child(Child(Child(kBundleGroupsKey, groupId), kPrivateKey), memberId);
    return vmds::OpenSettings(path, vmds::kCreateMachine, nullptr) ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::GetBundleGroupPrivateMembers(const std::string& groupId,
                                                         std::set<std::string>& members) {
    if (!vmds::IsPlainKeyName(groupId)) {
        return kKeyUnavailable;
    }
    return SubKeyNames(Child(Child(kBundleGroupsKey, groupId), kPrivateKey), members)
               ? kOk
               : kKeyUnavailable;
}

uint32_t ComponentRegistry::GetBundleGroupIds(std::set<std::string>& ids) {
    ids.clear();
    return SubKeyNames(kBundleGroupsKey, ids) ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::RemoveBundleGroup(const std::string& groupId) {
    if (!vmds::IsPlainKeyName(groupId)) {
        return kKeyUnavailable;
    }
    IVomoSettings::Ptr node;
    if (!Open(Child(kBundleGroupsKey, groupId), vmds::kOpenMachineWrite, node)) {
        return kKeyUnavailable;
    }
    return node->DeleteKey() ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::LoadInstallGroups(std::vector<ComponentRecord>& groups) {
    const bool read =
        ForEachSubKey(kInstallGroupsKey, [&](const std::string& name, IVomoSettings& node) {
            ComponentRecord group;
            std::string members;
            uint32_t size = 0;
            bool optional = false;
            ReadText(node, "ComponentId", group.id);
            ReadText(node, "DisplayVersion", group.displayVersion);
            ReadText(node, "Description", group.description);
            if (node.GetUInt32(std::string("InstallSize"), size)) {
                group.installSize = size;
            }
            if (node.GetBool(std::string("IsOptional"), optional)) {
                group.isOptional = optional;
            }
            ReadText(node, "Locale", group.locale);
            ReadText(node, "Name", group.name);
            ReadText(node, "StreamId", group.streamId);
            std::string resources;
            ReadText(node, "ResourceDescriptors", resources);
            group.resourceRefs = SplitListValue(resources);
            ReadText(node, "InstallGroupComponents", members);

            if (!members.empty()) {
                group.auxiliaryIds = SplitListValue(members);
            } else if (!group.id.empty()) {
                // Rebuild the members from the components that name this group, and keep them. A
                // group without an id would otherwise collect every component outside any group.
                std::set<std::string> installed;
                GetInstalledComponentIds(installed);
                for (const std::string& id : installed) {
                    std::string groupOfComponent;
                    if (vmds::IsComponentKeyName(id) &&
                        vmds::ReadInstallString(id, "InstallGroupId", groupOfComponent) &&
                        groupOfComponent == group.id) {
                        group.auxiliaryIds.push_back(id);
                    }
                }
                if (!group.auxiliaryIds.empty()) {
                    vmds::WriteInstallString(kInstallGroupsArea + name, "InstallGroupComponents",
                                             JoinList(group.auxiliaryIds));
                }
            }
            std::sort(group.auxiliaryIds.begin(), group.auxiliaryIds.end());
            groups.push_back(group);
        });
    return read ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::SaveInstallGroups(const std::vector<ComponentRecord>& groups) {
    if (!vmds::OpenSettings(kInstallGroupsKey, vmds::kCreateMachine, nullptr)) {
        return kKeyUnavailable;
    }
    for (const ComponentRecord& group : groups) {
        IVomoSettings::Ptr node;
        if (!vmds::IsPlainKeyName(group.id) ||
            !Open(Child(kInstallGroupsKey, group.id), vmds::kCreateMachine, node)) {
            return kKeyUnavailable;
        }
        bool ok = node->SetString(std::string("ComponentId"), group.id) &&
                  node->SetString(std::string("DisplayVersion"), group.displayVersion) &&
                  node->SetString(std::string("Description"), group.description) &&
                  node->SetUInt32(std::string("InstallSize"), group.installSize) &&
                  node->SetBool(std::string("IsOptional"), group.isOptional) &&
                  node->SetString(std::string("Locale"), group.locale) &&
                  node->SetString(std::string("Name"), group.name) &&
                  node->SetString(std::string("StreamId"), group.streamId) &&
                  node->SetString(std::string("ResourceDescriptors"), JoinList(group.resourceRefs));
        if (!ok) {
            return kKeyUnavailable;
        }

        // Members: those stored before, minus the ones another group of this save claims,
        // plus the record's own.
        std::string stored;
        ReadText(*node, "InstallGroupComponents", stored);
        const std::vector<std::string> storedList = SplitListValue(stored);
        std::set<std::string> members(storedList.begin(), storedList.end());
        for (const ComponentRecord& other : groups) {
            if (other.id == group.id) {
                continue;
            }
            for (const std::string& member : other.auxiliaryIds) {
                members.erase(member);
            }
        }
        members.insert(group.auxiliaryIds.begin(), group.auxiliaryIds.end());
        if (!members.empty()) {
            const std::vector<std::string> ordered(members.begin(), members.end());
            if (!node->SetString(std::string("InstallGroupComponents"), JoinList(ordered))) {
                return kKeyUnavailable;
            }
        }
    }
    return kOk;
}

uint32_t ComponentRegistry::RemoveInstallGroups(const std::vector<std::string>& ids) {
    if (ids.empty()) {
        return kKeyUnavailable;
    }
    bool all = true;
    for (const std::string& id : ids) {
        IVomoSettings::Ptr node;
        if (!vmds::IsPlainKeyName(id) ||
            !Open(Child(kInstallGroupsKey, id), vmds::kOpenMachineWrite, node) ||
            !node->DeleteKey()) {
            all = false;
        }
    }
    return all ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::SyncWizardLayout(std::vector<WizardPageRule>& rules) {
    if (!rules.empty()) {
        if (!vmds::OpenSettings(kWizardLayoutKey, vmds::kCreateMachine, nullptr)) {
            return kKeyUnavailable;
        }
        uint32_t position = 0;
        for (const WizardPageRule& rule : rules) {
            IVomoSettings::Ptr node;
            if (!vmds::IsPlainKeyName(rule.pageId) ||
                !Open(Child(kWizardLayoutKey, rule.pageId), vmds::kCreateMachine, node)) {
                continue;
            }
            ++position;
            node->SetString(std::string("PageId"), rule.pageId);
            node->SetString(std::string("InsertAfterId"), rule.insertAfterId);
            node->SetString(std::string("RuleToApply"), rule.ruleToApply);
            node->SetUInt32(std::string("PageOrder"), position);
        }
        return kOk;
    }

    std::map<uint32_t, WizardPageRule> byOrder;
    ForEachSubKey(kWizardLayoutKey, [&](const std::string&, IVomoSettings& node) {
        WizardPageRule rule;
        ReadText(node, "PageId", rule.pageId);
        ReadText(node, "InsertAfterId", rule.insertAfterId);
        ReadText(node, "RuleToApply", rule.ruleToApply);
        uint32_t order = 0;
        if (node.GetUInt32(std::string("PageOrder"), order)) {
            rule.pageOrder = order;
        }
        byOrder[rule.pageOrder] = rule;  // of two with the same order, the later one wins
    });
    for (const auto& entry : byOrder) {
        rules.push_back(entry.second);
    }
    return rules.empty() ? kNothingStored : kOk;
}

uint32_t ComponentRegistry::SavePlugin(const InstalledPlugin& plugin) {
    IVomoSettings::Ptr node;
    if (!vmds::IsPlainKeyName(plugin.id) ||
        !vmds::OpenSettings(kPluginsKey, vmds::kCreateMachine, nullptr) ||
        !Open(Child(kPluginsKey, plugin.id), vmds::kCreateMachine, node)) {
        return kKeyUnavailable;
    }
    const bool ok = node->SetString(std::string("PluginId"), plugin.id) &&
                    node->SetString(std::string("SourceUrl"), plugin.sourceUrl);
    return ok ? kOk : kKeyUnavailable;
}

uint32_t ComponentRegistry::LoadPlugins(std::vector<InstalledPlugin>& plugins) {
    bool any = false;
    ForEachSubKey(kPluginsKey, [&](const std::string&, IVomoSettings& node) {
        InstalledPlugin plugin;
        if (node.GetString(std::string("PluginId"), plugin.id)) {
            ReadText(node, "SourceUrl", plugin.sourceUrl);
            plugins.push_back(plugin);
            any = true;
        }
    });
    return any ? kOk : kNothingStored;
}
