#include "render/drawn_extents.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "drawing/extents.h"
#include "render/canvas.h"
#include "render/render.h"

namespace kw::render {
namespace {

// The entity is drawn into a space where its estimated box is this many device units across:
// curves are flattened to 0.3 units (3e-5 of its size) and only dash patterns finer than 3 units
// (3e-4 of it) are drawn continuous, so the box stays true to the geometry and the shapes of a
// linetype are all there.
constexpr double kMeasureUnits = 1e4;

// An axis-aligned rectangle that grows; empty until something is added.
struct Bounds {
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();

    bool Empty() const { return !(minX <= maxX && minY <= maxY); }
    void Add(const QPointF& p) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return;
        minX = std::min(minX, p.x());
        minY = std::min(minY, p.y());
        maxX = std::max(maxX, p.x());
        maxY = std::max(maxY, p.y());
    }
    void Add(const Bounds& b) {
        if (b.Empty())
            return;
        Add(QPointF(b.minX, b.minY));
        Add(QPointF(b.maxX, b.maxY));
    }
    static Bounds Of(const QRectF& r) {
        Bounds b;
        b.Add(r.topLeft());
        b.Add(r.bottomRight());
        return b;
    }
    Bounds Intersected(const Bounds& clip) const {
        Bounds b;
        b.minX = std::max(minX, clip.minX);
        b.minY = std::max(minY, clip.minY);
        b.maxX = std::min(maxX, clip.maxX);
        b.maxY = std::min(maxY, clip.maxY);
        return b;
    }
};

// Keeps the box of every drawing call (device coordinates), within the clips in force. A run of
// characters counts by its ink: the glyphs' outlines, not the line's ascent and advance.
class ExtentsCanvas final : public Canvas {
public:
    const Bounds& Box() const { return m_box; }

    void SetPen(const QPen&) override {}
    void Polyline(const QPolygonF& points) override { AddPoints(points); }
    void Polygon(const QPolygonF& points) override { AddPoints(points); }
    void Lines(const QVector<QLineF>& lines) override {
        Bounds b;
        for (const QLineF& line : lines) {
            b.Add(line.p1());
            b.Add(line.p2());
        }
        Add(b);
    }
    void Points(const QPolygonF& points) override { AddPoints(points); }
    void Outline(const QPainterPath& area) override { AddPath(area); }
    void Fill(const QPainterPath& area, const QBrush&) override { AddPath(area); }
    void Text(const QString& text, const QFont& font, const QTransform& glyphToDevice,
              const QColor&, bool searchOnly) override {
        if (searchOnly || text.isEmpty())
            return; // shape-font text: its strokes are the ink
        if (glyphToDevice.type() <= QTransform::TxScale) {
            // Neither turned nor obliqued: the ink box of the glyphs maps onto the drawn one.
            const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
            if (ink.width() > 0.0 || ink.height() > 0.0)
                Add(Bounds::Of(glyphToDevice.mapRect(ink)));
            return;
        }
        QPainterPath glyphs;
        glyphs.addText(0.0, 0.0, font, text);
        if (!glyphs.isEmpty())
            Add(Bounds::Of(glyphToDevice.map(glyphs).boundingRect()));
    }
    void Image(const QImage& image, const QTransform& pixelToDevice,
               const QPainterPath& area) override {
        Bounds b = Bounds::Of(pixelToDevice.map(QPolygonF(QRectF(image.rect()))).boundingRect());
        b = b.Intersected(area.isEmpty() ? Bounds() : Bounds::Of(area.boundingRect()));
        Add(b);
    }
    void PushClip(const QPainterPath& area) override {
        Bounds clip = area.isEmpty() ? Bounds() : Bounds::Of(area.boundingRect());
        if (!m_clips.empty())
            clip = clip.Intersected(m_clips.back());
        m_clips.push_back(clip);
    }
    void PopClip() override {
        if (!m_clips.empty())
            m_clips.pop_back();
    }

private:
    void AddPath(const QPainterPath& area) {
        if (!area.isEmpty())
            Add(Bounds::Of(area.boundingRect()));
    }
    void AddPoints(const QPolygonF& points) {
        Bounds b;
        for (const QPointF& p : points)
            b.Add(p);
        Add(b);
    }
    void Add(const Bounds& b) {
        m_box.Add(m_clips.empty() || b.Empty() ? b : b.Intersected(m_clips.back()));
    }

