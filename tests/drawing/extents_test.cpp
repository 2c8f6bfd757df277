#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "drawing/spline.h"
#include "test_support.h"

namespace kw::drawing {
namespace {

using test::Fixture;
using test::FromTags;
using test::T;

constexpr double kEps = 1e-9;

void ExpectBox(const Box& box, double x0, double y0, double x1, double y1, double eps = kEps) {
    ASSERT_FALSE(box.IsEmpty());
    EXPECT_NEAR(box.min.x, x0, eps);
    EXPECT_NEAR(box.min.y, y0, eps);
    EXPECT_NEAR(box.max.x, x1, eps);
    EXPECT_NEAR(box.max.y, y1, eps);
}

Box OnlyEntity(const Document& document) {
    const auto& entities = document.LayoutEntities(document.layouts.front());
    EXPECT_EQ(entities.size(), 1u);
    return entities.empty() ? Box{} : EntityExtents(document, entities.front());
}

std::string Arc(double cx, double cy, double r, double a0, double a1,
                const std::string& extra = "") {
    return T(0, "ARC") + T(8, "0") + T(10, cx) + T(20, cy) + T(30, 0.0) + T(40, r) + T(50, a0) +
           T(51, a1) + extra;
}

std::string BlockDef(const std::string& name, const std::string& content, double bx = 0,
                     double by = 0) {
    return T(0, "BLOCK") + T(8, "0") + T(2, name) + T(70, "0") + T(10, bx) + T(20, by) +
           T(30, 0.0) + T(3, name) + content + T(0, "ENDBLK") + T(8, "0");
}

std::string Insert(const std::string& name, double x, double y, double sx = 1, double sy = 1,
                   double rotation = 0, const std::string& extra = "") {
    return T(0, "INSERT") + T(8, "0") + T(2, name) + T(10, x) + T(20, y) + T(30, 0.0) + T(41, sx) +
           T(42, sy) + T(50, rotation) + extra;
}

const std::string kLine = T(0, "LINE") + T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) +
                          T(11, 10.0) + T(21, 5.0) + T(31, 0.0);

TEST(Extents, ArcsAreExact) {
    ExpectBox(OnlyEntity(FromTags(Arc(5, 5, 10, 0, 90))), 5, 5, 15, 15);
    const double c80 = 10 * std::cos(80 * kPi / 180), s80 = 10 * std::sin(80 * kPi / 180);
    ExpectBox(OnlyEntity(FromTags(Arc(0, 0, 10, 80, 100))), -c80, s80, c80, 10);
    // Across 0°: the right-most point is inside the arc.
    const double c10 = 10 * std::cos(10 * kPi / 180), s10 = 10 * std::sin(10 * kPi / 180);
    ExpectBox(OnlyEntity(FromTags(Arc(0, 0, 10, 350, 10))), c10, -s10, 10, s10);
    // Extrusion (0, 0, -1) mirrors the OCS x axis: centre (5, 0) lies at (-5, 0).
    const std::string mirrored = T(0, "CIRCLE") + T(8, "0") + T(10, 5.0) + T(20, 0.0) + T(30, 0.0) +
                                 T(40, 10.0) + T(210, 0.0) + T(220, 0.0) + T(230, -1.0);
    ExpectBox(OnlyEntity(FromTags(mirrored)), -15, -10, 5, 10);
}

TEST(Extents, BulgesCountTheirArcs) {
    // Bulge 1 from (0,0) to (10,0): a half circle to the right of the direction of travel.
    const std::string polyline = T(0, "LWPOLYLINE") + T(8, "0") + T(90, "2") + T(70, "0") +
                                 T(10, 0.0) + T(20, 0.0) + T(42, 1.0) + T(10, 10.0) + T(20, 0.0);
    ExpectBox(OnlyEntity(FromTags(polyline)), 0, -5, 10, 0);
    const std::string clockwise = T(0, "LWPOLYLINE") + T(8, "0") + T(90, "2") + T(70, "0") +
                                  T(10, 0.0) + T(20, 0.0) + T(42, -1.0) + T(10, 10.0) + T(20, 0.0);
    ExpectBox(OnlyEntity(FromTags(clockwise)), 0, 0, 10, 5);
    // A 2D POLYLINE with VERTEX entities and a closing bulged segment.
    const std::string heavy = T(0, "POLYLINE") + T(8, "0") + T(66, "1") + T(70, "1") + T(10, 0.0) +
                              T(20, 0.0) + T(30, 0.0) + T(0, "VERTEX") + T(8, "0") + T(10, 0.0) +
                              T(20, 0.0) + T(30, 0.0) + T(0, "VERTEX") + T(8, "0") + T(10, 10.0) +
                              T(20, 0.0) + T(30, 0.0) + T(42, 1.0) + T(0, "VERTEX") + T(8, "0") +
                              T(10, 10.0) + T(20, 10.0) + T(30, 0.0) + T(0, "SEQEND") + T(8, "0");
    ExpectBox(OnlyEntity(FromTags(heavy)), 0, 0, 15, 10);
}

TEST(Extents, EllipsesAreExact) {
    // Major axis (10, 10), ratio 0.5: minor axis (-5, 5); half widths √(10² + 5²).
    const std::string ellipse = T(0, "ELLIPSE") + T(8, "0") + T(10, 1.0) + T(20, 2.0) + T(30, 0.0) +
                                T(11, 10.0) + T(21, 10.0) + T(31, 0.0) + T(40, 0.5) + T(41, 0.0) +
                                T(42, 2 * kPi);
    const double h = std::sqrt(125.0);
    ExpectBox(OnlyEntity(FromTags(ellipse)), 1 - h, 2 - h, 1 + h, 2 + h);
    const std::string half = T(0, "ELLIPSE") + T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) +
                             T(11, 10.0) + T(21, 0.0) + T(31, 0.0) + T(40, 0.5) + T(41, 0.0) +
                             T(42, kPi);
    ExpectBox(OnlyEntity(FromTags(half)), -10, 0, 10, 5);
}

