// The painting pass: ellipses, polylines with bulges and widths, splines.

#include "render/detail/pass.h"

#include "drawing/spline.h"

namespace kw::render::detail {

void Pass::DrawEllipse(const drawing::EllipseGeometry& g, Vec3 extrusion, const Transform& m) {
    const Vec3 normal = drawing::Normalized(extrusion);
    const Vec3 minor = drawing::Cross(normal, g.majorAxis) * g.ratio;
    const double t0 = drawing::TurnAngle(g.startParam);
    const double t1 = t0 + drawing::ArcSweep(t0, drawing::TurnAngle(g.endParam), true);
    const double major = drawing::Length(g.majorAxis);
    const int n = Segments(m, major, t1 - t0);
    QPolygonF points;
    for (int i = 0; i <= n; ++i) {
        const double t = t0 + (t1 - t0) * i / n;
        points << Dev(m, g.center + g.majorAxis * std::cos(t) + minor * std::sin(t));
    }
    Stroke(points, false);
}

void Pass::DrawPolyline2d(const std::vector<drawing::PolylineVertex>& v, bool closed, double z,
                          const Transform& ocs, bool generation) {
    if (v.empty())
        return;
    const std::size_t segments = closed ? v.size() : v.size() - 1;
    bool wide = false;
    for (std::size_t i = 0; i < segments; ++i)
        wide = wide || v[i].startWidth > 0.0 || v[i].endWidth > 0.0;
    if (!wide && !m_dashes.empty() && !generation) {
        for (std::size_t i = 0; i < segments; ++i) {
            const auto& a = v[i];
            const auto& b = v[(i + 1) % v.size()];
            QPolygonF points;
            points << Dev(ocs, {a.x, a.y, z});
            AddBulge(points, ocs, a.x, a.y, b.x, b.y, a.bulge, z);
            Stroke(points, false);
        }
        return;
    }
    if (!wide) {
        QPolygonF points;
        points << Dev(ocs, {v[0].x, v[0].y, z});
        for (std::size_t i = 0; i < segments; ++i) {
            const auto& a = v[i];
            const auto& b = v[(i + 1) % v.size()];
            AddBulge(points, ocs, a.x, a.y, b.x, b.y, a.bulge, z);
        }
        if (v.size() == 1)
            m_canvas.Points(QPolygonF{points[0]});
        Stroke(points, false);
        return;
    }
    // Wide segments: each a filled band whose width runs from start to end width.
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (std::size_t i = 0; i < segments; ++i) {
        const auto& a = v[i];
        const auto& b = v[(i + 1) % v.size()];
        path.addPolygon(Band(a, b, z, ocs));
        path.closeSubpath();
    }
    Fill(path);
}

QPolygonF Pass::Band(const drawing::PolylineVertex& a, const drawing::PolylineVertex& b, double z,
                     const Transform& ocs) const {
    // Sample the segment's centre line in OCS with its direction.
    struct Sample {
        double x, y, nx, ny, w;
    };
    std::vector<Sample> samples;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double chord = std::hypot(dx, dy);
    if (chord == 0.0)
        return {};
    if (std::fabs(a.bulge) < 1e-12) {
        const double nx = -dy / chord, ny = dx / chord;
        samples.push_back({a.x, a.y, nx, ny, a.startWidth});
        samples.push_back({b.x, b.y, nx, ny, a.endWidth});
    } else {
        const double sweep = 4.0 * std::atan(a.bulge);
        const double r = chord / (2.0 * std::sin(std::fabs(sweep) / 2.0));
        const double sign = a.bulge > 0 ? 1.0 : -1.0;
        const double h = r - std::fabs(a.bulge * chord / 2.0);
        const double cx = (a.x + b.x) / 2.0 - dy / chord * h * sign;
        const double cy = (a.y + b.y) / 2.0 + dx / chord * h * sign;
        const double a0 = std::atan2(a.y - cy, a.x - cx);
        const int n = Segments(ocs, r, sweep);
        for (int i = 0; i <= n; ++i) {
            const double t = static_cast<double>(i) / n;
            const double ang = a0 + sweep * t;
            // The radial direction, pointing to the left of the travel direction.
            const double ux = std::cos(ang), uy = std::sin(ang);
            samples.push_back({cx + r * ux, cy + r * uy, -ux * sign, -uy * sign,
                               a.startWidth + (a.endWidth - a.startWidth) * t});
        }
    }
    QPolygonF band;
    for (const Sample& s : samples)
        band << Dev(ocs, {s.x + s.nx * s.w / 2, s.y + s.ny * s.w / 2, z});
    for (auto it = samples.rbegin(); it != samples.rend(); ++it)
        band << Dev(ocs, {it->x - it->nx * it->w / 2, it->y - it->ny * it->w / 2, z});
    return band;
}

void Pass::DrawPolyline(const drawing::PolylineGeometry& g, const Transform& m,
                        const Transform& ocs) {
    if (g.flags & (16 | 64))
        return; // meshes and polyface meshes: their faces are not kept
    if (g.Is3d()) {
        QPolygonF points;
        for (const auto& v : g.vertices)
            points << Dev(m, v.location);
        if (g.Closed() && !points.isEmpty())
            points << points.front();
        Stroke(points, false);
        return;
    }
    std::vector<drawing::PolylineVertex> vertices;
    for (const auto& v : g.vertices)
        vertices.push_back({v.location.x, v.location.y, v.bulge, v.startWidth, v.endWidth});
    DrawPolyline2d(vertices, g.Closed(), g.elevation, ocs, (g.flags & 128) != 0);
}

void Pass::AddSpline(QPolygonF& out, const Transform& m, const drawing::SplineGeometry& s) const {
    const drawing::SplineCurve curve(s);
    if (!curve.Valid()) {
        for (const Vec3& c : curve.Polygon())
            out << Dev(m, c);
        return;
    }
    // Each span sampled by the size of its control polygon on the device.
    for (std::size_t k = curve.FirstSpan(); k < curve.EndSpan(); ++k) {
        const double a = curve.Knot(k), b = curve.Knot(k + 1);
        if (!(b > a))
            continue;
        const int samples = std::clamp(Segments(m, curve.SpanHullLength(k), 1.0), 4, 256);
        for (int i = out.isEmpty() ? 0 : 1; i <= samples; ++i)
            out << Dev(m, curve.At(a + (b - a) * i / samples, k));
    }
}

void Pass::DrawConstructionLine(const drawing::RayGeometry& g, const Transform& m, bool ray) {
    // The line in the layout's coordinates (block content through its reference's transform).
    const Vec3 a = m.Apply(g.base);
    const Vec3 b = m.Apply(g.base + g.direction);
    const double dx = b.x - a.x, dy = b.y - a.y;
    if (m_window.isEmpty() || !(std::hypot(dx, dy) > 0.0) || !std::isfinite(dx) ||
        !std::isfinite(dy))
        return;
    // t runs along the direction from the base point, a ray's from 0 on.
    double t0 = ray ? 0.0 : -std::numeric_limits<double>::infinity();
    double t1 = std::numeric_limits<double>::infinity();
    if (!drawing::ClipToRectangle(a.x, a.y, dx, dy, m_window.left(), m_window.top(),
                                  m_window.right(), m_window.bottom(), t0, t1) ||
        !std::isfinite(t0) || !std::isfinite(t1))
        return;
    Stroke(QPolygonF{m_toDevice.map(QPointF(a.x + dx * t0, a.y + dy * t0)),
                     m_toDevice.map(QPointF(a.x + dx * t1, a.y + dy * t1))},
           false);
}

} // namespace kw::render::detail
