#pragma once

// The drawing model: what LoadDrawing reads from a DXF file. Names and text are UTF-8. A Document
// keeps the file's bytes so that SaveDrawing can write them back with only the plot settings of
// layouts changed (drawing/dxf_io.h).

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/warnings.h"
#include "drawing/entities.h"
#include "drawing/geometry.h"

namespace kw::drawing {

// One group code / value pair. Numbers are kept as the decimal text of their value (shortest
// round-trip form for binary files), strings decoded to UTF-8.
struct Tag {
    std::int16_t code = 0;
    std::string value;
};

// A header variable ($ACADVER, $INSBASE, ...): its tags in file order (a point has 10, 20, 30).
struct HeaderVariable {
    std::string name; // with the leading '$'
    std::vector<Tag> values;
};

struct Layer {
    std::string name;
    std::uint64_t handle = 0;
    std::int16_t color = 7;      // 62 as an absolute ACI value 1..255
    std::int32_t trueColor = -1; // 420, -1 when absent
    std::string linetype = "CONTINUOUS";
    std::int16_t lineweight = kLineweightDefault; // 370
    std::int16_t flags = 0; // 70: 1 frozen, 2 frozen in new viewports, 4 locked
    bool on = true;         // false when the file's colour is negative
    bool plot = true;       // 290
    std::uint64_t plotStyle = 0; // 390: its named plot style (Document::plotStyleNames)
    // From the layer's "AcCmTransparency" extended data (1071): kTransparencyAlpha | alpha, or
    // kTransparencyByLayer when the layer is opaque.
    std::int32_t transparency = kTransparencyByLayer;
    bool Frozen() const { return (flags & 1) != 0; }
    bool Locked() const { return (flags & 4) != 0; }
};

// A shape or a text a linetype draws where one of its dashes or gaps ends.
struct LinetypeShape {
    std::size_t dash = 0;         // the index in Linetype::dashes of that dash or gap
    std::int16_t flags = 0;       // 74: 1 rotation absolute, 2 text, 4 shape, 8 text upright
    std::int16_t shapeNumber = 0; // 75
    std::uint64_t style = 0;      // 340: the STYLE of the text, or the shape file (flag 1)
    double scale = 1.0;           // 46: times the style's fixed height, or the height itself
    double rotationDeg = 0.0;     // 50: to the line, or to the x axis when absolute
    double offsetX = 0.0;         // 44: along the line, linetype units
    double offsetY = 0.0;         // 45: to the left of it
    std::string text;             // 9
    bool IsText() const { return (flags & 2) != 0; }
    bool IsShape() const { return (flags & 4) != 0 && !IsText(); }
    bool AbsoluteRotation() const { return (flags & 1) != 0; }
};

struct Linetype {
    std::string name;
    std::uint64_t handle = 0;
    std::string description;           // 3
    double patternLength = 0.0;        // 40
    std::vector<double> dashes;        // 49: >0 dash, <0 gap, 0 dot
    std::vector<LinetypeShape> shapes; // in the order of their dashes
};

struct TextStyle {
    std::string name;
    std::uint64_t handle = 0;
    std::int16_t flags = 0;      // 70: 1 shape file, 4 vertical
    double fixedHeight = 0.0;    // 40, 0 = not fixed
    double widthFactor = 1.0;    // 41
    double obliqueDeg = 0.0;     // 50
    std::int16_t generation = 0; // 71
    std::string fontFile;        // 3 (simsun.ttc, txt.shx, gbenor.shx, ...)
    std::string bigFontFile;     // 4 (gbcbig.shx)
    std::string fontFamily;      // TrueType family from the ACAD xdata (1000), when given
    // Text of this style stands vertically: flag 4 with a shape font (the host draws TrueType
    // fonts horizontally whatever the flag says).
    bool Vertical() const;
};

// A multiline style (MLINESTYLE object): the parallel lines of the multilines that use it.
struct MLineStyle {
    struct Element {
        double offset = 0.0;                // 49: from the reference line, times the MLINE's scale
        std::int16_t color = kColorByLayer; // 62
        std::int32_t trueColor = -1;        // 420
        std::string linetype = "BYLAYER";   // 6
    };
    std::string name;
    std::uint64_t handle = 0;
    // 70: 1 filled, 2 miters shown, 16 / 256 square cap at the start / end, 32 / 512 inner arcs,
    // 64 / 1024 round (outer arc) cap
    std::int16_t flags = 0;
    std::int16_t fillColor = kColorByLayer; // 62
    std::int32_t fillTrueColor = -1;        // 420
    double startAngleDeg = 90.0;            // 51
    double endAngleDeg = 90.0;              // 52
    std::vector<Element> elements;          // in the file's order, which the MLINE's follows

