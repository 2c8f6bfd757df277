// Tables laid out from their own data, against the anonymous blocks the CAD drew for the same
// tables: every drawing of the shared test data with a table, read once as it is and once with
// each table's block name and stored graphics taken out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/table_layout.h"
#include "test_support.h"

namespace kw::drawing {
namespace {

namespace fs = std::filesystem;

const fs::path kShared = fs::path(KW_SHARED_TESTDATA).lexically_normal();

// The drawing with every ACAD_TABLE's block name (2) and graphics (92/160/310) taken out of its
// block reference part, which ends at its AcDbTable marker.
std::string WithoutTableBlocks(const std::string& dxf) {
    std::istringstream in(dxf);
    std::string out, code, value;
    bool inTable = false, ownData = false;
    auto trim = [](std::string s) {
        s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
        const auto first = s.find_first_not_of(' ');
        return first == std::string::npos ? std::string() : s.substr(first);
    };
    while (std::getline(in, code) && std::getline(in, value)) {
        const std::string c = trim(code), v = trim(value);
        if (c == "0") {
            inTable = v == "ACAD_TABLE";
            ownData = false;
        }
        if (inTable && c == "100" && v == "AcDbTable")
            ownData = true;
        if (inTable && !ownData && (c == "2" || c == "92" || c == "160" || c == "310"))
            continue;
        out += code + "\n" + value + "\n";
    }
    return out;
}

struct Placed {
    std::string text;
    Vec3 at;
    double height, width;
    int attachment;
};

std::vector<Placed> Texts(const std::vector<Entity>& entities, Vec3 offset) {
    std::vector<Placed> texts;
    for (const Entity& e : entities)
        if (const auto* m = std::get_if<MTextGeometry>(&e.geometry))
            texts.push_back({m->text, m->insertion + offset, m->height, m->referenceWidth,
                             m->attachment});
    return texts;
}

// The grid's lines as the set of points they cover, sampled along each line.
Box LineBox(const std::vector<Entity>& entities, Vec3 offset, double& length) {
    Box box;
    length = 0;
    for (const Entity& e : entities)
        if (const auto* l = std::get_if<LineGeometry>(&e.geometry)) {
            box.Add(l->start + offset);
            box.Add(l->end + offset);
            length += std::hypot(l->end.x - l->start.x, l->end.y - l->start.y);
        }
    return box;
}

const std::vector<const Entity*> Tables(const Document& doc) {
    std::vector<const Entity*> tables;
    for (const Block& block : doc.blocks)
        for (const Entity& e : block.entities)
            if (e.DxfName() == "ACAD_TABLE")
                tables.push_back(&e);
    return tables;
}

TEST(TableLayout, LaidOutAsTheCadDrewTheSameTables) {
    const std::vector<std::string> drawings = {
        "libredwg/test/test-data/example_2000.dxf", "libredwg/test/test-data/example_2004.dxf",
        "libredwg/test/test-data/example_2007.dxf", "libredwg/test/test-data/example_2010.dxf",
        "libredwg/test/test-data/example_2013.dxf", "libredwg/test/test-data/example_2018.dxf",
        "libredwg/test/test-data/2000/TS1.dxf",     "libredwg/test/test-data/2018/TS1.dxf",
        "ezdxf/examples_dxf/acad_table_simple.dxf", "ACadSharp/samples/sample_AC1015_ascii.dxf",
        "ACadSharp/samples/sample_AC1018_ascii.dxf", "ACadSharp/samples/sample_AC1021_ascii.dxf",
        "ACadSharp/samples/sample_AC1024_ascii.dxf", "ACadSharp/samples/sample_AC1027_ascii.dxf",
        "ACadSharp/samples/sample_AC1032_ascii.dxf",
    };
    int compared = 0;
    for (const std::string& name : drawings) {
        SCOPED_TRACE(name);
        const std::string bytes = test::ReadBytes((kShared / name).string());
        const Document asDrawn = LoadDrawingFromBytes(bytes, name);
        const Document laidOut = LoadDrawingFromBytes(WithoutTableBlocks(bytes), name);
        const auto drawnTables = Tables(asDrawn), laidTables = Tables(laidOut);
        ASSERT_EQ(drawnTables.size(), laidTables.size());
        for (std::size_t t = 0; t < drawnTables.size(); ++t) {
            const auto& drawn = std::get<OpaqueGeometry>(drawnTables[t]->geometry);
            const auto& laid = std::get<OpaqueGeometry>(laidTables[t]->geometry);
            const Block* block = asDrawn.FindBlock(drawn.blockName);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(drawn.proxy, nullptr) << "the block is drawn, not the graphics";
            ASSERT_NE(laid.proxy, nullptr);
            ++compared;

            double drawnLength = 0, laidLength = 0;
            const Box drawnBox = LineBox(block->entities, drawn.insertion, drawnLength);
            const Box laidBox = LineBox(laid.proxy->entities, {}, laidLength);
            const double size = std::max(drawnBox.max.x - drawnBox.min.x, 1.0);
            EXPECT_NEAR(laidBox.min.x, drawnBox.min.x, 1e-6 * size);
            EXPECT_NEAR(laidBox.min.y, drawnBox.min.y, 1e-6 * size);
            EXPECT_NEAR(laidBox.max.x, drawnBox.max.x, 1e-6 * size);
            EXPECT_NEAR(laidBox.max.y, drawnBox.max.y, 1e-6 * size);
            EXPECT_NEAR(laidLength, drawnLength, 1e-6 * drawnLength) << "the same borders";

            const auto expected = Texts(block->entities, drawn.insertion);
            const auto got = Texts(laid.proxy->entities, {});
            ASSERT_EQ(got.size(), expected.size());
            for (const Placed& want : expected) {
                const auto match = std::find_if(got.begin(), got.end(), [&](const Placed& p) {
                    return p.text == want.text && std::hypot(p.at.x - want.at.x,
                                                             p.at.y - want.at.y) < 1e-6 * size;
                });
                ASSERT_NE(match, got.end()) << want.text << " at " << want.at.x << " "
                                            << want.at.y;
                EXPECT_DOUBLE_EQ(match->height, want.height) << want.text;
                EXPECT_EQ(match->attachment, want.attachment) << want.text;
                EXPECT_NEAR(match->width, want.width, 1e-6 * size) << want.text;
            }
        }
    }
    EXPECT_EQ(compared, 21);
}

// A table whose block is missing or empty is laid out from its data, at its insertion point; one
// whose block draws is drawn as that block.
TEST(TableLayout, OnlyABlockThatDrawsStandsForTheTable) {
    using test::T;
    const auto table = [](const std::string& block) {
        return T(0, "ACAD_TABLE") + T(8, "0") + T(100, "AcDbEntity") + T(100, "AcDbBlockReference") +
               T(2, block) + T(10, 100.0) + T(20, 50.0) + T(100, "AcDbTable") + T(91, "1") +
               T(92, "2") + T(141, 8.0) + T(142, 30.0) + T(142, 20.0) + T(171, "1") + T(1, "ROOM") +
               T(171, "1") + T(1, "12.5");
    };
    const std::string blocks = T(0, "BLOCK") + T(8, "0") + T(2, "*T1") + T(70, "1") + T(10, 0.0) +
                               T(20, 0.0) + T(0, "ENDBLK") + T(0, "BLOCK") + T(8, "0") +
                               T(2, "*T2") + T(70, "1") + T(10, 0.0) + T(20, 0.0) + T(0, "LINE") +
                               T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(11, 50.0) + T(21, 0.0) +
                               T(0, "ENDBLK");
    const Document doc = test::FromTags(table("*T1") + table("*T9") + table("*T2"), blocks);
    const auto tables = Tables(doc);
    ASSERT_EQ(tables.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "empty block" : "missing block");
        const auto& g = std::get<OpaqueGeometry>(tables[i]->geometry);
        ASSERT_NE(g.proxy, nullptr);
        double length = 0;
        const Box box = LineBox(g.proxy->entities, {}, length);
        EXPECT_EQ(box.min.x, 100);
        EXPECT_EQ(box.max.x, 150);
        EXPECT_EQ(box.min.y, 42);
        EXPECT_EQ(box.max.y, 50);
        const auto texts = Texts(g.proxy->entities, {});
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0].text, "ROOM");
        EXPECT_EQ(texts[1].text, "12.5");
    }
    EXPECT_EQ(std::get<OpaqueGeometry>(tables[2]->geometry).proxy, nullptr);
}

