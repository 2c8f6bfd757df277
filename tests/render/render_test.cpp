// Pages painted into images: where line work lands, in which colour and width, what is left out.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <filesystem>

#include "drawing/dxf_io.h"
#include "drawing/extents.h"
#include "page_support.h"
#include "render/hit_test.h"
#include "render/plot_style_table.h"
#include "render/render.h"
#include "render/text_content.h"
#include "style_table_files.h"
#include "test_support.h"

namespace kw::render {
namespace {

using drawing::test::T;

constexpr double kPxPerMm = test::kPagePxPerMm;

// test::A4Page: an A4 landscape sheet with the window (0, 0)-(200, 100) plotted 1:1 at (10, 10) mm,
// so drawing point (x, y) lands on pixel (10 (10 + x), 10 (200 - y)). Lines run along y = n.95,
// through the middle of a pixel row, so that a one-pixel line is not shared between two rows.
using test::A4Page;

QImage Plot(const drawing::Document& document, PaintOptions options = {},
            const drawing::LayoutPlotSettings& settings = A4Page()) {
    QImage image(int(297 * kPxPerMm), int(210 * kPxPerMm), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    Renderer renderer(document);
    renderer.PaintPage(painter, 0, PlacePage(settings), kPxPerMm, options);
    return image;
}

QColor At(const QImage& image, double x, double y) {
    return image.pixelColor(int(kPxPerMm * (10 + x)), int(kPxPerMm * (200 - y)));
}

bool Inked(const QImage& image, double x, double y) {
    return At(image, x, y) != QColor(Qt::white);
}

// How many pixels across the line work at drawing x is, going down the column through y.
int InkHeight(const QImage& image, double x, double y) {
    const int column = int(kPxPerMm * (10 + x));
    const int row = int(kPxPerMm * (200 - y));
    int count = 0;
    for (int r = row - 40; r <= row + 40; ++r)
        count += image.pixelColor(column, r).lightness() < 200 ? 1 : 0;
    return count;
}

std::string Line(double x0, double y0, double x1, double y1, const std::string& extra = "",
                 const std::string& layer = "0") {
    return T(0, "LINE") + T(8, layer) + extra + T(10, x0) + T(20, y0) + T(30, 0.0) + T(11, x1) +
           T(21, y1) + T(31, 0.0);
}

TEST(PaintPage, LineWorkLandsInItsColourAtItsLineweightAndIsClippedToTheWindow) {
    const auto document =
        drawing::test::FromTags(Line(-100, 49.95, 300, 49.95, T(62, 1) + T(370, 50)) +
                                Line(20, 79.95, 180, 79.95, T(62, 7)));
    PaintOptions options;
    options.lineweights = true;
    QImage page = Plot(document, options);
    EXPECT_EQ(At(page, 100, 49.95), QColor(Qt::red));
    EXPECT_NEAR(InkHeight(page, 100, 49.95), 5, 1);     // 0.5 mm at 10 px/mm
    EXPECT_EQ(At(page, 100, 79.95), QColor(Qt::black)); // colour 7 on white paper
    // Outside the window nothing, also where the line goes on.
    EXPECT_FALSE(Inked(page, -3, 49.95));
    EXPECT_FALSE(Inked(page, 203, 49.95));
    EXPECT_TRUE(Inked(page, 1, 49.95));

    options.lineweights = false;
    options.styleMode = StyleMode::Monochrome;
    page = Plot(document, options);
    EXPECT_EQ(At(page, 100, 49.95).lightness(), 0);
    EXPECT_LE(InkHeight(page, 100, 49.95), 2); // the thin line

    options.styleMode = StyleMode::Grayscale;
    page = Plot(document, options);
    const QColor grey = At(page, 100, 49.95);
    EXPECT_EQ(grey.red(), grey.green());
    EXPECT_NEAR(grey.red(), 76, 2); // red's luminance
}

TEST(PaintPage, APlotStyleTablePlotsItsColourScreenedAtItsLineweightInMillimetres) {
    // ACI 1 plots blue screened to 50 %, 1.00 mm with butt ends; ACI 3 keeps its own colour and
    // lineweight. Lineweights are off: the table's own lineweight plots all the same.
    const auto table = std::make_shared<const PlotStyleTable>(PlotStyleTable::Parse(
        kw::test::CompressedTable("CTBVER1", kw::test::BlueAci1Text()), "blue.ctb"));
    const auto document = drawing::test::FromTags(Line(50, 49.95, 150, 49.95, T(62, 1)) +
                                                  Line(50, 79.95, 150, 79.95, T(62, 3)));
    PaintOptions options;
    options.styleTable = table;
    const QImage page = Plot(document, options);
    EXPECT_EQ(At(page, 100, 49.95), QColor(128, 128, 255));
    const int column = int(kPxPerMm * 110);
    int rows = 0;
    for (int r = int(kPxPerMm * 150) - 40; r <= int(kPxPerMm * 150) + 40; ++r)
        rows += page.pixelColor(column, r) != QColor(Qt::white) ? 1 : 0;
    EXPECT_NEAR(rows, 10, 1); // 1.00 mm at 10 px/mm
    // Butt ends: nothing beyond the line's end point (a round end would reach 0.5 mm further).
    EXPECT_FALSE(Inked(page, 150.3, 49.95));
    EXPECT_TRUE(Inked(page, 149.7, 49.95));
    EXPECT_EQ(At(page, 100, 79.95), QColor(0, 255, 0));
    EXPECT_LE(InkHeight(page, 100, 79.95), 2);

    // A true-colour line close to red takes ACI 1's style too.
    const auto trueColor =
        drawing::test::FromTags(Line(50, 49.95, 150, 49.95, T(420, std::string("16646144"))));
    EXPECT_EQ(At(Plot(trueColor, options), 100, 49.95), QColor(128, 128, 255));
}

TEST(PaintPage, ANamedPlotStyleTablePlotsEachEntityByItsOwnOrItsLayersStyle) {
    const std::string text = "description=\"named\n"
                             "aci_table_available=FALSE\n"
                             "plot_style{\n"
                             " 0{\n  name=\"Normal\n  color=-1\n  lineweight=255\n }\n"
                             " 1{\n  name=\"Red\n  color=-1023475712\n"
                             "  mode_color=-1023475712\n  lineweight=255\n }\n"
                             "}\n";
    PaintOptions options;
    options.styleTable = std::make_shared<const PlotStyleTable>(
        PlotStyleTable::Parse(kw::test::CompressedTable("STBVER1", text), "named.stb"));
    // Green lines: the first names "Red", the second takes its layer's "Red", the third none.
    auto document = drawing::test::FromTags(Line(50, 29.95, 150, 29.95, T(62, 3) + T(390, "10")) +
                                            Line(50, 49.95, 150, 49.95, T(62, 3), "RED") +
                                            Line(50, 69.95, 150, 69.95, T(62, 3)));
    drawing::Layer red;
    red.name = "RED";
    red.plotStyle = 0x10;
    document.layers.push_back(red);
    document.plotStyleNames = {{0xF, "Normal"}, {0x10, "Red"}};
    document.RebuildIndexes();
    const QImage page = Plot(document, options);
    EXPECT_EQ(At(page, 100, 29.95), QColor(255, 0, 0));
    EXPECT_EQ(At(page, 100, 49.95), QColor(255, 0, 0));
    EXPECT_EQ(At(page, 100, 69.95), QColor(0, 255, 0));
}

TEST(PaintPage, LayersThatAreOffFrozenOrNotPlottedStayOffThePage) {
    auto document = drawing::test::FromTags(
        Line(20, 9.95, 180, 9.95, "", "OFF") + Line(20, 19.95, 180, 19.95, "", "FROZEN") +
        Line(20, 29.95, 180, 29.95, "", "NOPLOT") + Line(20, 39.95, 180, 39.95, "", "SHOWN"));
    auto add = [&](const std::string& name, bool on, std::int16_t flags, bool plot) {
        drawing::Layer layer;
        layer.name = name;
        layer.on = on;
        layer.flags = flags;
        layer.plot = plot;
        document.layers.push_back(layer);
    };
    add("OFF", false, 0, true);
    add("FROZEN", true, 1, true);
    add("NOPLOT", true, 0, false);
    add("SHOWN", true, 0, true);
    document.RebuildIndexes();
    const QImage page = Plot(document);
    EXPECT_FALSE(Inked(page, 100, 9.95));
    EXPECT_FALSE(Inked(page, 100, 19.95));
    EXPECT_FALSE(Inked(page, 100, 29.95));
    EXPECT_TRUE(Inked(page, 100, 39.95));

    // On screen a layer that is only marked not to plot is still shown.
    QImage screen(200, 100, QImage::Format_RGB32);
    screen.fill(Qt::black);
    QPainter painter(&screen);
    PaintOptions options;
    options.background = Qt::black;
    Renderer(document).PaintWindow(painter, 0, QRectF(0, 0, 200, 100),
                                   QTransform(1, 0, 0, -1, 0, 100.45), options);
    painter.end();
    EXPECT_EQ(screen.pixelColor(100, 70), QColor(Qt::white));
    EXPECT_EQ(screen.pixelColor(100, 80), QColor(Qt::black));
}

TEST(PaintPage, BlocksAreDrawnFromTheirDefinitionsMirroredArrayedAndByBlock) {
    const std::string block = T(0, "BLOCK") + T(8, "0") + T(2, "B") + T(70, 0) + T(10, 0.0) +
                              T(20, 0.0) + T(30, 0.0) + T(3, "B") + Line(0, 0, 50, 0, T(62, 0)) +
                              T(0, "ENDBLK") + T(8, "0");
    // Mirrored at (100, 50): the line runs to the left. An array of 2 columns 60 apart at y 20.
    const std::string inserts = T(0, "INSERT") + T(8, "0") + T(62, 3) + T(2, "B") + T(10, 100.0) +
                                T(20, 49.95) + T(30, 0.0) + T(41, -1.0) + T(0, "INSERT") +
                                T(8, "0") + T(62, 5) + T(2, "B") + T(10, 10.0) + T(20, 19.95) +
                                T(30, 0.0) + T(70, 2) + T(44, 60.0);
    const QImage page = Plot(drawing::test::FromTags(inserts, block));
    EXPECT_EQ(At(page, 75, 49.95), QColor(Qt::green));
    EXPECT_FALSE(Inked(page, 125, 49.95));
    EXPECT_EQ(At(page, 30, 19.95), QColor(Qt::blue));
    EXPECT_EQ(At(page, 90, 19.95), QColor(Qt::blue));
    EXPECT_FALSE(Inked(page, 65, 19.95));
}

TEST(PaintPage, ABlockThatContainsItselfIsCutOffAndReportedOnce) {
    const std::string block = T(0, "BLOCK") + T(8, "0") + T(2, "LOOP") + T(70, 0) + T(10, 0.0) +
                              T(20, 0.0) + T(30, 0.0) + T(3, "LOOP") + Line(0, 0, 50, 0) +
                              T(0, "INSERT") + T(8, "0") + T(2, "LOOP") + T(10, 0.0) + T(20, 1.0) +
                              T(30, 0.0) + T(0, "INSERT") + T(8, "0") + T(2, "LOOP") + T(10, 0.0) +
                              T(20, 2.0) + T(30, 0.0) + T(0, "ENDBLK") + T(8, "0");
    const auto document = drawing::test::FromTags(
        T(0, "INSERT") + T(8, "0") + T(2, "LOOP") + T(10, 20.0) + T(20, 20.0) + T(30, 0.0), block);
    QImage image(300, 300, QImage::Format_RGB32);
    QPainter painter(&image);
    Renderer renderer(document);
    renderer.PaintPage(painter, 0, PlacePage(A4Page()), 1.0, {});
    renderer.PaintPage(painter, 0, PlacePage(A4Page()), 1.0, {});
    EXPECT_EQ(renderer.Warnings().size(), 1u);
}

TEST(PaintPage, LinetypesDashAtTheirLengthTimesTheScalesAndRestartPerSegment) {
    auto document = drawing::test::FromTags(
        Line(20, 49.95, 180, 49.95, T(6, "DASHED")) +
        Line(20, 29.95, 180, 29.95, T(6, "DASHED") + T(48, 2.0)) +
        Line(20, 9.95, 180, 9.95, T(6, "TINY")) +
        // A polyline without linetype generation starts the pattern again at each vertex.
        T(0, "LWPOLYLINE") + T(8, "0") + T(6, "DASHED") + T(90, 3) + T(70, 0) + T(10, 20.0) +
        T(20, 69.95) + T(10, 32.0) + T(20, 69.95) + T(10, 180.0) + T(20, 69.95));
    test::AddLinetype(document, "DASHED", {10, -5});
    // Finer than a plotter can show: drawn continuous.
    test::AddLinetype(document, "TINY", {0.01, -0.01});
    document.RebuildIndexes();
    const QImage page = Plot(document);
    EXPECT_TRUE(Inked(page, 25, 49.95));
    EXPECT_FALSE(Inked(page, 32.5, 49.95));
    EXPECT_TRUE(Inked(page, 37.5, 49.95));
    EXPECT_FALSE(Inked(page, 47.5, 49.95));
    // The entity's linetype scale 2: dash 20, gap 10.
    EXPECT_TRUE(Inked(page, 38, 29.95));
    EXPECT_FALSE(Inked(page, 45, 29.95));
    EXPECT_TRUE(Inked(page, 55, 29.95));
    for (double x = 21; x < 180; x += 3.7)
        EXPECT_TRUE(Inked(page, x, 9.95)) << x;
    // Segment 20..32: dash 20..30, gap 30..32; the next segment starts with a dash at 32.
    EXPECT_FALSE(Inked(page, 31, 69.95));
    EXPECT_TRUE(Inked(page, 33, 69.95));
    EXPECT_TRUE(Inked(page, 41, 69.95));
    EXPECT_FALSE(Inked(page, 44.5, 69.95));
}

TEST(PaintPage, ALinetypeWithTextWritesItInItsGapsAlongTheLine) {
    // Dash 10, gap 14 carrying "GAS" 3 high, 12 back from the gap's end and 1.5 below the line:
    // from 20 on, each period p has its dash over p..p + 10 and its text from p + 12 on.
    auto document = drawing::test::FromTags(Line(20, 49.95, 180, 49.95, T(6, "GAS")));
    test::AddGasLinetype(document, 1.5);
    const QImage page = Plot(document);

    // Ink in the text's box (baseline 48.45, cap height 51.45), none in the gap either side.
    auto inkIn = [&](double x0, double x1, double y0, double y1) {
        int ink = 0;
        for (double x = x0; x < x1; x += 0.1)
            for (double y = y0; y < y1; y += 0.1)
                ink += Inked(page, x, y) ? 1 : 0;
        return ink;
    };
    for (double p = 20; p + 24 <= 180; p += 24) {
        EXPECT_TRUE(Inked(page, p + 5, 49.95)) << p;
        EXPECT_GT(inkIn(p + 12.3, p + 18.5, 48.6, 51.3), 150) << p;
        EXPECT_EQ(inkIn(p + 10.3, p + 11.7, 47, 53), 0) << p;
        EXPECT_EQ(inkIn(p + 21.5, p + 23.7, 47, 53), 0) << p;
        EXPECT_EQ(inkIn(p + 12.3, p + 18.5, 51.8, 53), 0) << p; // 3 high, not more
    }
}

TEST(PaintPage, DimensionsWhoseBlockIsTheSpaceItselfPaintOnceAndAreReported) {
    // Fuzz findings: measuring or painting them used to re-enter model space exponentially.
    for (const char* name : {"dimension-cycle-timeout.dxf", "dimension-self-timeout.dxf"}) {
        SCOPED_TRACE(name);
        const auto document =
            drawing::LoadDrawing(drawing::test::Fixture(std::string("fuzz/") + name),
                                 {.recover = true}); // cut off by the fuzzer
        Renderer renderer(document);
        QImage image(400, 300, QImage::Format_RGB32);
        QPainter painter(&image);
        renderer.PaintWindow(painter, 0, QRectF(-1e6, -1e6, 2e6, 2e6),
                             QTransform::fromScale(1e-4, -1e-4), {});
        painter.end();
        ASSERT_FALSE(renderer.Warnings().empty());
        EXPECT_NE(renderer.Warnings().front().find("Model_Space"), std::string::npos)
            << renderer.Warnings().front();
    }
}

TEST(PaintPage, ArcsWithAnglesOutOfAllReasonArePaintedPickedAndMeasuredAlike) {
    // Fuzz findings: an angle of 1e300 degrees made painting and picking loop adding turns
    // forever, or converted a chord count far beyond int. Such an angle stands for some direction
    // within a turn; painter, picking and extents must agree on which.
    const std::string center = T(10, 100.0) + T(20, 50.0) + T(30, 0.0);
    const auto arc = [&](const char* start, const char* end) {
        return T(0, "ARC") + T(8, "0") + center + T(40, 20.0) + T(50, start) + T(51, end);
    };
    const auto ellipse = [&](const char* start, const char* end) {
        return T(0, "ELLIPSE") + T(8, "0") + center + T(11, 20.0) + T(21, 0.0) + T(31, 0.0) +
               T(40, 1.0) + T(41, start) + T(42, end);
    };
    const auto hatchArc = [&](const char* start, const char* end, const char* ccw) {
        return T(0, "HATCH") + T(8, "0") + T(100, "AcDbHatch") + T(10, 0.0) + T(20, 0.0) +
               T(30, 0.0) + T(210, 0.0) + T(220, 0.0) + T(230, 1.0) + T(2, "SOLID") + T(70, "1") +
               T(71, "0") + T(91, "1") + T(92, "1") + T(93, "1") + T(72, "2") + T(10, 100.0) +
               T(20, 50.0) + T(40, 20.0) + T(50, start) + T(51, end) + T(73, ccw) + T(97, "0") +
               T(75, "0") + T(76, "1") + T(98, "0");
    };
    for (const std::string& tags :
         {arc("0", "360"), arc("1e300", "0"), arc("0", "1e300"), arc("-1e300", "5"),
          ellipse("1e300", "0"), ellipse("0", "-1e300"), hatchArc("0", "360", "1"),
          hatchArc("1e300", "0", "1"), hatchArc("0", "1e15", "0")}) {
        SCOPED_TRACE(tags);
        const auto document = drawing::test::FromTags(tags);
        const QImage page = Plot(document);
        const Renderer renderer(document);
        const auto& entity = document.LayoutEntities(document.layouts.front()).front();
        const drawing::Box box = drawing::EntityExtents(document, entity);
        int painted = 0;
        for (double degrees = 5; degrees < 360; degrees += 10) {
            SCOPED_TRACE(degrees);
            const double x = 100 + 20 * std::cos(drawing::DegToRad(degrees));
            const double y = 50 + 20 * std::sin(drawing::DegToRad(degrees));
            const bool inked = test::PageInk(page, x - 0.3, y - 0.3, x + 0.3, y + 0.3) > 0;
            painted += inked ? 1 : 0;
            EXPECT_EQ(EntityTouches(renderer, entity, QRectF(x - 0.3, y - 0.3, 0.6, 0.6)), inked);
            if (inked) {
                EXPECT_TRUE(box.min.x - 0.5 <= x && x <= box.max.x + 0.5 && box.min.y - 0.5 <= y &&
                            y <= box.max.y + 0.5);
            }
        }
        EXPECT_GT(painted, 0);
    }
}

TEST(PaintPage, ConstructionLinesCrossTheWholeWindowAreFoundAnywhereAndHaveNoExtents) {
    // An XLINE whose base point lies far outside the window, a RAY starting in it.
    const auto document = drawing::test::FromTags(
        T(0, "XLINE") + T(8, "0") + T(62, 1) + T(10, 5000.0) + T(20, 49.95) + T(30, 0.0) +
        T(11, 1.0) + T(21, 0.0) + T(31, 0.0) + T(0, "RAY") + T(8, "0") + T(10, 100.0) +
        T(20, 29.95) + T(30, 0.0) + T(11, 1.0) + T(21, 0.0) + T(31, 0.0));
    const QImage page = Plot(document);
    for (const double x : {1.0, 100.0, 199.0})
        EXPECT_EQ(At(page, x, 49.95), QColor(Qt::red)) << x;
    EXPECT_FALSE(Inked(page, -3, 49.95)); // clipped to the window like any line
    EXPECT_TRUE(Inked(page, 150, 29.95));
    EXPECT_FALSE(Inked(page, 50, 29.95)); // before the ray's start

    const auto& entities = document.LayoutEntities(document.layouts.front());
    ASSERT_EQ(entities.size(), 2u);
    const Renderer renderer(document);
    EXPECT_TRUE(EntityTouches(renderer, entities[0], QRectF(-20.5, 49.5, 1, 1)));
    EXPECT_FALSE(EntityTouches(renderer, entities[0], QRectF(-20.5, 52.5, 1, 1)));
    EXPECT_FALSE(EntityTouches(renderer, entities[1], QRectF(49.5, 29.5, 1, 1)));
    EXPECT_TRUE(drawing::EntityExtents(document, entities[0]).IsEmpty());
    EXPECT_EQ(renderer.EntitiesIn(0, QRectF(-900, -900, 10, 10)).size(), 2u)
        << "construction lines are candidates for any window";
}

std::string Square(double a, double b) {
    return T(92, 2) + T(72, 0) + T(73, 1) + T(93, 4) + T(10, a) + T(20, a) + T(10, b) + T(20, a) +
           T(10, b) + T(20, b) + T(10, a) + T(20, b) + T(97, 0);
}

// A hatch of the square 20..80 with the island 40..60; `pattern` follows the boundary paths.
std::string Hatch(bool solid, const std::string& pattern) {
    return T(0, "HATCH") + T(8, "0") + T(62, 1) + T(100, "AcDbHatch") + T(10, 0.0) + T(20, 0.0) +
           T(30, 0.0) + T(210, 0.0) + T(220, 0.0) + T(230, 1.0) + T(2, solid ? "SOLID" : "USER") +
           T(70, solid ? 1 : 0) + T(71, 0) + T(91, 2) + Square(20, 80) + Square(40, 60) + T(75, 0) +
           T(76, 1) + pattern + T(98, 0);
}

// A paper-space viewport 100 × 50 on the paper around (100, 50), showing the model 100 units
// high around (150, 100): half scale.
std::string HalfScaleViewport(const std::string& extra = "") {
    return T(0, "VIEWPORT") + T(8, "0") + T(67, 1) + T(10, 100.0) + T(20, 50.0) + T(30, 0.0) +
           T(40, 100.0) + T(41, 50.0) + T(68, 1) + T(69, 2) + T(12, 150.0) + T(22, 100.0) +
           T(45, 100.0) + extra;
}

TEST(PaintPage, APaperLayoutShowsModelSpaceThroughItsViewportsAtTheirScale) {
    // The viewport: 100 × 50 on the paper around (100, 50), showing the model 100 units high
    // around (150, 100): half scale. A model line along y = 99.9 lands on the paper at 49.95.
    const std::string viewport = HalfScaleViewport(T(331, "99"));
    auto document = drawing::test::FromTags(Line(0, 99.9, 400, 99.9) +
                                            Line(100, 119.9, 200, 119.9, "", "HIDDEN") + viewport);
    drawing::Layer hidden;
    hidden.name = "HIDDEN";
    hidden.handle = 0x99;
    document.layers.push_back(hidden);
    document.RebuildIndexes();
    ASSERT_EQ(document.layouts.size(), 2u);
    QImage image(int(297 * kPxPerMm), int(210 * kPxPerMm), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    Renderer(document).PaintPage(painter, 1, PlacePage(A4Page()), kPxPerMm, {});
    painter.end();
    EXPECT_TRUE(Inked(image, 60, 49.95));
    EXPECT_TRUE(Inked(image, 140, 49.95));
    EXPECT_FALSE(Inked(image, 45, 49.95)); // clipped to the viewport
    EXPECT_FALSE(Inked(image, 155, 49.95));
    EXPECT_FALSE(Inked(image, 100, 59.95)); // its layer is frozen in the viewport
    EXPECT_TRUE(Inked(image, 100, 74.95));  // the viewport's border
}

TEST(PaintPage, InViewportsDashesKeepTheirPaperLengthUnlessPaperSpaceLinetypeScalingIsOff) {
    // The half-scale viewport above; a dashed model line (dash 10, gap 5) starting at model
    // x = 0, paper x = 25. Paper scaling on: dashes 25..35, 40..50, 55..65; off: the pattern
    // halves, dashes 47.5..52.5 and 55..60, gap 60..62.5.
    const std::string viewport = HalfScaleViewport();
    for (const bool paperScaling : {true, false}) {
        SCOPED_TRACE(paperScaling);
        auto document =
            drawing::test::FromTags(Line(0, 99.9, 400, 99.9, T(6, "DASHED")) + viewport);
        document.header.push_back({"$PSLTSCALE", {{70, paperScaling ? "1" : "0"}}});
        test::AddLinetype(document, "DASHED", {10, -5});
        document.RebuildIndexes();
        QImage image(int(297 * kPxPerMm), int(210 * kPxPerMm), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        Renderer(document).PaintPage(painter, 1, PlacePage(A4Page()), kPxPerMm, {});
        painter.end();
        EXPECT_EQ(Inked(image, 52, 49.95), !paperScaling);
        EXPECT_EQ(Inked(image, 61, 49.95), paperScaling);
        EXPECT_TRUE(Inked(image, 57, 49.95));
    }
}

// An IMAGE or WIPEOUT of w × h pixels of `pixel` units at (x, y), clipped to the pixel
// rectangle (x0, y0)-(x1, y1) when `clip` is set.
std::string Raster(const char* type, double x, double y, double pixel, int w, int h,
                   const std::string& definition, bool clip = false, double x0 = 0, double y0 = 0,
                   double x1 = 0, double y1 = 0) {
    std::string tags = T(0, type) + T(8, "0") + T(100, "AcDbRasterImage") + T(10, x) + T(20, y) +
                       T(30, 0.0) + T(11, pixel) + T(21, 0.0) + T(31, 0.0) + T(12, 0.0) +
                       T(22, pixel) + T(32, 0.0) + T(13, double(w)) + T(23, double(h)) +
                       T(340, definition) + T(70, 7) + T(280, clip ? 1 : 0);
    if (clip)
        tags += T(71, 1) + T(91, 2) + T(14, x0) + T(24, y0) + T(14, x1) + T(24, y1);
    return tags;
}

TEST(PaintPage, ImagesDrawTheirPictureClippedAndWipeoutsCoverWhatLiesBelow) {
    // A 2 × 2 picture: red, green over blue, black.
    const auto folder = std::filesystem::temp_directory_path() / "kw_render_images";
    std::filesystem::create_directories(folder);
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.setPixelColor(0, 0, Qt::red);
    picture.setPixelColor(1, 0, Qt::green);
    picture.setPixelColor(0, 1, Qt::blue);
    picture.setPixelColor(1, 1, Qt::black);
    ASSERT_TRUE(picture.save(QString::fromStdString((folder / "picture.png").string())));

    auto document = drawing::test::FromTags(
        Raster("IMAGE", 20, 20, 20, 2, 2, "A1") +
        Raster("IMAGE", 100, 20, 20, 2, 2, "A1", true, -0.5, -0.5, 1.5, 0.5) + // top row only
        Raster("IMAGE", 150, 20, 20, 2, 2, "B2") + // its file is not there
        Line(0, 79.95, 200, 79.95) + Raster("WIPEOUT", 90, 70, 20, 1, 1, "0"));
    document.path = (folder / "host.dxf").string();
    document.imageFiles[0xA1] = "picture.png";
    document.imageFiles[0xB2] = "lost.png";
    const QImage page = Plot(document);
    std::filesystem::remove_all(folder);

    auto is = [&](double x, double y, QColor expected) {
        const QColor c = At(page, x, y);
        return std::abs(c.red() - expected.red()) < 40 &&
               std::abs(c.green() - expected.green()) < 40 &&
               std::abs(c.blue() - expected.blue()) < 40;
    };
    EXPECT_TRUE(is(30, 50, Qt::red));
    EXPECT_TRUE(is(50, 50, Qt::green));
    EXPECT_TRUE(is(30, 30, Qt::blue));
    EXPECT_TRUE(is(50, 30, Qt::black));
    EXPECT_TRUE(is(110, 50, Qt::red));
    EXPECT_TRUE(is(110, 30, Qt::white)); // clipped away
    EXPECT_TRUE(Inked(page, 150, 30));   // the lost picture's outline
    EXPECT_FALSE(Inked(page, 170, 40));
    EXPECT_TRUE(Inked(page, 80, 79.95));
    EXPECT_FALSE(Inked(page, 100, 79.95)); // under the wipeout
    EXPECT_TRUE(Inked(page, 120, 79.95));

    // Measured by their outline.
    const auto& entities = document.LayoutEntities(document.layouts.front());
    const drawing::Box clipped = drawing::EntityExtents(document, entities[1]);
    EXPECT_DOUBLE_EQ(clipped.min.y, 40.0);
    EXPECT_DOUBLE_EQ(clipped.max.y, 60.0);
    EXPECT_DOUBLE_EQ(clipped.max.x, 140.0);
}

TEST(PaintPage, MultileadersDrawTheirLinesArrowheadsDoglegAndText) {
    // One leader line from (60.05, 20) up to the landing (60.05, 60), an arrowhead 12 long, a
    // dogleg of 10 to the right, and "MM" 5 high whose top-left corner is at (72, 62.5). The
    // group codes 10 and 40 mean other things at each depth of the context data, and after it.
    const std::string mleader =
        T(0, "MULTILEADER") + T(8, "0") + T(100, "AcDbEntity") + T(100, "AcDbMLeader") +
        T(300, "CONTEXT_DATA{") + T(40, 1.0) + T(10, 999.0) + T(20, 999.0) + T(30, 0.0) +
        T(41, 5.0) + T(140, 12.0) + T(290, 1) + T(304, "MM") + T(12, 72.0) + T(22, 62.5) +
        T(32, 0.0) + T(13, 1.0) + T(23, 0.0) + T(33, 0.0) + T(43, 0.0) + T(171, 1) +
        T(302, "LEADER{") + T(290, 1) + T(291, 1) + T(10, 60.05) + T(20, 60.0) + T(30, 0.0) +
        T(11, 1.0) + T(21, 0.0) + T(31, 0.0) + T(40, 10.0) + T(304, "LEADER_LINE{") + T(10, 60.05) +
        T(20, 20.0) + T(30, 0.0) + T(305, "}") + T(303, "}") + T(301, "}") + T(170, 1) + T(291, 1) +
        T(41, 99.0);
    const auto document = drawing::test::FromTags(mleader);
    const QImage page = Plot(document);
    EXPECT_TRUE(Inked(page, 60.05, 45)); // the leader line
    EXPECT_TRUE(Inked(page, 61, 29));    // the arrowhead, 2 wide at its end
    EXPECT_FALSE(Inked(page, 61, 35));
    EXPECT_TRUE(Inked(page, 65, 60)); // the dogleg
    EXPECT_FALSE(Inked(page, 71, 60));
    int text = 0; // ink in the text's box, right of the dogleg
    for (double x = 72; x < 80; x += 0.1)
        for (double y = 57.5; y < 62.5; y += 0.1)
            text += Inked(page, x, y) ? 1 : 0;
    EXPECT_GT(text, 50);

    const drawing::Box box =
        drawing::EntityExtents(document, document.LayoutEntities(document.layouts.front()).front());
    EXPECT_DOUBLE_EQ(box.min.x, 60.05);
    EXPECT_DOUBLE_EQ(box.min.y, 20.0);
    EXPECT_GT(box.max.x, 76.0);
    EXPECT_DOUBLE_EQ(box.max.y, 62.5);
}

TEST(PaintPage, MultilinesDrawEachElementAtItsOffsetInItsColourWithCapsAndFill) {
    // Style THREE: +1 red, 0 green DASHED, -1 blue, filled yellow, square start cap, round end
    // cap. At scale 10 from (39.95, 49.95) to (159.95, 49.95) its elements run along y = 59.95,
    // 49.95 and 39.95. Below it a STANDARD multiline of colour 6, top-justified at scale 4: its
    // BYLAYER elements in magenta along y = 19.95 and 15.95, its ends open.
    const std::string style = T(0, "MLINESTYLE") + T(5, "1A") + T(100, "AcDbMlineStyle") +
                              T(2, "THREE") + T(70, "1041") + T(62, "2") + T(51, 90.0) +
                              T(52, 90.0) + T(71, "3") + T(49, 1.0) + T(62, "1") + T(6, "BYLAYER") +
                              T(49, 0.0) + T(62, "3") + T(6, "DASHED") + T(49, -1.0) + T(62, "5") +
                              T(6, "BYLAYER");
    const std::string three =
        drawing::test::MLineTags("THREE", "1A", 10.0, 1, 1,
                                 {{39.95, 49.95, 1, 0, 0, 1, {{10, 0}, {0, 0}, {-10, 0}}},
                                  {159.95, 49.95, 1, 0, 0, 1, {{10, 0}, {0, 0}, {-10, 0}}}});
    const std::string standard = drawing::test::MLineTags(
        "STANDARD", "", 4.0, 0, 1, {{20, 19.95, 1, 0, 0, 1, {}}, {180, 19.95, 1, 0, 0, 1, {}}},
        T(62, "6"));
    auto document = drawing::test::FromSections("", three + standard, style);
    test::AddLinetype(document, "DASHED", {10, -5});
    document.RebuildIndexes();
    const QImage page = Plot(document);

    const QColor yellow(255, 255, 0);
    EXPECT_EQ(At(page, 100, 59.95), QColor(Qt::red));
    EXPECT_EQ(At(page, 100, 39.95), QColor(Qt::blue));
    EXPECT_EQ(At(page, 100, 61), QColor(Qt::white));
    EXPECT_EQ(At(page, 100, 38.9), QColor(Qt::white));
    // The green element dashes 10, gap 5 from its start; the fill shows in the gaps.
    EXPECT_EQ(At(page, 45, 49.95), QColor(Qt::green));
    EXPECT_EQ(At(page, 52.5, 49.95), yellow);
    EXPECT_EQ(At(page, 60, 49.95), QColor(Qt::green));
    EXPECT_EQ(At(page, 100, 45), yellow);
    // The square cap across the start, each half in its outer element's colour; nothing before.
    EXPECT_EQ(At(page, 39.95, 55), QColor(Qt::red));
    EXPECT_EQ(At(page, 39.95, 45), QColor(Qt::blue));
    EXPECT_EQ(At(page, 39, 55), QColor(Qt::white));
    // The round cap: half a circle of radius 10 about the end, filled.
    // (A slanting line is smoothed: its pixels are near its colour, not exactly it.)
    auto near = [&](double x, double y, const QColor& color) {
        for (int dx = -2; dx <= 2; ++dx)
            for (int dy = -2; dy <= 2; ++dy) {
                const QColor c = At(page, x + dx / kPxPerMm, y + dy / kPxPerMm);
                if (std::abs(c.red() - color.red()) + std::abs(c.green() - color.green()) +
                        std::abs(c.blue() - color.blue()) <
                    120)
                    return true;
            }
        return false;
    };
    const double c = 10 * std::cos(0.7), s = 10 * std::sin(0.7);
    EXPECT_TRUE(near(159.95 + c, 49.95 + s, Qt::red));
    EXPECT_FALSE(near(159.95 + c, 49.95 + s, Qt::blue));
    EXPECT_TRUE(near(159.95 + c, 49.95 - s, Qt::blue));
    EXPECT_FALSE(near(159.95 + c, 49.95 - s, Qt::red));
    EXPECT_EQ(At(page, 159.95, 55), yellow); // no square cap at the end
    EXPECT_EQ(At(page, 165, 49.95), yellow);
    EXPECT_EQ(At(page, 171, 49.95), QColor(Qt::white));

    EXPECT_EQ(At(page, 100, 19.95), QColor(Qt::magenta));
    EXPECT_EQ(At(page, 100, 15.95), QColor(Qt::magenta));
    EXPECT_EQ(At(page, 100, 17.95), QColor(Qt::white));   // no fill
    EXPECT_EQ(At(page, 20.05, 17.95), QColor(Qt::white)); // no caps
    EXPECT_EQ(At(page, 179.95, 17.95), QColor(Qt::white));

    // Picked by its line work: the open standard one only on its lines, the filled one inside.
    const auto& entities = document.LayoutEntities(document.layouts.front());
    ASSERT_EQ(entities.size(), 2u);
    const Renderer renderer(document);
    EXPECT_TRUE(EntityTouches(renderer, entities[1], QRectF(99.5, 15.5, 1, 1)));
    EXPECT_FALSE(EntityTouches(renderer, entities[1], QRectF(99.5, 17.5, 1, 1)));
    EXPECT_TRUE(EntityTouches(renderer, entities[0], QRectF(99.5, 53.5, 1, 1)));
    EXPECT_FALSE(EntityTouches(renderer, entities[0], QRectF(99.5, 61.5, 1, 1)));
}

TEST(PaintPage, SolidHatchesFillTheirBoundariesByTheEvenOddRule) {
    const QImage page = Plot(drawing::test::FromTags(Hatch(true, "")));
    EXPECT_EQ(At(page, 30, 30), QColor(Qt::red));
    EXPECT_EQ(At(page, 70, 50), QColor(Qt::red));
    EXPECT_FALSE(Inked(page, 50, 50));
    EXPECT_FALSE(Inked(page, 90, 50));
}

TEST(PaintPage, HatchPatternLinesAreSpacedDashedAndClippedToTheArea) {
    // Horizontal lines 10 apart through y = 9.95, 19.95, ..., dashed 10 on, 5 off from x = 0.
    const std::string pattern = T(52, 0.0) + T(41, 1.0) + T(77, 0) + T(78, 1) + T(53, 0.0) +
                                T(43, 0.0) + T(44, -0.05) + T(45, 0.0) + T(46, 10.0) + T(79, 2) +
                                T(49, 10.0) + T(49, -5.0);
    const auto document = drawing::test::FromTags(Hatch(false, pattern));
    ASSERT_EQ(
        std::get<drawing::HatchGeometry>(document.LayoutEntities(document.layouts[0])[0].geometry)
            .patternLines.size(),
        1u);
    const QImage page = Plot(document);
    EXPECT_TRUE(Inked(page, 22, 29.95));
    EXPECT_FALSE(Inked(page, 27, 29.95)); // the gap 25..30
    EXPECT_TRUE(Inked(page, 32, 29.95));
    EXPECT_FALSE(Inked(page, 22, 34.95)); // between two lines
    EXPECT_FALSE(Inked(page, 50, 49.95)); // the island
    EXPECT_TRUE(Inked(page, 62, 49.95));
    EXPECT_FALSE(Inked(page, 17, 29.95)); // outside the boundary
    EXPECT_FALSE(Inked(page, 85, 29.95));

    // Lines a ten-thousandth of a unit apart: a tint, reported once.
    const std::string dense = T(52, 0.0) + T(41, 1.0) + T(77, 0) + T(78, 1) + T(53, 0.0) +
                              T(43, 0.0) + T(44, 0.0) + T(45, 0.0) + T(46, 0.0001) + T(79, 0);
    const auto tinted = drawing::test::FromTags(Hatch(false, dense));
    QImage image(int(297 * kPxPerMm), int(210 * kPxPerMm), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    Renderer renderer(tinted);
    renderer.PaintPage(painter, 0, PlacePage(A4Page()), kPxPerMm, {});
    painter.end();
    EXPECT_TRUE(Inked(image, 30, 30));
    EXPECT_FALSE(Inked(image, 50, 50));
    ASSERT_EQ(renderer.Warnings().size(), 1u);
    EXPECT_NE(renderer.Warnings()[0].find("USER"), std::string::npos);
}

TEST(PaintPage, TextIsDrawnAtItsHeightAndAlignment) {
    // Left-aligned at (20, 20) and right-aligned ending at (180, 60), both 10 units high.
    const std::string text = T(0, "TEXT") + T(8, "0") + T(10, 20.0) + T(20, 20.0) + T(30, 0.0) +
                             T(40, 10.0) + T(1, "HAXH") + T(0, "TEXT") + T(8, "0") + T(10, 0.0) +
                             T(20, 0.0) + T(30, 0.0) + T(40, 10.0) + T(1, "HAXH") + T(72, 2) +
                             T(11, 180.0) + T(21, 60.0) + T(31, 0.0);
    const QImage page = Plot(drawing::test::FromTags(text));
    auto inkIn = [&](double x0, double y0, double x1, double y1) {
        int ink = 0;
        for (double x = x0; x < x1; x += 0.2)
            for (double y = y0; y < y1; y += 0.2)
                ink += Inked(page, x, y) ? 1 : 0;
        return ink;
    };
    EXPECT_GT(inkIn(20, 20, 30, 30), 20);   // the first letter's box
    EXPECT_EQ(inkIn(10, 20, 19.5, 30), 0);  // nothing left of the insertion point
    EXPECT_EQ(inkIn(20, 30.5, 60, 40), 0);  // nothing above the cap height
    EXPECT_GT(inkIn(170, 60, 180, 70), 20); // right-aligned: the last letter ends at 180
    EXPECT_EQ(inkIn(180.5, 60, 195, 70), 0);
}

std::string MText(double x, double y, double height, const std::string& text, double width = 0.0) {
    return T(0, "MTEXT") + T(8, "0") + T(100, "AcDbMText") + T(10, x) + T(20, y) + T(30, 0.0) +
           T(40, height) + T(41, width) + T(71, 1) + T(1, text);
}

int InkIn(const QImage& page, double x0, double y0, double x1, double y1) {
    int ink = 0;
    for (double x = x0; x < x1; x += 0.1)
        for (double y = y0; y < y1; y += 0.1)
            ink += Inked(page, x, y) ? 1 : 0;
    return ink;
}

TEST(PaintPage, MTextStacksFractionsAroundTheMiddleOfTheLine) {
    // Top left at (20, 60), 10 high: the baseline is at 50, the middle of the line at 55. The
    // numerator stands above the bar, the denominator below, each at 0.7 of the height.
    const QImage page = Plot(drawing::test::FromTags(MText(20, 60, 10, "\\S1/2;")));
    EXPECT_GT(InkIn(page, 20, 55.2, 30, 63.5), 10);  // "1"
    EXPECT_GT(InkIn(page, 20, 46.5, 30, 54.8), 10);  // "2"
    EXPECT_GT(InkIn(page, 21.5, 54.9, 23, 55.1), 3); // the bar
    EXPECT_EQ(InkIn(page, 20, 63.8, 40, 70), 0);
    EXPECT_EQ(InkIn(page, 20, 40, 40, 46), 0);
}

TEST(PaintPage, MTextCodesChangeHeightColourAndUnderlineAndTheWidthWraps) {
    // "A" 5 high, then "B" twice as high in red, then "C" again 5 high in the entity's colour.
    const QImage page =
        Plot(drawing::test::FromTags(MText(20, 80, 5, "A{\\H2x;\\C1;B}C\\P\\LUU\\l")));
    // The line is as high as B: A stands on its baseline at 80 - 10.
    int red = 0, tall = 0;
    for (double x = 20; x < 40; x += 0.1)
        for (double y = 70; y < 81; y += 0.1) {
            const QColor c = At(page, x, y);
            red += c.red() > 200 && c.green() < 80 ? 1 : 0;
            tall += c.red() > 200 && c.green() < 80 && y > 75.5 ? 1 : 0;
        }
    EXPECT_GT(red, 20);
    EXPECT_GT(tall, 5); // B reaches above A's 5 units
    EXPECT_EQ(InkIn(page, 20, 80.5, 40, 90), 0);
    // The second line's baseline is the first's minus 5/3 of its height; its underline below.
    const double secondBaseline = 70 - 5 * 5.0 / 3.0;
    EXPECT_GT(InkIn(page, 20, secondBaseline - 1.5, 24, secondBaseline - 0.5), 5);

    // Words wrap at the defined width, CJK characters between any two.
    const QImage wrapped = Plot(drawing::test::FromTags(
        MText(20, 80, 5, "AAAA BBBB CCCC", 30) +
        MText(120, 80, 5, "\\U+6C49\\U+5B57\\U+6C49\\U+5B57\\U+6C49\\U+5B57\\U+6C49", 22)));
    EXPECT_EQ(InkIn(wrapped, 51, 60, 110, 80), 0); // nothing past the width
    EXPECT_GT(InkIn(wrapped, 20, 62, 50, 67), 20); // a third line
    EXPECT_EQ(InkIn(wrapped, 143, 60, 170, 80), 0);
    EXPECT_GT(InkIn(wrapped, 120, 62, 140, 67), 20);
}

TEST(PaintPage, MTextBackgroundMasksCoverWhatLiesBehindAroundTheText) {
    // "MM" 5 high, its top-left corner at (100, 55): the text 50..55 high; a mask of scale 1.5
    // reaches half a height (2.5) around it, over the line along y = 49.95.
    for (const int fill : {0, 3}) {
        SCOPED_TRACE(fill);
        const auto document = drawing::test::FromTags(
            Line(20, 49.95, 180, 49.95) + T(0, "MTEXT") + T(8, "0") + T(10, 100.0) + T(20, 55.0) +
            T(30, 0.0) + T(40, 5.0) + T(71, 1) + T(1, "MM") + T(90, fill) + T(63, 1) + T(45, 1.5));
        const QImage page = Plot(document);
        EXPECT_EQ(Inked(page, 98.5, 49.95), fill == 0);
        EXPECT_TRUE(Inked(page, 96, 49.95));
        EXPECT_TRUE(Inked(page, 130, 49.95));
    }
}

TEST(TextContent, MTextCodesAreTakenOutAndParagraphsSplit) {
    EXPECT_EQ(MTextLines("{\\fSimSun|b0|i0;技术要求}\\P1. \\H2.5;未注\\~倒角\\P\\S1^2;"),
              (std::vector<std::string>{"技术要求", "1. 未注\u00A0倒角", "1/2"}));
    EXPECT_EQ(MTextLines("a\\\\b\\{c\\}\\Lline\\l"), (std::vector<std::string>{"a\\b{c}line"}));
    EXPECT_EQ(MTextLines("%%c20"), (std::vector<std::string>{"\u230020"}));
    EXPECT_EQ(PlainText("%%c50%%p0.1 %%d %%uU%%u 100%%%"), "\u230050\u00B10.1 \u00B0 U 100%");

    const auto paragraphs = ParseMText("{\\fSimHei|b1|i0;粗}\\H2.5;x\\H2x;y\\C3;z\\Pa\\S1#2;");
    ASSERT_EQ(paragraphs.size(), 2u);
    ASSERT_EQ(paragraphs[0].size(), 4u);
    EXPECT_EQ(paragraphs[0][0].format.family, "SimHei");
    EXPECT_TRUE(paragraphs[0][0].format.bold);
    EXPECT_EQ(paragraphs[0][1].format.family, ""); // the group closed
    EXPECT_EQ(paragraphs[0][1].format.height, 2.5);
    EXPECT_EQ(paragraphs[0][2].format.height, 5.0);
    EXPECT_EQ(paragraphs[0][3].format.aci, 3);
    ASSERT_EQ(paragraphs[1].size(), 2u);
    EXPECT_TRUE(paragraphs[1][1].stacked);
    EXPECT_EQ(paragraphs[1][1].upper, "1");
    EXPECT_EQ(paragraphs[1][1].lower, "2");
    EXPECT_EQ(paragraphs[1][1].stackKind, '#');
}

} // namespace
} // namespace kw::render

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
