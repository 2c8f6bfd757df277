#pragma once

// Plot style tables: what a colour-dependent (.ctb) or named (.stb) table does to each object on
// paper — its colour, screening, lineweight, line ends and joins — read from the table files
// users keep in their styles folders, or one of the built-in tables.
//
// A file is a header line ("PIAFILEVERSION_2.0,CTBVER1,compress" or ...STBVER1...), the codec's
// name ("pmzlibcodec"), three little-endian 32-bit words (a checksum, the text's length, the
// compressed length) and a zlib stream of the table's text; a file may also hold the text alone.
// The text is `key=value` lines and `name{ ... }` groups (plot_style, custom_lineweight_table).

#include <QColor>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "render/render.h"

namespace kw::render {

enum class PlotStyleKind : std::uint8_t {
    ColorDependent, // .ctb: one style per ACI colour 1..255
    Named,          // .stb: styles by name, "Normal" first
};

// Line ends and joins with the numbers the files use.
enum class LineEnd : std::uint8_t { Butt = 0, Square = 1, Round = 2, Diamond = 3, Object = 4 };
enum class LineJoin : std::uint8_t { Miter = 0, Bevel = 1, Round = 2, Diamond = 3, Object = 5 };

struct PlotStyle {
    std::string name; // "Color_1".. in a .ctb; the style's own name in a .stb
    std::string description;
    std::optional<QRgb> color; // none: the object's colour
    bool grayscale = false;    // the colour policy's grayscale bit
    bool dithering = true;
    int screenPercent = 100; // 100 full ink, 0 none: the colour is screened towards white paper
    // The device linetype 0..30; kObjectLinetype keeps the object's linetype.
    int linetype = kObjectLinetype;
    bool adaptiveLinetype = true;
    double linepatternSize = 0.5;
    // An index into the table's lineweights; any index there is none for, and an entry of 0 mm,
    // mean the object's lineweight.
    int lineweightIndex = kObjectLineweightIndex;
    LineEnd end = LineEnd::Object;
    LineJoin join = LineJoin::Object;
    int fillStyle = kObjectFillStyle;
    int physicalPen = 0; // 0 automatic
    int virtualPen = 0;

    static constexpr int kObjectLinetype = 31;
    static constexpr int kObjectLineweightIndex = 255;
    static constexpr int kObjectFillStyle = 73;
};

// What the painter draws an object with.
struct StyleResult {
    QColor color;                 // screening applied
    double lineweightMm = 0.0;    // the table's or else the object's, on paper
    bool tableLineweight = false; // the table set the lineweight (plotted even without lineweights)
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
};

class PlotStyleTable {
public:
    // Reads a table file. Fails with Error 53 (not found), 75 (not readable) or 13 (not a table
    // of the kind its extension says, or damaged); the description starts with the file's name.
    static PlotStyleTable Load(const std::string& path);
    // Reads a table from the bytes of a file named `fileName` (for messages only).
    static PlotStyleTable Parse(std::string_view bytes, const std::string& fileName);
    // A built-in table: as drawn (acad), every colour black (monochrome) or each colour's
    // luminance (grayscale), with the objects' lineweights, linetypes, ends and joins.
    static PlotStyleTable BuiltIn(StyleMode mode, PlotStyleKind kind);

    PlotStyleKind Kind() const { return m_kind; }
    const std::string& Description() const { return m_description; }
    double ScaleFactor() const { return m_scaleFactor; }
    bool ApplyFactor() const { return m_applyFactor; }
    // The lineweights in millimetres that styles refer to by index.
    const std::vector<double>& LineweightsMm() const { return m_lineweightsMm; }
    // A .ctb's styles by ACI - 1; a .stb's in file order.
    const std::vector<PlotStyle>& Styles() const { return m_styles; }

    // The style of ACI 1..255 (.ctb), or of a name (.stb, letter case ignored; an empty,
    // "ByLayer", "ByBlock" or unknown name gives the first style, "Normal").
    const PlotStyle& StyleOf(int aci, const std::string& namedStyle) const;

    // What an object plots as: `drawn` its colour as drawn (ACI 7 already the ink colour), `aci`
    // its colour number 1..255 or 0 for a true colour (a .ctb then takes the nearest ACI's style),
    // `objectLineweightMm` its own lineweight, `namedStyle` its plot style name (.stb).
    StyleResult Resolve(const QColor& drawn, int aci, double objectLineweightMm,
                        const std::string& namedStyle) const;

private:
    PlotStyleTable() = default; // only whole tables: read, parsed or built in

    PlotStyleKind m_kind = PlotStyleKind::ColorDependent;
    std::string m_description;
    double m_scaleFactor = 1.0;
    bool m_applyFactor = false;
    std::vector<double> m_lineweightsMm;
    std::vector<PlotStyle> m_styles;
};

// The ACI 1..255 whose colour is nearest to `color`.
int NearestAci(const QColor& color);

} // namespace kw::render
