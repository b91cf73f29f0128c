#include "engine/XmlNesting.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/AsciiCase.h"

namespace TinyXPath {

namespace {

// Bytes a UTF-8 lead byte announces, as TinyXML's table gives them (continuation bytes and
// bytes that cannot start a sequence count as one).
int Utf8Length(unsigned char c) {
    if (c >= 0xc0 && c <= 0xdf) {
        return 2;
    }
    if (c >= 0xe0 && c <= 0xef) {
        return 3;
    }
    if (c >= 0xf0 && c <= 0xf4) {
        return 4;
    }
    return 1;
}

// The C locale's classes, which TinyXML's checks use.
bool IsWhite(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsAlpha(unsigned char c) {
    return c >= 127 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAlphaNum(unsigned char c) {
    return IsAlpha(c) || (c >= '0' && c <= '9');
}

// Byte classes as tables, for the loops that run over most of a text.
struct ByteClasses {
    bool nameChar[256];    // continues a name as TinyXML reads one
    bool plainUtf8[256];   // stepped over alone in a text or a value read as UTF-8
    bool plainBytes[256];  // the same, read byte by byte

    ByteClasses() {
        for (int c = 0; c < 256; ++c) {
            const unsigned char u = static_cast<unsigned char>(c);
            nameChar[c] = c != 0 && (IsAlphaNum(u) || c == '_' || c == '-' || c == '.' || c == ':');
            plainBytes[c] = c != 0 && c != '&';
            plainUtf8[c] = plainBytes[c] && c < 0xc0;
        }
    }
};

const ByteClasses kClasses;

bool StartsWith(const char* p, const char* tag) {
    while (*p && *tag && *p == *tag) {
        ++p;
        ++tag;
    }
    return *tag == 0;
}

bool StartsWithNoCase(const char* p, const char* tag) {
    while (*p && *tag && platform::AsciiLower(*p) == platform::AsciiLower(*tag)) {
        ++p;
        ++tag;
    }
    return *tag == 0;
}

// Distinct element names, found again by a hash of their bytes: a manifest has a few dozen names
// and hundreds of thousands of elements.
class name_set {
public:
    void add(const char* name, std::size_t length) {
        uint32_t hash = 2166136261u;
        for (std::size_t i = 0; i < length; ++i) {
            hash = (hash ^ static_cast<unsigned char>(name[i])) * 16777619u;
        }
        for (std::size_t probe = 0; probe < kSlots; ++probe) {
            std::string*& slot = slots_[(hash + probe) % kSlots];
            if (!slot) {
                names_.emplace_back(name, length);
                slot = &names_.back();
                return;
            }
            if (slot->size() == length && std::memcmp(slot->data(), name, length) == 0) {
                return;
            }
        }
        names_.emplace_back(name, length);  // the table is full: kept unhashed
    }
    void take(std::set<std::string>& out) const { out.insert(names_.begin(), names_.end()); }

private:
    static const std::size_t kSlots = 512;
    std::string* slots_[kSlots] = {};
    std::deque<std::string> names_;  // stable addresses
};

class scanner {
public:
    scanner(const char* text, TiXmlEncoding encoding, name_set* deep = nullptr)
        : p_(text),
          utf8_(encoding == TIXML_ENCODING_UTF8),
          known_(encoding != TIXML_ENCODING_UNKNOWN),
          deep_(deep) {}

    std::size_t run() {
        if (!*p_) {
            return 0;
        }
        const unsigned char* u = reinterpret_cast<const unsigned char*>(p_);
        if (!known_ && u[0] == 0xef && u[1] == 0xbb && u[2] == 0xbf) {
            utf8_ = true;
            known_ = true;
        }
        skip_white();
        while (*p_ == '<') {
            const kind k = identify();
            if (k == ELEMENT) {
                if (!element()) {
                    break;
                }
            } else if (k == DECLARATION) {
                std::string encoding;
                if (!declaration(known_ ? nullptr : &encoding)) {
                    break;
                }
                if (!known_) {
                    known_ = true;
                    utf8_ = encoding.empty() || StartsWithNoCase(encoding.c_str(), "UTF-8") ||
                            StartsWithNoCase(encoding.c_str(), "UTF8");
                }
            } else if (!other(k)) {
                break;
            }
            skip_white();
        }
        return deepest_;
    }

private:
    enum kind { ELEMENT, DECLARATION, COMMENT, CDATA, UNKNOWN };

    // True for a byte that a text or a quoted value simply steps over: not the end, not a
    // reference, not `stop`, and (in UTF-8) no lead byte that would take others with it.
    bool plain(char stop) const {
        const unsigned char c = static_cast<unsigned char>(*p_);
        return (utf8_ ? kClasses.plainUtf8[c] : kClasses.plainBytes[c]) &&
               c != static_cast<unsigned char>(stop);
    }

    void skip_white() {
        for (;;) {
            const unsigned char* u = reinterpret_cast<const unsigned char*>(p_);
            if (*p_ == ' ' || *p_ == '\n') {
                ++p_;  // the common case first
            } else if (utf8_ && u[0] == 0xef &&
                       ((u[1] == 0xbb && u[2] == 0xbf) ||
                        (u[1] == 0xbf && (u[2] == 0xbe || u[2] == 0xbf)))) {
                p_ += 3;
            } else if (*p_ && IsWhite(*p_)) {
                ++p_;
            } else {
                return;
            }
        }
    }

    kind identify() const {
        if (StartsWithNoCase(p_, "<?xml")) {
            return DECLARATION;
        }
        if (StartsWith(p_, "<!--")) {
            return COMMENT;
        }
        if (StartsWith(p_, "<![CDATA[")) {
            return CDATA;
        }
        if (StartsWith(p_, "<!")) {
            return UNKNOWN;
        }
        const unsigned char next = static_cast<unsigned char>(p_[1]);
        return next && (IsAlpha(next) || next == '_') ? ELEMENT : UNKNOWN;
    }

    // Comments, CDATA sections and other constructs; false where TinyXML stops.
    bool other(kind k) {
        if (k == COMMENT) {
            p_ += 4;
            while (*p_ && !StartsWith(p_, "-->")) {
                ++p_;
            }
            if (*p_) {
                p_ += 3;
            }
            return true;
        }
        if (k == CDATA) {
            p_ += 9;
            while (*p_ && !StartsWith(p_, "]]>")) {
                ++p_;
            }
            if (!*p_) {
                return false;
            }
            p_ += 3;
            return *p_ != 0;
        }
        ++p_;  // an unknown construct runs to the next ">"
        while (*p_ && *p_ != '>') {
            ++p_;
        }
        if (*p_ == '>') {
            ++p_;
        }
        return true;
    }

    // One character of a text or an attribute value, as TinyXML's character reader steps;
    // `out`, when given, receives it as TinyXML decodes it (single-byte reading only). False
    // where TinyXML stops.
    bool step(std::string* out) {
        if (utf8_) {
            const int length = Utf8Length(static_cast<unsigned char>(*p_));
            if (length > 1) {
                p_ += length;  // the NUL bytes after the text stop whatever follows
                return true;
            }
        }
        if (*p_ != '&') {
            if (out) {
                out->push_back(*p_);
            }
            ++p_;
            return true;
        }
        return entity(out);
    }

    bool entity(std::string* out) {
        static const struct {
            const char* text;
            std::size_t length;
            char value;
        } kNamed[] = {{"&amp;", 5, '&'},
                      {"&lt;", 4, '<'},
                      {"&gt;", 4, '>'},
                      {"&quot;", 6, '"'},
                      {"&apos;", 6, '\''}};
        if (p_[1] == '#' && p_[2]) {
            const bool hex = p_[2] == 'x';
            if (hex && !p_[3]) {
                return false;
            }
            const char* end = std::strchr(p_ + (hex ? 3 : 2), ';');
            if (!end) {
                return false;
            }
            // Read backwards from ";" to the nearest "x" (or "#"): digits only.
            uint64_t value = 0;
            uint64_t factor = 1;
            for (const char* q = end - 1; *q != (hex ? 'x' : '#'); --q) {
                uint64_t digit;
                if (*q >= '0' && *q <= '9') {
                    digit = static_cast<uint64_t>(*q - '0');
                } else if (hex && *q >= 'a' && *q <= 'f') {
                    digit = static_cast<uint64_t>(*q - 'a' + 10);
                } else if (hex && *q >= 'A' && *q <= 'F') {
                    digit = static_cast<uint64_t>(*q - 'A' + 10);
                } else {
                    return false;
                }
                value += factor * digit;
                factor *= hex ? 16 : 10;
            }
            if (out) {
                out->push_back(static_cast<char>(value));
            }
            p_ = end + 1;
            return true;
        }
        for (const auto& named : kNamed) {
            if (std::strncmp(named.text, p_, named.length) == 0) {
                if (out) {
                    out->push_back(named.value);
                }
                p_ += named.length;
                return true;
            }
        }
        ++p_;  // not a reference: TinyXML drops the "&" from the value
        return true;
    }

    // An XML name as TinyXML reads it; false when none starts here.
    bool name() {
        const unsigned char c = static_cast<unsigned char>(*p_);
        if (!c || !(IsAlpha(c) || c == '_')) {
            return false;
        }
        while (kClasses.nameChar[static_cast<unsigned char>(*p_)]) {
            ++p_;
        }
        return true;
    }

    // name = value, quoted or not. False where TinyXML stops.
    bool attribute(std::string* value) {
        skip_white();
        if (!name()) {
            return false;
        }
        skip_white();
        if (*p_ != '=') {
            return false;
        }
        ++p_;
        skip_white();
        if (!*p_) {
            return false;
        }
        if (*p_ == '\'' || *p_ == '"') {
            const char quote = *p_++;
            while (*p_ && *p_ != quote) {
                if (!value) {
                    while (plain(quote)) {
                        ++p_;
                    }
                    if (!*p_ || *p_ == quote) {
                        break;
                    }
                }
                if (!step(value)) {
                    return false;
                }
            }
            if (!*p_) {
                return false;
            }
            ++p_;
            return *p_ != 0;
        }
        while (*p_ && !IsWhite(*p_) && *p_ != '/' && *p_ != '>') {
            if (*p_ == '\'' || *p_ == '"') {
                return false;
            }
            if (value) {
                value->push_back(*p_);
            }
            ++p_;
        }
        return true;
    }

    // "<?xml" and its attributes; `encoding` receives the value of the last "encoding".
    bool declaration(std::string* encoding) {
        p_ += 5;
        while (*p_) {
            if (*p_ == '>') {
                ++p_;
                return true;
            }
            skip_white();
            if (!*p_) {
                return false;
            }
            if (StartsWithNoCase(p_, "encoding")) {
                std::string value;
                if (!attribute(encoding ? &value : nullptr)) {
                    return false;
                }
                if (encoding) {
                    *encoding = value;
                }
            } else if (StartsWithNoCase(p_, "version") || StartsWithNoCase(p_, "standalone")) {
                if (!attribute(nullptr)) {
                    return false;
                }
            } else {
                while (*p_ && *p_ != '>' && !IsWhite(*p_)) {
                    ++p_;
                }
            }
        }
        return false;
    }

    // Text up to the next "<", which must be followed by something.
    bool text() {
        while (*p_ && *p_ != '<') {
            while (plain('<')) {
                ++p_;
            }
            if (!*p_ || *p_ == '<') {
                break;
            }
            if (IsWhite(*p_)) {
                ++p_;
            } else if (!step(nullptr)) {
                return false;
            }
        }
        return *p_ && p_[1];
    }

    // An element with everything inside it, starting at its "<"; false where TinyXML stops.
    // Open elements are kept on a list of names instead of the parser's recursion.
    bool element() {
        std::vector<std::pair<const char*, std::size_t>> open;
        for (;;) {
            // Start tag at p_: the parser is one level deeper for it, empty or not.
            if (open.size() + 1 > deepest_) {
                deepest_ = open.size() + 1;
            }
            ++p_;
            skip_white();
            const char* start = p_;
            if (!name() || !*p_) {
                return false;
            }
            const std::pair<const char*, std::size_t> tag(start,
                                                          static_cast<std::size_t>(p_ - start));
            if (deep_ && open.size() >= 2) {
                deep_->add(tag.first, tag.second);
            }
            bool empty = false;
            for (;;) {
                skip_white();
                if (!*p_) {
                    return false;
                }
                if (*p_ == '/') {
                    if (p_[1] != '>') {
                        return false;
                    }
                    p_ += 2;
                    empty = true;
                    break;
                }
                if (*p_ == '>') {
                    ++p_;
                    break;
                }
                if (!attribute(nullptr) || !*p_) {
                    return false;
                }
            }
            if (!empty) {
                open.push_back(tag);
            }
            // Content of the innermost open element, up to an end tag or a child element.
            for (;;) {
                if (open.empty()) {
                    return true;
                }
                skip_white();
                if (!*p_) {
                    return false;
                }
                if (*p_ != '<') {
                    if (!text()) {
                        return false;
                    }
                    continue;
                }
                if (StartsWith(p_, "</")) {
                    const std::pair<const char*, std::size_t>& current = open.back();
                    if (std::strncmp(p_ + 2, current.first, current.second) != 0) {
                        return false;
                    }
                    p_ += 2 + current.second;
                    skip_white();
                    if (*p_ != '>') {
                        return false;
                    }
                    ++p_;
                    open.pop_back();
                    continue;
                }
                const kind k = identify();
                if (k == ELEMENT) {
                    break;  // a child: read its start tag
                }
                if (k == DECLARATION ? !declaration(nullptr) : !other(k)) {
                    return false;
                }
            }
        }
    }

    const char* p_;
    bool utf8_;
    bool known_;
    name_set* deep_;
    std::size_t deepest_ = 0;
};

}  // namespace

std::size_t xml_nesting_depth(const char* text, TiXmlEncoding encoding) {
    return text ? scanner(text, encoding).run() : 0;
}

std::size_t xml_nesting_depth(const char* text, TiXmlEncoding encoding,
                              std::set<std::string>& deepNames) {
    deepNames.clear();
    if (!text) {
        return 0;
    }
    name_set names;
    const std::size_t depth = scanner(text, encoding, &names).run();
    names.take(deepNames);
    return depth;
}

}  // namespace TinyXPath