    // The style a drawing without one uses: two BYLAYER lines half a unit either side.
    static const MLineStyle& Standard();
};

struct BlockRecord {
    std::string name;
    std::uint64_t handle = 0;
    std::uint64_t layoutHandle = 0; // 340, the LAYOUT of a *Model_Space / *Paper_Space record
    std::int16_t insertUnits = 0;   // 70
};

// A block definition (BLOCK ... ENDBLK), including the *Model_Space and *Paper_Space* blocks that
// hold the entities of the layouts.
struct Block {
    std::string name;
    std::uint64_t handle = 0;       // of the BLOCK entity
    std::uint64_t recordHandle = 0; // of its BLOCK_RECORD (0 in R12 files)
    std::string layer = "0";
    std::int16_t flags = 0;       // 70: 1 anonymous, 2 attributes, 4 xref, 8 overlay, 16 dependent
    Vec3 basePoint;               // 10
    std::string xrefPath;         // 1, path of the referenced drawing as the file gives it
    std::string description;      // 4
    std::vector<Entity> entities; // in file order
    bool IsXref() const { return (flags & (4 | 8)) != 0; }
    bool IsAnonymous() const { return (flags & 1) != 0; }
};

// Plot settings (group codes of AcDbPlotSettings) of a layout or a named page setup.
struct LayoutPlotSettings {
    std::string pageSetupName;       // 1
    std::string configName;          // 2, the device
    std::string canonicalMediaName;  // 4, the paper
    std::string plotViewName;        // 6
    std::string styleSheet;          // 7, the plot style table
    double marginLeftMm = 0.0;       // 40 (unprintable margins, millimetres)
    double marginBottomMm = 0.0;     // 41
    double marginRightMm = 0.0;      // 42
    double marginTopMm = 0.0;        // 43
    double paperWidthMm = 0.0;       // 44
    double paperHeightMm = 0.0;      // 45
    double plotOriginXMm = 0.0;      // 46
    double plotOriginYMm = 0.0;      // 47
    double windowMinX = 0.0;         // 48, plot window in drawing units
    double windowMinY = 0.0;         // 49
    double windowMaxX = 0.0;         // 140
    double windowMaxY = 0.0;         // 141
    double customScalePaper = 1.0;   // 142, numerator: paper units
    double customScaleDrawing = 1.0; // 143, denominator: drawing units
    std::int16_t flags = 0;          // 70, see kPlot... below
    std::int16_t paperUnits = 0;     // 72: 0 inches, 1 millimetres, 2 pixels
    std::int16_t plotRotation = 0;   // 73: 0..3 = 0, 90, 180, 270 degrees
    std::int16_t plotType = 0; // 74: 0 display, 1 extents, 2 limits, 3 view, 4 window, 5 layout
    std::int16_t standardScaleType = 0;   // 75
    double standardScaleFactor = 1.0;     // 147
    std::int16_t shadePlotMode = 0;       // 76
    std::int16_t shadePlotResolution = 0; // 77
    std::int16_t shadePlotDpi = 300;      // 78
    double paperImageOriginX = 0.0;       // 148
    double paperImageOriginY = 0.0;       // 149

    bool operator==(const LayoutPlotSettings&) const = default;
};

// Bits of LayoutPlotSettings::flags.
namespace plot_flags {
inline constexpr std::int16_t kPlotViewportBorders = 1;
inline constexpr std::int16_t kShowPlotStyles = 2;
inline constexpr std::int16_t kPlotCentered = 4;
inline constexpr std::int16_t kPlotHidden = 8;
inline constexpr std::int16_t kUseStandardScale = 16;
inline constexpr std::int16_t kPlotPlotStyles = 32;
inline constexpr std::int16_t kScaleLineweights = 64;
inline constexpr std::int16_t kPrintLineweights = 128;
inline constexpr std::int16_t kDrawViewportsFirst = 512;
inline constexpr std::int16_t kModelType = 1024;
} // namespace plot_flags

// A named page setup (PLOTSETTINGS object).
struct PageSetup {
    std::uint64_t handle = 0;
    LayoutPlotSettings plotSettings;
};

// Model space or a paper-space layout. Files without LAYOUT objects (R12, some R2000+) get a
// "Model" layout and, when they have paper-space entities, a "Layout1"; those cannot keep plot
// setting changes (Document::CanSavePlotSettings).
struct Layout {
    std::string name;                    // "Model", "Layout1", ...
    std::uint64_t handle = 0;            // of the LAYOUT object, 0 when synthesised
    std::uint64_t blockRecordHandle = 0; // 330 of AcDbLayout
    std::int16_t tabOrder = 0;           // 71; Model is 0
    bool isModel = false;
    std::size_t blockIndex = kNoBlock; // Document::blocks index of its entities
    Vec3 limitsMin;                    // 10
    Vec3 limitsMax;                    // 11
    Vec3 insertionBase;                // 12
    Vec3 extentsMin;                   // 14
    Vec3 extentsMax;                   // 15
    // Edit freely: SaveDrawing writes whatever differs from the file back into it.
    LayoutPlotSettings plotSettings;

