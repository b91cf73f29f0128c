// The installed-component registry: what it writes, read back with vomo-reg as a person would,
// and what it reads back from values written by others.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "registry/ComponentRegistry.h"
#include "settings/IVomoSettings.h"
#include "settings/InstallerSettingsImpl.h"
#include "settings/SettingsAccessors.h"
#include "support/ScopedRegistryRoot.h"
#include "support/TempDir.h"

namespace {

struct RegValue {
    std::string type;
    std::string data;
};

// The values of one machine-hive key below SOFTWARE\Vomo, as vomo-reg prints them.
bool Query(const std::string& key, std::map<std::string, RegValue>& values) {
    std::string output;
    const std::string command =
        std::string(VOMO_REG_PATH) + " query 'HKLM\\SOFTWARE\\Vomo\\" + key + "' 2>/dev/null";
    if (testsupport::RunCommandOutput(command, output) != 0) {
        return false;
    }
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, 4, "    ") != 0) {
            continue;
        }
        // "    name    TYPE    data"
        const std::string::size_type typeAt = line.find("    REG_", 4);
        if (typeAt == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(4, typeAt - 4);
        const std::string rest = line.substr(typeAt + 4);
        const std::string::size_type dataAt = rest.find("    ");
        RegValue value;
        value.type = rest.substr(0, dataAt);
        value.data = dataAt == std::string::npos ? std::string() : rest.substr(dataAt + 4);
        values[name] = value;
    }
    return true;
}

int RegAdd(const std::string& arguments) {
    return testsupport::RunCommand(std::string(VOMO_REG_PATH) + " add " + arguments +
                                   " /f >/dev/null 2>&1");
}

ComponentRecord FullRecord(const std::string& id) {
    ComponentRecord r;
    r.id = id;
    r.isOptional = true;
    r.isDefaultChecked = false;
    r.installSize = 4096;
    r.displayVersion = "2.1";
    r.installGroup = "group";
    r.description = "A description";
    r.name = "A name";
    r.commandLineArgs = "/S /quiet";
    r.packageUrl = Url("http://dl.example.com:8080/pkg/setup.exe?x=1");
    r.locale = "en-us";
    r.installedVersion = Version("2.1.0.7");
    r.streamId = "beta";
    r.packageType = kPackageNsis;
    r.dependencies = {"a", "b", "c"};
    r.optionalDependencies = {"o"};
    r.shutdownModules = {"tray.exe", "helper.exe"};
    r.resourceRefs = {"r1", "r2"};
    r.auxiliaryRefs = {"eula1"};
    r.uninstallProgressText = "Removing";
    return r;
}

class ComponentRegistryTest : public ::testing::Test {
protected:
    testsupport::ScopedRegistryRoot root;
    ComponentRegistry registry;
};

TEST_F(ComponentRegistryTest, ComponentValuesAsStored) {
    ASSERT_EQ(0u, registry.SaveComponent(FullRecord("comp")));
    std::map<std::string, RegValue> v;
    ASSERT_TRUE(Query("Install\\comp", v));
    EXPECT_EQ("REG_DWORD", v["IsOptional"].type);
    EXPECT_EQ("0x1", v["IsOptional"].data);
    EXPECT_EQ("0x0", v["IsDefaultChecked"].data);
    EXPECT_EQ("REG_QWORD", v["InstallSize"].type);
    EXPECT_EQ("0x1000", v["InstallSize"].data);
    EXPECT_EQ("REG_SZ", v["ComponentId"].type);
    EXPECT_EQ("comp", v["ComponentId"].data);
    EXPECT_EQ("group", v["InstallGroupId"].data);
    EXPECT_EQ("http://dl.example.com:8080/pkg/setup.exe?x=1", v["PackageUrl"].data);
    EXPECT_EQ("2.1.0.7", v["InstalledVersion"].data);
    EXPECT_EQ("nsis", v["PackageType"].data);
    EXPECT_EQ("a;b;c", v["Dependencies"].data);
    EXPECT_EQ("o", v["OptionalDependencies"].data);
    EXPECT_EQ("", v["DynamicDependencies"].data);
    EXPECT_EQ("REG_SZ", v["DynamicDependencies"].type);
    EXPECT_EQ("tray.exe;helper.exe", v["ShutdownModules"].data);
    EXPECT_EQ("r1;r2", v["ResourceDescriptors"].data);
    EXPECT_EQ("eula1", v["EulaIds"].data);
    EXPECT_EQ("beta", v["StreamId"].data);
    EXPECT_EQ("Removing", v["uninstallProgText"].data);
    EXPECT_EQ(21u, v.size());
}

