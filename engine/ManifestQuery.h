// The query functions through which the engine, the component parser and the offer readers
// read the manifest. Each takes a context node and an expression of the XPath subset
// (engine/TinyXPath.h), clears its output first, and answers true on success. A null context,
// a context without a parent, or a malformed expression finds nothing: a missing element,
// attribute or text is never an error at this level, the caller keeps its default.
//
// Each function also takes its expression (and attribute name) as a C string that the caller
// keeps unchanged while it runs, as a literal is: then no string is built for the call and the
// compiled expression is found by its address.
#pragma once

#include <string>
#include <vector>

#include <tinyxml.h>
#include <boost/shared_ptr.hpp>

#include "engine/IMultiLangString.h"

// The first node of `path`, then its attribute `name`: true with the value (possibly empty)
// when both exist.
bool QueryAttribute(const TiXmlNode* context, const std::string& path, const std::string& name,
                    std::string& value);
bool QueryAttribute(const TiXmlNode* context, const char* path, const char* name,
                    std::string& value);

// The first node of `path`: true when there is one, with the text of its first text child
// (empty when it has none, so text split by a child element yields the part before it).
bool QueryText(const TiXmlNode* context, const std::string& path, std::string& text);
bool QueryText(const TiXmlNode* context, const char* path, std::string& text);

// QueryText, then the flag is true exactly for the texts "true" and "1". False (and the flag
// false) when there is no such node.
bool QueryBool(const TiXmlNode* context, const std::string& path, bool& flag);
bool QueryBool(const TiXmlNode* context, const char* path, bool& flag);

// The tree nodes of `path` in document order (attributes of the set are not listed). False when
// there are none.
bool QueryNodes(const TiXmlNode* context, const std::string& path,
                std::vector<const TiXmlNode*>& nodes);
bool QueryNodes(const TiXmlNode* context, const char* path, std::vector<const TiXmlNode*>& nodes);

// For each node of `path` in order, its attribute `name` when present and non-empty. True when
// at least one value was appended.
bool QueryAttributeList(const TiXmlNode* context, const std::string& path, const std::string& name,
                        std::vector<std::string>& values);
bool QueryAttributeList(const TiXmlNode* context, const char* path, const char* name,
                        std::vector<std::string>& values);

// With n the number of nodes of `path`: for i = 1 .. n, the text (as QueryText) of
// path + "[i]", that is of the i-th matching node under each parent; the non-empty texts are
// appended. True when at least one text was appended.
bool QueryTextList(const TiXmlNode* context, const std::string& path,
                   std::vector<std::string>& texts);
bool QueryTextList(const TiXmlNode* context, const char* path, std::vector<std::string>& texts);

// A multi-language text from the nodes of `path`: for i = 1 .. n, the node path + "[i]" gives
// a language code (its attribute "lang") and a text (as QueryText); a text is stored under its
// code when the code is non-empty, the first text of a code winning. Always hands out a string
// object (possibly empty); true when at least one text was stored.
bool QueryMultiLangString(const TiXmlNode* context, const std::string& path,
                          boost::shared_ptr<vmi::IMultiLangString>& text);
bool QueryMultiLangString(const TiXmlNode* context, const char* path,
                          boost::shared_ptr<vmi::IMultiLangString>& text);
