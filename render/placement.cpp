#include <QString>

#include <algorithm>
#include <cmath>
#include <string>

#include "base/characters.h"
#include "base/error.h"
#include "render/render.h"

namespace kw::render {
namespace {

namespace pf = drawing::plot_flags;

} // namespace

StyleMode StyleModeOfTable(const std::string& tableName) {
    const std::string name = AsciiLower(tableName);
    if (name.rfind("monochrome", 0) == 0)
        return StyleMode::Monochrome;
    if (name.rfind("grayscale", 0) == 0 || name.rfind("greyscale", 0) == 0)
        return StyleMode::Grayscale;
    return StyleMode::AsDrawn;
}

PagePlacement PlacePage(const drawing::LayoutPlotSettings& s) {
    if (!(s.paperWidthMm > 0.0) || !(s.paperHeightMm > 0.0))
        throw Error(errors::kInvalidCall, "the layout has no paper (CanonicalMediaName)");
    const double minX = std::min(s.windowMinX, s.windowMaxX);
    const double maxX = std::max(s.windowMinX, s.windowMaxX);
    const double minY = std::min(s.windowMinY, s.windowMaxY);
    const double maxY = std::max(s.windowMinY, s.windowMaxY);
    if (!(maxX > minX) || !(maxY > minY) || !std::isfinite(maxX - minX) ||
        !std::isfinite(maxY - minY))
        throw Error(errors::kInvalidCall, "the plot window is empty (SetWindowToPlot)");
    double scale = (s.flags & pf::kUseStandardScale) != 0
                       ? s.standardScaleFactor
                       : s.customScalePaper / s.customScaleDrawing;
    if (s.paperUnits == 0)
        scale *= 25.4; // the scale's paper side is in inches
    if (!(scale > 0.0) || !std::isfinite(scale))
        throw Error(errors::kInvalidCall, "the plot has no scale (SetCustomScale)");

    PagePlacement page;
    page.paperWidthMm = s.paperWidthMm;
    page.paperHeightMm = s.paperHeightMm;
    page.printableMm = QRectF(s.marginLeftMm, s.marginBottomMm,
                              std::max(0.0, s.paperWidthMm - s.marginLeftMm - s.marginRightMm),
                              std::max(0.0, s.paperHeightMm - s.marginBottomMm - s.marginTopMm));
    page.windowDrawing = QRectF(minX, minY, maxX - minX, maxY - minY);

    // The window scaled onto the paper, then turned counter-clockwise by the rotation.
    const int rotation = ((s.plotRotation % 4) + 4) % 4;
    const double w = (maxX - minX) * scale;
    const double h = (maxY - minY) * scale;
    const bool quarter = rotation % 2 == 1;
    const double rotatedW = quarter ? h : w;
    const double rotatedH = quarter ? w : h;
    QPointF lowerLeft;
    if ((s.flags & pf::kPlotCentered) != 0) {
        const QPointF centre = page.printableMm.center();
        lowerLeft = centre - QPointF(rotatedW / 2.0, rotatedH / 2.0);
    } else {
        lowerLeft = page.printableMm.topLeft() + QPointF(s.plotOriginXMm, s.plotOriginYMm);
    }
    page.windowOnPageMm = QRectF(lowerLeft.x(), lowerLeft.y(), rotatedW, rotatedH);

    // x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy on window coordinates scaled to mm with
    // the window's lower-left corner at 0.
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    switch (rotation) {
    case 1: // (x, y) -> (-y, x), then up by nothing and right by the rotated width
        m11 = 0, m12 = 1, m21 = -1, m22 = 0, dx = rotatedW;
        break;
    case 2:
        m11 = -1, m22 = -1, dx = rotatedW, dy = rotatedH;
        break;
    case 3:
        m11 = 0, m12 = -1, m21 = 1, m22 = 0, dy = rotatedH;
        break;
    default:
        break;
    }
    const QTransform toWindow =
        QTransform::fromTranslate(-minX, -minY) * QTransform::fromScale(scale, scale);
    const QTransform turn(m11, m12, m21, m22, dx + lowerLeft.x(), dy + lowerLeft.y());
    page.drawingToPage = toWindow * turn;
    return page;
}

QTransform PageToDevice(const PagePlacement& placement, double deviceUnitsPerMm) {
    // y up on the page, y down on the device, origin at the sheet's top-left.
    return QTransform(deviceUnitsPerMm, 0, 0, -deviceUnitsPerMm, 0,
                      placement.paperHeightMm * deviceUnitsPerMm);
}

} // namespace kw::render
