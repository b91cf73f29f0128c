// Url: the address value used for the manifest, package URLs, download targets and local
// files. A local file is a Url of scheme "file" whose path part is the file-system path.
//
// The text is split once into six parts and printed back from them; nothing is validated,
// normalised or decoded. Parsing walks the text with utfcpp's checked iteration, so a malformed
// UTF-8 sequence raises utf8::invalid_utf8, utf8::not_enough_room or utf8::invalid_code_point.
#pragma once

#include <string>

class Url {
public:
    Url() = default;
    explicit Url(const std::string& text);

    // Replaces the parts with those of `text`; an empty text changes nothing.
    void Parse(const std::string& text);

    // True when scheme, host and path are all empty.
    bool IsEmpty() const;

    std::string GetScheme() const { return scheme_; }
    std::string GetHost() const { return host_; }
    std::string GetPath() const { return path_; }
    std::string GetPort() const { return port_; }
    std::string GetExtension() const { return extension_; }
    std::string GetQuery() const { return query_; }

    std::string ToString() const;

    // A "file" Url for a local path, so that ToString gives "file://" + path back.
    static Url FromPath(const std::string& path);

    bool operator==(const Url& other) const;
    bool operator!=(const Url& other) const { return !(*this == other); }

private:
    std::string scheme_;
    std::string host_;
    std::string port_;
    std::string path_;
    std::string extension_;
    std::string query_;
};
