#pragma once

// The painter's insides, shared by its files: the renderer's per-drawing state (fonts, indexes,
// pictures, warnings) and one painting pass over a window. Each file of render/pass_*.cpp draws one
// family of entities; render/pass.cpp holds the properties, strokes and the dispatch.

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <unordered_set>

#include "base/characters.h"
#include "base/warnings.h"
#include "drawing/block_path.h"
#include "drawing/extents.h"
#include "drawing/spatial_index.h"
#include "render/canvas.h"
#include "render/colors.h"
#include "render/fonts.h"
#include "render/plot_style_table.h"
#include "render/render.h"
#include "render/shx_font.h"
#include "render/text_content.h"

namespace kw::render {

struct Renderer::State {
    State(const drawing::Document& d, std::shared_ptr<FontLibrary> f)
        : document(d), fonts(std::move(f)) {}

    const drawing::Document& document;
    std::shared_ptr<FontLibrary> fonts;
    // Shape fonts by text style; null for a style drawn with a TrueType or the fallback font.
    mutable std::map<std::string, std::shared_ptr<const ShxTextFont>> shapeFaces;
    mutable std::mutex mutex;
    mutable std::map<std::size_t, drawing::SpatialIndex> indexes;
    mutable kw::Warnings warnings;
    mutable std::map<std::string, std::shared_ptr<const QImage>> pictures; // by file
    // Fonts and their metrics by text style, looked up once: the font database is slow to ask.
    struct StyleFace {
        QFont font;
        QFontMetricsF metrics;
        double capHeight;
        // The ink ideographs reach, in font pixels (y down): of 国审中丁, which between them
        // touch the face's top, bottom and sides. Empty for a font without them.
        QRectF ideograph;
        // How far Latin letters reach above the baseline (ascenders of b d h k l), font pixels.
        double latinTop;
    };
    mutable std::map<std::string, StyleFace> faces;

    // The face of a text style, or of the family (and weight, slant) an MTEXT code names.
    const StyleFace& Face(const drawing::Document& d, const std::string& styleName,
                          const std::string& family = {}, bool bold = false,
                          bool italic = false) const {
        std::lock_guard lock(mutex);
        const drawing::TextStyle* style = d.FindTextStyle(styleName);
        const std::string key = (style ? style->name : std::string()) + '\n' + family + '\n' +
                                (bold ? "b" : "") + (italic ? "i" : "");
        auto it = faces.find(key);
        if (it == faces.end()) {
            drawing::TextStyle named = style ? *style : drawing::TextStyle{};
            if (!family.empty()) {
                named.fontFamily = family.find('.') == std::string::npos ? family : std::string();
                named.fontFile = family;
            }
            std::string missing;
            QFont font = StyleFont(style || !family.empty() ? &named : nullptr,
                                   fonts ? &fonts->Map() : nullptr, &missing);
            if (fonts && !missing.empty() && !font.families().isEmpty())
                fonts->NoteSubstitution(missing, font.families().front().toStdString());
            font.setBold(bold);
            font.setItalic(italic);
            QFontMetricsF metrics(font);
            // The text height is the height of a capital letter.
            const double cap =
                metrics.capHeight() > 0 ? metrics.capHeight() : metrics.ascent() * 0.7;
            const QString ideographs = QStringLiteral("国审中丁");
            const QRectF ideograph = metrics.inFont(ideographs.front())
                                         ? metrics.tightBoundingRect(ideographs)
                                         : QRectF();
            const double latinTop = -metrics.tightBoundingRect(QStringLiteral("Hbdhkl")).top();
            it = faces.emplace(key, StyleFace{font, metrics, cap, ideograph, latinTop}).first;
        }
        return it->second;
    }

    const drawing::SpatialIndex& Index(std::size_t layoutIndex) const {
        std::lock_guard lock(mutex);
        auto it = indexes.find(layoutIndex);
        if (it == indexes.end()) {
            const auto& layout = document.layouts.at(layoutIndex);
            it = indexes.emplace(layoutIndex, drawing::BuildLayoutIndex(document, layout)).first;
        }
        return it->second;
    }

