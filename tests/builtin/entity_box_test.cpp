// GetBoundingBox through the built-in CAD: text by the box the painter draws it in.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "builtin/builtin_cad.h"
#include "drawing/drawing.h"
#include "drawing/extents.h"
#include "render/drawn_extents.h"
#include "render/render.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace kw;
using namespace kw::builtin;

TEST(BuiltinEntity, ATextsBoundingBoxIsItsDrawnBoxAndALinesItsGeometry) {
    test::TempFolder folder;
    const std::string path = folder.File("texts.dxf");
    {
        // Wide capitals: the box estimated from the characters alone falls well short of them.
        std::ofstream out(path, std::ios::binary);
        out << "0\nSECTION\n2\nENTITIES\n"
               "0\nTEXT\n8\n0\n10\n10\n20\n20\n30\n0\n40\n5\n1\nWWWW MMMM\n"
               "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n100\n21\n40\n31\n0\n"
               "0\nENDSEC\n0\nEOF\n";
    }
    BuiltinOptions options;
    options.programFolder = folder.Path(); // no fonts of its own: the painter's fallback
    options.printers = [] { return std::vector<SystemPrinter>{}; };
    BuiltinApplication app(options);
    const auto document = app.Documents()->Open(path);
    const auto set = document->SelectionSets()->Add("all");
    set->Select(5, {});
    ASSERT_EQ(set->Count(), 2);

    const drawing::Document drawing = drawing::LoadDrawing(path);
    const render::Renderer renderer(drawing);
    const auto& entities = drawing.LayoutEntities(drawing.layouts.front());
    for (int i = 0; i < 2; ++i) {
        const drawing::Entity& entity = entities[static_cast<std::size_t>(i)];
        const drawing::Box expected = entity.type == drawing::EntityType::Text
                                          ? render::DrawnExtents(renderer, entity)
                                          : drawing::EntityExtents(drawing, entity);
        ASSERT_FALSE(expected.IsEmpty());
        Point low, high;
        set->Item(i)->GetBoundingBox(low, high);
        EXPECT_DOUBLE_EQ(low.x, expected.min.x) << i;
        EXPECT_DOUBLE_EQ(low.y, expected.min.y) << i;
        EXPECT_DOUBLE_EQ(high.x, expected.max.x) << i;
        EXPECT_DOUBLE_EQ(high.y, expected.max.y) << i;
    }
}

} // namespace
