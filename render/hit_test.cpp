#include "render/hit_test.h"

#include <algorithm>
#include <cmath>
#include <variant>
#include <vector>

#include "drawing/block_path.h"
#include "drawing/extents.h"
#include "drawing/mline.h"
#include "drawing/spline.h"

namespace kw::render {
namespace {

using drawing::Box;
using drawing::Document;
using drawing::Entity;
using drawing::EntityType;
using drawing::Transform;
using drawing::Vec3;

constexpr double kTwoPi = 2.0 * drawing::kPi;
// Past this many entities visited for one test, block references count by their box: blocks
// nested many levels deep with many references each would otherwise take exponential time.
constexpr std::size_t kVisitBudget = 2'000'000;

// Walks what an entity draws as segments, points and filled polygons in world coordinates and
// stops at the first one that meets the window.
class Probe {
public:
    Probe(const Document& document, const QRectF& window)
        : m_path(document), m_minX(window.left()), m_minY(window.top()), m_maxX(window.right()),
          m_maxY(window.bottom()),
          // Curves are flattened to a chord error well below the window's size, so a pick box
          // resting on an arc is never missed for the chords cutting inside it.
          m_tolerance(std::max(1e-9, 0.25 * std::min(window.width(), window.height()))) {}

    // Collects what the entity draws into `outline` instead of testing it; curves flattened to
    // `tolerance` drawing units.
    Probe(const Document& document, double tolerance, std::vector<QPolygonF>& outline)
        : m_path(document), m_minX(0), m_minY(0), m_maxX(0), m_maxY(0),
          m_tolerance(std::max(1e-9, tolerance)), m_outline(&outline) {}

    bool Hit() const { return m_hit; }

    void Entity_(const Document& document, const Entity& e, const Transform& m);

private:
    bool Contains(Vec3 p) const {
        return p.x >= m_minX && p.x <= m_maxX && p.y >= m_minY && p.y <= m_maxY;
    }

    void Point(Vec3 p) {
        if (m_outline != nullptr) {
            return; // a point shows no outline worth drawing
        }
        if (!m_hit && Contains(p)) {
            m_hit = true;
        }
    }

    // Liang-Barsky: the part of the segment inside the window is not empty.
    void Segment(Vec3 a, Vec3 b) {
        if (m_outline != nullptr) {
            m_outline->push_back(QPolygonF({QPointF(a.x, a.y), QPointF(b.x, b.y)}));
            return;
        }
        if (m_hit) {
            return;
        }
        double t0 = 0.0;
        double t1 = 1.0;
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {a.x - m_minX, m_maxX - a.x, a.y - m_minY, m_maxY - a.y};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0.0) {
                if (q[i] < 0.0) {
                    return;
                }
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0.0) {
                t0 = std::max(t0, t);
            } else {
                t1 = std::min(t1, t);
            }
            if (t0 > t1) {
                return;
            }
        }
        m_hit = true;
    }

    void Path(const std::vector<Vec3>& points, bool closed) {
        if (m_outline != nullptr) {
            QPolygonF polygon;
            for (const Vec3& p : points) {
                polygon.append(QPointF(p.x, p.y));
            }
            if (closed && !points.empty()) {
                polygon.append(polygon.front());
            }
            if (polygon.size() > 1) {
                m_outline->push_back(polygon);
            }
            return;
        }
        if (points.size() == 1) {
            Point(points.front());
        }
        for (std::size_t i = 0; i + 1 < points.size() && !m_hit; ++i) {
            Segment(points[i], points[i + 1]);
        }
        if (closed && points.size() > 2) {
            Segment(points.back(), points.front());
        }
    }

