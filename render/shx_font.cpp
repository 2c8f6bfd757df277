#include "render/shx_font.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/characters.h"
#include "base/paths.h"
#include "drawing/detail/codepage.h"
#include "render/shx_metrics.h"

namespace kw::render {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrtHalf = 0.70710678118654752440;

// Subshapes deeper than this are taken for a damaged file; real fonts nest two or three levels.
constexpr int kMaxSubshapeDepth = 16;
// Bounds on the work of one glyph, so that a font whose subshapes fan out cannot stall a plot.
constexpr std::size_t kMaxSteps = 200000;
constexpr std::size_t kMaxPoints = 200000;
// The position stack; fonts use at most four places.
constexpr std::size_t kMaxStack = 16;
// Arcs are drawn as chords of at most this angle.
constexpr double kArcStepRad = kPi / 36.0;
// No shape font comes anywhere near this; a bigger file is not read.
constexpr std::uintmax_t kMaxFileBytes = 64u * 1024u * 1024u;

// Vector directions of a length/direction byte's low nibble, counter-clockwise from east.
constexpr ShxPoint kDirections[16] = {
    {1, 0},  {1, 0.5},   {1, 1},   {0.5, 1},   {0, 1},  {-0.5, 1}, {-1, 1}, {-1, 0.5},
    {-1, 0}, {-1, -0.5}, {-1, -1}, {-0.5, -1}, {0, -1}, {0.5, -1}, {1, -1}, {1, -0.5},
};

// The unit vector at octant boundary k (k × 45°), exact where it can be.
ShxPoint OctantUnit(int k) {
    static constexpr ShxPoint units[8] = {
        {1, 0},  {kSqrtHalf, kSqrtHalf},   {0, 1},  {-kSqrtHalf, kSqrtHalf},
        {-1, 0}, {-kSqrtHalf, -kSqrtHalf}, {0, -1}, {kSqrtHalf, -kSqrtHalf},
    };
    return units[((k % 8) + 8) % 8];
}

class Bytes {
public:
    explicit Bytes(std::string_view data) : m_data(data) {}
    bool Has(std::size_t pos, std::size_t count) const {
        return pos <= m_data.size() && count <= m_data.size() - pos;
    }
    unsigned U8(std::size_t pos) const { return static_cast<unsigned char>(m_data[pos]); }
    unsigned U16(std::size_t pos) const { return U8(pos) | (U8(pos + 1) << 8); }
    std::uint32_t U32(std::size_t pos) const {
        return U16(pos) | (static_cast<std::uint32_t>(U16(pos + 2)) << 16);
    }
    std::string_view Sub(std::size_t pos, std::size_t count) const {
        return m_data.substr(pos, count);
    }
    std::size_t Size() const { return m_data.size(); }

private:
    std::string_view m_data;
};

struct Entry {
    std::string name;
    std::string spec;
};

// A shape's bytes: its name up to a 0, then the definition bytes.
std::optional<Entry> SplitEntry(std::string_view bytes) {
    const auto zero = bytes.find('\0');
    if (zero == std::string_view::npos)
        return std::nullopt;
    return Entry{std::string(bytes.substr(0, zero)), std::string(bytes.substr(zero + 1))};
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name a missing shape font is reported by: its file name, ".shx" added to a bare name.
std::string ShapeFileName(const std::string& path) {
    std::string name = FileNameOf(path);
    if (name.find('.') == std::string::npos)
        name += ".shx";
    return name;
}

std::string At(std::size_t pos) {
    return " at byte " + std::to_string(pos);
}

} // namespace

// Runs the definition bytes of a shape, with its subshapes, into strokes.
class ShxInterpreter {
public:
    explicit ShxInterpreter(const ShxFont& font) : m_font(font) {}

    ShxGlyph Run(std::uint32_t code, const std::string& spec) {
        m_path.push_back(code);
        Shape(spec);
        Flush();
        m_glyph.advance = Emit(m_pos).x;
        return std::move(m_glyph);
    }

private:
    // Where local shape coordinates land in the glyph: a big font's scaled primitives are drawn
    // in a frame of their own.
    struct Frame {
        double x = 0.0, y = 0.0, sx = 1.0, sy = 1.0;
    };

