// The painting pass: hatches — solid, gradient and pattern fills over their boundary paths.

#include "render/detail/pass.h"

namespace kw::render::detail {

void Pass::DrawHatch(const drawing::HatchGeometry& g, const Transform& ocs) {
    // Islands alternate (style 0, and style 1 as far as real drawings nest); style 2 hatches
    // the outer boundaries only.
    bool anyOuter = false;
    for (const auto& boundary : g.boundaries)
        anyOuter = anyOuter || (boundary.flags & (1 | 16)) != 0;
    const bool outerOnly = g.style == 2 && anyOuter;
    QPainterPath path;
    path.setFillRule(outerOnly ? Qt::WindingFill : Qt::OddEvenFill);
    const double z = g.elevation;
    for (const auto& boundary : g.boundaries) {
        if (outerOnly && (boundary.flags & (1 | 16)) == 0)
            continue;
        QPolygonF points;
        if (!boundary.polyline.empty()) {
            const auto& v = boundary.polyline;
            points << Dev(ocs, {v[0].x, v[0].y, z});
            for (std::size_t i = 0; i < v.size(); ++i) {
                const auto& a = v[i];
                const auto& b = v[(i + 1) % v.size()];
                AddBulge(points, ocs, a.x, a.y, b.x, b.y, a.bulge, z);
            }
        } else {
            for (const auto& edge : boundary.edges)
                AddEdge(points, edge, z, ocs);
        }
        if (points.size() >= 3) {
            path.addPolygon(points);
            path.closeSubpath();
        }
    }
    if (path.isEmpty())
        return;
    if (m_options.picking && !g.solidFill) {
        m_canvas.Outline(path); // picked by its boundary, not its pattern
        return;
    }
    if (g.gradient && g.gradientColors.size() >= 2) {
        const QRectF box = path.boundingRect();
        QLinearGradient gradient(box.topLeft(), box.topRight());
        auto color = [&](std::int32_t rgb) {
            QColor device = DeviceColor(QColor::fromRgb(static_cast<QRgb>(rgb & 0xFFFFFF)));
            device.setAlpha(m_alpha);
            return device;
        };
        gradient.setColorAt(0, color(g.gradientColors[0]));
        gradient.setColorAt(1, color(g.gradientColors[1]));
        m_canvas.Fill(path, gradient);
        return;
    }
    if (g.solidFill || g.patternLines.empty()) {
        if (g.solidFill)
            Fill(path);
        return;
    }
    DrawPattern(g, ocs, path);
}

void Pass::DrawPattern(const drawing::HatchGeometry& g, const Transform& ocs,
                       const QPainterPath& area) {
    constexpr std::size_t kMaxSegments = 100000;
    // The area's box in OCS, through the inverse of the device mapping of the OCS plane.
    const QPointF o = Dev(ocs, {0, 0, g.elevation});
    const QPointF ux = Dev(ocs, {1, 0, g.elevation}) - o;
    const QPointF uy = Dev(ocs, {0, 1, g.elevation}) - o;
    const QTransform planeToDevice(ux.x(), ux.y(), uy.x(), uy.y(), o.x(), o.y());
    bool invertible = false;
    const QTransform deviceToPlane = planeToDevice.inverted(&invertible);
    if (!invertible)
        return;
    const QRectF box = deviceToPlane.mapRect(area.boundingRect());
    const QPointF corners[4] = {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()};
    QVector<QLineF> segments;
    bool tooDense = false;
    for (const auto& family : g.patternLines) {
        const double a = drawing::DegToRad(family.angleDeg);
        const QPointF u(std::cos(a), std::sin(a));
        const QPointF n(-u.y(), u.x());
        const QPointF base(family.baseX, family.baseY);
        const QPointF offset(family.offsetX, family.offsetY);
        const double spacing = offset.x() * n.x() + offset.y() * n.y(); // across the lines
        const double shift = offset.x() * u.x() + offset.y() * u.y();   // along them
        if (!(std::fabs(spacing) > 1e-12))
            continue;
        // The range of line numbers k and of positions t along the lines that cover the box.
        double kMin = 1e300, kMax = -1e300, tMin = 1e300, tMax = -1e300;
        for (const QPointF& c : corners) {
            const QPointF d = c - base;
            const double across = (d.x() * n.x() + d.y() * n.y()) / spacing;
            kMin = std::min(kMin, across);
            kMax = std::max(kMax, across);
            const double along = d.x() * u.x() + d.y() * u.y();
            tMin = std::min(tMin, along);
            tMax = std::max(tMax, along);
        }
        double period = 0.0;
        for (double dash : family.dashes)
            period += std::fabs(dash);
        const double lines = std::floor(kMax) - std::ceil(kMin) + 1;
        const double perLine = period > 0.0 ? (tMax - tMin + std::fabs(shift) * (kMax - kMin)) /
                                                  period * static_cast<double>(family.dashes.size())
                                            : 1.0;
        if (lines * perLine + static_cast<double>(segments.size()) > kMaxSegments ||
            !std::isfinite(lines * perLine)) {
            tooDense = true;
            break;
        }
        for (double k = std::ceil(kMin); k <= std::floor(kMax); k += 1.0) {
            const QPointF origin = base + offset * k; // where this line's pattern starts
            const double o0 = (origin - base).x() * u.x() + (origin - base).y() * u.y();
            const double from = tMin - o0, to = tMax - o0; // along this line, from its origin
            if (period <= 0.0) {
                segments << QLineF(planeToDevice.map(origin + u * from),
                                   planeToDevice.map(origin + u * to));
                continue;
            }
            double t = std::floor(from / period) * period;
            while (t < to) {
                for (double dash : family.dashes) {
                    const double length = std::fabs(dash);
                    if (dash >= 0.0 && t + length >= from) {
                        const double dot = dash == 0.0 ? 1e-3 * period : 0.0;
                        segments << QLineF(planeToDevice.map(origin + u * t),
                                           planeToDevice.map(origin + u * (t + length + dot)));
                    }
                    t += length;
                }
            }
        }
    }
    m_canvas.PushClip(area);
    if (tooDense) {
        // Too fine to plot line by line: a tint of the hatch's colour instead.
        m_state.Warn("hatch pattern \"" + g.patternName +
                     "\" is too dense to plot; it was filled with a tint");
        QColor tint = m_color;
        tint.setAlphaF(0.35 * m_color.alphaF());
        m_canvas.Fill(area, tint);
    } else if (!segments.isEmpty()) {
        m_canvas.Lines(segments);
    }
    m_canvas.PopClip();
}

void Pass::AddEdge(QPolygonF& points, const drawing::HatchEdge& edge, double z,
                   const Transform& ocs) const {
    using Kind = drawing::HatchEdge::Kind;
    switch (edge.kind) {
    case Kind::Line:
        points << Dev(ocs, {edge.start.x, edge.start.y, z})
               << Dev(ocs, {edge.end.x, edge.end.y, z});
        break;
    case Kind::Arc:
    case Kind::Ellipse: {
        double a0 = drawing::TurnAngle(drawing::DegToRad(edge.startAngleDeg));
        double a1 = drawing::TurnAngle(drawing::DegToRad(edge.endAngleDeg));
        // A clockwise edge stores its angles mirrored.
        if (!edge.counterClockwise) {
            a0 = -a0;
            a1 = -a1;
        }
        const double sweep = drawing::ArcSweep(a0, a1, edge.counterClockwise);
        const Vec3 c{edge.start.x, edge.start.y, z};
        if (edge.kind == Kind::Arc) {
            AddArc(points, ocs, c, edge.radius, a0, sweep);
        } else {
            const Vec3 major{edge.end.x, edge.end.y, 0};
            const Vec3 minor{-edge.end.y * edge.radius, edge.end.x * edge.radius, 0};
            const int n = Segments(ocs, drawing::Length(major), sweep);
            for (int i = 0; i <= n; ++i) {
                const double t = a0 + sweep * i / n;
                points << Dev(ocs, c + major * std::cos(t) + minor * std::sin(t));
            }
        }
        break;
    }
    case Kind::Spline:
        AddSpline(points, ocs * Transform::Translation({0, 0, z}), edge.spline);
        break;
    }
}

} // namespace kw::render::detail
