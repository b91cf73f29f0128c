#include "engine/ManifestDocument.h"

#include <exception>

#include "platform/InputFile.h"

uint32_t ManifestDocument::Load(const std::string& path) {
    root_ = nullptr;
    if (path.empty()) {
        return kUnavailable;
    }
    std::FILE* file = platform::OpenInputFile(path);
    if (!file) {
        return kUnavailable;
    }
    const uint32_t result = Load(file);
    std::fclose(file);
    return result;
}

uint32_t ManifestDocument::Load(std::FILE* file) {
    root_ = nullptr;
    if (!file) {
        return kUnavailable;
    }
    // A directory opens for reading on some systems but fails the first read; its reported
    // size would make the loader allocate a buffer of that size.
    const int first = std::getc(file);
    if (first == EOF && std::ferror(file)) {
        return kUnavailable;
    }
    std::rewind(file);
    try {
        if (!document_.LoadFile(file)) {
            return document_.ErrorId() == TiXmlBase::TIXML_ERROR_OPENING_FILE ? kUnavailable
                                                                              : kNotParsed;
        }
    } catch (const std::exception&) {
        // The loader allocates the whole file and the tree: an allocation failure is a
        // manifest that cannot be loaded, not a crash of the host.
        return kNotParsed;
    }
    root_ = document_.RootElement();
    return root_ ? kLoaded : kNotParsed;
}