    ShxPoint Emit(const ShxPoint& p) const {
        return {m_frame.x + p.x * m_frame.sx, m_frame.y + p.y * m_frame.sy};
    }

    void Flush() {
        if (m_stroke.size() >= 2)
            m_glyph.strokes.push_back(std::move(m_stroke));
        m_stroke.clear();
    }

    void Point(const ShxPoint& p) {
        if (m_points >= kMaxPoints)
            return;
        ++m_points;
        m_stroke.push_back(Emit(p));
    }

    void MoveTo(const ShxPoint& p) {
        if (m_penDown) {
            if (m_stroke.empty())
                Point(m_pos);
            Point(p);
        }
        m_pos = p;
    }

    void MoveBy(double dx, double dy) { MoveTo({m_pos.x + dx, m_pos.y + dy}); }

    // An arc around `center` from the current position, sweeping `sweep` radians
    // (counter-clockwise when positive), ending exactly at `end`.
    void ArcTo(const ShxPoint& center, double radius, double startRad, double sweep,
               const ShxPoint& end) {
        if (m_penDown) {
            const int segments =
                std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / kArcStepRad)), 1, 144);
            if (m_stroke.empty())
                Point(m_pos);
            for (int i = 1; i < segments; ++i) {
                const double a = startRad + sweep * i / segments;
                Point({center.x + radius * std::cos(a), center.y + radius * std::sin(a)});
            }
            Point(end);
        }
        m_pos = end;
    }

    static int Signed(unsigned byte) { return byte >= 0x80 ? static_cast<int>(byte) - 256 : byte; }

    // The length of the command at `i` (its code byte and its operands), for code 14 to skip it.
    std::size_t CommandLength(const std::string& s, std::size_t i) const {
        const auto byte = [&](std::size_t k) {
            return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u;
        };
        const unsigned code = byte(i);
        if (code >= 0x10)
            return 1;
        switch (code) {
        case 3:
        case 4:
            return 2;
        case 7:
            if (m_font.Kind() == ShxKind::Unifont)
                return 3;
            if (m_font.Kind() == ShxKind::Bigfont && byte(i + 1) == 0)
                return 8;
            return 2;
        case 8:
        case 10:
            return 3;
        case 9: {
            std::size_t k = i + 1;
            while (k + 1 < s.size() && (byte(k) != 0 || byte(k + 1) != 0))
                k += 2;
            return k + 2 - i;
        }
        case 11:
            return 6;
        case 12:
            return 4;
        case 13: {
            std::size_t k = i + 1;
            while (k + 1 < s.size() && (byte(k) != 0 || byte(k + 1) != 0))
                k += 3;
            return k + 2 - i;
        }
        default:
            return 1;
        }
    }

    void Subshape(std::uint32_t code) {
        const auto it = m_font.m_shapes.find(code);
        if (it == m_font.m_shapes.end() || m_path.size() >= kMaxSubshapeDepth ||
            std::find(m_path.begin(), m_path.end(), code) != m_path.end())
            return;
        m_path.push_back(code);
        Shape(it->second);
        m_path.pop_back();
    }

    // A big font's primitive, scaled into the box (width × height of the font's character
    // height) at the base point; drawing resumes where it started.
    void Primitive(std::uint32_t code, int baseX, int baseY, int width, int height) {
        const double unit = m_font.Above() > 0 ? m_font.Above() : 1.0;
        const Frame outer = m_frame;
        const ShxPoint pos = m_pos;
        const double scale = m_scale;
        Flush();
        const ShxPoint origin = Emit({pos.x + baseX * scale, pos.y + baseY * scale});
        m_frame = {origin.x, origin.y, outer.sx * scale * width / unit,
                   outer.sy * scale * height / unit};
        m_pos = {0, 0};
        m_scale = 1.0;
        Subshape(code);
        Flush();
        m_frame = outer;
        m_pos = pos;
        m_scale = scale;
    }

    void Shape(const std::string& s) {
        std::size_t i = 0;
        const auto has = [&](std::size_t count) { return i + count <= s.size(); };
        const auto u8 = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
        while (i < s.size()) {
            if (++m_steps > kMaxSteps)
                return;
            const unsigned code = u8(i);
            if (code >= 0x10) {
                const ShxPoint d = kDirections[code & 0x0F];
                const double length = (code >> 4) * m_scale;
                MoveBy(d.x * length, d.y * length);
                ++i;
                continue;
            }
            switch (code) {
            case 0:
                return;
            case 1:
                m_penDown = true;
                ++i;
                break;
            case 2:
                m_penDown = false;
                Flush();
                ++i;
                break;
            case 3:
            case 4:
                if (!has(2))
                    return;
                if (u8(i + 1) != 0) {
                    const double factor = u8(i + 1);
                    m_scale = code == 3 ? m_scale / factor : m_scale * factor;
                    m_scale = std::clamp(m_scale, 1e-9, 1e9);
                }
                i += 2;
                break;
            case 5:
                if (m_stack.size() < kMaxStack)
                    m_stack.push_back(m_pos);
                ++i;
                break;
            case 6:
                if (!m_stack.empty()) {
                    Flush();
                    m_pos = m_stack.back();
                    m_stack.pop_back();
                }
                ++i;
                break;
            case 7:
                if (m_font.Kind() == ShxKind::Unifont) {
                    if (!has(3))
                        return;
                    Subshape((u8(i + 1) << 8) | u8(i + 2));
                    i += 3;
                } else if (m_font.Kind() == ShxKind::Bigfont && has(2) && u8(i + 1) == 0) {
                    if (!has(8))
                        return;
                    Primitive((u8(i + 2) << 8) | u8(i + 3), u8(i + 4), u8(i + 5), u8(i + 6),
                              u8(i + 7));
                    i += 8;
                } else {
                    if (!has(2))
                        return;
                    Subshape(u8(i + 1));
                    i += 2;
                }
                break;
            case 8:
                if (!has(3))
                    return;
                MoveBy(Signed(u8(i + 1)) * m_scale, Signed(u8(i + 2)) * m_scale);
                i += 3;
                break;
            case 9:
                ++i;
                while (has(2) && (u8(i) != 0 || u8(i + 1) != 0)) {
                    MoveBy(Signed(u8(i)) * m_scale, Signed(u8(i + 1)) * m_scale);
                    i += 2;
                }
                if (!has(2))
                    return;
                i += 2;
                break;
            case 10:
                if (!has(3))
                    return;
                OctantArc(u8(i + 1), Signed(u8(i + 2)));
                i += 3;
                break;
            case 11:
                if (!has(6))
                    return;
                FractionalArc(u8(i + 1), u8(i + 2), (u8(i + 3) << 8) | u8(i + 4),
                              Signed(u8(i + 5)));
                i += 6;
                break;
            case 12:
                if (!has(4))
                    return;
                BulgeArc(Signed(u8(i + 1)), Signed(u8(i + 2)), Signed(u8(i + 3)));
                i += 4;
                break;
            case 13:
                ++i;
                while (has(2) && (u8(i) != 0 || u8(i + 1) != 0)) {
                    if (!has(3))
                        return;
                    BulgeArc(Signed(u8(i)), Signed(u8(i + 1)), Signed(u8(i + 2)));
                    i += 3;
                }
                if (!has(2))
                    return;
                i += 2;
                break;
            case 14:
                // Text is laid out horizontally: the command meant for vertical text is skipped.
                i += 1;
                if (i < s.size())
                    i += CommandLength(s, i);
                break;
            default: // 15 is undefined
                ++i;
                break;
            }
        }
    }

    // The octant byte: sign = clockwise, high nibble = starting octant, low nibble = octants
    // spanned (0 for a full circle).
    static void Octants(int octantByte, bool& clockwise, int& start, int& count) {
        clockwise = octantByte < 0;
        const int magnitude = octantByte < 0 ? -octantByte : octantByte;
        start = (magnitude >> 4) & 7;
        count = magnitude & 7;
        if (count == 0)
            count = 8;
    }

    void OctantArc(unsigned radiusByte, int octantByte) {
        bool clockwise = false;
        int start = 0, count = 0;
        Octants(octantByte, clockwise, start, count);
        const double radius = radiusByte * m_scale;
        const ShxPoint from = OctantUnit(start);
        const ShxPoint center{m_pos.x - radius * from.x, m_pos.y - radius * from.y};
        const int end = clockwise ? start - count : start + count;
        const ShxPoint to = OctantUnit(end);
        ArcTo(center, radius, start * kPi / 4.0, (clockwise ? -count : count) * kPi / 4.0,
              {center.x + radius * to.x, center.y + radius * to.y});
    }

    // Offsets are 256ths of an octant past an octant boundary; the arc ends in the last octant
    // it spans, on its far boundary when the end offset is 0.
    void FractionalArc(unsigned startOffset, unsigned endOffset, unsigned radiusUnits,
                       int octantByte) {
        bool clockwise = false;
        int start = 0, count = 0;
        Octants(octantByte, clockwise, start, count);
        const double radius = radiusUnits * m_scale;
        const double octant = kPi / 4.0;
        const double startRad = (start + startOffset / 256.0) * octant;
        double endRad = 0.0;
        if (endOffset == 0)
            endRad = (clockwise ? start - count : start + count) * octant;
        else
            endRad = ((clockwise ? start - (count - 1) : start + (count - 1)) + endOffset / 256.0) *
                     octant;
        double sweep = endRad - startRad;
        if (clockwise)
            while (sweep >= 0.0)
                sweep -= 2.0 * kPi;
        else
            while (sweep <= 0.0)
                sweep += 2.0 * kPi;
        const ShxPoint center{m_pos.x - radius * std::cos(startRad),
                              m_pos.y - radius * std::sin(startRad)};
        ArcTo(center, radius, startRad, sweep,
              {center.x + radius * std::cos(startRad + sweep),
               center.y + radius * std::sin(startRad + sweep)});
    }

    // A chord (dx, dy) with a bulge of -127..127: the arc's height is bulge/127 of half the
    // chord, positive counter-clockwise, 0 a straight line.
    void BulgeArc(int dx, int dy, int bulgeByte) {
        const ShxPoint end{m_pos.x + dx * m_scale, m_pos.y + dy * m_scale};
        const double bulge = std::clamp(bulgeByte, -127, 127) / 127.0;
        const double chord = std::hypot(end.x - m_pos.x, end.y - m_pos.y);
        if (bulge == 0.0 || chord == 0.0) {
            MoveTo(end);
            return;
        }
        const double sweep = 4.0 * std::atan(bulge);
        // The centre lies on the chord's left normal, (1 − b²)/(4b) chords from its middle.
        const double offset = (1.0 - bulge * bulge) / (4.0 * bulge);
        const ShxPoint center{(m_pos.x + end.x) / 2.0 - (end.y - m_pos.y) * offset,
                              (m_pos.y + end.y) / 2.0 + (end.x - m_pos.x) * offset};
        const double radius = std::hypot(m_pos.x - center.x, m_pos.y - center.y);
        const double startRad = std::atan2(m_pos.y - center.y, m_pos.x - center.x);
        ArcTo(center, radius, startRad, sweep, end);
    }

    const ShxFont& m_font;
    ShxGlyph m_glyph;
    std::vector<ShxPoint> m_stroke;
    std::vector<ShxPoint> m_stack;
    std::vector<std::uint32_t> m_path;
    Frame m_frame;
    ShxPoint m_pos;
    double m_scale = 1.0;
    bool m_penDown = true;
    std::size_t m_steps = 0;
    std::size_t m_points = 0;
};

