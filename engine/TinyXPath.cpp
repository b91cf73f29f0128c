#include "engine/TinyXPath.h"

#include "engine/XmlNesting.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace TinyXPath {

namespace {

enum axis_kind {
    AXIS_CHILD,
    AXIS_SELF,
    AXIS_ATTRIBUTE,
    AXIS_DESCENDANT,
    AXIS_DESCENDANT_OR_SELF,
    AXIS_PARENT,
    AXIS_ANCESTOR,
    AXIS_ANCESTOR_OR_SELF,
};

enum test_kind { TEST_NAME, TEST_ANY, TEST_TEXT, TEST_NODE };

struct predicate {
    enum kind_t { POSITION, HAS_ATTRIBUTE, ATTRIBUTE_EQUALS } kind = POSITION;
    uint64_t position = 0;
    std::string name;
    std::string value;
};

struct step {
    axis_kind axis = AXIS_CHILD;
    test_kind test = TEST_NODE;
    std::string name;
    std::vector<predicate> predicates;
    bool abbreviated = false;  // "." or "..", which take no predicates
};

enum root_kind { ROOT_CONTEXT, ROOT_PARENT, ROOT_DESCENDANTS };

}  // namespace

// An expression as the parser read it; `valid` is false for a malformed one.
struct compiled {
    bool valid = false;
    root_kind root = ROOT_CONTEXT;
    std::vector<step> steps;
};

namespace {

// NUL bytes after a text that TinyXML parses (see xpath_document::Parse).
const std::size_t kPadding = 4;

// Sets ordered without the document's numbers (see evaluation::ranks): at most this many
// members, and this many steps along sibling lists.
const std::size_t kLocalOrderItems = 64;
const std::size_t kLocalOrderSteps = 4096;

// Above this many children, a child lookup on P goes through the document's name index.
const std::size_t kIndexThreshold = 32;

bool IsNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}

bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Recursive-descent reader of the expression grammar described in the header.
class parser {
public:
    explicit parser(const std::string& text) : s_(text) {}

