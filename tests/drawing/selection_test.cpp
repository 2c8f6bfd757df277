#include <gtest/gtest.h>

#include "test_support.h"

namespace kw::drawing {
namespace {

using test::Fixture;
using test::FromTags;
using test::T;

TEST(WildcardMatch, FollowsTheHostRulesIgnoringCase) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"RmTK", "rmtk", true},
        {"rmtk", "RmTK", true},
        {"RmTK", "RmTK_A4", false},
        {"图框", "图框", true},
        {"图?", "图框", true},
        {"图?", "图框线", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"*TK", "RmTK", true},
        {"R*K", "RmTK", true},
        {"R*X", "RmTK", false},
        {"A#", "A1", true},
        {"A#", "AB", false},
        {"@1", "x1", true},
        {"@1", "11", false},
        {"@", "ä", true},
        {".1", "-1", true},
        {".1", "a1", false},
        {".1", "51", false},
        {"~RmTK", "RmTK", false},
        {"~RmTK", "Other", true},
        {"a~b", "a~b", true},
        {"[AB]*", "block", true},
        {"[~AB]*", "Block", false},
        {"[~AB]*", "Circle", true},
        {"[a-c]x", "Bx", true},
        {"[a-c]x", "dx", false},
        {"[]]", "]", true},
        {"[ab", "[ab", true},
        {"A,B", "b", true},
        {"A,B", "C", false},
        {"~A*,B*", "Ax", false},
        {"~A*,B*", "Cx", true},
        {"`*", "*", true},
        {"`*", "x", false},
        {"`#", "#", true},
        {"`#", "1", false},
        {"*`,*", "a,b", true},
        {"*`,*", "ab", false},
        {"tk_xref", "tk_xref_old", false},
        {"tk_xref*", "TK_XREF_OLD", true},
        {"[0-9]#", "42", true},
        {"ΛΑΓ*", "λαγερ", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.match) << c.pattern << " / " << c.text;
}

TEST(SelectAll, FiltersByTypeAndLayerInModelThenPaperSpaceOrder) {
    const Document document = LoadDrawing(Fixture("frames/frames_paperspace_r2013.dxf"));
    const auto frames = SelectAll(document, {{0, "LWPOLYLINE"}, {8, "图框"}});
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_FALSE(frames[0]->paperSpace);
    EXPECT_FALSE(frames[1]->paperSpace);
    // Model space first, then the paper-space frame of Layout1.
    const auto& layout1 = document.LayoutEntities(document.layouts[1]);
    EXPECT_TRUE(frames[2] >= layout1.data() && frames[2] < layout1.data() + layout1.size());
    EXPECT_EQ(std::get<LwPolylineGeometry>(frames[2]->geometry).vertices[0].x, 20.0);
    EXPECT_EQ(SelectAll(document, {{0, "lwpolyline"}, {8, "图框"}, {410, "layout1"}}).size(), 1u);
    EXPECT_EQ(SelectAll(document, {{0, "LWPOLYLINE"}, {8, "图框"}, {67, "0"}}).size(), 2u);

    // Shapes: lines, a heavy polyline and a circle on 图框, a polyline on 图框线 and one inside a
    // block are no lightweight polylines on 图框 of model space.
    const Document shapes = LoadDrawing(Fixture("frames/frames_shapes_r2007.dxf"));
    EXPECT_EQ(SelectAll(shapes, {{0, "LWPOLYLINE"}, {8, "图框"}}).size(), 4u);
    EXPECT_EQ(SelectAll(shapes, {{0, "LWPOLYLINE"}, {8, "图框*"}}).size(), 5u);
    EXPECT_EQ(SelectAll(shapes, {{0, "LINE,CIRCLE"}, {8, "图框"}}).size(), 5u);
    EXPECT_EQ(SelectAll(shapes, {{100, "AcDb2dPolyline"}}).size(), 1u);
}

