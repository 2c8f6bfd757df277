// Transparent entities painted on screen: their own transparency, their layer's, their block
// reference's. Plots leave it out.

#include <gtest/gtest.h>

#include "drawing/dxf_io.h"
#include "page_support.h"
#include "test_support.h"

namespace kw::render {
namespace {

using drawing::test::T;
using test::PageAt;
using test::PlotPage;

// A solid black hatch of the square (x, 20)-(x + 20, 40) on `layer`, with `extra` tags (440).
std::string SolidSquare(double x, const std::string& layer, const std::string& extra = "") {
    return T(0, "HATCH") + T(8, layer) + T(62, layer == "0" ? 7 : 256) + extra +
           T(100, "AcDbHatch") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) + T(210, 0.0) + T(220, 0.0) +
           T(230, 1.0) + T(2, "SOLID") + T(70, 1) + T(71, 0) + T(91, 1) + T(92, 2) + T(72, 0) +
           T(73, 1) + T(93, 4) + T(10, x) + T(20, 20.0) + T(10, x + 20) + T(20, 20.0) +
           T(10, x + 20) + T(20, 40.0) + T(10, x) + T(20, 40.0) + T(97, 0) + T(75, 0) + T(76, 1) +
           T(98, 0);
}

int Grey(const QImage& page, double x, double y) {
    return PageAt(page, x, y).lightness();
}

// The window (0, 0)-(150, 50) on a white screen at 10 pixels a unit.
QImage Screen(const drawing::Document& document) {
    QImage screen(1500, 500, QImage::Format_RGB32);
    screen.fill(Qt::white);
    QPainter painter(&screen);
    Renderer(document).PaintWindow(painter, 0, QRectF(0, 0, 150, 50),
                                   QTransform(10, 0, 0, -10, 0, 500), {});
    return screen;
}

int ScreenGrey(const QImage& screen, double x, double y) {
    return screen.pixelColor(int(10 * x), int(500 - 10 * y)).lightness();
}

TEST(Transparency, FillsAreMixedWithTheScreenByTheirOpacityAndPlotOpaque) {
    const int half = drawing::kTransparencyAlpha | 127;
    const std::string layers =
        T(0, "SECTION") + T(2, "TABLES") + T(0, "TABLE") + T(2, "LAYER") + T(0, "LAYER") +
        T(2, "0") + T(70, 0) + T(62, 7) + T(6, "CONTINUOUS") + T(0, "LAYER") + T(2, "GLASS") +
        T(70, 0) + T(62, 7) + T(6, "CONTINUOUS") + T(1001, "AcCmTransparency") +
        T(1071, drawing::kTransparencyAlpha | 63) + T(0, "ENDTAB") + T(0, "ENDSEC");
    // Opaque; half transparent by its own 440; by its layer (a quarter opaque); in a block
    // whose reference is half transparent, the content BYBLOCK.
    const std::string block = T(0, "BLOCK") + T(8, "0") + T(2, "TILE") + T(70, 0) + T(10, 0.0) +
                              T(20, 0.0) + T(30, 0.0) + T(3, "TILE") +
                              SolidSquare(0, "0", T(440, drawing::kTransparencyByBlock)) +
                              T(0, "ENDBLK") + T(8, "0");
    const std::string entities = SolidSquare(10, "0") + SolidSquare(40, "0", T(440, half)) +
                                 SolidSquare(70, "GLASS") + T(0, "INSERT") + T(8, "0") +
                                 T(440, half) + T(2, "TILE") + T(10, 100.0) + T(20, 0.0) +
                                 T(30, 0.0);
    const std::string bytes = T(0, "SECTION") + T(2, "HEADER") + T(9, "$ACADVER") + T(1, "AC1021") +
                              T(0, "ENDSEC") + layers + T(0, "SECTION") + T(2, "BLOCKS") + block +
                              T(0, "ENDSEC") + T(0, "SECTION") + T(2, "ENTITIES") + entities +
                              T(0, "ENDSEC") + T(0, "EOF");
    const drawing::Document document = drawing::LoadDrawingFromBytes(bytes, "glass.dxf");
    const QImage screen = Screen(document);
    EXPECT_LT(ScreenGrey(screen, 20, 30), 10);
    EXPECT_NEAR(ScreenGrey(screen, 50, 30), 128, 6);  // a mid tone
    EXPECT_NEAR(ScreenGrey(screen, 80, 30), 192, 6);  // three quarters of the way to white
    EXPECT_NEAR(ScreenGrey(screen, 110, 30), 128, 6); // BYBLOCK: the reference's
    EXPECT_EQ(ScreenGrey(screen, 130, 30), 255);
    // On paper all four are as black as the opaque one.
    const QImage page = PlotPage(document);
    for (const double x : {20.0, 50.0, 80.0, 110.0})
        EXPECT_LT(Grey(page, x, 30), 10) << x;
    EXPECT_EQ(Grey(page, 130, 30), 255);
}

} // namespace
} // namespace kw::render