ShxFont ShxFont::Failed(std::string reason) {
    ShxFont font;
    font.m_error = std::move(reason);
    return font;
}

ShxFont ShxFont::Parse(std::string_view data) {
    const Bytes bytes(data);
    // "AutoCAD-86 shapes 1.0\r\n\x1A" and its kin: the kind, then end of line and ^Z.
    const auto eof = data.substr(0, 64).find('\x1A');
    if (eof == std::string_view::npos)
        return Failed("not a shape font (no header)");
    std::string_view header = data.substr(0, eof);
    while (!header.empty() && (header.back() == '\r' || header.back() == '\n'))
        header.remove_suffix(1);
    ShxFont font;
    if (header.substr(0, 20) == "AutoCAD-86 shapes 1.")
        font.m_kind = ShxKind::Shapes;
    else if (header == "AutoCAD-86 unifont 1.0")
        font.m_kind = ShxKind::Unifont;
    else if (header == "AutoCAD-86 bigfont 1.0")
        font.m_kind = ShxKind::Bigfont;
    else
        return Failed("not a shape font (header \"" + std::string(header) + "\")");
    std::size_t pos = eof + 1;

    std::string info; // the definition bytes of the information shape
    bool hasInfo = false;
    const auto add = [&](std::uint32_t code, std::string_view entryBytes) -> bool {
        auto entry = SplitEntry(entryBytes);
        if (!entry)
            return false;
        if (code == 0) {
            font.m_name = entry->name;
            info = std::move(entry->spec);
            hasInfo = true;
        } else {
            font.m_shapes[code] = std::move(entry->spec);
        }
        return true;
    };

    if (font.m_kind == ShxKind::Shapes) {
        if (!bytes.Has(pos, 6))
            return Failed("cut short" + At(pos));
        const unsigned count = bytes.U16(pos + 4);
        pos += 6;
        if (!bytes.Has(pos, std::size_t{4} * count))
            return Failed("index cut short" + At(pos));
        std::size_t data = pos + std::size_t{4} * count;
        for (unsigned k = 0; k < count; ++k, pos += 4) {
            const unsigned code = bytes.U16(pos), length = bytes.U16(pos + 2);
            if (!bytes.Has(data, length))
                return Failed("shape " + std::to_string(code) + " cut short" + At(data));
            if (!add(code, bytes.Sub(data, length)))
                return Failed("shape " + std::to_string(code) + " has no name" + At(data));
            data += length;
        }
    } else if (font.m_kind == ShxKind::Unifont) {
        if (!bytes.Has(pos, 6))
            return Failed("cut short" + At(pos));
        const std::uint32_t count = bytes.U32(pos);
        const unsigned infoLength = bytes.U16(pos + 4);
        pos += 6;
        if (!bytes.Has(pos, infoLength))
            return Failed("font information cut short" + At(pos));
        if (!add(0, bytes.Sub(pos, infoLength)))
            return Failed("font information has no name" + At(pos));
        pos += infoLength;
        // The count includes the information shape.
        for (std::uint32_t k = 1; k < count; ++k) {
            if (!bytes.Has(pos, 4))
                return Failed("cut short" + At(pos));
            const unsigned code = bytes.U16(pos), length = bytes.U16(pos + 2);
            pos += 4;
            if (!bytes.Has(pos, length))
                return Failed("shape " + std::to_string(code) + " cut short" + At(pos));
            if (!add(code, bytes.Sub(pos, length)))
                return Failed("shape " + std::to_string(code) + " has no name" + At(pos));
            pos += length;
        }
    } else {
        if (!bytes.Has(pos, 6))
            return Failed("cut short" + At(pos));
        const unsigned entries = std::max(bytes.U16(pos), bytes.U16(pos + 2));
        const unsigned ranges = bytes.U16(pos + 4);
        pos += 6;
        if (!bytes.Has(pos, std::size_t{4} * ranges))
            return Failed("escape ranges cut short" + At(pos));
        for (unsigned k = 0; k < ranges; ++k, pos += 4)
            font.m_leadRanges.emplace_back(static_cast<std::uint16_t>(bytes.U16(pos)),
                                           static_cast<std::uint16_t>(bytes.U16(pos + 2)));
        // Index entries (code, length, offset from the file's start) with empty slots between
        // them; the index ends where the first shape's bytes begin.
        std::size_t indexEnd = bytes.Size();
        for (unsigned k = 0; k < entries && pos < indexEnd; ++k, pos += 8) {
            if (!bytes.Has(pos, 8))
                return Failed("index cut short" + At(pos));
            const unsigned code = bytes.U16(pos), length = bytes.U16(pos + 2);
            const std::uint32_t offset = bytes.U32(pos + 4);
            if (length == 0)
                continue;
            if (offset < pos + 8 || !bytes.Has(offset, length))
                return Failed("shape " + std::to_string(code) + " lies outside the file" + At(pos));
            indexEnd = std::min<std::size_t>(indexEnd, offset);
            if (!add(code, bytes.Sub(offset, length)))
                return Failed("shape " + std::to_string(code) + " has no name" + At(offset));
        }
        if (font.m_leadRanges.empty())
            return Failed("big font without escape ranges");
    }

    if (font.m_shapes.empty())
        return Failed("no shapes");
    const auto infoByte = [&](std::size_t k) -> double {
        return k < info.size() ? static_cast<unsigned char>(info[k]) : 0.0;
    };
    if (hasInfo) {
        if (font.m_kind == ShxKind::Bigfont) {
            // Character height, 0, modes, character width, 0; some fonts put the height second.
            font.m_above = infoByte(0) > 0 ? infoByte(0) : infoByte(1);
            font.m_below = infoByte(0) > 0 ? infoByte(1) : 0.0;
            font.m_cellWidth = info.size() >= 5 ? infoByte(3) : 0.0;
        } else {
            font.m_above = infoByte(0);
            font.m_below = infoByte(1);
        }
    }
    font.m_error.clear();
    return font;
}

