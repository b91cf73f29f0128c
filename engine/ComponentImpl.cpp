#include "engine/ComponentImpl.h"

#include <cerrno>
#include <cstdlib>
#include <exception>

#include <boost/make_shared.hpp>

#include "engine/Locale.h"
#include "engine/ManifestQuery.h"
#include "engine/MultiLangStringImpl.h"
#include "engine/Rollout.h"
#include "engine/TextScan.h"
#include "packages/PackageDigest.h"
#include "platform/OsVersion.h"
#include "settings/KeyName.h"
#include "settings/SettingsAccessors.h"

namespace {

const char* const kSessions[] = {"download", "install", "uninstall"};

// One "%d" conversion, narrowed to the 32-bit field it fills; `pos` moves past it.
bool ScanInt(const std::string& text, std::string::size_type& pos, uint32_t& value) {
    if (pos >= text.size()) {
        return false;
    }
    const char* start = text.c_str() + pos;
    char* end = nullptr;
    errno = 0;
    const long scanned = std::strtol(start, &end, 10);
    if (end == start) {
        return false;
    }
    value = static_cast<uint32_t>(scanned);
    pos += static_cast<std::string::size_type>(end - start);
    return true;
}

uint32_t ConditionCode(const std::string& word) {
    if (word == "lessthan") {
        return platform::kVersionLess;
    }
    if (word == "lessthanorequal") {
        return platform::kVersionLessEqual;
    }
    if (word == "equal") {
        return platform::kVersionEqual;
    }
    if (word == "equalorgreaterthan") {
        return platform::kVersionGreaterEqual;
    }
    if (word == "greaterthan") {
        return platform::kVersionGreater;
    }
    return platform::kVersionNoCondition;
}

// Replaces `target` with `value` when the value is not empty.
void TakeText(std::string& target, const std::string& value) {
    if (!value.empty()) {
        target = value;
    }
}

template <typename T>
void TakeList(std::vector<T>& target, const std::vector<T>& value) {
    if (!value.empty()) {
        target = value;
    }
}

void TakeFlag(bool& target, bool value) {
    if (value) {
        target = true;
    }
}

void TakeUrl(Url& target, const Url& value) {
    if (!value.IsEmpty()) {
        target = value;
    }
}

void TakeVersion(Version& target, const Version& value) {
    if (value.NotEqual(Version("0.0.0.0"))) {
        target = value;
    }
}

void TakeText(boost::shared_ptr<vmi::IMultiLangString>& target,
              const boost::shared_ptr<vmi::IMultiLangString>& value) {
    if (value) {
        target = value;
    }
}

}  // namespace

ComponentImpl::ComponentImpl(const ComponentRecord& record) : record_(record) {}