TEST(Extents, SplinesAreEvaluatedNotHulled) {
    // A quadratic Bézier (0,0) (10,20) (20,0): its top is 10, the control polygon's 20.
    const std::string spline = T(0, "SPLINE") + T(8, "0") + T(70, "8") + T(71, "2") + T(72, "6") +
                               T(73, "3") + T(74, "0") + T(40, 0.0) + T(40, 0.0) + T(40, 0.0) +
                               T(40, 1.0) + T(40, 1.0) + T(40, 1.0) + T(10, 0.0) + T(20, 0.0) +
                               T(30, 0.0) + T(10, 10.0) + T(20, 20.0) + T(30, 0.0) + T(10, 20.0) +
                               T(20, 0.0) + T(30, 0.0);
    ExpectBox(OnlyEntity(FromTags(spline)), 0, 0, 20, 10);
    // Rational: a quarter circle as a weighted quadratic.
    const std::string rational = T(0, "SPLINE") + T(8, "0") + T(70, "12") + T(71, "2") +
                                 T(40, 0.0) + T(40, 0.0) + T(40, 0.0) + T(40, 1.0) + T(40, 1.0) +
                                 T(40, 1.0) + T(41, 1.0) + T(41, std::sqrt(0.5)) + T(41, 1.0) +
                                 T(10, 10.0) + T(20, 0.0) + T(30, 0.0) + T(10, 10.0) + T(20, 10.0) +
                                 T(30, 0.0) + T(10, 0.0) + T(20, 10.0) + T(30, 0.0);
    ExpectBox(OnlyEntity(FromTags(rational)), 0, 0, 10, 10);
}