// Also when the record replaces one that had them: it reads back as written.
TEST_F(ComponentRegistryTest, OptionalValuesAreLeftOutWhenEmpty) {
    for (PackageType type : {kPackageNone, kPackageMsi}) {
        ComponentRecord r = FullRecord("plain");
        ASSERT_EQ(0u, registry.SaveComponent(r));
        r.streamId.clear();
        r.uninstallProgressText.clear();
        r.packageType = type;
        ASSERT_EQ(0u, registry.SaveComponent(r));
        std::map<std::string, RegValue> v;
        ASSERT_TRUE(Query("Install\\plain", v));
        EXPECT_EQ(0u, v.count("StreamId"));
        EXPECT_EQ(0u, v.count("uninstallProgText"));
        EXPECT_EQ(0u, v.count("PackageType"));
        ComponentRecord back;
        back.packageType = kPackageExe;
        ASSERT_EQ(0u, registry.LoadComponent("plain", back));
        // A record cut short by a kill has none either; nsis, the one type, keeps it removable.
        EXPECT_EQ(kPackageNsis, back.packageType);
        ASSERT_EQ(0u, registry.RemoveComponent("plain"));
    }
}

TEST_F(ComponentRegistryTest, RecordRoundTrips) {
    const ComponentRecord saved = FullRecord("round");
    ASSERT_EQ(0u, registry.SaveComponent(saved));
    ASSERT_EQ(0, RegAdd("'HKLM\\SOFTWARE\\Vomo\\Install\\round' /v InstallDir /d /opt/round"));
    ComponentRecord r;
    ASSERT_EQ(0u, registry.LoadComponent("round", r));
    EXPECT_EQ(saved.id, r.id);
    EXPECT_TRUE(r.isOptional);
    EXPECT_EQ(4096u, r.installSize);
    EXPECT_EQ(saved.displayVersion, r.displayVersion);
    EXPECT_EQ(saved.installGroup, r.installGroup);
    EXPECT_EQ(saved.description, r.description);
    EXPECT_EQ(saved.name, r.name);
    EXPECT_EQ("/opt/round", r.installDir);
    EXPECT_EQ(saved.locale, r.locale);
    EXPECT_EQ(saved.commandLineArgs, r.commandLineArgs);
    EXPECT_EQ(saved.streamId, r.streamId);
    EXPECT_EQ(saved.packageUrl.ToString(), r.packageUrl.ToString());
    EXPECT_EQ(kPackageNsis, r.packageType);
    EXPECT_EQ("2.1.0.7", r.installedVersion.ToString());
    EXPECT_EQ(saved.dependencies, r.dependencies);
    EXPECT_EQ(saved.optionalDependencies, r.optionalDependencies);
    EXPECT_TRUE(r.dynamicDependencies.empty());
    EXPECT_EQ(saved.shutdownModules, r.shutdownModules);
    EXPECT_EQ(saved.resourceRefs, r.resourceRefs);
    EXPECT_TRUE(r.auxiliaryRefs.empty());  // "EulaIds" is not read back
    EXPECT_EQ(saved.uninstallProgressText, r.uninstallProgressText);

    std::vector<std::string> deps;
    ASSERT_EQ(0u, registry.GetDependencies("round", deps));
    EXPECT_EQ(saved.dependencies, deps);
    ASSERT_EQ(0u, registry.SetDependencies("round", {}));
    ASSERT_EQ(0u, registry.GetDependencies("round", deps));
    EXPECT_TRUE(deps.empty());
}

