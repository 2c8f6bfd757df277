#include "drawing/proxy_graphics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/characters.h"
#include "drawing/detail/codepage.h"
#include "drawing/extents.h"

namespace kw::drawing {
namespace {

// The record types of the stream.
enum Record : std::uint32_t {
    kCircle = 2,
    kCircle3p = 3,
    kArc = 4,
    kArc3p = 5,
    kPolyline = 6,
    kPolygon = 7,
    kMesh = 8,
    kShell = 9,
    kText = 10,
    kText2 = 11,
    kXLine = 12,
    kRay = 13,
    kColor = 14,
    kLayer = 16,
    kLinetype = 18,
    kFill = 20,
    kTrueColor = 22,
    kLineweight = 23,
    kLinetypeScale = 24,
    kThickness = 25,
    kPushMatrix = 29,
    kPushNormal = 30,
    kPopMatrix = 31,
    kPolylineWithNormal = 32,
    kLwPolyline = 33,
    kUnicodeText = 36,
    kUnicodeText2 = 38,
};

// Linetype indices that name no table entry.
constexpr std::uint32_t kLinetypeByLayer = 0x7FFF;
constexpr std::uint32_t kLinetypeByBlock = 0x7FFE;
// Pushed transforms beyond this depth are not kept (their pops still match).
constexpr std::size_t kMaxDepth = 256;
// Segments per bulge where a transform that is no similarity turns a lightweight polyline's arcs
// into a 3D polyline.
constexpr int kBulgeSegments = 16;

bool Finite(Vec3 p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Little-endian values padded to four bytes, as the records hold them.
class ByteReader {
public:
    explicit ByteReader(std::string_view data) : m_data(data) {}

    std::size_t Left() const { return m_data.size() - m_pos; }

    bool U32(std::uint32_t& value) {
        if (Left() < 4)
            return false;
        const auto* b = reinterpret_cast<const unsigned char*>(m_data.data() + m_pos);
        value = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                std::uint32_t(b[3]) << 24;
        m_pos += 4;
        return true;
    }
    bool I32(std::int32_t& value) {
        std::uint32_t u = 0;
        if (!U32(u))
            return false;
        value = static_cast<std::int32_t>(u);
        return true;
    }
    bool Real(double& value) {
        if (Left() < 8)
            return false;
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = bits << 8 | static_cast<unsigned char>(m_data[m_pos + i]);
        std::memcpy(&value, &bits, sizeof value);
        m_pos += 8;
        return true;
    }
    bool Point(Vec3& p) { return Real(p.x) && Real(p.y) && Real(p.z); }
    // A string ended by a zero byte, padded to four bytes; its bytes as they are.
    bool String(std::string_view& text) {
        const std::size_t end = m_data.find('\0', m_pos);
        if (end == std::string_view::npos)
            return false;
        text = m_data.substr(m_pos, end - m_pos);
        Skip(end + 1 - m_pos);
        return true;
    }
    // A UTF-16 (little-endian) string ended by two zero bytes, padded to four bytes; as UTF-8.
    bool Unicode(std::string& text) {
        text.clear();
        std::uint32_t pending = 0; // a high surrogate waiting for its low half
        for (std::size_t at = m_pos; at + 2 <= m_data.size(); at += 2) {
            const auto unit =
                static_cast<std::uint32_t>(static_cast<unsigned char>(m_data[at]) |
                                           static_cast<unsigned char>(m_data[at + 1]) << 8);
            if (unit == 0) {
                if (pending)
                    detail::AppendUtf8(0xFFFD, text);
                Skip(at + 2 - m_pos);
                return true;
            }
            if (unit >= 0xD800 && unit < 0xDC00) {
                if (pending)
                    detail::AppendUtf8(0xFFFD, text);
                pending = unit;
            } else if (unit >= 0xDC00 && unit < 0xE000) {
                detail::AppendUtf8(pending ? 0x10000 + ((pending - 0xD800) << 10) + (unit - 0xDC00)
                                           : 0xFFFD,
                                   text);
                pending = 0;
            } else {
                if (pending)
                    detail::AppendUtf8(0xFFFD, text);
                pending = 0;
                detail::AppendUtf8(unit, text);
            }
        }
        return false;
    }
    void Skip(std::size_t count) {
        m_pos = std::min(m_data.size(), m_pos + count);
        m_pos = std::min(m_data.size(), (m_pos + 3) / 4 * 4);
    }
    bool SkipBytes(std::size_t count) {
        if (Left() < count)
            return false;
        m_pos += count;
        return true;
    }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

// The bit stream of a lightweight polyline as a DWG file stores it: bits from the most significant
// of each byte on, values compressed by a two-bit code.
class BitReader {
public:
    explicit BitReader(std::string_view data) : m_data(data) {}

    std::size_t BitsLeft() const { return m_data.size() * 8 - m_bit; }

    bool Bits(int count, std::uint64_t& value) {
        if (BitsLeft() < static_cast<std::size_t>(count))
            return false;
        value = 0;
        for (int i = 0; i < count; ++i, ++m_bit) {
            const auto byte = static_cast<unsigned char>(m_data[m_bit >> 3]);
            value = value << 1 | ((byte >> (7 - (m_bit & 7))) & 1);
        }
        return true;
    }
    // Little-endian bytes, each of 8 bits wherever the stream stands.
    bool Raw(int bytes, std::uint64_t& value) {
        value = 0;
        for (int i = 0; i < bytes; ++i) {
            std::uint64_t byte = 0;
            if (!Bits(8, byte))
                return false;
            value |= byte << (8 * i);
        }
        return true;
    }
    bool RawDouble(double& value) {
        std::uint64_t bits = 0;
        if (!Raw(8, bits))
            return false;
        std::memcpy(&value, &bits, sizeof value);
        return true;
    }
    bool BitShort(std::int32_t& value) {
        std::uint64_t code = 0, raw = 0;
        if (!Bits(2, code))
            return false;
        switch (code) {
        case 0:
            if (!Raw(2, raw))
                return false;
            value = static_cast<std::int16_t>(raw);
            return true;
        case 1:
            if (!Raw(1, raw))
                return false;
            value = static_cast<std::int32_t>(raw);
            return true;
        case 2:
            value = 0;
            return true;
        default:
            value = 256;
            return true;
        }
    }
    bool BitLong(std::int64_t& value) {
        std::uint64_t code = 0, raw = 0;
        if (!Bits(2, code))
            return false;
        if (code == 0) {
            if (!Raw(4, raw))
                return false;
            value = static_cast<std::int32_t>(raw);
        } else if (code == 1) {
            if (!Raw(1, raw))
                return false;
            value = static_cast<std::int64_t>(raw);
        } else {
            value = 0;
        }
        return true;
    }
    bool BitDouble(double& value) {
        std::uint64_t code = 0;
        if (!Bits(2, code))
            return false;
        if (code == 0)
            return RawDouble(value);
        value = code == 1 ? 1.0 : 0.0;
        return true;
    }
    // A double given as the bytes in which it differs from `previous`.
    bool DefaultDouble(double previous, double& value) {
        std::uint64_t code = 0;
        if (!Bits(2, code))
            return false;
        if (code == 3)
            return RawDouble(value);
        std::uint64_t bits = 0;
        std::memcpy(&bits, &previous, sizeof bits);
        std::uint64_t low = 0, high = 0;
        if (code == 1) {
            if (!Raw(4, low))
                return false;
            bits = (bits & 0xFFFFFFFF00000000ULL) | low;
        } else if (code == 2) {
            if (!Raw(2, high) || !Raw(4, low))
                return false;
            bits = (bits & 0xFFFF000000000000ULL) | high << 32 | low;
        }
        std::memcpy(&value, &bits, sizeof value);
        return true;
    }

private:
    std::string_view m_data;
    std::size_t m_bit = 0;
};

// A count from the stream, believed only as far as the bytes left could hold that many items of
// `itemBytes` each.
bool Believable(std::uint64_t count, std::size_t left, std::size_t itemBytes) {
    return count <= left / std::max<std::size_t>(itemBytes, 1);
}

class Decoder {
public:
    Decoder(const Document& document, const detail::CodePage& codePage)
        : m_document(document), m_codePage(codePage) {
        m_transforms.push_back(Transform::Identity());
    }

    ProxyDecoding Run(std::string_view data) {
        ProxyDecoding result;
        ByteReader header(data);
        std::uint32_t total = 0, count = 0; // the record count is not needed: sizes lead
        if (!header.U32(total) || !header.U32(count))
            return result;
        // The header's size bounds the records where it is smaller than the data.
        const std::size_t end = total >= 8 && total < data.size() ? total : data.size();
        std::size_t at = 8;
        while (at + 8 <= end) {
            ByteReader head(data.substr(at, 8));
            std::uint32_t size = 0, type = 0;
            head.U32(size);
            head.U32(type);
            if (size < 8 || size > end - at) {
                result.damagedAt = at;
                break;
            }
            if (!Decode(type, data.substr(at + 8, size - 8)) && result.damagedAt == 0)
                result.damagedAt = at;
            at += size;
        }
        // A primitive that a transform or a huge size carried past the range of numbers is left
        // out: everything after the reader counts on finite coordinates.
        auto& entities = m_graphics->entities;
        entities.erase(std::remove_if(entities.begin(), entities.end(),
                                      [&](const Entity& e) {
                                          const Box box = EntityExtents(m_document, e);
                                          return !(box == Box{}) &&
                                                 !(Finite(box.min) && Finite(box.max));
                                      }),
                       entities.end());
        if (!entities.empty())
            result.graphics = std::move(m_graphics);
        return result;
    }

private:
    // Reads one record; false when its data is too short for what it says it holds.
    bool Decode(std::uint32_t type, std::string_view data) {
        ByteReader r(data);
        switch (type) {
        case kCircle: {
            Vec3 center, normal;
            double radius = 0;
            if (!r.Point(center) || !r.Real(radius) || !r.Point(normal))
                return false;
            Circle(center, radius, normal);
            return true;
        }
        case kCircle3p:
        case kArc3p: {
            Vec3 p[3];
            if (!r.Point(p[0]) || !r.Point(p[1]) || !r.Point(p[2]))
                return false;
            std::uint32_t closure = 0;
            if (type == kArc3p)
                r.U32(closure);
            ThreePoints(p, type == kCircle3p, closure);
            return true;
        }
        case kArc: {
            Vec3 center, normal, start;
            double radius = 0, sweep = 0;
            if (!r.Point(center) || !r.Real(radius) || !r.Point(normal) || !r.Point(start) ||
                !r.Real(sweep))
                return false;
            std::uint32_t closure = 0;
            r.U32(closure);
            const Vec3 n = Normalized(normal);
            // The start vector lies in the arc's plane; only its direction counts.
            const Vec3 u = Normalized(start - n * Dot(start, n));
            if (!(Length(u) > 0.5))
                return true;
            Arc(center, u * radius, Cross(n, u) * radius, sweep, closure);
            return true;
        }
        case kPolyline:
        case kPolygon:
        case kPolylineWithNormal: {
            std::vector<Vec3> points;
            if (!Points(r, points, type == kPolylineWithNormal))
                return false;
            Polyline(std::move(points), type == kPolygon);
            return true;
        }
        case kMesh:
            return Mesh(r);
        case kShell:
            return Shell(r);
        case kText:
        case kUnicodeText:
        case kText2:
        case kUnicodeText2:
            return Text(r, type);
        case kXLine:
        case kRay: {
            Vec3 a, b;
            if (!r.Point(a) || !r.Point(b))
                return false;
            ConstructionLine(a, b, type == kRay);
            return true;
        }
        case kLwPolyline:
            return LwPolyline(data);
        case kPushMatrix:
        case kPushNormal:
            return Push(r, type);
        case kPopMatrix:
            if (m_ignoredPushes > 0)
                --m_ignoredPushes;
            else if (m_transforms.size() > 1)
                m_transforms.pop_back();
            return true;
        default:
            return Trait(r, type);
        }
    }

    // The traits: they apply to every primitive that follows.
    bool Trait(ByteReader& r, std::uint32_t type) {
        std::uint32_t value = 0;
        double real = 0;
        switch (type) {
        case kColor:
            if (!r.U32(value))
                return false;
            m_trueColor = -1;
            m_color = value <= 256 ? static_cast<std::int16_t>(value) : kColorByLayer;
            return true;
        case kTrueColor:
            if (!r.U32(value))
                return false;
            switch (value >> 24) {
            case 0xC0: // by layer
                m_color = kColorByLayer;
                m_trueColor = -1;
                break;
            case 0xC1: // by block
                m_color = kColorByBlock;
                m_trueColor = -1;
                break;
            case 0xC2: // red, green, blue
                m_color = kColorByLayer;
                m_trueColor = static_cast<std::int32_t>(value & 0xFFFFFF);
                break;
            case 0xC3: // a colour number
                m_color = static_cast<std::int16_t>(value & 0xFF);
                m_trueColor = -1;
                break;
            default: // the window's background and anything else: the colour stays
                break;
            }
            return true;
        case kLayer:
            if (!r.U32(value))
                return false;
            if (value < m_document.layers.size())
                m_layer = m_document.layers[value].name;
            return true;
        case kLinetype:
            if (!r.U32(value))
                return false;
            if (value == kLinetypeByLayer)
                m_linetype.clear();
            else if (value == kLinetypeByBlock)
                m_linetype = "BYBLOCK";
            else if (value < m_document.linetypes.size())
                m_linetype = m_document.linetypes[value].name;
            return true;
        case kLineweight: {
            if (!r.U32(value))
                return false;
            const auto weight = static_cast<std::int32_t>(value);
            // Out of range reads as the default, as in the host's own conversion.
            m_lineweight = weight >= kLineweightDefault && weight <= 211
                               ? static_cast<std::int16_t>(weight)
                               : kLineweightDefault;
            return true;
        }
        case kFill:
            if (!r.U32(value))
                return false;
            m_fill = value != 0;
            return true;
        case kLinetypeScale:
            if (!r.Real(real))
                return false;
            if (std::isfinite(real) && real > 0.0)
                m_linetypeScale = real;
            return true;
        case kThickness:
            if (!r.Real(real))
                return false;
            if (std::isfinite(real))
                m_thickness = real;
            return true;
        default: // extents, markers, materials, clips, plot styles and unknown records
            return true;
        }
    }

    bool Push(ByteReader& r, std::uint32_t type) {
        Transform pushed;
        if (type == kPushMatrix) {
            // Four rows of four; the last row (perspective) is left out.
            double values[16];
            for (double& value : values)
                if (!r.Real(value))
                    return false;
            for (int row = 0; row < 3; ++row)
                for (int column = 0; column < 4; ++column)
                    pushed.m[row][column] = values[row * 4 + column];
        } else if (r.Left() >= 16 * 8) {
            return Push(r, kPushMatrix);
        } else {
            // A plane given by its normal: its own coordinates by the arbitrary axis algorithm.
            Vec3 normal;
            if (!r.Point(normal))
                return false;
            pushed = OcsToWcs(normal);
        }
        bool finite = true;
        for (const auto& row : pushed.m)
            for (double value : row)
                finite = finite && std::isfinite(value);
        if (m_transforms.size() >= kMaxDepth || !finite) {
            ++m_ignoredPushes;
            return finite;
        }
        m_transforms.push_back(m_transforms.back() * pushed);
        return true;
    }

    const Transform& Top() const { return m_transforms.back(); }
    bool Transformed() const { return m_transforms.size() > 1; }

    // --- what the primitives become -----------------------------------------------------------

    Entity& Add(EntityType type) {
        Entity& e = m_graphics->entities.emplace_back();
        e.type = type;
        e.layer = m_layer;
        e.color = m_color;
        e.trueColor = m_trueColor;
        e.linetype = m_linetype;
        e.lineweight = m_lineweight;
        e.linetypeScale = m_linetypeScale;
        e.thickness = m_thickness;
        return e;
    }

    void Point(Vec3 p) {
        if (Finite(p))
            Add(EntityType::Point).geometry = PointGeometry{p};
    }

    // An open or closed 3D polyline through world points (already transformed); a single point,
    // or two that coincide, is a point.
    void Polyline3d(const std::vector<Vec3>& points, bool closed) {
        if (points.empty() || !std::all_of(points.begin(), points.end(), Finite))
            return;
        if (points.size() == 1 || (points.size() == 2 && points[0] == points[1])) {
            Point(points[0]);
            return;
        }
        PolylineGeometry g;
        g.flags = static_cast<std::int16_t>(8 | (closed ? 1 : 0));
        g.vertices.reserve(points.size());
        for (const Vec3& p : points)
            g.vertices.push_back({p, 0, 0, 0, 32});
        Add(EntityType::Polyline).geometry = std::move(g);
    }

    // A solid fill of closed loops (world points), seen from above; loops inside loops are holes.
    void Filled(const std::vector<std::vector<Vec3>>& loops) {
        HatchGeometry g;
        g.patternName = "SOLID";
        g.solidFill = true;
        for (const std::vector<Vec3>& loop : loops) {
            if (loop.size() < 3 || !std::all_of(loop.begin(), loop.end(), Finite))
                continue;
            HatchBoundary boundary;
            boundary.flags = g.boundaries.empty() ? 1 | 2 : 2;
            for (const Vec3& p : loop)
                boundary.polyline.push_back({p.x, p.y});
            if (g.boundaries.empty())
                g.elevation = loop.front().z;
            g.boundaries.push_back(std::move(boundary));
        }
        if (!g.boundaries.empty())
            Add(EntityType::Hatch).geometry = std::move(g);
    }

    void Polyline(std::vector<Vec3> points, bool closed) {
        for (Vec3& p : points)
            p = Top().Apply(p);
        if (closed && m_fill && points.size() >= 3)
            Filled({points});
        else
            Polyline3d(points, closed);
    }

    // Vertices of a polyline record: a count, the points, and with `normal` one more point.
    bool Points(ByteReader& r, std::vector<Vec3>& points, bool normal) {
        std::uint32_t count = 0;
        if (!r.U32(count) || !Believable(count, r.Left(), 24))
            return false;
        points.resize(count);
        for (Vec3& p : points)
            if (!r.Point(p))
                return false;
        Vec3 ignored;
        return !normal || r.Point(ignored);
    }

    // An arc or circle: the points centre + u·cos t + v·sin t (u, v of the radius's length and
    // square to each other) for t from 0 to `sweep` (radians; negative runs clockwise), before the
    // current transform. `closure` 1 closes it to the centre, 2 by its chord.
    void Arc(Vec3 center, Vec3 u, Vec3 v, double sweep, std::uint32_t closure) {
        if (!Finite(center) || !Finite(u) || !Finite(v) || !std::isfinite(sweep))
            return;
        const bool full = std::fabs(sweep) >= 2 * kPi - 1e-12;
        if (sweep < 0.0) {
            // The same points, counter-clockwise from the other end.
            const double c = std::cos(sweep), s = std::sin(sweep);
            const Vec3 start = u * c + v * s;
            v = v * c - u * s;
            u = start;
            sweep = -sweep;
        }
        if (full)
            sweep = 2 * kPi;
        const Transform& m = Top();
        const Vec3 c = m.Apply(center);
        const Vec3 tu = m.ApplyVector(u), tv = m.ApplyVector(v);
        const double lu = Length(tu), lv = Length(tv);
        if (!(lu > 0.0) || !(lv > 0.0) || !std::isfinite(lu) || !std::isfinite(lv) || !Finite(c))
            return;
        const bool circular = std::fabs(Dot(tu, tv)) <= 1e-9 * lu * lv &&
                              std::fabs(lu - lv) <= 1e-9 * std::max(lu, lv);
        if (circular) {
            const Vec3 normal = Normalized(Cross(tu, tv));
            const Transform ocs = OcsToWcs(normal);
            const Vec3 ox{ocs.m[0][0], ocs.m[1][0], ocs.m[2][0]};
            const Vec3 oy{ocs.m[0][1], ocs.m[1][1], ocs.m[2][1]};
            const Vec3 center2{Dot(c, ox), Dot(c, oy), Dot(c, normal)};
            Entity& e = full ? Add(EntityType::Circle) : Add(EntityType::Arc);
            e.extrusion = normal;
            if (full) {
                e.geometry = CircleGeometry{center2, lu};
            } else {
                const double a0 = std::atan2(Dot(tu, oy), Dot(tu, ox)) * 180.0 / kPi;
                e.geometry = ArcGeometry{center2, lu, a0, a0 + sweep * 180.0 / kPi};
            }
        } else {
            // A transform that is no similarity makes it an ellipse: its axes from the two
            // conjugate radii.
            const double t0 = 0.5 * std::atan2(2 * Dot(tu, tv), Dot(tu, tu) - Dot(tv, tv));
            Vec3 major = tu * std::cos(t0) + tv * std::sin(t0);
            Vec3 minor = tv * std::cos(t0) - tu * std::sin(t0);
            double shift = t0;
            if (Length(minor) > Length(major)) {
                // A quarter turn on, the minor axis is the major one.
                std::swap(major, minor);
                minor = minor * -1.0;
                shift += kPi / 2;
            }
            if (!(Length(major) > 0.0))
                return;
            EllipseGeometry g;
            g.center = c;
            g.majorAxis = major;
            g.ratio = Length(minor) / Length(major);
            g.startParam = full ? 0.0 : -shift;
            g.endParam = full ? 2 * kPi : sweep - shift;
            Entity& e = Add(EntityType::Ellipse);
            e.extrusion = Normalized(Cross(major, minor));
            e.geometry = g;
        }
        if (!full && (closure == 1 || closure == 2)) {
            const Vec3 a = c + tu, b = c + tu * std::cos(sweep) + tv * std::sin(sweep);
            if (closure == 1)
                Polyline3d({b, c, a}, false);
            else
                Polyline3d({b, a}, false);
        }
    }

    void Circle(Vec3 center, double radius, Vec3 normal) {
        const Vec3 n = Normalized(normal);
        if (!(Length(n) > 0.5) || !(radius > 0.0))
            return;
        const Transform ocs = OcsToWcs(n);
        const Vec3 u{ocs.m[0][0], ocs.m[1][0], ocs.m[2][0]};
        const Vec3 v{ocs.m[0][1], ocs.m[1][1], ocs.m[2][1]};
        Arc(center, u * radius, v * radius, 2 * kPi, 0);
    }

    // A circle through three points, or an arc from the first through the second to the third.
    void ThreePoints(Vec3 p[3], bool circle, std::uint32_t closure) {
        Vec3 n = Cross(p[1] - p[0], p[2] - p[0]);
        // Seen from above, as a plan shows it: an arc turning clockwise is the same arc from its
        // other end.
        if (!circle && n.z < 0.0 && std::fabs(n.x) + std::fabs(n.y) <= 1e-9 * std::fabs(n.z)) {
            std::swap(p[0], p[2]);
            n = n * -1.0;
        }
        const double nn = Dot(n, n);
        if (!(nn > 0.0) || !std::isfinite(nn)) {
            // In a line: a circle has no size, an arc is the line from its start to its end.
            if (!circle)
                Polyline({p[0], p[2]}, false);
            return;
        }
        // The circumcentre.
        const Vec3 a = p[1] - p[0], b = p[2] - p[0];
        const Vec3 offset = (Cross(n, a) * Dot(b, b) - Cross(n, b) * Dot(a, a)) * (0.5 / nn);
        const Vec3 center = p[0] + offset;
        const double radius = Length(p[0] - center);
        const Vec3 normal = n * (1.0 / std::sqrt(nn));
        const Vec3 u = p[0] - center;
        const Vec3 v = Cross(normal, u);
        if (circle) {
            Arc(center, u, v, 2 * kPi, 0);
            return;
        }
        const Vec3 e = p[2] - center;
        double sweep = std::atan2(Dot(e, v) / radius, Dot(e, u) / radius);
        if (sweep <= 0.0)
            sweep += 2 * kPi;
        Arc(center, u, v, sweep, closure);
    }

    // A mesh of rows × columns vertices: its grid lines, or its cells filled.
    bool Mesh(ByteReader& r) {
        std::uint32_t rows = 0, columns = 0;
        if (!r.U32(rows) || !r.U32(columns))
            return false;
        const std::uint64_t count = std::uint64_t(rows) * columns;
        if (!Believable(count, r.Left(), 24))
            return false;
        if (count == 0)
            return true; // no vertices: nothing to draw, however many rows it claims
        std::vector<Vec3> v(count);
        for (Vec3& p : v) {
            if (!r.Point(p))
                return false;
            p = Top().Apply(p);
        }
        const auto at = [&](std::uint32_t row, std::uint32_t column) {
            return v[std::size_t(row) * columns + column];
        };
        if (m_fill) {
            std::vector<std::vector<Vec3>> cells;
            for (std::uint32_t i = 0; i + 1 < rows; ++i)
                for (std::uint32_t j = 0; j + 1 < columns; ++j)
                    cells.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)});
            Filled(cells);
            return true;
        }
        for (std::uint32_t i = 0; i < rows && columns > 1; ++i)
            Polyline3d(std::vector<Vec3>(v.begin() + std::size_t(i) * columns,
                                         v.begin() + std::size_t(i + 1) * columns),
                       false);
        for (std::uint32_t j = 0; j < columns && rows > 1; ++j) {
            std::vector<Vec3> line;
            for (std::uint32_t i = 0; i < rows; ++i)
                line.push_back(at(i, j));
            Polyline3d(line, false);
        }
        return true;
    }