    const ShxTextFont* ShapeFace(const drawing::Document& d, const std::string& styleName) const {
        const drawing::TextStyle* style = d.FindTextStyle(styleName);
        if (!fonts || !style || !style->fontFamily.empty())
            return nullptr;
        {
            std::lock_guard lock(mutex);
            const auto it = shapeFaces.find(style->name);
            if (it != shapeFaces.end())
                return it->second.get();
        }
        auto face = fonts->TextFont(style->fontFile, style->bigFontFile);
        for (const std::string& warning : fonts->TakeWarnings())
            Warn(warning);
        std::lock_guard lock(mutex);
        return shapeFaces.emplace(style->name, std::move(face)).first->second.get();
    }

    // The picture of a raster image, read once per file; null (and said once) when its file is
    // not found or cannot be read.
    std::shared_ptr<const QImage> Picture(const drawing::Document& d,
                                          std::uint64_t definition) const {
        const auto named = d.imageFiles.find(definition);
        if (named == d.imageFiles.end())
            return nullptr;
        const std::string file = drawing::FindXrefFile(d.path, named->second);
        {
            std::lock_guard lock(mutex);
            const auto it = pictures.find(file);
            if (!file.empty() && it != pictures.end())
                return it->second;
        }
        std::shared_ptr<const QImage> picture;
        if (!file.empty()) {
            QImage image(QString::fromStdString(file));
            if (!image.isNull())
                picture = std::make_shared<const QImage>(std::move(image));
        }
        if (!picture) {
            Warn("image \"" + named->second + "\" was not found or could not be read");
            return nullptr;
        }
        std::lock_guard lock(mutex);
        return pictures.emplace(file, std::move(picture)).first->second;
    }

    // A shape file a linetype draws from, found in the fonts folders; null (and named once) when
    // it is not there.
    std::shared_ptr<const ShxFont> ShapeFile(const std::string& file) const {
        if (!fonts) {
            Warn("font not found: " + file);
            return nullptr;
        }
        auto font = fonts->Find(file);
        for (const std::string& warning : fonts->TakeWarnings())
            Warn(warning);
        return font;
    }

    void Warn(const std::string& text) const {
        std::lock_guard lock(mutex);
        warnings.Add(text);
    }
};

namespace detail {

using drawing::Block;
using drawing::Document;
using drawing::Entity;
using drawing::EntityType;
using drawing::Layer;
using drawing::Transform;
using drawing::Vec3;

inline constexpr double kTwoPi = 2.0 * drawing::kPi;
// Lines are drawn this wide when lineweights are not plotted (millimetres on paper).
inline constexpr double kThinLineMm = 0.1;
// Stacked fractions are drawn at this share of the text height.
inline constexpr double kStackScale = 0.7;
// The lineweight of "default" when the drawing does not say ($LWDEFAULT, 1/100 mm).
inline constexpr double kDefaultLineweightMm = 0.25;

// What a block reference hands down to its content.
struct Inherited {
    const Layer* layer = nullptr; // the reference's layer: what layer-0 content takes
    QColor byBlockColor;          // invalid at the top: ACI 7
    int byBlockAci = 7;           // for the plot style table; 0 for a true colour
    double byBlockLineweightMm = -1.0;
    int byBlockAlpha = 255; // the reference's opacity, 0 clear ... 255 opaque
    const drawing::Linetype* byBlockLinetype = nullptr; // null: continuous
    bool highlighted = false;
};

inline double Det2(const Transform& m) {
    return m.m[0][0] * m.m[1][1] - m.m[0][1] * m.m[1][0];
}

inline const std::string kNoPlotStyle;

inline bool IsCjk(char32_t c) {
    return c >= 0x2E80;
}

// One painting pass: the device, the options and the blocks on the current path.
class Pass {
public:
    Pass(const Renderer::State& state, Canvas& canvas, const QTransform& toDevice,
         const PaintOptions& options, bool plotting)
        : m_state(state), m_canvas(canvas), m_toDevice(toDevice), m_options(options),
          m_plotting(plotting), m_path(state.document) {
        m_deviceScale = std::sqrt(std::fabs(toDevice.determinant()));
        m_tolerance =
            options.deviceUnitsPerMm > 0 ? std::max(0.25, 0.01 * options.deviceUnitsPerMm) : 0.3;
        const QColor bg = options.background;
        m_foreground = bg.lightnessF() > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
    }

    ~Pass() {
        for (const std::string& report : m_path.Reports())
            m_state.Warn(report);
    }