    bool parse(compiled& out) {
        skip_ws();
        if (consume("//")) {
            out.root = ROOT_DESCENDANTS;
        } else if (consume("/")) {
            out.root = ROOT_PARENT;
            skip_ws();
            if (at_end()) {
                return true;
            }
        } else {
            out.root = ROOT_CONTEXT;
        }
        for (;;) {
            step st;
            if (!parse_step(st)) {
                return false;
            }
            out.steps.push_back(st);
            skip_ws();
            if (at_end()) {
                return true;
            }
            if (consume("//")) {
                step any;
                any.axis = AXIS_DESCENDANT_OR_SELF;
                any.test = TEST_NODE;
                out.steps.push_back(any);
            } else if (!consume("/")) {
                return false;
            }
        }
    }

private:
    void skip_ws() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) {
            ++pos_;
        }
    }

    bool at_end() const { return pos_ >= s_.size(); }

    bool peek(const char* token) const { return s_.compare(pos_, std::strlen(token), token) == 0; }

    bool consume(const char* token) {
        if (!peek(token)) {
            return false;
        }
        pos_ += std::strlen(token);
        return true;
    }

    // An XML name; a ":" inside it is a prefix separator unless it starts "::".
    bool read_name(std::string& name) {
        skip_ws();
        std::size_t p = pos_;
        if (p >= s_.size() || !IsNameStart(static_cast<unsigned char>(s_[p]))) {
            return false;
        }
        ++p;
        for (;;) {
            if (p < s_.size() && IsNameChar(static_cast<unsigned char>(s_[p]))) {
                ++p;
            } else if (p + 1 < s_.size() && s_[p] == ':' && s_[p + 1] != ':' &&
                       IsNameStart(static_cast<unsigned char>(s_[p + 1]))) {
                ++p;
            } else {
                break;
            }
        }
        name.assign(s_, pos_, p - pos_);
        pos_ = p;
        return true;
    }

    bool read_literal(std::string& value) {
        skip_ws();
        if (at_end() || (s_[pos_] != '\'' && s_[pos_] != '"')) {
            return false;
        }
        const char quote = s_[pos_];
        const std::size_t end = s_.find(quote, pos_ + 1);
        if (end == std::string::npos) {
            return false;
        }
        value.assign(s_, pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        return true;
    }

    // A decimal position; one too large to be reached saturates.
    bool read_number(uint64_t& number) {
        skip_ws();
        if (at_end() || !IsDigit(s_[pos_])) {
            return false;
        }
        number = 0;
        while (!at_end() && IsDigit(s_[pos_])) {
            const uint64_t digit = static_cast<uint64_t>(s_[pos_] - '0');
            number = number > (UINT64_MAX - digit) / 10 ? UINT64_MAX : number * 10 + digit;
            ++pos_;
        }
        return true;
    }

    bool parse_axis(const std::string& name, axis_kind& axis) {
        static const struct {
            const char* name;
            axis_kind axis;
        } kAxes[] = {
            {"child", AXIS_CHILD},
            {"self", AXIS_SELF},
            {"attribute", AXIS_ATTRIBUTE},
            {"descendant", AXIS_DESCENDANT},
            {"descendant-or-self", AXIS_DESCENDANT_OR_SELF},
            {"parent", AXIS_PARENT},
            {"ancestor", AXIS_ANCESTOR},
            {"ancestor-or-self", AXIS_ANCESTOR_OR_SELF},
        };
        for (const auto& entry : kAxes) {
            if (name == entry.name) {
                axis = entry.axis;
                return true;
            }
        }
        return false;
    }

    bool parse_step(step& st) {
        skip_ws();
        if (consume("..")) {
            st.axis = AXIS_PARENT;
            st.test = TEST_NODE;
            st.abbreviated = true;
            return true;
        }
        if (consume(".")) {
            st.axis = AXIS_SELF;
            st.test = TEST_NODE;
            st.abbreviated = true;
            return true;
        }
        st.axis = AXIS_CHILD;
        bool haveAxis = false;
        if (consume("@")) {
            st.axis = AXIS_ATTRIBUTE;
            haveAxis = true;
        }
        std::string name;
        skip_ws();
        if (consume("*")) {
            st.test = TEST_ANY;
        } else {
            if (!read_name(name)) {
                return false;
            }
            skip_ws();
            if (!haveAxis && consume("::")) {
                if (!parse_axis(name, st.axis)) {
                    return false;
                }
                skip_ws();
                if (consume("*")) {
                    st.test = TEST_ANY;
                    name.clear();
                } else if (!read_name(name)) {
                    return false;
                }
            }
            if (!name.empty()) {
                skip_ws();
                if (consume("(")) {
                    skip_ws();
                    if (!consume(")")) {
                        return false;
                    }
                    if (name == "text") {
                        st.test = TEST_TEXT;
                    } else if (name == "node") {
                        st.test = TEST_NODE;
                    } else {
                        return false;
                    }
                } else {
                    st.test = TEST_NAME;
                    st.name = name;
                }
            }
        }
        for (;;) {
            skip_ws();
            if (!consume("[")) {
                return true;
            }
            predicate pred;
            if (!parse_predicate(pred)) {
                return false;
            }
            skip_ws();
            if (!consume("]")) {
                return false;
            }
            st.predicates.push_back(pred);
        }
    }

    bool parse_predicate(predicate& pred) {
        skip_ws();
        if (!at_end() && IsDigit(s_[pos_])) {
            pred.kind = predicate::POSITION;
            return read_number(pred.position);
        }
        if (!consume("@")) {
            std::string axis;
            if (!read_name(axis) || axis != "attribute") {
                return false;
            }
            skip_ws();
            if (!consume("::")) {
                return false;
            }
        }
        if (!read_name(pred.name)) {
            return false;
        }
        skip_ws();
        if (!consume("=")) {
            pred.kind = predicate::HAS_ATTRIBUTE;
            return true;
        }
        pred.kind = predicate::ATTRIBUTE_EQUALS;
        return read_literal(pred.value);
    }

    const std::string& s_;
    std::size_t pos_ = 0;
};

// The expressions a thread evaluated lately, compiled. The manifest readers ask the same few
// dozen expressions for every definition, so that reading each one again would cost more than
// evaluating it; identity lookups, which insert an id, are the only ones that vary, and the
// cache starts afresh once it holds kCachedExpressions of them.
const std::size_t kCachedExpressions = 512;

std::shared_ptr<const compiled> Compile(const std::string& expression) {
    thread_local std::unordered_map<std::string, std::shared_ptr<const compiled>> cache;
    std::unordered_map<std::string, std::shared_ptr<const compiled>>::const_iterator it =
        cache.find(expression);
    if (it != cache.end()) {
        return it->second;
    }
    std::shared_ptr<compiled> made = std::make_shared<compiled>();
    made->valid = parser(expression).parse(*made);
    if (cache.size() >= kCachedExpressions) {
        cache.clear();
    }
    cache.emplace(expression, made);
    return made;
}

// Expressions given as C strings, by their address: literals come back at the same address, so
// that most lookups cost a comparison of the text instead of its hash. A slot holds the text it
// was made for, so a buffer reused for another expression is compiled afresh.
std::shared_ptr<const compiled> Compile(const char* expression) {
    struct Slot {
        const char* address = nullptr;
        std::string text;
        std::shared_ptr<const compiled> expression;
    };
    thread_local Slot slots[64];
    Slot& slot = slots[(reinterpret_cast<uintptr_t>(expression) >> 3) % 64];
    if (slot.address != expression || slot.text != expression) {
        slot.address = expression;
        slot.text = expression;
        slot.expression = Compile(slot.text);
    }
    return slot.expression;
}