TEST(SelectAll, MatchesSubclassMarkersOfBlockAndExternalReferences) {
    const Document host = LoadDrawing(Fixture("frames/xref_host_r2018.dxf"));
    EXPECT_EQ(SelectAll(host, {{100, "AcdbExternalReference"}, {2, "tk_xref"}}).size(), 3u);
    EXPECT_EQ(SelectAll(host, {{100, "AcDbBlockReference"}, {2, "tk_xref"}}).size(), 3u);
    EXPECT_EQ(SelectAll(host, {{100, "AcDbExternalReference"}, {2, "tk_xref*"}}).size(), 4u);
    const auto markers = SubclassMarkers(host, *SelectAll(host, {{2, "tk_xref"}}).front());
    EXPECT_EQ(markers, (std::vector<std::string>{"AcDbEntity", "AcDbBlockReference",
                                                 "AcDbExternalReference"}));

    const Document blocks = LoadDrawing(Fixture("frames/blocks_rmtk_r2013.dxf"));
    EXPECT_EQ(SelectAll(blocks, {{100, "AcDbBlockReference"}, {2, "rmtk"}}).size(), 5u);
    EXPECT_EQ(SelectAll(blocks, {{100, "AcdbExternalReference"}, {2, "RmTK"}}).size(), 0u);
    // R12 has no subclass markers in the file; the type still answers to them.
    const Document r12 = LoadDrawing(Fixture("frames/blocks_rmtk_r12_gbk.dxf"));
    EXPECT_EQ(SelectAll(r12, {{100, "AcDbBlockReference"}, {2, "RmTK"}}).size(), 2u);
    EXPECT_EQ(SelectAll(r12, {{0, "LWPOLYLINE"}, {8, "图框"}}).size(), 0u);
}

TEST(SelectAll, UnderstandsGroupingAndRelationalOperators) {
    const std::string entities =
        T(0, "CIRCLE") + T(8, "A") + T(62, "1") + T(10, 0.0) + T(20, 0.0) + T(40, 5.0) +
        T(0, "CIRCLE") + T(8, "B") + T(10, 0.0) + T(20, 0.0) + T(40, 50.0) + T(0, "LINE") +
        T(8, "A") + T(6, "DASHED") + T(10, 0.0) + T(20, 0.0) + T(11, 1.0) + T(21, 1.0) +
        T(0, "TEXT") + T(8, "B") + T(10, 0.0) + T(20, 0.0) + T(40, 2.5) + T(1, "Sheet 7 of 9");
    const Document document = FromTags(entities);
    auto count = [&](const std::vector<FilterEntry>& filter) {
        return SelectAll(document, filter).size();
    };
    EXPECT_EQ(count({}), 4u);
    EXPECT_EQ(count({{62, "256"}}), 3u); // BYLAYER when the entity gives no colour
    EXPECT_EQ(count({{62, "1"}}), 1u);
    EXPECT_EQ(count({{6, "BYLAYER"}}), 3u);
    EXPECT_EQ(count({{6, "dashed"}}), 1u);
    EXPECT_EQ(count({{-4, ">"}, {40, "10"}}), 1u);
    EXPECT_EQ(count({{0, "CIRCLE"}, {-4, "<="}, {40, "5"}}), 1u);
    EXPECT_EQ(count({{-4, "<OR"}, {0, "LINE"}, {0, "TEXT"}, {-4, "OR>"}}), 2u);
    EXPECT_EQ(count({{-4, "<NOT"}, {8, "A"}, {-4, "NOT>"}}), 2u);
    EXPECT_EQ(count({{-4, "<XOR"}, {8, "A"}, {0, "CIRCLE"}, {-4, "XOR>"}}), 2u);
    EXPECT_EQ(count({{-4, "<AND"}, {8, "B"}, {1, "*7 of #"}, {-4, "AND>"}}), 1u);
    try {
        count({{-4, "<OR"}, {0, "LINE"}});
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.Number(), errors::kInvalidCall);
        EXPECT_NE(std::string(error.what()).find("<OR"), std::string::npos);
    }
    EXPECT_THROW(count({{-4, "AND>"}}), Error);
    EXPECT_THROW(count({{-4, "<MAYBE"}, {-4, "MAYBE>"}}), Error);
}

} // namespace
} // namespace kw::drawing
