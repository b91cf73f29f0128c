// A component with an id and a fixed answer to "is an update available".
#pragma once

#include <string>
#include <vector>

#include "engine/IComponent.h"

namespace testsupport {

class FakeComponent : public vmi::IComponent {
public:
    explicit FakeComponent(const std::string& id, bool update = false) : id_(id), update_(update) {}

    bool IsOptional() override { return false; }
    bool IsDefaultChecked() override { return false; }
    void SetDefaultChecked(bool) override {}
    bool IsUpdateOnly() override { return false; }
    bool IsUpdateDeferred() override { return false; }
    bool IsInstalled() override { return false; }
    bool IsUpdateAvailable() override { return update_; }
    std::string GetId() override { return id_; }
    uint32_t GetLatestVersion(Version&) override { return 0; }
    uint32_t GetDisplayVersion(std::string&) override { return 0; }
    uint32_t GetName(boost::shared_ptr<vmi::IMultiLangString>&) override { return 2; }
    uint32_t GetInstallDescription(boost::shared_ptr<vmi::IMultiLangString>&) override { return 2; }
    uint32_t GetUpdateDescription(boost::shared_ptr<vmi::IMultiLangString>&) override { return 2; }
    uint32_t GetInstalledVersion(Version&) override { return 3; }
    uint32_t GetDependencies(std::vector<std::string>&) override { return 0; }
    uint32_t GetOptionalDependencies(std::vector<std::string>&) override { return 0; }
    uint32_t GetDynamicDependencies(std::vector<std::string>&) override { return 0; }
    uint32_t AddDependency(const std::string&) override { return 0; }
    uint32_t GetAuxiliaryIds(std::vector<std::string>&) override { return 0; }
    uint32_t GetShutdownModules(std::vector<std::string>&) override { return 0; }
    uint32_t GetSpecs(std::vector<Spec>&) override { return 0; }
    uint32_t GetInstallSize(uint32_t&) override { return 0; }
    uint32_t StoreInstallSize(uint32_t) override { return 0; }
    uint32_t GetPackage(PackageType&, std::string&, Url&) override { return 2; }
    uint32_t SetPackageType(PackageType) override { return 0; }
    uint32_t SetCommandLineArgs(const std::string&) override { return 0; }
    uint32_t SetPackageUrl(const Url&) override { return 0; }
    uint32_t GetInstallDir(std::string&) override { return 0; }
    std::string GetInstallGroup() override { return std::string(); }
    bool IsInInstallGroup() override { return false; }
    uint32_t GetOrder(uint32_t&) override { return 0; }
    uint32_t GetResourceRefs(std::vector<std::string>&) override { return 2; }
    uint32_t GetOsRequirement(std::string&, std::string&, std::string&) override { return 0; }
    uint32_t GetProgressText(const std::string&,
                             boost::shared_ptr<vmi::IMultiLangString>&) override {
        return 2;
    }
    std::string GetBuyUrlRef() override { return std::string(); }
    std::string GetStreamId() override { return std::string(); }
    uint32_t GetPostInstallPage(std::string&) override { return 2; }
    std::string GetAuxiliaryText() override { return std::string(); }
    uint32_t GetAuxiliaryRefs(std::vector<std::string>&) override { return 0; }
    uint32_t GetRecord(ComponentRecord&) override { return 0; }
    uint32_t SetIndex(int32_t) override { return 0; }
    uint32_t GetIndex(int32_t&) override { return 0; }
    std::string GetMessageRef() override { return std::string(); }
    void SelectStream(const std::string&) override {}
    void MarkHandled() override {}
    bool IsHandled() override { return false; }

private:
    std::string id_;
    bool update_;
};

}  // namespace testsupport
