// Engine operations that read the manifest file, and the queries answered from the components
// it yielded. Every read queries the parsed manifest from its root element (ReadManifest): the
// tree parsed when the download was verified, or the file at the manifest path parsed afresh.
#include <exception>
#include <map>
#include <string>

#include <utf8.h>
#include <boost/make_shared.hpp>

#include "engine/ComponentImpl.h"
#include "engine/ManifestDocument.h"
#include "engine/ManifestQuery.h"
#include "engine/TinyXPath.h"
#include "engine/VomoInstallImpl.h"
#include "settings/InstallKeySnapshot.h"

namespace {

const uint32_t kNotFound = 2;
const uint32_t kFileUnavailable = 7;
const uint32_t kXmlNotParsed = 14;
const uint32_t kGreaterVersionOnly = 23;

// The wide form of a UTF-8 text for "%S" in log formats; bytes that are not UTF-8 become the
// replacement character.
std::wstring WideText(const std::string& text) {
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    std::wstring wide;
    if (sizeof(wchar_t) == 2) {
        utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(wide));
    } else {
        utf8::utf8to32(valid.begin(), valid.end(), std::back_inserter(wide));
    }
    return wide;
}

std::string ComponentLookup(const std::string& id) {
    return "//componentDefinitions/component[@id='" + id + "']";
}

}  // namespace

// The manifest path is empty until a downloaded manifest was verified and extracted, so every
// reader answers 7 (no file) without one.
uint32_t VomoInstallImpl::ReadManifest(boost::shared_ptr<const ManifestDocument>& document) {
    document.reset();
    if (manifestPath_.IsEmpty()) {
        return kFileUnavailable;
    }
    if (verifiedManifest_ && ownsManifestFile_) {
        document = verifiedManifest_;
        return 0;
    }
    const boost::shared_ptr<ManifestDocument> fresh = boost::make_shared<ManifestDocument>();
    const uint32_t loaded = fresh->Load(manifestPath_.GetPath());
    document = fresh;
    return loaded;
}

uint32_t VomoInstallImpl::LoadManifest() {
    boost::shared_ptr<const ManifestDocument> document;
    const uint32_t opened = ReadManifest(document);
    if (opened == kFileUnavailable) {
        eventLog_->WriteError("Failed to open manifest file: %S",
                              WideText(manifestPath_.GetPath()).c_str());
        return kFileUnavailable;
    }
    if (opened != 0) {
        eventLog_->WriteError("Failed to parse manifest file: %S: %s\n",
                              WideText(manifestPath_.GetPath()).c_str(),
                              document->ErrorText().c_str());
        return kXmlNotParsed;
    }
    const TiXmlElement* root = document->Root();

    // The catalogue is built aside and replaces the engine's only once the whole file was
    // read, so that a load that fails half-way leaves the previous catalogue in place.
    Version manifestVersion;
    std::string marketingBundleVersion;
    vmi::ComponentList components;
    std::map<std::string, ResourceDescriptor> resources;
    OfferSections offers;
    try {
        std::string text;
        if (QueryAttribute(root, "//manifest", "version", text)) {
            manifestVersion.Parse(text);
        }

        ReadLicenceTexts(root, offers);

        if (QueryText(root, "//bundleGroups/marketingBundleVersion", text)) {
            marketingBundleVersion = text;
        }

        std::vector<const TiXmlNode*> nodes;
        QueryNodes(root, "//componentDefinitions/component", nodes);
        // Each component asks the registry for its recorded stream id; only installed ones
        // have a key, found in one look at the install area's names.
        const vmds::InstallKeySnapshot installed;
        for (const TiXmlNode* node : nodes) {
            vmi::ComponentPtr component;
            CreateComponent(node, component);
            if (PassesOsRequirement(component)) {
                components.push_back(component);
            }
        }

        QueryNodes(root, "//resourceDefinitions/resource", nodes);
        for (const TiXmlNode* node : nodes) {
            ResourceDescriptor resource;
            if (!QueryAttribute(node, "self::resource", "id", resource.id)) {
                continue;
            }
            QueryText(node, "tag", resource.tag);
            QueryText(node, "resid", resource.resid);
            QueryText(node, "type", resource.type);
            resources[resource.id] = resource;
        }

        // Plug-in tests and plug-ins, banners and messages, bundles, the bundle group, its
        // wizard layout and the banner groups, in that order.
        ReadOfferSections(root, components, downloadTag_, downloadName_, offers);
    } catch (const std::exception&) {
        return kXmlNotParsed;
    }

    manifestVersion_ = manifestVersion;
    marketingBundleVersion_.swap(marketingBundleVersion);
    components_.swap(components);
    resources_.swap(resources);
    TakeOffers(offers);
    eventLog_->WriteInfo("Manifest version %s loaded: %u components\n",
                         manifestVersion_.ToString().c_str(),
                         static_cast<unsigned>(components_.size()));
    return 0;
}