TEST(SplineCurve, WeightsBendTheCurveAndABrokenKnotVectorFallsBackToThePolygon) {
    SplineGeometry quarter;
    quarter.degree = 2;
    quarter.knots = {0, 0, 0, 1, 1, 1};
    quarter.controlPoints = {{10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
    quarter.weights = {1, std::sqrt(0.5), 1};
    const SplineCurve circle(quarter);
    ASSERT_TRUE(circle.Valid());
    for (const double t : {0.0, 0.25, 0.5, 0.9, 1.0})
        EXPECT_NEAR(Length(circle.At(t, circle.EndSpan() - 1)), 10.0, 1e-9) << t;
    // A weight that is not positive makes the weights meaningless: the polynomial curve.
    quarter.weights = {1, 0, 1};
    EXPECT_NEAR(SplineCurve(quarter).At(0.5, 2).x, 7.5, 1e-12);
    // Knots out of order, or a degree the points cannot carry: not a curve.
    quarter.knots = {0, 0, 1, 0, 1, 1};
    EXPECT_FALSE(SplineCurve(quarter).Valid());
    quarter.knots = {0, 0, 0, 1, 1, 1};
    quarter.degree = 3;
    EXPECT_FALSE(SplineCurve(quarter).Valid());
    EXPECT_EQ(SplineCurve(quarter).Polygon().size(), 3u);
    quarter.controlPoints.clear();
    quarter.fitPoints = {{0, 0, 0}, {5, 5, 0}};
    EXPECT_EQ(SplineCurve(quarter).Polygon().size(), 2u);
}

TEST(Extents, BlockReferencesTransformTheirContent) {
    const std::string blocks = BlockDef("B", kLine);
    // Plain, moved, turned 90°, mirrored, scaled.
    ExpectBox(OnlyEntity(FromTags(Insert("B", 100, 0), blocks)), 100, 0, 110, 5);
    ExpectBox(OnlyEntity(FromTags(Insert("B", 100, 0, 1, 1, 90), blocks)), 95, 0, 100, 10);
    ExpectBox(OnlyEntity(FromTags(Insert("B", 100, 0, -1, 1), blocks)), 90, 0, 100, 5);
    ExpectBox(OnlyEntity(FromTags(Insert("B", 0, 0, 0.5, 2), blocks)), 0, 0, 5, 10);
    // The base point moves to the insertion point.
    ExpectBox(OnlyEntity(FromTags(Insert("C", 0, 0), BlockDef("C", kLine, 10, 5))), -10, -5, 0, 0);
    // Extrusion (0, 0, -1): the reference is mirrored about the y axis.
    ExpectBox(OnlyEntity(FromTags(
                  Insert("B", 100, 0, 1, 1, 0, T(210, 0.0) + T(220, 0.0) + T(230, -1.0)), blocks)),
              -110, 0, -100, 5);
    // An unknown block has no extents.
    EXPECT_TRUE(OnlyEntity(FromTags(Insert("nothing", 0, 0), blocks)).IsEmpty());
}

TEST(Extents, ArraysCoverEveryInstance) {
    const std::string blocks = BlockDef("B", kLine);
    const std::string array = T(70, "3") + T(71, "2") + T(44, 20.0) + T(45, 30.0);
    ExpectBox(OnlyEntity(FromTags(Insert("B", 0, 0, 1, 1, 0, array), blocks)), 0, 0, 50, 35);
    // Turned 90°: columns go up, rows go left; spacing is not scaled.
    ExpectBox(OnlyEntity(FromTags(Insert("B", 0, 0, 2, 2, 90, array), blocks)), -40, 0, 0, 60);
}

TEST(Extents, NestedReferencesAndTransformedCircles) {
    // Block OUTER holds INNER scaled 2; INNER holds a circle of radius 10.
    const std::string circle =
        T(0, "CIRCLE") + T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) + T(40, 10.0);
    const std::string blocks =
        BlockDef("INNER", circle) + BlockDef("OUTER", Insert("INNER", 100, 0, 2, 1));
    // Non-uniform scale turns the circle into an ellipse with half axes 20 and 10, turned 30°.
    const Box box = OnlyEntity(FromTags(Insert("OUTER", 0, 0, 1, 1, 30), blocks));
    const double c = std::cos(kPi / 6), s = std::sin(kPi / 6);
    const double cx = 100 * c, cy = 100 * s;
    const double hx = std::hypot(20 * c, 10 * s), hy = std::hypot(20 * s, 10 * c);
    ExpectBox(box, cx - hx, cy - hy, cx + hx, cy + hy);
    // Thirty levels of blocks with four references each (4^30 lines): measured in bounded time,
    // coarsely (the transformed block boxes) once the work is too much entity by entity.
    auto name = [](int level) {
        std::string text = "L";
        text += std::to_string(level);
        return text;
    };
    std::string levels = BlockDef(name(30), kLine);
    for (int level = 29; level >= 1; --level) {
        const std::string child = name(level + 1);
        std::string content;
        for (int k = 0; k < 4; ++k)
            content += Insert(child, 0, 0);
        levels += BlockDef(name(level), content);
    }
    ExpectBox(OnlyEntity(FromTags(Insert("L1", 0, 0), levels)), 0, 0, 10, 5);
}

// Every entity of every layout measured on one path; its reports.
std::vector<std::string> MeasureAll(const Document& document, Box* modelBox = nullptr) {
    BlockPath path(document);
    for (const Layout& layout : document.layouts)
        for (const Entity& e : document.LayoutEntities(layout)) {
            const Box box = EntityExtents(document, e, Transform::Identity(), path);
            if (modelBox && layout.isModel)
                modelBox->Add(box);
        }
    EXPECT_EQ(path.Depth(), 0u);
    return path.Reports();
}

TEST(Extents, BlocksReachedAgainOnTheirPathAreCutOffOnce) {
    // The fuzz findings: dimensions in model space whose block is model space itself, which took
    // 2^depth work. Each is measured at once and the cycle reported once.
    for (const char* file :
         {"fuzz/dimension-cycle-timeout.dxf", "fuzz/dimension-self-timeout.dxf"}) {
        SCOPED_TRACE(file);
        // The fuzzer cut them off; what they hold is what matters here.
        const std::vector<std::string> reports =
            MeasureAll(LoadDrawing(Fixture(file), {.recover = true}));
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0],
                  "block \"*Model_Space\" is reached again inside itself: cut off there");
    }

    // Made here: a line and two such dimensions. The dimensions measure model space without
    // themselves: the line.
    const std::string dimension = T(0, "DIMENSION") + T(8, "0") + T(2, "*Model_Space") +
                                  T(10, 0.0) + T(20, 0.0) + T(30, 0.0) + T(70, "0");
    Box model;
    const std::vector<std::string> reports =
        MeasureAll(FromTags(kLine + dimension + dimension), &model);
    EXPECT_EQ(reports.size(), 1u);
    ExpectBox(model, 0, 0, 10, 5);

    // A block inserting itself, and two blocks inserting each other: each content once.
    const std::string loop = BlockDef("LOOP", kLine + Insert("LOOP", 1, 1));
    ExpectBox(OnlyEntity(FromTags(Insert("LOOP", 0, 0), loop)), 0, 0, 10, 5);
    const std::string pair =
        BlockDef("A", Insert("B", 100, 0)) + BlockDef("B", kLine + Insert("A", 0, 50));
    ExpectBox(OnlyEntity(FromTags(Insert("A", 0, 0), pair)), 100, 0, 110, 5);
    // Reached from the other end of the cycle, A holds nothing (B is cut off in it), whatever
    // was found in A before.
    const std::string both = pair + BlockDef("X", Insert("A", 0, 0) + Insert("B", 1000, 0));
    ExpectBox(OnlyEntity(FromTags(Insert("X", 0, 0), both)), 100, 0, 1010, 5);

    // Thirty-two levels of two references each (2^31 lines): every block measured once. Eight
    // levels more and the lines lie past the depth limit: nothing, reported once.
    auto levels = [](int count) {
        auto name = [](int level) { return "M" + std::to_string(level); };
        std::string text = BlockDef(name(count), kLine);
        for (int level = count - 1; level >= 1; --level)
            text += BlockDef(name(level),
                             Insert(name(level + 1), 0, 0) + Insert(name(level + 1), 1, 0));
        return FromTags(Insert("M1", 0, 0), text);
    };
    ExpectBox(OnlyEntity(levels(32)), 0, 0, 10 + 31, 5);
    const Document deep = levels(40);
    Box deepBox;
    const std::vector<std::string> deepReports = MeasureAll(deep, &deepBox);
    EXPECT_TRUE(deepBox.IsEmpty());
    EXPECT_EQ(deepReports, std::vector<std::string>{
                               "blocks nested more than 32 levels deep: cut off at block \"M33\""});
}

