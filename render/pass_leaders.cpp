// The painting pass: leaders and multileaders with their arrowheads.

#include "render/detail/pass.h"

namespace kw::render::detail {

void Pass::DrawLeader(const Document& d, const drawing::LeaderGeometry& g, const Transform& m) {
    QPolygonF points;
    for (const Vec3& v : g.vertices)
        points << Dev(m, v);
    Stroke(points, false);
    if (!g.arrowhead || g.vertices.size() < 2)
        return;
    const double size =
        d.HeaderNumber("$DIMASZ", 2.5) * std::max(1e-9, d.HeaderNumber("$DIMSCALE", 1.0));
    Arrowhead(g.vertices[0], g.vertices[1], size, m);
}

void Pass::Arrowhead(const Vec3& tip, const Vec3& from, double size, const Transform& m) {
    Vec3 along = from - tip;
    const double length = drawing::Length(along);
    if (!(length > 0.0) || !(size > 0.0))
        return;
    along = along * (1.0 / length);
    const Vec3 side{-along.y, along.x, 0};
    QPolygonF head;
    head << Dev(m, tip) << Dev(m, tip + along * size + side * (size / 6.0))
         << Dev(m, tip + along * size - side * (size / 6.0));
    QPainterPath path;
    path.addPolygon(head);
    path.closeSubpath();
    Fill(path);
}

void Pass::DrawMLeader(const Document& d, const Entity& e, const drawing::MLeaderGeometry& g,
                       const Transform& m) {
    for (const drawing::MLeaderGeometry::Leader& leader : g.leaders) {
        if (g.lineType != 0)
            for (std::size_t i = 0; i < leader.lines.size(); ++i) {
                const std::vector<Vec3> vertices = leader.Vertices(i);
                if (vertices.size() < 2)
                    continue;
                QPolygonF points;
                for (const Vec3& v : vertices)
                    points << Dev(m, v);
                Stroke(points, false);
                Arrowhead(vertices[0], vertices[1], g.arrowSize, m);
            }
        const Vec3 direction = drawing::Normalized(leader.doglegDirection);
        if (g.dogleg && leader.hasLanding && leader.doglegLength > 0.0 &&
            drawing::Length(direction) > 0.0) {
            QPolygonF dogleg;
            dogleg << Dev(m, leader.landing)
                   << Dev(m, leader.landing + direction * leader.doglegLength);
            Stroke(dogleg, false);
        }
    }
    if (g.hasText && !g.text.empty())
        DrawMText(d, e, drawing::MLeaderText(d, g), m);
}

} // namespace kw::render::detail