uint32_t VomoInstallImpl::FindComponentsBySpec(const SpecQuery& query, std::set<std::string>& ids) {
    uint32_t result = kNotFound;
    for (const vmi::ComponentPtr& component : components_) {
        if (!component) {
            continue;
        }
        std::vector<Spec> specs;
        component->GetSpecs(specs);
        for (const Spec& spec : specs) {
            if (spec.name != query.name) {
                continue;
            }
            for (const SpecRole& role : spec.roles) {
                if (role.text != query.role) {
                    continue;
                }
                // Versions compare as texts, byte by byte: "10" sorts below "9".
                if (spec.version > query.version) {
                    result = kGreaterVersionOnly;
                } else if (spec.version == query.version) {
                    ids.insert(component->GetId());
                    return 0;
                }
            }
        }
    }
    return result;
}

uint32_t VomoInstallImpl::CreateComponentFromManifest(const std::string& id,
                                                      const std::string& streamId,
                                                      vmi::ComponentPtr& component) {
    boost::shared_ptr<const ManifestDocument> document;
    const uint32_t opened = ReadManifest(document);
    if (opened == kFileUnavailable) {
        return kFileUnavailable;
    }
    if (opened != 0) {
        return kNotFound;
    }
    try {
        const TiXmlNode* node =
            TinyXPath::xpath_processor(document->Root(), ComponentLookup(id)).first_node();
        if (!node) {
            return kNotFound;
        }
        vmi::ComponentPtr created;
        CreateComponent(node, created);
        created->SelectStream(streamId);
        component = created;
    } catch (const std::exception&) {
        return kNotFound;
    }
    return 0;
}

uint32_t VomoInstallImpl::ReadManifestVersion(Version& version) {
    boost::shared_ptr<const ManifestDocument> document;
    const uint32_t opened = ReadManifest(document);
    if (opened != 0) {
        return opened;  // 7 or 14
    }
    const TiXmlAttribute* attribute =
        TinyXPath::xpath_processor(document->Root(), "//attribute::version").first_attribute();
    if (!attribute) {
        return kNotFound;
    }
    version.Parse(attribute->ValueStr());
    return 0;
}

uint32_t VomoInstallImpl::GetManifestVersion(Version& version) {
    if (!manifestVersion_.IsValid()) {
        ReadManifestVersion(manifestVersion_);
    }
    version = manifestVersion_;
    return 0;
}

uint32_t VomoInstallImpl::GetSetupServerUrl(Url& url) {
    boost::shared_ptr<const ManifestDocument> document;
    const uint32_t opened = ReadManifest(document);
    if (opened != 0) {
        return opened;  // 7 or 14
    }
    const TiXmlNode* setup =
        TinyXPath::xpath_processor(document->Root(), ComponentLookup("Setup")).first_node();
    std::string text;
    if (!setup || !QueryText(setup, "//serverUrl", text)) {
        return kNotFound;
    }
    Url parsed;
    try {
        parsed.Parse(text);
    } catch (const std::exception&) {
        return kNotFound;  // not UTF-8: no address can be made of it
    }
    url = parsed;
    return 0;
}

uint32_t VomoInstallImpl::GetPostInstallPage(const std::vector<std::string>& selectedIds,
                                             std::string& page) {
    if (!postInstallPageFlag_ && selectedIds.size() > 1) {
        if (postInstallPage_.empty()) {
            return kNotFound;
        }
        page = postInstallPage_;
        return 0;
    }
    const std::set<std::string> selected(selectedIds.begin(), selectedIds.end());
    for (const vmi::ComponentPtr& component : components_) {
        if (!component || selected.count(component->GetId()) == 0) {
            continue;
        }
        std::string answer;
        if (component->GetPostInstallPage(answer) == 0) {
            page = answer;
            return 0;
        }
    }
    return kNotFound;
}
