// DXF reading: the entities, each built from the tags of its record.

#include <algorithm>
#include <cmath>

#include "drawing/detail/dxf_loader.h"
#include "drawing/text.h"

namespace kw::drawing::detail {

// ------------------------------------------------------------------------------------------------

namespace {

void ParseHatchBoundaries(Loader& loader, const std::vector<RawTag>& rec, std::size_t i,
                          HatchGeometry& hatch) {
    const std::size_t n = rec.size();
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
    e.type = TypeOfName(typeName);
    e.source.offset = head.offset;
    e.source.line = head.line;
    switch (e.type) {
    case EntityType::Unknown:
        e.geometry = OpaqueGeometry{};
        std::get<OpaqueGeometry>(e.geometry).dxfName = std::string(typeName);
        break;
    case EntityType::Line:
        e.geometry = LineGeometry{};
        break;
    case EntityType::Point:
        e.geometry = PointGeometry{};
        break;
    case EntityType::Circle:
        e.geometry = CircleGeometry{};
        break;
    case EntityType::Arc:
        e.geometry = ArcGeometry{};
        break;
    case EntityType::Ellipse:
        e.geometry = EllipseGeometry{};
        break;
    case EntityType::LwPolyline:
        e.geometry = LwPolylineGeometry{};
        break;
    case EntityType::Polyline:
        e.geometry = PolylineGeometry{};
        break;
    case EntityType::Spline:
        e.geometry = SplineGeometry{};
        break;
    case EntityType::Text:
    case EntityType::Attrib:
    case EntityType::AttDef:
        e.geometry = TextGeometry{};
        break;
    case EntityType::MText:
        e.geometry = MTextGeometry{};
        break;
    case EntityType::Insert:
        e.geometry = InsertGeometry{};
        break;
    case EntityType::Dimension:
        e.geometry = DimensionGeometry{};
        break;
    case EntityType::Hatch:
        e.geometry = HatchGeometry{};
        break;
    case EntityType::Solid:
    case EntityType::Trace:
    case EntityType::Face3d:
        e.geometry = QuadGeometry{};
        break;
    case EntityType::Leader:
        e.geometry = LeaderGeometry{};
        break;
    case EntityType::Viewport:
        e.geometry = ViewportGeometry{};
        break;
    }

    bool inGroup = false;
    bool ownerSeen = false;
    bool hasXDirection = false;
    bool mtextData = false;    // in AcDbMText, where 48 is no linetype scale
    bool mtextColumns = false; // past 75, where 50 is a column height, not the rotation
    double mtextRotationDeg = 0.0;
    std::string mtextRaw;
    std::string mtextLast;
    bool hatchSubclass = false;
    std::size_t hatchPaths = 0;
    // A table's own data (AcDbTable) follows its block reference part; only the latter places it.
    const bool table = e.type == EntityType::Unknown && typeName == "ACAD_TABLE";
    bool tableData = false;
    std::shared_ptr<RasterGeometry> raster;
    if (e.type == EntityType::Unknown && (typeName == "IMAGE" || typeName == "WIPEOUT"))
        raster = std::make_shared<RasterGeometry>();
    const bool mleader =
        e.type == EntityType::Unknown && (typeName == "MULTILEADER" || typeName == "MLEADER");
    const std::size_t n = rec.size();
    for (std::size_t i = 0; i < n; ++i) {
        const RawTag& t = rec[i];
        const int c = t.code;
        if (inGroup) {
            if (c == 102)
                inGroup = false;
            continue;
        }
        if (c == 102) {
            const std::string_view v = Trim(t.value);
            inGroup = !v.empty() && v.front() == '{';
            continue;
        }
        if (c == 1001 || c == 101)
            break; // extended data or an embedded object: not the entity's own data
        switch (c) {
        case 5:
            e.handle = tags.Handle(t);
            continue;
        case 330:
            if (!ownerSeen)
                e.ownerHandle = tags.Handle(t);
            ownerSeen = true;
            if (e.type != EntityType::Hatch)
                continue;
            break;
        case 8:
            e.layer = Name(t);
            continue;
        case 6:
            e.linetype = Name(t);
            continue;
        case 62:
            e.color = Short(t);
            continue;
        case 370:
            e.lineweight = Short(t);
            continue;
        case 390:
            if (e.type == EntityType::Viewport)
                break; // its plot style sheet
            e.plotStyle = tags.Handle(t);
            continue;
        case 420:
            e.trueColor = static_cast<std::int32_t>(Integer(t));
            continue;
        case 440:
            e.transparency = static_cast<std::int32_t>(Integer(t));
            continue;
        case 48:
            if (mtextData)
                break; // the column width
            e.linetypeScale = Real(t);
            continue;
        case 60:
            e.invisible = Integer(t) != 0;
            continue;
        case 67:
            e.paperSpace = Integer(t) != 0;
            continue;
        case 39:
            e.thickness = Real(t);
            continue;
        case 210:
        case 220:
        case 230:
            SetAxis(e.extrusion, c - 200, Real(t));
            continue;
        case 100:
            if (e.type == EntityType::Hatch && Trim(t.value) == "AcDbHatch")
                hatchSubclass = true;
            if (table && Trim(t.value) == "AcDbTable")
                tableData = true;
            if (e.type == EntityType::MText && Trim(t.value) == "AcDbMText")
                mtextData = true;
            continue;
        default:
            break;
        }
        switch (e.type) {
        case EntityType::Line: {
            auto& g = std::get<LineGeometry>(e.geometry);
            if (c == 10 || c == 20 || c == 30)
                SetAxis(g.start, c, Real(t));
            else if (c == 11 || c == 21 || c == 31)
                SetAxis(g.end, c, Real(t));
            break;
        }
        case EntityType::Point: {
            auto& g = std::get<PointGeometry>(e.geometry);
            if (c == 10 || c == 20 || c == 30)
                SetAxis(g.location, c, Real(t));
            break;
        }
        case EntityType::Circle: {
            auto& g = std::get<CircleGeometry>(e.geometry);
            if (c == 10 || c == 20 || c == 30)
                SetAxis(g.center, c, Real(t));
            else if (c == 40)
                g.radius = Real(t);
            break;
        }
        case EntityType::Arc: {
            auto& g = std::get<ArcGeometry>(e.geometry);
            if (c == 10 || c == 20 || c == 30)
                SetAxis(g.center, c, Real(t));
            else if (c == 40)
                g.radius = Real(t);
            else if (c == 50)
                g.startAngleDeg = Real(t);
            else if (c == 51)
                g.endAngleDeg = Real(t);
            break;
        }
        case EntityType::Ellipse: {
            auto& g = std::get<EllipseGeometry>(e.geometry);
            if (c == 10 || c == 20 || c == 30)
                SetAxis(g.center, c, Real(t));
            else if (c == 11 || c == 21 || c == 31)
                SetAxis(g.majorAxis, c, Real(t));
            else if (c == 40)
                g.ratio = Real(t);
            else if (c == 41)
                g.startParam = Real(t);
            else if (c == 42)
                g.endParam = Real(t);
            break;
        }
        case EntityType::LwPolyline: {
            auto& g = std::get<LwPolylineGeometry>(e.geometry);
            switch (c) {
            case 90: {
                const std::int64_t count = Integer(t);
                if (count > 0 && static_cast<std::size_t>(count) <= n)
                    g.vertices.reserve(static_cast<std::size_t>(count));
                break;
            }
            case 70:
                g.flags = Short(t);
                break;
            case 43:
                g.constantWidth = Real(t);
                break;
            case 38:
                g.elevation = Real(t);
                break;
            case 10:
                g.vertices.push_back({Real(t), 0.0, 0.0, 0.0, 0.0});
                break;
            case 20:
                if (!g.vertices.empty())
                    g.vertices.back().y = Real(t);
                break;
            case 40:
                if (!g.vertices.empty())
                    g.vertices.back().startWidth = Real(t);
                break;
            case 41:
                if (!g.vertices.empty())
                    g.vertices.back().endWidth = Real(t);
                break;
            case 42:
                if (!g.vertices.empty())
                    g.vertices.back().bulge = Real(t);
                break;
            default:
                break;
            }
            break;
        }
        case EntityType::Polyline: {
            auto& g = std::get<PolylineGeometry>(e.geometry);
            if (c == 70)
                g.flags = Short(t);
            else if (c == 30)
                g.elevation = Real(t);
            break;
        }
        case EntityType::Spline: {
            auto& g = std::get<SplineGeometry>(e.geometry);
            switch (c) {
            case 70:
                g.flags = Short(t);
                break;
            case 71:
                g.degree = Short(t);
                break;
            case 40:
                g.knots.push_back(Real(t));
                break;
            case 41:
                g.weights.push_back(Real(t));
                break;
            case 10:
                g.controlPoints.push_back({Real(t), 0.0, 0.0});
                break;
            case 20:
                if (!g.controlPoints.empty())
                    g.controlPoints.back().y = Real(t);
                break;
            case 30:
                if (!g.controlPoints.empty())
                    g.controlPoints.back().z = Real(t);
                break;
            case 11:
                g.fitPoints.push_back({Real(t), 0.0, 0.0});
                break;
            case 21:
                if (!g.fitPoints.empty())
                    g.fitPoints.back().y = Real(t);
                break;
            case 31:
                if (!g.fitPoints.empty())
                    g.fitPoints.back().z = Real(t);
                break;
            default:
                break;
            }
            break;
        }
        case EntityType::Text:
        case EntityType::Attrib:
        case EntityType::AttDef: {
            auto& g = std::get<TextGeometry>(e.geometry);
            const bool attribute = e.type != EntityType::Text;
            switch (c) {
            case 1:
                g.text = Text(t);
                break;
            case 2:
                if (attribute)
                    g.tag = Text(t);
                break;
            case 7:
                g.style = Name(t);
                break;
            case 10:
            case 20:
            case 30:
                SetAxis(g.insertion, c, Real(t));
                break;
            case 11:
            case 21:
            case 31:
                SetAxis(g.alignment, c, Real(t));
                g.hasAlignment = true;
                break;
            case 40:
                g.height = Real(t);
                break;
            case 41:
                g.widthFactor = Real(t);
                break;
            case 50:
                g.rotationDeg = Real(t);
                break;
            case 51:
                g.obliqueDeg = Real(t);
                break;
            case 70:
                if (attribute)
                    g.attributeFlags = Short(t);
                break;
            case 71:
                g.generation = Short(t);
                break;
            case 72:
                g.hAlign = Short(t);
                break;
            case 73:
                if (!attribute)
                    g.vAlign = Short(t);
                break;
            case 74:
                if (attribute)
                    g.vAlign = Short(t);
                break;
            default:
                break;
            }
            break;
        }
        case EntityType::MText: {
            auto& g = std::get<MTextGeometry>(e.geometry);
            switch (c) {
            case 3:
                mtextRaw.append(t.value);
                break;
            case 1:
                mtextLast.assign(t.value);
                break;
            case 7:
                g.style = Name(t);
                break;
            case 10:
            case 20:
            case 30:
                SetAxis(g.insertion, c, Real(t));
                break;
            case 11:
            case 21:
            case 31:
                SetAxis(g.xDirection, c, Real(t));
                hasXDirection = true;
                break;
            case 40:
                g.height = Real(t);
                break;
            case 41:
                g.referenceWidth = Real(t);
                break;
            case 42:
                g.actualWidth = Real(t);
                break;
            case 43:
                g.rectHeight = Real(t);
                break;
            case 44:
                g.lineSpacingFactor = Real(t);
                break;
            case 50:
                if (!mtextColumns)
                    mtextRotationDeg = Real(t);
                break;
            case 75:
                mtextColumns = true;
                break;
            case 46:
                g.definedHeight = Real(t);
                break;
            case 71:
                g.attachment = Short(t);
                break;
            case 72:
                g.drawingDirection = Short(t);
                break;
            case 90:
                g.backgroundFill = static_cast<std::int16_t>(Integer(t) & 0x7FFF);
                break;
            case 63:
                g.backgroundColor = Short(t);
                break;
            case 421:
                g.backgroundTrueColor = static_cast<std::int32_t>(Integer(t));
                break;
            case 45:
                g.backgroundScale = Real(t);
                break;
            default:
                break;
            }
            break;
        }
        case EntityType::Insert: {
            auto& g = std::get<InsertGeometry>(e.geometry);
            switch (c) {
            case 2:
                g.blockName = Name(t);
                break;
            case 10:
            case 20:
            case 30:
                SetAxis(g.insertion, c, Real(t));
                break;
            case 41:
                g.scale.x = Real(t);
                break;
            case 42:
                g.scale.y = Real(t);
                break;
            case 43:
                g.scale.z = Real(t);
                break;
            case 50:
                g.rotationDeg = Real(t);
                break;
            case 70:
                g.columns = Short(t);
                break;
            case 71:
                g.rows = Short(t);
                break;
            case 44:
                g.columnSpacing = Real(t);
                break;
            case 45:
                g.rowSpacing = Real(t);
                break;
            default:
                break;
            }
            break;
        }
        case EntityType::Dimension: {
            auto& g = std::get<DimensionGeometry>(e.geometry);
            switch (c) {
            case 2:
                g.blockName = Name(t);
                break;
            case 1:
                g.text = Text(t);
                break;
            case 3:
                g.style = Name(t);
                break;
            case 10:
            case 20:
            case 30:
                SetAxis(g.definitionPoint, c, Real(t));
                break;
            case 11:
            case 21:
            case 31:
                SetAxis(g.textMidpoint, c, Real(t));
                break;
            case 12:
            case 22:
            case 32:
                SetAxis(g.insertion, c, Real(t));
                break;
            case 70:
                g.dimensionType = Short(t);
                break;
            default:
                break;
            }
            break;
        }
        case EntityType::Hatch: {
            auto& g = std::get<HatchGeometry>(e.geometry);
            if (c == 91 && hatchPaths == 0) {
                ParseHatchBoundaries(*this, rec, i, g);
                hatchPaths = g.boundaries.size() + 1;
                // Skip the boundary data: its codes (10, 40, 73, ...) are not the hatch's own.
                while (i + 1 < n && rec[i + 1].code != 75)
                    ++i;
                break;
            }
            if (!hatchSubclass && hatchPaths == 0)
                break;
            if (c == 2)
                g.patternName = Name(t);
            else if (c == 70)
                g.solidFill = Integer(t) != 0;
            else if (c == 30 && hatchPaths == 0)
                g.elevation = Real(t);
            else if (hatchPaths == 0)
                break;
            // After the boundary paths: the style, the pattern's line families, the gradient.
            else if (c == 75)
                g.style = Short(t);
            else if (c == 53) {
                g.patternLines.emplace_back();
                g.patternLines.back().angleDeg = Real(t);
            } else if (c >= 43 && c <= 46 && !g.patternLines.empty()) {
                auto& line = g.patternLines.back();
                (c == 43   ? line.baseX
                 : c == 44 ? line.baseY
                 : c == 45 ? line.offsetX
                           : line.offsetY) = Real(t);
            } else if (c == 49 && !g.patternLines.empty())
                g.patternLines.back().dashes.push_back(Real(t));
            else if (c == 450)
                g.gradient = Integer(t) != 0;
            else if (c == 421 && g.gradient)
                g.gradientColors.push_back(static_cast<std::int32_t>(Integer(t)));
            break;
        }
        case EntityType::Solid:
        case EntityType::Trace:
        case EntityType::Face3d: {
            auto& g = std::get<QuadGeometry>(e.geometry);
            if (c >= 10 && c <= 33 && c % 10 <= 3)
                SetAxis(g.corners[c % 10], c, Real(t));
            else if (c == 70)
                g.invisibleEdges = Short(t);
            break;
        }
        case EntityType::Leader: {
            auto& g = std::get<LeaderGeometry>(e.geometry);
            if (c == 10)
                g.vertices.push_back({Real(t), 0.0, 0.0});
            else if (c == 20 && !g.vertices.empty())
                g.vertices.back().y = Real(t);
            else if (c == 30 && !g.vertices.empty())
                g.vertices.back().z = Real(t);
            else if (c == 71)
                g.arrowhead = Integer(t) != 0;
            else if (c == 3)
                g.style = Name(t);
            break;
        }
        case EntityType::Viewport: {
            auto& g = std::get<ViewportGeometry>(e.geometry);
            if (c == 10 || c == 20 || c == 30)
                SetAxis(g.center, c, Real(t));
            else if (c == 40)
                g.width = Real(t);
            else if (c == 41)
                g.height = Real(t);
            else if (c == 69)
                g.id = Short(t);
            else if (c == 68)
                g.status = Short(t);
            else if (c == 12)
                g.viewCenterX = Real(t);
            else if (c == 22)
                g.viewCenterY = Real(t);
            else if (c == 16 || c == 26 || c == 36)
                SetAxis(g.viewDirection, c - 6, Real(t));
            else if (c == 17 || c == 27 || c == 37)
                SetAxis(g.viewTarget, c - 7, Real(t));
            else if (c == 45)
                g.viewHeight = Real(t);
            else if (c == 51)
                g.twistDeg = Real(t);
            else if (c == 90)
                g.flags = static_cast<std::int32_t>(Integer(t));
            else if (c == 340)
                g.clipBoundary = tags.Handle(t);
            else if (c == 331)
                g.frozenLayers.push_back(tags.Handle(t));
            break;
        }
        case EntityType::Unknown:
            if (raster) {
                RasterGeometry& r = *raster;
                switch (c) {
                case 10:
                case 20:
                case 30:
                    SetAxis(r.insertion, c, Real(t));
                    break;
                case 11:
                case 21:
                case 31:
                    SetAxis(r.u, c - 1, Real(t));
                    break;
                case 12:
                case 22:
                case 32:
                    SetAxis(r.v, c - 2, Real(t));
                    break;
                case 13:
                    r.widthPx = Real(t);
                    break;
                case 23:
                    r.heightPx = Real(t);
                    break;
                case 340:
                    r.imageDefinition = tags.Handle(t);
                    break;
                case 70:
                    r.display = Short(t);
                    break;
                case 280:
                    r.clipping = Integer(t) != 0;
                    break;
                case 14:
                    if (r.clip.size() < 100000)
                        r.clip.push_back({Real(t), 0, 0});
                    break;
                case 24:
                    if (!r.clip.empty())
                        r.clip.back().y = Real(t);
                    break;
                default:
                    break;
                }
            }
            if (table && !tableData) {
                auto& g = std::get<OpaqueGeometry>(e.geometry);
                if (c == 2)
                    g.blockName = Name(t);
                else if (c == 10 || c == 20 || c == 30)
                    SetAxis(g.insertion, c, Real(t));
            }
            break;
        }
    }
    if (raster)
        std::get<OpaqueGeometry>(e.geometry).raster = std::move(raster);
    if (mleader)
        std::get<OpaqueGeometry>(e.geometry).mleader = ReadMLeader(rec);
    if (e.type == EntityType::Unknown && typeName == "MLINE")
        std::get<OpaqueGeometry>(e.geometry).mline = ReadMLine(rec);
    if (e.type == EntityType::MText) {
        auto& g = std::get<MTextGeometry>(e.geometry);
        mtextRaw += mtextLast;
        g.text = codePage->Decode(mtextRaw);
        if (!hasXDirection) {
            const double a = DegToRad(mtextRotationDeg);
            g.xDirection = {std::cos(a), std::sin(a), 0.0};
        }
        g.text = DecodeCaret(g.text);
        g.columns = ReadMTextColumns(rec, g.definedHeight);
    } else if (e.type == EntityType::Text || e.type == EntityType::Attrib ||
               e.type == EntityType::AttDef) {
        auto& g = std::get<TextGeometry>(e.geometry);
        g.text = DecodeCaret(g.text);
    }
}

} // namespace kw::drawing::detail
