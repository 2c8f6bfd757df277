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
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <unordered_set>

#include "drawing/block_path.h"
#include "drawing/extents.h"
#include "drawing/spatial_index.h"
#include "render/colors.h"
#include "render/fonts.h"
#include "render/plot_style_table.h"
#include "render/render.h"
#include "render/shx_font.h"
#include "render/text_content.h"

namespace kw::render {

using drawing::Block;
using drawing::Document;
using drawing::Entity;
using drawing::EntityType;
using drawing::Layer;
using drawing::Transform;
using drawing::Vec3;

namespace {

constexpr double kTwoPi = 2.0 * drawing::kPi;
// Lines are drawn this wide when lineweights are not plotted (millimetres on paper).
constexpr double kThinLineMm = 0.1;
// Stacked fractions are drawn at this share of the text height.
constexpr double kStackScale = 0.7;
// The lineweight of "default" when the drawing does not say ($LWDEFAULT, 1/100 mm).
constexpr double kDefaultLineweightMm = 0.25;

// What a block reference hands down to its content.
struct Inherited {
    const Layer* layer = nullptr; // the reference's layer: what layer-0 content takes
    QColor byBlockColor;          // invalid at the top: ACI 7
    int byBlockAci = 7;           // for the plot style table; 0 for a true colour
    double byBlockLineweightMm = -1.0;
    const drawing::Linetype* byBlockLinetype = nullptr; // null: continuous
    bool highlighted = false;
};

double Det2(const Transform& m) {
    return m.m[0][0] * m.m[1][1] - m.m[0][1] * m.m[1][0];
}

const std::string kNoPlotStyle;

bool IsCjk(char32_t c) {
    return c >= 0x2E80;
}

} // namespace

struct Renderer::State {
    State(const drawing::Document& d, std::shared_ptr<FontLibrary> f)
        : document(d), fonts(std::move(f)) {}

    const drawing::Document& document;
    std::shared_ptr<FontLibrary> fonts;
    // Shape fonts by text style; null for a style drawn with a TrueType or the fallback font.
    mutable std::map<std::string, std::shared_ptr<const ShxTextFont>> shapeFaces;
    mutable std::mutex mutex;
    mutable std::map<std::size_t, drawing::SpatialIndex> indexes;
    mutable std::vector<std::string> warnings;
    mutable std::set<std::string> warned;
    mutable std::map<std::string, std::shared_ptr<const QImage>> pictures; // by file
    // Fonts and their metrics by text style, looked up once: the font database is slow to ask.
    struct StyleFace {
        QFont font;
        QFontMetricsF metrics;
        double capHeight;
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
            QFont font = StyleFont(style || !family.empty() ? &named : nullptr);
            font.setBold(bold);
            font.setItalic(italic);
            QFontMetricsF metrics(font);
            // The text height is the height of a capital letter.
            const double cap =
                metrics.capHeight() > 0 ? metrics.capHeight() : metrics.ascent() * 0.7;
            it = faces.emplace(key, StyleFace{font, metrics, cap}).first;
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

    void Warn(const std::string& text) const {
        std::lock_guard lock(mutex);
        if (warned.insert(text).second)
            warnings.push_back(text);
    }
};

namespace {

// One painting pass: the device, the options and the blocks on the current path.
class Pass {
public:
    Pass(const Renderer::State& state, QPainter& painter, const QTransform& toDevice,
         const PaintOptions& options, bool plotting)
        : m_state(state), m_painter(painter), m_toDevice(toDevice), m_options(options),
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

    const Layer* EffectiveLayer(const Document& d, const Entity& e, const Inherited& in) const {
        const Layer* own = d.FindLayer(e.layer);
        if (in.layer && (e.layer == "0" || !own))
            return in.layer;
        return own;
    }

    bool Visible(const Layer* layer) const {
        if (!layer)
            return true;
        if (!m_frozen.empty() && m_frozen.count(layer->handle) != 0)
            return false; // frozen in the viewport being drawn
        return layer->on && !layer->Frozen() && !(m_plotting && !layer->plot);
    }

    // The colour as drawn (before the plot style); invalid for ACI 7 (foreground).
    QColor DrawnColor(const Entity& e, const Layer* layer, const Inherited& in) const {
        if (e.trueColor >= 0)
            return QColor::fromRgb(static_cast<QRgb>(e.trueColor & 0xFFFFFF));
        int aci = e.color;
        if (aci == drawing::kColorByBlock)
            return in.byBlockColor;
        if (aci == drawing::kColorByLayer || aci < 0 || aci > 256) {
            if (!layer)
                return {};
            if (layer->trueColor >= 0)
                return QColor::fromRgb(static_cast<QRgb>(layer->trueColor & 0xFFFFFF));
            aci = std::abs(layer->color);
        }
        if (aci == 7 || aci == 0)
            return {};
        return AciColor(aci);
    }

    // The colour number a plot style table sees: 1..255, or 0 for a true colour.
    int DrawnAci(const Entity& e, const Layer* layer, const Inherited& in) const {
        if (e.trueColor >= 0)
            return 0;
        if (e.color == drawing::kColorByBlock)
            return in.byBlockAci;
        if (e.color == drawing::kColorByLayer || e.color < 0 || e.color > 256) {
            if (!layer)
                return 7;
            return layer->trueColor >= 0 ? 0 : std::clamp(std::abs(layer->color), 1, 255);
        }
        return e.color;
    }

    // Colour, lineweight, ends and joins on the device: the plot style table's when one is set,
    // otherwise the style mode's colour with the object's lineweight.
    StyleResult Styled(const QColor& drawn, int aci, double lineweightMm) const {
        const QColor object = drawn.isValid() ? drawn : m_foreground;
        StyleResult style;
        if (m_options.styleTable) {
            style = m_options.styleTable->Resolve(object, aci, lineweightMm, *m_plotStyle);
        } else {
            style.color = StyledColor(object, m_options.styleMode);
            style.lineweightMm = lineweightMm;
        }
        if (style.color.rgb() == m_options.background.rgb())
            style.color = m_foreground;
        return style;
    }

    // The named plot style of an entity: its own, else its layer's; "Normal" without either.
    const std::string* PlotStyleName(const Document& d, const Entity& e, const Layer* layer) const {
        static const std::string kNormal = "Normal";
        for (const std::uint64_t handle : {e.plotStyle, layer ? layer->plotStyle : 0}) {
            if (handle == 0)
                continue;
            const auto it = d.plotStyleNames.find(handle);
            if (it != d.plotStyleNames.end())
                return &it->second;
        }
        return &kNormal;
    }

    QColor DeviceColor(const QColor& drawn, int aci = 0) const {
        return Styled(drawn, aci, 0.0).color;
    }

    double LineweightMm(const Entity& e, const Layer* layer, const Inherited& in) const {
        int value = e.lineweight;
        if (value == drawing::kLineweightByBlock)
            return in.byBlockLineweightMm >= 0 ? in.byBlockLineweightMm : DefaultLineweight();
        if (value == drawing::kLineweightByLayer)
            value = layer ? layer->lineweight : drawing::kLineweightDefault;
        if (value < 0)
            return DefaultLineweight();
        return value / 100.0;
    }

    double DefaultLineweight() const {
        const double lw = m_document->HeaderNumber("$LWDEFAULT", -1);
        return lw >= 0 ? lw / 100.0 : kDefaultLineweightMm;
    }

