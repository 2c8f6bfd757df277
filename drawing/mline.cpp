#include "drawing/mline.h"

#include <algorithm>
#include <numeric>

#include "drawing/text.h"

namespace kw::drawing {

namespace {

// Quarter circles of round caps are drawn with this many chords (error below 0.1 % of the radius).
constexpr int kQuarterChords = 16;
// Distances within this share of a segment's length count as its ends.
constexpr double kEndTolerance = 1e-9;

bool SameName(const std::string& a, const std::string& b) {
    return FoldCase(a) == FoldCase(b);
}

// Where each element lies at each vertex and in which directions the segments run.
class Frame {
public:
    Frame(const MLineGeometry& g, const MLineStyle& style, Vec3 extrusion)
        : m_g(g), m_style(style), m_normal(Normalized(extrusion)) {
        if (Length(m_normal) == 0.0)
            m_normal = {0, 0, 1};
        const auto [low, high] =
            std::minmax_element(style.elements.begin(), style.elements.end(),
                                [](const MLineStyle::Element& a, const MLineStyle::Element& b) {
                                    return a.offset < b.offset;
                                });
        if (g.justification == 0)
            m_shift = -high->offset;
        else if (g.justification == 2)
            m_shift = -low->offset;
    }

    std::size_t Count() const { return m_g.vertices.size(); }

    // The unit direction of the segment from vertex i (its own 12, else towards the next vertex).
    Vec3 Direction(std::size_t i) const {
        Vec3 d = Normalized(m_g.vertices[i].direction);
        if (Length(d) > 0.0)
            return d;
        const std::size_t next = (i + 1) % Count();
        d = Normalized(m_g.vertices[next].position - m_g.vertices[i].position);
        return Length(d) > 0.0 ? d : Vec3{1, 0, 0};
    }

    // The unit miter at vertex i; a damaged one (zero, or along the segment) is replaced by the
    // perpendicular to the left of the segment.
    Vec3 Miter(std::size_t i) const {
        const Vec3 m = Normalized(m_g.vertices[i].miter);
        if (Length(Cross(m, Direction(i))) > 1e-6)
            return m;
        return Normalized(Cross(m_normal, Direction(i)));
    }

    // The distance along the miter from vertex i to element k: as the file stores it, or from the
    // style's offset, the scale and the justification where the vertex lacks its parameters.
    double Distance(std::size_t i, std::size_t k) const {
        const auto& parameters = m_g.vertices[i].elementParameters;
        if (k < parameters.size() && !parameters[k].empty())
            return parameters[k][0];
        // A miter at a sharp angle to its segment stretches the distance, within reason.
        const double across = std::max(Length(Cross(Miter(i), Direction(i))), 0.01);
        return (m_style.elements[k].offset + m_shift) * m_g.scale / across;
    }

    Vec3 Point(std::size_t i, std::size_t k) const {
        return m_g.vertices[i].position + Miter(i) * Distance(i, k);
    }

    // The parts of the segment from vertex i that element k draws, as shares of its length.
    std::vector<std::pair<double, double>> Dashes(std::size_t i, std::size_t k,
                                                  double length) const {
        const auto& parameters = m_g.vertices[i].elementParameters;
        if (k >= parameters.size() || parameters[k].size() < 2 || !(length > 0.0))
            return {{0.0, 1.0}};
        const std::vector<double>& p = parameters[k];
        std::vector<std::pair<double, double>> dashes;
        for (std::size_t j = 1; j < p.size(); j += 2) {
            const double from = std::clamp(p[j] / length, 0.0, 1.0);
            const double to = j + 1 < p.size() ? std::clamp(p[j + 1] / length, 0.0, 1.0) : 1.0;
            if (to > from)
                dashes.emplace_back(from, to);
        }
        return dashes;
    }