ShxFont ShxFont::Load(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(PathFromUtf8(path), error);
    if (error)
        return Failed("cannot read " + path + ": " + error.message());
    if (size > kMaxFileBytes)
        return Failed("too big for a shape font: " + path);
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof())
        return Failed("cannot read " + path);
    return Parse(data);
}

bool ShxFont::IsLeadByte(unsigned char byte) const {
    for (const auto& [first, last] : m_leadRanges)
        if (byte >= first && byte <= last)
            return true;
    return false;
}

std::optional<ShxGlyph> ShxFont::Glyph(std::uint32_t code) const {
    const auto it = m_shapes.find(code);
    if (it == m_shapes.end())
        return std::nullopt;
    return ShxInterpreter(*this).Run(code, it->second);
}

struct ShxTextFont::Encoder {
    explicit Encoder(const std::string& codePage) : page(codePage, false) {}
    drawing::detail::CodePage page;
};

ShxTextFont::ShxTextFont(std::shared_ptr<const ShxFont> font,
                         std::shared_ptr<const ShxFont> bigFont, std::string codePage)
    : m_font(font && font->Loaded() ? std::move(font) : nullptr),
      m_bigFont(bigFont && bigFont->Loaded() ? std::move(bigFont) : nullptr),
      m_encoder(std::make_unique<Encoder>(codePage)) {}