    static constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);
};

struct SourceFormat {
    bool binary = false;
    bool crlf = false;       // ASCII line ends
    std::string acadVersion; // $ACADVER: "AC1009" ... "AC1032", "AC2.10"; "" when absent
    std::string codePage;    // $DWGCODEPAGE as written, "" when absent
};

namespace detail {
struct SourceData; // the file's bytes and tag positions (drawing/detail/source_data.h)
struct DocumentAccess;
} // namespace detail

class Document {
public:
    std::string path; // as given to LoadDrawing
    SourceFormat format;
    std::vector<HeaderVariable> header;
    std::vector<Layer> layers;
    std::vector<Linetype> linetypes;
    std::vector<TextStyle> textStyles;
    std::vector<BlockRecord> blockRecords;
    std::vector<Block> blocks;   // file order; model and paper space blocks included
    std::vector<Layout> layouts; // Model first, then paper-space layouts in tab order
    std::vector<PageSetup> pageSetups;
    // Named plot styles (drawings with $PSTYLEMODE 0): the handle an entity's or a layer's 390
    // gives → the style's name, from the ACAD_PLOTSTYLENAME dictionary.
    std::map<std::uint64_t, std::string> plotStyleNames;
    // The files of raster images: IMAGEDEF handle → its file name (1) as the file gives it.
    std::map<std::uint64_t, std::string> imageFiles;
    std::vector<MLineStyle> mlineStyles; // from the OBJECTS section
    // What the reader skipped or repaired, one line each with the line/offset ("line 812: ..."),
    // each once, up to Warnings::kCap.
    Warnings warnings;
    // Why the file is incomplete, as DxfError describes it ("plan.dxf: line 5120: the file ends
    // inside the ENTITIES section: ENDSEC expected; ..."), when it was loaded to recover what it
    // holds; empty for a whole file.
    std::string damage;

    // The release number of $ACADVER: 1009 for AC1009 ... 1032; 0 for older or unknown files.
    int Release() const;

    const HeaderVariable* FindHeader(std::string_view name) const; // name with '$', any case
    std::string HeaderText(std::string_view name, std::string_view fallback = {}) const;
    double HeaderNumber(std::string_view name, double fallback = 0.0) const;
    Vec3 HeaderPoint(std::string_view name, Vec3 fallback = {}) const;

    // Table and block look-ups by name, letter case ignored; nullptr when absent.
    const Layer* FindLayer(std::string_view name) const;
    const Linetype* FindLinetype(std::string_view name) const;
    const TextStyle* FindTextStyle(std::string_view name) const;
    const Block* FindBlock(std::string_view name) const;

    // The layout that was current when the file was saved ($TILEMODE 1 → Model, otherwise the
    // layout of *Paper_Space). A valid index: there is always at least the Model layout.
    std::size_t ActiveLayoutIndex() const;
    Layout& ActiveLayout() { return layouts[ActiveLayoutIndex()]; }
    const Layout& ActiveLayout() const { return layouts[ActiveLayoutIndex()]; }
    // The entities of a layout in file order (empty when it has none).
    const std::vector<Entity>& LayoutEntities(const Layout& layout) const;

    // Whether SaveDrawing can write changed plot settings of this layout (it has a LAYOUT object).
    bool CanSavePlotSettings(const Layout& layout) const;
    // Whether any layout's plot settings differ from what the file holds.
    bool HasChanges() const;

    // The file's bytes as read (empty for a document built in code).
    std::string_view Source() const;

    // Rebuilds the name look-ups after tables or blocks were changed in code.
    void RebuildIndexes();

private:
    friend struct detail::DocumentAccess;
    std::shared_ptr<detail::SourceData> m_source;
    std::map<std::string, std::size_t, std::less<>> m_layerIndex; // keys in folded case
    std::map<std::string, std::size_t, std::less<>> m_linetypeIndex;
    std::map<std::string, std::size_t, std::less<>> m_styleIndex;
    std::map<std::string, std::size_t, std::less<>> m_blockIndex;
};

// A multileader's text as the multiline text it draws: its content, place, height, width and
// attachment, in the text style its context names (STANDARD when that style is not there).
MTextGeometry MLeaderText(const Document& document, const MLeaderGeometry& mleader);

} // namespace kw::drawing
