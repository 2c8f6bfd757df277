// Custom objects (walls, doors) painted from their proxy graphics: on the page in their layers'
// colours or their own, picked and measured by what they draw.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <filesystem>

#include "drawing/drawing.h"
#include "page_support.h"
#include "proxy_stream.h"
#include "render/hit_test.h"
#include "render/render.h"
#include "test_support.h"

namespace kw::render {
namespace {

using drawing::Vec3;
using drawing::test::ProxyStream;
using test::PageAt;
using test::PageInk;

// A plan drawn by an architectural application: a wall and a door on their layers, and a wall
// whose graphics say nothing of layer or colour, so that it is drawn as its proxy entity is.
// Lines run along n.95, through the middle of a row (or column) of pixels.
drawing::Document Plan() {
    const std::string tables = "0\nTABLE\n2\nLAYER\n"
                               "0\nLAYER\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n"
                               "0\nLAYER\n2\nA-WALL\n70\n0\n62\n1\n6\nCONTINUOUS\n"
                               "0\nLAYER\n2\nA-DOOR\n70\n0\n62\n3\n6\nCONTINUOUS\n"
                               "0\nENDTAB\n";
    const std::string wall =
        ProxyStream()
            .Trait(16, 1) // A-WALL
            .Trait(14, 256)
            .Polyline(
                {{19.95, 19.95, 0}, {119.95, 19.95, 0}, {119.95, 29.95, 0}, {19.95, 29.95, 0}},
                true)
            .ProxyEntityTags("2A", "A-WALL");
    const std::string door =
        ProxyStream()
            .Trait(16, 2) // A-DOOR
            .Polyline({{129.95, 29.95, 0}, {129.95, 59.95, 0}})
            .Arc3p({129.95, 59.95, 0},
                   {129.95 + 15 * std::sqrt(2.0), 29.95 + 15 * std::sqrt(2.0), 0},
                   {159.95, 29.95, 0})
            .ProxyEntityTags("2B", "A-DOOR");
    const std::string plain = ProxyStream()
                                  .Polyline({{19.95, 39.95, 0}, {119.95, 39.95, 0}})
                                  .ProxyEntityTags("2C", "0", 5);
    return drawing::test::FromSections(tables, wall + door + plain, "");
}

TEST(PaintPage, ProxyWallsAndDoorsArePaintedPickedAndMeasuredByTheirGraphics) {
    const drawing::Document document = Plan();
    const auto& entities = document.LayoutEntities(document.layouts.front());
    ASSERT_EQ(entities.size(), 3u);
    const QImage page = test::PlotPage(document);
    EXPECT_EQ(PageAt(page, 70, 19.95), QColor(Qt::red)); // the wall's layer
    EXPECT_EQ(PageAt(page, 70, 29.95), QColor(Qt::red));
    EXPECT_EQ(PageAt(page, 129.95, 45), QColor(Qt::green)); // the door's leaf
    EXPECT_GT(PageInk(page, 150.5, 50.5, 151.9, 51.9), 0);  // its swing, half way
    EXPECT_EQ(PageAt(page, 70, 39.95), QColor(Qt::blue));   // BYBLOCK: the proxy entity's 5
    EXPECT_EQ(PageInk(page, 30, 22, 110, 28), 0);           // the wall is not filled

    const Renderer renderer(document);
    const drawing::Entity& door = entities[1];
    EXPECT_TRUE(EntityTouches(renderer, door, QRectF(150.9, 50.9, 0.6, 0.6)));
    EXPECT_FALSE(EntityTouches(renderer, door, QRectF(135, 35, 5, 5)));
    const drawing::Box box = drawing::EntityExtents(document, door);
    EXPECT_NEAR(box.min.x, 129.95, 1e-9);
    EXPECT_NEAR(box.min.y, 29.95, 1e-9);
    EXPECT_NEAR(box.max.x, 159.95, 1e-9);
    EXPECT_NEAR(box.max.y, 59.95, 1e-9);
}

// The plan of the test data drawn by an architectural application: its walls, windows, columns
// and axes are proxy entities, and each of them puts ink on the page where it lies.
TEST(PaintPage, TheProxyEntitiesOfAnArchitecturalPlanPutInkWhereTheyLie) {
    const std::filesystem::path plan =
        std::filesystem::path(KW_SHARED_TESTDATA) / "libredwg/test/test-data/2013/gh109_1.dxf";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(plan, ec))
        GTEST_SKIP() << plan << " is not there";
    drawing::Document document =
        drawing::LoadDrawing(plan.string(), {.keep = drawing::KeepBytes::ForReading});
    const auto& entities = document.LayoutEntities(document.layouts.front());
    drawing::Box all;
    std::vector<drawing::Box> walls;
    for (const drawing::Entity& e : entities) {
        if (e.DxfName() != "ACAD_PROXY_ENTITY")
            continue;
        const drawing::Box box = drawing::EntityExtents(document, e);
        all.Add(box);
        if (e.layer == "WALL" && !box.IsEmpty())
            walls.push_back(box);
    }
    ASSERT_GE(walls.size(), 8u);
    // The proxies' extents on an A4 sheet, 20 mm from its lower left corner.
    drawing::LayoutPlotSettings settings = test::A4Page();
    const double scale = std::max((all.max.x - all.min.x) / 250, (all.max.y - all.min.y) / 170);
    settings.windowMinX = all.min.x;
    settings.windowMinY = all.min.y;
    settings.windowMaxX = all.max.x;
    settings.windowMaxY = all.max.y;
    settings.customScaleDrawing = scale;
    settings.plotOriginXMm = settings.plotOriginYMm = 20;
    const auto paint = [&](const drawing::Document& d) {
        QImage image(int(297 * test::kPagePxPerMm), int(210 * test::kPagePxPerMm),
                     QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        Renderer(d).PaintPage(painter, 0, PlacePage(settings), test::kPagePxPerMm, {});
        return image;
    };
    const auto ink = [&](const QImage& image, const drawing::Box& box) {
        const auto px = [&](double x) {
            return int(test::kPagePxPerMm * (20 + (x - all.min.x) / scale));
        };
        const auto py = [&](double y) {
            return int(test::kPagePxPerMm * (210 - 20 - (y - all.min.y) / scale));
        };
        int count = 0;
        for (int x = px(box.min.x) - 1; x <= px(box.max.x) + 1; ++x)
            for (int y = py(box.max.y) - 1; y <= py(box.min.y) + 1; ++y)
                count += image.valid(x, y) && image.pixelColor(x, y) != QColor(Qt::white) ? 1 : 0;
        return count;
    };
    const QImage with = paint(document);
    for (drawing::Block& block : document.blocks)
        for (drawing::Entity& e : block.entities)
            if (auto* opaque = std::get_if<drawing::OpaqueGeometry>(&e.geometry))
                opaque->proxy = nullptr;
    const QImage without = paint(document);
    for (const drawing::Box& wall : walls)
        EXPECT_GT(ink(with, wall), ink(without, wall) + 20);
}

} // namespace
} // namespace kw::render