    void SetPen(const StyleResult& style, bool highlighted) {
        const QColor& color = style.color;
        const double lineweightMm = style.lineweightMm;
        // A lineweight the table sets plots even where object lineweights do not.
        const bool weighted = m_options.lineweights || style.tableLineweight;
        double width = 0.0;
        if (m_options.deviceUnitsPerMm > 0)
            width = (weighted ? lineweightMm : kThinLineMm) * m_options.deviceUnitsPerMm;
        else if (weighted && lineweightMm > 0.3)
            width = 2.0;
        QPen pen(color, width, Qt::SolidLine, style.cap, style.join);
        if (width == 0.0)
            pen.setCosmetic(true);
        if (highlighted) {
            pen.setStyle(Qt::CustomDashLine);
            pen.setDashPattern({4, 3});
            pen.setCosmetic(true);
            pen.setWidthF(std::max(1.0, width));
        }
        m_painter.setPen(pen);
        m_painter.setBrush(Qt::NoBrush);
        m_color = color;
    }

    // --- geometry helpers ------------------------------------------------------------------

    QPointF Dev(const Transform& m, Vec3 p) const {
        const Vec3 w = m.Apply(p);
        return m_toDevice.map(QPointF(w.x, w.y));
    }

    int Segments(const Transform& m, double radius, double sweep) const {
        const double r = std::fabs(radius) * std::sqrt(std::fabs(Det2(m))) * m_deviceScale;
        if (!(r > 0.0) || !std::isfinite(r))
            return 1;
        const double step = r > m_tolerance ? 2.0 * std::acos(1.0 - m_tolerance / r) : kTwoPi / 4;
        const double n = std::ceil(std::fabs(sweep) / std::max(step, 1e-4));
        return static_cast<int>(std::clamp(n, 2.0, 4096.0));
    }

    // Points of an arc in the (x, y) plane of `m`'s source coordinates at height z.
    void AddArc(QPolygonF& out, const Transform& m, Vec3 c, double r, double a0,
                double sweep) const {
        const int n = Segments(m, r, sweep);
        for (int i = 0; i <= n; ++i) {
            const double a = a0 + sweep * i / n;
            out << Dev(m, {c.x + r * std::cos(a), c.y + r * std::sin(a), c.z});
        }
    }

    // A bulge segment from (x1, y1) to (x2, y2), its end point included, start point not.
    void AddBulge(QPolygonF& out, const Transform& m, double x1, double y1, double x2, double y2,
                  double bulge, double z) const {
        if (std::fabs(bulge) < 1e-12) {
            out << Dev(m, {x2, y2, z});
            return;
        }
        const double dx = x2 - x1, dy = y2 - y1;
        const double chord = std::hypot(dx, dy);
        if (chord == 0.0)
            return;
        const double sweep = 4.0 * std::atan(bulge);
        const double r = chord / (2.0 * std::sin(std::fabs(sweep) / 2.0));
        // The centre lies to the left of the chord for a counter-clockwise (positive) bulge.
        const double sagitta = bulge * chord / 2.0;
        const double mx = (x1 + x2) / 2.0, my = (y1 + y2) / 2.0;
        const double nx = -dy / chord, ny = dx / chord;
        const double h = r - std::fabs(sagitta);
        const double sign = bulge > 0 ? 1.0 : -1.0;
        const double cx = mx + nx * h * sign, cy = my + ny * h * sign;
        const double a0 = std::atan2(y1 - cy, x1 - cx);
        const int n = Segments(m, r, sweep);
        for (int i = 1; i <= n; ++i) {
            const double a = a0 + sweep * i / n;
            out << Dev(m, {cx + r * std::cos(a), cy + r * std::sin(a), z});
        }
    }

    void Stroke(const QPolygonF& points, bool closed) {
        if (points.size() < 2)
            return;
        if (!m_dashes.empty()) {
            QPolygonF path = points;
            if (closed)
                path << points.front();
            StrokeDashed(path);
            return;
        }
        if (closed)
            m_painter.drawPolygon(points);
        else
            m_painter.drawPolyline(points);
    }

    // --- linetypes -----------------------------------------------------------------------------

    // The linetype an entity is drawn with; null for a continuous line.
    const drawing::Linetype* LinetypeOf(const Document& d, const Entity& e, const Layer* layer,
                                        const Inherited& in) const {
        std::string name = e.linetype;
        if (name.empty() || EqualsNoCase(name, "BYLAYER"))
            name = layer ? layer->linetype : std::string();
        else if (EqualsNoCase(name, "BYBLOCK"))
            return in.byBlockLinetype;
        if (name.empty() || EqualsNoCase(name, "CONTINUOUS"))
            return nullptr;
        const drawing::Linetype* linetype = d.FindLinetype(name);
        return linetype && !linetype->dashes.empty() ? linetype : nullptr;
    }

    static bool EqualsNoCase(const std::string& a, const char* b) {
        std::size_t i = 0;
        for (; i < a.size() && b[i]; ++i)
            if (std::toupper(static_cast<unsigned char>(a[i])) != b[i])
                return false;
        return i == a.size() && !b[i];
    }

    // The dash pattern on the device (positive dash, negative gap, 0 dot), or empty to draw the
    // line continuous: no linetype, or a pattern too fine to show as dashes on this device.
    std::vector<double> DevicePattern(const Document& d, const Entity& e,
                                      const drawing::Linetype* linetype, const Transform& m) const {
        if (!linetype)
            return {};
        double total = 0.0;
        for (double dash : linetype->dashes)
            total += std::fabs(dash);
        // In a viewport with $PSLTSCALE on, dashes keep their paper length whatever the
        // viewport's scale.
        const double scale =
            d.HeaderNumber("$LTSCALE", 1.0) * (e.linetypeScale > 0.0 ? e.linetypeScale : 1.0) *
            std::sqrt(std::fabs(Det2(m))) / m_viewportLinetypeScale * m_deviceScale;
        const double finest =
            m_options.deviceUnitsPerMm > 0 ? 0.5 * m_options.deviceUnitsPerMm : 3.0;
        if (!(total * scale > finest) || !std::isfinite(total * scale))
            return {};
        std::vector<double> pattern;
        for (double dash : linetype->dashes)
            pattern.push_back(dash * scale);
        return pattern;
    }

    // Strokes a polyline (device coordinates) with the current dash pattern, which runs on across
    // its vertices. Past kMaxDashes dashes the rest is drawn continuous.
    void StrokeDashed(const QPolygonF& points) {
        constexpr int kMaxDashes = 100000;
        const std::vector<double>& pattern = m_dashes;
        std::size_t index = 0;
        double left = std::fabs(pattern[0]);
        QPolygonF run;
        QVector<QPointF> dots;
        int dashes = 0;
        auto flush = [&] {
            if (run.size() >= 2)
                m_painter.drawPolyline(run);
            run.clear();
        };
        for (int i = 0; i + 1 < points.size(); ++i) {
            const QPointF a = points[i], b = points[i + 1];
            const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
            if (!(length > 0.0))
                continue;
            double t = 0.0;
            while (t < length) {
                if (dashes > kMaxDashes) {
                    flush();
                    QPolygonF rest;
                    rest << a + (b - a) * (t / length);
                    for (int j = i + 1; j < points.size(); ++j)
                        rest << points[j];
                    m_painter.drawPolyline(rest);
                    m_state.Warn("a linetype too dense to plot was drawn continuous");
                    goto done;
                }
                const double dash = pattern[index];
                if (dash == 0.0) {
                    dots << a + (b - a) * (t / length);
                    left = 0.0;
                } else {
                    const double step = std::min(left, length - t);
                    if (dash > 0.0) {
                        if (run.isEmpty())
                            run << a + (b - a) * (t / length);
                        run << a + (b - a) * ((t + step) / length);
                    }
                    t += step;
                    left -= step;
                }
                if (left <= 1e-12) {
                    if (dash > 0.0)
                        flush();
                    index = (index + 1) % pattern.size();
                    left = std::fabs(pattern[index]);
                    ++dashes;
                }
            }
        }
        flush();
    done:
        if (!dots.isEmpty())
            m_painter.drawPoints(dots.data(), static_cast<int>(dots.size()));
    }