// Document order of a node set member: the node's number, then 0 for the node itself or the
// 1-based position of the attribute in its element's list (attributes come after their
// element and before its children).
struct order_key {
    uint64_t node;
    uint64_t attribute;
    bool operator<(const order_key& other) const {
        return node != other.node ? node < other.node : attribute < other.attribute;
    }
    bool operator==(const order_key& other) const {
        return node == other.node && attribute == other.attribute;
    }
};

// Preorder successor of `node` within the subtree of `top`, or null at the end.
const TiXmlNode* NextInSubtree(const TiXmlNode* node, const TiXmlNode* top) {
    if (node->FirstChild()) {
        return node->FirstChild();
    }
    while (node != top) {
        if (node->NextSibling()) {
            return node->NextSibling();
        }
        node = node->Parent();
    }
    return nullptr;
}

void NumberTree(const TiXmlNode* top) {
    uintptr_t number = 0;
    for (const TiXmlNode* n = top; n; n = NextInSubtree(n, top)) {
        const_cast<TiXmlNode*>(n)->SetUserData(reinterpret_cast<void*>(number++));
    }
}

}  // namespace

// One evaluation of a compiled expression at one context node.
class evaluation {
public:
    explicit evaluation(const TiXmlNode* context)
        : context_(context), parent_(context ? context->Parent() : nullptr) {}

    bool usable() const { return context_ && parent_; }

    // Runs `expr`; when `groups` is given, also keeps the last step's candidates per context.
    void run(const compiled& expr, std::vector<node_item>& result,
             std::vector<std::vector<node_item>>* groups) {
        result.clear();
        if (expr.steps.empty()) {
            node_item p;
            p.node = parent_;
            result.push_back(p);
            return;
        }
        // The steps' sets live in buffers of the thread that are kept between evaluations
        // (an evaluation never starts another), so that a query allocates only its result.
        thread_local std::vector<node_item> currentBuffer;
        thread_local std::vector<node_item> nextBuffer;
        std::vector<node_item>& current = currentBuffer;
        std::vector<node_item>& next = nextBuffer;
        current.clear();
        for (std::size_t k = 0; k < expr.steps.size(); ++k) {
            const step& st = expr.steps[k];
            std::vector<std::vector<node_item>>* keep =
                k + 1 == expr.steps.size() ? groups : nullptr;
            next.clear();
            std::size_t contexts = 0;
            if (k == 0 && expr.root == ROOT_DESCENDANTS && st.axis == AXIS_CHILD &&
                (st.test == TEST_NAME || st.test == TEST_ANY) && document()) {
                contexts = element_children_below(st, next, keep);
            } else if (k == 0 && expr.root == ROOT_DESCENDANTS && st.axis == AXIS_CHILD &&
                       st.predicates.empty() && !keep) {
                // The children of P, C and every node below C are P's children and C's
                // descendants: one walk of C's subtree instead of a scan of every child list.
                node_item start;
                start.node = parent_;
                collect(st, start, next);
                // Found among P's children, C among them: the set needs sorting. Otherwise C's
                // descendants alone are the set, already in document order.
                contexts = next.empty() ? 1 : 2;
                for (const TiXmlNode* n = context_->FirstChild(); n;
                     n = NextInSubtree(n, context_)) {
                    if (matches(st, n)) {
                        push(next, n);
                    }
                }
            } else if (k == 0) {
                node_item start;
                start.node = expr.root == ROOT_CONTEXT ? context_ : parent_;
                visit(st, start, next, keep, contexts);
                if (expr.root == ROOT_DESCENDANTS) {
                    for (const TiXmlNode* n = context_; n; n = NextInSubtree(n, context_)) {
                        node_item item;
                        item.node = n;
                        visit(st, item, next, keep, contexts);
                    }
                }
            } else {
                for (const node_item& item : current) {
                    visit(st, item, next, keep, contexts);
                }
            }
            if (contexts == 1) {
                if (st.axis == AXIS_PARENT || st.axis == AXIS_ANCESTOR ||
                    st.axis == AXIS_ANCESTOR_OR_SELF) {
                    std::reverse(next.begin(), next.end());
                }
            } else {
                normalize(next);
            }
            current.swap(next);
            if (current.empty() && !keep) {
                break;
            }
        }
        result.assign(current.begin(), current.end());
    }