// What a damaged file may say of its grid: merged cells that overlap or reach past the grid, a
// grid of billions of cells. The first merge keeps its place; a grid past a million cells is not
// laid out.
TEST(TableLayout, DamagedGridsAreLaidOutWithinBoundsOrNotAtAll) {
    TableContent overlapping;
    overlapping.rowHeights = {10, 10, 10};
    overlapping.columnWidths = {20, 20, 20};
    overlapping.cells.resize(9);
    overlapping.cells[0] = {"A", "", 0, 0, -1, 0, 2, 2};       // rows 0-1, columns 0-1
    overlapping.cells[4] = {"B", "", 0, 0, -1, 0, 100, 100};   // starts inside A: ignored
    overlapping.cells[2] = {"C", "", 0, 0, -1, 0, 1, 1000000}; // column 2 to the bottom
    const auto laid = LayOutTable(overlapping, TableStyle{}, {});
    ASSERT_NE(laid, nullptr);
    double length = 0;
    const Box box = LineBox(laid->entities, {}, length);
    EXPECT_EQ(box.min.x, 0);
    EXPECT_EQ(box.max.x, 60);
    EXPECT_EQ(box.min.y, -30);
    EXPECT_EQ(box.max.y, 0);
    // The outline (180), A's bottom (40) and right side (20), and the two edges left of row 2's
    // last cells (10 each): no line runs inside A or inside C.
    EXPECT_DOUBLE_EQ(length, 180 + 40 + 20 + 10 + 10);
    EXPECT_EQ(Texts(laid->entities, {}).size(), 2u) << "A and C; B lies inside A";

    TableContent huge;
    huge.rowHeights.assign(65536, 1.0);
    huge.columnWidths.assign(65536, 1.0);
    EXPECT_EQ(LayOutTable(huge, TableStyle{}, {}), nullptr);
}

} // namespace
} // namespace kw::drawing
