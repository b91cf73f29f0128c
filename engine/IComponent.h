// One installable unit of the product, as the manifest, the installed-component registry or a
// stream element describes it. Status results: 0 success, 2 absent value or empty list,
// 3 not recorded in the registry, 6 recorded value unparseable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "api/Url.h"
#include "engine/ComponentRecord.h"
#include "engine/IMultiLangString.h"
#include "engine/Version.h"

namespace vmi {

class IComponent {
public:
    virtual bool IsOptional() = 0;                                                          // 0
    virtual bool IsDefaultChecked() = 0;                                                    // 1
    virtual void SetDefaultChecked(bool checked) = 0;                                       // 2
    virtual bool IsUpdateOnly() = 0;                                                        // 3
    virtual bool IsUpdateDeferred() = 0;                                                    // 4
    virtual bool IsInstalled() = 0;                                                         // 5
    virtual bool IsUpdateAvailable() = 0;                                                   // 6
    virtual std::string GetId() = 0;                                                        // 7
    virtual uint32_t GetLatestVersion(Version& version) = 0;                                // 8
    virtual uint32_t GetDisplayVersion(std::string& version) = 0;                           // 9
    virtual uint32_t GetName(boost::shared_ptr<IMultiLangString>& name) = 0;                // 10
    virtual uint32_t GetInstallDescription(boost::shared_ptr<IMultiLangString>& text) = 0;  // 11
    virtual uint32_t GetUpdateDescription(boost::shared_ptr<IMultiLangString>& text) = 0;   // 12
    virtual uint32_t GetInstalledVersion(Version& version) = 0;                             // 13
    virtual uint32_t GetDependencies(std::vector<std::string>& ids) = 0;                    // 14
    virtual uint32_t GetOptionalDependencies(std::vector<std::string>& ids) = 0;            // 15
    virtual uint32_t GetDynamicDependencies(std::vector<std::string>& ids) = 0;             // 16
    virtual uint32_t AddDependency(const std::string& id) = 0;                              // 17
    virtual uint32_t GetAuxiliaryIds(std::vector<std::string>& ids) = 0;                    // 18
    virtual uint32_t GetShutdownModules(std::vector<std::string>& modules) = 0;             // 19
    virtual uint32_t GetSpecs(std::vector<Spec>& specs) = 0;                                // 20
    virtual uint32_t GetInstallSize(uint32_t& size) = 0;                                    // 21
    virtual uint32_t StoreInstallSize(uint32_t size) = 0;                                   // 22
    virtual uint32_t GetPackage(PackageType& type, std::string& commandLineArgs,
                                Url& url) = 0;                            // 23
    virtual uint32_t SetPackageType(PackageType type) = 0;                // 24
    virtual uint32_t SetCommandLineArgs(const std::string& args) = 0;     // 25
    virtual uint32_t SetPackageUrl(const Url& url) = 0;                   // 26
    virtual uint32_t GetInstallDir(std::string& dir) = 0;                 // 27
    virtual std::string GetInstallGroup() = 0;                            // 28
    virtual bool IsInInstallGroup() = 0;                                  // 29
    virtual uint32_t GetOrder(uint32_t& order) = 0;                       // 30
    virtual uint32_t GetResourceRefs(std::vector<std::string>& ids) = 0;  // 31
    virtual uint32_t GetOsRequirement(std::string& cpu, std::string& version,
                                      std::string& condition) = 0;  // 32
    virtual uint32_t GetProgressText(const std::string& session,
                                     boost::shared_ptr<IMultiLangString>& text) = 0;  // 33
    virtual std::string GetBuyUrlRef() = 0;                                           // 34
    virtual std::string GetStreamId() = 0;                                            // 35
    virtual uint32_t GetPostInstallPage(std::string& page) = 0;                       // 36
    virtual std::string GetAuxiliaryText() = 0;                                       // 37
    virtual uint32_t GetAuxiliaryRefs(std::vector<std::string>& refs) = 0;            // 38
    virtual uint32_t GetRecord(ComponentRecord& record) = 0;                          // 39
    virtual uint32_t SetIndex(int32_t index) = 0;                                     // 40
    virtual uint32_t GetIndex(int32_t& index) = 0;                                    // 41
    virtual std::string GetMessageRef() = 0;                                          // 42
    virtual void SelectStream(const std::string& streamId) = 0;                       // 43
    virtual void MarkHandled() = 0;                                                   // 44
    virtual bool IsHandled() = 0;                                                     // 45
    virtual ~IComponent() = default;                                                  // 46
};

typedef boost::shared_ptr<IComponent> ComponentPtr;
typedef std::vector<ComponentPtr> ComponentList;

}  // namespace vmi