ShxTextFont::~ShxTextFont() = default;

std::string ShxTextFont::Encoded(char32_t codePoint) const {
    std::string utf8;
    drawing::detail::AppendUtf8(codePoint, utf8);
    // A character the code page cannot hold comes back as a \U+XXXX escape.
    return m_encoder->page.Encode(utf8);
}

std::optional<std::uint32_t> ShxTextFont::DoubleByteCode(char32_t codePoint) const {
    if (codePoint < 0x80)
        return std::nullopt;
    const std::string bytes = Encoded(codePoint);
    if (bytes.size() != 2 || !m_bigFont->IsLeadByte(static_cast<unsigned char>(bytes[0])))
        return std::nullopt;
    return (static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1]);
}

bool ShxTextFont::FullWidth(char32_t codePoint) const {
    if (codePoint < 0x80)
        return false;
    // The symbols a regular font keeps above its one-byte codes are no big font's.
    if (codePoint == 0x00B0 || codePoint == 0x00B1 || codePoint == 0x2205 || codePoint == 0x2300)
        return false;
    if (codePoint >= 0x2E80)
        return true;
    const std::string bytes = Encoded(codePoint);
    return bytes.size() == 2 && static_cast<unsigned char>(bytes[0]) >= 0x81;
}

std::optional<double> ShxTextFont::StandInAdvance(char32_t codePoint) const {
    if (FullWidth(codePoint)) {
        if (m_bigFont && m_bigFont->Above() > 0 && m_bigFont->CellWidth() > 0)
            return m_bigFont->CellWidth() / m_bigFont->Above();
        return kShxFullWidthAdvance;
    }
    return ShxLatinAdvance(codePoint);
}