TEST(Extents, ExternalReferencesToEachOtherAreCutOff) {
    // a.dxf refers to b.dxf and b.dxf to a.dxf, each with a line of its own.
    auto drawing = [](const std::string& other, double x) {
        const std::string line = T(0, "LINE") + T(8, "0") + T(10, x) + T(20, 0.0) + T(30, 0.0) +
                                 T(11, x + 10) + T(21, 5.0) + T(31, 0.0);
        const std::string xref = T(0, "BLOCK") + T(8, "0") + T(2, "REF") + T(70, "4") + T(10, 0.0) +
                                 T(20, 0.0) + T(30, 0.0) + T(3, "REF") + T(1, other) +
                                 T(0, "ENDBLK") + T(8, "0");
        return T(0, "SECTION") + T(2, "HEADER") + T(9, "$ACADVER") + T(1, "AC1009") +
               T(0, "ENDSEC") + T(0, "SECTION") + T(2, "BLOCKS") + xref + T(0, "ENDSEC") +
               T(0, "SECTION") + T(2, "ENTITIES") + line + Insert("REF", 0, 0) + T(0, "ENDSEC") +
               T(0, "EOF");
    };
    test::TempFolder folder;
    std::ofstream(folder.File("a.dxf"), std::ios::binary) << drawing("b.dxf", 0);
    std::ofstream(folder.File("b.dxf"), std::ios::binary) << drawing("a.dxf", 100);
    const Document a = LoadDrawing(folder.File("a.dxf"));
    Box model;
    const std::vector<std::string> reports = MeasureAll(a, &model);
    ExpectBox(model, 0, 0, 110, 5);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("refers back to itself through external references"),
              std::string::npos);
}