    void Fill(const QPainterPath& path) {
        m_painter.fillPath(path, m_color);
        if (m_painter.pen().style() == Qt::CustomDashLine)
            m_painter.drawPath(path);
    }

    // --- entities ----------------------------------------------------------------------------

    void Draw(const Document& d, const Entity& e, const Transform& m, const Inherited& in,
              bool topLevel) {
        if (e.invisible)
            return;
        const Layer* layer = EffectiveLayer(d, e, in);
        if (!Visible(layer))
            return;
        m_document = &d;
        const QColor drawn = DrawnColor(e, layer, in);
        const double lineweight = LineweightMm(e, layer, in);
        m_aci = DrawnAci(e, layer, in);
        m_plotStyle = PlotStyleName(d, e, layer);
        SetPen(Styled(drawn, m_aci, lineweight), in.highlighted);
        const Transform ocs = m * drawing::OcsToWcs(e.extrusion);
        const drawing::Linetype* linetype = LinetypeOf(d, e, layer, in);
        m_dashes = in.highlighted ? std::vector<double>{} : DevicePattern(d, e, linetype, m);

        switch (e.type) {
        case EntityType::Line: {
            const auto& g = std::get<drawing::LineGeometry>(e.geometry);
            Stroke(QPolygonF{Dev(m, g.start), Dev(m, g.end)}, false);
            break;
        }
        case EntityType::Point: {
            const auto& g = std::get<drawing::PointGeometry>(e.geometry);
            m_painter.drawPoint(Dev(m, g.location));
            break;
        }
        case EntityType::Circle: {
            const auto& g = std::get<drawing::CircleGeometry>(e.geometry);
            QPolygonF points;
            AddArc(points, ocs, g.center, g.radius, 0.0, kTwoPi);
            Stroke(points, false);
            break;
        }
        case EntityType::Arc: {
            const auto& g = std::get<drawing::ArcGeometry>(e.geometry);
            const double a0 = drawing::DegToRad(g.startAngleDeg);
            double sweep = drawing::DegToRad(g.endAngleDeg) - a0;
            while (sweep <= 0.0)
                sweep += kTwoPi;
            QPolygonF points;
            AddArc(points, ocs, g.center, g.radius, a0, sweep);
            Stroke(points, false);
            break;
        }
        case EntityType::Ellipse:
            DrawEllipse(std::get<drawing::EllipseGeometry>(e.geometry), e.extrusion, m);
            break;
        case EntityType::LwPolyline: {
            const auto& g = std::get<drawing::LwPolylineGeometry>(e.geometry);
            std::vector<drawing::PolylineVertex> vertices = g.vertices;
            if (g.constantWidth > 0.0)
                for (auto& v : vertices)
                    if (v.startWidth == 0.0 && v.endWidth == 0.0)
                        v.startWidth = v.endWidth = g.constantWidth;
            DrawPolyline2d(vertices, g.Closed(), g.elevation, ocs, (g.flags & 128) != 0);
            break;
        }
        case EntityType::Polyline:
            DrawPolyline(std::get<drawing::PolylineGeometry>(e.geometry), m, ocs);
            break;
        case EntityType::Spline: {
            QPolygonF points;
            AddSpline(points, m, std::get<drawing::SplineGeometry>(e.geometry));
            Stroke(points, false);
            break;
        }
        case EntityType::Text:
        case EntityType::Attrib:
            DrawText(d, std::get<drawing::TextGeometry>(e.geometry), ocs, false);
            break;
        case EntityType::AttDef: {
            // A definition shows its tag where it stands on its own; in a block only a constant
            // one shows, with its value.
            const auto& g = std::get<drawing::TextGeometry>(e.geometry);
            if (topLevel)
                DrawText(d, g, ocs, true);
            else if ((g.attributeFlags & 3) == 2)
                DrawText(d, g, ocs, false);
            break;
        }
        case EntityType::MText:
            DrawMText(d, e, std::get<drawing::MTextGeometry>(e.geometry), m);
            break;
        case EntityType::Insert:
            DrawInsert(d, e, std::get<drawing::InsertGeometry>(e.geometry), m, layer, drawn,
                       lineweight, linetype, in);
            break;
        case EntityType::Dimension: {
            const auto& g = std::get<drawing::DimensionGeometry>(e.geometry);
            const Block* block = d.FindBlock(g.blockName);
            if (block)
                DrawBlock(d, *block, m * Transform::Translation(g.insertion),
                          Hand(layer, drawn, lineweight, linetype, in));
            break;
        }
        case EntityType::Hatch:
            DrawHatch(std::get<drawing::HatchGeometry>(e.geometry), ocs);
            break;
        case EntityType::Solid:
        case EntityType::Trace: {
            const auto& g = std::get<drawing::QuadGeometry>(e.geometry);
            QPolygonF points;
            for (int i : {0, 1, 3, 2})
                points << Dev(ocs, g.corners[i]);
            QPainterPath path;
            path.addPolygon(points);
            path.closeSubpath();
            Fill(path);
            break;
        }
        case EntityType::Face3d: {
            const auto& g = std::get<drawing::QuadGeometry>(e.geometry);
            for (int i = 0; i < 4; ++i) {
                if (g.invisibleEdges & (1 << i))
                    continue;
                const Vec3 a = g.corners[i], b = g.corners[(i + 1) % 4];
                if (!(a == b))
                    m_painter.drawLine(Dev(m, a), Dev(m, b));
            }
            break;
        }
        case EntityType::Leader:
            DrawLeader(d, std::get<drawing::LeaderGeometry>(e.geometry), m);
            break;
        case EntityType::Viewport:
            if (topLevel && m_paperLayout)
                DrawViewport(d, std::get<drawing::ViewportGeometry>(e.geometry));
            break;
        case EntityType::Unknown: {
            // A table draws as its anonymous block.
            const auto& g = std::get<drawing::OpaqueGeometry>(e.geometry);
            if (g.raster)
                DrawRaster(d, *g.raster, m, e.DxfName() == "WIPEOUT");
            if (g.mleader)
                DrawMLeader(d, e, *g.mleader, m);
            const Block* block = g.blockName.empty() ? nullptr : d.FindBlock(g.blockName);
            if (block)
                DrawBlock(d, *block, m * Transform::Translation(g.insertion),
                          Hand(layer, drawn, lineweight, linetype, in));
            break;
        }
        }
    }

