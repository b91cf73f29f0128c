#include "engine/ManifestQuery.h"

#include <boost/make_shared.hpp>

#include "engine/MultiLangStringImpl.h"
#include "engine/TinyXPath.h"

namespace {

// The value of "attribute::" + name at `node`: nodes other than elements have no attributes,
// and a node without a parent is no context at all.
const std::string* AttributeAt(const TiXmlNode* node, const std::string& name) {
    if (!node || !node->Parent()) {
        return nullptr;
    }
    const TiXmlElement* element = node->ToElement();
    return element ? element->Attribute(name) : nullptr;
}

const std::string* AttributeAt(const TiXmlNode* node, const char* name) {
    if (!node || !node->Parent()) {
        return nullptr;
    }
    const TiXmlElement* element = node->ToElement();
    for (const TiXmlAttribute* a = element ? element->FirstAttribute() : nullptr; a;
         a = a->Next()) {
        if (a->NameTStr() == name) {
            return &a->ValueStr();
        }
    }
    return nullptr;
}

// The string value of "text()" at `node`: its first text child's text, or empty.
std::string FirstTextAt(const TiXmlNode* node) {
    for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
        if (child->Type() == TiXmlNode::TINYXML_TEXT) {
            return child->ValueStr();
        }
    }
    return std::string();
}

template <class Path, class Name>
bool AttributeQuery(const TiXmlNode* context, const Path& path, const Name& name,
                    std::string& value) {
    value.clear();
    if (!context) {
        return false;
    }
    const std::string* found =
        AttributeAt(TinyXPath::xpath_processor(context, path).first_node(), name);
    if (!found) {
        return false;
    }
    value = *found;
    return true;
}

template <class Path>
bool TextQuery(const TiXmlNode* context, const Path& path, std::string& text) {
    text.clear();
    if (!context) {
        return false;
    }
    const TiXmlNode* node = TinyXPath::xpath_processor(context, path).first_node();
    if (!node) {
        return false;
    }
    text = FirstTextAt(node);
    return true;
}

template <class Path>
bool BoolQuery(const TiXmlNode* context, const Path& path, bool& flag) {
    flag = false;
    std::string text;
    if (!TextQuery(context, path, text)) {
        return false;
    }
    flag = text == "true" || text == "1";
    return true;
}

template <class Path>
bool NodesQuery(const TiXmlNode* context, const Path& path, std::vector<const TiXmlNode*>& nodes) {
    nodes.clear();
    if (!context) {
        return false;
    }
    TinyXPath::xpath_processor processor(context, path);
    for (const TinyXPath::node_item& item : processor.nodes()) {
        if (!item.is_attribute()) {
            nodes.push_back(item.node);
        }
    }
    return !nodes.empty();
}

template <class Path, class Name>
bool AttributeListQuery(const TiXmlNode* context, const Path& path, const Name& name,
                        std::vector<std::string>& values) {
    values.clear();
    if (!context) {
        return false;
    }
    TinyXPath::xpath_processor processor(context, path);
    for (const TinyXPath::node_item& item : processor.nodes()) {
        const std::string* value = item.is_attribute() ? nullptr : AttributeAt(item.node, name);
        if (value && !value->empty()) {
            values.push_back(*value);
        }
    }
    return !values.empty();
}

// path + "[i]" for every i is answered from one evaluation (firsts_by_position), so that a list
// of n entries costs one walk rather than n.
template <class Path>
bool TextListQuery(const TiXmlNode* context, const Path& path, std::vector<std::string>& texts) {
    texts.clear();
    if (!context) {
        return false;
    }
    TinyXPath::xpath_processor processor(context, path);
    for (const TinyXPath::node_item& first : processor.firsts_by_position()) {
        if (!first.node || first.is_attribute()) {
            continue;
        }
        std::string text = FirstTextAt(first.node);
        if (!text.empty()) {
            texts.push_back(text);
        }
    }
    return !texts.empty();
}

// Every element with a non-empty "lang" contributes, whatever its neighbours carry: the answer
// is true as soon as one text was stored, so a name is never dropped while it holds texts.
template <class Path>
bool MultiLangStringQuery(const TiXmlNode* context, const Path& path,
                          boost::shared_ptr<vmi::IMultiLangString>& text) {
    boost::shared_ptr<MultiLangStringImpl> result = boost::make_shared<MultiLangStringImpl>();
    text = result;
    if (!context) {
        return false;
    }
    static const std::string kLang("lang");
    bool stored = false;
    TinyXPath::xpath_processor processor(context, path);
    for (const TinyXPath::node_item& first : processor.firsts_by_position()) {
        if (!first.node || first.is_attribute()) {
            continue;
        }
        const std::string* code = AttributeAt(first.node, kLang);
        if (!code || code->empty()) {
            continue;
        }
        result->Add(*code, FirstTextAt(first.node));
        stored = true;
    }
    return stored;
}

}  // namespace

bool QueryAttribute(const TiXmlNode* context, const std::string& path, const std::string& name,
                    std::string& value) {
    return AttributeQuery(context, path, name, value);
}

bool QueryAttribute(const TiXmlNode* context, const char* path, const char* name,
                    std::string& value) {
    return AttributeQuery(context, path, name, value);
}

bool QueryText(const TiXmlNode* context, const std::string& path, std::string& text) {
    return TextQuery(context, path, text);
}

bool QueryText(const TiXmlNode* context, const char* path, std::string& text) {
    return TextQuery(context, path, text);
}

bool QueryBool(const TiXmlNode* context, const std::string& path, bool& flag) {
    return BoolQuery(context, path, flag);
}

bool QueryBool(const TiXmlNode* context, const char* path, bool& flag) {
    return BoolQuery(context, path, flag);
}

bool QueryNodes(const TiXmlNode* context, const std::string& path,
                std::vector<const TiXmlNode*>& nodes) {
    return NodesQuery(context, path, nodes);
}

bool QueryNodes(const TiXmlNode* context, const char* path, std::vector<const TiXmlNode*>& nodes) {
    return NodesQuery(context, path, nodes);
}

bool QueryAttributeList(const TiXmlNode* context, const std::string& path, const std::string& name,
                        std::vector<std::string>& values) {
    return AttributeListQuery(context, path, name, values);
}

bool QueryAttributeList(const TiXmlNode* context, const char* path, const char* name,
                        std::vector<std::string>& values) {
    return AttributeListQuery(context, path, name, values);
}

bool QueryTextList(const TiXmlNode* context, const std::string& path,
                   std::vector<std::string>& texts) {
    return TextListQuery(context, path, texts);
}

bool QueryTextList(const TiXmlNode* context, const char* path, std::vector<std::string>& texts) {
    return TextListQuery(context, path, texts);
}

bool QueryMultiLangString(const TiXmlNode* context, const std::string& path,
                          boost::shared_ptr<vmi::IMultiLangString>& text) {
    return MultiLangStringQuery(context, path, text);
}

bool QueryMultiLangString(const TiXmlNode* context, const char* path,
                          boost::shared_ptr<vmi::IMultiLangString>& text) {
    return MultiLangStringQuery(context, path, text);
}
