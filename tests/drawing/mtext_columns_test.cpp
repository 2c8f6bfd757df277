#include <gtest/gtest.h>

#include "test_support.h"

namespace kw::drawing {
namespace {

using test::FromTags;
using test::T;

std::string MText(const std::string& handle, double x, const std::string& text,
                  const std::string& extra = "", const std::string& xdata = "") {
    return T(0, "MTEXT") + T(5, handle) + T(100, "AcDbEntity") + T(8, "0") + T(48, 2.0) +
           T(100, "AcDbMText") + T(10, x) + T(20, 0.0) + T(30, 0.0) + T(40, 1.0) + T(41, 20.0) +
           T(71, 1) + T(1, text) + extra + xdata;
}

const MTextGeometry& Geometry(const Entity& e) {
    return std::get<MTextGeometry>(e.geometry);
}

TEST(MTextColumns, ExtendedDataColumnsJoinTheirLinkedTextsAndMeasureAllColumns) {
    const std::string info = T(1001, "ACAD") + T(1000, "ACAD_MTEXT_COLUMN_INFO_BEGIN") +
                             T(1070, 75) + T(1070, 1) + T(1070, 79) + T(1070, 0) + T(1070, 76) +
                             T(1070, 3) + T(1070, 78) + T(1070, 0) + T(1070, 48) + T(1040, 20.0) +
                             T(1070, 49) + T(1040, 1.0) + T(1000, "ACAD_MTEXT_COLUMN_INFO_END") +
                             T(1000, "ACAD_MTEXT_COLUMNS_BEGIN") + T(1070, 47) + T(1070, 3) +
                             T(1005, "2E") + T(1005, "2F") + T(1000, "ACAD_MTEXT_COLUMNS_END") +
                             T(1000, "ACAD_MTEXT_DEFINED_HEIGHT_BEGIN") + T(1070, 46) +
                             T(1040, 100.0) + T(1000, "ACAD_MTEXT_DEFINED_HEIGHT_END");
    const Document d = FromTags(MText("2D", 0, "one\\N", "", info) + MText("2E", 21, "two") +
                                MText("2F", 42, "three"));
    const auto& entities = d.LayoutEntities(d.layouts.front());
    ASSERT_EQ(entities.size(), 3u);
    const MTextGeometry& main = Geometry(entities[0]);
    ASSERT_TRUE(main.columns);
    EXPECT_EQ(main.columns->type, 1);
    EXPECT_EQ(main.columns->count, 3);
    EXPECT_DOUBLE_EQ(main.columns->width, 20.0);
    EXPECT_DOUBLE_EQ(main.columns->gutter, 1.0);
    EXPECT_DOUBLE_EQ(main.definedHeight, 100.0);
    EXPECT_DOUBLE_EQ(entities[0].linetypeScale, 2.0);
    EXPECT_EQ(main.text, "one\\Ntwo\\Nthree");
    EXPECT_TRUE(Geometry(entities[1]).linkedColumn);
    EXPECT_TRUE(Geometry(entities[2]).linkedColumn);
    // The first text covers its three columns; the joined ones are measured with it.
    const Box box = EntityExtents(d, entities[0]);
    EXPECT_NEAR(box.min.x, 0.0, 1e-9);
    EXPECT_NEAR(box.max.x, 62.0, 1e-9);
    EXPECT_NEAR(box.min.y, -100.0, 1e-9);
    EXPECT_TRUE(EntityExtents(d, entities[1]).IsEmpty());
}

TEST(MTextColumns, EmbeddedObjectAndOwnTagsGiveTheColumns) {
    // Dynamic columns with heights of their own, as the host writes release 2018.
    const std::string embedded = T(101, "Embedded Object") + T(70, 1) + T(10, 1.0) + T(20, 0.0) +
                                 T(30, 0.0) + T(11, 0.0) + T(21, 0.0) + T(31, 0.0) + T(40, 20.0) +
                                 T(41, 0.0) + T(42, 62.0) + T(43, 30.0) + T(71, 2) + T(72, 3) +
                                 T(44, 20.0) + T(45, 1.0) + T(73, 0) + T(74, 0) + T(46, 20.0) +
                                 T(46, 30.0) + T(46, 0.0);
    const Document dynamic = FromTags(MText("2D", 0, "text", "", embedded));
    const MTextGeometry& g = Geometry(dynamic.LayoutEntities(dynamic.layouts.front()).front());
    ASSERT_TRUE(g.columns);
    EXPECT_EQ(g.columns->type, 2);
    EXPECT_EQ(g.columns->heights, (std::vector<double>{20.0, 30.0, 0.0}));
    EXPECT_DOUBLE_EQ(g.columns->Height(1, 50.0), 30.0);
    // The rotation (50) before the columns, the heights (50) after their type.
    const Document own = FromTags(MText("2D", 0, "text",
                                        T(50, 90.0) + T(46, 40.0) + T(75, 2) + T(76, 2) + T(79, 1) +
                                            T(48, 15.0) + T(49, 2.5) + T(50, 12.0)));
    const MTextGeometry& o = Geometry(own.LayoutEntities(own.layouts.front()).front());
    ASSERT_TRUE(o.columns);
    EXPECT_NEAR(o.xDirection.y, 1.0, 1e-12);
    EXPECT_DOUBLE_EQ(o.columns->width, 15.0);
    EXPECT_DOUBLE_EQ(o.columns->gutter, 2.5);
    EXPECT_TRUE(o.columns->autoHeight);
    EXPECT_DOUBLE_EQ(o.columns->Height(0, o.definedHeight), 40.0); // auto height: the defined one
    // No columns: none kept.
    const Document plain = FromTags(MText("2D", 0, "text"));
    EXPECT_FALSE(Geometry(plain.LayoutEntities(plain.layouts.front()).front()).columns);
}

TEST(MTextColumns, DamagedLinksAreIgnored) {
    // A ring of links and a link to a missing text: every text stays as it is.
    auto links = [](const std::string& to) {
        return T(1001, "ACAD") + T(1000, "ACAD_MTEXT_COLUMN_INFO_BEGIN") + T(1070, 75) +
               T(1070, 1) + T(1070, 50) + T(1070, 30000) + T(1040, 5.0) +
               T(1000, "ACAD_MTEXT_COLUMN_INFO_END") + T(1000, "ACAD_MTEXT_COLUMNS_BEGIN") +
               T(1070, 47) + T(1070, 2) + T(1005, to) + T(1005, "FFFF") +
               T(1000, "ACAD_MTEXT_COLUMNS_END");
    };
    const Document d =
        FromTags(MText("2D", 0, "a", "", links("2E")) + MText("2E", 0, "b", "", links("2D")));
    const auto& entities = d.LayoutEntities(d.layouts.front());
    ASSERT_EQ(entities.size(), 2u);
    EXPECT_EQ(Geometry(entities[0]).text, "a");
    EXPECT_EQ(Geometry(entities[1]).text, "b");
    EXPECT_FALSE(Geometry(entities[1]).linkedColumn);
    EXPECT_EQ(Geometry(entities[0]).columns->heights, std::vector<double>{5.0});
}

TEST(Transparency, EntitiesAndLayersKeepTheirs) {
    const std::string bytes =
        T(0, "SECTION") + T(2, "HEADER") + T(9, "$ACADVER") + T(1, "AC1021") + T(0, "ENDSEC") +
        T(0, "SECTION") + T(2, "TABLES") + T(0, "TABLE") + T(2, "LAYER") + T(0, "LAYER") +
        T(5, "20") + T(2, "GLASS") + T(70, 0) + T(62, 7) + T(6, "CONTINUOUS") +
        T(1001, "AcCmTransparency") + T(1071, 33554559) + T(0, "ENDTAB") + T(0, "ENDSEC") +
        T(0, "SECTION") + T(2, "ENTITIES") + T(0, "LINE") + T(8, "GLASS") + T(440, 33554432) +
        T(10, 0.0) + T(20, 0.0) + T(11, 1.0) + T(21, 0.0) + T(0, "LINE") + T(8, "0") + T(10, 0.0) +
        T(20, 0.0) + T(11, 1.0) + T(21, 0.0) + T(0, "ENDSEC") + T(0, "EOF");
    const Document d = LoadDrawingFromBytes(bytes, "glass.dxf");
    const auto& entities = d.LayoutEntities(d.layouts.front());
    ASSERT_EQ(entities.size(), 2u);
    EXPECT_EQ(entities[0].transparency, kTransparencyAlpha | 0); // fully clear
    EXPECT_EQ(entities[1].transparency, kTransparencyByLayer);
    ASSERT_TRUE(d.FindLayer("GLASS"));
    EXPECT_EQ(d.FindLayer("GLASS")->transparency, kTransparencyAlpha | 127);
}

} // namespace
} // namespace kw::drawing
