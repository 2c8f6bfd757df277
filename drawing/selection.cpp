#include "drawing/selection.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "base/characters.h"
#include "drawing/detail/codepage.h"
#include "drawing/detail/source_data.h"
#include "drawing/detail/tag_reader.h"
#include "drawing/text.h"
#include "base/error.h"

namespace kw::drawing {
namespace {

// --- wildcards ------------------------------------------------------------------------------

struct Token {
    enum class Kind : std::uint8_t { Literal, AnyOne, Digit, Alpha, Other, Star, Set } kind;
    std::uint32_t c = 0;
    bool negated = false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges; // Set
};

struct Alternative {
    bool negated = false;
    std::vector<Token> tokens;
};

using Pattern = std::vector<Alternative>;

std::vector<std::uint32_t> CodePoints(std::string_view utf8) {
    std::vector<std::uint32_t> out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size())
        out.push_back(detail::NextCodePoint(utf8, pos));
    return out;
}

bool IsDigit(std::uint32_t c) {
    return c >= '0' && c <= '9';
}

// Letters: ASCII letters and the letters of other scripts (everything from U+00C0 on that is no
// punctuation, symbol or space block).
bool IsAlpha(std::uint32_t c) {
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (c < 0xC0 || c == 0xD7 || c == 0xF7)
        return false;
    if ((c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
        (c >= 0xFF00 && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
        (c >= 0xFF5B && c <= 0xFF65) || (c >= 0xFE30 && c <= 0xFE6F))
        return false;
    return true;
}

Pattern Compile(std::string_view patternText) {
    const std::vector<std::uint32_t> p = CodePoints(FoldCase(patternText));
    Pattern pattern;
    Alternative current;
    bool atStart = true;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const std::uint32_t c = p[i];
        if (c == '`') {
            current.tokens.push_back(
                {Token::Kind::Literal, i + 1 < p.size() ? p[++i] : '`', false, {}});
            atStart = false;
            continue;
        }
        if (c == ',') {
            pattern.push_back(std::move(current));
            current = Alternative{};
            atStart = true;
            continue;
        }
        if (c == '~' && atStart) {
            current.negated = true;
            atStart = false;
            continue;
        }
        atStart = false;
        switch (c) {
        case '*':
            if (current.tokens.empty() || current.tokens.back().kind != Token::Kind::Star)
                current.tokens.push_back({Token::Kind::Star, 0, false, {}});
            break;
        case '?':
            current.tokens.push_back({Token::Kind::AnyOne, 0, false, {}});
            break;
        case '#':
            current.tokens.push_back({Token::Kind::Digit, 0, false, {}});
            break;
        case '@':
            current.tokens.push_back({Token::Kind::Alpha, 0, false, {}});
            break;
        case '.':
            current.tokens.push_back({Token::Kind::Other, 0, false, {}});
            break;
        case '[': {
            // Find the closing bracket; the first character may be ']' itself.
            Token set{Token::Kind::Set, 0, false, {}};
            std::size_t j = i + 1;
            if (j < p.size() && p[j] == '~') {
                set.negated = true;
                ++j;
            }
            bool closed = false;
            bool first = true;
            while (j < p.size()) {
                std::uint32_t a = p[j];
                if (a == ']' && !first) {
                    closed = true;
                    break;
                }
                first = false;
                if (a == '`' && j + 1 < p.size())
                    a = p[++j];
                std::uint32_t b = a;
                if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
                    b = p[j + 2];
                    if (b == '`' && j + 3 < p.size()) {
                        b = p[j + 3];
                        ++j;
                    }
                    j += 2;
                }
                set.ranges.push_back({std::min(a, b), std::max(a, b)});
                ++j;
            }
            if (!closed) {
                current.tokens.push_back({Token::Kind::Literal, '[', false, {}});
                break;
            }
            current.tokens.push_back(std::move(set));
            i = j;
            break;
        }
        default:
            current.tokens.push_back({Token::Kind::Literal, c, false, {}});
            break;
        }
    }
    pattern.push_back(std::move(current));
    return pattern;
}

bool TokenMatches(const Token& token, std::uint32_t c) {
    switch (token.kind) {
    case Token::Kind::Literal:
        return token.c == c;
    case Token::Kind::AnyOne:
        return true;
    case Token::Kind::Digit:
        return IsDigit(c);
    case Token::Kind::Alpha:
        return IsAlpha(c);
    case Token::Kind::Other:
        return !IsDigit(c) && !IsAlpha(c);
    case Token::Kind::Set: {
        bool in = false;
        for (const auto& [lo, hi] : token.ranges)
            if (c >= lo && c <= hi) {
                in = true;
                break;
            }
        return in != token.negated;
    }
    case Token::Kind::Star:
        return true;
    }
    return false;
}

// Iterative glob matching with one backtrack point per star (linear in practice).
bool MatchTokens(const std::vector<Token>& tokens, const std::vector<std::uint32_t>& text) {
    std::size_t t = 0, s = 0;
    std::size_t starToken = std::string::npos, starText = 0;
    while (s < text.size()) {
        if (t < tokens.size() && tokens[t].kind == Token::Kind::Star) {
            starToken = t++;
            starText = s;
        } else if (t < tokens.size() && TokenMatches(tokens[t], text[s])) {
            ++t;
            ++s;
        } else if (starToken != std::string::npos) {
            t = starToken + 1;
            s = ++starText;
        } else {
            return false;
        }
    }
    while (t < tokens.size() && tokens[t].kind == Token::Kind::Star)
        ++t;
    return t == tokens.size();
}

bool MatchPattern(const Pattern& pattern, std::string_view text) {
    const std::vector<std::uint32_t> folded = CodePoints(FoldCase(text));
    for (const Alternative& alternative : pattern)
        if (MatchTokens(alternative.tokens, folded) != alternative.negated)
            return true;
    return false;
}

// --- entity data ----------------------------------------------------------------------------

const std::vector<std::string_view>& FixedMarkers(const Entity& e) {
    static const std::vector<std::string_view> kNone;
#define KW_MARKERS(name, ...)                                                                      \
    static const std::vector<std::string_view> name{"AcDbEntity", __VA_ARGS__}
    KW_MARKERS(kLine, "AcDbLine");
    KW_MARKERS(kPoint, "AcDbPoint");
    KW_MARKERS(kCircle, "AcDbCircle");
    KW_MARKERS(kArc, "AcDbCircle", "AcDbArc");
    KW_MARKERS(kEllipse, "AcDbEllipse");
    KW_MARKERS(kLw, "AcDbPolyline");
    KW_MARKERS(kPoly2d, "AcDb2dPolyline");
    KW_MARKERS(kPoly3d, "AcDb3dPolyline");
    KW_MARKERS(kMesh, "AcDbPolygonMesh");
    KW_MARKERS(kFaceMesh, "AcDbPolyFaceMesh");
    KW_MARKERS(kSpline, "AcDbSpline");
    KW_MARKERS(kText, "AcDbText");
    KW_MARKERS(kMText, "AcDbMText");
    KW_MARKERS(kAttrib, "AcDbText", "AcDbAttribute");
    KW_MARKERS(kAttDef, "AcDbText", "AcDbAttributeDefinition");
    KW_MARKERS(kInsert, "AcDbBlockReference");
    KW_MARKERS(kMInsert, "AcDbBlockReference", "AcDbMInsertBlock");
    KW_MARKERS(kHatch, "AcDbHatch");
    KW_MARKERS(kTrace, "AcDbTrace");
    KW_MARKERS(kFace, "AcDbFace");
    KW_MARKERS(kLeader, "AcDbLeader");
    KW_MARKERS(kViewport, "AcDbViewport");
    KW_MARKERS(kXLine, "AcDbXline");
    KW_MARKERS(kRay, "AcDbRay");
    KW_MARKERS(kDimRotated, "AcDbDimension", "AcDbAlignedDimension", "AcDbRotatedDimension");
    KW_MARKERS(kDimAligned, "AcDbDimension", "AcDbAlignedDimension");
    KW_MARKERS(kDimAngular, "AcDbDimension", "AcDb2LineAngularDimension");
    KW_MARKERS(kDimDiameter, "AcDbDimension", "AcDbDiametricDimension");
    KW_MARKERS(kDimRadius, "AcDbDimension", "AcDbRadialDimension");
    KW_MARKERS(kDimAngular3, "AcDbDimension", "AcDb3PointAngularDimension");
    KW_MARKERS(kDimOrdinate, "AcDbDimension", "AcDbOrdinateDimension");
#undef KW_MARKERS
    switch (e.type) {
    case EntityType::Line:
        return kLine;
    case EntityType::Point:
        return kPoint;
    case EntityType::Circle:
        return kCircle;
    case EntityType::Arc:
        return kArc;
    case EntityType::Ellipse:
        return kEllipse;
    case EntityType::LwPolyline:
        return kLw;
    case EntityType::Polyline: {
        const auto flags = std::get<PolylineGeometry>(e.geometry).flags;
        return (flags & 64) ? kFaceMesh : (flags & 16) ? kMesh : (flags & 8) ? kPoly3d : kPoly2d;
    }
    case EntityType::Spline:
        return kSpline;
    case EntityType::Text:
        return kText;
    case EntityType::MText:
        return kMText;
    case EntityType::Attrib:
        return kAttrib;
    case EntityType::AttDef:
        return kAttDef;
    case EntityType::Insert: {
        const auto& g = std::get<InsertGeometry>(e.geometry);
        return g.columns > 1 || g.rows > 1 ? kMInsert : kInsert;
    }
    case EntityType::Dimension:
        switch (std::get<DimensionGeometry>(e.geometry).dimensionType & 7) {
        case 1:
            return kDimAligned;
        case 2:
            return kDimAngular;
        case 3:
            return kDimDiameter;
        case 4:
            return kDimRadius;
        case 5:
            return kDimAngular3;
        case 6:
            return kDimOrdinate;
        default:
            return kDimRotated;
        }
    case EntityType::Hatch:
        return kHatch;
    case EntityType::Solid:
    case EntityType::Trace:
        return kTrace;
    case EntityType::Face3d:
        return kFace;
    case EntityType::Leader:
        return kLeader;
    case EntityType::Viewport:
        return kViewport;
    case EntityType::XLine:
        return kXLine;
    case EntityType::Ray:
        return kRay;
    case EntityType::Unknown:
        return kNone;
    }
    return kNone;
}

bool IsXrefInsert(const Document& document, const Entity& e) {
    if (e.type != EntityType::Insert)
        return false;
    const Block* block = document.FindBlock(std::get<InsertGeometry>(e.geometry).blockName);
    return block && block->IsXref();
}

std::string HandleText(std::uint64_t handle) {
    char buffer[24];
    std::snprintf(buffer, sizeof(buffer), "%llX", static_cast<unsigned long long>(handle));
    return buffer;
}

bool IsNumericCode(int code) {
    const auto kind = detail::KindOfCode(code);
    return kind != detail::ValueKind::String && kind != detail::ValueKind::Binary;
}

// --- filters --------------------------------------------------------------------------------

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

struct Node {
    enum class Kind : std::uint8_t { Leaf, And, Or, Not, Xor } kind = Kind::Leaf;
    std::int16_t code = 0;
    std::string value;
    std::string op = "="; // relational operator of a numeric leaf
    Pattern pattern;
    bool numeric = false;
    double number = 0.0;
    std::vector<Node> children;
    // Results by layer / name text, for the codes whose values repeat across entities.
    mutable std::unordered_map<std::string, bool, StringHash, std::equal_to<>> memo;
};

[[noreturn]] void BadFilter(const std::string& what) {
    throw Error(errors::kInvalidCall, "invalid selection filter: " + what);
}

std::string Upper(std::string_view text) {
    std::string out = AsciiUpper(text);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    while (!out.empty() && out.front() == ' ')
        out.erase(out.begin());
    return out;
}

Node MakeLeaf(const FilterEntry& entry, const std::string& op) {
    Node node;
    node.code = entry.code;
    node.value = entry.value;
    node.op = op;
    node.pattern = Compile(entry.value);
    if (IsNumericCode(entry.code)) {
        double number = 0.0;
        if (detail::ParseDouble(entry.value, number)) {
            node.numeric = true;
            node.number = number;
        }
    }
    return node;
}

// Parses entries from `i` until the closer (or the end for the top level).
void ParseGroup(const std::vector<FilterEntry>& filter, std::size_t& i, Node& group,
                const std::string& closer) {
    std::string pendingOp;
    while (i < filter.size()) {
        const FilterEntry& entry = filter[i++];
        if (entry.code != -4) {
            group.children.push_back(MakeLeaf(entry, pendingOp.empty() ? "=" : pendingOp));
            pendingOp.clear();
            continue;
        }
        const std::string op = Upper(entry.value);
        if (!op.empty() && op.front() == '<' && op.size() > 1 &&
            std::isalpha(static_cast<unsigned char>(op[1]))) {
            Node child;
            const std::string name = op.substr(1);
            if (name == "AND")
                child.kind = Node::Kind::And;
            else if (name == "OR")
                child.kind = Node::Kind::Or;
            else if (name == "NOT")
                child.kind = Node::Kind::Not;
            else if (name == "XOR")
                child.kind = Node::Kind::Xor;
            else
                BadFilter("unknown operator \"" + entry.value + "\"");
            ParseGroup(filter, i, child, name + ">");
            if (child.kind == Node::Kind::Not && child.children.size() != 1)
                BadFilter("<NOT takes one operand");
            if (child.kind == Node::Kind::Xor && child.children.size() != 2)
                BadFilter("<XOR takes two operands");
            if ((child.kind == Node::Kind::And || child.kind == Node::Kind::Or) &&
                child.children.empty())
                BadFilter("empty " + op + " group");
            group.children.push_back(std::move(child));
            continue;
        }
        if (!op.empty() && op.back() == '>' && op.size() > 1 &&
            std::isalpha(static_cast<unsigned char>(op[0]))) {
            if (op != closer)
                BadFilter("\"" + entry.value + "\" without its opening operator");
            return;
        }
        static const char* const kRelational[] = {
            "=", "!=", "/=", "<>", "<", "<=", ">", ">=", "*", "&", "&="};
        if (std::find(std::begin(kRelational), std::end(kRelational), op) == std::end(kRelational))
            BadFilter("unknown operator \"" + entry.value + "\"");
        pendingOp = op;
    }
    if (!closer.empty())
        BadFilter("\"<" + closer.substr(0, closer.size() - 1) + "\" is not closed");
}

bool CompareNumber(const std::string& op, double value, double test) {
    if (op == "*")
        return true;
    if (op == "!=" || op == "/=" || op == "<>")
        return value != test;
    if (op == "<")
        return value < test;
    if (op == "<=")
        return value <= test;
    if (op == ">")
        return value > test;
    if (op == ">=")
        return value >= test;
    if (op == "&")
        return (static_cast<std::int64_t>(value) & static_cast<std::int64_t>(test)) != 0;
    if (op == "&=")
        return (static_cast<std::int64_t>(value) & static_cast<std::int64_t>(test)) ==
               static_cast<std::int64_t>(test);
    return value == test;
}

class Evaluator {
public:
    Evaluator(const Document& document) : m_doc(document) {}