    void TopLevel(const Document& document, const Entity& entity) {
        Inherited inherited;
        inherited.highlighted = m_options.highlighted.count(&entity) != 0;
        Draw(document, entity, Transform::Identity(), inherited, true);
    }

private:
    // --- properties -----------------------------------------------------------------------

    const Layer* EffectiveLayer(const Document& d, const Entity& e, const Inherited& in) const;

    bool Visible(const Layer* layer) const;

    // The colour as drawn (before the plot style); invalid for ACI 7 (foreground).
    QColor DrawnColor(const Entity& e, const Layer* layer, const Inherited& in) const;

    // The colour number a plot style table sees: 1..255, or 0 for a true colour.
    int DrawnAci(const Entity& e, const Layer* layer, const Inherited& in) const;

    // Colour, lineweight, ends and joins on the device: the plot style table's when one is set,
    // otherwise the style mode's colour with the object's lineweight.
    StyleResult Styled(const QColor& drawn, int aci, double lineweightMm) const;

    // The named plot style of an entity: its own, else its layer's; "Normal" without either.
    const std::string* PlotStyleName(const Document& d, const Entity& e, const Layer* layer) const;

    QColor DeviceColor(const QColor& drawn, int aci = 0) const;

    double LineweightMm(const Entity& e, const Layer* layer, const Inherited& in) const;

    // The opacity an entity is drawn with, 0 clear ... 255 opaque: its own transparency, its
    // block reference's (BYBLOCK) or its layer's.
    int Alpha(const Entity& e, const Layer* layer, const Inherited& in) const;

    double DefaultLineweight() const;

    void SetPen(const StyleResult& style, bool highlighted);

    // --- geometry helpers ------------------------------------------------------------------

    QPointF Dev(const Transform& m, Vec3 p) const;

    int Segments(const Transform& m, double radius, double sweep) const;

    // Points of an arc in the (x, y) plane of `m`'s source coordinates at height z.
    void AddArc(QPolygonF& out, const Transform& m, Vec3 c, double r, double a0,
                double sweep) const;

    // A bulge segment from (x1, y1) to (x2, y2), its end point included, start point not.
    void AddBulge(QPolygonF& out, const Transform& m, double x1, double y1, double x2, double y2,
                  double bulge, double z) const;

    void Stroke(const QPolygonF& points, bool closed);

    // --- linetypes -----------------------------------------------------------------------------

    // The linetype an entity is drawn with; null for a continuous line.
    const drawing::Linetype* LinetypeOf(const Document& d, const Entity& e, const Layer* layer,
                                        const Inherited& in) const;

    // The dash pattern on the device (positive dash, negative gap, 0 dot), or empty to draw the
    // line continuous: no linetype, or a pattern too fine to show as dashes on this device.
    std::vector<double> DevicePattern(const Document& d, const Entity& e,
                                      const drawing::Linetype* linetype, const Transform& m) const;

    // Sets the pattern the next strokes are dashed with (continuous when highlighted) and the
    // linetype whose shapes and texts they carry.
    void UseLinetype(const Document& d, const Entity& e, const drawing::Linetype* linetype,
                     const Transform& m, bool highlighted);

    // Device units per linetype unit: the drawing's, the entity's and the viewport's scales.
    double LinetypeScale(const Document& d, const Entity& e, const Transform& m) const;

    // Strokes a polyline (device coordinates) with the current dash pattern, which runs on across
    // its vertices, and draws the linetype's shapes and texts where their dashes end. Past
    // kMaxDashes dashes the rest is drawn continuous.
    void StrokeDashed(const QPolygonF& points);

    // A shape or text of the current linetype where its dash ends: at `at` on the device, the
    // line running along `along` there.
    void DrawLinetypeShape(const drawing::LinetypeShape& shape, QPointF at, QPointF along);

    void Fill(const QPainterPath& path);

    // --- entities ----------------------------------------------------------------------------

    void Draw(const Document& d, const Entity& e, const Transform& m, const Inherited& in,
              bool topLevel);

    Inherited Hand(const Layer* layer, const QColor& drawn, double lineweight,
                   const drawing::Linetype* linetype, const Inherited& in) const;

    void DrawEllipse(const drawing::EllipseGeometry& g, Vec3 extrusion, const Transform& m);

    // `generation`: the linetype runs on across the vertices (flag 128); otherwise it starts
    // afresh at each vertex.
    void DrawPolyline2d(const std::vector<drawing::PolylineVertex>& v, bool closed, double z,
                        const Transform& ocs, bool generation);