    // A shell: vertices and faces, each face a count and that many vertex indices (a negative
    // count is a hole in the face before it). Its faces' edges, or its faces filled.
    bool Shell(ByteReader& r) {
        std::uint32_t vertexCount = 0;
        if (!r.U32(vertexCount) || !Believable(vertexCount, r.Left(), 24))
            return false;
        std::vector<Vec3> v(vertexCount);
        for (Vec3& p : v) {
            if (!r.Point(p))
                return false;
            p = Top().Apply(p);
        }
        std::uint32_t entries = 0;
        if (!r.U32(entries) || !Believable(entries, r.Left(), 4))
            return false;
        std::vector<std::vector<Vec3>> loops;
        for (std::uint32_t read = 0; read < entries;) {
            std::int32_t count = 0;
            if (!r.I32(count))
                return false;
            const std::uint32_t size = count < 0 ? 0u - static_cast<std::uint32_t>(count)
                                                 : static_cast<std::uint32_t>(count);
            if (!Believable(size, r.Left(), 4))
                return false;
            std::vector<Vec3> loop;
            bool valid = true;
            for (std::uint32_t k = 0; k < size; ++k) {
                std::uint32_t index = 0;
                r.U32(index);
                if (index < v.size())
                    loop.push_back(v[index]);
                else
                    valid = false;
            }
            if (valid)
                loops.push_back(std::move(loop));
            read += 1 + size;
        }
        // The traits of its edges and faces that may follow are not used.
        if (m_fill)
            Filled(loops);
        else
            for (const std::vector<Vec3>& loop : loops)
                Polyline3d(loop, loop.size() > 2);
        return true;
    }

