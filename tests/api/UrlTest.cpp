#include <gtest/gtest.h>

#include <utf8.h>

#include "api/Url.h"

namespace {

struct Split {
    const char* text;
    const char* scheme;
    const char* host;
    const char* port;
    const char* path;
    const char* extension;
    const char* query;
    const char* printed;  // ToString
};

class UrlSplitTest : public ::testing::TestWithParam<Split> {};

TEST_P(UrlSplitTest, SplitsIntoSixPartsAndPrintsBack) {
    const Split& s = GetParam();
    const Url url(s.text);
    EXPECT_EQ(s.scheme, url.GetScheme());
    EXPECT_EQ(s.host, url.GetHost());
    EXPECT_EQ(s.port, url.GetPort());
    EXPECT_EQ(s.path, url.GetPath());
    EXPECT_EQ(s.extension, url.GetExtension());
    EXPECT_EQ(s.query, url.GetQuery());
    EXPECT_EQ(s.printed, url.ToString());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UrlSplitTest,
    ::testing::Values(
        Split{"http://example.com:8080/dir/manifest.cab?x=1&y=2", "http", "example.com", "8080",
              "/dir/manifest.cab", "cab", "x=1&y=2",
              "http://example.com:8080/dir/manifest.cab?x=1&y=2"},
        // A port is text: leading zeros stay.
        Split{"http://h:0080/a", "http", "h", "0080", "/a", "a", "", "http://h:0080/a"},
        // "file" URLs keep drive letters and backslashes in the path.
        Split{"file://C:\\Program Files\\Vomo\\x.txt", "file", "", "",
              "C:\\Program Files\\Vomo\\x.txt", "txt", "", "file://C:\\Program Files\\Vomo\\x.txt"},
        Split{"file:///tmp/vomo1a2b", "file", "", "", "/tmp/vomo1a2b", "tmp/vomo1a2b", "",
              "file:///tmp/vomo1a2b"},
        // A "/" in the query of a URL without a path does not start a path.
        Split{"http://host?a=/b/c", "http", "host", "", "", "", "a=/b/c", "http://host?a=/b/c"},
        // No "." after the path's first character: the path minus its first character.
        Split{"http://h/abc", "http", "h", "", "/abc", "abc", "", "http://h/abc"},
        // The "." right after the leading "/" counts.
        Split{"http://h/.profile", "http", "h", "", "/.profile", "profile", "",
              "http://h/.profile"},
        // Without "://", a drive-letter path yields the letter as host and the rest as port.
        Split{"C:\\dir\\file.txt", "", "C", "\\dir\\file.txt", "", "", "", "C:\\dir\\file.txt"},
        Split{"host/path/x.y.z", "", "host", "", "/path/x.y.z", "z", "", "host/path/x.y.z"},
        Split{"http://h", "http", "h", "", "", "", "", "http://h"},
        // A "?" before "://" began the query: no scheme, and nothing is read past the text.
        Split{"a?b://c/d", "", "a", "", "", "", "b://c/d", "a?b://c/d"},
        Split{"?://", "", "", "", "", "", "://", "?://"},
        // An empty port is not printed, so this text does not round-trip.
        Split{"x:?//", "", "x", "", "", "", "//", "x?//"},
        Split{"http://?", "http", "", "", "", "", "", "http://"},
        Split{"://", "", "", "", "", "", "", ""}, Split{"h:", "", "h", "", "", "", "", "h"}));

TEST(UrlTest, EmptyTextLeavesParsedUrlUnchanged) {
    Url url("http://h:1/p?q");
    url.Parse("");
    EXPECT_EQ("http://h:1/p?q", url.ToString());
    EXPECT_TRUE(Url("").IsEmpty());
    EXPECT_TRUE(Url().IsEmpty());
}

TEST(UrlTest, IsEmptyLooksAtSchemeHostAndPathOnly) {
    EXPECT_TRUE(Url("?only=query").IsEmpty());
    EXPECT_FALSE(Url("host").IsEmpty());
    Url port(":80");
    EXPECT_TRUE(port.IsEmpty());
    EXPECT_EQ("80", port.GetPort());
}

TEST(UrlTest, ParseReplacesEveryPart) {
    Url url("http://a:1/x.y?q");
    url.Parse("file:///b");
    EXPECT_EQ("file", url.GetScheme());
    EXPECT_EQ("", url.GetHost());
    EXPECT_EQ("", url.GetPort());
    EXPECT_EQ("", url.GetQuery());
    EXPECT_EQ("file:///b", url.ToString());
}

TEST(UrlTest, QueryRoundTripsWithExactlyOneQuestionMark) {
    const Url url("https://h/p?a?b");
    EXPECT_EQ("a?b", url.GetQuery());
    EXPECT_EQ("https://h/p?a?b", url.ToString());
}

TEST(UrlTest, UnicodeTextsSplitAtTheSamePlaces) {
    const Url url("http://h\xC3\xA9te/\xE2\x82\xAC.cab?\xF0\x9F\x98\x80");
    EXPECT_EQ("h\xC3\xA9te", url.GetHost());
    EXPECT_EQ("/\xE2\x82\xAC.cab", url.GetPath());
    EXPECT_EQ("cab", url.GetExtension());
    EXPECT_EQ("\xF0\x9F\x98\x80", url.GetQuery());
}

TEST(UrlTest, MalformedUtf8RaisesAndKeepsThePreviousParts) {
    Url url("http://h/p");
    EXPECT_THROW(url.Parse("http://h/\xC3"), utf8::not_enough_room);
    EXPECT_THROW(url.Parse("http://h/\xFF"), utf8::invalid_utf8);
    EXPECT_THROW(url.Parse("\xED\xA0\x80"), utf8::exception);  // a lone surrogate
    EXPECT_EQ("http://h/p", url.ToString());
}

TEST(UrlTest, FromPathMakesFileUrls) {
    const Url url = Url::FromPath("/tmp/dir/manifest.xml");
    EXPECT_EQ("file", url.GetScheme());
    EXPECT_EQ("/tmp/dir/manifest.xml", url.GetPath());
    EXPECT_EQ("file:///tmp/dir/manifest.xml", url.ToString());
    EXPECT_TRUE(Url::FromPath("").IsEmpty());
}

TEST(UrlTest, CopiesAreIndependent) {
    Url a("http://a/b");
    Url b = a;
    b.Parse("http://c/d");
    EXPECT_EQ("http://a/b", a.ToString());
    a = b;
    EXPECT_EQ(a, b);
}

}  // namespace