    QPolygonF Band(const drawing::PolylineVertex& a, const drawing::PolylineVertex& b, double z,
                   const Transform& ocs) const;

    void DrawPolyline(const drawing::PolylineGeometry& g, const Transform& m, const Transform& ocs);

    // An XLINE or RAY (`ray`): the part of it that crosses the window, nothing without one.
    void DrawConstructionLine(const drawing::RayGeometry& g, const Transform& m, bool ray);

    void AddSpline(QPolygonF& out, const Transform& m, const drawing::SplineGeometry& s) const;

    // --- text ----------------------------------------------------------------------------------

    struct TextFrame {
        QFont font;
        double scale; // drawing units per font pixel
        QFontMetricsF metrics;
        QRectF ideograph; // StyleFace::ideograph
        double latinTop;  // StyleFace::latinTop
    };

    TextFrame Frame(const Document& d, const std::string& styleName, double height) const;

    // Draws `text` with its baseline origin at local (x, y) of a text frame whose local
    // coordinates `local` maps to the drawing (x along the text, y up, drawing units).
    // `searchOnly`: no ink, only the characters, for text a PDF draws otherwise.
    void Glyphs(const TextFrame& frame, const QString& text, double x, double y, double widthFactor,
                double obliqueDeg, const Transform& local, bool searchOnly = false);

    // --- shape-font text ----------------------------------------------------------------------

    // A line's width in drawing units at `height`, before the width factor: shapes where the
    // shape fonts have them, the fallback font's glyphs elsewhere.
    double ShapeAdvance(const ShxTextFont& face, const TextFrame& frame, const QString& text,
                        double height) const;

    // A character the shape fonts lack, in the fallback font, in the room of `cell` drawing
    // units (before the width factor) that the shape font would give it.
    void StandInGlyph(const ShxTextFont& face, const TextFrame& frame, char32_t c, double cell,
                      double height, double x, double y, double widthFactor, double obliqueDeg,
                      const Transform& local);

    // Draws `text` from shape fonts as Glyphs places it: baseline origin at local (x, y), the
    // width factor and oblique applied, characters the fonts lack in the fallback font.
    void ShapeGlyphs(const ShxTextFont& face, const TextFrame& frame, const QString& text,
                     double height, double x, double y, double widthFactor, double obliqueDeg,
                     const Transform& local);

    void DrawText(const Document& d, const drawing::TextGeometry& g, const Transform& ocs,
                  bool definition);

    // One unit of MTEXT layout: a word (with its trailing blank), a CJK character, or a stack.
    struct Atom {
        const MTextPiece* piece;
        QString text;
        double width;  // drawing units
        double height; // the piece's text height
        bool blank;    // ends in a blank: a line may break after it
    };

    struct MTextRun {
        double height, widthFactor;
        const MTextPiece* piece;
    };

    // The face of a piece: the style's font, or the family its \f code names.
    TextFrame PieceFrame(const Document& d, const std::string& style, const MTextFormat& format,
                         double height) const;

    double PieceHeight(const MTextFormat& format, double base) const;

    // The shape fonts of a piece: its style's, unless a \f code names a TrueType family.
    const ShxTextFont* PieceShapes(const Document& d, const std::string& style,
                                   const MTextFormat& format) const;

    double Advance(const TextFrame& frame, const QString& text, const MTextFormat& format,
                   const ShxTextFont* shapes = nullptr, double height = 0.0) const;

    std::vector<Atom> Atoms(const Document& d, const std::string& style, double base,
                            const MTextParagraph& paragraph) const;

    void DrawMText(const Document& d, const Entity& e, const drawing::MTextGeometry& g,
                   const Transform& m);

    // The background mask of a multiline text: a rectangle of the text's local frame filled with
    // the paper's colour or the mask's own, styled like any colour of the plot.
    void MaskBehindText(const drawing::MTextGeometry& g, const Transform& local, double x0,
                        double y0, double x1, double y1);

    QColor PieceColor(const MTextFormat& format, const QColor& entityColor) const;

    // A line in the text's local frame (underline, overline, strike-through, fraction bar).
    void Rule(const Transform& local, double x0, double x1, double y);