TEST_F(ComponentRegistryTest, ValuesOfTheWrongTypeReadAsAbsent) {
    const std::string key = "'HKLM\\SOFTWARE\\Vomo\\Install\\odd'";
    ASSERT_EQ(0, RegAdd(key + " /v IsOptional /t REG_SZ /d yes"));
    ASSERT_EQ(0, RegAdd(key + " /v InstallSize /t REG_SZ /d 12"));
    ASSERT_EQ(0, RegAdd(key + " /v Name /t REG_DWORD /d 7"));
    ASSERT_EQ(0, RegAdd(key + " /v InstalledVersion /d not-a-version"));
    ASSERT_EQ(0, RegAdd(key + " /v Dependencies /t REG_EXPAND_SZ /d 'x;y'"));
    ASSERT_EQ(0, RegAdd(key + " /v PackageType /d NSIS"));
    ComponentRecord r;
    r.name = "kept";
    ASSERT_EQ(0u, registry.LoadComponent("odd", r));
    EXPECT_FALSE(r.isOptional);
    EXPECT_EQ(0u, r.installSize);
    EXPECT_EQ("kept", r.name);
    EXPECT_FALSE(r.installedVersion.IsValid());
    EXPECT_TRUE(r.dependencies.empty());
    EXPECT_EQ(kPackageNone, r.packageType);  // present but neither exe nor nsis
    // A REG_DWORD size written by another program is still a number.
    ASSERT_EQ(0, RegAdd(key + " /v InstallSize /t REG_DWORD /d 0x2a"));
    ASSERT_EQ(0u, registry.LoadComponent("odd", r));
    EXPECT_EQ(42u, r.installSize);
}

TEST_F(ComponentRegistryTest, MissingComponentKey) {
    ComponentRecord r;
    r.name = "untouched";
    std::vector<std::string> deps{"x"};
    EXPECT_EQ(6u, registry.LoadComponent("missing", r));
    EXPECT_EQ("untouched", r.name);
    EXPECT_EQ(6u, registry.GetDependencies("missing", deps));
    EXPECT_EQ(std::vector<std::string>{"x"}, deps);
    EXPECT_EQ(6u, registry.SetDependencies("missing", {"a"}));
    EXPECT_FALSE(registry.IsComponentInstalled("missing"));
    EXPECT_EQ(6u, registry.RemoveComponent("missing"));
    std::set<std::string> ids{"stale"};
    EXPECT_EQ(6u, registry.GetInstalledComponentIds(ids));  // no "Install" key at all
    EXPECT_TRUE(ids.empty());
}

TEST_F(ComponentRegistryTest, InstalledIdsIncludeSetup) {
    registry.SaveComponent(FullRecord("one"));
    registry.SaveComponent(FullRecord("Two"));
    ASSERT_EQ(0u, registry.AddBundleGroupMember("g", "one"));
    std::set<std::string> ids;
    ASSERT_EQ(0u, registry.GetInstalledComponentIds(ids));
    EXPECT_EQ((std::set<std::string>{"Setup", "Two", "one"}), ids);
    EXPECT_TRUE(registry.IsComponentInstalled("one"));
    EXPECT_TRUE(registry.IsComponentInstalled("ONE"));  // key names ignore case
    ASSERT_EQ(0u, registry.RemoveComponent("one"));
    EXPECT_FALSE(registry.IsComponentInstalled("one"));
}

