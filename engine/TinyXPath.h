// The XPath subset over TinyXML trees that every manifest query goes through.
//
// Expressions: location paths of steps separated by "/" or "//", optionally starting with "/"
// or "//". A step is an axis ("child::" by default, "self::", "attribute::" or "@",
// "descendant::", "descendant-or-self::", "parent::", "ancestor::", "ancestor-or-self::"),
// "." or "..", a node test (a name, "*", "text()" or "node()") and any number of predicates:
// a 1-based position ("[2]"), an attribute test ("[@id]") or an attribute equality with a
// quoted literal ("[@id='x']", "[@id=\"x\"]"). White space between tokens is ignored.
// Anything else, an unterminated literal or a stray character (an id holding a quote inserted
// into "[@id='...']", for example) makes the expression malformed, and a malformed expression
// selects nothing.
//
// Evaluation against a context node C whose parent is P (a context without a parent selects
// nothing):
// - a relative path starts from {C}; so "tag" selects C's "tag" children, and a path whose
//   first step is C's own name selects children of C of that name, never C itself;
// - a path starting with "/" starts from {P}: P plays the document node, and a first child
//   step sees C and its siblings;
// - a path starting with "//" starts from P together with C and every node below C, in
//   document order, and applies its first step to each of them. Siblings of C are reached
//   only as children of P, never their subtrees: at one definition element, "//specs/spec"
//   selects the specs inside that definition only (unless a sibling of it is itself named
//   "specs"); at the root element, where P is the document, it covers the whole document;
// - the parent and ancestor axes stop at P.
// Every step yields a node set without duplicates in document order. Predicates apply to the
// candidates of one step for one context node, so "a/b[2]" selects the second "b" child of
// every "a". An attribute is a member of a node set together with the element that holds it.
// The string value of a set is that of its first node: an element's name, a text's text, an
// attribute's value; the empty string for an empty set.
//
// Cost. A walk over a large tree costs mostly cache misses, as much as a tenth of its parse:
// the layer avoids walking more than the queries need. For documents of type xpath_document it
// keeps lookup structures, built on first use and kept as long as the document: for a parent
// with many children, an index of its element children by name (consulted for P only: a query
// at one of N sibling definitions finds the siblings it names without scanning all N of them,
// and the queries of all N definitions together stay linear in the document); for the last
// few context nodes queried, the list of elements below each, so that the many "//name" queries
// at one definition walk its subtree once; for "//name" at the root element, the root's
// children when the parse's scan (XmlNesting.h) saw that name nowhere deeper, else an index of
// the whole tree by name; and document-order numbers in the nodes' user data, made only when a
// set too large to be ordered along its sibling lists needs sorting. Trees that do not belong
// to an xpath_document are numbered again by each evaluation that needs document order, and
// get no index. The structures assume that the tree does not change after the first query (a
// new Parse, LoadFile or LoadText discards them). A document and its nodes belong to one thread
// at a time. Expressions are read once per thread and kept compiled (the readers ask the same
// few dozen).
#pragma once

#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <tinyxml.h>

namespace TinyXPath {

struct compiled;

// A member of a node set: a tree node (element, text, comment, document), or an attribute
// together with the element that holds it (then `node` is that element).
struct node_item {
    const TiXmlNode* node = nullptr;
    const TiXmlAttribute* attribute = nullptr;

    bool is_attribute() const { return attribute != nullptr; }
    bool operator==(const node_item& other) const {
        return node == other.node && attribute == other.attribute;
    }
};

// A TinyXML document that carries the layer's lookup structures. Not copyable: the structures
// point into its own tree.
class xpath_document : public TiXmlDocument {
public:
    // Deepest element nesting a document may have; deeper texts fail to parse.
    static const std::size_t kMaxNesting = 256;

    xpath_document() = default;
    xpath_document(const xpath_document&) = delete;
    xpath_document& operator=(const xpath_document&) = delete;

    // Discards the lookup structures, then parses as TiXmlDocument does (LoadFile comes here),
    // refusing texts nested deeper than kMaxNesting, which TinyXML's recursion could not bear.
    const char* Parse(const char* text, TiXmlParsingData* data = 0,
                      TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING) override;