void ComponentImpl::Parse(const TiXmlNode* element, bool withStreams) {
    if (!element) {
        return;
    }
    std::string text;
    bool flag = false;

    if (QueryAttribute(element, "self::component", "id", text)) {
        record_.id = text;
    }
    if (QueryAttribute(element, "self::component", "installGroup", text)) {
        record_.inInstallGroup = text == "true";
    }
    uint32_t number = 0;
    if (QueryAttribute(element, "self::component", "order", text) && ScanUnsigned(text, number)) {
        record_.order = number;
    }
    if (QueryText(element, "installGroup", text)) {
        record_.installGroup = text;
    }
    if (QueryBool(element, "isOptional", flag)) {
        record_.isOptional = flag;
    }
    if (QueryBool(element, "isUpdateOnly", flag)) {
        record_.isUpdateOnly = flag;
    }
    if (QueryBool(element, "isUpdateDeferred", flag)) {
        record_.isUpdateDeferred = flag;
    }
    if (QueryBool(element, "isDefaultChecked", flag)) {
        record_.isDefaultChecked = flag;
    }
    if (QueryBool(element, "isDowngradeVersion", flag)) {
        record_.isDowngradeVersion = flag;
    }
    if (QueryText(element, "installSize", text) && !text.empty() && ScanUnsigned(text, number)) {
        record_.installSize = number;
    }
    if (QueryText(element, "latestVersion", text) && !text.empty()) {
        record_.latestVersion = Version(text);
        // A rollout that is no percentage pauses the release rather than sending it to every
        // machine.
        uint32_t percent = kFullRollout;
        if (QueryAttribute(element, "latestVersion", "rollout", text) &&
            !ParseRolloutPercent(text, percent)) {
            percent = 0;
        }
        record_.rollout = percent;
    }
    if (QueryText(element, "displayVersion", text)) {
        record_.displayVersion = text;
    }
    if (QueryText(element, "postInstallPageOverride", text)) {
        record_.postInstallPageOverride = text;
    }

    // Specs with their roles.
    std::vector<const TiXmlNode*> nodes;
    std::vector<Spec> specs;
    QueryNodes(element, "//specs/spec", nodes);
    for (const TiXmlNode* node : nodes) {
        Spec spec;
        QueryAttribute(node, "self::spec", "name", spec.name);
        QueryAttribute(node, "self::spec", "version", spec.version);
        std::vector<const TiXmlNode*> roles;
        QueryNodes(node, "//role", roles);
        for (const TiXmlNode* roleNode : roles) {
            SpecRole role;
            QueryText(roleNode, "self::role", role.text);
            QueryAttribute(roleNode, "self::role", "cost", role.cost);
            spec.roles.push_back(role);
        }
        specs.push_back(spec);
    }
    TakeList(record_.specs, specs);

    // Texts: the name, and the descriptions per session. The descriptions are looked for
    // below elements that carry this element's own name.
    boost::shared_ptr<vmi::IMultiLangString> texts;
    if (QueryMultiLangString(element, "//nameGroup/name", texts)) {
        name_ = texts;
    }
    if (element->Type() == TiXmlNode::TINYXML_ELEMENT) {
        QueryNodes(element, element->ValueStr() + "/descriptionGroup", nodes);
        for (const TiXmlNode* group : nodes) {
            if (!QueryAttribute(group, "self::descriptionGroup", "session", text)) {
                continue;
            }
            if (text == "install" && QueryMultiLangString(group, "//description", texts)) {
                installDescription_ = texts;
            } else if (text == "update" && QueryMultiLangString(group, "//description", texts)) {
                updateDescription_ = texts;
            }
        }
    }

    // Platform.
    static const char* const kOsAttributes[] = {"cpu", "version", "condition"};
    std::string* const osValues[] = {&record_.osRequirement.cpu, &record_.osRequirement.version,
                                     &record_.osRequirement.condition};
    for (int i = 0; i < 3; ++i) {
        if (QueryAttribute(element, "//requirements/os", kOsAttributes[i], text) && !text.empty()) {
            *osValues[i] = text;
        }
    }

    // Package. A URL text that is not valid UTF-8 cannot be split: the package keeps no URL.
    if (QueryText(element, "//package/type", text)) {
        SetPackageType(PackageTypeFromText(text));
    }
    if (QueryText(element, "//package/commandLineArgs", text)) {
        SetCommandLineArgs(text);
    }
    if (QueryText(element, "//package/url", text)) {
        Url url;
        try {
            url.Parse(text);
        } catch (const std::exception&) {
            url = Url();
        }
        SetPackageUrl(url);
    }
    if (QueryText(element, "//package/sha256", text)) {
        record_.packageSha256 = PresentDigestText(text);
    }

    // Progress texts.
    for (int session = 0; session < kProgressTexts; ++session) {
        const std::string path =
            std::string("//progressText[@session='") + kSessions[session] + "']";
        if (QueryNodes(element, path, nodes) &&
            QueryMultiLangString(nodes.front(), "//text", texts)) {
            progressTexts_[session] = texts;
        }
    }

    // Reference lists.
    std::vector<std::string> list;
    if (QueryAttributeList(element, "//dependencies/componentRef", "id", list)) {
        record_.dependencies = list;
    }
    if (QueryAttributeList(element, "//optionalDependencies/componentRef", "id", list)) {
        record_.optionalDependencies = list;
    }
    if (QueryAttributeList(element, "//dynamicDependencies/componentRef", "id", list)) {
        record_.dynamicDependencies = list;
    }
    if (QueryAttributeList(element, "//resourceRef", "id", list)) {
        record_.resourceRefs = list;
    }
    if (QueryTextList(element, "//shutdownModuleGroup/shutdownModule", list)) {
        record_.shutdownModules = list;
    }
    if (QueryAttribute(element, "//buyUrlRef", "id", text)) {
        record_.buyUrlRef = text;
    }
    if (QueryAttribute(element, "//messageRef", "id", text)) {
        messageRef_ = text;
    }

    // Streams, each a component of its own.
    if (withStreams && QueryNodes(element, "//streams/stream", nodes)) {
        std::vector<vmi::ComponentPtr> streams;
        for (const TiXmlNode* node : nodes) {
            boost::shared_ptr<ComponentImpl> stream = boost::make_shared<ComponentImpl>();
            stream->Parse(node, false);
            streams.push_back(stream);
        }
        record_.streams = streams;
    }

    // The stream id: a stream element's own, replaced by the one recorded for an installed
    // component.
    if (QueryAttribute(element, "self::stream", "id", text)) {
        record_.streamId = text;
    }
    std::string key;
    if (RegistryKey(key) && vmds::ReadInstallString(key, "StreamId", text)) {
        record_.streamId = text;
    }
    if (QueryAttribute(element, "self::stream", "installGroup", text)) {
        record_.inInstallGroup = text == "true";
    }
}

