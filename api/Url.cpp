#include "api/Url.h"

#include <utf8.h>

namespace {

const std::string::size_type npos = std::string::npos;

// Walks every code point with the checked iteration: a malformed sequence throws here, before
// any part is touched. All delimiters are ASCII, so byte positions found afterwards are the
// positions of the same code points.
void CheckUtf8(const std::string& text) {
    std::string::const_iterator it = text.begin();
    while (it != text.end()) {
        utf8::next(it, text.end());
    }
}

std::string::size_type FindIn(const std::string& text, char c, std::string::size_type from,
                              std::string::size_type to) {
    for (std::string::size_type i = from; i < to && i < text.size(); ++i) {
        if (text[i] == c) {
            return i;
        }
    }
    return npos;
}

}  // namespace

Url::Url(const std::string& text) {
    Parse(text);
}

Url Url::FromPath(const std::string& path) {
    Url url;
    if (path.empty()) {
        return url;
    }
    url.Parse("file://" + path);
    return url;
}

void Url::Parse(const std::string& text) {
    if (text.empty()) {
        return;
    }
    CheckUtf8(text);

    scheme_.clear();
    host_.clear();
    port_.clear();
    path_.clear();
    extension_.clear();
    query_.clear();

    const std::string::size_type q = FindIn(text, '?', 0, text.size());
    const std::string::size_type queryStart = q == npos ? text.size() : q;

    // A scheme ends at the first ":" of the text when "//" follows it. A "?" before that ":"
    // already began the query, so the text before it cannot hold a scheme: the split then
    // treats the text as scheme-less, which keeps every position inside [0, queryStart].
    std::string::size_type start = 0;
    const std::string::size_type colon = FindIn(text, ':', 0, text.size());
    if (colon != npos && colon < queryStart && text.compare(colon, 3, "://") == 0) {
        scheme_ = text.substr(0, colon);
        start = colon + 3;
    }
    if (start > queryStart) {
        start = queryStart;  // "scheme:/?..." has no room for "//" before the query
    }

    const std::string::size_type slash = FindIn(text, '/', start, queryStart);
    std::string::size_type pathStart = npos;
    if (scheme_ == "file") {
        pathStart = start;
    } else {
        const std::string::size_type authorityEnd = slash == npos ? queryStart : slash;
        const std::string::size_type portColon = FindIn(text, ':', start, authorityEnd);
        if (portColon == npos) {
            host_ = text.substr(start, authorityEnd - start);
        } else {
            host_ = text.substr(start, portColon - start);
            port_ = text.substr(portColon + 1, authorityEnd - portColon - 1);
        }
        pathStart = slash;
    }
    if (pathStart != npos) {
        path_ = text.substr(pathStart, queryStart - pathStart);
    }

    if (!path_.empty()) {
        std::string::size_type dot = npos;
        for (std::string::size_type i = 1; i < path_.size(); ++i) {
            if (path_[i] == '.') {
                dot = i;
            }
        }
        extension_ = dot == npos ? path_.substr(1) : path_.substr(dot + 1);
    }

    if (q != npos) {
        query_ = text.substr(q + 1);
    }
}

bool Url::IsEmpty() const {
    return scheme_.empty() && host_.empty() && path_.empty();
}

std::string Url::ToString() const {
    std::string text;
    if (!scheme_.empty()) {
        text += scheme_;
        text += "://";
    }
    text += host_;
    if (!port_.empty()) {
        text += ':';
        text += port_;
    }
    text += path_;
    if (!query_.empty()) {
        text += '?';
        text += query_;
    }
    return text;
}

bool Url::operator==(const Url& other) const {
    return scheme_ == other.scheme_ && host_ == other.host_ && port_ == other.port_ &&
           path_ == other.path_ && extension_ == other.extension_ && query_ == other.query_;
}
