#pragma once

// A page to paint on in tests: an A4 landscape sheet with the window (0, 0)-(200, 100) plotted
// 1:1 at (10, 10) mm, 10 pixels a millimetre, so that drawing point (x, y) lands on pixel
// (10 (10 + x), 10 (200 - y)).

#include <QImage>
#include <QPainter>

#include <string>
#include <utility>
#include <vector>

#include "drawing/document.h"
#include "render/render.h"

namespace kw::render::test {

inline constexpr double kPagePxPerMm = 10.0;

// Adds the linetype `name` of `dashes` (a dash positive, a gap negative, a dot 0) to the drawing;
// RebuildIndexes after the last.
inline void AddLinetype(drawing::Document& document, const std::string& name,
                        std::vector<double> dashes) {
    drawing::Linetype linetype;
    linetype.name = name;
    for (const double dash : dashes)
        linetype.patternLength += dash < 0 ? -dash : dash;
    linetype.dashes = std::move(dashes);
    document.linetypes.push_back(std::move(linetype));
}

// "GAS" 3 high in every gap of dash 10, gap 14, 12 back from the gap's end and `below` under the
// line, in the STANDARD style (handle 11) that it adds too; indexes rebuilt.
inline void AddGasLinetype(drawing::Document& document, double below) {
    drawing::TextStyle standard;
    standard.name = "STANDARD";
    standard.handle = 0x11;
    document.textStyles.push_back(standard);
    drawing::Linetype gas;
    gas.name = "GAS";
    gas.dashes = {10, -14};
    drawing::LinetypeShape text;
    text.dash = 1;
    text.flags = 2;
    text.style = 0x11;
    text.scale = 3;
    text.offsetX = -12;
    text.offsetY = -below;
    text.text = "GAS";
    gas.shapes.push_back(text);
    document.linetypes.push_back(gas);
    document.RebuildIndexes();
}

inline drawing::LayoutPlotSettings A4Page() {
    drawing::LayoutPlotSettings s;
    s.paperWidthMm = 297;
    s.paperHeightMm = 210;
    s.paperUnits = 1;
    s.windowMaxX = 200;
    s.windowMaxY = 100;
    s.customScalePaper = 1;
    s.customScaleDrawing = 1;
    s.plotOriginXMm = 10;
    s.plotOriginYMm = 10;
    return s;
}

inline QImage PlotPage(const drawing::Document& document, PaintOptions options = {}) {
    QImage image(int(297 * kPagePxPerMm), int(210 * kPagePxPerMm), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    Renderer renderer(document);
    renderer.PaintPage(painter, 0, PlacePage(A4Page()), kPagePxPerMm, options);
    return image;
}

inline QColor PageAt(const QImage& page, double x, double y) {
    return page.pixelColor(int(kPagePxPerMm * (10 + x)), int(kPagePxPerMm * (200 - y)));
}

// Pixels of ink in the drawing's rectangle (x0, y0)-(x1, y1), sampled every 0.1 unit.
inline int PageInk(const QImage& page, double x0, double y0, double x1, double y1) {
    int ink = 0;
    for (double x = x0; x < x1; x += 0.1)
        for (double y = y0; y < y1; y += 0.1)
            ink += PageAt(page, x, y) != QColor(Qt::white) ? 1 : 0;
    return ink;
}

} // namespace kw::render::test