    bool Eval(const Node& node, const Layout& layout, const Entity& e) const {
        switch (node.kind) {
        case Node::Kind::Leaf:
            return Leaf(node, layout, e);
        case Node::Kind::And:
            for (const Node& child : node.children)
                if (!Eval(child, layout, e))
                    return false;
            return true;
        case Node::Kind::Or:
            for (const Node& child : node.children)
                if (Eval(child, layout, e))
                    return true;
            return false;
        case Node::Kind::Not:
            return !Eval(node.children[0], layout, e);
        case Node::Kind::Xor:
            return Eval(node.children[0], layout, e) != Eval(node.children[1], layout, e);
        }
        return false;
    }

private:
    bool Text(const Node& node, std::string_view text, bool memoize) const {
        if (!memoize)
            return MatchPattern(node.pattern, text);
        const auto it = node.memo.find(text);
        if (it != node.memo.end())
            return it->second;
        const bool result = MatchPattern(node.pattern, text);
        node.memo.emplace(std::string(text), result);
        return result;
    }

    bool Number(const Node& node, double value) const {
        if (!node.numeric)
            return Text(node, detail::FormatDouble(value), false) ||
                   Text(node, std::to_string(static_cast<long long>(value)), false);
        return CompareNumber(node.op, value, node.number);
    }

