// The manifest file as a document tree, queried from its root element. The engine parses the
// manifest it verified and extracted once and lets every reader of that manifest query the same
// tree (VomoInstallImpl::ReadManifest); a manifest file named by a caller is loaded afresh by
// each operation that reads it. A document belongs to one thread at a time (its queries keep
// lookup structures in it).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <tinyxml.h>

#include "engine/TinyXPath.h"

class ManifestDocument {
public:
    static const uint32_t kLoaded = 0;
    static const uint32_t kUnavailable = 7;  // the file cannot be opened or read
    static const uint32_t kNotParsed = 14;   // not well-formed XML, or no root element

    ManifestDocument() = default;
    ManifestDocument(const ManifestDocument&) = delete;
    ManifestDocument& operator=(const ManifestDocument&) = delete;

    // Opens `path` with fopen(path, "rb"), loads the whole file with TinyXML's own encoding
    // detection (as TiXmlDocument::LoadFile would, without its copies of the text) and closes
    // it. An empty path, a missing or unreadable file, or a directory is kUnavailable.
    uint32_t Load(const std::string& path);
    // Loads from a file that is already open, from its start; the file stays open.
    uint32_t Load(std::FILE* file);

    // The document's first child element, the context of every document-level query; null
    // until a load succeeded.
    const TiXmlElement* Root() const { return root_; }
    // Why the last load failed ("line 3, column 7: Error reading end tag."), or empty.
    const std::string& ErrorText() const { return error_; }

private:
    uint32_t Fail(uint32_t code, const std::string& why);

    TinyXPath::xpath_document document_;
    const TiXmlElement* root_ = nullptr;
    std::string error_;
};
