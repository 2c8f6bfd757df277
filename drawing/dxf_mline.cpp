// DXF reading: multilines (MLINE entities) and their styles (MLINESTYLE objects).

#include "drawing/detail/dxf_loader.h"
#include "drawing/detail/group_table.h"

namespace kw::drawing::detail {

namespace {

// The host allows 16 elements per style; more are kept up to this bound, the rest ignored.
constexpr std::size_t kMaxElements = 64;
// Parameters per element and vertex: the miter distance and the dashes of one segment.
constexpr std::size_t kMaxParameters = 1024;

// An MLINE while it is read: the vertex and element the parameters being read belong to. The
// counts 72, 73, 74 and 75 are not trusted: each value is kept where it stands, within the bounds
// above.
struct MLineReading : MLineGeometry {
    Vertex* vertex = nullptr;
    std::vector<double>* parameters = nullptr;
    int parameterCode = 0; // 41 after a 74, 42 after a 75
};

// A point of the vertex being read: its y and z, its direction, its miter.
template <auto M> void ReadVertexAxis(Loader& loader, const RawTag& t, MLineReading& r) {
    if (r.vertex)
        SetAxis(r.vertex->*M, t.code, loader.Real(t));
}

// 74 starts an element's parameters (41), 75 its fill's (42).
void StartParameters(Loader&, const RawTag& t, MLineReading& r) {
    r.parameters = nullptr;
    if (!r.vertex)
        return;
    auto& lists = t.code == 74 ? r.vertex->elementParameters : r.vertex->fillParameters;
    if (lists.size() < kMaxElements) {
        r.parameters = &lists.emplace_back();
        r.parameterCode = t.code == 74 ? 41 : 42;
    }
}

void ReadParameter(Loader& loader, const RawTag& t, MLineReading& r) {
    if (r.parameters && t.code == r.parameterCode && r.parameters->size() < kMaxParameters)
        r.parameters->push_back(loader.Real(t));
}

using MLineGroups = Groups<MLineReading>;
constexpr GroupTable<MLineReading> kMLineGroups{
    MLineGroups::Name<&MLineGeometry::styleName>(2),
    MLineGroups::Handle<&MLineGeometry::styleHandle>(340),
    MLineGroups::Real<&MLineGeometry::scale>(40),
    MLineGroups::Short<&MLineGeometry::justification>(70),
    MLineGroups::Short<&MLineGeometry::flags>(71),
    // Each vertex starts with its x.
    MLineGroups::Call<[](Loader& loader, const RawTag& t, MLineReading& r) {
        r.vertex = &r.vertices.emplace_back();
        r.vertex->position.x = loader.Real(t);
        r.parameters = nullptr;
    }>(11),
    MLineGroups::Call<ReadVertexAxis<&MLineGeometry::Vertex::position>>(21),
    MLineGroups::Call<ReadVertexAxis<&MLineGeometry::Vertex::position>>(31),
    MLineGroups::Call<ReadVertexAxis<&MLineGeometry::Vertex::direction>>(12, true),
    MLineGroups::Call<ReadVertexAxis<&MLineGeometry::Vertex::miter>>(13, true),
    MLineGroups::Call<StartParameters>(74),
    MLineGroups::Call<StartParameters>(75),
    MLineGroups::Call<ReadParameter>(41),
    MLineGroups::Call<ReadParameter>(42),
};

// An MLINESTYLE while it is read: 62 and 420 before the element count are the fill's, after it
// each element's.
struct MLineStyleReading : MLineStyle {
    bool inElements = false;
    Element* LastElement() { return elements.empty() ? nullptr : &elements.back(); }
};

using StyleGroups = Groups<MLineStyleReading>;
constexpr GroupTable<MLineStyleReading> kMLineStyleGroups{
    StyleGroups::Name<&MLineStyle::name>(2),
    StyleGroups::Handle<&MLineStyle::handle>(5),
    StyleGroups::Short<&MLineStyle::flags>(70),
    StyleGroups::Real<&MLineStyle::startAngleDeg>(51),
    StyleGroups::Real<&MLineStyle::endAngleDeg>(52),
    StyleGroups::Call<[](Loader&, const RawTag&, MLineStyleReading& r) { r.inElements = true; }>(
        71),
    StyleGroups::Call<[](Loader& loader, const RawTag& t, MLineStyleReading& r) {
        if (r.inElements && r.elements.size() < kMaxElements)
            r.elements.push_back({loader.Real(t)});
    }>(49),
    StyleGroups::Call<[](Loader& loader, const RawTag& t, MLineStyleReading& r) {
        if (!r.inElements)
            r.fillColor = loader.Short(t);
        else if (MLineStyle::Element* element = r.LastElement())
            element->color = loader.Short(t);
    }>(62),
    StyleGroups::Call<[](Loader& loader, const RawTag& t, MLineStyleReading& r) {
        if (!r.inElements)
            r.fillTrueColor = static_cast<std::int32_t>(loader.Integer(t) & 0xFFFFFF);
        else if (MLineStyle::Element* element = r.LastElement())
            element->trueColor = static_cast<std::int32_t>(loader.Integer(t) & 0xFFFFFF);
    }>(420),
    StyleGroups::Call<[](Loader& loader, const RawTag& t, MLineStyleReading& r) {
        if (MLineStyle::Element* element = r.LastElement())
            element->linetype = loader.Name(t);
    }>(6),
};

} // namespace

std::shared_ptr<const MLineGeometry> Loader::ReadMLine(const std::vector<RawTag>& rec) {
    MLineReading mline;
    ReadGroups(*this, rec, kMLineGroups, mline);
    return std::make_shared<MLineGeometry>(static_cast<MLineGeometry&&>(mline));
}

void Loader::ParseMLineStyle(const std::vector<RawTag>& rec) {
    MLineStyleReading style;
    ReadGroups(*this, rec, kMLineStyleGroups, style);
    doc.mlineStyles.push_back(static_cast<MLineStyle&&>(style));
}

} // namespace kw::drawing::detail