namespace {

ShxGlyph Scaled(ShxGlyph glyph, double unit) {
    const double k = 1.0 / (unit > 0 ? unit : 1.0);
    for (auto& stroke : glyph.strokes)
        for (auto& p : stroke)
            p = {p.x * k, p.y * k};
    glyph.advance *= k;
    return glyph;
}

} // namespace

std::optional<ShxGlyph> ShxTextFont::Lookup(char32_t codePoint) const {
    if (m_bigFont) {
        if (const auto code = DoubleByteCode(codePoint)) {
            if (auto glyph = m_bigFont->Glyph(*code)) {
                // A big font's characters fill full-width cells; some leave the pen inside it.
                const double cell =
                    m_bigFont->CellWidth() > 0 ? m_bigFont->CellWidth() : m_bigFont->Above();
                glyph->advance = std::max(glyph->advance, cell);
                return Scaled(std::move(*glyph), m_bigFont->Above());
            }
        }
    }
    if (!m_font)
        return std::nullopt;
    std::uint32_t code = codePoint;
    if (m_font->Kind() == ShxKind::Shapes) {
        // Regular fonts keep these three symbols above the one-byte codes.
        if (codePoint == 0x00B0 && m_font->HasShape(256))
            code = 256;
        else if (codePoint == 0x00B1 && m_font->HasShape(257))
            code = 257;
        else if ((codePoint == 0x2205 || codePoint == 0x2300) && m_font->HasShape(258))
            code = 258;
        else if (codePoint > 0xFF)
            return std::nullopt;
    } else if (m_font->Kind() == ShxKind::Bigfont) {
        return std::nullopt;
    }
    auto glyph = m_font->Glyph(code);
    if (!glyph)
        return std::nullopt;
    return Scaled(std::move(*glyph), m_font->Above());
}

