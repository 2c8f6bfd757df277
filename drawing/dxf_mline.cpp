// DXF reading: multilines (MLINE entities) and their styles (MLINESTYLE objects).

#include "drawing/detail/dxf_loader.h"

namespace kw::drawing::detail {

namespace {

// The host allows 16 elements per style; more are kept up to this bound, the rest ignored.
constexpr std::size_t kMaxElements = 64;
// Parameters per element and vertex: the miter distance and the dashes of one segment.
constexpr std::size_t kMaxParameters = 1024;

} // namespace

std::shared_ptr<const MLineGeometry> Loader::ReadMLine(const std::vector<RawTag>& rec) {
    auto g = std::make_shared<MLineGeometry>();
    // The vertex and element the parameters being read belong to. The counts 72, 73, 74 and 75
    // are not trusted: each value is kept where it stands, within the bounds above.
    MLineGeometry::Vertex* vertex = nullptr;
    std::vector<double>* parameters = nullptr;
    int parameterCode = 0; // 41 after a 74, 42 after a 75
    bool inGroup = false;
    for (const RawTag& t : rec) {
        const int c = t.code;
        if (c == 1001)
            break;
        if (c == 102) {
            inGroup = !inGroup && Trim(t.value).substr(0, 1) == "{";
            continue;
        }
        if (inGroup)
            continue;
        switch (c) {
        case 2:
            g->styleName = Name(t);
            break;
        case 340:
            g->styleHandle = tags.Handle(t);
            break;
        case 40:
            g->scale = Real(t);
            break;
        case 70:
            g->justification = Short(t);
            break;
        case 71:
            g->flags = Short(t);
            break;
        case 11:
            g->vertices.emplace_back();
            vertex = &g->vertices.back();
            vertex->position.x = Real(t);
            parameters = nullptr;
            break;
        case 21:
        case 31:
            if (vertex)
                SetAxis(vertex->position, c, Real(t));
            break;
        case 12:
        case 22:
        case 32:
            if (vertex)
                SetAxis(vertex->direction, c, Real(t));
            break;
        case 13:
        case 23:
        case 33:
            if (vertex)
                SetAxis(vertex->miter, c, Real(t));
            break;
        case 74:
        case 75: {
            parameters = nullptr;
            if (!vertex)
                break;
            auto& lists = c == 74 ? vertex->elementParameters : vertex->fillParameters;
            if (lists.size() < kMaxElements) {
                parameters = &lists.emplace_back();
                parameterCode = c == 74 ? 41 : 42;
            }
            break;
        }
        case 41:
        case 42:
            if (parameters && c == parameterCode && parameters->size() < kMaxParameters)
                parameters->push_back(Real(t));
            break;
        default:
            break;
        }
    }
    return g;
}

void Loader::ParseMLineStyle(const std::vector<RawTag>& rec) {
    MLineStyle style;
    // 62 and 420 before the element count are the fill's, after it each element's.
    bool inElements = false;
    bool inGroup = false;
    for (const RawTag& t : rec) {
        const int c = t.code;
        if (c == 1001)
            break;
        if (c == 102) {
            inGroup = !inGroup && Trim(t.value).substr(0, 1) == "{";
            continue;
        }
        if (inGroup)
            continue;
        MLineStyle::Element* element = style.elements.empty() ? nullptr : &style.elements.back();
        switch (c) {
        case 2:
            style.name = Name(t);
            break;
        case 5:
            style.handle = tags.Handle(t);
            break;
        case 70:
            style.flags = Short(t);
            break;
        case 51:
            style.startAngleDeg = Real(t);
            break;
        case 52:
            style.endAngleDeg = Real(t);
            break;
        case 71:
            inElements = true;
            break;
        case 49:
            if (inElements && style.elements.size() < kMaxElements)
                style.elements.push_back({Real(t)});
            break;
        case 62:
            if (!inElements)
                style.fillColor = Short(t);
            else if (element)
                element->color = Short(t);
            break;
        case 420:
            if (!inElements)
                style.fillTrueColor = static_cast<std::int32_t>(Integer(t) & 0xFFFFFF);
            else if (element)
                element->trueColor = static_cast<std::int32_t>(Integer(t) & 0xFFFFFF);
            break;
        case 6:
            if (element)
                element->linetype = Name(t);
            break;
        default:
            break;
        }
    }
    doc.mlineStyles.push_back(std::move(style));
}

} // namespace kw::drawing::detail
