#include "engine/ManifestDocument.h"

#include <exception>

#include "platform/InputFile.h"
#include "platform/LastError.h"

uint32_t ManifestDocument::Fail(uint32_t code, const std::string& why) {
    error_ = why;
    return code;
}

uint32_t ManifestDocument::Load(const std::string& path) {
    root_ = nullptr;
    error_.clear();
    if (path.empty()) {
        return Fail(kUnavailable, "no manifest file");
    }
    std::FILE* file = platform::OpenInputFile(path);
    if (!file) {
        return Fail(kUnavailable, platform::GetLastErrorText());
    }
    const uint32_t result = Load(file);
    std::fclose(file);
    return result;
}

uint32_t ManifestDocument::Load(std::FILE* file) {
    root_ = nullptr;
    error_.clear();
    if (!file) {
        return Fail(kUnavailable, "no manifest file");
    }
    // A directory opens for reading on some systems but fails the first read; its reported
    // size would make the loader allocate a buffer of that size.
    const int first = std::getc(file);
    if (first == EOF && std::ferror(file)) {
        return Fail(kUnavailable, "the file cannot be read");
    }
    std::rewind(file);
    try {
        std::string text;
        if (std::fseek(file, 0, SEEK_END) == 0) {
            const long size = std::ftell(file);
            if (size > 0) {
                text.reserve(static_cast<size_t>(size) + 8);  // the parser's padding too
            }
            std::rewind(file);
        }
        char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            text.append(chunk, n);
        }
        if (std::ferror(file)) {
            return Fail(kUnavailable, "the file cannot be read");
        }
        if (!document_.LoadText(text)) {
            const std::string why =
                "line " + std::to_string(document_.ErrorRow()) + ", column " +
                std::to_string(document_.ErrorCol()) + ": " +
                (document_.ErrorDesc() ? document_.ErrorDesc() : "not well-formed");
            return Fail(document_.ErrorId() == TiXmlBase::TIXML_ERROR_OPENING_FILE ? kUnavailable
                                                                                   : kNotParsed,
                        why);
        }
    } catch (const std::exception&) {
        // The loader allocates the whole file and the tree: an allocation failure is a
        // manifest that cannot be loaded, not a crash of the host.
        return Fail(kNotParsed, "too large to load");
    }
    root_ = document_.RootElement();
    return root_ ? kLoaded : Fail(kNotParsed, "no root element");
}