    bool Text(ByteReader& r, std::uint32_t type) {
        Vec3 at, normal, direction;
        if (!r.Point(at) || !r.Point(normal) || !r.Point(direction))
            return false;
        const bool unicode = type == kUnicodeText || type == kUnicodeText2;
        const bool second = type == kText2 || type == kUnicodeText2;
        double height = 0, widthFactor = 1, oblique = 0, tracking = 0;
        std::string text;
        std::string_view raw;
        if (!second && !(r.Real(height) && r.Real(widthFactor) && r.Real(oblique)))
            return false;
        if (unicode ? !r.Unicode(text) : !r.String(raw))
            return false;
        if (!unicode)
            text = m_codePage.Decode(raw);
        std::uint32_t backwards = 0, upsideDown = 0;
        std::string font, bigFont, typeface;
        if (second) {
            std::uint32_t flags[5] = {};
            // Its length and whether it is raw, then height, width, oblique and tracking.
            if (!r.SkipBytes(8) || !r.Real(height) || !r.Real(widthFactor) || !r.Real(oblique) ||
                !r.Real(tracking))
                return false;
            for (std::uint32_t& flag : flags)
                if (!r.U32(flag))
                    return false;
            backwards = flags[0];
            upsideDown = flags[1];
            if (unicode) {
                // Bold, italic, character set and pitch, then the typeface.
                if (!r.SkipBytes(16) || !r.Unicode(typeface) || !r.Unicode(font) ||
                    !r.Unicode(bigFont))
                    return false;
            } else {
                std::string_view f, b;
                if (!r.String(f) || !r.String(b))
                    return false;
                font = m_codePage.Decode(f);
                bigFont = m_codePage.Decode(b);
            }
        }
        const Transform& m = Top();
        const Vec3 n = Normalized(normal);
        const Vec3 d = Normalized(direction - n * Dot(direction, n));
        if (!(Length(n) > 0.5) || !(Length(d) > 0.5) || !(height > 0.0) || !std::isfinite(height) ||
            !Finite(at))
            return true;
        // Through the transform: the baseline's direction, and the height along the up vector.
        const Vec3 td = m.ApplyVector(d), tup = m.ApplyVector(Cross(n, d));
        const Vec3 tn = Normalized(Cross(td, tup));
        if (!(Length(td) > 0.0) || !(Length(tup) > 0.0) || !(Length(tn) > 0.5) ||
            !std::isfinite(height * Length(tup)) || !std::isfinite(Length(td) / Length(tup)))
            return true;
        const Transform ocs = OcsToWcs(tn);
        const Vec3 ox{ocs.m[0][0], ocs.m[1][0], ocs.m[2][0]};
        const Vec3 oy{ocs.m[0][1], ocs.m[1][1], ocs.m[2][1]};
        const Vec3 p = m.Apply(at);
        TextGeometry g;
        g.text = std::move(text);
        g.style = Style(font, typeface);
        g.insertion = {Dot(p, ox), Dot(p, oy), Dot(p, tn)};
        g.height = height * Length(tup);
        g.widthFactor = (std::isfinite(widthFactor) && widthFactor > 0.0 ? widthFactor : 1.0) *
                        Length(td) / Length(tup);
        g.rotationDeg = std::atan2(Dot(td, oy), Dot(td, ox)) * 180.0 / kPi;
        g.obliqueDeg = std::isfinite(oblique) ? oblique * 180.0 / kPi : 0.0;
        g.generation = static_cast<std::int16_t>((backwards ? 2 : 0) | (upsideDown ? 4 : 0));
        Entity& e = Add(EntityType::Text);
        e.extrusion = tn;
        e.geometry = std::move(g);
        return true;
    }