    // A filled area: its outline meets the window, or the window lies inside it.
    void Area(const std::vector<Vec3>& outline) {
        Path(outline, true);
        if (m_outline != nullptr || m_hit || outline.size() < 3) {
            return;
        }
        const double cx = 0.5 * (m_minX + m_maxX);
        const double cy = 0.5 * (m_minY + m_maxY);
        bool inside = false; // even-odd, as fills are drawn
        for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
            const Vec3 a = outline[i];
            const Vec3 b = outline[j];
            if ((a.y > cy) != (b.y > cy) && cx < (b.x - a.x) * (cy - a.y) / (b.y - a.y) + a.x) {
                inside = !inside;
            }
        }
        m_hit = inside;
    }

    void BoxArea(const Box& box) {
        if (box.IsEmpty()) {
            return;
        }
        Area({{box.min.x, box.min.y, 0},
              {box.max.x, box.min.y, 0},
              {box.max.x, box.max.y, 0},
              {box.min.x, box.max.y, 0}});
    }

    // How many chords an arc of `sweep` radians and `radius` (after `m`) needs.
    int Chords(double radius, double sweep, const Transform& m) const {
        const double scale = std::sqrt(std::abs(m.m[0][0] * m.m[1][1] - m.m[0][1] * m.m[1][0]));
        const double r = radius * std::max(scale, 1e-12);
        const double step =
            r <= m_tolerance ? kTwoPi / 8 : 2.0 * std::acos(std::max(-1.0, 1.0 - m_tolerance / r));
        // Clamped as a double: a sweep of a damaged drawing may be far beyond any int, or NaN.
        const double n = std::ceil(std::abs(sweep) / step);
        return n >= 1.0 ? static_cast<int>(std::min(n, 20000.0)) : 1;
    }

    // An elliptic arc centre + cos t · major + sin t · minor, t from t0 to t1 (radians).
    void EllipticArc(const Transform& m, Vec3 center, Vec3 major, Vec3 minor, double t0,
                     double t1) {
        const int n = Chords(std::max(drawing::Length(major), drawing::Length(minor)), t1 - t0, m);
        std::vector<Vec3> points;
        points.reserve(static_cast<std::size_t>(n) + 1);
        for (int i = 0; i <= n; ++i) {
            const double t = t0 + (t1 - t0) * i / n;
            points.push_back(m.Apply(center + major * std::cos(t) + minor * std::sin(t)));
        }
        Path(points, false);
    }

    void Arc(const Transform& m, Vec3 center, double radius, double a0, double a1) {
        EllipticArc(m, center, {radius, 0, 0}, {0, radius, 0}, a0, a1);
    }

    // Vertices with bulges, flattened (OCS points at `z`, then `m`).
    std::vector<Vec3> Polyline2d(const Transform& m, const std::vector<drawing::PolylineVertex>& v,
                                 bool closed, double z) const {
        std::vector<Vec3> points;
        const std::size_t count = v.size();
        for (std::size_t i = 0; i < count; ++i) {
            const Vec3 a{v[i].x, v[i].y, z};
            points.push_back(m.Apply(a));
            if (i + 1 == count && !closed) {
                break;
            }
            const auto& next = v[(i + 1) % count];
            const double bulge = v[i].bulge;
            if (bulge == 0.0 || count < 2) {
                continue;
            }
            const Vec3 b{next.x, next.y, z};
            const double chord = std::hypot(b.x - a.x, b.y - a.y);
            if (chord == 0.0) {
                continue;
            }
            const double sweep = 4.0 * std::atan(bulge);
            const double radius = chord / (2.0 * std::sin(std::abs(sweep) / 2.0));
            // The centre lies on the chord's perpendicular bisector, left of it for a
            // counter-clockwise (positive) bulge.
            const double sagitta = radius * std::cos(sweep / 2.0);
            const Vec3 mid{(a.x + b.x) / 2.0, (a.y + b.y) / 2.0, z};
            const Vec3 normal{-(b.y - a.y) / chord, (b.x - a.x) / chord, 0};
            const Vec3 center = mid + normal * (bulge > 0 ? sagitta : -sagitta);
            const double start = std::atan2(a.y - center.y, a.x - center.x);
            const int n = Chords(radius, sweep, m);
            for (int k = 1; k < n; ++k) {
                const double t = start + sweep * k / n;
                points.push_back(
                    m.Apply({center.x + radius * std::cos(t), center.y + radius * std::sin(t), z}));
            }
        }
        return points;
    }

    void Spline(const Transform& m, const drawing::SplineGeometry& g);
    void Hatch(const Transform& m, const drawing::HatchGeometry& g);
    // Follows a reference into `block` of `owner` unless the block is on the walk's path already.
    void Block_(const Document& owner, const drawing::Block& block, const Transform& m);
    void Insert_(const Document& document, const Entity& e, const Transform& m);

    drawing::BlockPath m_path;
    std::size_t m_visits = 0;
    double m_minX;
    double m_minY;
    double m_maxX;
    double m_maxY;
    double m_tolerance;
    bool m_hit = false;
    std::vector<QPolygonF>* m_outline = nullptr;
};

