// The geometric test behind picking on screen: lines are followed, not boxes.

#include <gtest/gtest.h>

#include <string>

#include "drawing/dxf_io.h"
#include "render/hit_test.h"
#include "render/render.h"

namespace kw::render {
namespace {

std::string T(int code, const std::string& value) {
    return std::to_string(code) + "\n" + value + "\n";
}

drawing::Document FromEntities(const std::string& entities, const std::string& blocks = "") {
    const std::string text = T(0, "SECTION") + T(2, "HEADER") + T(9, "$ACADVER") + T(1, "AC1015") +
                             T(0, "ENDSEC") + T(0, "SECTION") + T(2, "BLOCKS") + blocks +
                             T(0, "ENDSEC") + T(0, "SECTION") + T(2, "ENTITIES") + entities +
                             T(0, "ENDSEC") + T(0, "EOF");
    return drawing::LoadDrawingFromBytes(text, "hit.dxf");
}

const drawing::Entity& First(const drawing::Document& document) {
    return document.LayoutEntities(document.layouts.front()).front();
}

QRectF Around(double x, double y, double half = 1.0) {
    return QRectF(x - half, y - half, 2 * half, 2 * half);
}

TEST(HitTest, BulgedSegmentIsHitOnItsArcNotOnItsChord) {
    // (0,0) to (100,0) with bulge 1: a half circle about (50,0) through (50,-50).
    const auto document =
        FromEntities(T(0, "LWPOLYLINE") + T(8, "0") + T(90, "2") + T(70, "0") + T(10, "0") +
                     T(20, "0") + T(42, "1") + T(10, "100") + T(20, "0"));
    const auto& arc = First(document);
    EXPECT_TRUE(EntityTouches(Renderer(document), arc, Around(50, -50)));
    EXPECT_TRUE(EntityTouches(Renderer(document), arc, Around(50 + 50 * 0.7071, -50 * 0.7071)));
    EXPECT_FALSE(EntityTouches(Renderer(document), arc, Around(50, 0)));
    EXPECT_FALSE(EntityTouches(Renderer(document), arc, Around(50, 50)));
    // A window round the whole half circle holds it; one that misses its bottom does not.
    EXPECT_TRUE(EntityInside(document, arc, QRectF(-1, -51, 102, 52)));
    EXPECT_FALSE(EntityInside(document, arc, QRectF(-1, -40, 102, 41)));
}

TEST(HitTest, SolidFillIsHitInsideAnOutlineOnlyOnItsEdges) {
    auto hatch = [](bool solid) {
        return T(0, "HATCH") + T(8, "0") + T(100, "AcDbHatch") + T(10, "0") + T(20, "0") +
               T(30, "0") + T(210, "0") + T(220, "0") + T(230, "1") +
               T(2, solid ? "SOLID" : "ANSI31") + T(70, solid ? "1" : "0") + T(71, "0") +
               T(91, "1") + T(92, "2") + T(72, "0") + T(73, "1") + T(93, "4") + T(10, "0") +
               T(20, "0") + T(10, "100") + T(20, "0") + T(10, "100") + T(20, "100") + T(10, "0") +
               T(20, "100") + T(97, "0") + T(75, "0") + T(76, "1") + T(98, "0");
    };
    const auto filled = FromEntities(hatch(true));
    EXPECT_TRUE(EntityTouches(Renderer(filled), First(filled), Around(50, 50)));
    EXPECT_FALSE(EntityTouches(Renderer(filled), First(filled), Around(150, 50)));
    const auto outlined = FromEntities(hatch(false));
    EXPECT_FALSE(EntityTouches(Renderer(outlined), First(outlined), Around(50, 50)));
    EXPECT_TRUE(EntityTouches(Renderer(outlined), First(outlined), Around(100, 50)));
}

TEST(HitTest, BlockThatInsertsItselfIsWalkedOnce) {
    const std::string blocks = T(0, "BLOCK") + T(8, "0") + T(2, "LOOP") + T(70, "0") + T(10, "0") +
                               T(20, "0") + T(30, "0") + T(3, "LOOP") + T(0, "LINE") + T(8, "0") +
                               T(10, "0") + T(20, "0") + T(30, "0") + T(11, "10") + T(21, "0") +
                               T(31, "0") + T(0, "INSERT") + T(8, "0") + T(2, "LOOP") +
                               T(10, "20") + T(20, "0") + T(30, "0") + T(0, "ENDBLK") + T(8, "0");
    const auto document = FromEntities(
        T(0, "INSERT") + T(8, "0") + T(2, "LOOP") + T(10, "0") + T(20, "0") + T(30, "0"), blocks);
    const auto& insert = First(document);
    EXPECT_TRUE(EntityTouches(Renderer(document), insert, Around(5, 0)));
    EXPECT_FALSE(EntityTouches(Renderer(document), insert, Around(500, 500)));
}

} // namespace
} // namespace kw::render