    const Vec3& Normal() const { return m_normal; }

private:
    const MLineGeometry& m_g;
    const MLineStyle& m_style;
    Vec3 m_normal;
    double m_shift = 0.0;
};

bool LookAlike(const MLineStyle::Element& a, const MLineStyle::Element& b) {
    return a.color == b.color && a.trueColor == b.trueColor && SameName(a.linetype, b.linetype);
}

// Half a circle from `from` to `to` bulging towards `outward`, its end points included.
std::vector<Vec3> HalfCircle(Vec3 from, Vec3 to, Vec3 outward) {
    const Vec3 center = (from + to) * 0.5;
    const Vec3 radius = from - center;
    const Vec3 out = Normalized(outward) * Length(radius);
    std::vector<Vec3> points;
    for (int j = 0; j <= 2 * kQuarterChords; ++j) {
        const double a = kPi * j / (2 * kQuarterChords);
        points.push_back(center + radius * std::cos(a) + out * std::sin(a));
    }
    return points;
}

} // namespace

const MLineStyle& MLineStyle::Standard() {
    static const MLineStyle standard = [] {
        MLineStyle s;
        s.name = "STANDARD";
        s.elements = {{0.5, kColorByLayer, -1, "BYLAYER"}, {-0.5, kColorByLayer, -1, "BYLAYER"}};
        return s;
    }();
    return standard;
}

const MLineStyle& MLineStyleOf(const Document& document, const MLineGeometry& mline) {
    const MLineStyle* byName = nullptr;
    const MLineStyle* standard = nullptr;
    for (const MLineStyle& style : document.mlineStyles) {
        if (style.elements.empty())
            continue;
        if (mline.styleHandle != 0 && style.handle == mline.styleHandle)
            return style;
        if (!byName && SameName(style.name, mline.styleName))
            byName = &style;
        if (!standard && SameName(style.name, "STANDARD"))
            standard = &style;
    }
    return byName ? *byName : standard ? *standard : MLineStyle::Standard();
}

MLineShape ShapeOfMLine(const MLineGeometry& g, const MLineStyle& style, Vec3 extrusion) {
    MLineShape shape;
    const std::size_t n = g.vertices.size();
    const std::size_t count = style.elements.size();
    if (n < 2 || count == 0)
        return shape;
    const Frame frame(g, style, extrusion);
    const bool closed = g.Closed();
    const std::size_t segments = closed ? n : n - 1;

    // Each element along the segments; a dash that ends where the next one starts goes on as one
    // piece, so that linetypes run across the vertices.
    for (std::size_t k = 0; k < count; ++k) {
        MLinePiece piece{{}, k};
        auto flush = [&] {
            if (piece.points.size() >= 2)
                shape.pieces.push_back(std::move(piece));
            piece = MLinePiece{{}, k};
        };
        for (std::size_t i = 0; i < segments; ++i) {
            const Vec3 a = frame.Point(i, k);
            const Vec3 b = frame.Point((i + 1) % n, k);
            for (const auto& [from, to] : frame.Dashes(i, k, Length(b - a))) {
                const bool fromStart = from <= kEndTolerance, toEnd = to >= 1.0 - kEndTolerance;
                if (!fromStart || piece.points.empty() || !(piece.points.back() == a)) {
                    flush();
                    piece.points.push_back(fromStart ? a : a + (b - a) * from);
                }
                piece.points.push_back(toEnd ? b : a + (b - a) * to);
                if (!toEnd)
                    flush();
            }
        }
        flush();
    }

    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return style.elements[a].offset < style.elements[b].offset;
    });
    const std::size_t bottom = order.front(), top = order.back();

    // A line across the elements at vertex i, each half in the colour of its outer element.
    auto across = [&](std::size_t i) {
        const Vec3 high = frame.Point(i, top), low = frame.Point(i, bottom);
        const Vec3 middle = (high + low) * 0.5;
        shape.pieces.push_back({{high, middle}, top});
        shape.pieces.push_back({{low, middle}, bottom});
    };
    // An arc from element a round to element b at vertex i, bulging along `outward`.
    auto arc = [&](std::size_t i, std::size_t a, std::size_t b, Vec3 outward) {
        std::vector<Vec3> points = HalfCircle(frame.Point(i, a), frame.Point(i, b), outward);
        if (LookAlike(style.elements[a], style.elements[b])) {
            shape.pieces.push_back({std::move(points), a});
            return;
        }
        const auto middle = points.begin() + kQuarterChords;
        shape.pieces.push_back({{points.begin(), middle + 1}, a});
        shape.pieces.push_back({{middle, points.end()}, b});
    };
    auto caps = [&](std::size_t i, int square, int inner, int round, Vec3 outward) {
        if (style.flags & square)
            across(i);
        if (style.flags & round)
            arc(i, top, bottom, outward);
        if (style.flags & inner)
            for (std::size_t j = 1; j + 1 < count - j; ++j)
                arc(i, order[count - 1 - j], order[j], outward);
    };

    if (style.flags & 2)
        for (std::size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i)
            across(i);
    if (!closed) {
        if (!(g.flags & 4))
            caps(0, 16, 32, 64, frame.Direction(0) * -1.0);
        if (!(g.flags & 8))
            caps(n - 1, 256, 512, 1024, frame.Direction(n - 2));
    }

    if (style.flags & 1) {
        std::vector<Vec3> low, high;
        for (std::size_t i = 0; i < n; ++i) {
            low.push_back(frame.Point(i, bottom));
            high.push_back(frame.Point(i, top));
        }
        if (closed) {
            shape.fill.push_back(std::move(low));
            shape.fill.push_back(std::move(high));
        } else {
            // Round caps round the fill off too.
            std::vector<Vec3> ring = std::move(low);
            if (style.flags & 1024 && !(g.flags & 8)) {
                const auto end = HalfCircle(ring.back(), high.back(), frame.Direction(n - 2));
                ring.insert(ring.end(), end.begin() + 1, end.end() - 1);
            }
            ring.insert(ring.end(), high.rbegin(), high.rend());
            if (style.flags & 64 && !(g.flags & 4)) {
                const auto start =
                    HalfCircle(high.front(), ring.front(), frame.Direction(0) * -1.0);
                ring.insert(ring.end(), start.begin() + 1, start.end() - 1);
            }
            shape.fill.push_back(std::move(ring));
        }
    }
    return shape;
}

} // namespace kw::drawing
