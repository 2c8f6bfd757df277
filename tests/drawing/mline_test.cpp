// Multilines: their styles, the line work they make, their extents and the damage they survive.

#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"

namespace kw::drawing {
namespace {

using test::FromSections;
using test::MLineTags;
using test::T;

const double kRoot2 = std::sqrt(2.0);

// Three elements at +1 (red), 0 (green, DASHED) and -1 (blue), filled in yellow, a square cap at
// the start and a round one at the end.
std::string ThreeLineStyle(int flags = 1 | 16 | 1024) {
    return T(0, "MLINESTYLE") + T(5, "1A") + T(102, "{ACAD_REACTORS") + T(330, "17") + T(102, "}") +
           T(100, "AcDbMlineStyle") + T(2, "THREE") + T(70, std::to_string(flags)) + T(3, "") +
           T(62, "2") + T(51, 90.0) + T(52, 90.0) + T(71, "3") + T(49, 1.0) + T(62, "1") +
           T(6, "BYLAYER") + T(49, 0.0) + T(62, "3") + T(6, "DASHED") + T(49, -1.0) + T(62, "5") +
           T(6, "BYLAYER");
}

// Along (0, 0), (10, 0), (10, 10) at scale 2, centred: the corner's miter bisects it.
std::vector<test::MLineVertexTags> Corner() {
    const double d = 2 * kRoot2;
    return {{0, 0, 1, 0, 0, 1, {{2, 0}, {0, 0}, {-2, 0}}},
            {10, 0, 0, 1, -1 / kRoot2, 1 / kRoot2, {{d, 0}, {0, 0}, {-d, 0}}},
            {10, 10, 0, 1, -1, 0, {{2, 0}, {0, 0}, {-2, 0}}}};
}

const MLineGeometry& OnlyMLine(const Document& document) {
    const auto& entities = document.LayoutEntities(document.layouts.front());
    EXPECT_EQ(entities.size(), 1u);
    const auto& opaque = std::get<OpaqueGeometry>(entities.front().geometry);
    EXPECT_EQ(opaque.dxfName, "MLINE");
    static const MLineGeometry kNone;
    return opaque.mline ? *opaque.mline : kNone;
}

void ExpectPoints(const std::vector<Vec3>& points, const std::vector<Vec3>& expected) {
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(points[i].x, expected[i].x, 1e-9) << i;
        EXPECT_NEAR(points[i].y, expected[i].y, 1e-9) << i;
    }
}

TEST(MLine, StyleAndVerticesAreReadAndEachElementRunsAtItsDistanceWithCapsAndFill) {
    const Document document = FromSections(
        "", MLineTags("THREE", "1A", 2.0, 1, 1, Corner(), T(62, "6")), ThreeLineStyle());
    const MLineGeometry& g = OnlyMLine(document);
    EXPECT_EQ(g.styleName, "THREE");
    EXPECT_EQ(g.styleHandle, 0x1Au);
    EXPECT_EQ(g.scale, 2.0);
    EXPECT_EQ(g.justification, 1);
    ASSERT_EQ(g.vertices.size(), 3u);
    EXPECT_EQ(g.vertices[1].miter.x, -1 / kRoot2);
    EXPECT_EQ(g.vertices[1].elementParameters.size(), 3u);

    const MLineStyle& style = MLineStyleOf(document, g);
    EXPECT_EQ(style.name, "THREE");
    EXPECT_EQ(style.flags, 1 | 16 | 1024);
    EXPECT_EQ(style.fillColor, 2);
    ASSERT_EQ(style.elements.size(), 3u);
    EXPECT_EQ(style.elements[0].color, 1);
    EXPECT_EQ(style.elements[1].linetype, "DASHED");
    EXPECT_EQ(style.elements[2].offset, -1.0);

    const MLineShape shape = ShapeOfMLine(g, style, {0, 0, 1});
    // Three elements, the square start cap in two halves, the round end cap in two quarters.
    ASSERT_EQ(shape.pieces.size(), 7u);
    ExpectPoints(shape.pieces[0].points, {{0, 2, 0}, {8, 2, 0}, {8, 10, 0}});
    ExpectPoints(shape.pieces[1].points, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
    ExpectPoints(shape.pieces[2].points, {{0, -2, 0}, {12, -2, 0}, {12, 10, 0}});
    ExpectPoints(shape.pieces[3].points, {{0, 2, 0}, {0, 0, 0}});
    EXPECT_EQ(shape.pieces[3].element, 0u);
    EXPECT_EQ(shape.pieces[4].element, 2u);
    // The round cap bulges beyond the last vertex by half the width.
    EXPECT_NEAR(shape.pieces[5].points.back().y, 12.0, 1e-9);
    EXPECT_EQ(shape.pieces[5].element, 0u);
    EXPECT_EQ(shape.pieces[6].element, 2u);
    ASSERT_EQ(shape.fill.size(), 1u);

    const Box box = EntityExtents(document, document.LayoutEntities(document.layouts.front())[0]);
    EXPECT_NEAR(box.min.x, 0, 1e-9);
    EXPECT_NEAR(box.min.y, -2, 1e-9);
    EXPECT_NEAR(box.max.x, 12, 1e-9);
    EXPECT_NEAR(box.max.y, 12, 1e-9);

    EXPECT_EQ(SelectAll(document, {{0, "MLINE"}}).size(), 1u);
    EXPECT_EQ(SelectAll(document, {{0, "MLINE"}, {62, "6"}}).size(), 1u);
    EXPECT_EQ(SelectAll(document, {{0, "LINE"}}).size(), 0u);
}

TEST(MLine, ElementParametersBreakTheElementsAndClosedOnesRunRound) {
    // A closed square (0, 0)..(10, 10); its miters run along the diagonals, so the inner element
    // lies on (0.5, 0.5)..(9.5, 9.5). Element 0 is drawn over 0..3 and 5.. of the first segment.
    const double d = 0.5 * kRoot2, h = 1 / kRoot2;
    const Document document = FromSections("",
                                           MLineTags("STANDARD", "", 1.0, 1, 1 | 2,
                                                     {{0, 0, 1, 0, h, h, {{d, 0, 3, 5}, {-d, 0}}},
                                                      {10, 0, 0, 1, -h, h, {{d, 0}, {-d, 0}}},
                                                      {10, 10, -1, 0, -h, -h, {{d, 0}, {-d, 0}}},
                                                      {0, 10, 0, -1, h, -h, {{d, 0}, {-d, 0}}}}),
                                           "");
    const MLineGeometry& g = OnlyMLine(document);
    const MLineStyle& style = MLineStyleOf(document, g);
    EXPECT_EQ(&style, &MLineStyle::Standard());
    const MLineShape shape = ShapeOfMLine(g, style, {0, 0, 1});
    // Element 0: the dash 0..3, then one piece from 5 round the square back to the start.
    ASSERT_EQ(shape.pieces.size(), 3u);
    ExpectPoints(shape.pieces[0].points, {{0.5, 0.5, 0}, {3.5, 0.5, 0}});
    ExpectPoints(shape.pieces[1].points,
                 {{5.5, 0.5, 0}, {9.5, 0.5, 0}, {9.5, 9.5, 0}, {0.5, 9.5, 0}, {0.5, 0.5, 0}});
    ExpectPoints(
        shape.pieces[2].points,
        {{-0.5, -0.5, 0}, {10.5, -0.5, 0}, {10.5, 10.5, 0}, {-0.5, 10.5, 0}, {-0.5, -0.5, 0}});
    EXPECT_TRUE(shape.fill.empty());
}

TEST(MLine, AnUnknownStyleFallsBackToTheStandardAndMissingParametersComeFromItsOffsets) {
    // No parameters stored: the standard offsets +0.5 / -0.5 times the scale 4, top-justified.
    const Document document = FromSections(
        "", MLineTags("GONE", "99", 4.0, 0, 1, {{0, 0, 1, 0, 0, 1, {}}, {10, 0, 1, 0, 0, 1, {}}}),
        "");
    const MLineGeometry& g = OnlyMLine(document);
    const MLineShape shape = ShapeOfMLine(g, MLineStyleOf(document, g), {0, 0, 1});
    ASSERT_EQ(shape.pieces.size(), 2u);
    ExpectPoints(shape.pieces[0].points, {{0, 0, 0}, {10, 0, 0}});
    ExpectPoints(shape.pieces[1].points, {{0, -4, 0}, {10, -4, 0}});
}

TEST(MLine, DamagedMultilinesAndStylesLoadWithoutLineWork) {
    // Counts far larger than what follows, a single vertex, a parameter list before any vertex,
    // a style that claims elements it does not list.
    const std::string huge = T(0, "MLINE") + T(8, "0") + T(100, "AcDbMline") + T(2, "BAD") +
                             T(40, 1.0) + T(71, "1") + T(72, "2147483647") + T(73, "2147483647") +
                             T(74, "99999999") + T(41, 1.0) + T(11, 1.0) + T(21, 1.0) +
                             T(74, "-5") + T(41, 0.5) + T(42, 7.0) + T(75, "1000000000");
    const std::string bad =
        T(0, "MLINESTYLE") + T(5, "2B") + T(2, "BAD") + T(70, "1") + T(71, "1000000") + T(62, "1");
    const Document document = FromSections(
        "", huge + MLineTags("BAD", "2B", 1.0, 0, 1, {}) + T(0, "MLINE") + T(8, "0"), bad);
    const auto& entities = document.LayoutEntities(document.layouts.front());
    ASSERT_EQ(entities.size(), 3u);
    for (const Entity& e : entities) {
        const auto& opaque = std::get<OpaqueGeometry>(e.geometry);
        ASSERT_TRUE(opaque.mline);
        EXPECT_LE(opaque.mline->vertices.size(), 1u);
        const MLineStyle& style = MLineStyleOf(document, *opaque.mline);
        EXPECT_EQ(&style, &MLineStyle::Standard()); // the damaged style has no elements
        EXPECT_TRUE(ShapeOfMLine(*opaque.mline, style, e.extrusion).pieces.empty());
        EXPECT_TRUE(EntityExtents(document, e).IsEmpty());
    }
    const MLineGeometry& first = *std::get<OpaqueGeometry>(entities[0].geometry).mline;
    ASSERT_EQ(first.vertices[0].elementParameters.size(), 1u);
    EXPECT_EQ(first.vertices[0].elementParameters[0], std::vector<double>{0.5});
}

} // namespace
} // namespace kw::drawing
