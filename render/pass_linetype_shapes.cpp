// The painting pass: the shapes and texts that complex linetypes carry along their lines.

#include "render/detail/pass.h"

namespace kw::render::detail {

void Pass::DrawLinetypeShape(const drawing::LinetypeShape& shape, QPointF at, QPointF along) {
    const Document& d = *m_document;
    bool invertible = false;
    const QTransform toDrawing = m_toDevice.inverted(&invertible);
    const double alongLength = std::hypot(along.x(), along.y());
    if (!invertible || !(alongLength > 0.0) || !(m_deviceScale > 0.0))
        return;
    // Placed in the drawing's coordinates (those the device transform maps), where the text
    // drawing works: offsets and sizes are linetype units, scaled like the dashes.
    const double unit = m_dashScale / m_deviceScale;
    const QPointF origin = toDrawing.map(at);
    const QPointF ahead = toDrawing.map(at + along / alongLength) - origin;
    const double lineAngle = std::atan2(ahead.y(), ahead.x());
    const Vec3 ux{std::cos(lineAngle), std::sin(lineAngle), 0.0};
    const Vec3 uy{-ux.y, ux.x, 0.0};
    const Vec3 place = Vec3{origin.x(), origin.y(), 0.0} + ux * (shape.offsetX * unit) +
                       uy * (shape.offsetY * unit);
    // Files store the rotation in degrees (ZIGZAG's turned half reads 180), whatever the format's
    // reference says.
    const double turn = drawing::DegToRad(shape.rotationDeg);
    const double rotation = shape.AbsoluteRotation() ? turn : lineAngle + turn;

    const drawing::TextStyle* style = nullptr;
    for (const drawing::TextStyle& candidate : d.textStyles)
        if (shape.style != 0 && candidate.handle == shape.style) {
            style = &candidate;
            break;
        }

    if (shape.IsText()) {
        drawing::TextGeometry text;
        text.text = shape.text;
        text.style = style ? style->name : "STANDARD";
        text.insertion = place;
        text.rotationDeg = rotation * 180.0 / drawing::kPi;
        // The scale multiplies the style's fixed height; without one it is the height.
        text.height =
            shape.scale * (style && style->fixedHeight > 0 ? style->fixedHeight : 1.0) * unit;
        text.widthFactor = style && style->widthFactor > 0 ? style->widthFactor : 1.0;
        text.obliqueDeg = style ? style->obliqueDeg : 0.0;
        // Upright text (flag 8) on a line running leftwards is turned half round about its
        // middle, so that it reads from left to right: its top right corner takes the place.
        const double cx = std::cos(rotation), cy = std::sin(rotation);
        if ((shape.flags & 8) != 0 && (cx < -1e-9 || (cx <= 1e-9 && cy < 0))) {
            text.rotationDeg += 180.0;
            text.hAlign = 2;
            text.vAlign = 3;
            text.alignment = place;
            text.hasAlignment = true;
        }
        DrawText(d, text, Transform::Identity(), false);
        return;
    }
    if (!shape.IsShape() || !style || style->fontFile.empty())
        return;
    const auto font = m_state.ShapeFile(style->fontFile);
    if (!font)
        return; // named once; the dashes are drawn all the same
    const auto glyph = font->Glyph(static_cast<std::uint16_t>(shape.shapeNumber));
    if (!glyph)
        return;
    // The scale is the size of the font's capital height, as for a SHAPE entity.
    const double size = shape.scale * unit;
    const double k = font->Above() > 0 ? size / font->Above() : size;
    const Vec3 gx{std::cos(rotation) * k, std::sin(rotation) * k, 0.0};
    const Vec3 gy{-gx.y, gx.x, 0.0};
    for (const auto& stroke : glyph->strokes) {
        QPolygonF points;
        for (const ShxPoint& p : stroke)
            points << Dev(Transform::Identity(), place + gx * p.x + gy * p.y);
        m_canvas.Polyline(points);
    }
}

} // namespace kw::render::detail
