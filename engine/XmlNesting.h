// How deep TinyXML's parser would nest elements for a text, found without parsing it.
//
// TinyXML parses an element inside an element by recursion, and frees a tree by recursion: a
// text that nests elements deeply enough overflows the stack of the thread that loads it. The
// manifest loader therefore refuses texts whose nesting exceeds a bound before TinyXML sees
// them. To be a safe bound the count must follow TinyXML's own reading of the text, not the
// XML grammar: in a document read as UTF-8, TinyXML steps over a lead byte together with the
// bytes it announces (so "\xe0</a>" holds no end tag), and a numeric character reference runs
// to the next ";" whatever lies between (so "&#x</a>x;" holds none either). The scan below
// reads the text the way TinyXML 2.6 does - declarations and the encoding they switch to,
// comments, CDATA sections, other "<!" and "<?" constructs, attributes quoted and unquoted,
// texts, end tags checked against their start tags - and counts the open elements. Where
// TinyXML would stop with an error the scan stops as well; the count up to there is exact.
#pragma once

#include <cstddef>
#include <set>
#include <string>

#include <tinyxml.h>

namespace TinyXPath {

// The deepest element nesting TinyXML reaches when it parses `text` starting with `encoding`
// (as TiXmlDocument::Parse takes it). The text must be followed by at least four NUL bytes
// (the terminating NUL included), since TinyXML's way of stepping over a lead byte can pass the
// terminator by up to three bytes.
std::size_t xml_nesting_depth(const char* text, TiXmlEncoding encoding = TIXML_ENCODING_UNKNOWN);

// The same, and `deepNames` receives the names of the elements that stand three levels deep or
// deeper (below a child of a top-level element), as TinyXML reads names: what a query for an
// element name anywhere below the root element must look for beyond the root's children.
std::size_t xml_nesting_depth(const char* text, TiXmlEncoding encoding,
                              std::set<std::string>& deepNames);

}  // namespace TinyXPath
