// Small documents for the manifest tests: a text is written to a file and loaded as the engine
// loads the manifest; contexts are picked with plain TinyXML navigation, so that the queries
// under test are not used to set themselves up.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <tinyxml.h>

#include "engine/ManifestDocument.h"
#include "support/TempDir.h"

namespace enginetest {

class ParsedXml {
public:
    explicit ParsedXml(const std::string& xml) : dir_("vcm-xml") {
        const std::string path = dir_.File("doc.xml");
        testsupport::WriteFile(path, xml);
        result_ = document_.Load(path);
    }
    uint32_t Result() const { return result_; }
    const TiXmlElement* Root() const { return document_.Root(); }

private:
    testsupport::TempDir dir_;
    ManifestDocument document_;
    uint32_t result_ = 0;
};

// The index-th child element of `parent` named `name`.
inline const TiXmlElement* Child(const TiXmlNode* parent, const char* name, int index = 0) {
    const TiXmlElement* e = parent ? parent->FirstChildElement(name) : nullptr;
    for (; e && index > 0; --index) {
        e = e->NextSiblingElement(name);
    }
    return e;
}

// "name" or "name#id" for each node, to compare node lists in one line.
inline std::vector<std::string> Describe(const std::vector<const TiXmlNode*>& nodes) {
    std::vector<std::string> out;
    for (const TiXmlNode* node : nodes) {
        const TiXmlElement* e = node->ToElement();
        const char* id = e ? e->Attribute("id") : nullptr;
        out.push_back(node->ValueStr() + (id ? std::string("#") + id : std::string()));
    }
    return out;
}

}  // namespace enginetest