void ComponentImpl::ApplyReference(const TiXmlNode* reference) {
    if (!reference || !reference->FirstChildElement()) {
        return;  // nothing given inside
    }
    const std::string streamId = record_.streamId;
    Parse(reference);
    record_.streamId = streamId;
}

bool ComponentImpl::RegistryKey(std::string& key) const {
    if (!vmds::IsComponentKeyName(record_.id)) {
        return false;
    }
    key = record_.id;
    return true;
}

bool ComponentImpl::IsOptional() {
    return record_.isOptional;
}

bool ComponentImpl::IsDefaultChecked() {
    return record_.isDefaultChecked;
}

void ComponentImpl::SetDefaultChecked(bool checked) {
    record_.isDefaultChecked = checked;
}

bool ComponentImpl::IsUpdateOnly() {
    return record_.isUpdateOnly;
}

bool ComponentImpl::IsUpdateDeferred() {
    return record_.isUpdateDeferred;
}

bool ComponentImpl::IsInstalled() {
    std::string key;
    std::string value;
    return RegistryKey(key) && vmds::ReadInstallString(key, "ComponentId", value);
}

bool ComponentImpl::IsUpdateAvailable() {
    Version installed;
    if (GetInstalledVersion(installed) != 0) {
        return false;
    }
    if (record_.latestVersion.GreaterThan(installed)) {
        return true;
    }
    return record_.latestVersion.LessThan(installed) && record_.isDowngradeVersion;
}

std::string ComponentImpl::GetId() {
    return record_.id;
}

uint32_t ComponentImpl::GetLatestVersion(Version& version) {
    version = record_.latestVersion;
    return 0;
}

uint32_t ComponentImpl::GetDisplayVersion(std::string& version) {
    version = record_.displayVersion;
    return 0;
}

uint32_t ComponentImpl::GetName(boost::shared_ptr<vmi::IMultiLangString>& name) {
    if (!name_) {
        return 2;
    }
    name = name_;
    return 0;
}

uint32_t ComponentImpl::GetInstallDescription(boost::shared_ptr<vmi::IMultiLangString>& text) {
    if (!installDescription_) {
        return 2;
    }
    text = installDescription_;
    return 0;
}

uint32_t ComponentImpl::GetUpdateDescription(boost::shared_ptr<vmi::IMultiLangString>& text) {
    if (!updateDescription_) {
        return 2;
    }
    text = updateDescription_;
    return 0;
}

uint32_t ComponentImpl::GetInstalledVersion(Version& version) {
    std::string key;
    std::string text;
    if (!RegistryKey(key) || !vmds::ReadInstallString(key, "InstalledVersion", text)) {
        return 3;
    }
    Version installed;
    if (!installed.Parse(text)) {
        return 6;
    }
    version = installed;
    return 0;
}

uint32_t ComponentImpl::GetDependencies(std::vector<std::string>& ids) {
    ids = record_.dependencies;
    return 0;
}

uint32_t ComponentImpl::GetOptionalDependencies(std::vector<std::string>& ids) {
    ids = record_.optionalDependencies;
    return 0;
}

uint32_t ComponentImpl::GetDynamicDependencies(std::vector<std::string>& ids) {
    ids = record_.dynamicDependencies;
    return 0;
}

uint32_t ComponentImpl::AddDependency(const std::string& id) {
    record_.dependencies.push_back(id);
    return 0;
}

uint32_t ComponentImpl::GetAuxiliaryIds(std::vector<std::string>& ids) {
    ids = record_.auxiliaryIds;
    return 0;
}

uint32_t ComponentImpl::GetShutdownModules(std::vector<std::string>& modules) {
    modules = record_.shutdownModules;
    return 0;
}

uint32_t ComponentImpl::GetSpecs(std::vector<Spec>& specs) {
    specs = record_.specs;
    return 0;
}

uint32_t ComponentImpl::GetInstallSize(uint32_t& size) {
    size = record_.installSize;
    return 0;
}

// A write that did not happen is reported (6), not passed off as success.
uint32_t ComponentImpl::StoreInstallSize(uint32_t size) {
    std::string key;
    if (!RegistryKey(key) || !vmds::WriteInstallNumber(key, "InstallSize", size)) {
        return 6;
    }
    return 0;
}