    // The drawing's text style with that font (file, or TrueType family); STANDARD without one.
    std::string Style(const std::string& font, const std::string& typeface) const {
        const auto stem = [](std::string_view file) {
            const std::size_t slash = file.find_last_of("/\\");
            if (slash != std::string_view::npos)
                file.remove_prefix(slash + 1);
            const std::size_t dot = file.rfind('.');
            return dot == std::string_view::npos ? file : file.substr(0, dot);
        };
        for (const TextStyle& style : m_document.textStyles) {
            if (!font.empty() && !style.fontFile.empty() &&
                EqualsIgnoringAsciiCase(stem(style.fontFile), stem(font)))
                return style.name;
            if (!typeface.empty() && EqualsIgnoringAsciiCase(style.fontFamily, typeface))
                return style.name;
        }
        return "STANDARD";
    }

    void ConstructionLine(Vec3 a, Vec3 b, bool ray) {
        const Vec3 base = Top().Apply(a);
        const Vec3 direction = Normalized(Top().Apply(b) - base);
        if (!Finite(base) || !Finite(direction) || !(Length(direction) > 0.5))
            return;
        Add(ray ? EntityType::Ray : EntityType::XLine).geometry = RayGeometry{base, direction};
    }

    // A lightweight polyline: a byte count, then the entity's data as a DWG file holds it.
    bool LwPolyline(std::string_view data) {
        ByteReader r(data);
        std::uint32_t bytes = 0;
        if (!r.U32(bytes) || bytes > r.Left())
            return false;
        BitReader b(data.substr(4, bytes));
        std::int32_t flags = 0;
        if (!b.BitShort(flags))
            return false;
        LwPolylineGeometry g;
        Vec3 normal{0, 0, 1};
        double thickness = 0;
        if ((flags & 4) && !b.BitDouble(g.constantWidth))
            return false;
        if ((flags & 8) && !b.BitDouble(g.elevation))
            return false;
        if ((flags & 2) && !b.BitDouble(thickness))
            return false;
        if ((flags & 1) &&
            !(b.BitDouble(normal.x) && b.BitDouble(normal.y) && b.BitDouble(normal.z)))
            return false;
        std::int64_t points = 0, bulges = 0, ids = 0, widths = 0;
        if (!b.BitLong(points) || ((flags & 16) && !b.BitLong(bulges)) ||
            ((flags & 1024) && !b.BitLong(ids)) || ((flags & 32) && !b.BitLong(widths)))
            return false;
        // The smallest a value can be: two bits.
        const std::size_t left = b.BitsLeft();
        if (points < 1 || bulges < 0 || ids < 0 || widths < 0 || !Believable(points, left, 4) ||
            !Believable(bulges, left, 2) || !Believable(ids, left, 2) ||
            !Believable(widths, left, 4))
            return false;
        g.vertices.resize(static_cast<std::size_t>(points));
        double x = 0, y = 0;
        if (!b.RawDouble(x) || !b.RawDouble(y))
            return false;
        g.vertices[0].x = x;
        g.vertices[0].y = y;
        for (std::size_t i = 1; i < g.vertices.size(); ++i) {
            if (!b.DefaultDouble(g.vertices[i - 1].x, g.vertices[i].x) ||
                !b.DefaultDouble(g.vertices[i - 1].y, g.vertices[i].y))
                return false;
        }
        for (std::int64_t i = 0; i < bulges; ++i) {
            double bulge = 0;
            if (!b.BitDouble(bulge))
                return false;
            if (static_cast<std::size_t>(i) < g.vertices.size())
                g.vertices[static_cast<std::size_t>(i)].bulge = bulge;
        }
        for (std::int64_t i = 0; i < ids; ++i) {
            std::int64_t id = 0;
            if (!b.BitLong(id))
                return false;
        }
        for (std::int64_t i = 0; i < widths; ++i) {
            double start = 0, end = 0;
            if (!b.BitDouble(start) || !b.BitDouble(end))
                return false;
            if (static_cast<std::size_t>(i) < g.vertices.size()) {
                g.vertices[static_cast<std::size_t>(i)].startWidth = start;
                g.vertices[static_cast<std::size_t>(i)].endWidth = end;
            }
        }
        g.flags = static_cast<std::int16_t>(((flags & 512) ? 1 : 0) | ((flags & 256) ? 128 : 0));
        for (const PolylineVertex& v : g.vertices)
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.bulge) ||
                !std::isfinite(v.startWidth) || !std::isfinite(v.endWidth))
                return true;
        if (!std::isfinite(g.elevation) || !std::isfinite(g.constantWidth) || !Finite(normal) ||
            !(Length(normal) > 0.0))
            return true;
        normal = Normalized(normal);
        if (Transformed())
            TransformLwPolyline(g, normal);
        else
            AddLwPolyline(std::move(g), normal, thickness);
        return true;
    }

    void AddLwPolyline(LwPolylineGeometry g, Vec3 normal, double thickness) {
        if (g.vertices.size() == 1) {
            Point(OcsToWcs(normal).Apply({g.vertices[0].x, g.vertices[0].y, g.elevation}));
            return;
        }
        Entity& e = Add(EntityType::LwPolyline);
        e.extrusion = normal;
        if (std::isfinite(thickness) && thickness != 0.0)
            e.thickness = thickness;
        e.geometry = std::move(g);
    }

    // Through the current transform: a similarity keeps its arcs, any other transform makes it a
    // 3D polyline with its arcs flattened.
    void TransformLwPolyline(const LwPolylineGeometry& g, Vec3 normal) {
        const Transform to = Top() * OcsToWcs(normal);
        const Vec3 tx = to.ApplyVector({1, 0, 0}), ty = to.ApplyVector({0, 1, 0});
        const double sx = Length(tx), sy = Length(ty);
        const bool similar = sx > 0.0 && std::fabs(sx - sy) <= 1e-9 * std::max(sx, sy) &&
                             std::fabs(Dot(tx, ty)) <= 1e-9 * sx * sy;
        if (similar) {
            const Vec3 n = Normalized(Cross(tx, ty));
            const Transform ocs = OcsToWcs(n);
            const Vec3 ox{ocs.m[0][0], ocs.m[1][0], ocs.m[2][0]};
            const Vec3 oy{ocs.m[0][1], ocs.m[1][1], ocs.m[2][1]};
            LwPolylineGeometry out = g;
            for (PolylineVertex& v : out.vertices) {
                const Vec3 p = to.Apply({v.x, v.y, g.elevation});
                v.x = Dot(p, ox);
                v.y = Dot(p, oy);
                v.startWidth *= sx;
                v.endWidth *= sx;
                out.elevation = Dot(p, n);
            }
            out.constantWidth *= sx;
            AddLwPolyline(std::move(out), n, 0.0);
            return;
        }
        std::vector<Vec3> points;
        const auto& v = g.vertices;
        const std::size_t segments = g.Closed() ? v.size() : v.size() - 1;
        points.push_back(to.Apply({v[0].x, v[0].y, g.elevation}));
        for (std::size_t i = 0; i < segments; ++i) {
            const PolylineVertex& a = v[i];
            const PolylineVertex& b = v[(i + 1) % v.size()];
            const double sweep = 4.0 * std::atan(a.bulge);
            const double chord = std::hypot(b.x - a.x, b.y - a.y);
            if (std::fabs(a.bulge) < 1e-12 || chord == 0.0) {
                points.push_back(to.Apply({b.x, b.y, g.elevation}));
                continue;
            }
            const double radius = chord / (2.0 * std::sin(std::fabs(sweep) / 2.0));
            const double h = radius * std::cos(sweep / 2.0) * (a.bulge > 0 ? 1.0 : -1.0);
            const double cx = (a.x + b.x) / 2 - (b.y - a.y) / chord * h;
            const double cy = (a.y + b.y) / 2 + (b.x - a.x) / chord * h;
            const double a0 = std::atan2(a.y - cy, a.x - cx);
            for (int k = 1; k <= kBulgeSegments; ++k) {
                const double t = a0 + sweep * k / kBulgeSegments;
                points.push_back(
                    to.Apply({cx + radius * std::cos(t), cy + radius * std::sin(t), g.elevation}));
            }
        }
        if (g.Closed() && points.size() > 1)
            points.pop_back();
        Polyline3d(points, g.Closed());
    }

    const Document& m_document;
    const detail::CodePage& m_codePage;
    std::shared_ptr<ProxyGraphics> m_graphics = std::make_shared<ProxyGraphics>();
    std::vector<Transform> m_transforms;
    std::size_t m_ignoredPushes = 0;
    // The traits of what follows. The start is the custom object's own: layer 0 and BYBLOCK
    // take it, as content of a block takes its reference's.
    std::string m_layer = "0";
    std::int16_t m_color = kColorByBlock;
    std::int32_t m_trueColor = -1;
    std::string m_linetype = "BYBLOCK";
    std::int16_t m_lineweight = kLineweightByBlock;
    double m_linetypeScale = 1.0;
    double m_thickness = 0.0;
    bool m_fill = false;
};

} // namespace

namespace detail {
ProxyDecoding DecodeProxyGraphics(std::string_view data, const Document& document,
                                  const CodePage& codePage) {
    return Decoder(document, codePage).Run(data);
}
} // namespace detail

ProxyDecoding DecodeProxyGraphics(std::string_view data, const Document& document) {
    const detail::CodePage codePage(document.format.codePage, document.Release() >= 1021);
    return detail::DecodeProxyGraphics(data, document, codePage);
}

} // namespace kw::drawing