    Inherited Hand(const Layer* layer, const QColor& drawn, double lineweight,
                   const drawing::Linetype* linetype, const Inherited& in) const {
        Inherited next;
        next.byBlockLinetype = linetype;
        next.layer = layer;
        next.byBlockColor = drawn;
        next.byBlockAci = m_aci; // Hand is called before any content is drawn
        next.byBlockLineweightMm = lineweight;
        next.highlighted = in.highlighted;
        return next;
    }

    void DrawEllipse(const drawing::EllipseGeometry& g, Vec3 extrusion, const Transform& m) {
        const Vec3 normal = drawing::Normalized(extrusion);
        const Vec3 minor = drawing::Cross(normal, g.majorAxis) * g.ratio;
        double t0 = g.startParam, t1 = g.endParam;
        while (t1 <= t0)
            t1 += kTwoPi;
        const double major = drawing::Length(g.majorAxis);
        const int n = Segments(m, major, t1 - t0);
        QPolygonF points;
        for (int i = 0; i <= n; ++i) {
            const double t = t0 + (t1 - t0) * i / n;
            points << Dev(m, g.center + g.majorAxis * std::cos(t) + minor * std::sin(t));
        }
        Stroke(points, false);
    }

    // `generation`: the linetype runs on across the vertices (flag 128); otherwise it starts
    // afresh at each vertex.
    void DrawPolyline2d(const std::vector<drawing::PolylineVertex>& v, bool closed, double z,
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
                m_painter.drawPoint(points[0]);
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

    QPolygonF Band(const drawing::PolylineVertex& a, const drawing::PolylineVertex& b, double z,
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

    void DrawPolyline(const drawing::PolylineGeometry& g, const Transform& m,
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

    void AddSpline(QPolygonF& out, const Transform& m, const drawing::SplineGeometry& s) const {
        const std::size_t n = s.controlPoints.size();
        const int p = s.degree;
        const bool valid = n >= 2 && p >= 1 && p <= 15 && n > static_cast<std::size_t>(p) &&
                           s.knots.size() == n + static_cast<std::size_t>(p) + 1 &&
                           std::is_sorted(s.knots.begin(), s.knots.end());
        if (!valid) {
            const auto& points = n >= 2 ? s.controlPoints : s.fitPoints;
            for (const Vec3& c : points)
                out << Dev(m, c);
            return;
        }
        const bool rational = s.weights.size() == n;
        auto at = [&](double t, std::size_t k) {
            double dd[16][4];
            for (int j = 0; j <= p; ++j) {
                const std::size_t index = j + k - p;
                const Vec3 c = s.controlPoints[index];
                const double w = rational && s.weights[index] > 0 ? s.weights[index] : 1.0;
                dd[j][0] = c.x * w, dd[j][1] = c.y * w, dd[j][2] = c.z * w, dd[j][3] = w;
            }
            for (int r = 1; r <= p; ++r)
                for (int j = p; j >= r; --j) {
                    const double left = s.knots[j + k - p];
                    const double right = s.knots[j + 1 + k - r];
                    const double alpha = right > left ? (t - left) / (right - left) : 0.0;
                    for (int q = 0; q < 4; ++q)
                        dd[j][q] = (1.0 - alpha) * dd[j - 1][q] + alpha * dd[j][q];
                }
            const double w = dd[p][3] != 0.0 ? dd[p][3] : 1.0;
            return Vec3{dd[p][0] / w, dd[p][1] / w, dd[p][2] / w};
        };
        // Each span sampled by the size of its control polygon on the device.
        for (std::size_t k = static_cast<std::size_t>(p); k < n; ++k) {
            const double a = s.knots[k], b = s.knots[k + 1];
            if (!(b > a))
                continue;
            double length = 0.0;
            for (std::size_t j = k - p; j < k; ++j)
                length += drawing::Length(s.controlPoints[j + 1] - s.controlPoints[j]);
            const int samples = std::clamp(Segments(m, length, 1.0), 4, 256);
            for (int i = out.isEmpty() ? 0 : 1; i <= samples; ++i)
                out << Dev(m, at(a + (b - a) * i / samples, k));
        }
    }

    // --- text ----------------------------------------------------------------------------------

    struct TextFrame {
        QFont font;
        double scale; // drawing units per font pixel
        QFontMetricsF metrics;
    };

    TextFrame Frame(const Document& d, const std::string& styleName, double height) const {
        const auto& face = m_state.Face(d, styleName);
        return {face.font, height / face.capHeight, face.metrics};
    }

    // Draws `text` with its baseline origin at local (x, y) of a text frame whose local
    // coordinates `local` maps to the drawing (x along the text, y up, drawing units).
    void Glyphs(const TextFrame& frame, const QString& text, double x, double y, double widthFactor,
                double obliqueDeg, const Transform& local) {
        const QPointF o = Dev(local, {0, 0, 0});
        const QPointF ux = Dev(local, {1, 0, 0}) - o;
        const QPointF uy = Dev(local, {0, 1, 0}) - o;
        // Glyph pixels (y down) → local units (y up), width factor and oblique applied.
        const double k = frame.scale;
        const double shear = std::tan(drawing::DegToRad(obliqueDeg));
        const QTransform glyphToLocal(k * widthFactor, 0, -k * shear, -k, x, y);
        const QTransform localToDevice(ux.x(), ux.y(), uy.x(), uy.y(), o.x(), o.y());
        m_painter.save();
        m_painter.setTransform(glyphToLocal * localToDevice, true); // on top of the caller's
        m_painter.setFont(frame.font);
        m_painter.setPen(QPen(m_color));
        m_painter.drawText(QPointF(0, 0), text);
        m_painter.restore();
    }

    // --- shape-font text ----------------------------------------------------------------------

    // A line's width in drawing units at `height`, before the width factor: shapes where the
    // shape fonts have them, the fallback font's glyphs elsewhere.
    double ShapeAdvance(const ShxTextFont& face, const TextFrame& frame, const QString& text,
                        double height) const {
        double width = 0.0;
        for (const char32_t c : text.toUcs4()) {
            if (const auto glyph = face.Glyph(c))
                width += glyph->advance * height;
            else
                width += frame.metrics.horizontalAdvance(QString::fromUcs4(&c, 1)) * frame.scale;
        }
        return width;
    }

    // Draws `text` from shape fonts as Glyphs places it: baseline origin at local (x, y), the
    // width factor and oblique applied, characters the fonts lack in the fallback font.
    void ShapeGlyphs(const ShxTextFont& face, const TextFrame& frame, const QString& text,
                     double height, double x, double y, double widthFactor, double obliqueDeg,
                     const Transform& local) {
        const double shear = std::tan(drawing::DegToRad(obliqueDeg));
        double cursor = x;
        for (const char32_t c : text.toUcs4()) {
            const auto glyph = face.Glyph(c);
            if (!glyph) {
                const QString one = QString::fromUcs4(&c, 1);
                Glyphs(frame, one, cursor, y, widthFactor, obliqueDeg, local);
                cursor += frame.metrics.horizontalAdvance(one) * frame.scale * widthFactor;
                continue;
            }
            for (const auto& stroke : glyph->strokes) {
                QPolygonF points;
                for (const ShxPoint& p : stroke)
                    points << Dev(local, {cursor + (p.x * widthFactor + p.y * shear) * height,
                                          y + p.y * height, 0});
                m_painter.drawPolyline(points);
            }
            cursor += glyph->advance * height * widthFactor;
        }
    }

    void DrawText(const Document& d, const drawing::TextGeometry& g, const Transform& ocs,
                  bool definition) {
        const drawing::TextStyle* style = d.FindTextStyle(g.style);
        double height = g.height > 0 ? g.height : (style ? style->fixedHeight : 0.0);
        if (!(height > 0.0))
            return;
        const QString text = QString::fromStdString(PlainText(definition ? g.tag : g.text));
        if (text.trimmed().isEmpty())
            return;
        double widthFactor = g.widthFactor > 0 ? g.widthFactor : 1.0;
        TextFrame frame = Frame(d, g.style, height);
        const ShxTextFont* shapes = m_state.ShapeFace(d, g.style);
        double advance = (shapes ? ShapeAdvance(*shapes, frame, text, height)
                                 : frame.metrics.horizontalAdvance(text) * frame.scale) *
                         widthFactor;
        if (!(advance > 0.0))
            return;
        Vec3 origin = g.insertion;
        double rotation = drawing::DegToRad(g.rotationDeg);
        const bool twoPoint = g.hAlign == 3 || g.hAlign == 5;
        if ((g.hAlign != 0 || g.vAlign != 0) && g.hasAlignment && !twoPoint)
            origin = g.alignment;
        double x = 0.0, y = 0.0;
        if (twoPoint && g.hasAlignment) {
            const Vec3 span = g.alignment - g.insertion;
            const double length = std::hypot(span.x, span.y);
            if (length > 0.0) {
                rotation = std::atan2(span.y, span.x);
                if (g.hAlign == 3) { // aligned: the height follows the width
                    frame.scale *= length / advance;
                    height *= length / advance;
                } else { // fit: the width factor follows
                    widthFactor *= length / advance;
                }
                advance = length;
            }
        } else {
            switch (g.hAlign) {
            case 1:
            case 4:
                x = -advance / 2.0;
                break;
            case 2:
                x = -advance;
                break;
            default:
                break;
            }
        }
        if (g.hAlign == 4)
            y = -height / 2.0;
        else
            switch (g.vAlign) {
            case 1:
                y = shapes && shapes->Font() && shapes->Font()->Above() > 0
                        ? height * shapes->Font()->Below() / shapes->Font()->Above()
                        : frame.metrics.descent() * frame.scale;
                break;
            case 2:
                y = -height / 2.0;
                break;
            case 3:
                y = -height;
                break;
            default:
                break;
            }
        Transform local = ocs * Transform::Translation(origin) * Transform::RotationZ(rotation);
        if (g.generation & 2)
            local =
                local * Transform::Scaling({-1, 1, 1}) * Transform::Translation({-advance, 0, 0});
        if (g.generation & 4)
            local = local * Transform::Scaling({1, -1, 1});
        if (shapes)
            ShapeGlyphs(*shapes, frame, text, height, x, y, widthFactor, g.obliqueDeg, local);
        else
            Glyphs(frame, text, x, y, widthFactor, g.obliqueDeg, local);
    }

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
                         double height) const {
        const auto& face = m_state.Face(d, style, format.family, format.bold, format.italic);
        return {face.font, height / face.capHeight, face.metrics};
    }

    double PieceHeight(const MTextFormat& format, double base) const {
        return format.height > 0 ? format.height : base * format.heightFactor;
    }

    // The shape fonts of a piece: its style's, unless a \f code names a TrueType family.
    const ShxTextFont* PieceShapes(const Document& d, const std::string& style,
                                   const MTextFormat& format) const {
        return format.family.empty() ? m_state.ShapeFace(d, style) : nullptr;
    }

    double Advance(const TextFrame& frame, const QString& text, const MTextFormat& format,
                   const ShxTextFont* shapes = nullptr, double height = 0.0) const {
        const double plain = shapes ? ShapeAdvance(*shapes, frame, text, height)
                                    : frame.metrics.horizontalAdvance(text) * frame.scale;
        // Tracking widens the space between characters by a share of the text height.
        return plain * format.widthFactor + (format.tracking - 1.0) * 0.5 * frame.scale *
                                                frame.metrics.height() *
                                                static_cast<double>(text.size());
    }

    std::vector<Atom> Atoms(const Document& d, const std::string& style, double base,
                            const MTextParagraph& paragraph) const {
        std::vector<Atom> atoms;
        for (const MTextPiece& piece : paragraph) {
            const double height = PieceHeight(piece.format, base);
            const TextFrame frame = PieceFrame(d, style, piece.format, height * kStackScale);
            if (piece.stacked) {
                const double upper =
                    Advance(frame, QString::fromStdString(piece.upper), piece.format);
                const double lower =
                    Advance(frame, QString::fromStdString(piece.lower), piece.format);
                const double width =
                    piece.stackKind == '#' ? upper + lower + 0.5 * height : std::max(upper, lower);
                atoms.push_back({&piece, {}, width + 0.2 * height, height, false});
                continue;
            }
            const TextFrame full = PieceFrame(d, style, piece.format, height);
            const ShxTextFont* shapes = PieceShapes(d, style, piece.format);
            const QString text = QString::fromStdString(piece.text);
            QString word;
            auto flush = [&](bool blank) {
                if (!word.isEmpty())
                    atoms.push_back({&piece, word,
                                     Advance(full, word, piece.format, shapes, height), height,
                                     blank});
                word.clear();
            };
            for (const QChar c : text) {
                if (IsCjk(c.unicode())) {
                    flush(false);
                    word = c;
                    flush(true); // CJK text may break after any character
                    continue;
                }
                word += c;
                if (c == QLatin1Char(' '))
                    flush(true);
            }
            flush(false);
        }
        return atoms;
    }

    void DrawMText(const Document& d, const Entity& e, const drawing::MTextGeometry& g,
                   const Transform& m) {
        const drawing::TextStyle* style = d.FindTextStyle(g.style);
        const double base = g.height > 0 ? g.height : (style ? style->fixedHeight : 0.0);
        if (!(base > 0.0))
            return;
        // Lines of atoms, wrapped at the defined width (a word wider than it stands alone).
        struct Line {
            std::vector<Atom> atoms;
            double width = 0.0, height = 0.0;
        };
        std::vector<Line> lines;
        const auto paragraphs = ParseMText(g.text);
        for (const MTextParagraph& paragraph : paragraphs) {
            lines.emplace_back();
            for (Atom& atom : Atoms(d, g.style, base, paragraph)) {
                Line& line = lines.back();
                if (g.referenceWidth > 0.0 && !line.atoms.empty() &&
                    line.width + atom.width > g.referenceWidth * 1.0001 &&
                    (line.atoms.back().blank ||
                     IsCjk(atom.text.isEmpty() ? 0 : atom.text[0].unicode()))) {
                    lines.emplace_back();
                }
                Line& target = lines.back();
                target.width += atom.width;
                target.height = std::max(target.height, atom.height);
                target.atoms.push_back(std::move(atom));
            }
            if (lines.back().height == 0.0)
                lines.back().height = base;
        }
        for (Line& line : lines) // a blank at the end of a line takes no room
            if (!line.atoms.empty() && line.atoms.back().text.endsWith(QLatin1Char(' '))) {
                const Atom& last = line.atoms.back();
                const auto frame = PieceFrame(d, g.style, last.piece->format, last.height);
                line.width -= Advance(frame, QStringLiteral(" "), last.piece->format,
                                      PieceShapes(d, g.style, last.piece->format), last.height);
            }
        const double factor = g.lineSpacingFactor > 0 ? g.lineSpacingFactor : 1.0;
        std::vector<double> baselines;
        double y = 0.0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            y -= i == 0 ? lines[i].height : lines[i].height * 5.0 / 3.0 * factor;
            baselines.push_back(y);
        }
        const double total = -y;
        const int attachment = std::clamp<int>(g.attachment, 1, 9);
        const int row = (attachment - 1) / 3, column = (attachment - 1) % 3;
        const double shiftY = row == 0 ? 0.0 : row == 1 ? total / 2.0 : total;
        const Vec3 normal = drawing::Normalized(e.extrusion);
        Vec3 xAxis = drawing::Normalized(g.xDirection);
        if (drawing::Length(xAxis) == 0.0)
            xAxis = {1, 0, 0};
        const Vec3 yAxis = drawing::Normalized(drawing::Cross(normal, xAxis));
        const Transform local = m * Transform::FromAxes(xAxis, yAxis, normal, g.insertion);
        if (g.backgroundFill & 3) {
            double width = g.referenceWidth;
            for (const Line& line : lines)
                width = std::max(width, line.width);
            const double x0 = column == 0 ? 0.0 : column == 1 ? -width / 2.0 : -width;
            const double margin = std::max(0.0, g.backgroundScale - 1.0) * base;
            MaskBehindText(g, local, x0 - margin, shiftY - total - margin, x0 + width + margin,
                           shiftY + margin);
        }
        const QColor entityColor = m_color;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& line = lines[i];
            double x = column == 0 ? 0.0 : column == 1 ? -line.width / 2.0 : -line.width;
            const double baseline = baselines[i] + shiftY;
            // Consecutive atoms of one piece are drawn as one run, so that the text stays whole.
            for (std::size_t a = 0; a < line.atoms.size();) {
                const Atom& atom = line.atoms[a];
                const MTextFormat& format = atom.piece->format;
                m_color = PieceColor(format, entityColor);
                // \A: runs smaller than the line sit on its baseline, centre or top.
                const double lift = format.verticalAlign == 1   ? (line.height - atom.height) / 2
                                    : format.verticalAlign == 2 ? line.height - atom.height
                                                                : 0.0;
                if (atom.piece->stacked) {
                    DrawStack(d, g.style, *atom.piece, atom.height, x, baseline + lift, local);
                    x += atom.width;
                    ++a;
                    continue;
                }
                QString run;
                double width = 0.0;
                std::size_t b = a;
                for (; b < line.atoms.size() && line.atoms[b].piece == atom.piece; ++b) {
                    run += line.atoms[b].text;
                    width += line.atoms[b].width;
                }
                const TextFrame frame = PieceFrame(d, g.style, format, atom.height);
                const ShxTextFont* shapes = PieceShapes(d, g.style, format);
                const bool ink = !run.trimmed().isEmpty();
                if (ink && shapes)
                    ShapeGlyphs(*shapes, frame, run, atom.height, x, baseline + lift,
                                format.widthFactor, format.obliqueDeg, local);
                else if (ink)
                    Glyphs(frame, run, x, baseline + lift, format.widthFactor, format.obliqueDeg,
                           local);
                const double rules[3] = {format.underline ? -0.2 : NAN, format.overline ? 1.2 : NAN,
                                         format.strike ? 0.5 : NAN};
                for (double at : rules)
                    if (!std::isnan(at))
                        Rule(local, x, x + width, baseline + lift + at * atom.height);
                x += width;
                a = b;
            }
        }
        m_color = entityColor;
    }

