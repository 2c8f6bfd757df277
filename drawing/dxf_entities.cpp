// DXF reading: the entities, each built from the tags of its record by the table of its family.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

#include "drawing/detail/dxf_loader.h"
#include "drawing/detail/group_table.h"
#include "drawing/proxy_graphics.h"
#include "drawing/text.h"

namespace kw::drawing::detail {

namespace {

// The boundary paths of a hatch, from its path count (91) on.
void ParseHatchBoundaries(Loader& loader, std::span<const RawTag> rec, HatchGeometry& hatch) {
    const std::size_t n = rec.size();
    std::size_t i = 0;
    auto at = [&](int code) { return i < n && rec[i].code == code; };
    const std::int64_t pathCount = loader.Integer(rec[i]);
    ++i;
    for (std::int64_t p = 0; p < pathCount && i < n; ++p) {
        if (!at(92))
            return;
        HatchBoundary boundary;
        boundary.flags = static_cast<std::int32_t>(loader.Integer(rec[i]));
        ++i;
        if (boundary.flags & 2) {
            bool hasBulge = false;
            if (at(72)) {
                hasBulge = loader.Integer(rec[i]) != 0;
                ++i;
            }
            if (at(73)) {
                boundary.closed = loader.Integer(rec[i]) != 0;
                ++i;
            }
            std::int64_t count = 0;
            if (at(93)) {
                count = loader.Integer(rec[i]);
                ++i;
            }
            for (std::int64_t v = 0; v < count && i < n; ++v) {
                PolylineVertex vertex;
                if (!at(10))
                    break;
                vertex.x = loader.Real(rec[i++]);
                if (at(20))
                    vertex.y = loader.Real(rec[i++]);
                if (at(42)) {
                    vertex.bulge = loader.Real(rec[i++]);
                }
                (void)hasBulge;
                boundary.polyline.push_back(vertex);
            }
        } else {
            std::int64_t count = 0;
            if (at(93)) {
                count = loader.Integer(rec[i]);
                ++i;
            }
            for (std::int64_t k = 0; k < count && i < n; ++k) {
                if (!at(72))
                    break;
                HatchEdge edge;
                const std::int64_t kind = loader.Integer(rec[i++]);
                if (kind < 1 || kind > 4)
                    return;
                edge.kind = static_cast<HatchEdge::Kind>(kind);
                if (edge.kind == HatchEdge::Kind::Spline) {
                    SplineGeometry& s = edge.spline;
                    std::int64_t knots = 0, controls = 0;
                    bool rational = false;
                    if (at(94))
                        s.degree = loader.Short(rec[i++]);
                    if (at(73))
                        rational = loader.Integer(rec[i++]) != 0;
                    if (at(74))
                        ++i;
                    if (at(95))
                        knots = loader.Integer(rec[i++]);
                    if (at(96))
                        controls = loader.Integer(rec[i++]);
                    for (std::int64_t q = 0; q < knots && at(40); ++q)
                        s.knots.push_back(loader.Real(rec[i++]));
                    for (std::int64_t q = 0; q < controls && at(10); ++q) {
                        Vec3 point;
                        point.x = loader.Real(rec[i++]);
                        if (at(20))
                            point.y = loader.Real(rec[i++]);
                        s.controlPoints.push_back(point);
                        if (at(42))
                            s.weights.push_back(loader.Real(rec[i++]));
                    }
                    if (!rational && !s.weights.empty() &&
                        s.weights.size() != s.controlPoints.size())
                        s.weights.clear();
                    if (at(97)) {
                        const std::int64_t fits = loader.Integer(rec[i++]);
                        for (std::int64_t q = 0; q < fits && at(11); ++q) {
                            Vec3 point;
                            point.x = loader.Real(rec[i++]);
                            if (at(21))
                                point.y = loader.Real(rec[i++]);
                            s.fitPoints.push_back(point);
                        }
                    }
                    while (at(12) || at(22) || at(13) || at(23))
                        ++i;
                } else {
                    // Line 10 20 11 21; arc 10 20 40 50 51 73; ellipse 10 20 11 21 40 50 51 73.
                    while (i < n) {
                        const int code = rec[i].code;
                        if (code == 10 || code == 20)
                            SetAxis(edge.start, code, loader.Real(rec[i]));
                        else if (code == 11 || code == 21)
                            SetAxis(edge.end, code, loader.Real(rec[i]));
                        else if (code == 40)
                            edge.radius = loader.Real(rec[i]);
                        else if (code == 50)
                            edge.startAngleDeg = loader.Real(rec[i]);
                        else if (code == 51)
                            edge.endAngleDeg = loader.Real(rec[i]);
                        else if (code == 73 && edge.kind != HatchEdge::Kind::Line)
                            edge.counterClockwise = loader.Integer(rec[i]) != 0;
                        else
                            break;
                        ++i;
                    }
                }
                boundary.edges.push_back(std::move(edge));
            }
        }
        if (at(97)) {
            const std::int64_t sources = loader.Integer(rec[i++]);
            for (std::int64_t q = 0; q < sources && at(330); ++q)
                ++i;
        }
        hatch.boundaries.push_back(std::move(boundary));
    }
}

// The properties every entity has (5, 8, 62, ...). A family's table is read first, so that it can
// give one of these codes another meaning (a viewport's 390 is its plot style sheet).
using E = Groups<Entity>;
constexpr GroupTable<Entity> kEntityGroups{
    E::Handle<&Entity::handle>(5),
    E::Name<&Entity::layer>(8),
    E::Name<&Entity::linetype>(6),
    E::Short<&Entity::color>(62),
    E::Short<&Entity::lineweight>(370),
    E::Handle<&Entity::plotStyle>(390),
    E::Int32<&Entity::trueColor>(420),
    E::Int32<&Entity::transparency>(440),
    E::Real<&Entity::linetypeScale>(48),
    E::Flag<&Entity::invisible>(60),
    E::Flag<&Entity::paperSpace>(67),
    E::Real<&Entity::thickness>(39),
    E::Point<&Entity::extrusion>(210),
    E::Ignore(100), // subclass markers; a family that needs them reads them first
};

// Reads an entity's record: its family's table first, then the common properties.
template <typename T>
void ReadEntityGroups(Loader& loader, const std::vector<RawTag>& rec, const GroupTable<T>& table,
                      Entity& e, T& into) {
    AppGroups groups;
    bool ownerSeen = false;
    const RawTag* const end = rec.data() + rec.size();
    for (const RawTag* t = rec.data(); t < end;) {
        if (groups.Skip(*t)) {
            ++t;
            continue;
        }
        if (t->code == 1001 || t->code == 101)
            break; // extended data or an embedded object: not the entity's own data
        // LibreDWG writes a multiline attribute's embedded text as "100 AcDbXrecord" where the
        // CAD writes 101: its 70 is no attribute flag.
        if (t->code == 100 && Trim(t->value) == "AcDbXrecord")
            break;
        if (t->code == 330) {
            // The owner comes first; later 330s are the source objects of a hatch's boundaries.
            if (!ownerSeen)
                e.ownerHandle = loader.tags.Handle(*t);
            ownerSeen = true;
            ++t;
            continue;
        }
        std::size_t taken = table.Read(loader, t, end, into);
        if (taken == 0)
            taken = std::max<std::size_t>(kEntityGroups.Read(loader, t, end, e), 1);
        t += taken;
    }
}

using LineGroups = Groups<LineGeometry>;
constexpr GroupTable<LineGeometry> kLineGroups{
    LineGroups::Point<&LineGeometry::start>(10),
    LineGroups::Point<&LineGeometry::end>(11),
};

using RayGroups = Groups<RayGeometry>;
constexpr GroupTable<RayGeometry> kRayGroups{
    RayGroups::Point<&RayGeometry::base>(10),
    RayGroups::Point<&RayGeometry::direction>(11),
};

using PointGroups = Groups<PointGeometry>;
constexpr GroupTable<PointGeometry> kPointGroups{
    PointGroups::Point<&PointGeometry::location>(10),
};

using CircleGroups = Groups<CircleGeometry>;
constexpr GroupTable<CircleGeometry> kCircleGroups{
    CircleGroups::Point<&CircleGeometry::center>(10),
    CircleGroups::Real<&CircleGeometry::radius>(40),
};

using ArcGroups = Groups<ArcGeometry>;
constexpr GroupTable<ArcGeometry> kArcGroups{
    ArcGroups::Point<&ArcGeometry::center>(10),
    ArcGroups::Real<&ArcGeometry::radius>(40),
    ArcGroups::Real<&ArcGeometry::startAngleDeg>(50),
    ArcGroups::Real<&ArcGeometry::endAngleDeg>(51),
};

using EllipseGroups = Groups<EllipseGeometry>;
constexpr GroupTable<EllipseGeometry> kEllipseGroups{
    EllipseGroups::Point<&EllipseGeometry::center>(10),
    EllipseGroups::Point<&EllipseGeometry::majorAxis>(11),
    EllipseGroups::Real<&EllipseGeometry::ratio>(40),
    EllipseGroups::Real<&EllipseGeometry::startParam>(41),
    EllipseGroups::Real<&EllipseGeometry::endParam>(42),
};

// The vertex count (90) sizes the list once; a count larger than the record is not believed.
std::size_t ReserveVertices(Loader& loader, const RawTag* at, const RawTag* end,
                            LwPolylineGeometry& g) {
    const std::int64_t count = loader.Integer(*at);
    if (count > 0 && count <= end - at)
        g.vertices.reserve(static_cast<std::size_t>(count));
    return 1;
}

using LwGroups = Groups<LwPolylineGeometry>;
using LwPolyline = LwPolylineGeometry;
constexpr GroupTable<LwPolylineGeometry> kLwPolylineGroups{
    LwGroups::Run<ReserveVertices>(90),
    LwGroups::Short<&LwPolyline::flags>(70),
    LwGroups::Real<&LwPolyline::constantWidth>(43),
    LwGroups::Real<&LwPolyline::elevation>(38),
    LwGroups::Start<&LwPolyline::vertices, &PolylineVertex::x>(10),
    LwGroups::Last<&LwPolyline::vertices, &PolylineVertex::y>(20),
    LwGroups::Last<&LwPolyline::vertices, &PolylineVertex::startWidth>(40),
    LwGroups::Last<&LwPolyline::vertices, &PolylineVertex::endWidth>(41),
    LwGroups::Last<&LwPolyline::vertices, &PolylineVertex::bulge>(42),
};

// The POLYLINE's own record; its vertices are VERTEX records of their own (dxf_reader.cpp).
using PolylineGroups = Groups<PolylineGeometry>;
constexpr GroupTable<PolylineGeometry> kPolylineGroups{
    PolylineGroups::Short<&PolylineGeometry::flags>(70),
    PolylineGroups::Real<&PolylineGeometry::elevation>(30),
};

using SplineGroups = Groups<SplineGeometry>;
constexpr GroupTable<SplineGeometry> kSplineGroups{
    SplineGroups::Short<&SplineGeometry::flags>(70),
    SplineGroups::Short<&SplineGeometry::degree>(71),
    SplineGroups::Append<&SplineGeometry::knots>(40),
    SplineGroups::Append<&SplineGeometry::weights>(41),
    SplineGroups::Points<&SplineGeometry::controlPoints>(10),
    SplineGroups::Points<&SplineGeometry::fitPoints>(11),
};

using TextGroups = Groups<TextGeometry>;
constexpr GroupTable<TextGeometry> kTextGroups{
    TextGroups::Text<&TextGeometry::text>(1),
    TextGroups::Name<&TextGeometry::style>(7),
    TextGroups::Point<&TextGeometry::insertion>(10),
    TextGroups::Call<[](Loader& loader, const RawTag& t, TextGeometry& g) {
        SetAxis(g.alignment, t.code, loader.Real(t));
        g.hasAlignment = true;
    }>(11, true),
    TextGroups::Real<&TextGeometry::height>(40),
    TextGroups::Real<&TextGeometry::widthFactor>(41),
    TextGroups::Real<&TextGeometry::rotationDeg>(50),
    TextGroups::Real<&TextGeometry::obliqueDeg>(51),
    TextGroups::Short<&TextGeometry::generation>(71),
    TextGroups::Short<&TextGeometry::hAlign>(72),
    TextGroups::Short<&TextGeometry::vAlign>(73),
};

// ATTRIB and ATTDEF are TEXT with a tag and flags; their vertical alignment is 74, because 73 is
// their field length.
constexpr GroupTable<TextGeometry> kAttributeGroups = kTextGroups.With({
    TextGroups::Text<&TextGeometry::tag>(2),
    TextGroups::Short<&TextGeometry::attributeFlags>(70),
    TextGroups::Ignore(73),
    TextGroups::Short<&TextGeometry::vAlign>(74),
});

void FinishText(Loader&, const std::vector<RawTag>&, TextGeometry& g) {
    g.text = DecodeCaret(g.text);
}

// An MTEXT while it is read: its text comes in pieces, its direction from 11 or the rotation.
struct MTextReading : MTextGeometry {
    std::string rawText;       // the 3s, in file bytes
    std::string_view lastText; // the 1, which ends the text
    bool hasXDirection = false;
    bool ownData = false;    // in AcDbMText, where 48 is no linetype scale
    bool columnData = false; // past 75, where 50 is a column height, not the rotation
    double rotationDeg = 0.0;
};

using MTextGroups = Groups<MTextReading>;
constexpr GroupTable<MTextReading> kMTextGroups{
    MTextGroups::Call<[](Loader&, const RawTag& t, MTextReading& r) { r.rawText.append(t.value); }>(
        3),
    MTextGroups::Call<[](Loader&, const RawTag& t, MTextReading& r) { r.lastText = t.value; }>(1),
    MTextGroups::Name<&MTextGeometry::style>(7),
    MTextGroups::Point<&MTextGeometry::insertion>(10),
    MTextGroups::Call<[](Loader& loader, const RawTag& t, MTextReading& r) {
        SetAxis(r.xDirection, t.code, loader.Real(t));
        r.hasXDirection = true;
    }>(11, true),
    MTextGroups::Real<&MTextGeometry::height>(40),
    MTextGroups::Real<&MTextGeometry::referenceWidth>(41),
    MTextGroups::Real<&MTextGeometry::actualWidth>(42),
    MTextGroups::Real<&MTextGeometry::rectHeight>(43),
    MTextGroups::Real<&MTextGeometry::lineSpacingFactor>(44),
    MTextGroups::Call<[](Loader& loader, const RawTag& t, MTextReading& r) {
        if (!r.columnData)
            r.rotationDeg = loader.Real(t);
    }>(50),
    MTextGroups::Call<[](Loader&, const RawTag&, MTextReading& r) { r.columnData = true; }>(75),
    MTextGroups::Real<&MTextGeometry::definedHeight>(46),
    MTextGroups::Short<&MTextGeometry::attachment>(71),
    MTextGroups::Short<&MTextGeometry::drawingDirection>(72),
    MTextGroups::Call<[](Loader& loader, const RawTag& t, MTextReading& r) {
        r.backgroundFill = static_cast<std::int16_t>(loader.Integer(t) & 0x7FFF);
    }>(90),
    MTextGroups::Short<&MTextGeometry::backgroundColor>(63),
    MTextGroups::Int32<&MTextGeometry::backgroundTrueColor>(421),
    MTextGroups::Real<&MTextGeometry::backgroundScale>(45),
    // The column width (read with the columns) in AcDbMText, the linetype scale before it.
    MTextGroups::Call<[](Loader&, const RawTag&, MTextReading& r) { return r.ownData; }>(48),
    MTextGroups::Call<[](Loader&, const RawTag& t, MTextReading& r) {
        if (Trim(t.value) == "AcDbMText")
            r.ownData = true;
    }>(100),
};

using InsertGroups = Groups<InsertGeometry>;
constexpr GroupTable<InsertGeometry> kInsertGroups{
    InsertGroups::Name<&InsertGeometry::blockName>(2),
    InsertGroups::Point<&InsertGeometry::insertion>(10),
    InsertGroups::Real<&InsertGeometry::scale, &Vec3::x>(41),
    InsertGroups::Real<&InsertGeometry::scale, &Vec3::y>(42),
    InsertGroups::Real<&InsertGeometry::scale, &Vec3::z>(43),
    InsertGroups::Real<&InsertGeometry::rotationDeg>(50),
    InsertGroups::Short<&InsertGeometry::columns>(70),
    InsertGroups::Short<&InsertGeometry::rows>(71),
    InsertGroups::Real<&InsertGeometry::columnSpacing>(44),
    InsertGroups::Real<&InsertGeometry::rowSpacing>(45),
};

using DimensionGroups = Groups<DimensionGeometry>;
constexpr GroupTable<DimensionGeometry> kDimensionGroups{
    DimensionGroups::Name<&DimensionGeometry::blockName>(2),
    DimensionGroups::Text<&DimensionGeometry::text>(1),
    DimensionGroups::Name<&DimensionGeometry::style>(3),
    DimensionGroups::Point<&DimensionGeometry::definitionPoint>(10),
    DimensionGroups::Point<&DimensionGeometry::textMidpoint>(11),
    DimensionGroups::Point<&DimensionGeometry::insertion>(12),
    DimensionGroups::Short<&DimensionGeometry::dimensionType>(70),
};

// The codes that follow a hatch's boundary paths: the style, the pattern's line families, the
// gradient.
using PatternGroups = Groups<HatchGeometry>;
constexpr GroupTable<HatchGeometry> kHatchPatternGroups{
    PatternGroups::Short<&HatchGeometry::style>(75),
    PatternGroups::Call<[](Loader& loader, const RawTag& t, HatchGeometry& g) {
        g.patternLines.emplace_back().angleDeg = loader.Real(t);
    }>(53),
    PatternGroups::Last<&HatchGeometry::patternLines, &HatchPatternLine::baseX>(43),
    PatternGroups::Last<&HatchGeometry::patternLines, &HatchPatternLine::baseY>(44),
    PatternGroups::Last<&HatchGeometry::patternLines, &HatchPatternLine::offsetX>(45),
    PatternGroups::Last<&HatchGeometry::patternLines, &HatchPatternLine::offsetY>(46),
    PatternGroups::Call<[](Loader& loader, const RawTag& t, HatchGeometry& g) {
        if (!g.patternLines.empty())
            g.patternLines.back().dashes.push_back(loader.Real(t));
    }>(49),
    PatternGroups::Flag<&HatchGeometry::gradient>(450),
    PatternGroups::Call<[](Loader& loader, const RawTag& t, HatchGeometry& g) {
        if (g.gradient)
            g.gradientColors.push_back(static_cast<std::int32_t>(loader.Integer(t)));
    }>(421),
};

// A HATCH while it is read: where in its record the tags are. Before AcDbHatch they are the
// entity's; the boundary paths (91 …) have codes of their own (10, 40, 73, ...).
struct HatchReading : HatchGeometry {
    enum class Part : std::uint8_t { Entity, Own, AfterPaths } part = Part::Entity;
};

std::size_t ReadHatchPaths(Loader& loader, const RawTag* at, const RawTag* end, HatchReading& h) {
    if (h.part == HatchReading::Part::AfterPaths)
        return 1;
    ParseHatchBoundaries(loader, std::span<const RawTag>(at, end), h);
    h.part = HatchReading::Part::AfterPaths;
    // Skip the boundary data: its codes are not the hatch's own.
    const RawTag* next = at + 1;
    while (next < end && next->code != 75)
        ++next;
    return static_cast<std::size_t>(next - at);
}

void ReadAfterPaths(Loader& loader, const RawTag& t, HatchReading& h) {
    if (h.part == HatchReading::Part::AfterPaths)
        kHatchPatternGroups.Read(loader, &t, &t + 1, h);
}

using HatchGroups = Groups<HatchReading>;
constexpr GroupTable<HatchReading> kHatchGroups{
    HatchGroups::Call<[](Loader&, const RawTag& t, HatchReading& h) {
        if (h.part == HatchReading::Part::Entity && Trim(t.value) == "AcDbHatch")
            h.part = HatchReading::Part::Own;
    }>(100),
    HatchGroups::Run<ReadHatchPaths>(91),
    HatchGroups::Call<[](Loader& loader, const RawTag& t, HatchReading& h) {
        if (h.part != HatchReading::Part::Entity)
            h.patternName = loader.Name(t);
    }>(2),
    HatchGroups::Call<[](Loader& loader, const RawTag& t, HatchReading& h) {
        if (h.part != HatchReading::Part::Entity)
            h.solidFill = loader.Integer(t) != 0;
    }>(70),
    HatchGroups::Call<[](Loader& loader, const RawTag& t, HatchReading& h) {
        if (h.part == HatchReading::Part::Own)
            h.elevation = loader.Real(t);
    }>(30),
    HatchGroups::Call<ReadAfterPaths>(75),
    HatchGroups::Call<ReadAfterPaths>(53),
    HatchGroups::Call<ReadAfterPaths>(43),
    HatchGroups::Call<ReadAfterPaths>(44),
    HatchGroups::Call<ReadAfterPaths>(45),
    HatchGroups::Call<ReadAfterPaths>(46),
    HatchGroups::Call<ReadAfterPaths>(49),
    HatchGroups::Call<ReadAfterPaths>(450),
    HatchGroups::Call<ReadAfterPaths>(421),
};

// SOLID, TRACE, 3DFACE: corner i is 1i, 2i, 3i.
void ReadCorner(Loader& loader, const RawTag& t, QuadGeometry& g) {
    SetAxis(g.corners[t.code % 10], t.code, loader.Real(t));
}

using QuadGroups = Groups<QuadGeometry>;
constexpr GroupTable<QuadGeometry> kQuadGroups{
    QuadGroups::Call<ReadCorner>(10, true),
    QuadGroups::Call<ReadCorner>(11, true),
    QuadGroups::Call<ReadCorner>(12, true),
    QuadGroups::Call<ReadCorner>(13, true),
    QuadGroups::Short<&QuadGeometry::invisibleEdges>(70),
};

using LeaderGroups = Groups<LeaderGeometry>;
constexpr GroupTable<LeaderGeometry> kLeaderGroups{
    LeaderGroups::Points<&LeaderGeometry::vertices>(10),
    LeaderGroups::Flag<&LeaderGeometry::arrowhead>(71),
    LeaderGroups::Name<&LeaderGeometry::style>(3),
};

using ViewportGroups = Groups<ViewportGeometry>;
constexpr GroupTable<ViewportGeometry> kViewportGroups{
    ViewportGroups::Point<&ViewportGeometry::center>(10),
    ViewportGroups::Real<&ViewportGeometry::width>(40),
    ViewportGroups::Real<&ViewportGeometry::height>(41),
    ViewportGroups::Short<&ViewportGeometry::id>(69),
    ViewportGroups::Short<&ViewportGeometry::status>(68),
    ViewportGroups::Real<&ViewportGeometry::viewCenterX>(12),
    ViewportGroups::Real<&ViewportGeometry::viewCenterY>(22),
    ViewportGroups::Point<&ViewportGeometry::viewDirection>(16),
    ViewportGroups::Point<&ViewportGeometry::viewTarget>(17),
    ViewportGroups::Real<&ViewportGeometry::viewHeight>(45),
    ViewportGroups::Real<&ViewportGeometry::twistDeg>(51),
    ViewportGroups::Int32<&ViewportGeometry::flags>(90),
    ViewportGroups::Handle<&ViewportGeometry::clipBoundary>(340),
    ViewportGroups::Append<&ViewportGeometry::frozenLayers>(331),
    ViewportGroups::Ignore(390), // its plot style sheet, not the entity's plot style
};

using RasterGroups = Groups<RasterGeometry>;
constexpr GroupTable<RasterGeometry> kRasterGroups{
    RasterGroups::Point<&RasterGeometry::insertion>(10),
    RasterGroups::Point<&RasterGeometry::u>(11),
    RasterGroups::Point<&RasterGeometry::v>(12),
    RasterGroups::Real<&RasterGeometry::widthPx>(13),
    RasterGroups::Real<&RasterGeometry::heightPx>(23),
    RasterGroups::Handle<&RasterGeometry::imageDefinition>(340),
    RasterGroups::Short<&RasterGeometry::display>(70),
    RasterGroups::Flag<&RasterGeometry::clipping>(280),
    // The clip outline's vertices (14, 24); their count (91) is not trusted.
    RasterGroups::Call<[](Loader& loader, const RawTag& t, RasterGeometry& r) {
        if (r.clip.size() < 100000)
            r.clip.push_back({loader.Real(t), 0, 0});
    }>(14),
    RasterGroups::Call<[](Loader& loader, const RawTag& t, RasterGeometry& r) {
        if (!r.clip.empty())
            r.clip.back().y = loader.Real(t);
    }>(24),
};

// A table (ACAD_TABLE) is placed by its block reference part; its own data (AcDbTable) follows.
struct TableReading : OpaqueGeometry {
    bool ownData = false;
};

using TableGroups = Groups<TableReading>;
constexpr GroupTable<TableReading> kTableGroups{
    TableGroups::Call<[](Loader&, const RawTag& t, TableReading& r) {
        if (Trim(t.value) == "AcDbTable")
            r.ownData = true;
    }>(100),
    TableGroups::Call<[](Loader& loader, const RawTag& t, TableReading& r) {
        if (!r.ownData)
            r.blockName = loader.Name(t);
    }>(2),
    TableGroups::Call<[](Loader& loader, const RawTag& t, TableReading& r) {
        if (!r.ownData)
            SetAxis(r.insertion, t.code, loader.Real(t));
    }>(10, true),
};

constexpr GroupTable<OpaqueGeometry> kOpaqueGroups{};

// --- the families -----------------------------------------------------------------------------

using FamilyReader = void (*)(Loader& loader, std::string_view dxfName,
                              const std::vector<RawTag>& rec, Entity& e);

// A family whose geometry is its table's target; Finish, where given, completes it.
template <typename G, const GroupTable<G>& Table,
          void (*Finish)(Loader&, const std::vector<RawTag>&, G&) = nullptr>
void ReadFamily(Loader& loader, std::string_view, const std::vector<RawTag>& rec, Entity& e) {
    G& g = e.geometry.emplace<G>();
    ReadEntityGroups(loader, rec, Table, e, g);
    if constexpr (Finish != nullptr)
        Finish(loader, rec, g);
}

void ReadMText(Loader& loader, std::string_view, const std::vector<RawTag>& rec, Entity& e) {
    MTextReading r;
    ReadEntityGroups(loader, rec, kMTextGroups, e, r);
    r.rawText += r.lastText;
    r.text = DecodeCaret(loader.codePage->Decode(r.rawText));
    if (!r.hasXDirection) {
        const double a = DegToRad(r.rotationDeg);
        r.xDirection = {std::cos(a), std::sin(a), 0.0};
    }
    r.columns = loader.ReadMTextColumns(rec, r.definedHeight);
    e.geometry = static_cast<MTextGeometry&&>(r);
}

void ReadHatch(Loader& loader, std::string_view, const std::vector<RawTag>& rec, Entity& e) {
    HatchReading h;
    ReadEntityGroups(loader, rec, kHatchGroups, e, h);
    e.geometry = static_cast<HatchGeometry&&>(h);
}

// The types kept opaque: their name, and for some of them what places them.
OpaqueGeometry& ReadOpaque(Loader& loader, std::string_view dxfName, const std::vector<RawTag>& rec,
                           Entity& e) {
    auto& g = e.geometry.emplace<OpaqueGeometry>();
    g.dxfName = std::string(dxfName);
    ReadEntityGroups(loader, rec, kOpaqueGroups, e, g);
    return g;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The graphics a custom object stores for programs without its application: the run of 310
// chunks right after their size (92; 160 from release 2013 on). A proxy entity's later 310 run
// (after 93 or 161) is its own data, not graphics.
void ReadProxyGraphics(Loader& loader, std::string_view dxfName, const std::vector<RawTag>& rec,
                       const Entity& e, OpaqueGeometry& g) {
    // The host shows a light's glyph on screen but never plots it.
    if (dxfName == "LIGHT")
        return;
    std::size_t i = 0;
    while (i + 1 < rec.size() && !((rec[i].code == 92 || rec[i].code == 160) &&
                                   rec[i + 1].code == 310) && rec[i].code != 1001)
        ++i;
    if (i + 1 >= rec.size() || rec[i].code == 1001)
        return;
    const std::int64_t size = loader.Integer(rec[i]);
    std::string bytes;
    bool hexDamaged = false;
    for (++i; i < rec.size() && rec[i].code == 310; ++i) {
        if (loader.src.binary) {
            bytes.append(rec[i].value);
            continue;
        }
        const std::string_view hex = Trim(rec[i].value);
        for (std::size_t k = 0; k + 1 < hex.size() && !hexDamaged; k += 2) {
            const int high = HexDigit(hex[k]), low = HexDigit(hex[k + 1]);
            hexDamaged = high < 0 || low < 0;
            if (!hexDamaged)
                bytes.push_back(static_cast<char>(high << 4 | low));
        }
        if (hexDamaged)
            break;
    }
    if (size > 0 && static_cast<std::uint64_t>(size) < bytes.size())
        bytes.resize(static_cast<std::size_t>(size));
    const ProxyDecoding decoded = DecodeProxyGraphics(bytes, loader.doc, *loader.codePage);
    g.proxy = decoded.graphics;
    if (decoded.damagedAt != 0 || hexDamaged) {
        char handle[24];
        std::snprintf(handle, sizeof handle, "%llX", static_cast<unsigned long long>(e.handle));
        loader.Warn(rec[i - 1], "the proxy graphics of " + std::string(dxfName) + " " + handle +
                                    " are damaged; what could be read is drawn");
    }
}

void ReadOther(Loader& loader, std::string_view dxfName, const std::vector<RawTag>& rec,
               Entity& e) {
    OpaqueGeometry& g = ReadOpaque(loader, dxfName, rec, e);
    ReadProxyGraphics(loader, dxfName, rec, e, g);
}

// A table's own data, from its AcDbTable marker on: the grid (91 rows, 92 columns, 141 heights,
// 142 widths), then each cell from its 171. A cell's value (301 CELL_VALUE ... 304 ACVALUE_END)
// reuses group codes of its own. Counts are not trusted: the grid is what the heights and widths
// give, and cells past it are dropped.
std::shared_ptr<const TableContent> ReadTableContent(Loader& loader,
                                                     const std::vector<RawTag>& rec) {
    std::size_t i = 0;
    while (i < rec.size() && !(rec[i].code == 100 && Trim(rec[i].value) == "AcDbTable"))
        ++i;
    if (i == rec.size())
        return nullptr;
    auto content = std::make_shared<TableContent>();
    TableContent::Cell* cell = nullptr;
    bool inValue = false;
    std::string valueText, formatted;
    const auto finishCell = [&] {
        if (cell && cell->text.empty())
            cell->text = DecodeCaret(loader.codePage->Decode(formatted.empty() ? valueText
                                                                               : formatted));
        else if (cell)
            cell->text = DecodeCaret(loader.codePage->Decode(cell->text));
        valueText.clear();
        formatted.clear();
        inValue = false;
    };
    constexpr std::size_t kMaxGrid = 1u << 16;
    int styles = 0, heights = 0, alignments = 0, colors = 0; // the overrides seen of each
    for (++i; i < rec.size(); ++i) {
        const RawTag& t = rec[i];
        if (t.code == 100 || t.code == 1001)
            break;
        if (t.code == 171) {
            finishCell();
            const std::size_t grid =
                content->rowHeights.size() * content->columnWidths.size();
            if (content->cells.size() >= grid) {
                cell = nullptr;
                continue;
            }
            cell = &content->cells.emplace_back();
            continue;
        }
        if (!cell) {
            if (!content->cells.empty())
                continue; // what follows the cells: the table's overrides
            const auto kind = [&](int& seen) { return static_cast<std::size_t>(seen++ % 3); };
            switch (t.code) {
            case 342:
                content->styleHandle = loader.tags.Handle(t);
                break;
            case 40:
                content->horizontalMargin = std::max(0.0, loader.Real(t));
                break;
            case 41:
                content->verticalMargin = std::max(0.0, loader.Real(t));
                break;
            case 70:
                content->flow = loader.Short(t);
                break;
            case 7:
                content->textStyles[kind(styles)] = loader.Name(t);
                break;
            case 140:
                content->heights[kind(heights)] = std::max(0.0, loader.Real(t));
                break;
            case 170:
                content->alignments[kind(alignments)] = loader.Short(t);
                break;
            case 64:
                content->colors[kind(colors)] = loader.Short(t);
                break;
            case 11:
            case 21:
            case 31:
                SetAxis(content->direction, t.code, loader.Real(t));
                break;
            case 141:
                if (content->rowHeights.size() < kMaxGrid)
                    content->rowHeights.push_back(std::max(0.0, loader.Real(t)));
                break;
            case 142:
                if (content->columnWidths.size() < kMaxGrid)
                    content->columnWidths.push_back(std::max(0.0, loader.Real(t)));
                break;
            default:
                break;
            }
            continue;
        }
        if (t.code == 301 && Trim(t.value) == "CELL_VALUE") {
            inValue = true;
            continue;
        }
        if (t.code == 304 && Trim(t.value) == "ACVALUE_END") {
            inValue = false;
            continue;
        }
        if (inValue) {
            if (t.code == 1 || t.code == 2)
                valueText.append(t.value);
            else if (t.code == 302 || t.code == 303)
                formatted.append(t.value);
            continue;
        }
        switch (t.code) {
        case 1:
        case 2:
            cell->text.append(t.value);
            break;
        case 7:
            cell->style = loader.Name(t);
            break;
        case 140:
            cell->height = std::max(0.0, loader.Real(t));
            break;
        case 170:
            cell->alignment = loader.Short(t);
            break;
        case 64:
            cell->color = loader.Short(t);
            break;
        case 145:
            cell->rotation = loader.Real(t);
            break;
        case 175:
            cell->columnSpan = static_cast<std::int32_t>(
                std::clamp<std::int64_t>(loader.Integer(t), 1, kMaxGrid));
            break;
        case 176:
            cell->rowSpan = static_cast<std::int32_t>(
                std::clamp<std::int64_t>(loader.Integer(t), 1, kMaxGrid));
            break;
        default:
            break;
        }
    }
    finishCell();
    if (content->rowHeights.empty() || content->columnWidths.empty())
        return nullptr;
    return content;
}

void ReadTable(Loader& loader, std::string_view dxfName, const std::vector<RawTag>& rec,
               Entity& e) {
    TableReading r;
    r.dxfName = std::string(dxfName);
    ReadEntityGroups(loader, rec, kTableGroups, e, r);
    // The graphics a table stores for programs that cannot draw tables; they stand in for its
    // block where that is missing (Loader::PlaceTables).
    ReadProxyGraphics(loader, dxfName, rec, e, r);
    r.table = ReadTableContent(loader, rec);
    e.geometry = static_cast<OpaqueGeometry&&>(r);
}

void ReadRaster(Loader& loader, std::string_view dxfName, const std::vector<RawTag>& rec,
                Entity& e) {
    auto& g = e.geometry.emplace<OpaqueGeometry>();
    g.dxfName = std::string(dxfName);
    auto raster = std::make_shared<RasterGeometry>();
    ReadEntityGroups(loader, rec, kRasterGroups, e, *raster);
    g.raster = std::move(raster);
}

void ReadMLeaderEntity(Loader& loader, std::string_view dxfName, const std::vector<RawTag>& rec,
                       Entity& e) {
    ReadOpaque(loader, dxfName, rec, e).mleader = loader.ReadMLeader(rec);
}

void ReadMLineEntity(Loader& loader, std::string_view dxfName, const std::vector<RawTag>& rec,
                     Entity& e) {
    ReadOpaque(loader, dxfName, rec, e).mline = loader.ReadMLine(rec);
}

struct EntityFamily {
    std::string_view dxfName;
    EntityType type; // Unknown for the types kept opaque
    FamilyReader read;
};

// Every type the reader knows by name; any other is kept opaque with its name.
constexpr EntityFamily kFamilies[] = {
    {"LINE", EntityType::Line, ReadFamily<LineGeometry, kLineGroups>},
    {"POINT", EntityType::Point, ReadFamily<PointGeometry, kPointGroups>},
    {"CIRCLE", EntityType::Circle, ReadFamily<CircleGeometry, kCircleGroups>},
    {"ARC", EntityType::Arc, ReadFamily<ArcGeometry, kArcGroups>},
    {"ELLIPSE", EntityType::Ellipse, ReadFamily<EllipseGeometry, kEllipseGroups>},
    {"LWPOLYLINE", EntityType::LwPolyline, ReadFamily<LwPolylineGeometry, kLwPolylineGroups>},
    {"POLYLINE", EntityType::Polyline, ReadFamily<PolylineGeometry, kPolylineGroups>},
    {"SPLINE", EntityType::Spline, ReadFamily<SplineGeometry, kSplineGroups>},
    {"TEXT", EntityType::Text, ReadFamily<TextGeometry, kTextGroups, FinishText>},
    {"MTEXT", EntityType::MText, ReadMText},
    {"ATTRIB", EntityType::Attrib, ReadFamily<TextGeometry, kAttributeGroups, FinishText>},
    {"ATTDEF", EntityType::AttDef, ReadFamily<TextGeometry, kAttributeGroups, FinishText>},
    {"INSERT", EntityType::Insert, ReadFamily<InsertGeometry, kInsertGroups>},
    {"DIMENSION", EntityType::Dimension, ReadFamily<DimensionGeometry, kDimensionGroups>},
    {"HATCH", EntityType::Hatch, ReadHatch},
    {"SOLID", EntityType::Solid, ReadFamily<QuadGeometry, kQuadGroups>},
    {"TRACE", EntityType::Trace, ReadFamily<QuadGeometry, kQuadGroups>},
    {"3DFACE", EntityType::Face3d, ReadFamily<QuadGeometry, kQuadGroups>},
    {"LEADER", EntityType::Leader, ReadFamily<LeaderGeometry, kLeaderGroups>},
    {"VIEWPORT", EntityType::Viewport, ReadFamily<ViewportGeometry, kViewportGroups>},
    {"XLINE", EntityType::XLine, ReadFamily<RayGeometry, kRayGroups>},
    {"RAY", EntityType::Ray, ReadFamily<RayGeometry, kRayGroups>},
    {"ACAD_TABLE", EntityType::Unknown, ReadTable},
    {"IMAGE", EntityType::Unknown, ReadRaster},
    {"WIPEOUT", EntityType::Unknown, ReadRaster},
    {"MULTILEADER", EntityType::Unknown, ReadMLeaderEntity},
    {"MLEADER", EntityType::Unknown, ReadMLeaderEntity},
    {"MLINE", EntityType::Unknown, ReadMLineEntity},
};

} // namespace

std::shared_ptr<const MLeaderGeometry> Loader::ReadMLeader(const std::vector<RawTag>& rec) {
    auto g = std::make_shared<MLeaderGeometry>();
    // The context data nests: CONTEXT_DATA{ ... LEADER{ ... LEADER_LINE{ ... } } }; the same
    // group codes mean different things at each depth, and again after the context.
    enum class At { Entity, Context, Leader, Line, After } at = At::Entity;
    MLeaderGeometry::Leader* leader = nullptr;
    std::vector<Vec3>* line = nullptr;
    for (const RawTag& t : rec) {
        const int c = t.code;
        if (c == 1001)
            break;
        if (c == 300 || c == 302 || c == 304) {
            const std::string_view v = Trim(t.value);
            if (c == 300 && v == "CONTEXT_DATA{") {
                at = At::Context;
                continue;
            }
            if (c == 302 && v == "LEADER{" && at == At::Context) {
                g->leaders.emplace_back();
                leader = &g->leaders.back();
                at = At::Leader;
                continue;
            }
            if (c == 304 && v == "LEADER_LINE{" && at == At::Leader) {
                leader->lines.emplace_back();
                line = &leader->lines.back();
                at = At::Line;
                continue;
            }
        }
        if (c == 305 && at == At::Line) {
            at = At::Leader;
            continue;
        }
        if (c == 303 && at == At::Leader) {
            at = At::Context;
            continue;
        }
        if (c == 301 && at == At::Context) {
            at = At::After;
            continue;
        }
        switch (at) {
        case At::Line:
            if (c == 10 && line->size() < 100000)
                line->push_back({Real(t), 0, 0});
            else if ((c == 20 || c == 30) && !line->empty())
                SetAxis(line->back(), c, Real(t));
            break;
        case At::Leader:
            if (c == 290)
                leader->hasLanding = Integer(t) != 0;
            else if (c == 10 || c == 20 || c == 30)
                SetAxis(leader->landing, c, Real(t));
            else if (c == 11 || c == 21 || c == 31)
                SetAxis(leader->doglegDirection, c - 1, Real(t));
            else if (c == 40)
                leader->doglegLength = Real(t);
            break;
        case At::Context:
            if (c == 40)
                g->scale = Real(t);
            else if (c == 140)
                g->arrowSize = Real(t);
            else if (c == 290)
                g->hasText = Integer(t) != 0;
            else if (c == 304)
                g->text = Text(t);
            else if (c == 340)
                g->textStyle = tags.Handle(t);
            else if (c == 12 || c == 22 || c == 32)
                SetAxis(g->textLocation, c - 2, Real(t));
            else if (c == 13 || c == 23 || c == 33)
                SetAxis(g->textDirection, c - 3, Real(t));
            else if (c == 41)
                g->textHeight = Real(t);
            else if (c == 43)
                g->textWidth = Real(t);
            else if (c == 45)
                g->lineSpacingFactor = Real(t);
            else if (c == 171)
                g->textAttachment = Short(t);
            break;
        case At::After:
            if (c == 170)
                g->lineType = Short(t);
            else if (c == 291)
                g->dogleg = Integer(t) != 0;
            break;
        case At::Entity:
            break;
        }
    }
    g->text = DecodeCaret(g->text);
    return g;
}

void Loader::BuildEntity(const RawTag& head, const std::vector<RawTag>& rec, Entity& e) {
    const std::string_view typeName = Trim(head.value);
    e.source.offset = head.offset;
    e.source.line = head.line;
    for (const EntityFamily& family : kFamilies)
        if (family.dxfName == typeName) {
            e.type = family.type;
            family.read(*this, typeName, rec, e);
            return;
        }
    e.type = EntityType::Unknown;
    ReadOther(*this, typeName, rec, e);
}

} // namespace kw::drawing::detail