std::optional<ShxGlyph> ShxTextFont::Glyph(char32_t codePoint) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_cache.find(codePoint);
    if (it != m_cache.end())
        return it->second;
    return m_cache.emplace(codePoint, Lookup(codePoint)).first->second;
}

double ShxTextFont::Advance(std::string_view utf8, double missingAdvance) const {
    double width = 0.0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t codePoint = drawing::detail::NextCodePoint(utf8, pos);
        if (const auto glyph = Glyph(codePoint))
            width += glyph->advance;
        else
            width += StandInAdvance(codePoint).value_or(missingAdvance);
    }
    return width;
}

bool IsShapeFontFile(const std::string& fileName) {
    const std::string name = AsciiLower(FileNameOf(fileName));
    if (name.empty())
        return false;
    const auto dot = name.rfind('.');
    return dot == std::string::npos || name.substr(dot) == ".shx";
}

FontLibrary::FontLibrary(std::vector<std::string> folders, FontMap map, std::string standIn)
    : m_folders(std::move(folders)), m_map(std::move(map)), m_standIn(std::move(standIn)) {}

FontLibrary::~FontLibrary() = default;

std::string FontLibrary::PathOf(const std::string& lowerName) {
    if (!m_listed) {
        m_listed = true;
        namespace fs = std::filesystem;
        for (const std::string& folder : m_folders) {
            std::error_code error;
            for (fs::directory_iterator it(PathFromUtf8(folder), error), end; !error && it != end;
                 it.increment(error)) {
                std::error_code typeError;
                if (!it->is_regular_file(typeError))
                    continue;
                m_files.emplace(AsciiLower(Utf8FromPath(it->path().filename())),
                                Utf8FromPath(it->path()));
            }
        }
    }
    const auto it = m_files.find(lowerName);
    return it == m_files.end() ? std::string() : it->second;
}