    // The background mask of a multiline text: a rectangle of the text's local frame filled with
    // the paper's colour or the mask's own, styled like any colour of the plot.
    void MaskBehindText(const drawing::MTextGeometry& g, const Transform& local, double x0,
                        double y0, double x1, double y1) {
        QColor fill = m_options.background;
        if ((g.backgroundFill & 2) == 0) {
            const QColor drawn = g.backgroundTrueColor >= 0
                                     ? QColor::fromRgb(static_cast<QRgb>(g.backgroundTrueColor))
                                     : AciColor(std::clamp<int>(g.backgroundColor, 1, 255));
            fill = Styled(drawn, g.backgroundTrueColor >= 0 ? 0 : g.backgroundColor, 0.0).color;
        }
        QPolygonF box;
        box << Dev(local, {x0, y0, 0}) << Dev(local, {x1, y0, 0}) << Dev(local, {x1, y1, 0})
            << Dev(local, {x0, y1, 0});
        QPainterPath path;
        path.addPolygon(box);
        path.closeSubpath();
        m_painter.fillPath(path, fill);
    }

    QColor PieceColor(const MTextFormat& format, const QColor& entityColor) const {
        if (format.rgb >= 0)
            return DeviceColor(QColor::fromRgb(static_cast<QRgb>(format.rgb)));
        if (format.aci >= 1 && format.aci <= 255)
            return DeviceColor(format.aci == 7 ? QColor() : AciColor(format.aci));
        return entityColor; // the entity's own, BYLAYER and BYBLOCK alike
    }