    // A stacked fraction at (x, baseline): upper over lower, with a bar for '/', side by side
    // with a slash for '#', without a bar for '^' (tolerances); at kStackScale of the height.
    void DrawStack(const Document& d, const std::string& style, const MTextPiece& piece,
                   double height, double x, double baseline, const Transform& local);

    // A line from (x0, y0) to (x1, y1) in the text's local frame, solid in the text's colour.
    void Rule2(const Transform& local, double x0, double y0, double x1, double y1);

    // --- blocks ------------------------------------------------------------------------------

    void DrawInsert(const Document& d, const Entity& e, const drawing::InsertGeometry& g,
                    const Transform& m, const Layer* layer, const QColor& drawn, double lineweight,
                    const drawing::Linetype* linetype, const Inherited& in);

    void DrawBlock(const Document& d, const Block& block, const Transform& m, const Inherited& in);

    // A paper-space viewport: its border, and model space as its view shows it, at its scale,
    // clipped to its rectangle (or to its clip boundary), without the layers frozen in it.
    void DrawViewport(const Document& d, const drawing::ViewportGeometry& g);

    // A wipeout covers what lies under it with the background; an image draws its picture,
    // clipped to its outline, or only the outline when the picture is not there.
    void DrawRaster(const Document& d, const drawing::RasterGeometry& r, const Transform& m,
                    bool wipeout);

    void DrawXref(const Document& d, const Block& block, const Transform& m, const Inherited& in);

    void DrawHatch(const drawing::HatchGeometry& g, const Transform& ocs);

    // The pattern's line families, clipped to the hatched area: each family is the line through
    // its base point along its angle, repeated by its offset, dashed from the base point on.
    void DrawPattern(const drawing::HatchGeometry& g, const Transform& ocs,
                     const QPainterPath& area);

    void AddEdge(QPolygonF& points, const drawing::HatchEdge& edge, double z,
                 const Transform& ocs) const;

    void DrawLeader(const Document& d, const drawing::LeaderGeometry& g, const Transform& m);

    // A closed filled arrowhead with its tip at `tip`, pointing away from `from`.
    void Arrowhead(const Vec3& tip, const Vec3& from, double size, const Transform& m);

    // A multileader: each leader's lines with an arrowhead, ending at the landing, the dogleg
    // from there, and the text.
    void DrawMLeader(const Document& d, const Entity& e, const drawing::MLeaderGeometry& g,
                     const Transform& m);

    // A multiline: its fill, then each element, cap and miter line in its element's colour and
    // linetype.
    void DrawMLine(const Document& d, const Entity& e, const drawing::MLineGeometry& g,
                   const Transform& m, const QColor& drawn, double lineweight,
                   const drawing::Linetype* linetype, const Inherited& in);

    const Renderer::State& m_state;
    QRectF m_window; // drawing units; empty when not known
    Canvas& m_canvas;
    QPen m_pen; // the pen the canvas strokes with
    QTransform m_toDevice;
    const PaintOptions& m_options;
    bool m_plotting;
    double m_deviceScale = 1.0;
    // Drawing a viewport with $PSLTSCALE on: its scale, which the dash lengths do not follow.
    double m_viewportLinetypeScale = 1.0;
    double m_tolerance = 0.3;
    QColor m_foreground;
    QColor m_color;
    int m_aci = 7; // the current entity's colour number, for its block's BYBLOCK content
    int m_alpha = 255; // the current entity's opacity; SetPen gives it to the pen and fills
    const std::string* m_plotStyle = &kNoPlotStyle; // the current entity's named plot style
    std::vector<double> m_dashes; // the current entity's pattern on the device; empty: continuous
    const drawing::Linetype* m_linetype = nullptr; // whose shapes m_dashes carry
    double m_dashScale = 0.0;                      // device units per linetype unit
    const Document* m_document = nullptr;
    drawing::BlockPath m_path;
    std::size_t m_layoutIndex = 0;
    bool m_paperLayout = false;
    std::unordered_set<std::uint64_t> m_frozen; // layer handles frozen in the current viewport

public:
    // The window being drawn (drawing units of the layout): endless lines are drawn across it.
    void SetWindow(const QRectF& window) { m_window = window.normalized(); }

    void SetLayout(const Document& d, std::size_t layoutIndex) {
        m_layoutIndex = layoutIndex;
        m_paperLayout = !d.layouts.at(layoutIndex).isModel;
    }
};

} // namespace detail
} // namespace kw::render