std::shared_ptr<const ShxFont> FontLibrary::Find(const std::string& fileName) {
    std::string name = FileNameOf(fileName);
    std::string key = AsciiLower(name);
    if (key.empty())
        return nullptr;
    if (key.find('.') == std::string::npos) {
        key += ".shx";
        name += ".shx";
    }
    std::lock_guard lock(m_mutex);
    const auto cached = m_fonts.find(key);
    if (cached != m_fonts.end())
        return cached->second;
    std::shared_ptr<const ShxFont> font;
    const std::string path = PathOf(key);
    if (path.empty()) {
        m_warnings.Add("font not found: " + name);
    } else {
        auto loaded = std::make_shared<ShxFont>(ShxFont::Load(path));
        if (loaded->Loaded())
            font = std::move(loaded);
        else
            m_warnings.Add("font not loaded: " + name + " (" + loaded->Error() + ")");
    }
    m_fonts.emplace(key, font);
    return font;
}

std::shared_ptr<const ShxFont> FontLibrary::Resolve(const std::string& fileName, bool bigFont) {
    if (fileName.empty())
        return nullptr;
    if (auto font = Find(fileName))
        return font;
    const std::string replacement = m_map.ShapeFontFor(fileName, bigFont);
    if (!replacement.empty() &&
        !EqualsIgnoringAsciiCase(FileNameOf(replacement), FileNameOf(fileName))) {
        if (auto font = Find(replacement)) {
            NoteSubstitution(ShapeFileName(fileName), ShapeFileName(replacement));
            return font;
        }
    }
    return nullptr;
}

std::shared_ptr<const ShxTextFont> FontLibrary::TextFont(const std::string& fontFile,
                                                         const std::string& bigFontFile) {
    if (!IsShapeFontFile(fontFile))
        return nullptr;
    const auto key = std::make_pair(AsciiLower(fontFile), AsciiLower(bigFontFile));
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_textFonts.find(key);
        if (it != m_textFonts.end())
            return it->second;
    }
    auto font = Resolve(fontFile, false);
    auto bigFont = Resolve(bigFontFile, true);
    // What is still missing is drawn in the stand-in family, at the spacing of shape fonts.
    const std::string standIn =
        (m_standIn.empty() ? std::string("TrueType") : m_standIn) + "（按 SHX 字宽）";
    if (!font && !fontFile.empty())
        NoteSubstitution(ShapeFileName(fontFile), standIn);
    if (!bigFont && !bigFontFile.empty())
        NoteSubstitution(ShapeFileName(bigFontFile), standIn);
    auto textFont = std::make_shared<ShxTextFont>(std::move(font), std::move(bigFont));
    std::lock_guard lock(m_mutex);
    return m_textFonts.emplace(key, std::move(textFont)).first->second;
}

void FontLibrary::NoteSubstitution(const std::string& font, const std::string& replacement) {
    std::lock_guard lock(m_mutex);
    if (m_substituted.insert(AsciiLower(font)).second)
        m_substitutions.push_back(font + " → " + replacement);
}

std::vector<std::string> FontLibrary::TakeSubstitutions() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_substitutions, {});
}

std::vector<std::string> FontLibrary::TakeWarnings() {
    std::lock_guard lock(m_mutex);
    return m_warnings.Take();
}

} // namespace kw::render