    // A line in the text's local frame (underline, overline, strike-through, fraction bar).
    void Rule(const Transform& local, double x0, double x1, double y) {
        Rule2(local, x0, y, x1, y);
    }

    // A stacked fraction at (x, baseline): upper over lower, with a bar for '/', side by side
    // with a slash for '#', without a bar for '^' (tolerances); at kStackScale of the height.
    void DrawStack(const Document& d, const std::string& style, const MTextPiece& piece,
                   double height, double x, double baseline, const Transform& local) {
        const MTextFormat& format = piece.format;
        const TextFrame frame = PieceFrame(d, style, format, height * kStackScale);
        const QString upper = QString::fromStdString(piece.upper);
        const QString lower = QString::fromStdString(piece.lower);
        const double upperWidth = Advance(frame, upper, format);
        const double lowerWidth = Advance(frame, lower, format);
        const double small = height * kStackScale;
        const double gap = 0.1 * height;
        if (piece.stackKind == '#') {
            Glyphs(frame, upper, x + gap, baseline + height - small, format.widthFactor,
                   format.obliqueDeg, local);
            const double slashX = x + gap + upperWidth + 0.25 * height;
            Rule2(local, slashX - 0.2 * height, baseline, slashX + 0.2 * height, baseline + height);
            Glyphs(frame, lower, slashX + 0.25 * height, baseline, format.widthFactor,
                   format.obliqueDeg, local);
            return;
        }
        const double width = std::max(upperWidth, lowerWidth);
        const double middle = baseline + height / 2.0;
        const bool tolerance = piece.stackKind == '^';
        auto start = [&](double w) { return tolerance ? x + gap : x + gap + (width - w) / 2.0; };
        if (!upper.isEmpty())
            Glyphs(frame, upper, start(upperWidth), middle + gap, format.widthFactor,
                   format.obliqueDeg, local);
        if (!lower.isEmpty())
            Glyphs(frame, lower, start(lowerWidth), middle - gap - small, format.widthFactor,
                   format.obliqueDeg, local);
        if (!tolerance)
            Rule(local, x + gap, x + gap + width, middle);
    }

    // A line from (x0, y0) to (x1, y1) in the text's local frame, solid in the text's colour.
    void Rule2(const Transform& local, double x0, double y0, double x1, double y1) {
        const QPen saved = m_painter.pen();
        QPen pen = saved;
        pen.setColor(m_color);
        pen.setStyle(Qt::SolidLine);
        m_painter.setPen(pen);
        m_painter.drawLine(Dev(local, {x0, y0, 0}), Dev(local, {x1, y1, 0}));
        m_painter.setPen(saved);
    }