    bool Leaf(const Node& node, const Layout& layout, const Entity& e) const {
        switch (node.code) {
        case 0:
            return Text(node, e.DxfName(), true);
        case 8:
            return Text(node, e.layer, true);
        case 6:
            return Text(node,
                        e.linetype.empty() ? std::string_view("BYLAYER")
                                           : std::string_view(e.linetype),
                        true);
        case 62:
            return Number(node, e.color);
        case 370:
            return Number(node, e.lineweight);
        case 67:
            return Number(node, e.paperSpace || !layout.isModel ? 1 : 0);
        case 60:
            return Number(node, e.invisible ? 1 : 0);
        case 39:
            return Number(node, e.thickness);
        case 48:
            return Number(node, e.linetypeScale);
        case 410:
            return Text(node, layout.name, true);
        case 5:
            return Text(node, HandleText(e.handle), false);
        case 100: {
            for (const std::string& marker : SubclassMarkers(m_doc, e))
                if (Text(node, marker, true))
                    return true;
            return false;
        }
        case 2:
            if (const auto* g = std::get_if<InsertGeometry>(&e.geometry))
                return Text(node, g->blockName, true);
            if (const auto* g = std::get_if<DimensionGeometry>(&e.geometry))
                return Text(node, g->blockName, true);
            break;
        case 66:
            if (const auto* g = std::get_if<InsertGeometry>(&e.geometry))
                return Number(node, g->attributes.empty() ? 0 : 1);
            break;
        default:
            break;
        }
        // Anything else: the entity's own tags with that code.
        for (const Tag& tag : EntityTags(m_doc, e)) {
            if (tag.code != node.code)
                continue;
            if (node.numeric) {
                double value = 0.0;
                if (detail::ParseDouble(tag.value, value) &&
                    CompareNumber(node.op, value, node.number))
                    return true;
            } else if (Text(node, tag.value, false)) {
                return true;
            }
        }
        return false;
    }