void Probe::Spline(const Transform& m, const drawing::SplineGeometry& g) {
    const drawing::SplineCurve curve(g);
    std::vector<Vec3> points;
    if (!curve.Valid()) {
        for (const Vec3& c : curve.Polygon())
            points.push_back(m.Apply(c));
        Path(points, false);
        return;
    }
    double size = 0.0;
    for (std::size_t i = 1; i < g.controlPoints.size(); ++i)
        size = std::max(size, drawing::Length(g.controlPoints[i] - g.controlPoints[i - 1]));
    const int steps = std::max(4, Chords(size, drawing::kPi / 2, m));
    std::size_t last = curve.FirstSpan();
    for (std::size_t k = curve.FirstSpan(); k < curve.EndSpan(); ++k) {
        const double t0 = curve.Knot(k), t1 = curve.Knot(k + 1);
        if (!(t1 > t0))
            continue;
        for (int i = 0; i < steps; ++i)
            points.push_back(m.Apply(curve.At(t0 + (t1 - t0) * i / steps, k)));
        last = k;
    }
    points.push_back(m.Apply(curve.At(curve.Knot(curve.EndSpan()), last)));
    Path(points, false);
}

void Probe::Hatch(const Transform& m, const drawing::HatchGeometry& g) {
    using Kind = drawing::HatchEdge::Kind;
    for (const drawing::HatchBoundary& boundary : g.boundaries) {
        std::vector<Vec3> outline;
        if (!boundary.polyline.empty()) {
            outline = Polyline2d(m, boundary.polyline, true, g.elevation);
        }
        for (const drawing::HatchEdge& edge : boundary.edges) {
            const Vec3 start{edge.start.x, edge.start.y, g.elevation};
            switch (edge.kind) {
            case Kind::Line:
                outline.push_back(m.Apply(start));
                outline.push_back(m.Apply({edge.end.x, edge.end.y, g.elevation}));
                break;
            case Kind::Arc:
            case Kind::Ellipse: {
                // A clockwise edge stores its angles mirrored: it covers -end .. -start, walked
                // backwards to keep the outline in order.
                const double t0 = drawing::TurnAngle(drawing::DegToRad(edge.startAngleDeg));
                const double t1 =
                    t0 + drawing::ArcSweep(
                             t0, drawing::TurnAngle(drawing::DegToRad(edge.endAngleDeg)), true);
                Vec3 major{edge.radius, 0, 0};
                Vec3 minor{0, edge.radius, 0};
                if (edge.kind == Kind::Ellipse) {
                    major = {edge.end.x, edge.end.y, 0};
                    minor = {-edge.end.y * edge.radius, edge.end.x * edge.radius, 0};
                }
                const int n = Chords(drawing::Length(major), t1 - t0, m);
                for (int i = 0; i <= n; ++i) {
                    double t = t0 + (t1 - t0) * i / n;
                    if (!edge.counterClockwise) {
                        t = -t;
                    }
                    outline.push_back(m.Apply(start + major * std::cos(t) + minor * std::sin(t)));
                }
                break;
            }
            case Kind::Spline:
                Spline(m * Transform::Translation({0, 0, g.elevation}), edge.spline);
                break;
            }
        }
        if (g.solidFill) {
            Area(outline);
        } else {
            Path(outline, true);
        }
        if (m_hit) {
            return;
        }
    }
}

void Probe::Block_(const Document& owner, const drawing::Block& block, const Transform& m) {
    drawing::BlockPath::Scope scope(m_path, owner, block);
    if (!scope.Entered()) {
        return;
    }
    for (const Entity& e : block.entities) {
        if (e.type == EntityType::AttDef &&
            (std::get<drawing::TextGeometry>(e.geometry).attributeFlags & 2) == 0) {
            continue; // only constant attribute definitions show in a reference
        }
        Entity_(owner, e, m);
        if (m_hit) {
            return;
        }
    }
}

void Probe::Insert_(const Document& document, const Entity& e, const Transform& m) {
    const auto& g = std::get<drawing::InsertGeometry>(e.geometry);
    for (const Entity& attribute : g.attributes) {
        Entity_(document, attribute, m);
    }
    const drawing::Block* block = document.FindBlock(g.blockName);
    if (m_hit || block == nullptr) {
        return;
    }
    if (m_visits > kVisitBudget) {
        BoxArea(drawing::EntityExtents(document, e, m));
        return;
    }
    const Document* content = &document;
    const drawing::Block* contentBlock = block;
    std::shared_ptr<const Document> xref;
    if (block->IsXref()) {
        xref = drawing::ResolveXref(document, *block);
        if (!xref || xref->layouts.empty() ||
            xref->layouts.front().blockIndex >= xref->blocks.size()) {
            return;
        }
        content = xref.get();
        contentBlock = &xref->blocks[xref->layouts.front().blockIndex];
    }
    const int columns = std::max<int>(1, g.columns);
    const int rows = std::max<int>(1, g.rows);
    for (int c = 0; c < columns && !m_hit; ++c) {
        for (int r = 0; r < rows && !m_hit; ++r) {
            Block_(*content, *contentBlock, m * drawing::InsertTransform(e, block, c, r));
        }
    }
}

