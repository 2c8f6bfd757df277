// The painting pass: an entity's layer, colour, plot style and lineweight; strokes, dashes and
// fills on the device; the dispatch by entity type.

#include "render/detail/pass.h"

namespace kw::render::detail {

const Layer* Pass::EffectiveLayer(const Document& d, const Entity& e, const Inherited& in) const {
    const Layer* own = d.FindLayer(e.layer);
    if (in.layer && (e.layer == "0" || !own))
        return in.layer;
    return own;
}

bool Pass::Visible(const Layer* layer) const {
    if (!layer)
        return true;
    if (!m_frozen.empty() && m_frozen.count(layer->handle) != 0)
        return false; // frozen in the viewport being drawn
    return layer->on && !layer->Frozen() && !(m_plotting && !layer->plot);
}

QColor Pass::DrawnColor(const Entity& e, const Layer* layer, const Inherited& in) const {
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

int Pass::DrawnAci(const Entity& e, const Layer* layer, const Inherited& in) const {
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

StyleResult Pass::Styled(const QColor& drawn, int aci, double lineweightMm) const {
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

const std::string* Pass::PlotStyleName(const Document& d, const Entity& e,
                                       const Layer* layer) const {
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

QColor Pass::DeviceColor(const QColor& drawn, int aci) const {
    return Styled(drawn, aci, 0.0).color;
}

double Pass::LineweightMm(const Entity& e, const Layer* layer, const Inherited& in) const {
    int value = e.lineweight;
    if (value == drawing::kLineweightByBlock)
        return in.byBlockLineweightMm >= 0 ? in.byBlockLineweightMm : DefaultLineweight();
    if (value == drawing::kLineweightByLayer)
        value = layer ? layer->lineweight : drawing::kLineweightDefault;
    if (value < 0)
        return DefaultLineweight();
    return value / 100.0;
}

double Pass::DefaultLineweight() const {
    const double lw = m_document->HeaderNumber("$LWDEFAULT", -1);
    return lw >= 0 ? lw / 100.0 : kDefaultLineweightMm;
}

int Pass::Alpha(const Entity& e, const Layer* layer, const Inherited& in) const {
    // A plot leaves transparency out, as the host CAD plots unless told otherwise; the screen
    // shows it.
    if (m_plotting)
        return 255;
    const auto opacity = [](std::int32_t value) {
        return value >= 0 && (value & drawing::kTransparencyAlpha) != 0 ? int(value & 0xFF) : 255;
    };
    if (e.transparency == drawing::kTransparencyByBlock)
        return in.byBlockAlpha;
    if (e.transparency >= 0 && (e.transparency & drawing::kTransparencyAlpha) != 0)
        return opacity(e.transparency);
    return layer ? opacity(layer->transparency) : 255;
}

void Pass::SetPen(const StyleResult& style, bool highlighted) {
    QColor color = style.color;
    if (m_alpha < 255 && !highlighted)
        color.setAlpha(color.alpha() * m_alpha / 255);
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
    m_pen = pen;
    m_canvas.SetPen(pen);
    m_color = color;
}

QPointF Pass::Dev(const Transform& m, Vec3 p) const {
    const Vec3 w = m.Apply(p);
    return m_toDevice.map(QPointF(w.x, w.y));
}

int Pass::Segments(const Transform& m, double radius, double sweep) const {
    const double r = std::fabs(radius) * std::sqrt(std::fabs(Det2(m))) * m_deviceScale;
    if (!(r > 0.0) || !std::isfinite(r))
        return 1;
    const double step = r > m_tolerance ? 2.0 * std::acos(1.0 - m_tolerance / r) : kTwoPi / 4;
    const double n = std::ceil(std::fabs(sweep) / std::max(step, 1e-4));
    return n >= 2.0 ? static_cast<int>(std::min(n, 4096.0)) : 2; // NaN sweeps too
}

void Pass::AddArc(QPolygonF& out, const Transform& m, Vec3 c, double r, double a0,
                  double sweep) const {
    const int n = Segments(m, r, sweep);
    for (int i = 0; i <= n; ++i) {
        const double a = a0 + sweep * i / n;
        out << Dev(m, {c.x + r * std::cos(a), c.y + r * std::sin(a), c.z});
    }
}

void Pass::AddBulge(QPolygonF& out, const Transform& m, double x1, double y1, double x2, double y2,
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

void Pass::Stroke(const QPolygonF& points, bool closed) {
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
        m_canvas.Polygon(points);
    else
        m_canvas.Polyline(points);
}

const drawing::Linetype* Pass::LinetypeOf(const Document& d, const Entity& e, const Layer* layer,
                                          const Inherited& in) const {
    std::string name = e.linetype;
    if (name.empty() || EqualsIgnoringAsciiCase(name, "BYLAYER"))
        name = layer ? layer->linetype : std::string();
    else if (EqualsIgnoringAsciiCase(name, "BYBLOCK"))
        return in.byBlockLinetype;
    if (name.empty() || EqualsIgnoringAsciiCase(name, "CONTINUOUS"))
        return nullptr;
    const drawing::Linetype* linetype = d.FindLinetype(name);
    return linetype && !linetype->dashes.empty() ? linetype : nullptr;
}

double Pass::LinetypeScale(const Document& d, const Entity& e, const Transform& m) const {
    // In a viewport with $PSLTSCALE on, dashes keep their paper length whatever the
    // viewport's scale.
    return d.HeaderNumber("$LTSCALE", 1.0) * (e.linetypeScale > 0.0 ? e.linetypeScale : 1.0) *
           std::sqrt(std::fabs(Det2(m))) / m_viewportLinetypeScale * m_deviceScale;
}

std::vector<double> Pass::DevicePattern(const Document& d, const Entity& e,
                                        const drawing::Linetype* linetype,
                                        const Transform& m) const {
    if (!linetype)
        return {};
    double total = 0.0;
    for (double dash : linetype->dashes)
        total += std::fabs(dash);
    const double scale = LinetypeScale(d, e, m);
    const double finest = m_options.deviceUnitsPerMm > 0 ? 0.5 * m_options.deviceUnitsPerMm : 3.0;
    if (!(total * scale > finest) || !std::isfinite(total * scale))
        return {};
    std::vector<double> pattern;
    for (double dash : linetype->dashes)
        pattern.push_back(dash * scale);
    return pattern;
}

void Pass::UseLinetype(const Document& d, const Entity& e, const drawing::Linetype* linetype,
                       const Transform& m, bool highlighted) {
    m_dashes = highlighted || m_options.picking ? std::vector<double>{}
                                                : DevicePattern(d, e, linetype, m);
    m_linetype = m_dashes.empty() ? nullptr : linetype;
    m_dashScale = m_linetype ? LinetypeScale(d, e, m) : 0.0;
}

void Pass::StrokeDashed(const QPolygonF& points) {
    constexpr int kMaxDashes = 100000;
    const std::vector<double>& pattern = m_dashes;
    std::size_t index = 0;
    double left = std::fabs(pattern[0]);
    QPolygonF run;
    QPolygonF dots;
    int dashes = 0;
    // The shape or text of each element of the pattern, drawn after the dashes where it ends.
    std::vector<const drawing::LinetypeShape*> shapeOf;
    if (m_linetype && !m_linetype->shapes.empty()) {
        shapeOf.assign(pattern.size(), nullptr);
        for (const drawing::LinetypeShape& shape : m_linetype->shapes)
            if (shape.dash < shapeOf.size())
                shapeOf[shape.dash] = &shape;
    }
    struct Placed {
        const drawing::LinetypeShape* shape;
        QPointF at, along;
    };
    std::vector<Placed> placed;
    auto flush = [&] {
        if (run.size() >= 2)
            m_canvas.Polyline(run);
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
                m_canvas.Polyline(rest);
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
                if (!shapeOf.empty() && shapeOf[index])
                    placed.push_back({shapeOf[index], a + (b - a) * (t / length), b - a});
                index = (index + 1) % pattern.size();
                left = std::fabs(pattern[index]);
                ++dashes;
            }
        }
    }
    flush();
done:
    if (!dots.isEmpty())
        m_canvas.Points(dots);
    for (const Placed& p : placed)
        DrawLinetypeShape(*p.shape, p.at, p.along);
}

void Pass::Fill(const QPainterPath& path) {
    m_canvas.Fill(path, m_color);
    if (m_pen.style() == Qt::CustomDashLine)
        m_canvas.Outline(path);
}

void Pass::Draw(const Document& d, const Entity& e, const Transform& m, const Inherited& in,
                bool topLevel) {
    if (e.invisible || m_canvas.Satisfied())
        return;
    const Layer* layer = EffectiveLayer(d, e, in);
    if (!Visible(layer))
        return;
    m_document = &d;
    const QColor drawn = DrawnColor(e, layer, in);
    const double lineweight = LineweightMm(e, layer, in);
    m_aci = DrawnAci(e, layer, in);
    m_plotStyle = PlotStyleName(d, e, layer);
    m_alpha = Alpha(e, layer, in);
    SetPen(Styled(drawn, m_aci, lineweight), in.highlighted);
    const Transform ocs = m * drawing::OcsToWcs(e.extrusion);
    const drawing::Linetype* linetype = LinetypeOf(d, e, layer, in);
    UseLinetype(d, e, linetype, m, in.highlighted);

    switch (e.type) {
    case EntityType::Line: {
        const auto& g = std::get<drawing::LineGeometry>(e.geometry);
        Stroke(QPolygonF{Dev(m, g.start), Dev(m, g.end)}, false);
        break;
    }
    case EntityType::Point: {
        const auto& g = std::get<drawing::PointGeometry>(e.geometry);
        m_canvas.Points(QPolygonF{Dev(m, g.location)});
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
        const double a0 = drawing::TurnAngle(drawing::DegToRad(g.startAngleDeg));
        const double sweep =
            drawing::ArcSweep(a0, drawing::TurnAngle(drawing::DegToRad(g.endAngleDeg)), true);
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
        DrawInsert(d, e, std::get<drawing::InsertGeometry>(e.geometry), m, layer, drawn, lineweight,
                   linetype, in);
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
                m_canvas.Lines({QLineF(Dev(m, a), Dev(m, b))});
        }
        break;
    }
    case EntityType::Leader:
        DrawLeader(d, std::get<drawing::LeaderGeometry>(e.geometry), m);
        break;
    case EntityType::XLine:
    case EntityType::Ray:
        DrawConstructionLine(std::get<drawing::RayGeometry>(e.geometry), m,
                             e.type == EntityType::Ray);
        break;
    case EntityType::Viewport:
        if (topLevel && (m_paperLayout || m_options.picking))
            DrawViewport(d, std::get<drawing::ViewportGeometry>(e.geometry));
        break;
    case EntityType::Unknown: {
        // A table draws as its anonymous block.
        const auto& g = std::get<drawing::OpaqueGeometry>(e.geometry);
        if (g.raster)
            DrawRaster(d, *g.raster, m, e.DxfName() == "WIPEOUT");
        if (g.mleader)
            DrawMLeader(d, e, *g.mleader, m);
        if (g.mline)
            DrawMLine(d, e, *g.mline, m, drawn, lineweight, linetype, in);
        const Block* block = g.blockName.empty() ? nullptr : d.FindBlock(g.blockName);
        if (block)
            DrawBlock(d, *block, m * Transform::Translation(g.insertion),
                      Hand(layer, drawn, lineweight, linetype, in));
        // Proxy graphics draw as a block's content placed at the identity.
        if (g.proxy) {
            const Inherited next = Hand(layer, drawn, lineweight, linetype, in);
            for (const Entity& part : g.proxy->entities)
                Draw(d, part, m, next, false);
        }
        break;
    }
    }
}

Inherited Pass::Hand(const Layer* layer, const QColor& drawn, double lineweight,
                     const drawing::Linetype* linetype, const Inherited& in) const {
    Inherited next;
    next.byBlockLinetype = linetype;
    next.layer = layer;
    next.byBlockColor = drawn;
    next.byBlockAci = m_aci; // Hand is called before any content is drawn
    next.byBlockLineweightMm = lineweight;
    next.byBlockAlpha = m_alpha;
    next.highlighted = in.highlighted;
    return next;
}

} // namespace kw::render::detail