TEST(Extents, AttributesCountButAttributeDefinitionsDoNot) {
    const std::string attdef = T(0, "ATTDEF") + T(8, "0") + T(10, 500.0) + T(20, 500.0) +
                               T(30, 0.0) + T(40, 5.0) + T(1, "x") + T(3, "prompt") + T(2, "TAG") +
                               T(70, "0");
    const std::string blocks = BlockDef("B", kLine + attdef);
    const std::string attrib = T(0, "ATTRIB") + T(8, "0") + T(10, 0.0) + T(20, -20.0) + T(30, 0.0) +
                               T(40, 5.0) + T(1, "AB") + T(2, "TAG") + T(70, "0");
    const std::string insert =
        Insert("B", 0, 0, 1, 1, 0, T(66, "1")) + attrib + T(0, "SEQEND") + T(8, "0");
    ExpectBox(OnlyEntity(FromTags(insert, blocks)), 0, -20, 10, 5);
    ExpectBox(OnlyEntity(FromTags(Insert("B", 0, 0), blocks)), 0, 0, 10, 5);

    // On its own a definition shows its tag, even without a default value: "TAG" is 3 × 0.6 × 5
    // wide from (500, 500).
    const std::string bare = T(0, "ATTDEF") + T(8, "0") + T(10, 500.0) + T(20, 500.0) + T(30, 0.0) +
                             T(40, 5.0) + T(1, "") + T(3, "prompt") + T(2, "TAG") + T(70, "0");
    ExpectBox(OnlyEntity(FromTags(bare)), 500, 500, 509, 505);
}

TEST(Extents, TextIsApproximatedFromHeightAndCharacters) {
    const std::string latin =
        T(0, "TEXT") + T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) + T(40, 10.0) + T(1, "AB");
    ExpectBox(OnlyEntity(FromTags(latin)), 0, 0, 12, 10);
    const std::string chinese = T(0, "TEXT") + T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) +
                                T(40, 10.0) + T(1, "\\U+56FE\\U+6846") + T(50, 90.0);
    ExpectBox(OnlyEntity(FromTags(chinese)), -10, 0, 0, 20);
    const std::string centered = T(0, "TEXT") + T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) +
                                 T(40, 10.0) + T(1, "AB") + T(72, "1") + T(11, 100.0) + T(21, 0.0) +
                                 T(31, 0.0);
    ExpectBox(OnlyEntity(FromTags(centered)), 94, 0, 106, 10);
    // MTEXT uses the size the writer measured (42, 43) at its attachment point.
    const std::string mtext = T(0, "MTEXT") + T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) +
                              T(40, 2.5) + T(41, 100.0) + T(42, 40.0) + T(43, 6.0) + T(71, "5") +
                              T(1, "x\\Py");
    ExpectBox(OnlyEntity(FromTags(mtext)), -20, -3, 20, 3);
}

TEST(Extents, HatchBoundariesAndDimensionBlocks) {
    const std::string dimension = T(0, "DIMENSION") + T(8, "0") + T(2, "*D1") + T(10, 0.0) +
                                  T(20, 0.0) + T(30, 0.0) + T(70, "0");
    ExpectBox(OnlyEntity(FromTags(dimension, BlockDef("*D1", kLine))), 0, 0, 10, 5);
    const std::string invisible =
        T(0, "LINE") + T(8, "0") + T(60, "1") + T(10, 0.0) + T(20, 0.0) + T(11, 1.0) + T(21, 1.0);
    EXPECT_TRUE(OnlyEntity(FromTags(invisible)).IsEmpty());

    // Edge paths: a counter-clockwise and a clockwise arc (angles of the latter mirrored).
    const Document hatches = LoadDrawing(Fixture("ezdxf/clockwise_arcs_hatch.dxf"));
    bool measured = false;
    for (const Entity& e : hatches.LayoutEntities(hatches.layouts.front()))
        if (e.type == EntityType::Hatch) {
            const Box box = EntityExtents(hatches, e);
            EXPECT_FALSE(box.IsEmpty());
            measured = true;
        }
    EXPECT_TRUE(measured);
}