void Probe::Entity_(const Document& document, const Entity& e, const Transform& m) {
    if (m_hit || e.invisible) {
        return;
    }
    ++m_visits;
    switch (e.type) {
    case EntityType::Line: {
        const auto& g = std::get<drawing::LineGeometry>(e.geometry);
        Segment(m.Apply(g.start), m.Apply(g.end));
        break;
    }
    case EntityType::Point:
        Point(m.Apply(std::get<drawing::PointGeometry>(e.geometry).location));
        break;
    case EntityType::Circle: {
        const auto& g = std::get<drawing::CircleGeometry>(e.geometry);
        Arc(m * drawing::OcsToWcs(e.extrusion), g.center, g.radius, 0.0, kTwoPi);
        break;
    }
    case EntityType::Arc: {
        const auto& g = std::get<drawing::ArcGeometry>(e.geometry);
        const double a0 = drawing::TurnAngle(drawing::DegToRad(g.startAngleDeg));
        const double a1 =
            a0 + drawing::ArcSweep(a0, drawing::TurnAngle(drawing::DegToRad(g.endAngleDeg)), true);
        Arc(m * drawing::OcsToWcs(e.extrusion), g.center, g.radius, a0, a1);
        break;
    }
    case EntityType::Ellipse: {
        const auto& g = std::get<drawing::EllipseGeometry>(e.geometry);
        const Vec3 minor = drawing::Cross(drawing::Normalized(e.extrusion), g.majorAxis) * g.ratio;
        const double t0 = drawing::TurnAngle(g.startParam);
        const double t1 = t0 + drawing::ArcSweep(t0, drawing::TurnAngle(g.endParam), true);
        EllipticArc(m, g.center, g.majorAxis, minor, t0, t1);
        break;
    }
    case EntityType::LwPolyline: {
        const auto& g = std::get<drawing::LwPolylineGeometry>(e.geometry);
        Path(Polyline2d(m * drawing::OcsToWcs(e.extrusion), g.vertices, g.Closed(), g.elevation),
             g.Closed());
        break;
    }
    case EntityType::Polyline: {
        const auto& g = std::get<drawing::PolylineGeometry>(e.geometry);
        if (g.Is3d()) {
            if ((g.flags & (16 | 64)) != 0) {
                BoxArea(drawing::EntityExtents(document, e, m)); // meshes: their box
                break;
            }
            std::vector<Vec3> points;
            for (const auto& v : g.vertices) {
                points.push_back(m.Apply(v.location));
            }
            Path(points, g.Closed());
            break;
        }
        std::vector<drawing::PolylineVertex> vertices;
        for (const auto& v : g.vertices) {
            vertices.push_back({v.location.x, v.location.y, v.bulge, v.startWidth, v.endWidth});
        }
        Path(Polyline2d(m * drawing::OcsToWcs(e.extrusion), vertices, g.Closed(), g.elevation),
             g.Closed());
        break;
    }
    case EntityType::Spline:
        Spline(m, std::get<drawing::SplineGeometry>(e.geometry));
        break;
    case EntityType::Text:
    case EntityType::MText:
    case EntityType::Attrib:
    case EntityType::AttDef: {
        if (e.type == EntityType::Attrib &&
            (std::get<drawing::TextGeometry>(e.geometry).attributeFlags & 1) != 0) {
            break; // invisible attribute
        }
        BoxArea(drawing::EntityExtents(document, e, m));
        break;
    }
    case EntityType::Insert:
        Insert_(document, e, m);
        break;
    case EntityType::Dimension: {
        const auto& g = std::get<drawing::DimensionGeometry>(e.geometry);
        if (const drawing::Block* block = document.FindBlock(g.blockName)) {
            Block_(document, *block, m * Transform::Translation(g.insertion));
        }
        break;
    }
    case EntityType::Hatch:
        Hatch(m * drawing::OcsToWcs(e.extrusion), std::get<drawing::HatchGeometry>(e.geometry));
        break;
    case EntityType::Solid:
    case EntityType::Trace: {
        const auto& g = std::get<drawing::QuadGeometry>(e.geometry);
        const Transform to = m * drawing::OcsToWcs(e.extrusion);
        // SOLID corners run 1, 2, 4, 3 around the outline.
        Area({to.Apply(g.corners[0]), to.Apply(g.corners[1]), to.Apply(g.corners[3]),
              to.Apply(g.corners[2])});
        break;
    }
    case EntityType::Face3d: {
        const auto& g = std::get<drawing::QuadGeometry>(e.geometry);
        Path({m.Apply(g.corners[0]), m.Apply(g.corners[1]), m.Apply(g.corners[2]),
              m.Apply(g.corners[3])},
             true);
        break;
    }
    case EntityType::Leader: {
        std::vector<Vec3> points;
        for (const Vec3& v : std::get<drawing::LeaderGeometry>(e.geometry).vertices) {
            points.push_back(m.Apply(v));
        }
        Path(points, false);
        break;
    }
    case EntityType::Viewport: {
        const auto& g = std::get<drawing::ViewportGeometry>(e.geometry);
        if (g.id == 1) {
            break; // the paper space itself
        }
        const double w = g.width / 2.0;
        const double h = g.height / 2.0;
        const Vec3 c = g.center;
        Path({m.Apply({c.x - w, c.y - h, 0}), m.Apply({c.x + w, c.y - h, 0}),
              m.Apply({c.x + w, c.y + h, 0}), m.Apply({c.x - w, c.y + h, 0})},
             true);
        break;
    }
    case EntityType::Unknown: {
        const auto& g = std::get<drawing::OpaqueGeometry>(e.geometry);
        if (g.raster) {
            std::vector<Vec3> outline;
            for (const Vec3& corner : g.raster->Outline())
                outline.push_back(m.Apply(corner));
            Area(outline);
        }
        if (g.mleader) {
            for (const auto& leader : g.mleader->leaders)
                for (std::size_t i = 0; i < leader.lines.size(); ++i) {
                    std::vector<Vec3> vertices = leader.Vertices(i);
                    for (Vec3& v : vertices)
                        v = m.Apply(v);
                    Path(vertices, false);
                }
            if (g.mleader->hasText && !g.mleader->text.empty()) {
                drawing::Entity text;
                text.type = EntityType::MText;
                text.geometry = drawing::MLeaderText(document, *g.mleader);
                BoxArea(drawing::EntityExtents(document, text, m));
            }
        }
        if (g.mline) {
            const drawing::MLineShape shape = drawing::ShapeOfMLine(
                *g.mline, drawing::MLineStyleOf(document, *g.mline), e.extrusion);
            for (const drawing::MLinePiece& piece : shape.pieces) {
                std::vector<Vec3> points;
                for (const Vec3& v : piece.points)
                    points.push_back(m.Apply(v));
                Path(points, false);
            }
            // The band of a closed multiline is two rings: its line work is what picks it.
            for (const std::vector<Vec3>& ring : shape.fill) {
                if (shape.fill.size() > 1)
                    break;
                std::vector<Vec3> outline;
                for (const Vec3& v : ring)
                    outline.push_back(m.Apply(v));
                Area(outline);
            }
        }
        const drawing::Block* block =
            g.blockName.empty() ? nullptr : document.FindBlock(g.blockName);
        if (block != nullptr) {
            Block_(document, *block, m * Transform::Translation(g.insertion));
        }
        break;
    }
    }
}

} // namespace

bool EntityTouches(const drawing::Document& document, const drawing::Entity& entity,
                   const QRectF& window) {
    const QRectF box = window.normalized();
    if (box.isNull()) {
        return false;
    }
    Probe probe(document, box);
    probe.Entity_(document, entity, Transform::Identity());
    return probe.Hit();
}

std::vector<QPolygonF> EntityOutline(const drawing::Document& document,
                                     const drawing::Entity& entity, double tolerance) {
    std::vector<QPolygonF> outline;
    Probe probe(document, tolerance, outline);
    probe.Entity_(document, entity, Transform::Identity());
    return outline;
}

bool EntityInside(const drawing::Document& document, const drawing::Entity& entity,
                  const QRectF& window) {
    const QRectF box = window.normalized();
    const Box extents = drawing::EntityExtents(document, entity);
    return !extents.IsEmpty() && extents.min.x >= box.left() && extents.max.x <= box.right() &&
           extents.min.y >= box.top() && extents.max.y <= box.bottom();
}

} // namespace kw::render