    // What LoadFile does with a file's whole contents, without its copies: replaces the
    // document by the tree of `text` (which ends at its first NUL byte; "\r\n" and a lone "\r"
    // count as "\n"), taking `text` over as the parser's buffer. False, with the document's
    // error set, as LoadFile answers: an empty text is TIXML_ERROR_DOCUMENT_EMPTY.
    bool LoadText(std::string& text, TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING);

private:
    friend class evaluation;

    typedef std::unordered_map<std::string, std::vector<const TiXmlElement*>> name_index;

    void reset_index();
    // Parse of a text followed by at least four NUL bytes, which it needs not copy.
    const char* parse_padded(const char* text, TiXmlParsingData* data, TiXmlEncoding encoding);
    // The element children of `parent` named `name`, in document order (built on first use).
    const std::vector<const TiXmlElement*>& children_named(const TiXmlNode* parent,
                                                           const std::string& name);
    // The same when the index of `parent` was built already; null otherwise.
    const std::vector<const TiXmlElement*>* indexed_children_named(const TiXmlNode* parent,
                                                                   const std::string& name) const;

    // The elements below `context` (its subtree without itself) in document order, kept for
    // the last few contexts asked about: the queries of one definition share one walk of it.
    const std::vector<const TiXmlElement*>& elements_below(const TiXmlNode* context);
    // The elements below the root element named `name`, in document order: the root's children
    // of that name when the parse's scan saw the name nowhere deeper, else from an index of the
    // whole tree (one walk, made on first need).
    const std::vector<const TiXmlElement*>& elements_named(const std::string& name);

    struct subtree_elements {
        const TiXmlNode* context = nullptr;
        std::vector<const TiXmlElement*> elements;
    };
    static const std::size_t kSubtrees = 4;

    bool numbered_ = false;
    bool indexed_ = false;  // belowRoot_ holds every name
    std::unordered_map<const TiXmlNode*, name_index> children_;
    name_index belowRoot_;
    std::set<std::string> deepNames_;  // element names the parse's scan saw at depth 3 or more
    bool scanned_ = false;             // deepNames_ is known
    subtree_elements subtrees_[kSubtrees];
    std::size_t nextSubtree_ = 0;
};

// Evaluates one expression at one context node. The evaluation runs on first use of a result
// accessor and is kept; a failed evaluation (no context, no parent, malformed expression)
// behaves as an empty result.
class xpath_processor {
public:
    xpath_processor(const TiXmlNode* context, const std::string& expression);
    // The same for an expression the caller keeps unchanged while it is used (a literal, as a
    // rule): its compiled form is found by its address, the text compared, not hashed.
    xpath_processor(const TiXmlNode* context, const char* expression);

    // The first member of the result when it is a tree node; null when the result is empty or
    // starts with an attribute.
    const TiXmlNode* first_node();
    // The first member of the result when it is an attribute; null otherwise.
    const TiXmlAttribute* first_attribute();
    // The string value of the result.
    std::string string_value();
    // Size of the result and its members in document order.
    std::size_t node_count();
    node_item node_at(std::size_t index);
    const std::vector<node_item>& nodes();

    // For i = 1 .. node_count(), the first member (in document order) of what the expression
    // selects with the positional predicate "[i]" added to its last step; an empty node_item
    // where that selects nothing. Computed in one evaluation, so that walking a list by
    // position costs no more than evaluating the list once.
    std::vector<node_item> firsts_by_position();

    // True when the evaluation failed (as opposed to finding nothing).
    bool failed();

private:
    void evaluate(bool byPosition);

    const TiXmlNode* context_;
    std::shared_ptr<const compiled> expression_;
    bool evaluated_ = false;
    bool failed_ = false;
    std::vector<node_item> result_;
    // Filled by the by-position evaluation: candidates of the last step per context node.
    std::vector<std::vector<node_item>> groups_;
    bool grouped_ = false;
};

}  // namespace TinyXPath