    Bounds m_box;
    std::vector<Bounds> m_clips;
};

// Draws the entity into a space fitted to its estimated box (EntityExtents) and returns the box
// of what was drawn, in drawing units.
drawing::Box Drawn(const Renderer& renderer, const drawing::Entity& entity,
                   const drawing::Box& estimate) {
    double cx = 0.0, cy = 0.0, size = 0.0;
    if (!estimate.IsEmpty()) {
        cx = (estimate.min.x + estimate.max.x) / 2.0;
        cy = (estimate.min.y + estimate.max.y) / 2.0;
        size = std::max(estimate.max.x - estimate.min.x, estimate.max.y - estimate.min.y);
    }
    if (!std::isfinite(cx) || !std::isfinite(cy))
        cx = cy = 0.0;
    if (!(size > 0.0) || !std::isfinite(size))
        size = 1.0; // a text of no estimated width: any scale draws it
    const double scale = kMeasureUnits / size;
    ExtentsCanvas canvas;
    // As a screen shows it, dashes and all; no window, so endless lines draw nothing.
    renderer.DrawEntity(canvas, entity, QTransform(scale, 0, 0, scale, -cx * scale, -cy * scale),
                        PaintOptions(), QRectF());
    drawing::Box box;
    const Bounds& drawn = canvas.Box();
    if (drawn.Empty())
        return box;
    const double z0 = estimate.IsEmpty() ? 0.0 : estimate.min.z;
    const double z1 = estimate.IsEmpty() ? 0.0 : estimate.max.z;
    box.Add(drawing::Vec3{drawn.minX / scale + cx, drawn.minY / scale + cy, z0});
    box.Add(drawing::Vec3{drawn.maxX / scale + cx, drawn.maxY / scale + cy, z1});
    return box;
}

bool HasGui() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// Text of every kind, whose box is the ink alone; the rest that drawing::ExtentsEstimated names
// are lines carrying a linetype's shapes.
bool IsText(const drawing::Entity& entity) {
    const auto& g = entity.geometry;
    if (const auto* opaque = std::get_if<drawing::OpaqueGeometry>(&g))
        return opaque->mleader != nullptr ||
               (opaque->proxy && std::all_of(opaque->proxy->entities.begin(),
                                             opaque->proxy->entities.end(), IsText));
    return std::holds_alternative<drawing::TextGeometry>(g) ||
           std::holds_alternative<drawing::MTextGeometry>(g) ||
           std::holds_alternative<drawing::DimensionGeometry>(g);
}

} // namespace

drawing::Box DrawnExtents(const Renderer& renderer, const drawing::Entity& entity) {
    return Drawn(renderer, entity, drawing::EntityExtents(renderer.Document(), entity));
}

drawing::Box EntityBox(const Renderer& renderer, const drawing::Entity& entity) {
    const drawing::Document& document = renderer.Document();
    const drawing::Box estimate = drawing::EntityExtents(document, entity);
    if (!HasGui() || !drawing::ExtentsEstimated(document, entity))
        return estimate;
    drawing::Box drawn = Drawn(renderer, entity, estimate);
    if (drawn.IsEmpty())
        return estimate;
    // A linetype's shapes stand beside the line; the line itself is measured exactly (a dash
    // pattern may end in a gap short of its end point).
    if (!IsText(entity))
        drawn.Add(estimate);
    return drawn;
}

} // namespace kw::render