uint32_t ComponentImpl::GetPackage(PackageType& type, std::string& commandLineArgs, Url& url) {
    type = record_.packageType;
    commandLineArgs = record_.commandLineArgs;
    url = record_.packageUrl;
    return record_.packageType == kPackageNone ? 2 : 0;
}

uint32_t ComponentImpl::SetPackageType(PackageType type) {
    record_.packageType = type;
    return 0;
}

uint32_t ComponentImpl::SetCommandLineArgs(const std::string& args) {
    record_.commandLineArgs = args;
    return 0;
}

uint32_t ComponentImpl::SetPackageUrl(const Url& url) {
    record_.packageUrl = url;
    return 0;
}

uint32_t ComponentImpl::GetInstallDir(std::string& dir) {
    dir = record_.installDir;
    return 0;
}

std::string ComponentImpl::GetInstallGroup() {
    return record_.installGroup;
}

bool ComponentImpl::IsInInstallGroup() {
    return record_.inInstallGroup;
}

uint32_t ComponentImpl::GetOrder(uint32_t& order) {
    order = record_.order;
    return 0;
}

uint32_t ComponentImpl::GetResourceRefs(std::vector<std::string>& ids) {
    if (record_.resourceRefs.empty()) {
        return 2;
    }
    ids = record_.resourceRefs;
    return 0;
}

uint32_t ComponentImpl::GetOsRequirement(std::string& cpu, std::string& version,
                                         std::string& condition) {
    cpu = record_.osRequirement.cpu;
    version = record_.osRequirement.version;
    condition = record_.osRequirement.condition;
    return 0;
}

uint32_t ComponentImpl::GetProgressText(const std::string& session,
                                        boost::shared_ptr<vmi::IMultiLangString>& text) {
    for (int i = 0; i < kProgressTexts; ++i) {
        if (session == kSessions[i]) {
            if (!progressTexts_[i]) {
                return 2;
            }
            text = progressTexts_[i];
            return 0;
        }
    }
    return 2;
}

std::string ComponentImpl::GetBuyUrlRef() {
    return record_.buyUrlRef;
}

std::string ComponentImpl::GetStreamId() {
    return record_.streamId;
}

// The override first; otherwise the page of the selected stream. When no stream of the
// selected id gives a page, the answer is 2: an empty page is never handed out as found.
uint32_t ComponentImpl::GetPostInstallPage(std::string& page) {
    if (!record_.postInstallPageOverride.empty()) {
        page = record_.postInstallPageOverride;
        return 0;
    }
    if (record_.streamId.empty()) {
        return 2;
    }
    std::string found;
    for (const vmi::ComponentPtr& stream : record_.streams) {
        if (!stream || stream.get() == this || stream->GetStreamId() != record_.streamId) {
            continue;
        }
        std::string answer;
        stream->GetPostInstallPage(answer);
        if (answer.empty()) {
            return 2;
        }
        found = answer;
    }
    if (found.empty()) {
        return 2;
    }
    page = found;
    return 0;
}

std::string ComponentImpl::GetAuxiliaryText() {
    return record_.auxiliaryText;
}

uint32_t ComponentImpl::GetAuxiliaryRefs(std::vector<std::string>& refs) {
    refs = record_.auxiliaryRefs;
    return 0;
}

uint32_t ComponentImpl::GetRecord(ComponentRecord& record) {
    const std::string locale = vmi::Locale::CurrentCode();
    std::string text;
    record_.name = name_ && name_->GetLocalizedText(locale, text) == 0 ? text : std::string();
    text.clear();
    record_.description =
        installDescription_ && installDescription_->GetLocalizedText(locale, text) == 0
            ? text
            : std::string();
    record_.locale = locale;
    record = record_;
    return 0;
}

uint32_t ComponentImpl::SetIndex(int32_t index) {
    index_ = index;
    return 0;
}

uint32_t ComponentImpl::GetIndex(int32_t& index) {
    index = index_;
    return 0;
}

std::string ComponentImpl::GetMessageRef() {
    return messageRef_;
}

void ComponentImpl::SelectStream(const std::string& streamId) {
    if (streamId.empty()) {
        return;
    }
    record_.streamId = streamId;
    for (const vmi::ComponentPtr& candidate : record_.streams) {
        if (candidate && candidate->GetStreamId() == streamId) {
            const ComponentImpl* stream = dynamic_cast<const ComponentImpl*>(candidate.get());
            if (stream && stream != this) {
                TakeOver(*stream);
            }
            return;
        }
    }
}

