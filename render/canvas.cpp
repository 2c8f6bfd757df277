#include "render/canvas.h"

#include <QGradient>
#include <QPainter>

#include <cmath>
#include <cstdio>

#include "render/pdf_text.h"

namespace kw::render {

// --- PainterCanvas ---------------------------------------------------------------------------

void PainterCanvas::SetPen(const QPen& pen) {
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
}

void PainterCanvas::Polyline(const QPolygonF& points) {
    m_painter.drawPolyline(points);
}

void PainterCanvas::Polygon(const QPolygonF& points) {
    m_painter.drawPolygon(points);
}

void PainterCanvas::Lines(const QVector<QLineF>& lines) {
    m_painter.drawLines(lines);
}

void PainterCanvas::Points(const QPolygonF& points) {
    m_painter.drawPoints(points);
}

void PainterCanvas::Outline(const QPainterPath& area) {
    m_painter.drawPath(area);
}

void PainterCanvas::Fill(const QPainterPath& area, const QBrush& brush) {
    m_painter.fillPath(area, brush);
}

void PainterCanvas::Text(const QString& text, const QFont& font, const QTransform& glyphToDevice,
                         const QColor& color, bool searchOnly) {
    m_painter.save();
    m_painter.setTransform(glyphToDevice, true); // on top of the painter's own
    m_painter.setFont(font);
    m_painter.setPen(QPen(color));
    if (searchOnly)
        DrawSearchableText(m_painter, QPointF(0, 0), text);
    else
        DrawTextRun(m_painter, QPointF(0, 0), text);
    m_painter.restore();
}

void PainterCanvas::Image(const QImage& image, const QTransform& pixelToDevice,
                          const QPainterPath& area) {
    m_painter.save();
    m_painter.setClipPath(area, Qt::IntersectClip);
    m_painter.setTransform(pixelToDevice, true);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_painter.drawImage(QPointF(0, 0), image);
    m_painter.restore();
}

void PainterCanvas::PushClip(const QPainterPath& area) {
    m_painter.save();
    m_painter.setClipPath(area, Qt::IntersectClip);
}

void PainterCanvas::PopClip() {
    m_painter.restore();
}

// --- RecordingCanvas -------------------------------------------------------------------------

RecordingCanvas::Call& RecordingCanvas::Add(Kind kind, bool withPen) {
    Call& call = m_calls.emplace_back();
    call.kind = kind;
    call.depth = m_depth;
    if (withPen) {
        call.color = m_pen.color();
        call.penWidth = m_pen.widthF();
        call.dashedPen = m_pen.style() != Qt::SolidLine;
    }
    return call;
}

void RecordingCanvas::Polyline(const QPolygonF& points) {
    Add(Kind::Polyline, true).shapes.push_back(points);
}

void RecordingCanvas::Polygon(const QPolygonF& points) {
    Add(Kind::Polygon, true).shapes.push_back(points);
}

void RecordingCanvas::Lines(const QVector<QLineF>& lines) {
    Call& call = Add(Kind::Lines, true);
    for (const QLineF& line : lines)
        call.shapes.push_back(QPolygonF{line.p1(), line.p2()});
}

void RecordingCanvas::Points(const QPolygonF& points) {
    Add(Kind::Points, true).shapes.push_back(points);
}

void RecordingCanvas::Outline(const QPainterPath& area) {
    Call& call = Add(Kind::Outline, true);
    for (const QPolygonF& polygon : area.toSubpathPolygons())
        call.shapes.push_back(polygon);
}

void RecordingCanvas::Fill(const QPainterPath& area, const QBrush& brush) {
    Call& call = Add(Kind::Fill, false);
    const QGradient* gradient = brush.gradient();
    call.color = gradient && !gradient->stops().isEmpty() ? gradient->stops().front().second
                                                          : brush.color();
    for (const QPolygonF& polygon : area.toSubpathPolygons())
        call.shapes.push_back(polygon);
}

void RecordingCanvas::Text(const QString& text, const QFont& font, const QTransform& glyphToDevice,
                           const QColor& color, bool searchOnly) {
    Call& call = Add(Kind::Text, false);
    call.text = text;
    call.font = font;
    call.transform = glyphToDevice;
    call.color = color;
    call.searchOnly = searchOnly;
    call.shapes.push_back(QPolygonF{glyphToDevice.map(QPointF(0, 0))});
}

void RecordingCanvas::Image(const QImage& image, const QTransform& pixelToDevice,
                            const QPainterPath& area) {
    Call& call = Add(Kind::Image, false);
    call.transform = pixelToDevice;
    call.shapes.push_back(pixelToDevice.map(QPolygonF(QRectF(image.rect()))));
    for (const QPolygonF& polygon : area.toSubpathPolygons())
        call.shapes.push_back(polygon);
}

void RecordingCanvas::PushClip(const QPainterPath& area) {
    Call& call = Add(Kind::Clip, false);
    for (const QPolygonF& polygon : area.toSubpathPolygons())
        call.shapes.push_back(polygon);
    ++m_depth;
}

std::vector<RecordingCanvas::Call> RecordingCanvas::Of(Kind kind) const {
    std::vector<Call> selected;
    for (const Call& call : m_calls)
        if (call.kind == kind)
            selected.push_back(call);
    return selected;
}

std::vector<std::string> RecordingCanvas::Listing(int decimals) const {
    static const char* const kNames[] = {"polyline", "polygon", "lines", "points", "outline",
                                         "fill",     "text",    "image", "clip"};
    const auto number = [decimals](double value) {
        char text[64];
        const double rounded = std::round(value * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
        std::snprintf(text, sizeof text, "%.*f", decimals, rounded == 0.0 ? 0.0 : rounded);
        std::string s = text;
        if (s.find('.') != std::string::npos) {
            s.erase(s.find_last_not_of('0') + 1);
            if (s.back() == '.')
                s.pop_back();
        }
        return s;
    };
    std::vector<std::string> listing;
    for (const Call& call : m_calls) {
        std::string line = kNames[static_cast<int>(call.kind)];
        if (call.kind == Kind::Text)
            line.append(" \"").append(call.text.toStdString()).append("\"");
        for (std::size_t i = 0; i < call.shapes.size(); ++i) {
            if (i > 0)
                line.append(" |");
            for (const QPointF& p : call.shapes[i])
                line.append(" ").append(number(p.x())).append(",").append(number(p.y()));
        }
        line.append(" ").append(call.color.name().toStdString());
        if (call.kind != Kind::Fill && call.kind != Kind::Text && call.kind != Kind::Image &&
            call.kind != Kind::Clip) {
            line.append(" w").append(number(call.penWidth));
            if (call.dashedPen)
                line.append(" dashed");
        }
        listing.push_back(line);
    }
    return listing;
}

} // namespace kw::render
