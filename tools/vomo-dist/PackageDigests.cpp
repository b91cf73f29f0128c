#include "tools/vomo-dist/PackageDigests.h"

#include <tinyxml.h>

#include <cstdio>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "packages/PackageDigest.h"
#include "platform/FileSeal.h"
#include "platform/LastError.h"

namespace vomodist {

namespace {

// Every `package` element below `node`, in document order.
void CollectPackages(TiXmlNode* node, std::vector<TiXmlElement*>& packages) {
    for (TiXmlElement* child = node->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        if (child->ValueStr() == "package") {
            packages.push_back(child);
        }
        CollectPackages(child, packages);
    }
}

std::string ChildText(const TiXmlElement* element, const char* name) {
    const TiXmlElement* child = element->FirstChildElement(name);
    return child && child->GetText() ? std::string(child->GetText()) : std::string();
}

// The package's local file in `folder`, or empty when its address names none there.
std::string LocalFile(const std::string& url, const std::string& folder) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    const std::string::size_type slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        return std::string();
    }
    const boost::filesystem::path file = boost::filesystem::path(folder) / name;
    boost::system::error_code error;
    return boost::filesystem::is_regular_file(file, error) ? file.string() : std::string();
}

bool Load(TiXmlDocument& document, const std::string& path, std::string& error) {
    if (!document.LoadFile(path) || !document.RootElement()) {
        error = path + ": " + (document.ErrorDesc() ? document.ErrorDesc() : "not a manifest");
        return false;
    }
    return true;
}

}  // namespace

bool FillPackageDigests(const std::string& input, const std::string& folder,
                        const std::string& output, std::string& error) {
    TiXmlDocument document;
    if (!Load(document, input, error)) {
        return false;
    }
    std::vector<TiXmlElement*> packages;
    CollectPackages(&document, packages);
    for (TiXmlElement* package : packages) {
        const std::string url = ChildText(package, "url");
        const std::string file = LocalFile(url, folder);
        if (file.empty()) {
            continue;
        }
        platform::FileSeal seal;
        if (!platform::SealFile(file, seal)) {
            error = file + ": " + platform::GetLastErrorText();
            return false;
        }
        const std::string hex = DigestToHex(seal.digest);
        TiXmlElement* digest = package->FirstChildElement("sha256");
        if (!digest) {
            digest = package->InsertEndChild(TiXmlElement("sha256"))->ToElement();
        }
        digest->Clear();
        digest->InsertEndChild(TiXmlText(hex));
        std::printf("%s: sha256 %s\n", url.c_str(), hex.c_str());
    }
    if (!document.SaveFile(output)) {
        error = "cannot write " + output;
        return false;
    }
    return true;
}

int CheckPackageDigests(const std::string& manifest, const std::string& folder) {
    TiXmlDocument document;
    std::string error;
    if (!Load(document, manifest, error)) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    std::vector<TiXmlElement*> packages;
    CollectPackages(&document, packages);
    int result = 0;
    for (const TiXmlElement* package : packages) {
        const std::string url = ChildText(package, "url");
        if (!package->FirstChildElement("sha256")) {
            continue;
        }
        std::string expected;
        if (ParseDigestText(ChildText(package, "sha256"), expected) != DigestText::kValid) {
            std::printf("%s: sha256 is not 64 hexadecimal digits\n", url.c_str());
            result = 1;
            continue;
        }
        const std::string file = folder.empty() ? std::string() : LocalFile(url, folder);
        platform::FileSeal seal;
        if (file.empty()) {
            std::printf("%s: sha256 not checked, no local file\n", url.c_str());
        } else if (!platform::SealFile(file, seal)) {
            std::printf("%s: %s\n", file.c_str(), platform::GetLastErrorText().c_str());
            result = 1;
        } else if (seal.digest != expected) {
            std::printf("%s: sha256 differs from %s's\n", url.c_str(), file.c_str());
            result = 1;
        } else {
            std::printf("%s: sha256 matches %s\n", url.c_str(), file.c_str());
        }
    }
    return result;
}

}  // namespace vomodist