    // For every position i, the first (document order) i-th candidate among the groups.
    void firsts(const std::vector<std::vector<node_item>>& groups, std::size_t count,
                std::vector<node_item>& out) {
        out.assign(count, node_item());
        if (groups.size() == 1) {
            for (std::size_t j = 0; j < groups[0].size() && j < count; ++j) {
                out[j] = groups[0][j];
            }
            return;
        }
        std::vector<node_item> all;
        std::vector<std::size_t> position;
        for (const std::vector<node_item>& group : groups) {
            for (std::size_t j = 0; j < group.size() && j < count; ++j) {
                all.push_back(group[j]);
                position.push_back(j);
            }
        }
        const std::vector<std::size_t> rank = ranks(all);
        std::vector<std::size_t> best(count, SIZE_MAX);
        for (std::size_t i = 0; i < all.size(); ++i) {
            const std::size_t j = position[i];
            if (rank[i] < best[j]) {
                best[j] = rank[i];
                out[j] = all[i];
            }
        }
    }

private:
    void visit(const step& st, const node_item& item, std::vector<node_item>& out,
               std::vector<std::vector<node_item>>* groups, std::size_t& contexts) {
        ++contexts;
        if (groups) {
            std::vector<node_item> candidates;
            apply(st, item, candidates);
            if (!candidates.empty()) {
                out.insert(out.end(), candidates.begin(), candidates.end());
                groups->push_back(std::move(candidates));
            }
        } else {
            apply(st, item, out);
        }
    }

    // The first step of a "//" path when it selects elements: its contexts are P, C and every
    // node below C, and the candidates of each are its element children that match. Those are
    // found among P's children and the document's list of the elements below C, grouped by
    // parent; each group then takes the step's predicates as its context's candidates would.
    // Answers how many groups there were (the count of contexts that found candidates).
    std::size_t element_children_below(const step& st, std::vector<node_item>& out,
                                       std::vector<std::vector<node_item>>* keep) {
        // Groups of the thread kept between evaluations; the first `used` are this one's.
        thread_local std::vector<std::pair<const TiXmlNode*, std::vector<node_item>>> byParent;
        std::size_t used = 1;
        if (byParent.empty()) {
            byParent.resize(1);
        }
        byParent[0].first = parent_;
        byParent[0].second.clear();
        node_item start;
        start.node = parent_;
        collect(st, start, byParent[0].second);
        std::size_t last = 0;  // the group the previous match went to
        const std::vector<const TiXmlElement*>& below =
            st.test == TEST_NAME && context_ == document()->RootElement()
                ? document()->elements_named(st.name)  // the whole document's
                : document()->elements_below(context_);
        for (const TiXmlElement* element : below) {
            if (!matches(st, element)) {
                continue;
            }
            const TiXmlNode* parent = element->Parent();
            if (byParent[last].first != parent) {
                last = 0;
                while (last < used && byParent[last].first != parent) {
                    ++last;
                }
                if (last == used) {
                    if (used == byParent.size()) {
                        byParent.resize(used + 1);
                    }
                    byParent[used].first = parent;
                    byParent[used].second.clear();
                    ++used;
                }
            }
            push(byParent[last].second, element);
        }
        std::size_t found = 0;
        for (std::size_t g = 0; g < used; ++g) {
            std::vector<node_item>& group = byParent[g].second;
            filter(st, group);
            if (group.empty()) {
                continue;
            }
            ++found;
            out.insert(out.end(), group.begin(), group.end());
            if (keep) {
                keep->push_back(group);
            }
        }
        return found;
    }

    // Appends the candidates of `st` for one context, its predicates applied, in axis order.
    void apply(const step& st, const node_item& item, std::vector<node_item>& out) {
        if (st.predicates.empty()) {
            collect(st, item, out);
            return;
        }
        std::vector<node_item> candidates;
        collect(st, item, candidates);
        filter(st, candidates);
        out.insert(out.end(), candidates.begin(), candidates.end());
    }

    // Applies the predicates of `st` to the candidates of one context.
    static void filter(const step& st, std::vector<node_item>& candidates) {
        for (const predicate& pred : st.predicates) {
            if (candidates.empty()) {
                break;
            }
            if (pred.kind == predicate::POSITION) {
                if (pred.position >= 1 && pred.position <= candidates.size()) {
                    const node_item kept = candidates[pred.position - 1];
                    candidates.assign(1, kept);
                } else {
                    candidates.clear();
                }
                continue;
            }
            std::vector<node_item> kept;
            for (const node_item& candidate : candidates) {
                const TiXmlElement* element =
                    candidate.is_attribute() ? nullptr : candidate.node->ToElement();
                const std::string* value = element ? element->Attribute(pred.name) : nullptr;
                if (value && (pred.kind == predicate::HAS_ATTRIBUTE || *value == pred.value)) {
                    kept.push_back(candidate);
                }
            }
            candidates.swap(kept);
        }
    }

