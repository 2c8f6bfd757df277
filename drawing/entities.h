#pragma once

// Entities of a drawing: the common properties every entity has and the geometry of the types the
// program draws or measures. Other types are kept as Opaque and only take part in selection.
//
// Coordinate systems follow DXF: a field marked (OCS) is in the entity's object coordinate system
// given by `extrusion`; (WCS) is world coordinates. Text values are UTF-8 with `\U+XXXX` and
// `\M+NXXXX` already decoded. Angles keep the unit of the file: degrees where named Deg, radians
// otherwise.

#include <cstddef>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "drawing/geometry.h"

namespace kw::drawing {

struct Entity;

enum class EntityType : std::uint8_t {
    Unknown, // kept opaque; Opaque::dxfName says what it is
    Line,
    Point,
    Circle,
    Arc,
    Ellipse,
    LwPolyline,
    Polyline, // 2D, 3D, mesh and polyface POLYLINE with its VERTEX entities
    Spline,
    Text,
    MText,
    Attrib, // only inside Insert::attributes
    AttDef,
    Insert,
    Dimension,
    Hatch,
    Solid,
    Trace,
    Face3d,
    Leader,
    Viewport,
    XLine, // endless both ways
    Ray,   // endless one way
};

// Where an entity's tags lie in the document's source bytes (see Document::Source()).
struct SourceSpan {
    std::size_t offset = 0; // byte offset of the entity's group code 0
    std::uint32_t size = 0; // bytes up to the next group code 0 (attributes/vertices excluded)
    std::uint32_t line = 0; // 1-based line of the group code 0 in an ASCII file, 0 in binary
};

struct LineGeometry {
    Vec3 start; // (WCS)
    Vec3 end;   // (WCS)
};

struct PointGeometry {
    Vec3 location; // (WCS)
};

struct CircleGeometry {
    Vec3 center; // (OCS)
    double radius = 0.0;
};

// Counter-clockwise about the extrusion from start to end angle.
struct ArcGeometry {
    Vec3 center; // (OCS)
    double radius = 0.0;
    double startAngleDeg = 0.0;
    double endAngleDeg = 360.0;
};

struct EllipseGeometry {
    Vec3 center;           // (WCS)
    Vec3 majorAxis;        // (WCS) end point of the major axis relative to the center
    double ratio = 1.0;    // minor / major axis length
    double startParam = 0; // radians, 0 and 2π for a full ellipse
    double endParam = 2 * kPi;
};

// A vertex of a lightweight polyline or a 2D POLYLINE; the bulge (tan of a quarter of the included
// angle, negative = clockwise) shapes the segment to the next vertex.
struct PolylineVertex {
    double x = 0.0;
    double y = 0.0;
    double bulge = 0.0;
    double startWidth = 0.0;
    double endWidth = 0.0;
};

struct LwPolylineGeometry {
    std::vector<PolylineVertex> vertices; // (OCS) at z = elevation
    double elevation = 0.0;
    double constantWidth = 0.0;
    std::int16_t flags = 0; // 70: 1 closed, 128 linetype generation
    bool Closed() const { return (flags & 1) != 0; }
};

struct Polyline3dVertex {
    Vec3 location; // (OCS) for a 2D polyline, (WCS) for 3D / mesh / polyface
    double bulge = 0.0;
    double startWidth = 0.0;
    double endWidth = 0.0;
    std::int16_t flags = 0; // VERTEX 70: 128 polyface face record (location unused), 64 mesh...
};

struct PolylineGeometry {
    std::vector<Polyline3dVertex> vertices;
    double elevation = 0.0; // z of the POLYLINE's own 10 point (OCS), 2D polylines only
    std::int16_t flags = 0; // 70: 1 closed, 8 3D polyline, 16 polygon mesh, 64 polyface mesh
    bool Closed() const { return (flags & 1) != 0; }
    bool Is3d() const { return (flags & (8 | 16 | 64)) != 0; }
};

// A B-spline (WCS); fitPoints only where the file gives no control points.
struct SplineGeometry {
    std::int16_t degree = 3;
    std::int16_t flags = 0; // 70: 1 closed, 2 periodic, 4 rational, 8 planar
    std::vector<double> knots;
    std::vector<double> weights; // empty = all 1
    std::vector<Vec3> controlPoints;
    std::vector<Vec3> fitPoints;
};

// TEXT, ATTRIB and ATTDEF. (An ATTDEF's prompt, group 3, is left to EntityTags.)
struct TextGeometry {
    std::string text;               // 1, caret escapes (^J) decoded
    std::string style = "STANDARD"; // 7
    std::string tag;                // 2, ATTRIB/ATTDEF only
    Vec3 insertion;                 // (OCS) 10, first alignment point
    Vec3 alignment;              // (OCS) 11, second alignment point (used when not left/baseline)
    double height = 0.0;         // 40
    double rotationDeg = 0.0;    // 50
    double widthFactor = 1.0;    // 41
    double obliqueDeg = 0.0;     // 51
    std::int16_t generation = 0; // 71: 2 backwards, 4 upside down
    std::int16_t hAlign = 0;     // 72: 0 left, 1 center, 2 right, 3 aligned, 4 middle, 5 fit
    std::int16_t vAlign = 0;     // 73 (74 in ATTRIB/ATTDEF): 0 baseline, 1 bottom, 2 middle, 3 top
    std::int16_t attributeFlags =
        0;                     // 70, ATTRIB/ATTDEF: 1 invisible, 2 constant, 4 verify, 8 preset
    bool hasAlignment = false; // the file gives the 11 point
};

// The columns of an MTEXT: the text flows down column 1, then column 2 beside it, and so on.
struct MTextColumns {
    std::int16_t type = 0;       // 75: 0 none, 1 static, 2 dynamic
    std::int16_t count = 0;      // 76; 0 when the writer left it to the text (dynamic, auto height)
    bool flowReversed = false;   // 78
    bool autoHeight = false;     // 79: every column is as high as the defined height (46)
    double width = 0.0;          // 48
    double gutter = 0.0;         // 49: the space between two columns
    std::vector<double> heights; // 50: per column (dynamic without auto height); 0 = the rest
    // Releases 2007 to 2013 keep columns 2, 3, ... as MTEXTs of their own, listed here; the
    // reader moves their text into this one.
    std::vector<std::uint64_t> linked;
    // The height of column `index` (0-based), 0 = unlimited; `definedHeight` is the MTEXT's 46.
    double Height(std::size_t index, double definedHeight) const;
};

struct MTextGeometry {
    std::string text; // 3... then 1 joined; formatting codes (\P, {\f...}) kept
    std::string style = "STANDARD";
    Vec3 insertion;              // (WCS) 10
    Vec3 xDirection{1, 0, 0};    // (WCS) 11; from rotation 50 when the file has no 11
    double height = 0.0;         // 40 nominal character height
    double referenceWidth = 0.0; // 41, 0 = no wrapping
    double actualWidth = 0.0;    // 42, width of the laid-out text as the writer measured it
    double lineSpacingFactor = 1.0;
    std::int16_t attachment = 1;       // 71: 1 top left ... 9 bottom right
    std::int16_t drawingDirection = 1; // 72
    double rectHeight = 0.0;           // 43, height of the laid-out text as the writer measured it
    // The background mask: 90 bit 1 fills with the colour 63/421, bit 2 with the background; 45
    // the mask's size as a multiple of the text height around the text (1.5: half a height). Bit
    // 16 draws a frame in the text's colour around the text's box, or around each column.
    std::int16_t backgroundFill = 0;       // 90
    std::int16_t backgroundColor = 0;      // 63
    std::int32_t backgroundTrueColor = -1; // 421
    double backgroundScale = 1.5;          // 45
    double definedHeight = 0.0;            // 46: the height the user gave the text box, 0 = none
    std::shared_ptr<const MTextColumns> columns; // only when the text has columns
    // A column of another MTEXT (releases 2007 to 2013): its text is drawn by that one.
    bool linkedColumn = false;
    bool Framed() const { return (backgroundFill & 16) != 0; } // a frame around the text's box
};

// INSERT (MINSERT when columns or rows > 1). Attributes follow the insert in the file and are
// kept here; they are placed in their own coordinates, not transformed by the insert.
struct InsertGeometry {
    std::string blockName;          // 2
    Vec3 insertion;                 // (OCS) 10
    Vec3 scale{1, 1, 1};            // 41, 42, 43; negative values mirror
    double rotationDeg = 0.0;       // 50
    std::int16_t columns = 1;       // 70
    std::int16_t rows = 1;          // 71
    double columnSpacing = 0.0;     // 44
    double rowSpacing = 0.0;        // 45
    std::vector<Entity> attributes; // ATTRIB entities, type Attrib
};

struct DimensionGeometry {
    std::string blockName;          // 2, the anonymous block that holds the drawn dimension
    std::string text;               // 1
    std::string style;              // 3
    Vec3 definitionPoint;           // (WCS) 10
    Vec3 textMidpoint;              // (OCS) 11
    Vec3 insertion;                 // (OCS) 12, translation of the block, usually 0
    std::int16_t dimensionType = 0; // 70
};

// One edge of a hatch boundary path (OCS, at the hatch's elevation).
struct HatchEdge {
    enum class Kind : std::uint8_t { Line = 1, Arc = 2, Ellipse = 3, Spline = 4 } kind = Kind::Line;
    Vec3 start;               // line start; arc/ellipse center
    Vec3 end;                 // line end; ellipse major axis end point relative to the center
    double radius = 0;        // arc radius; ellipse minor/major ratio
    double startAngleDeg = 0; // arc/ellipse start angle (degrees, as the file gives them)
    double endAngleDeg = 0;
    bool counterClockwise = true;
    SplineGeometry spline; // spline edges only
};

struct HatchBoundary {
    std::int32_t flags = 0;               // 92: 2 polyline, 1 external, 16 outermost ...
    std::vector<PolylineVertex> polyline; // polyline boundaries
    bool closed = true;
    std::vector<HatchEdge> edges; // edge boundaries
};

// One line family of a hatch pattern, as the HATCH stores it: already turned by the pattern's
// angle and multiplied by its scale (OCS units).
struct HatchPatternLine {
    double angleDeg = 0.0;      // 53
    double baseX = 0.0;         // 43
    double baseY = 0.0;         // 44
    double offsetX = 0.0;       // 45, from one line of the family to the next
    double offsetY = 0.0;       // 46
    std::vector<double> dashes; // 49: >0 dash, <0 gap, 0 dot; empty = continuous
};

struct HatchGeometry {
    std::string patternName; // 2
    bool solidFill = false;  // 70
    double elevation = 0.0;  // z of 10
    std::vector<HatchBoundary> boundaries;
    std::int16_t style = 0; // 75: 0 normal (alternate islands), 1 outermost, 2 ignore islands
    std::vector<HatchPatternLine> patternLines;
    bool gradient = false;                    // 450
    std::vector<std::int32_t> gradientColors; // 421: 0x00RRGGBB, the gradient's two colours
};

// SOLID and TRACE (OCS), 3DFACE (WCS). The third and fourth corner coincide for a triangle.
struct QuadGeometry {
    Vec3 corners[4];
    std::int16_t invisibleEdges = 0; // 3DFACE 70
};

struct LeaderGeometry {
    std::vector<Vec3> vertices; // (WCS) 10
    bool arrowhead = true;      // 71
    std::string style;          // 3 dimension style
};

// XLINE and RAY: construction lines through a base point, endless both ways or from the base
// point on. They have no extents; the painter draws the part that crosses the window it paints.
struct RayGeometry {
    Vec3 base;               // (WCS) 10
    Vec3 direction{1, 0, 0}; // (WCS) 11, a unit vector
};

// VIEWPORT in paper space: the window onto model space.
struct ViewportGeometry {
    Vec3 center;         // (WCS paper space) 10
    double width = 0.0;  // 40 in paper units
    double height = 0.0; // 41
    std::int16_t id = 0; // 69; 1 is the paper space itself
    std::int16_t status = 0; // 68: 0 off, -1 off screen, > 0 on (stacking order)
    double viewCenterX = 0.0, viewCenterY = 0.0; // 12, 22: model view centre (display coordinates)
    Vec3 viewDirection{0, 0, 1};                 // 16, 26, 36
    Vec3 viewTarget;                             // 17, 27, 37
    double viewHeight = 0.0;                 // 45: model units shown across the viewport's height
    double twistDeg = 0.0;                   // 51
    std::int32_t flags = 0;                  // 90: 65536 (bit 16) the clip boundary is on
    std::uint64_t clipBoundary = 0;          // 340: the entity that clips a non-rectangular view
    std::vector<std::uint64_t> frozenLayers; // 331: layers frozen in this viewport
};

// Where an IMAGE or a WIPEOUT lies: a raster of pixels placed by its lower-left corner and the
// vectors of one pixel, clipped to an outline given in pixel coordinates (x to the right, y down
// from the upper-left corner; the raster covers -0.5 .. size - 0.5 both ways).
struct RasterGeometry {
    Vec3 insertion;                    // 10 (WCS): the raster's lower-left corner
    Vec3 u{1, 0, 0};                   // 11: one pixel along the raster's bottom edge
    Vec3 v{0, 1, 0};                   // 12: one pixel up its left edge
    double widthPx = 0, heightPx = 0;  // 13
    std::uint64_t imageDefinition = 0; // 340 (IMAGE): the IMAGEDEF that names the file
    std::int16_t display = 0; // 70: 1 shown, 2 shown when not aligned, 4 clipped, 8 transparent
    bool clipping = false;    // 280
    std::vector<Vec3> clip;   // 14: 2 corners of a rectangle, or a polygon's vertices
    // The clip outline in WCS: the clip polygon when clipping is on, else the raster's rectangle.
    std::vector<Vec3> Outline() const;
};

// A multileader (MULTILEADER, MLEADER): its leader lines, landings and text, as its context data
// places them (WCS). Block content is not kept.
struct MLeaderGeometry {
    struct Leader {
        std::vector<std::vector<Vec3>> lines; // each from its arrowhead to before the landing
        bool hasLanding = false;              // 290
        Vec3 landing;                         // 10: where the lines end
        Vec3 doglegDirection{1, 0, 0};        // 11
        double doglegLength = 0.0;            // 40
        // Line `i` as drawn: its vertices, then the landing where there is one.
        std::vector<Vec3> Vertices(std::size_t i) const {
            std::vector<Vec3> vertices = lines[i];
            if (hasLanding)
                vertices.push_back(landing);
            return vertices;
        }
    };
    std::vector<Leader> leaders;
    double scale = 1.0;              // 40 of the context
    double arrowSize = 0.0;          // 140 of the context
    std::int16_t lineType = 1;       // 170: 0 invisible, 1 straight, 2 spline
    bool dogleg = true;              // 291
    bool hasText = false;            // 290 of the context
    std::string text;                // 304, with MTEXT formatting codes
    std::uint64_t textStyle = 0;     // 340 of the context: the STYLE's handle
    Vec3 textLocation;               // 12
    Vec3 textDirection{1, 0, 0};     // 13
    double textHeight = 0.0;         // 41
    double textWidth = 0.0;          // 43
    double lineSpacingFactor = 1.0;  // 45
    std::int16_t textAttachment = 1; // 171 of the context
};

// A multiline (MLINE) as the file stores it: the vertices of its reference line (WCS), and at each
// vertex where every element of its style (MLINESTYLE) lies and where it is broken.
struct MLineGeometry {
    struct Vertex {
        Vec3 position;           // 11
        Vec3 direction{1, 0, 0}; // 12: of the segment that starts here
        Vec3 miter{0, 1, 0};     // 13: the elements lie along it at this vertex
        // 41 per style element: the distance along the miter from the vertex to the element, then
        // where along the segment its dashes start and end (start, end, start, ...), measured
        // from that point in the segment's direction. Already scaled and justified.
        std::vector<std::vector<double>> elementParameters;
        std::vector<std::vector<double>> fillParameters; // 42 per element: breaks of the fill
    };
    std::string styleName = "STANDARD"; // 2
    std::uint64_t styleHandle = 0;      // 340: the MLINESTYLE object
    double scale = 1.0;                 // 40: times the style's offsets
    std::int16_t justification = 0;     // 70: 0 top, 1 zero, 2 bottom element on the vertices
    std::int16_t flags = 0;             // 71: 2 closed, 4 start caps off, 8 end caps off
    std::vector<Vertex> vertices;
    bool Closed() const { return (flags & 2) != 0; }
};

// What a custom object (ACAD_PROXY_ENTITY, or an entity of a class the program does not know)
// looks like without its application: the graphics stored with it, decoded into ordinary entities
// in world coordinates (drawing/proxy_graphics.h). They are drawn and measured like the content of
// a block placed at the identity: layer 0, BYBLOCK colour, linetype and lineweight take the
// custom object's own.
struct ProxyGraphics {
    std::vector<Entity> entities;
};

// What a table (ACAD_TABLE) stores of itself beside its anonymous block (AcDbTable): its grid and
// its cells' texts, enough to lay it out when the block is missing (drawing/table_layout.h).
struct TableContent {
    struct Cell {
        std::string text;             // 1 and 2, else its value's formatted text (302); MTEXT codes
        std::string style;            // 7; empty: the table style's for the row
        double height = 0.0;          // 140; 0: the table style's
        std::int16_t alignment = 0;   // 170: 1 top left ... 9 bottom right; 0: the table style's
        std::int16_t color = -1;      // 64; -1: the table style's
        double rotation = 0.0;        // 145, radians
        std::int32_t columnSpan = 1;  // 175: the columns a merged cell covers
        std::int32_t rowSpan = 1;     // 176: the rows it covers
    };
    std::uint64_t styleHandle = 0;     // 342: its TABLESTYLE
    Vec3 direction{1, 0, 0};           // 11: along a row
    // The table's own overrides of its style, where it gives them: the margins, the flow, and
    // per kind of cell (data, title, header, in the style's order) text style, height, alignment
    // and colour. -1, 0 or empty: the style's.
    double horizontalMargin = -1;                   // 40
    double verticalMargin = -1;                     // 41
    std::int16_t flow = -1;                         // 70: 0 down, 1 up
    std::array<std::string, 3> textStyles;          // 7
    std::array<double, 3> heights{};                // 140
    std::array<std::int16_t, 3> alignments{};       // 170
    std::array<std::int16_t, 3> colors{-1, -1, -1}; // 64
    std::vector<double> rowHeights;    // 141, from the top row on
    std::vector<double> columnWidths;  // 142, from the left
    std::vector<Cell> cells;           // row by row; fewer than rows × columns when cut short
};

// Any other type (3DSOLID, LIGHT, ...): no geometry kept, except
// - a table (ACAD_TABLE), whose drawn content is an anonymous block placed like a block
//   reference: its name and insertion point are kept, so that it is measured and drawn; where
//   that block is missing, the table draws as its stored graphics, or else as laid out from its
//   own data (both kept in `proxy`);
// - an IMAGE or WIPEOUT: where its raster lies (the picture itself stays in its file);
// - a MULTILEADER: its lines and text;
// - an MLINE: its vertices and their element parameters;
// - a custom object with proxy graphics: those graphics.
struct OpaqueGeometry {
    std::string dxfName;   // the type name as the file spells it
    std::string blockName; // ACAD_TABLE: 2 of AcDbBlockReference (a "*T..." block); else empty
    Vec3 insertion;        // ACAD_TABLE: 10 (WCS)
    std::shared_ptr<const RasterGeometry> raster;   // IMAGE, WIPEOUT
    std::shared_ptr<const MLeaderGeometry> mleader; // MULTILEADER
    std::shared_ptr<const MLineGeometry> mline;     // MLINE
    std::shared_ptr<const ProxyGraphics> proxy;     // custom objects; tables without a block
    std::shared_ptr<const TableContent> table;      // ACAD_TABLE
};

using EntityGeometry =
    std::variant<OpaqueGeometry, LineGeometry, PointGeometry, CircleGeometry, ArcGeometry,
                 EllipseGeometry, LwPolylineGeometry, PolylineGeometry, SplineGeometry,
                 TextGeometry, MTextGeometry, InsertGeometry, DimensionGeometry, HatchGeometry,
                 QuadGeometry, LeaderGeometry, ViewportGeometry, RayGeometry>;

inline constexpr std::int16_t kColorByBlock = 0;
inline constexpr std::int16_t kColorByLayer = 256;
inline constexpr std::int16_t kLineweightByLayer = -1;
inline constexpr std::int16_t kLineweightByBlock = -2;
inline constexpr std::int16_t kLineweightDefault = -3;
// Transparency (440): kTransparencyAlpha | alpha, where alpha 0 is clear and 255 opaque.
inline constexpr std::int32_t kTransparencyByLayer = -1; // also what a missing 440 means
inline constexpr std::int32_t kTransparencyByBlock = 0x01000000;
inline constexpr std::int32_t kTransparencyAlpha = 0x02000000;

struct Entity {
    EntityType type = EntityType::Unknown;
    bool paperSpace = false;                      // 67
    bool invisible = false;                       // 60
    std::int16_t color = kColorByLayer;           // 62: ACI 1..255, 0 BYBLOCK, 256 BYLAYER
    std::int16_t lineweight = kLineweightByLayer; // 370: 1/100 mm or one of the kLineweight values
    std::int32_t trueColor = -1;                  // 420: 0x00RRGGBB, -1 when absent
    std::int32_t transparency = kTransparencyByLayer; // 440
    std::uint64_t handle = 0;      // 5 (105 for DIMSTYLE); 0 when the file gives none
    std::uint64_t ownerHandle = 0; // 330
    std::string layer = "0";       // 8
    std::string linetype;          // 6; empty = BYLAYER
    std::uint64_t plotStyle = 0;   // 390: a named plot style; 0 = BYLAYER
    double linetypeScale = 1.0;    // 48
    double thickness = 0.0;        // 39
    Vec3 extrusion{0, 0, 1};       // 210
    SourceSpan source;
    EntityGeometry geometry;

    // The DXF type name: "LINE", "LWPOLYLINE", ...; an opaque entity's name as in the file.
    std::string_view DxfName() const;
};

// The DXF type name of a type; "" for Unknown.
std::string_view DxfNameOf(EntityType type);

} // namespace kw::drawing
