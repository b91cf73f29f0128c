#include "support/PublishedSite.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace testsupport {

namespace {

const char kCabinetPath[] = "/vomo/setup/manifest.cab";
const char kClosedManifestUrl[] = "http://127.0.0.1:1/vomo/setup/manifest.cab";

// The spec element of "name;role;version".
std::string SpecElement(const std::string& spec) {
    const std::string::size_type first = spec.find(';');
    const std::string::size_type second = spec.find(';', first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        return std::string();
    }
    return "<specs><spec name='" + spec.substr(0, first) + "' version='" + spec.substr(second + 1) +
           "'><role>" + spec.substr(first + 1, second - first - 1) + "</role></spec></specs>";
}

}  // namespace

PublishedSite::PublishedSite() {
    ::setenv("VOMO_MANIFEST_URL", packages_.Server().Url(kCabinetPath).c_str(), 1);
}

PublishedSite::~PublishedSite() {
    ::setenv("VOMO_MANIFEST_URL", kClosedManifestUrl, 1);
}

void PublishedSite::Publish(const std::string& manifestVersion,
                            const std::vector<PublishedComponent>& components) {
    std::string xml = "<manifest version='" + manifestVersion + "'><componentDefinitions>";
    for (const PublishedComponent& component : components) {
        xml += "<component id='" + component.id + "'><latestVersion>" + component.version +
               "</latestVersion>" + SpecElement(component.spec);
        if (!component.installer.empty()) {
            xml += "<package><type>nsis</type><url>" +
                   packages_.Serve(component.id + ".cab", component.installer) + "</url></package>";
        }
        xml += "</component>";
    }
    xml += "</componentDefinitions></manifest>";
    const std::string plain = dir_.File("manifest-plain.cab");
    const std::string cabinet = dir_.File("manifest.cab");
    std::remove(cabinet.c_str());
    ASSERT_TRUE(MakeCabinet(plain, {{"manifest.xml", xml}}, true, dir_.Path()));
    ASSERT_TRUE(CodeSigning::Instance().Sign(Signer::kVomoLlc, plain, cabinet));
    std::string bytes;
    ASSERT_TRUE(ReadFile(cabinet, bytes));
    packages_.Server().Route(kCabinetPath, HttpReply::Body(bytes));
}

}  // namespace testsupport
