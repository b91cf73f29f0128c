#include "packages/PackageDigest.h"

#include <cstddef>

namespace {

const size_t kDigestBytes = 32;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

DigestText ParseDigestText(const std::string& text, std::string& digest) {
    digest.clear();
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    if (text.empty()) {
        return DigestText::kNone;
    }
    if (end - begin != 2 * kDigestBytes) {
        return DigestText::kInvalid;
    }
    std::string bytes;
    for (size_t i = begin; i < end; i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return DigestText::kInvalid;
        }
        bytes += static_cast<char>(high * 16 + low);
    }
    digest = bytes;
    return DigestText::kValid;
}

std::string PresentDigestText(const std::string& text) {
    return text.empty() ? std::string("(empty)") : text;
}

std::string DigestToHex(const std::string& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : digest) {
        const unsigned char byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

DigestCheck CheckPackageDigest(const std::string& path, const std::string& digestText,
                               platform::FileSeal& seal) {
    std::string expected;
    switch (ParseDigestText(digestText, expected)) {
        case DigestText::kNone:
            return DigestCheck::kNoDigest;
        case DigestText::kInvalid:
            return DigestCheck::kInvalid;
        case DigestText::kValid:
            break;
    }
    if (!platform::SealFile(path, seal)) {
        return DigestCheck::kUnreadable;
    }
    return seal.digest == expected ? DigestCheck::kMatches : DigestCheck::kMismatch;
}

const char* DigestCheckText(DigestCheck check) {
    switch (check) {
        case DigestCheck::kMismatch:
            return "the package is not the one the manifest names";
        case DigestCheck::kInvalid:
            return "the manifest's sha256 of the package is not 64 hexadecimal digits";
        default:
            return "";
    }
}