    // --- blocks ------------------------------------------------------------------------------

    void DrawInsert(const Document& d, const Entity& e, const drawing::InsertGeometry& g,
                    const Transform& m, const Layer* layer, const QColor& drawn, double lineweight,
                    const drawing::Linetype* linetype, const Inherited& in) {
        const Block* block = d.FindBlock(g.blockName);
        const Inherited next = Hand(layer, drawn, lineweight, linetype, in);
        if (block) {
            const int columns = std::max<int>(1, g.columns);
            const int rows = std::max<int>(1, g.rows);
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < columns; ++c) {
                    const Transform place = m * drawing::InsertTransform(e, block, c, r);
                    if (block->IsXref())
                        DrawXref(d, *block, place, next);
                    else
                        DrawBlock(d, *block, place, next);
                }
        }
        // Attributes stand in the coordinates of the reference's space, not the block's.
        for (const Entity& attribute : g.attributes) {
            const auto* text = std::get_if<drawing::TextGeometry>(&attribute.geometry);
            if (text && (text->attributeFlags & 1) == 0)
                Draw(d, attribute, m, next, false);
        }
    }

    void DrawBlock(const Document& d, const Block& block, const Transform& m, const Inherited& in) {
        if (!(std::fabs(Det2(m)) > 0.0))
            return; // a reference squashed flat shows nothing
        // A block reached again on its own path is cut off there (and reported once).
        const drawing::BlockPath::Scope scope(m_path, d, block);
        if (!scope.Entered())
            return;
        for (const Entity& e : block.entities)
            Draw(d, e, m, in, false);
        m_document = &d;
    }

    // A paper-space viewport: its border, and model space as its view shows it, at its scale,
    // clipped to its rectangle (or to its clip boundary), without the layers frozen in it.
    void DrawViewport(const Document& d, const drawing::ViewportGeometry& g) {
        const Vec3 half{g.width / 2, g.height / 2, 0};
        QPolygonF border{Dev(Transform::Identity(), g.center - half),
                         Dev(Transform::Identity(), g.center + Vec3{half.x, -half.y, 0}),
                         Dev(Transform::Identity(), g.center + half),
                         Dev(Transform::Identity(), g.center + Vec3{-half.x, half.y, 0})};
        if (g.id == 1 || g.status <= 0 || !(g.viewHeight > 0.0) || !(g.height > 0.0))
            return; // the paper space itself, a viewport switched off, or no view
        m_painter.drawPolygon(border);
        const Vec3 direction = drawing::Normalized(g.viewDirection);
        if (std::fabs(direction.z) < 0.999999) {
            m_state.Warn("viewports looking at model space from other than above are not drawn");
            return;
        }
        QPolygonF clip = border;
        if ((g.flags & 65536) != 0 && g.clipBoundary != 0)
            for (const Entity& other : d.LayoutEntities(d.layouts.at(m_layoutIndex)))
                if (other.handle == g.clipBoundary)
                    if (const auto* p = std::get_if<drawing::LwPolylineGeometry>(&other.geometry)) {
                        clip.clear();
                        for (const auto& v : p->vertices)
                            clip << Dev(Transform::Identity(), {v.x, v.y, 0});
                    }
        // Model → display coordinates (target at the origin, turned by the twist) → paper.
        const double scale = g.height / g.viewHeight;
        const Transform modelToPaper = Transform::Translation(g.center) *
                                       Transform::Scaling({scale, scale, scale}) *
                                       Transform::Translation({-g.viewCenterX, -g.viewCenterY, 0}) *
                                       Transform::RotationZ(drawing::DegToRad(-g.twistDeg)) *
                                       Transform::Translation(Vec3{} - g.viewTarget);
        // The model window the viewport shows (its rectangle mapped back, as a box).
        const double reach = std::hypot(g.width, g.height) / 2.0 / scale;
        const Vec3 c = Transform::RotationZ(drawing::DegToRad(g.twistDeg))
                           .Apply({g.viewCenterX, g.viewCenterY, 0}) +
                       g.viewTarget;
        const auto& model = d.layouts.front();
        const auto& entities = d.LayoutEntities(model);
        const auto found =
            m_state.Index(0).Query({c.x - reach, c.y - reach, c.x + reach, c.y + reach});
        m_painter.save();
        QPainterPath clipPath;
        clipPath.addPolygon(clip);
        clipPath.closeSubpath();
        m_painter.setClipPath(clipPath, Qt::IntersectClip);
        const auto frozen = m_frozen;
        m_frozen.insert(g.frozenLayers.begin(), g.frozenLayers.end());
        const bool paper = m_paperLayout;
        m_paperLayout = false;
        const double linetypeScale = m_viewportLinetypeScale;
        if (d.HeaderNumber("$PSLTSCALE", 1.0) != 0.0)
            m_viewportLinetypeScale = scale;
        for (std::size_t i : found)
            Draw(d, entities[i], modelToPaper, Inherited{}, true);
        m_viewportLinetypeScale = linetypeScale;
        m_paperLayout = paper;
        m_frozen = frozen;
        m_painter.restore();
    }

    // A wipeout covers what lies under it with the background; an image draws its picture,
    // clipped to its outline, or only the outline when the picture is not there.
    void DrawRaster(const Document& d, const drawing::RasterGeometry& r, const Transform& m,
                    bool wipeout) {
        QPolygonF outline;
        for (const Vec3& corner : r.Outline())
            outline << Dev(m, corner);
        if (outline.size() < 3)
            return;
        QPainterPath area;
        area.addPolygon(outline);
        area.closeSubpath();
        if (wipeout) {
            m_painter.fillPath(area, m_options.background);
            return;
        }
        if ((r.display & 1) == 0 || !(r.widthPx > 0) || !(r.heightPx > 0))
            return;
        const auto picture = m_state.Picture(d, r.imageDefinition);
        if (!picture) {
            m_painter.drawPath(area);
            return;
        }
        // The picture's pixels (x right, y down from its upper-left corner) → the device.
        const Vec3 top = r.insertion + r.v * r.heightPx;
        const QPointF o = Dev(m, top);
        const QPointF ux = Dev(m, top + r.u * (r.widthPx / picture->width())) - o;
        const QPointF uy = Dev(m, top - r.v * (r.heightPx / picture->height())) - o;
        m_painter.save();
        m_painter.setClipPath(area, Qt::IntersectClip);
        m_painter.setTransform(QTransform(ux.x(), ux.y(), uy.x(), uy.y(), o.x(), o.y()), true);
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        m_painter.drawImage(QPointF(0, 0), *picture);
        m_painter.restore();
    }

    void DrawXref(const Document& d, const Block& block, const Transform& m, const Inherited& in) {
        const auto other = drawing::ResolveXref(d, block);
        if (!other) {
            m_state.Warn("external reference \"" + block.name + "\" (" + block.xrefPath +
                         ") was not found");
            return;
        }
        const auto& model = other->layouts.front();
        if (model.blockIndex == drawing::Layout::kNoBlock)
            return;
        const Block& space = other->blocks[model.blockIndex];
        const Transform base =
            Transform::Translation(Vec3{0, 0, 0} - other->HeaderPoint("$INSBASE"));
        DrawBlock(*other, space, m * base, in);
        m_document = &d;
    }

