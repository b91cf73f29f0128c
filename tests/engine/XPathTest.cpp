// The evaluation rules of the manifest's XPath subset and the query functions over them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/IMultiLangString.h"
#include "engine/ManifestQuery.h"
#include "engine/TinyXPath.h"
#include "engine/XmlFixture.h"
#include "engine/XmlNesting.h"

using enginetest::Child;
using enginetest::Describe;
using enginetest::ParsedXml;

namespace {

typedef std::vector<std::string> Strings;

Strings Nodes(const TiXmlNode* context, const std::string& path) {
    std::vector<const TiXmlNode*> nodes;
    QueryNodes(context, path, nodes);
    return Describe(nodes);
}

const char* const kTwoComponents =
    "<?xml version='1.0' encoding='UTF-8'?>"
    "<manifest version='1.2.3.4'>"
    " <componentDefinitions version='9.9.9.9'>"
    "  <component id='a'><specs><spec id='a1'/><spec id='a2'/></specs></component>"
    "  <component id='b'>"
    "   <specs><spec id='b1'/></specs>"
    "   <streams><stream id='s'><specs><spec id='bs'/></specs></stream></streams>"
    "  </component>"
    " </componentDefinitions>"
    "</manifest>";

TEST(XPathTest, DoubleSlashAtADefinitionSelectsOnlyWhatLiesInsideIt) {
    ParsedXml xml(kTwoComponents);
    ASSERT_EQ(0u, xml.Result());
    const TiXmlElement* defs = Child(xml.Root(), "componentDefinitions");
    const TiXmlElement* a = Child(defs, "component", 0);
    const TiXmlElement* b = Child(defs, "component", 1);

    EXPECT_EQ(Strings({"spec#b1", "spec#bs"}), Nodes(b, "//specs/spec"));
    EXPECT_EQ(Strings({"spec#a1", "spec#a2"}), Nodes(a, "//specs/spec"));
    EXPECT_EQ(Strings({"spec#a1", "spec#a2"}), Nodes(a, "//spec"));
    // At the root element the parent is the document: the whole document is covered.
    EXPECT_EQ(Strings({"spec#a1", "spec#a2", "spec#b1", "spec#bs"}),
              Nodes(xml.Root(), "//specs/spec"));
    // The context itself and its parent belong to the start set.
    EXPECT_EQ(Strings({"component#a", "component#b"}), Nodes(a, "//component"));
    EXPECT_EQ(Strings({"component#b"}), Nodes(b, "//self::component"));
}

TEST(XPathTest, SiblingNamedLikeTheFirstStepIsReachedButNotSiblingsSubtrees) {
    ParsedXml xml(
        "<manifest><componentDefinitions>"
        "<component id='a'><specs><spec id='a1'/></specs></component>"
        "<specs><spec id='sib'/></specs>"
        "<component id='b'><specs><spec id='b1'/></specs></component>"
        "</componentDefinitions></manifest>");
    const TiXmlElement* defs = Child(xml.Root(), "componentDefinitions");
    EXPECT_EQ(Strings({"spec#sib", "spec#b1"}), Nodes(Child(defs, "component", 1), "//specs/spec"));
    EXPECT_EQ(Strings({"spec#a1", "spec#sib"}), Nodes(Child(defs, "component", 0), "//specs/spec"));
}

// With many siblings the parent's children are found through the document's name index; the
// answers must be those of a plain scan, in document order.
TEST(XPathTest, ManySiblingsGiveTheSameAnswersAsFew) {
    std::string xml = "<manifest><componentDefinitions>";
    for (int i = 0; i < 80; ++i) {
        xml += "<component id='c" + std::to_string(i) + "'><specs><spec id='s" + std::to_string(i) +
               "'/></specs></component>";
        if (i == 40) {
            xml += "<specs><spec id='sib'/></specs>";
        }
    }
    xml += "</componentDefinitions></manifest>";
    ParsedXml parsed(xml);
    const TiXmlElement* defs = Child(parsed.Root(), "componentDefinitions");
    EXPECT_EQ(Strings({"spec#s3", "spec#sib"}), Nodes(Child(defs, "component", 3), "//specs/spec"));
    EXPECT_EQ(Strings({"spec#sib", "spec#s70"}),
              Nodes(Child(defs, "component", 70), "//specs/spec"));
    EXPECT_EQ(80u, Nodes(Child(defs, "component", 70), "/component").size());
    EXPECT_EQ(Strings({"component#c79"}),
              Nodes(Child(defs, "component", 2), "/component[@id='c79']"));
    EXPECT_EQ(Strings({"component#c1"}), Nodes(Child(defs, "component", 9), "/component[2]"));
}

TEST(XPathTest, ElementNameQueryReachesOnlyNestedDescriptionGroups) {
    ParsedXml xml(
        "<manifest><componentDefinitions><component id='c'>"
        " <descriptionGroup session='install'/>"
        " <component id='inner'><descriptionGroup session='update'/></component>"
        "</component></componentDefinitions></manifest>");
    const TiXmlElement* c = Child(Child(xml.Root(), "componentDefinitions"), "component");
    std::vector<const TiXmlNode*> groups;
    ASSERT_TRUE(QueryNodes(c, "component/descriptionGroup", groups));
    ASSERT_EQ(1u, groups.size());
    EXPECT_STREQ("update", groups[0]->ToElement()->Attribute("session"));
    EXPECT_EQ(Strings({"component#inner"}), Nodes(c, "component"));
    EXPECT_EQ(Strings({"component#c"}), Nodes(c, "self::component"));
    EXPECT_EQ(Strings(), Nodes(c, "self::descriptionGroup"));
}

TEST(XPathTest, AbsolutePathsStartAtTheContextsParent) {
    ParsedXml xml(kTwoComponents);
    const TiXmlElement* defs = Child(xml.Root(), "componentDefinitions");
    const TiXmlElement* a = Child(defs, "component", 0);
    EXPECT_EQ(Strings({"component#a", "component#b"}), Nodes(a, "/component"));
    EXPECT_EQ(Strings({"componentDefinitions"}), Nodes(a, "/"));
    EXPECT_EQ(Strings(), Nodes(a, "/componentDefinitions"));
    EXPECT_EQ(Strings({"manifest"}), Nodes(xml.Root(), "/manifest"));
    EXPECT_EQ(Strings({"specs"}), Nodes(a, "specs"));
    // Parent and ancestors stop at P.
    const TiXmlElement* spec = Child(Child(a, "specs"), "spec");
    EXPECT_EQ(Strings({"specs"}), Nodes(spec, "ancestor::*"));
    EXPECT_EQ(Strings({"specs", "spec#a1"}), Nodes(spec, "ancestor-or-self::*"));
    EXPECT_EQ(Strings(), Nodes(spec, "../.."));
    EXPECT_EQ(Strings({"componentDefinitions"}), Nodes(a, ".."));
}

TEST(XPathTest, NodeSetsHoldEachNodeOnceInDocumentOrder) {
    ParsedXml xml(kTwoComponents);
    EXPECT_EQ(Strings({"specs", "specs", "specs"}), Nodes(xml.Root(), "//spec/parent::specs"));
    EXPECT_EQ(Strings({"component#a", "component#b"}),
              Nodes(xml.Root(), "//spec/ancestor::component"));
    // A spec below several matching ancestors is still listed once.
    EXPECT_EQ(Strings({"spec#a1", "spec#a2", "spec#b1", "spec#bs"}),
              Nodes(xml.Root(), "//*//spec"));
    EXPECT_EQ(Strings({"spec#b1", "spec#bs"}), Nodes(xml.Root(), "//component[@id='b']//spec"));
    EXPECT_EQ(Strings({"specs", "spec#b1", "streams", "stream#s", "specs", "spec#bs"}),
              Nodes(xml.Root(), "//component[@id='b']/descendant::*"));
    EXPECT_EQ(
        Strings({"component#b", "specs", "spec#b1", "streams", "stream#s", "specs", "spec#bs"}),
        Nodes(xml.Root(), "//component[@id='b']/descendant-or-self::*"));
}

TEST(XPathTest, PositionalPredicateSelectsTheNthChildUnderEachParent) {
    ParsedXml xml("<r><g><n>1</n><n>2</n></g><g><n>3</n></g></r>");
    std::vector<const TiXmlNode*> nodes;
    ASSERT_TRUE(QueryNodes(xml.Root(), "//g/n[1]", nodes));
    ASSERT_EQ(2u, nodes.size());
    std::string text;
    EXPECT_TRUE(QueryText(xml.Root(), "//g/n[2]", text));
    EXPECT_EQ("2", text);
    EXPECT_FALSE(QueryText(xml.Root(), "//g/n[3]", text));
    EXPECT_FALSE(QueryText(xml.Root(), "//g/n[0]", text));
    EXPECT_FALSE(QueryText(xml.Root(), "//g/n[99999999999999999999999]", text));
    // The list walks positions 1 .. 3: the n-th under each parent, first in document order.
    Strings texts;
    EXPECT_TRUE(QueryTextList(xml.Root(), "//g/n", texts));
    EXPECT_EQ(Strings({"1", "2"}), texts);
    EXPECT_TRUE(QueryText(xml.Root(), "g[2]/n", text));
    EXPECT_EQ("3", text);
}

// The lists are computed in one evaluation; they must equal what path + "[i]" gives one i at a
// time, whatever the path.
TEST(XPathTest, ListsAgreeWithOnePositionalQueryPerIndex) {
    ParsedXml xml(
        "<r><g lang='x'><n lang='a'>1</n><n>2</n><n lang='b'/><m>q</m><n lang='a'>4</n></g>"
        "<g><n lang='c'>5</n><k><n lang='d'>6</n><n>7</n></k></g>text<n>8</n></r>");
    const TiXmlElement* g = Child(xml.Root(), "g", 1);
    for (const TiXmlNode* context :
         {static_cast<const TiXmlNode*>(xml.Root()), static_cast<const TiXmlNode*>(g)}) {
        for (const char* path :
             {"//n", "//g/n", "g/n", "//k/n", "//n[@lang]", "//n/..", "//n/ancestor::*",
              "//n/text()", "//*", "//g/n[2]", "//n/@lang", "/", "//n/.", "n", "//nothing"}) {
            const std::size_t count = TinyXPath::xpath_processor(context, path).node_count();
            Strings expected;
            std::string text;
            for (std::size_t i = 1; i <= count; ++i) {
                if (QueryText(context, std::string(path) + "[" + std::to_string(i) + "]", text) &&
                    !text.empty()) {
                    expected.push_back(text);
                }
            }
            Strings texts;
            EXPECT_EQ(!expected.empty(), QueryTextList(context, path, texts)) << path;
            EXPECT_EQ(expected, texts) << path;
        }
    }
}

// A document loaded by the engine keeps lookup structures (a name index of large child lists,
// the elements below recent contexts, compiled expressions); a tree parsed by plain TinyXML has
// none and goes through the general evaluation. Every query at every context must answer the
// same in both, also when the contexts come back in an order that replaces the kept lists.
TEST(XPathTest, IndexedTreesAnswerAsPlainTreesDo) {
    std::string xml =
        "<manifest><t lang='top'>r</t><defs>"
        "<c id='1'><t lang='en'>one</t><g><t lang='de'>eins</t><t lang='fr'>un</t></g>"
        "<t lang='xx'>uno</t><t/></c>"
        "<c id='2'><p s='a'><t>pa</t></p><p s='b'><t>pb</t><p s='a'><t>pc</t><t>pd</t></p>"
        "<t>pe</t></p></c>"
        "<t lang='sib'>sib</t><g><t>gt</t></g>";
    for (int i = 3; i < 40; ++i) {  // enough siblings for the parent's name index
        xml += "<c id='" + std::to_string(i) + "'><t lang='l" + std::to_string(i) + "'>x</t></c>";
    }
    xml += "</defs></manifest>";
    ParsedXml indexed(xml);
    ASSERT_EQ(0u, indexed.Result());
    TiXmlDocument plain;
    plain.Parse(xml.c_str());
    ASSERT_FALSE(plain.Error());

    // Contexts: every element of both trees, in the same preorder.
    std::vector<std::pair<const TiXmlNode*, const TiXmlNode*>> contexts;
    const std::function<void(const TiXmlNode*, const TiXmlNode*)> walk = [&](const TiXmlNode* a,
                                                                             const TiXmlNode* b) {
        contexts.emplace_back(a, b);
        const TiXmlElement* x = a->FirstChildElement();
        const TiXmlElement* y = b->FirstChildElement();
        for (; x && y; x = x->NextSiblingElement(), y = y->NextSiblingElement()) {
            walk(x, y);
        }
    };
    walk(indexed.Root(), plain.RootElement());
    const auto describe = [](const std::vector<TinyXPath::node_item>& items) {
        Strings out;
        for (const TinyXPath::node_item& item : items) {
            if (!item.node) {
                out.push_back("-");
                continue;
            }
            const TiXmlElement* e = item.node->ToElement();
            const char* id =
                e ? (e->Attribute("id") ? e->Attribute("id") : e->Attribute("s")) : nullptr;
            out.push_back(item.node->ValueStr() + (id ? std::string("#") + id : "") +
                          (item.attribute ? "@" + item.attribute->NameTStr() : ""));
        }
        return out;
    };
    const char* const paths[] = {"//t",
                                 "//t[2]",
                                 "//t[@lang='de']",
                                 "//p[@s='a']/t",
                                 "//p/t[1]",
                                 "//g/t",
                                 "//c",
                                 "//c[2]",
                                 "//*",
                                 "//t/text()",
                                 "//@lang",
                                 "t",
                                 "self::c",
                                 "/c[2]",
                                 "//p[@s]",
                                 "//t[@lang][1]",
                                 "//g",
                                 "//defs/c[@id='3']",
                                 "//nothing[1]",
                                 "//p//t[2]",
                                 "//defs",
                                 "//defs/t",
                                 "//t[@lang='top']",
                                 "//g//t"};
    for (int round = 0; round < 2; ++round) {
        for (const auto& context : contexts) {
            for (const char* path : paths) {
                TinyXPath::xpath_processor fast(context.first, path);
                TinyXPath::xpath_processor slow(context.second, path);
                EXPECT_EQ(describe(slow.nodes()), describe(fast.nodes()))
                    << path << " at " << describe({{context.second, nullptr}})[0];
                EXPECT_EQ(describe(slow.firsts_by_position()), describe(fast.firsts_by_position()))
                    << path << " at " << describe({{context.second, nullptr}})[0];
            }
        }
        std::reverse(contexts.begin(), contexts.end());
    }
}

TEST(XPathTest, AttributesPredicatesAndStringValues) {
    ParsedXml xml(kTwoComponents);
    const TiXmlElement* root = xml.Root();
    EXPECT_EQ(Strings({"component#b"}), Nodes(root, "//componentDefinitions/component[@id='b']"));
    EXPECT_EQ(Strings({"component#b"}), Nodes(root, "//component[@id=\"b\"]"));
    EXPECT_EQ(Strings({"component#a", "component#b"}), Nodes(root, "//component[@id]"));
    EXPECT_EQ(Strings({"component#a"}), Nodes(root, "//component[attribute::id='a']"));
    EXPECT_EQ(Strings(), Nodes(root, "//componentDefinitions/component[@id='x']"));
    EXPECT_EQ(Strings({"component#b"}), Nodes(root, "//component[@id][2]"));

    // The root's own version comes before every version below it.
    TinyXPath::xpath_processor version(root, "//attribute::version");
    ASSERT_NE(nullptr, version.first_attribute());
    EXPECT_EQ("1.2.3.4", version.string_value());
    EXPECT_EQ(2u, version.node_count());
    EXPECT_EQ(nullptr, version.first_node());

    // String values: an element's name, an attribute's value, the empty set's empty string.
    EXPECT_EQ("componentDefinitions", TinyXPath::xpath_processor(root, "*").string_value());
    EXPECT_EQ("b", TinyXPath::xpath_processor(root, "//component[2]/@id").string_value());
    EXPECT_EQ("", TinyXPath::xpath_processor(root, "nothing").string_value());
    // Attributes are not tree nodes: QueryNodes lists none of them.
    std::vector<const TiXmlNode*> nodes;
    EXPECT_FALSE(QueryNodes(root, "@version", nodes));
}

TEST(XPathTest, TextStopsAtTheFirstChildElement) {
    ParsedXml xml("<r><a>before<b/>after</a><e></e><c><![CDATA[<raw>]]></c></r>");
    std::string text = "x";
    EXPECT_TRUE(QueryText(xml.Root(), "a", text));
    EXPECT_EQ("before", text);
    EXPECT_EQ(2u, TinyXPath::xpath_processor(xml.Root(), "a/text()").node_count());
    EXPECT_EQ("before", TinyXPath::xpath_processor(xml.Root(), "a/text()").string_value());
    EXPECT_TRUE(QueryText(xml.Root(), "e", text));
    EXPECT_EQ("", text);
    EXPECT_TRUE(QueryText(xml.Root(), "c", text));
    EXPECT_EQ("<raw>", text);
    text = "x";
    EXPECT_FALSE(QueryText(xml.Root(), "missing", text));
    EXPECT_EQ("", text);
    // "text" without parentheses is an element name.
    ParsedXml named("<r><text lang='en-us'>hello</text></r>");
    EXPECT_TRUE(QueryText(named.Root(), "//text", text));
    EXPECT_EQ("hello", text);
}

TEST(XPathTest, MalformedExpressionsAndMissingContextsFindNothing) {
    ParsedXml xml(kTwoComponents);
    for (const char* path : {"",
                             "//",
                             "a/",
                             "component//",
                             "component[",
                             "component[1",
                             "component[@id='a]",
                             "//componentDefinitions/component[@id='it's']",
                             "//componentDefinitions/component[@id='a' or @id='b']",
                             "component[@id=a]",
                             "child::",
                             "bogus::component",
                             "componentDefinitions component",
                             "text(",
                             "foo()",
                             "component|specs",
                             "component[last()]",
                             "@",
                             "]",
                             "component]",
                             "..[1]",
                             "'a'",
                             "1",
                             "$x",
                             "//componentDefinitions/component[@id='a']x"}) {
        TinyXPath::xpath_processor processor(xml.Root(), path);
        EXPECT_TRUE(processor.failed()) << path;
        EXPECT_EQ(0u, processor.node_count()) << path;
        std::vector<const TiXmlNode*> nodes;
        EXPECT_FALSE(QueryNodes(xml.Root(), path, nodes)) << path;
    }
    // White space between tokens is allowed.
    EXPECT_EQ(Strings({"component#a"}),
              Nodes(xml.Root(), " // componentDefinitions / component [ @id = 'a' ] "));

    std::string text;
    bool flag = true;
    EXPECT_FALSE(QueryText(nullptr, "a", text));
    EXPECT_FALSE(QueryBool(nullptr, "a", flag));
    EXPECT_FALSE(flag);
    TiXmlElement detached("component");
    detached.LinkEndChild(new TiXmlElement("specs"));
    EXPECT_TRUE(TinyXPath::xpath_processor(&detached, "specs").failed());
    EXPECT_EQ(Strings(), Nodes(&detached, "specs"));
    boost::shared_ptr<vmi::IMultiLangString> name;
    EXPECT_FALSE(QueryMultiLangString(nullptr, "//name", name));
    ASSERT_TRUE(name);
    EXPECT_EQ(0u, name->GetCount());
}

// The parser steps over a UTF-8 lead byte and the bytes it announces without looking for the
// end of the text. The document ends at its first NUL byte; nothing after it is read, so a
// lead byte just before the end can neither reach outside the loaded text nor close elements
// with what follows a NUL.
TEST(ManifestDocumentTest, TheTextEndsAtItsFirstNulByte) {
    const std::string declaration = "<?xml version='1.0' encoding='UTF-8'?>";
    ParsedXml truncated(declaration + "<r>\xe0");
    EXPECT_EQ(14u, truncated.Result());
    ParsedXml afterNul(declaration + std::string("<r>\xe0\0\0</r>", 10));
    EXPECT_EQ(14u, afterNul.Result());
    ParsedXml attribute(declaration + "<r a='\xf0");
    EXPECT_EQ(14u, attribute.Result());
    ParsedXml valid(declaration + "<r>\xc3\xa9</r>");
    EXPECT_EQ(0u, valid.Result());
    ParsedXml empty("");
    EXPECT_EQ(14u, empty.Result());
    EXPECT_EQ(nullptr, empty.Root());
}

// The engine reads the file itself rather than through TinyXML's LoadFile, without its copies:
// line ends, a NUL byte, errors and their positions come out as LoadFile gives them.
TEST(ManifestDocumentTest, LoadsAFileAsTinyXmlsLoadFileDoes) {
    testsupport::TempDir dir("vcm-xml-load");
    const std::string path = dir.File("doc.xml");
    for (const std::string& text :
         {std::string("<a>\r\n<b>x\ry\r\n\r\nz</b>\r</a>"), std::string("<a>\r\n<b></c></a>"),
          std::string("<a>\n\r\n\r<b x='1\r2'>\r</b></a>\r\n"), std::string("<a/>\0<b>", 8),
          std::string("\r\n\r\n<a><b>\r</a>"), std::string("\r"), std::string("<a>\r\r\r")}) {
        SCOPED_TRACE(testing::PrintToString(text));
        ASSERT_TRUE(testsupport::WriteFile(path, text));
        ManifestDocument document;
        const uint32_t loaded = document.Load(path);
        TiXmlDocument expected;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(nullptr, file);
        const bool parsed = expected.LoadFile(file);
        std::fclose(file);
        EXPECT_EQ(parsed ? 0u : 14u, loaded);
        if (!parsed) {
            EXPECT_EQ("line " + std::to_string(expected.ErrorRow()) + ", column " +
                          std::to_string(expected.ErrorCol()) + ": " + expected.ErrorDesc(),
                      document.ErrorText());
            continue;
        }
        TiXmlPrinter a;
        TiXmlPrinter b;
        document.Root()->Accept(&a);
        expected.RootElement()->Accept(&b);
        EXPECT_EQ(b.Str(), a.Str());
        const TiXmlElement* child = Child(document.Root(), "b");
        if (child && child->GetText()) {
            EXPECT_EQ(Child(expected.RootElement(), "b")->GetText(), std::string(child->GetText()));
        }
    }
}

std::string Nested(std::size_t depth, const std::string& inside) {
    std::string xml;
    for (std::size_t i = 0; i < depth; ++i) {
        xml += "<a>" + inside;
    }
    for (std::size_t i = 0; i < depth; ++i) {
        xml += "</a>";
    }
    return xml;
}

// The parser nests by recursion; deep texts are refused before they reach it, also when the
// end tags that would balance them are not end tags for the parser.
// The nesting scan also names the elements that stand below the root's children, which the
// root's "//name" queries rely on to skip a walk of the whole tree: for texts that TinyXML reads
// in ways the XML grammar would not, the names must be those of TinyXML's own tree.
TEST(ManifestDocumentTest, TheScanNamesTheDeepElementsOfTinyXmlsTree) {
    const std::string utf8 = "<?xml version='1.0' encoding='UTF-8'?>";
    const std::string latin = "<?xml version='1.0' encoding='ISO-8859-1'?>";
    for (const std::string& text :
         {std::string(kTwoComponents), std::string("<r><a><b/><c><d/></c></a><e/></r>"),
          std::string("<r><!-- <x><y><z/></y></x> --><a><![CDATA[<q><w/></q>]]><b/></a></r>"),
          std::string("<r><a t='<k><l/></k>' u=\"<m/>\"><b/></a></r>"),
          utf8 + "<r><a>\xe0</a><b/></a><c/></r>", latin + "<r><a>\xe0</a><b/></r>",
          std::string("<r><a>&#</a><f/>#;<g/></a></r>"),
          std::string("<r><a><?pi <h/>?><i:j/><k-l.m/></a></r><s><t><u/></t></s>"),
          std::string("<r><a><b><c/></b></a><b><c/></b></r>")}) {
        SCOPED_TRACE(testing::PrintToString(text));
        TiXmlDocument plain;
        plain.Parse(text.c_str());
        std::set<std::string> expected;
        const std::function<void(const TiXmlNode*, int)> walk = [&](const TiXmlNode* node,
                                                                    int depth) {
            for (const TiXmlElement* e = node->FirstChildElement(); e;
                 e = e->NextSiblingElement()) {
                if (depth >= 3) {
                    expected.insert(e->ValueStr());
                }
                walk(e, depth + 1);
            }
        };
        walk(&plain, 1);
        std::string padded = text;
        padded.append(4, '\0');
        std::set<std::string> deep;
        TinyXPath::xml_nesting_depth(padded.c_str(), TIXML_ENCODING_UNKNOWN, deep);
        if (plain.Error()) {
            continue;  // nothing is queried in a document that does not parse
        }
        // Every name TinyXML placed deep is named (what the queries need), and here no other.
        for (const std::string& name : expected) {
            EXPECT_EQ(1u, deep.count(name)) << name;
        }
        EXPECT_EQ(expected, deep);
    }
}

TEST(ManifestDocumentTest, DeepNestingIsRefusedBeforeParsing) {
    const std::size_t limit = TinyXPath::xpath_document::kMaxNesting;
    EXPECT_EQ(0u, ParsedXml(Nested(limit, "")).Result());
    EXPECT_EQ(14u, ParsedXml(Nested(limit + 1, "")).Result());
    EXPECT_EQ(14u, ParsedXml(Nested(200000, "")).Result());

    // Read as UTF-8, a lead byte takes the "</" after it: every "<a>" opens one more level.
    std::string swallowed = "<?xml version='1.0' encoding='UTF-8'?>";
    for (int i = 0; i < 200000; ++i) {
        swallowed += "<a>\xe0</a>";
    }
    EXPECT_EQ(14u, ParsedXml(swallowed).Result());
    // Read byte by byte (another encoding), the same text is balanced and flat.
    std::string latin = "<?xml version='1.0' encoding='ISO-8859-1'?><r>";
    for (int i = 0; i < 1000; ++i) {
        latin += "<a>\xe0</a>";
    }
    EXPECT_EQ(0u, ParsedXml(latin + "</r>").Result());

    // A numeric reference runs to the next ";": the end tags inside it are text.
    std::string referenced;
    for (int i = 0; i < 200000; ++i) {
        referenced += "<a>&#</a>#;";
    }
    EXPECT_EQ(14u, ParsedXml(referenced).Result());

    // Comments, CDATA sections and quoted values hold no tags.
    const std::string quiet = "<!-- <a><a> --><![CDATA[<a><a>]]><b c='<a><a>'/>";
    EXPECT_EQ(0u, ParsedXml(Nested(limit - 1, quiet)).Result());
    EXPECT_EQ(14u, ParsedXml(Nested(limit, quiet)).Result());  // the empty b is one level more
}

TEST(ManifestQueryTest, QueryBoolAcceptsOnlyTrueAndOne) {
    // The parser trims blanks around element texts; an entity keeps a leading blank.
    ParsedXml xml(
        "<r><t1>true</t1><t2>1</t2><f1>TRUE</f1><f2>&#32;true</f2><f3>yes</f3><f4>0</f4>"
        "<f5/><f6>true<x/></f6><f7>1.0</f7></r>");
    bool flag = false;
    EXPECT_TRUE(QueryBool(xml.Root(), "t1", flag));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(QueryBool(xml.Root(), "t2", flag));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(QueryBool(xml.Root(), "f6", flag));
    EXPECT_TRUE(flag);
    for (const char* path : {"f1", "f2", "f3", "f4", "f5", "f7"}) {
        flag = true;
        EXPECT_TRUE(QueryBool(xml.Root(), path, flag)) << path;
        EXPECT_FALSE(flag) << path;
    }
    flag = true;
    EXPECT_FALSE(QueryBool(xml.Root(), "absent", flag));
    EXPECT_FALSE(flag);
}

TEST(ManifestQueryTest, ListsSkipEmptyAndMissingValues) {
    ParsedXml xml(
        "<r><name>a</name><name></name><name>c</name>"
        "<ref id='x'/><ref/><ref id=''/><ref id='y'/></r>");
    Strings texts;
    EXPECT_TRUE(QueryTextList(xml.Root(), "name", texts));
    EXPECT_EQ(Strings({"a", "c"}), texts);
    EXPECT_FALSE(QueryTextList(xml.Root(), "none", texts));
    EXPECT_TRUE(texts.empty());
    Strings ids;
    EXPECT_TRUE(QueryAttributeList(xml.Root(), "ref", "id", ids));
    EXPECT_EQ(Strings({"x", "y"}), ids);
    EXPECT_FALSE(QueryAttributeList(xml.Root(), "name", "id", ids));
    std::string value = "old";
    EXPECT_TRUE(QueryAttribute(xml.Root(), "ref[3]", "id", value));
    EXPECT_EQ("", value);
    EXPECT_FALSE(QueryAttribute(xml.Root(), "ref[2]", "id", value));
}

TEST(ManifestQueryTest, MultiLanguageTextsTakeTheirCodesFromLang) {
    ParsedXml xml(
        "<r><g><name lang='de-de'>Hallo</name><name lang='en-us'>Hello</name>"
        "<name lang='de-de'>Zweiter</name><name lang='fr-fr'></name></g>"
        "<h><name lang='ja-jp'>x</name><name>no code</name><name/><name lang=''>y</name>"
        "<name lang='en-us'>z</name></h><k><name>only</name></k></r>");
    boost::shared_ptr<vmi::IMultiLangString> text;
    ASSERT_TRUE(QueryMultiLangString(xml.Root(), "g/name", text));
    EXPECT_EQ(3u, text->GetCount());
    std::string value;
    EXPECT_EQ(0u, text->GetText("de-de", value));
    EXPECT_EQ("Hallo", value);
    EXPECT_EQ(0u, text->GetText("fr-fr", value));
    EXPECT_EQ("", value);
    EXPECT_EQ(0u, text->GetLocalizedText("it-it", value));
    EXPECT_EQ("Hello", value);

    // Elements without a code in between do not undo what was stored.
    ASSERT_TRUE(QueryMultiLangString(xml.Root(), "h/name", text));
    EXPECT_EQ(2u, text->GetCount());

    EXPECT_FALSE(QueryMultiLangString(xml.Root(), "k/name", text));
    ASSERT_TRUE(text);
    EXPECT_EQ(0u, text->GetCount());
}

}  // namespace