// An id holding a separator would address another key: "Setup\Reports" is the failed-ping
// store. Every operation that makes a key name from an id refuses it.
TEST_F(ComponentRegistryTest, IdsWithSeparatorsAreRefused) {
    ASSERT_TRUE(vmds::WriteInstallString("Setup\\Reports", "hint00", "http://h/p"));
    ComponentRecord hostile = FullRecord("Setup\\Reports");
    EXPECT_EQ(6u, registry.SaveComponent(hostile));
    EXPECT_EQ(6u, registry.SaveComponentDisplayInfo(hostile));
    hostile.id = "Setup/Reports";
    EXPECT_EQ(6u, registry.SaveComponent(hostile));
    EXPECT_FALSE(registry.IsComponentInstalled("Setup\\Reports"));
    EXPECT_FALSE(registry.IsComponentInstalled("Setup/Reports"));
    ComponentRecord r;
    EXPECT_EQ(6u, registry.LoadComponent("Setup\\Reports", r));
    EXPECT_EQ(6u, registry.SetDependencies("Setup\\Reports", {"x"}));
    EXPECT_EQ(6u, registry.RemoveComponent("Setup\\Reports"));
    EXPECT_EQ(6u, registry.AddBundleGroupMember("g\\h", "m"));
    EXPECT_EQ(6u, registry.AddBundleGroupMember("g", "..\\..\\Reports"));
    EXPECT_EQ(6u, registry.AddBundleGroupPrivateMember("g", "a/b"));
    EXPECT_EQ(6u, registry.RemoveBundleGroup("x\\..\\Reports"));
    EXPECT_EQ(6u, registry.RemoveInstallGroups({"..\\Reports"}));
    EXPECT_EQ(6u, registry.SavePlugin(InstalledPlugin{"..\\Reports", "u"}));
    ComponentRecord group;
    group.id = "a\\b";
    EXPECT_EQ(6u, registry.SaveInstallGroups({group}));
    std::vector<WizardPageRule> pages{WizardPageRule{"p/q", "", "", 0}};
    EXPECT_EQ(0u, registry.SyncWizardLayout(pages));  // the page is skipped, nothing written
    std::map<std::string, RegValue> v;
    EXPECT_FALSE(Query("Install\\Setup\\WizardLayout\\p", v));

    // The failed-ping store is as it was.
    std::map<std::string, RegValue> reports;
    ASSERT_TRUE(Query("Install\\Setup\\Reports", reports));
    EXPECT_EQ(1u, reports.size());
    EXPECT_EQ("http://h/p", reports["hint00"].data);
}

// "Install\Setup" holds the product's own keys; a component named Setup, in any case, must
// neither read, overwrite nor delete them. The product's own values stay readable.
TEST_F(ComponentRegistryTest, SetupIsNotAComponentKey) {
    ASSERT_EQ(0u, registry.AddBundleGroupMember("g", "m"));
    ASSERT_TRUE(vmds::WriteInstallString("Setup", "InstallDir", "/opt/vomo"));
    for (const char* id : {"Setup", "SETUP", "setup"}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(registry.IsComponentInstalled(id));
        ComponentRecord r;
        EXPECT_EQ(6u, registry.LoadComponent(id, r));
        std::vector<std::string> deps;
        EXPECT_EQ(6u, registry.GetDependencies(id, deps));
        EXPECT_EQ(6u, registry.SetDependencies(id, {"x"}));
        EXPECT_EQ(6u, registry.SaveComponent(FullRecord(id)));
        EXPECT_EQ(6u, registry.SaveComponentDisplayInfo(FullRecord(id)));
        EXPECT_EQ(6u, registry.RemoveComponent(id));
    }
    std::set<std::string> members;
    EXPECT_EQ(0u, registry.GetBundleGroupMembers("g", members));
    EXPECT_EQ(std::set<std::string>{"m"}, members);
    std::string dir;
    EXPECT_TRUE(vmds::ReadInstallString("Setup", "InstallDir", dir));
    EXPECT_EQ("/opt/vomo", dir);
    std::map<std::string, RegValue> v;
    ASSERT_TRUE(Query("Install\\Setup", v));
    EXPECT_FALSE(v.count("ComponentId"));
}