    static bool matches(const step& st, const TiXmlNode* node) {
        switch (st.test) {
            case TEST_NAME:
                return node->Type() == TiXmlNode::TINYXML_ELEMENT && node->ValueStr() == st.name;
            case TEST_ANY:
                return node->Type() == TiXmlNode::TINYXML_ELEMENT;
            case TEST_TEXT:
                return node->Type() == TiXmlNode::TINYXML_TEXT;
            case TEST_NODE:
                return node->Type() == TiXmlNode::TINYXML_ELEMENT ||
                       node->Type() == TiXmlNode::TINYXML_TEXT ||
                       node->Type() == TiXmlNode::TINYXML_COMMENT ||
                       node->Type() == TiXmlNode::TINYXML_DOCUMENT;
        }
        return false;
    }

    static void push(std::vector<node_item>& out, const TiXmlNode* node) {
        node_item item;
        item.node = node;
        out.push_back(item);
    }

    // The parent of a member, where the ancestor axes may go: never above P.
    node_item parent_of(const node_item& item) const {
        node_item p;
        if (item.is_attribute()) {
            p.node = item.node;
        } else if (item.node != parent_) {
            p.node = item.node->Parent();
        }
        return p;
    }

    void collect(const step& st, const node_item& item, std::vector<node_item>& out) {
        const TiXmlNode* node = item.node;
        switch (st.axis) {
            case AXIS_CHILD:
                if (!item.is_attribute()) {
                    collect_children(st, node, out);
                }
                return;
            case AXIS_SELF:
                if (item.is_attribute() ? st.test == TEST_NODE : matches(st, node)) {
                    out.push_back(item);
                }
                return;
            case AXIS_ATTRIBUTE: {
                const TiXmlElement* element = item.is_attribute() ? nullptr : node->ToElement();
                if (!element || st.test == TEST_TEXT) {
                    return;
                }
                for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
                    if (st.test != TEST_NAME || a->NameTStr() == st.name) {
                        node_item attribute;
                        attribute.node = element;
                        attribute.attribute = a;
                        out.push_back(attribute);
                    }
                }
                return;
            }
            case AXIS_DESCENDANT:
            case AXIS_DESCENDANT_OR_SELF:
                if (item.is_attribute()) {
                    if (st.axis == AXIS_DESCENDANT_OR_SELF && st.test == TEST_NODE) {
                        out.push_back(item);
                    }
                    return;
                }
                if (st.axis == AXIS_DESCENDANT_OR_SELF && matches(st, node)) {
                    push(out, node);
                }
                for (const TiXmlNode* n = node->FirstChild(); n; n = NextInSubtree(n, node)) {
                    if (matches(st, n)) {
                        push(out, n);
                    }
                }
                return;
            case AXIS_PARENT: {
                const node_item p = parent_of(item);
                if (p.node && matches(st, p.node)) {
                    out.push_back(p);
                }
                return;
            }
            case AXIS_ANCESTOR:
            case AXIS_ANCESTOR_OR_SELF: {
                if (st.axis == AXIS_ANCESTOR_OR_SELF &&
                    (item.is_attribute() ? st.test == TEST_NODE : matches(st, node))) {
                    out.push_back(item);
                }
                for (node_item p = parent_of(item); p.node; p = parent_of(p)) {
                    if (matches(st, p.node)) {
                        out.push_back(p);
                    }
                }
                return;
            }
        }
    }

    void collect_children(const step& st, const TiXmlNode* node, std::vector<node_item>& out) {
        const TiXmlNode* child = node->FirstChild();
        if (st.test == TEST_NAME && node == parent_ && document()) {
            // P: scan a few children; with more than that, ask the document's index (at once
            // when it was made for P before).
            if (const std::vector<const TiXmlElement*>* indexed =
                    document()->indexed_children_named(node, st.name)) {
                for (const TiXmlElement* element : *indexed) {
                    push(out, element);
                }
                return;
            }
            const std::size_t mark = out.size();
            std::size_t seen = 0;
            for (; child && seen < kIndexThreshold; child = child->NextSibling(), ++seen) {
                if (matches(st, child)) {
                    push(out, child);
                }
            }
            if (!child) {
                return;
            }
            out.resize(mark);
            for (const TiXmlElement* element : document()->children_named(node, st.name)) {
                push(out, element);
            }
            return;
        }
        for (; child; child = child->NextSibling()) {
            if (matches(st, child)) {
                push(out, child);
            }
        }
    }

    void ensure_numbered() {
        if (xpath_document* doc = document()) {
            if (!doc->numbered_) {
                NumberTree(doc);
                doc->numbered_ = true;
            }
            return;
        }
        if (!numbered_) {
            const TiXmlNode* top = context_;
            while (top->Parent()) {
                top = top->Parent();
            }
            NumberTree(top);
            numbered_ = true;
        }
    }

    order_key key(const node_item& item) {
        ensure_numbered();
        order_key k;
        k.node = reinterpret_cast<uintptr_t>(item.node->GetUserData());
        k.attribute = 0;
        if (item.is_attribute()) {
            const TiXmlElement* element = item.node->ToElement();
            uint64_t position = 1;
            for (const TiXmlAttribute* a = element ? element->FirstAttribute() : nullptr;
                 a && a != item.attribute; a = a->Next()) {
                ++position;
            }
            k.attribute = position;
        }
        return k;
    }

    // Document-order ranks of `items`, equal members ranked alike. A small set in a tree not
    // numbered yet is ordered by its members' positions below the deepest node they all lie
    // in, counted along sibling lists, while that takes few steps: numbering a large tree is a
    // walk of all of it, which one query at a small definition should not cost.
    std::vector<std::size_t> ranks(const std::vector<node_item>& items) {
        std::vector<std::size_t> rank(items.size(), 0);
        if (items.empty()) {
            return rank;
        }
        std::vector<std::vector<uint32_t>> paths;
        std::vector<std::size_t> order(items.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        if (local_paths(items, paths)) {
            std::sort(order.begin(), order.end(),
                      [&](std::size_t a, std::size_t b) { return paths[a] < paths[b]; });
            for (std::size_t i = 1; i < order.size(); ++i) {
                rank[order[i]] =
                    rank[order[i - 1]] + (paths[order[i]] == paths[order[i - 1]] ? 0 : 1);
            }
            return rank;
        }
        std::vector<order_key> keys;
        keys.reserve(items.size());
        for (const node_item& item : items) {
            keys.push_back(key(item));
        }
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
        for (std::size_t i = 1; i < order.size(); ++i) {
            rank[order[i]] = rank[order[i - 1]] + (keys[order[i]] == keys[order[i - 1]] ? 0 : 1);
        }
        return rank;
    }

    // The positions of `items` below the deepest node they all lie in: for each, the 1-based
    // sibling positions along its ancestors down from that node, then 0 for the node itself,
    // then an attribute's 1-based position in its element. Comparing these compares document
    // order. False where the tree is numbered already (numbers are cheaper) or where counting
    // would take too many steps.
    bool local_paths(const std::vector<node_item>& items,
                     std::vector<std::vector<uint32_t>>& paths) {
        xpath_document* doc = document();
        if (!doc || doc->numbered_ || items.empty() || items.size() > kLocalOrderItems) {
            return false;
        }
        std::vector<std::vector<const TiXmlNode*>> chains(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            for (const TiXmlNode* n = items[i].node; n; n = n->Parent()) {
                chains[i].push_back(n);  // bottom up
            }
        }
        std::size_t common = chains[0].size();
        for (const std::vector<const TiXmlNode*>& chain : chains) {
            std::size_t k = 0;
            while (k < common && k < chain.size() &&
                   chain[chain.size() - 1 - k] == chains[0][chains[0].size() - 1 - k]) {
                ++k;
            }
            common = k;
        }
        std::size_t steps = 0;
        paths.assign(items.size(), std::vector<uint32_t>());
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::vector<const TiXmlNode*>& chain = chains[i];
            for (std::size_t k = chain.size() - common; k-- > 0;) {
                uint32_t position = 1;
                for (const TiXmlNode* s = chain[k]->PreviousSibling(); s;
                     s = s->PreviousSibling()) {
                    ++position;
                    if (++steps > kLocalOrderSteps) {
                        return false;
                    }
                }
                paths[i].push_back(position);
            }
            paths[i].push_back(0);
            if (items[i].is_attribute()) {
                uint32_t position = 1;
                for (const TiXmlAttribute* a = items[i].node->ToElement()->FirstAttribute();
                     a && a != items[i].attribute; a = a->Next()) {
                    ++position;
                }
                paths[i].push_back(position);
            }
        }
        return true;
    }

    // Sorts a step's result into document order and drops repeated members.
    void normalize(std::vector<node_item>& items) {
        if (items.size() < 2) {
            return;
        }
        if (document() && !document()->numbered_ && items.size() <= kLocalOrderItems) {
            const std::vector<std::size_t> rank = ranks(items);
            bool increasing = true;
            for (std::size_t i = 1; i < rank.size() && increasing; ++i) {
                increasing = rank[i - 1] < rank[i];
            }
            if (increasing) {
                return;
            }
            std::vector<std::size_t> order(items.size());
            for (std::size_t i = 0; i < order.size(); ++i) {
                order[i] = i;
            }
            std::stable_sort(order.begin(), order.end(),
                             [&](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });
            std::vector<node_item> sorted;
            for (std::size_t i = 0; i < order.size(); ++i) {
                if (i == 0 || rank[order[i]] != rank[order[i - 1]]) {
                    sorted.push_back(items[order[i]]);
                }
            }
            items.swap(sorted);
            return;
        }
        std::vector<std::pair<order_key, node_item>> keyed;
        keyed.reserve(items.size());
        bool sorted = true;
        for (const node_item& item : items) {
            keyed.emplace_back(key(item), item);
            if (keyed.size() > 1 && !(keyed[keyed.size() - 2].first < keyed.back().first)) {
                sorted = false;
            }
        }
        if (sorted) {
            return;
        }
        std::sort(keyed.begin(), keyed.end(),
                  [](const std::pair<order_key, node_item>& a,
                     const std::pair<order_key, node_item>& b) { return a.first < b.first; });
        items.clear();
        for (std::size_t i = 0; i < keyed.size(); ++i) {
            if (i == 0 || !(keyed[i].first == keyed[i - 1].first)) {
                items.push_back(keyed[i].second);
            }
        }
    }

    const TiXmlNode* context_;
    const TiXmlNode* parent_;
    // The document of the context when it is an xpath_document, found on first need.
    xpath_document* document() {
        if (!documentFound_) {
            documentFound_ = true;
            const TiXmlDocument* doc = parent_ ? context_->GetDocument() : nullptr;
            document_ =
                doc ? dynamic_cast<xpath_document*>(const_cast<TiXmlDocument*>(doc)) : nullptr;
        }
        return document_;
    }

    xpath_document* document_ = nullptr;
    bool documentFound_ = false;
    bool numbered_ = false;
};