TEST(Extents, TablesAreMeasuredThroughTheirBlockAndTheirOwnDataIsIgnored) {
    // The table's own data repeats group codes 10 and 2 (cell contents); only the block
    // reference part before AcDbTable places it.
    const std::string table = T(0, "ACAD_TABLE") + T(8, "0") + T(100, "AcDbEntity") +
                              T(100, "AcDbBlockReference") + T(2, "*T1") + T(10, 100.0) +
                              T(20, 50.0) + T(30, 0.0) + T(100, "AcDbTable") + T(2, "*X") +
                              T(10, -500.0) + T(20, -500.0) + T(30, 0.0);
    ExpectBox(OnlyEntity(FromTags(table, BlockDef("*T1", kLine))), 100, 50, 110, 55);
    // Other opaque entities still have none.
    const std::string other = T(0, "SHAPE") + T(8, "0") + T(10, 1.0) + T(20, 1.0) + T(30, 0.0);
    EXPECT_TRUE(OnlyEntity(FromTags(other)).IsEmpty());
}

TEST(Extents, ExternalReferencesAreLoadedRelativeAbsoluteOrFromTheHostFolder) {
    const Document host = LoadDrawing(Fixture("frames/xref_host_r2018.dxf"));
    std::vector<Box> boxes;
    for (const Entity& e : host.LayoutEntities(host.layouts.front()))
        if (const auto* insert = std::get_if<InsertGeometry>(&e.geometry))
            if (insert->blockName == "tk_xref")
                boxes.push_back(EntityExtents(host, e));
    ASSERT_EQ(boxes.size(), 3u);
    ExpectBox(boxes[0], 500, 0, 920, 297);
    ExpectBox(boxes[1], 0, 400, 336, 637.6);
    ExpectBox(boxes[2], 0, 0, 420, 297);

    test::TempFolder folder;
    const std::string hostCopy = folder.File("host.dxf");
    std::filesystem::copy_file(Fixture("frames/xref_host_r2018.dxf"), hostCopy);
    // Without the referenced drawing the references have no extents.
    const Document alone = LoadDrawing(hostCopy);
    const Block* block = alone.FindBlock("tk_xref");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ResolveXref(alone, *block), nullptr);
    // Relative to the host's folder, and by bare name beside the host when the path is elsewhere.
    std::filesystem::create_directories(folder.File("refs"));
    std::filesystem::copy_file(Fixture("frames/xref_frame_a3.dxf"), folder.File("refs/a3.dxf"));
    // The file found, whichever separators the system writes it with.
    auto same = [](const std::string& found, const std::string& expected) {
        std::error_code error;
        return !found.empty() && std::filesystem::equivalent(found, expected, error);
    };
    EXPECT_TRUE(same(FindXrefFile(hostCopy, "refs\\a3.dxf"), folder.File("refs/a3.dxf")));
    EXPECT_TRUE(
        same(FindXrefFile(hostCopy, folder.File("refs/a3.dxf")), folder.File("refs/a3.dxf")));
    std::filesystem::copy_file(Fixture("frames/xref_frame_a3.dxf"), folder.File("a3.dxf"));
    EXPECT_TRUE(same(FindXrefFile(hostCopy, "C:\\drawings\\a3.dxf"), folder.File("a3.dxf")));
    EXPECT_TRUE(same(FindXrefFile(hostCopy, "C:\\drawings\\a3.dwg"), folder.File("a3.dxf")));
    EXPECT_EQ(FindXrefFile(hostCopy, "missing.dxf"), "");
    // Never from the current folder, whatever it holds.
    std::filesystem::copy_file(Fixture("frames/xref_frame_a3.dxf"), folder.File("refs/only.dxf"));
    const auto current = std::filesystem::current_path();
    std::filesystem::current_path(folder.File("refs"));
    const std::string fromCurrent = FindXrefFile(hostCopy, "only.dxf");
    std::filesystem::current_path(current);
    EXPECT_EQ(fromCurrent, "");
}

} // namespace
} // namespace kw::drawing
