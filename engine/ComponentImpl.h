// ComponentImpl: one installable unit as the manifest, a stream element or an installed record
// describes it, with the registry reads and writes that concern it.
//
// Registry values live in the install area under the component's id ("ComponentId",
// "InstalledVersion", "StreamId", "InstallSize"). An id that holds "\" or "/" would name
// another registry key than the component's own, so such an id never reaches the settings
// store: the component counts as not installed, its installed version as not recorded, no
// stream id is read for it and nothing is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tinyxml.h>
#include <boost/shared_ptr.hpp>

#include "engine/ComponentRecord.h"
#include "engine/IComponent.h"
#include "engine/IMultiLangString.h"

class ComponentImpl : public vmi::IComponent {
public:
    ComponentImpl() = default;
    // A component made from a record (the installed-component registry's records).
    explicit ComponentImpl(const ComponentRecord& record);

    // Reads a `component` element (or a `stream` element, or a reference element whose
    // children override a component) into this component: every value the element gives
    // replaces the current one, absent ones leave it as it is. With `withStreams` the
    // element's streams are parsed too; a stream's own nested streams are never read, so
    // nested stream elements cost linear, not exponential, work.
    void Parse(const TiXmlNode* element, bool withStreams = true);
    // Parses the children of a bundle's reference to this component over it, so that the
    // elements given inside the reference replace the component's values. The stream selected
    // before stays the selected one: the stream id recorded in the registry does not replace it.
    // A reference without child elements gives nothing and is not parsed, so that a bundle of
    // many plain references costs no parsing.
    void ApplyReference(const TiXmlNode* reference);
    // The install order, as a reference's "order" attribute sets it.
    void SetOrder(uint32_t order) { record_.order = order; }

    bool IsOptional() override;
    bool IsDefaultChecked() override;
    void SetDefaultChecked(bool checked) override;
    bool IsUpdateOnly() override;
    bool IsUpdateDeferred() override;
    bool IsInstalled() override;
    bool IsUpdateAvailable() override;
    std::string GetId() override;
    uint32_t GetLatestVersion(Version& version) override;
    uint32_t GetDisplayVersion(std::string& version) override;
    uint32_t GetName(boost::shared_ptr<vmi::IMultiLangString>& name) override;
    uint32_t GetInstallDescription(boost::shared_ptr<vmi::IMultiLangString>& text) override;
    uint32_t GetUpdateDescription(boost::shared_ptr<vmi::IMultiLangString>& text) override;
    uint32_t GetInstalledVersion(Version& version) override;
    uint32_t GetDependencies(std::vector<std::string>& ids) override;
    uint32_t GetOptionalDependencies(std::vector<std::string>& ids) override;
    uint32_t GetDynamicDependencies(std::vector<std::string>& ids) override;
    uint32_t AddDependency(const std::string& id) override;
    uint32_t GetAuxiliaryIds(std::vector<std::string>& ids) override;
    uint32_t GetShutdownModules(std::vector<std::string>& modules) override;
    uint32_t GetSpecs(std::vector<Spec>& specs) override;
    uint32_t GetInstallSize(uint32_t& size) override;
    uint32_t StoreInstallSize(uint32_t size) override;
    uint32_t GetPackage(PackageType& type, std::string& commandLineArgs, Url& url) override;
    uint32_t SetPackageType(PackageType type) override;
    uint32_t SetCommandLineArgs(const std::string& args) override;
    uint32_t SetPackageUrl(const Url& url) override;
    uint32_t GetInstallDir(std::string& dir) override;
    std::string GetInstallGroup() override;
    bool IsInInstallGroup() override;
    uint32_t GetOrder(uint32_t& order) override;
    uint32_t GetResourceRefs(std::vector<std::string>& ids) override;
    uint32_t GetOsRequirement(std::string& cpu, std::string& version,
                              std::string& condition) override;
    uint32_t GetProgressText(const std::string& session,
                             boost::shared_ptr<vmi::IMultiLangString>& text) override;
    std::string GetBuyUrlRef() override;
    std::string GetStreamId() override;
    uint32_t GetPostInstallPage(std::string& page) override;
    std::string GetAuxiliaryText() override;
    uint32_t GetAuxiliaryRefs(std::vector<std::string>& refs) override;
    uint32_t GetRecord(ComponentRecord& record) override;
    uint32_t SetIndex(int32_t index) override;
    uint32_t GetIndex(int32_t& index) override;
    std::string GetMessageRef() override;
    void SelectStream(const std::string& streamId) override;
    void MarkHandled() override;
    bool IsHandled() override;

private:
    enum { kDownloadText = 0, kInstallText = 1, kUninstallText = 2, kProgressTexts = 3 };

    // Copies every non-empty value of `stream` over this component's (SelectStream).
    void TakeOver(const ComponentImpl& stream);
    // The id under which the registry keeps this component, or false when the id is empty,
    // would address another key, or is the product's own key "Setup".
    bool RegistryKey(std::string& key) const;

    ComponentRecord record_;
    int32_t index_ = -1;
    std::string messageRef_;
    boost::shared_ptr<vmi::IMultiLangString> name_;
    boost::shared_ptr<vmi::IMultiLangString> installDescription_;
    boost::shared_ptr<vmi::IMultiLangString> updateDescription_;
    boost::shared_ptr<vmi::IMultiLangString> progressTexts_[kProgressTexts];
    bool handled_ = false;
};

// Makes a new component with the record's defaults and parses `element` into it (with its
// streams). Always hands out a component; 0.
uint32_t CreateComponent(const TiXmlNode* element, vmi::ComponentPtr& component);

// The platform filter of the manifest load. cpu "x64" passes only on a 64-bit x86 machine.
// When the version or the condition is non-empty, the running system's "major.minor" must
// satisfy the condition ("lessthan", "lessthanorequal", "equal", "equalorgreaterthan",
// "greaterthan") against the version (scanned as "%d.%d", missing numbers 0), majors compared
// first; any other condition word, including none, fails the check, as the Windows version
// check fails with condition 0. Everything else passes.
bool PassesOsRequirement(const vmi::ComponentPtr& component);
