#include <gtest/gtest.h>

#include "base/error.h"
#include "render/render.h"

namespace kw::render {
namespace {

namespace pf = drawing::plot_flags;

// A frame 38 000 units wide plotted 380 mm wide (1:100) with a 5 mm allowance on an A1 sheet.
drawing::LayoutPlotSettings Frame(int rotation, bool centred) {
    drawing::LayoutPlotSettings s;
    s.paperWidthMm = 841;
    s.paperHeightMm = 594;
    s.paperUnits = 1;
    s.windowMinX = 1000 - 500;
    s.windowMinY = 2000 - 500;
    s.windowMaxX = 39000 + 500;
    s.windowMaxY = 28000 + 500;
    s.customScalePaper = 380;
    s.customScaleDrawing = 38000;
    s.plotRotation = static_cast<std::int16_t>(rotation);
    s.plotOriginXMm = 12;
    s.plotOriginYMm = 7;
    s.flags = centred ? pf::kPlotCentered : 0;
    return s;
}

void ExpectPoint(QPointF actual, double x, double y) {
    EXPECT_NEAR(actual.x(), x, 1e-9);
    EXPECT_NEAR(actual.y(), y, 1e-9);
}

TEST(PlacePage, TheWindowLandsScaledAtThePlotOriginAndTurnsCounterClockwise) {
    // Unrotated: the window's lower-left corner at the origin, 390 × 270 mm.
    PagePlacement page = PlacePage(Frame(0, false));
    ExpectPoint(page.drawingToPage.map(QPointF(500, 1500)), 12, 7);
    ExpectPoint(page.drawingToPage.map(QPointF(39500, 28500)), 402, 277);
    // The frame itself lies 5 mm inside the window on every side, 380 mm wide.
    ExpectPoint(page.drawingToPage.map(QPointF(1000, 2000)), 17, 12);
    EXPECT_NEAR(page.windowOnPageMm.width(), 390, 1e-9);

    // 90°: the drawing's x axis runs up the sheet; the turned window still starts at the origin.
    page = PlacePage(Frame(1, false));
    EXPECT_NEAR(page.windowOnPageMm.width(), 270, 1e-9);
    EXPECT_NEAR(page.windowOnPageMm.height(), 390, 1e-9);
    ExpectPoint(page.drawingToPage.map(QPointF(500, 1500)), 12 + 270, 7);
    ExpectPoint(page.drawingToPage.map(QPointF(39500, 1500)), 12 + 270, 7 + 390);
    ExpectPoint(page.drawingToPage.map(QPointF(500, 28500)), 12, 7);

    // 180°: upside down in the same box.
    page = PlacePage(Frame(2, false));
    ExpectPoint(page.drawingToPage.map(QPointF(500, 1500)), 402, 277);
    ExpectPoint(page.drawingToPage.map(QPointF(39500, 28500)), 12, 7);

    // 270°: the x axis runs down the sheet.
    page = PlacePage(Frame(3, false));
    ExpectPoint(page.drawingToPage.map(QPointF(500, 1500)), 12, 7 + 390);
    ExpectPoint(page.drawingToPage.map(QPointF(39500, 1500)), 12, 7);
}

TEST(PlacePage, CentringIgnoresTheOriginAndUsesThePrintableArea) {
    drawing::LayoutPlotSettings s = Frame(1, true);
    s.marginLeftMm = 10; // printable area 10..841 across, 0..574 up
    s.marginTopMm = 20;
    const PagePlacement page = PlacePage(s);
    const QPointF centre = page.windowOnPageMm.center();
    EXPECT_NEAR(centre.x(), (10 + 841) / 2.0, 1e-9);
    EXPECT_NEAR(centre.y(), 574 / 2.0, 1e-9);
    ExpectPoint(page.drawingToPage.map(QPointF(20000, 15000)), centre.x(), centre.y());
    // The sheet's top-left is the device origin, y down.
    ExpectPoint(PageToDevice(page, 10).map(QPointF(0, 594)), 0, 0);
    ExpectPoint(PageToDevice(page, 10).map(QPointF(841, 0)), 8410, 5940);
}

TEST(PlacePage, RefusesWhatCannotBePlotted) {
    drawing::LayoutPlotSettings s = Frame(0, false);
    s.paperWidthMm = 0;
    EXPECT_THROW(PlacePage(s), Error);
    s = Frame(0, false);
    s.windowMaxX = s.windowMinX;
    EXPECT_THROW(PlacePage(s), Error);
    s = Frame(0, false);
    s.customScaleDrawing = 0;
    EXPECT_THROW(PlacePage(s), Error);
    // Inches on the paper side: 1 inch per 100 units is 25.4 mm.
    s = Frame(0, false);
    s.paperUnits = 0;
    s.customScalePaper = 1;
    s.customScaleDrawing = 100;
    EXPECT_NEAR(PlacePage(s).windowOnPageMm.width(), 39000 / 100.0 * 25.4, 1e-6);
}

TEST(StyleModeOfTable, NamesTheMonochromeAndGrayscaleTables) {
    EXPECT_EQ(StyleModeOfTable("monochrome.ctb"), StyleMode::Monochrome);
    EXPECT_EQ(StyleModeOfTable("Monochrome.stb"), StyleMode::Monochrome);
    EXPECT_EQ(StyleModeOfTable("grayscale.ctb"), StyleMode::Grayscale);
    EXPECT_EQ(StyleModeOfTable("acad.ctb"), StyleMode::AsDrawn);
    EXPECT_EQ(StyleModeOfTable(""), StyleMode::AsDrawn);
}

} // namespace
} // namespace kw::render
