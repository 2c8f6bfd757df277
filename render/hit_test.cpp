#include "render/hit_test.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

#include "drawing/extents.h"
#include "drawing/geometry.h"
#include "render/canvas.h"
#include "render/render.h"

namespace kw::render {
namespace {

// The front end draws for picking into a space where the pick window is this many device units
// across its shorter side: curves are flattened far finer than the window (to 0.3 units), so a
// pick box resting on an arc is never missed for the chords cutting inside it.
constexpr double kWindowUnits = 100.0;

PaintOptions PickingOptions() {
    PaintOptions options;
    options.picking = true;
    return options;
}

// The box a run of characters covers, in the font's coordinates (baseline at y 0, y down).
QPolygonF TextBox(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    return QPolygonF(QRectF(0, -metrics.ascent(), std::max(metrics.horizontalAdvance(text), 0.0),
                            metrics.ascent() + metrics.descent()));
}

// Whether any drawing call meets a window (device coordinates); the front end stops once one
// does. Strokes meet it where a segment crosses it, areas also where they hold it.
class HitCanvas final : public Canvas {
public:
    explicit HitCanvas(const QRectF& window) : m_window(window) {}

    bool Hit() const { return m_hit; }
    bool Satisfied() const override { return m_hit; }

    void SetPen(const QPen&) override {}
    void Polyline(const QPolygonF& points) override { Path(points, false); }
    void Polygon(const QPolygonF& points) override { Path(points, true); }
    void Lines(const QVector<QLineF>& lines) override {
        for (const QLineF& line : lines)
            Segment(line.p1(), line.p2());
    }
    void Points(const QPolygonF& points) override {
        for (const QPointF& p : points)
            m_hit = m_hit || m_window.contains(p);
    }
    void Outline(const QPainterPath& area) override {
        for (const QPolygonF& polygon : area.toSubpathPolygons())
            Path(polygon, false);
    }
    void Fill(const QPainterPath& area, const QBrush&) override {
        Outline(area);
        m_hit = m_hit || area.contains(m_window.center()); // by the path's own fill rule
    }
    void Text(const QString& text, const QFont& font, const QTransform& glyphToDevice,
              const QColor&, bool) override {
        QPainterPath box;
        box.addPolygon(glyphToDevice.map(TextBox(text, font)));
        box.closeSubpath();
        Fill(box, {});
    }
    void Image(const QImage& image, const QTransform& pixelToDevice,
               const QPainterPath&) override {
        QPainterPath box;
        box.addPolygon(pixelToDevice.map(QPolygonF(QRectF(image.rect()))));
        box.closeSubpath();
        Fill(box, {});
    }
    void PushClip(const QPainterPath&) override {}
    void PopClip() override {}

private:
    void Path(const QPolygonF& points, bool closed) {
        if (points.size() == 1)
            Points(points);
        for (int i = 0; i + 1 < points.size() && !m_hit; ++i)
            Segment(points[i], points[i + 1]);
        if (closed && points.size() > 2)
            Segment(points.back(), points.front());
    }

    // The part of the segment inside the window is not empty.
    void Segment(QPointF a, QPointF b) {
        if (m_hit)
            return;
        double t0 = 0.0;
        double t1 = 1.0;
        m_hit = drawing::ClipToRectangle(a.x(), a.y(), b.x() - a.x(), b.y() - a.y(),
                                         m_window.left(), m_window.top(), m_window.right(),
                                         m_window.bottom(), t0, t1);
    }

    QRectF m_window;
    bool m_hit = false;
};

// What the calls draw, as polylines in device coordinates: strokes as they are, areas, texts and
// pictures by their outlines.
class OutlineCanvas final : public Canvas {
public:
    std::vector<QPolygonF> outline;

    void SetPen(const QPen&) override {}
    void Polyline(const QPolygonF& points) override {
        if (points.size() > 1)
            outline.push_back(points);
    }
    void Polygon(const QPolygonF& points) override {
        QPolygonF closed = points;
        if (!closed.isEmpty() && !closed.isClosed())
            closed << closed.front();
        Polyline(closed);
    }
    void Lines(const QVector<QLineF>& lines) override {
        for (const QLineF& line : lines)
            outline.push_back(QPolygonF{line.p1(), line.p2()});
    }
    void Points(const QPolygonF&) override {} // a dot shows no outline worth drawing
    void Outline(const QPainterPath& area) override {
        for (const QPolygonF& polygon : area.toSubpathPolygons())
            Polyline(polygon);
    }
    void Fill(const QPainterPath& area, const QBrush&) override { Outline(area); }
    void Text(const QString& text, const QFont& font, const QTransform& glyphToDevice,
              const QColor&, bool) override {
        Polygon(glyphToDevice.map(TextBox(text, font)));
    }
    void Image(const QImage& image, const QTransform& pixelToDevice,
               const QPainterPath&) override {
        Polygon(pixelToDevice.map(QPolygonF(QRectF(image.rect()))));
    }
    void PushClip(const QPainterPath&) override {}
    void PopClip() override {}
};

} // namespace

bool EntityTouches(const Renderer& renderer, const drawing::Entity& entity,
                   const QRectF& window) {
    const QRectF box = window.normalized();
    if (box.isNull() || !(std::min(box.width(), box.height()) > 0.0))
        return false;
    // Drawing units → a space where the window is kWindowUnits across, its centre at 0.
    const double scale = kWindowUnits / std::min(box.width(), box.height());
    if (!std::isfinite(scale))
        return false;
    QTransform toDevice;
    toDevice.scale(scale, scale);
    toDevice.translate(-box.center().x(), -box.center().y());
    HitCanvas canvas(toDevice.mapRect(box));
    renderer.DrawEntity(canvas, entity, toDevice, PickingOptions(), box);
    return canvas.Hit();
}

std::vector<QPolygonF> EntityOutline(const Renderer& renderer, const drawing::Entity& entity,
                                     double tolerance, const QRectF& window) {
    // The front end flattens curves to 0.3 device units: a device unit of tolerance / 0.3.
    const double scale = 0.3 / std::max(tolerance, 1e-9);
    QTransform toDevice;
    toDevice.scale(scale, scale);
    OutlineCanvas canvas;
    renderer.DrawEntity(canvas, entity, toDevice, PickingOptions(), window);
    const QTransform back = toDevice.inverted();
    for (QPolygonF& polygon : canvas.outline)
        polygon = back.map(polygon);
    return std::move(canvas.outline);
}

bool EntityInside(const drawing::Document& document, const drawing::Entity& entity,
                  const QRectF& window) {
    const QRectF box = window.normalized();
    const drawing::Box extents = drawing::EntityExtents(document, entity);
    return !extents.IsEmpty() && extents.min.x >= box.left() && extents.max.x <= box.right() &&
           extents.min.y >= box.top() && extents.max.y <= box.bottom();
}

} // namespace kw::render