    void DrawHatch(const drawing::HatchGeometry& g, const Transform& ocs) {
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
        if (g.gradient && g.gradientColors.size() >= 2) {
            const QRectF box = path.boundingRect();
            QLinearGradient gradient(box.topLeft(), box.topRight());
            auto color = [&](std::int32_t rgb) {
                return DeviceColor(QColor::fromRgb(static_cast<QRgb>(rgb & 0xFFFFFF)));
            };
            gradient.setColorAt(0, color(g.gradientColors[0]));
            gradient.setColorAt(1, color(g.gradientColors[1]));
            m_painter.fillPath(path, gradient);
            return;
        }
        if (g.solidFill || g.patternLines.empty()) {
            if (g.solidFill)
                Fill(path);
            return;
        }
        DrawPattern(g, ocs, path);
    }

    // The pattern's line families, clipped to the hatched area: each family is the line through
    // its base point along its angle, repeated by its offset, dashed from the base point on.
    void DrawPattern(const drawing::HatchGeometry& g, const Transform& ocs,
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
        const QPointF corners[4] = {box.topLeft(), box.topRight(), box.bottomLeft(),
                                    box.bottomRight()};
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
            const double perLine = period > 0.0
                                       ? (tMax - tMin + std::fabs(shift) * (kMax - kMin)) / period *
                                             static_cast<double>(family.dashes.size())
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
        m_painter.save();
        m_painter.setClipPath(area, Qt::IntersectClip);
        if (tooDense) {
            // Too fine to plot line by line: a tint of the hatch's colour instead.
            m_state.Warn("hatch pattern \"" + g.patternName +
                         "\" is too dense to plot; it was filled with a tint");
            QColor tint = m_color;
            tint.setAlphaF(0.35);
            m_painter.fillPath(area, tint);
        } else if (!segments.isEmpty()) {
            m_painter.drawLines(segments);
        }
        m_painter.restore();
    }

    void AddEdge(QPolygonF& points, const drawing::HatchEdge& edge, double z,
                 const Transform& ocs) const {
        using Kind = drawing::HatchEdge::Kind;
        switch (edge.kind) {
        case Kind::Line:
            points << Dev(ocs, {edge.start.x, edge.start.y, z})
                   << Dev(ocs, {edge.end.x, edge.end.y, z});
            break;
        case Kind::Arc:
        case Kind::Ellipse: {
            double a0 = drawing::DegToRad(edge.startAngleDeg);
            double a1 = drawing::DegToRad(edge.endAngleDeg);
            // A clockwise edge stores its angles mirrored.
            if (!edge.counterClockwise) {
                a0 = -a0;
                a1 = -a1;
            }
            double sweep = a1 - a0;
            if (edge.counterClockwise) {
                while (sweep <= 0.0)
                    sweep += kTwoPi;
            } else {
                while (sweep >= 0.0)
                    sweep -= kTwoPi;
            }
            if (std::fabs(std::fabs(sweep) - kTwoPi) < 1e-9 && a0 == a1)
                sweep = edge.counterClockwise ? kTwoPi : -kTwoPi;
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

    void DrawLeader(const Document& d, const drawing::LeaderGeometry& g, const Transform& m) {
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

    // A closed filled arrowhead with its tip at `tip`, pointing away from `from`.
    void Arrowhead(const Vec3& tip, const Vec3& from, double size, const Transform& m) {
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

    // A multileader: each leader's lines with an arrowhead, ending at the landing, the dogleg
    // from there, and the text.
    void DrawMLeader(const Document& d, const Entity& e, const drawing::MLeaderGeometry& g,
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

    const Renderer::State& m_state;
    QPainter& m_painter;
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
    const std::string* m_plotStyle = &kNoPlotStyle; // the current entity's named plot style
    std::vector<double> m_dashes; // the current entity's pattern on the device; empty: continuous
    const Document* m_document = nullptr;
    drawing::BlockPath m_path;
    std::size_t m_layoutIndex = 0;
    bool m_paperLayout = false;
    std::unordered_set<std::uint64_t> m_frozen; // layer handles frozen in the current viewport

public:
    void SetLayout(const Document& d, std::size_t layoutIndex) {
        m_layoutIndex = layoutIndex;
        m_paperLayout = !d.layouts.at(layoutIndex).isModel;
    }
};

} // namespace

Renderer::Renderer(const drawing::Document& document, std::shared_ptr<FontLibrary> fonts)
    : m_state(std::make_unique<State>(document, std::move(fonts))) {}
Renderer::~Renderer() = default;

const drawing::Document& Renderer::Document() const {
    return m_state->document;
}

std::vector<std::string> Renderer::Warnings() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->warnings;
}

std::vector<const Entity*> Renderer::EntitiesIn(std::size_t layoutIndex,
                                                const QRectF& window) const {
    const auto& document = m_state->document;
    const auto& entities = document.LayoutEntities(document.layouts.at(layoutIndex));
    const QRectF w = window.normalized();
    const auto found =
        m_state->Index(layoutIndex).Query({w.left(), w.top(), w.right(), w.bottom()});
    std::vector<const Entity*> result;
    result.reserve(found.size());
    for (std::size_t i : found)
        result.push_back(&entities[i]);
    return result;
}

namespace {

void PaintEntities(const Renderer& renderer, const Renderer::State& state, QPainter& painter,
                   std::size_t layoutIndex, const QRectF& window, const QTransform& toDevice,
                   const QPolygonF& clip, const PaintOptions& options, bool plotting) {
    if (!QGuiApplication::instance())
        throw std::logic_error("painting needs a QGuiApplication (fonts)");
    painter.save();
    painter.setClipRegion(QRegion(), Qt::NoClip);
    QPainterPath clipPath;
    clipPath.addPolygon(clip);
    clipPath.closeSubpath();
    painter.setClipPath(clipPath);
    painter.setRenderHint(QPainter::Antialiasing, true);
    Pass pass(state, painter, toDevice, options, plotting);
    pass.SetLayout(state.document, layoutIndex);
    for (const Entity* entity : renderer.EntitiesIn(layoutIndex, window))
        pass.TopLevel(state.document, *entity);
    painter.restore();
}

} // namespace

void Renderer::PaintWindow(QPainter& painter, std::size_t layoutIndex, const QRectF& window,
                           const QTransform& toDevice, const PaintOptions& options) const {
    const QPolygonF clip = toDevice.map(QPolygonF(window.normalized()));
    PaintEntities(*this, *m_state, painter, layoutIndex, window, toDevice, clip, options, false);
}

void Renderer::PaintPage(QPainter& painter, std::size_t layoutIndex, const PagePlacement& placement,
                         double deviceUnitsPerMm, const PaintOptions& options) const {
    PaintOptions pageOptions = options;
    pageOptions.deviceUnitsPerMm = deviceUnitsPerMm;
    const QTransform pageToDevice = PageToDevice(placement, deviceUnitsPerMm);
    const QTransform toDevice = placement.drawingToPage * pageToDevice;
    // Clipped to the window as it lies on the sheet, and to the sheet's printable area.
    const QRectF onSheet = placement.windowOnPageMm.intersected(placement.printableMm);
    const QPolygonF clip = pageToDevice.map(QPolygonF(onSheet));
    PaintEntities(*this, *m_state, painter, layoutIndex, placement.windowDrawing, toDevice, clip,
                  pageOptions, true);
}

} // namespace kw::render