    const Document& m_doc;
};

} // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
    return MatchPattern(Compile(pattern), text);
}

std::vector<std::string> SubclassMarkers(const Document& document, const Entity& entity) {
    std::vector<std::string> markers;
    if (entity.type == EntityType::Unknown) {
        for (const Tag& tag : EntityTags(document, entity))
            if (tag.code == 100)
                markers.push_back(tag.value);
        if (markers.empty())
            markers.push_back("AcDbEntity");
        return markers;
    }
    for (const std::string_view marker : FixedMarkers(entity))
        markers.emplace_back(marker);
    if (IsXrefInsert(document, entity))
        markers.emplace_back("AcDbExternalReference");
    return markers;
}

std::vector<Tag> EntityTags(const Document& document, const Entity& entity) {
    std::vector<Tag> out;
    const auto& source = detail::DocumentAccess::Source(document);
    if (!source)
        return out;
    std::size_t start = 0;
    const std::string_view span =
        source->EntityBytes(entity.source.offset, entity.source.size, start);
    if (span.empty())
        return out;
    detail::TagReader reader(span, source->binary, source->oneByteCodes, start);
    detail::RawTag tag;
    try {
        while (reader.Next(tag)) {
            std::string value;
            const auto kind = detail::KindOfCode(tag.code);
            if (kind == detail::ValueKind::String)
                value = source->codePage->Decode(tag.value);
            else if (!source->binary)
                value = std::string(tag.value);
            else if (kind == detail::ValueKind::Double)
                value = detail::FormatDouble(reader.Double(tag));
            else if (kind == detail::ValueKind::Binary)
                value.clear();
            else
                value = std::to_string(reader.Int(tag));
            out.push_back({static_cast<std::int16_t>(tag.code), std::move(value)});
        }
    } catch (const detail::TagError&) {
        // The span was read once already; a failure here means nothing more to give.
    }
    return out;
}

std::vector<const Entity*> SelectAll(const Document& document,
                                     const std::vector<FilterEntry>& filter) {
    Node root;
    root.kind = Node::Kind::And;
    std::size_t i = 0;
    ParseGroup(filter, i, root, "");
    const Evaluator evaluator(document);
    std::vector<const Entity*> selected;
    for (const Layout& layout : document.layouts)
        for (const Entity& e : document.LayoutEntities(layout))
            if (evaluator.Eval(root, layout, e))
                selected.push_back(&e);
    return selected;
}

} // namespace kw::drawing