// TinyXML steps over a UTF-8 lead byte and the continuation bytes it announces without looking
// for the end of the text: a lead byte among the last bytes of the text makes it read past
// the terminating NUL, outside its buffer. The text is handed over with NUL bytes after its
// end, so that such a step lands on a NUL and the parse stops there. The text ends at its first
// NUL byte, as TinyXML's own scans take it.
//
// TinyXML nests by recursion: a text nested deeper than kMaxNesting elements is refused before
// it is parsed (a manifest nests a handful of levels).
const char* xpath_document::Parse(const char* text, TiXmlParsingData* data,
                                  TiXmlEncoding encoding) {
    reset_index();
    if (!text) {
        return TiXmlDocument::Parse(text, data, encoding);
    }
    const std::size_t length = std::strlen(text);
    std::string padded(text, length);
    padded.append(kPadding, '\0');
    const char* stop = parse_padded(padded.c_str(), data, encoding);
    if (!stop) {
        return nullptr;
    }
    return text + std::min<std::size_t>(static_cast<std::size_t>(stop - padded.c_str()), length);
}

const char* xpath_document::parse_padded(const char* text, TiXmlParsingData* data,
                                         TiXmlEncoding encoding) {
    reset_index();
    if (xml_nesting_depth(text, encoding, deepNames_) > kMaxNesting) {
        ClearError();
        SetError(TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, encoding);
        return nullptr;
    }
    const char* stop = TiXmlDocument::Parse(text, data, encoding);
    scanned_ = !Error();
    return stop;
}