TEST_F(ComponentRegistryTest, BundleGroupsAndPrivateMembers) {
    ASSERT_EQ(0u, registry.AddBundleGroupMember("g1", "a"));
    ASSERT_EQ(0u, registry.AddBundleGroupMember("g1", "b"));
    ASSERT_EQ(0u, registry.AddBundleGroupPrivateMember("g1", "secret"));
    ASSERT_EQ(0u, registry.AddBundleGroupMember("g2", "c"));
    std::set<std::string> members;
    ASSERT_EQ(0u, registry.GetBundleGroupMembers("g1", members));
    EXPECT_EQ((std::set<std::string>{"a", "b"}), members);  // never "_private"
    std::set<std::string> secret;
    ASSERT_EQ(0u, registry.GetBundleGroupPrivateMembers("g1", secret));
    EXPECT_EQ(std::set<std::string>{"secret"}, secret);
    std::set<std::string> groups{"stale"};
    ASSERT_EQ(0u, registry.GetBundleGroupIds(groups));
    EXPECT_EQ((std::set<std::string>{"g1", "g2"}), groups);
    ASSERT_EQ(0u, registry.RemoveBundleGroup("g1"));
    ASSERT_EQ(0u, registry.GetBundleGroupIds(groups));
    EXPECT_EQ(std::set<std::string>{"g2"}, groups);
    EXPECT_EQ(6u, registry.RemoveBundleGroup("g1"));
    EXPECT_EQ(6u, registry.GetBundleGroupMembers("g1", members));
}

ComponentRecord Group(const std::string& id, const std::vector<std::string>& members) {
    ComponentRecord g;
    g.id = id;
    g.displayVersion = "1.0";
    g.installSize = 10;
    g.isOptional = true;
    g.name = "Group " + id;
    g.auxiliaryIds = members;
    return g;
}

TEST_F(ComponentRegistryTest, InstallGroupsSaveAndLoad) {
    ASSERT_EQ(0u, registry.SaveInstallGroups({Group("g1", {"b", "a"}), Group("g2", {"c"})}));
    std::map<std::string, RegValue> v;
    ASSERT_TRUE(Query("Install\\Setup\\InstallGroups\\g1", v));
    EXPECT_EQ("a;b", v["InstallGroupComponents"].data);
    EXPECT_EQ("REG_QWORD", v["InstallSize"].type);
    EXPECT_EQ("REG_DWORD", v["IsOptional"].type);

    std::vector<ComponentRecord> loaded;
    ASSERT_EQ(0u, registry.LoadInstallGroups(loaded));
    ASSERT_EQ(2u, loaded.size());
    EXPECT_EQ("g1", loaded[0].id);
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), loaded[0].auxiliaryIds);
    EXPECT_EQ(10u, loaded[0].installSize);
    EXPECT_TRUE(loaded[0].isOptional);
    EXPECT_EQ("Group g1", loaded[0].name);
}

TEST_F(ComponentRegistryTest, SavingMovesAMemberToItsNewGroup) {
    ASSERT_EQ(0u, registry.SaveInstallGroups({Group("g1", {"a", "b"})}));
    // A later save: "b" now belongs to g2; g1 keeps the members stored before.
    ASSERT_EQ(0u, registry.SaveInstallGroups({Group("g1", {}), Group("g2", {"b"})}));
    std::map<std::string, RegValue> g1, g2;
    ASSERT_TRUE(Query("Install\\Setup\\InstallGroups\\g1", g1));
    ASSERT_TRUE(Query("Install\\Setup\\InstallGroups\\g2", g2));
    EXPECT_EQ("a", g1["InstallGroupComponents"].data);
    EXPECT_EQ("b", g2["InstallGroupComponents"].data);
}