void ComponentImpl::TakeOver(const ComponentImpl& stream) {
    const ComponentRecord& s = stream.record_;
    ComponentRecord& r = record_;
    TakeFlag(r.isOptional, s.isOptional);
    TakeFlag(r.isDefaultChecked, s.isDefaultChecked);
    TakeFlag(r.isUpdateOnly, s.isUpdateOnly);
    TakeFlag(r.isUpdateDeferred, s.isUpdateDeferred);
    TakeFlag(r.inInstallGroup, s.inInstallGroup);
    TakeFlag(r.isDowngradeVersion, s.isDowngradeVersion);
    TakeFlag(r.keepRegistryKey, s.keepRegistryKey);
    if (s.installSize != 0) {
        r.installSize = s.installSize;
    }
    if (s.order != 0) {
        r.order = s.order;
    }
    TakeText(r.id, s.id);
    TakeText(r.displayVersion, s.displayVersion);
    TakeList(r.specs, s.specs);
    if (s.packageType != kPackageNone) {
        r.packageType = s.packageType;
    }
    TakeText(r.commandLineArgs, s.commandLineArgs);
    // A stream that names its own package address binds it with its own digest, or none.
    if (!s.packageUrl.IsEmpty()) {
        r.packageSha256 = s.packageSha256;
    } else {
        TakeText(r.packageSha256, s.packageSha256);
    }
    TakeUrl(r.packageUrl, s.packageUrl);
    TakeUrl(r.secondaryUrl, s.secondaryUrl);
    TakeList(r.dependencies, s.dependencies);
    TakeList(r.optionalDependencies, s.optionalDependencies);
    TakeList(r.dynamicDependencies, s.dynamicDependencies);
    TakeList(r.shutdownModules, s.shutdownModules);
    TakeList(r.auxiliaryIds, s.auxiliaryIds);
    if (s.latestVersion.NotEqual(Version("0.0.0.0"))) {
        r.rollout = s.rollout;  // the stream's version comes with its own rollout
    }
    TakeVersion(r.latestVersion, s.latestVersion);
    TakeVersion(r.installedVersion, s.installedVersion);
    TakeText(r.installDir, s.installDir);
    TakeText(r.installGroup, s.installGroup);
    TakeText(r.auxiliaryText, s.auxiliaryText);
    TakeList(r.resourceRefs, s.resourceRefs);
    TakeText(r.osRequirement.cpu, s.osRequirement.cpu);
    TakeText(r.osRequirement.version, s.osRequirement.version);
    TakeText(r.osRequirement.condition, s.osRequirement.condition);
    TakeText(r.locale, s.locale);
    TakeList(r.auxiliaryRefs, s.auxiliaryRefs);
    TakeText(r.buyUrlRef, s.buyUrlRef);
    TakeText(r.name, s.name);
    TakeText(r.description, s.description);
    TakeText(r.uninstallProgressText, s.uninstallProgressText);
    TakeList(r.streams, s.streams);
    TakeText(r.postInstallPageOverride, s.postInstallPageOverride);
    TakeText(messageRef_, stream.messageRef_);
    TakeText(name_, stream.name_);
    TakeText(installDescription_, stream.installDescription_);
    TakeText(updateDescription_, stream.updateDescription_);
    for (int i = 0; i < kProgressTexts; ++i) {
        TakeText(progressTexts_[i], stream.progressTexts_[i]);
    }
}

void ComponentImpl::MarkHandled() {
    handled_ = true;
}

bool ComponentImpl::IsHandled() {
    return handled_;
}

uint32_t CreateComponent(const TiXmlNode* element, vmi::ComponentPtr& component) {
    boost::shared_ptr<ComponentImpl> created = boost::make_shared<ComponentImpl>();
    created->Parse(element);
    component = created;
    return 0;
}

bool PassesOsRequirement(const vmi::ComponentPtr& component) {
    if (!component) {
        return false;
    }
    std::string cpu;
    std::string version;
    std::string condition;
    component->GetOsRequirement(cpu, version, condition);
    if (cpu == "x64" && !platform::IsX64Machine()) {
        return false;
    }
    if (version.empty() && condition.empty()) {
        return true;
    }
    uint32_t major = 0;
    uint32_t minor = 0;
    std::string::size_type pos = 0;
    if (ScanInt(version, pos, major) && pos < version.size() && version[pos] == '.') {
        ++pos;
        ScanInt(version, pos, minor);
    }
    return platform::VerifyOsVersion(major, minor, ConditionCode(condition));
}
