// The painting pass: block references and arrays, external references, paper-space viewports,
// raster images.

#include "render/detail/pass.h"

namespace kw::render::detail {

void Pass::DrawInsert(const Document& d, const Entity& e, const drawing::InsertGeometry& g,
                      const Transform& m, const Layer* layer, const QColor& drawn,
                      double lineweight, const drawing::Linetype* linetype, const Inherited& in) {
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

void Pass::DrawBlock(const Document& d, const Block& block, const Transform& m,
                     const Inherited& in) {
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

void Pass::DrawViewport(const Document& d, const drawing::ViewportGeometry& g) {
    const Vec3 half{g.width / 2, g.height / 2, 0};
    QPolygonF border{Dev(Transform::Identity(), g.center - half),
                     Dev(Transform::Identity(), g.center + Vec3{half.x, -half.y, 0}),
                     Dev(Transform::Identity(), g.center + half),
                     Dev(Transform::Identity(), g.center + Vec3{-half.x, half.y, 0})};
    if (g.id == 1 || g.status <= 0 || !(g.viewHeight > 0.0) || !(g.height > 0.0))
        return; // the paper space itself, a viewport switched off, or no view
    m_canvas.Polygon(border);
    if (m_options.picking)
        return; // a viewport is picked by its border
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
    const auto found = m_state.Index(0).Query({c.x - reach, c.y - reach, c.x + reach, c.y + reach});
    QPainterPath clipPath;
    clipPath.addPolygon(clip);
    clipPath.closeSubpath();
    m_canvas.PushClip(clipPath);
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
    m_canvas.PopClip();
}

void Pass::DrawRaster(const Document& d, const drawing::RasterGeometry& r, const Transform& m,
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
        m_canvas.Fill(area, m_options.background);
        return;
    }
    if ((r.display & 1) == 0 || !(r.widthPx > 0) || !(r.heightPx > 0))
        return;
    const auto picture = m_state.Picture(d, r.imageDefinition);
    if (!picture) {
        m_canvas.Outline(area);
        return;
    }
    // The picture's pixels (x right, y down from its upper-left corner) → the device.
    const Vec3 top = r.insertion + r.v * r.heightPx;
    const QPointF o = Dev(m, top);
    const QPointF ux = Dev(m, top + r.u * (r.widthPx / picture->width())) - o;
    const QPointF uy = Dev(m, top - r.v * (r.heightPx / picture->height())) - o;
    m_canvas.Image(*picture, QTransform(ux.x(), ux.y(), uy.x(), uy.y(), o.x(), o.y()), area);
}

void Pass::DrawXref(const Document& d, const Block& block, const Transform& m,
                    const Inherited& in) {
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
    const Transform base = Transform::Translation(Vec3{0, 0, 0} - other->HeaderPoint("$INSBASE"));
    DrawBlock(*other, space, m * base, in);
    m_document = &d;
}

} // namespace kw::render::detail