// LoadFile reads the file into a buffer, cuts it at the first NUL, turns every "\r\n" and
// lone "\r" into "\n" by copying it byte by byte, and parses that copy (which Parse above
// would copy once more). A manifest has no "\r" as a rule: then nothing is copied.
bool xpath_document::LoadText(std::string& text, TiXmlEncoding encoding) {
    Clear();
    ClearError();
    reset_index();
    const std::size_t end = text.find('\0');
    if (end != std::string::npos) {
        text.resize(end);
    }
    if (text.empty()) {
        SetError(TIXML_ERROR_DOCUMENT_EMPTY, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    std::size_t read = text.find('\r');
    if (read != std::string::npos) {
        std::size_t write = read;
        while (read < text.size()) {
            if (text[read] == '\r') {
                text[write++] = '\n';
                if (++read < text.size() && text[read] == '\n') {
                    ++read;
                }
            } else {
                text[write++] = text[read++];
            }
        }
        text.resize(write);
    }
    text.append(kPadding, '\0');
    parse_padded(text.c_str(), nullptr, encoding);
    return !Error();
}

void xpath_document::reset_index() {
    numbered_ = false;
    indexed_ = false;
    scanned_ = false;
    deepNames_.clear();
    belowRoot_.clear();
    children_.clear();
    for (subtree_elements& subtree : subtrees_) {
        subtree.context = nullptr;
        subtree.elements.clear();
    }
}

const std::vector<const TiXmlElement*>& xpath_document::elements_named(const std::string& name) {
    static const std::vector<const TiXmlElement*> kNone;
    name_index::const_iterator found = belowRoot_.find(name);
    if (found != belowRoot_.end()) {
        return found->second;
    }
    const TiXmlElement* root = RootElement();
    if (!root) {
        return kNone;
    }
    if (scanned_ && !deepNames_.count(name)) {
        // Nowhere deeper than the root's children: a walk of those gives them all. A walk of
        // the whole tree is dominated by cache misses and costs as much as a tenth of the
        // parse.
        std::vector<const TiXmlElement*>& children = belowRoot_[name];
        for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
            if (e->ValueStr() == name) {
                children.push_back(e);
            }
        }
        return children;
    }
    if (!indexed_) {
        belowRoot_.clear();
        for (const TiXmlNode* n = root->FirstChild(); n; n = NextInSubtree(n, root)) {
            if (const TiXmlElement* element = n->ToElement()) {
                belowRoot_[element->ValueStr()].push_back(element);
            }
        }
        indexed_ = true;
    }
    found = belowRoot_.find(name);
    return found == belowRoot_.end() ? kNone : found->second;
}

const std::vector<const TiXmlElement*>& xpath_document::elements_below(const TiXmlNode* context) {
    for (const subtree_elements& subtree : subtrees_) {
        if (subtree.context == context) {
            return subtree.elements;
        }
    }
    subtree_elements& slot = subtrees_[nextSubtree_];
    nextSubtree_ = (nextSubtree_ + 1) % kSubtrees;
    slot.context = context;
    slot.elements.clear();
    for (const TiXmlNode* n = context->FirstChild(); n; n = NextInSubtree(n, context)) {
        if (const TiXmlElement* element = n->ToElement()) {
            slot.elements.push_back(element);
        }
    }
    return slot.elements;
}

const std::vector<const TiXmlElement*>* xpath_document::indexed_children_named(
    const TiXmlNode* parent, const std::string& name) const {
    static const std::vector<const TiXmlElement*> kNone;
    std::unordered_map<const TiXmlNode*, name_index>::const_iterator it = children_.find(parent);
    if (it == children_.end()) {
        return nullptr;
    }
    name_index::const_iterator found = it->second.find(name);
    return found == it->second.end() ? &kNone : &found->second;
}

const std::vector<const TiXmlElement*>& xpath_document::children_named(const TiXmlNode* parent,
                                                                       const std::string& name) {
    static const std::vector<const TiXmlElement*> kNone;
    std::unordered_map<const TiXmlNode*, name_index>::iterator it = children_.find(parent);
    if (it == children_.end()) {
        name_index index;
        for (const TiXmlElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement()) {
            index[e->ValueStr()].push_back(e);
        }
        it = children_.emplace(parent, std::move(index)).first;
    }
    name_index::const_iterator found = it->second.find(name);
    return found == it->second.end() ? kNone : found->second;
}

xpath_processor::xpath_processor(const TiXmlNode* context, const std::string& expression)
    : context_(context), expression_(Compile(expression)) {}

xpath_processor::xpath_processor(const TiXmlNode* context, const char* expression)
    : context_(context), expression_(Compile(expression ? expression : "")) {}

void xpath_processor::evaluate(bool byPosition) {
    if (evaluated_ && (grouped_ || !byPosition)) {
        return;
    }
    evaluated_ = true;
    grouped_ = byPosition;
    result_.clear();
    groups_.clear();
    evaluation eval(context_);
    if (!eval.usable() || !expression_->valid) {
        failed_ = true;
        return;
    }
    const compiled& expr = *expression_;
    eval.run(expr, result_, byPosition ? &groups_ : nullptr);
    if (byPosition && (expr.steps.empty() || expr.steps.back().abbreviated)) {
        // "[i]" cannot follow "/", "." or "..": every positional query is malformed.
        groups_.clear();
    }
}

const TiXmlNode* xpath_processor::first_node() {
    evaluate(false);
    return result_.empty() || result_[0].is_attribute() ? nullptr : result_[0].node;
}

const TiXmlAttribute* xpath_processor::first_attribute() {
    evaluate(false);
    return result_.empty() ? nullptr : result_[0].attribute;
}

std::string xpath_processor::string_value() {
    evaluate(false);
    if (result_.empty()) {
        return std::string();
    }
    const node_item& first = result_[0];
    if (first.is_attribute()) {
        return first.attribute->ValueStr();
    }
    switch (first.node->Type()) {
        case TiXmlNode::TINYXML_ELEMENT:
        case TiXmlNode::TINYXML_TEXT:
        case TiXmlNode::TINYXML_COMMENT:
            return first.node->ValueStr();
        default:
            return std::string();
    }
}

std::size_t xpath_processor::node_count() {
    evaluate(false);
    return result_.size();
}

node_item xpath_processor::node_at(std::size_t index) {
    evaluate(false);
    return index < result_.size() ? result_[index] : node_item();
}

const std::vector<node_item>& xpath_processor::nodes() {
    evaluate(false);
    return result_;
}

std::vector<node_item> xpath_processor::firsts_by_position() {
    evaluate(true);
    std::vector<node_item> out;
    evaluation(context_).firsts(groups_, result_.size(), out);
    return out;
}

bool xpath_processor::failed() {
    evaluate(false);
    return failed_;
}

}  // namespace TinyXPath
