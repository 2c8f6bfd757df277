// The painting pass: multilines, each element in its own colour and linetype.

#include "drawing/mline.h"
#include "render/detail/pass.h"

namespace kw::render::detail {

// Elements and fill set BYLAYER or BYBLOCK in the style take the multiline's own colour and
// linetype, as a block's content does: a multiline coloured red draws its standard style red.
void Pass::DrawMLine(const Document& d, const Entity& e, const drawing::MLineGeometry& g,
                     const Transform& m, const QColor& drawn, double lineweight,
                     const drawing::Linetype* linetype, const Inherited& in) {
    const drawing::MLineStyle& style = drawing::MLineStyleOf(d, g);
    const drawing::MLineShape shape = drawing::ShapeOfMLine(g, style, e.extrusion);
    const int entityAci = m_aci;
    auto setColor = [&](std::int16_t aci, std::int32_t trueColor) {
        if (trueColor >= 0) {
            SetPen(Styled(QColor::fromRgb(static_cast<QRgb>(trueColor & 0xFFFFFF)), 0, lineweight),
                   in.highlighted);
        } else if (aci >= 1 && aci <= 255) {
            SetPen(Styled(aci == 7 ? QColor() : AciColor(aci), aci, lineweight), in.highlighted);
        } else {
            SetPen(Styled(drawn, entityAci, lineweight), in.highlighted);
        }
    };

    if (!shape.fill.empty()) {
        setColor(style.fillColor, style.fillTrueColor);
        QPainterPath area;
        area.setFillRule(Qt::OddEvenFill);
        for (const std::vector<Vec3>& ring : shape.fill) {
            QPolygonF points;
            for (const Vec3& v : ring)
                points << Dev(m, v);
            area.addPolygon(points);
            area.closeSubpath();
        }
        m_canvas.Fill(area, m_color);
    }

    for (const drawing::MLinePiece& piece : shape.pieces) {
        const drawing::MLineStyle::Element& element = style.elements[piece.element];
        setColor(element.color, element.trueColor);
        const drawing::Linetype* own = linetype;
        const std::string& name = element.linetype;
        if (!name.empty() && !EqualsIgnoringAsciiCase(name, "BYLAYER") &&
            !EqualsIgnoringAsciiCase(name, "BYBLOCK")) {
            own = d.FindLinetype(name);
            if (own && own->dashes.empty())
                own = nullptr;
        }
        UseLinetype(d, e, own, m, in.highlighted);
        QPolygonF points;
        for (const Vec3& v : piece.points)
            points << Dev(m, v);
        Stroke(points, false);
    }
}

} // namespace kw::render::detail