TEST_F(ComponentRegistryTest, EmptyMemberListIsRebuiltFromTheComponentsAndWrittenBack) {
    ComponentRecord x = FullRecord("x");
    x.installGroup = "g";
    ComponentRecord y = FullRecord("y");
    y.installGroup = "g";
    ComponentRecord z = FullRecord("z");
    z.installGroup = "other";
    registry.SaveComponent(y);
    registry.SaveComponent(x);
    registry.SaveComponent(z);
    ASSERT_EQ(0u, registry.SaveInstallGroups({Group("g", {})}));
    std::map<std::string, RegValue> v;
    ASSERT_TRUE(Query("Install\\Setup\\InstallGroups\\g", v));
    EXPECT_EQ(0u, v.count("InstallGroupComponents"));  // an empty set writes nothing

    std::vector<ComponentRecord> loaded;
    ASSERT_EQ(0u, registry.LoadInstallGroups(loaded));
    ASSERT_EQ(1u, loaded.size());
    EXPECT_EQ((std::vector<std::string>{"x", "y"}), loaded[0].auxiliaryIds);
    ASSERT_TRUE(Query("Install\\Setup\\InstallGroups\\g", v));
    EXPECT_EQ("x;y", v["InstallGroupComponents"].data);
}

TEST_F(ComponentRegistryTest, RemovingInstallGroups) {
    EXPECT_EQ(6u, registry.RemoveInstallGroups({}));
    ASSERT_EQ(0u, registry.SaveInstallGroups({Group("g1", {"a"}), Group("g2", {"b"})}));
    EXPECT_EQ(6u, registry.RemoveInstallGroups({"g1", "nope"}));  // g1 still goes
    std::vector<ComponentRecord> loaded;
    ASSERT_EQ(0u, registry.LoadInstallGroups(loaded));
    ASSERT_EQ(1u, loaded.size());
    EXPECT_EQ("g2", loaded[0].id);
    EXPECT_EQ(0u, registry.RemoveInstallGroups({"g2"}));
}

TEST_F(ComponentRegistryTest, WizardLayoutSavedAndLoadedInPageOrder) {
    std::vector<WizardPageRule> none;
    EXPECT_EQ(2u, registry.SyncWizardLayout(none));
    EXPECT_TRUE(none.empty());

    std::vector<WizardPageRule> pages{
        {"zeta", "", "always", 0}, {"alpha", "zeta", "", 0}, {"Mid", "alpha", "if-new", 0}};
    ASSERT_EQ(0u, registry.SyncWizardLayout(pages));
    std::map<std::string, RegValue> v;
    ASSERT_TRUE(Query("Install\\Setup\\WizardLayout\\alpha", v));
    EXPECT_EQ("0x2", v["PageOrder"].data);
    EXPECT_EQ("zeta", v["InsertAfterId"].data);

    std::vector<WizardPageRule> loaded;
    ASSERT_EQ(0u, registry.SyncWizardLayout(loaded));
    ASSERT_EQ(3u, loaded.size());
    EXPECT_EQ("zeta", loaded[0].pageId);
    EXPECT_EQ(1u, loaded[0].pageOrder);
    EXPECT_EQ("always", loaded[0].ruleToApply);
    EXPECT_EQ("alpha", loaded[1].pageId);
    EXPECT_EQ("Mid", loaded[2].pageId);
    EXPECT_EQ("if-new", loaded[2].ruleToApply);
}

TEST_F(ComponentRegistryTest, Plugins) {
    std::vector<InstalledPlugin> plugins;
    EXPECT_EQ(2u, registry.LoadPlugins(plugins));
    ASSERT_EQ(0u, registry.SavePlugin(InstalledPlugin{"p1", "http://x/p1.exe"}));
    ASSERT_EQ(0u, registry.SavePlugin(InstalledPlugin{"p2", ""}));
    ASSERT_EQ(0u, registry.LoadPlugins(plugins));
    ASSERT_EQ(2u, plugins.size());
    EXPECT_EQ("p1", plugins[0].id);
    EXPECT_EQ("http://x/p1.exe", plugins[0].sourceUrl);
}

TEST(ListValueTest, JoinsAndSplitsAtEverySeparator) {
    EXPECT_EQ("a;b;c", JoinList({"a", "b", "c"}));
    EXPECT_EQ("", JoinList({}));
    EXPECT_TRUE(SplitListValue("").empty());
    EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), SplitListValue("a;;b"));
    EXPECT_EQ((std::vector<std::string>{"a", ""}), SplitListValue("a;"));
}

}  // namespace
