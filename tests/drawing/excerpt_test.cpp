#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "drawing/drawing.h"
#include "drawing/spatial_index.h"
#include "tests/drawing/test_support.h"

namespace kw::drawing {
namespace {

using test::T;

std::string Line(const std::string& handle, double x0, double y0, double x1, double y1,
                 const std::string& appGroups = "") {
    return T(0, "LINE") + T(5, handle) + appGroups + T(330, "1F") + T(100, "AcDbEntity") +
           T(8, "0") + T(100, "AcDbLine") + T(10, x0) + T(20, y0) + T(30, 0.0) + T(11, x1) +
           T(21, y1) + T(31, 0.0);
}

std::string Reactors(const std::string& handle) {
    return T(102, "{ACAD_REACTORS") + T(330, handle) + T(102, "}");
}

std::string XDictionary(const std::string& handle) {
    return T(102, "{ACAD_XDICTIONARY") + T(360, handle) + T(102, "}");
}

std::string Dictionary(const std::string& handle, const std::string& owner,
                       const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string text =
        T(0, "DICTIONARY") + T(5, handle) + T(330, owner) + T(100, "AcDbDictionary") + T(281, "1");
    for (const auto& [name, target] : entries) {
        text += T(3, name) + T(350, target);
    }
    return text;
}

std::string Group(const std::string& handle, const std::vector<std::string>& members) {
    std::string text = T(0, "GROUP") + T(5, handle) + Reactors("D") + T(330, "D") +
                       T(100, "AcDbGroup") + T(300, "") + T(70, "1") + T(71, "1");
    for (const std::string& member : members) {
        text += T(340, member);
    }
    return text;
}

// Model space: A in the window, in two groups with B, with an extension dictionary; B outside,
// with an extension dictionary holding a record; a hatch in the window whose associative boundary
// C lies outside it; a block reference D with an attribute outside; F outside, alone in a group.
// A draw-order table names A and B.
Document Fixture() {
    const std::string hatch = T(0, "HATCH") + T(5, "13") + T(330, "1F") + T(100, "AcDbEntity") +
                              T(8, "0") + T(100, "AcDbHatch") + T(10, 0.0) + T(20, 0.0) +
                              T(30, 0.0) + T(210, 0.0) + T(220, 0.0) + T(230, 1.0) + T(2, "SOLID") +
                              T(70, "1") + T(71, "1") + T(91, "1") + T(92, "3") + T(72, "0") +
                              T(73, "1") + T(93, "4") + T(10, 10.0) + T(20, 10.0) + T(10, 40.0) +
                              T(20, 10.0) + T(10, 40.0) + T(20, 40.0) + T(10, 10.0) + T(20, 40.0) +
                              T(97, "1") + T(330, "12") + T(75, "0") + T(76, "1") + T(98, "0");
    const std::string boundary = T(0, "LWPOLYLINE") + T(5, "12") + Reactors("13") + T(330, "1F") +
                                 T(100, "AcDbEntity") + T(8, "0") + T(100, "AcDbPolyline") +
                                 T(90, "2") + T(70, "0") + T(10, 1000.0) + T(20, 0.0) +
                                 T(10, 1100.0) + T(20, 100.0);
    const std::string insert =
        T(0, "INSERT") + T(5, "14") + T(330, "1F") + T(100, "AcDbEntity") + T(8, "0") +
        T(100, "AcDbBlockReference") + T(66, "1") + T(2, "B") + T(10, 700.0) + T(20, 700.0) +
        T(30, 0.0) + T(0, "ATTRIB") + T(5, "15") + T(330, "14") + T(100, "AcDbEntity") + T(8, "0") +
        T(100, "AcDbText") + T(10, 700.0) + T(20, 700.0) + T(30, 0.0) + T(40, 2.5) + T(1, "X") +
        T(100, "AcDbAttribute") + T(2, "TAG") + T(70, "0") + T(0, "SEQEND") + T(5, "16") +
        T(330, "14") + T(100, "AcDbEntity") + T(8, "0");
    const std::string entities =
        Line("10", 0, 0, 10, 10, Reactors("50") + XDictionary("60")) +
        Line("11", 500, 500, 510, 510, Reactors("50") + XDictionary("61")) + hatch + boundary +
        insert + Line("17", 600, 0, 610, 0, Reactors("51"));
    const std::string objects =
        Dictionary("C", "0", {{"ACAD_GROUP", "D"}, {"ACAD_SORTENTS", "70"}}) +
        Dictionary("D", "C", {{"*A1", "50"}, {"*A2", "51"}}) + Group("50", {"10", "11"}) +
        Group("51", {"17"}) + Dictionary("60", "10", {}) +
        Dictionary("61", "11", {{"NOTE", "62"}}) + T(0, "XRECORD") + T(5, "62") + T(330, "61") +
        T(100, "AcDbXrecord") + T(280, "1") + T(1, "note of B") + T(0, "SORTENTSTABLE") +
        T(5, "70") + T(330, "C") + T(100, "AcDbSortentsTable") + T(330, "1F") + T(331, "10") +
        T(5, "80") + T(331, "11") + T(5, "81");
    return test::FromSections("", entities, objects);
}

std::string Written(const Excerpts& excerpts, const std::vector<std::size_t>& kept) {
    std::string out;
    excerpts.Write(kept, [&](std::string_view piece) { out.append(piece); });
    return out;
}

// The handles of the entities of the layout the drawing was saved in.
std::set<std::uint64_t> ModelHandles(const Document& document) {
    std::set<std::uint64_t> handles;
    for (const Entity& entity : document.LayoutEntities(document.ActiveLayout())) {
        handles.insert(entity.handle);
    }
    return handles;
}

TEST(Excerpts, WhatReferstoAnEntityLeftOutGoesWithIt) {
    const Document document = Fixture();
    const Excerpts excerpts(document, 0);
    const std::vector<std::size_t> kept = excerpts.EntitiesIn({0, 0, 100, 100});
    const std::string text = Written(excerpts, kept);
    const Document excerpt = LoadDrawingFromBytes(text, "excerpt.dxf");
    // The line and the hatch in the window, and the hatch's boundary wherever it lies.
    EXPECT_EQ(ModelHandles(excerpt), (std::set<std::uint64_t>{0x10, 0x13, 0x12}));
    for (const std::string& gone :
         {T(5, "15"), T(5, "16"), T(340, "11"), T(5, "51"), T(3, "*A2") + T(350, "51"), T(5, "61"),
          T(5, "62"), T(331, "11") + T(5, "81"), T(330, "51")}) {
        EXPECT_EQ(text.find(gone), std::string::npos) << gone;
    }
    for (const std::string& stays :
         {T(340, "10"), T(3, "*A1") + T(350, "50"), T(5, "60"), T(331, "10") + T(5, "80"),
          Reactors("50"), Reactors("13"), T(97, "1") + T(330, "12")}) {
        EXPECT_NE(text.find(stays), std::string::npos) << stays;
    }

    // Everything kept is the file itself; nothing kept is a drawing with an empty model space.
    std::vector<std::size_t> all(document.LayoutEntities(document.layouts.front()).size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    EXPECT_EQ(Written(excerpts, all), document.Source());
    const std::string none = Written(excerpts, {});
    EXPECT_TRUE(ModelHandles(LoadDrawingFromBytes(none, "none.dxf")).empty());
    EXPECT_EQ(none.find(T(5, "50")), std::string::npos); // a group of no one is gone
}

// The shared drawings: each excerpt holds exactly the entities chosen, every entity whose extents
// meet the window is among them, and one of every entity is the file byte for byte.
TEST(Excerpts, RealDrawingsKeepExactlyTheChosenEntities) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(KW_DRAWING_TESTDATA) / "frames";
    int drawings = 0;
    for (const auto& file : fs::directory_iterator(folder)) {
        if (file.path().extension() != ".dxf") {
            continue;
        }
        SCOPED_TRACE(file.path().filename().string());
        const Document document = LoadDrawing(file.path().string());
        const std::size_t layout = document.ActiveLayoutIndex();
        const std::vector<Entity>& entities = document.LayoutEntities(document.layouts[layout]);
        const Excerpts excerpts(document, layout);
        Box all;
        for (const Entity& entity : entities) {
            all.Add(EntityExtents(document, entity));
        }
        if (all.IsEmpty()) {
            continue;
        }
        ++drawings;
        // The lower left third of the drawing.
        const SpatialIndex::Rect window{all.min.x, all.min.y,
                                        all.min.x + (all.max.x - all.min.x) / 3,
                                        all.min.y + (all.max.y - all.min.y) / 3};
        const std::vector<std::size_t> kept = excerpts.EntitiesIn(window);
        std::set<std::uint64_t> expected;
        for (const std::size_t i : kept) {
            expected.insert(entities[i].handle);
        }
        const Document excerpt = LoadDrawingFromBytes(Written(excerpts, kept), "excerpt.dxf");
        EXPECT_EQ(ModelHandles(excerpt), expected);
        for (const Entity& entity : entities) {
            const Box box = EntityExtents(document, entity);
            if (!box.IsEmpty() && box.min.x <= window.maxX && box.max.x >= window.minX &&
                box.min.y <= window.maxY && box.max.y >= window.minY) {
                EXPECT_TRUE(expected.count(entity.handle)) << std::hex << entity.handle;
            }
        }
        std::vector<std::size_t> every(entities.size());
        for (std::size_t i = 0; i < every.size(); ++i) {
            every[i] = i;
        }
        EXPECT_TRUE(Written(excerpts, every) == document.Source());
    }
    EXPECT_GE(drawings, 8);
}

TEST(Excerpts, ADrawingReadWithoutItsBytesIsRefused) {
    const std::string path = std::string(KW_DRAWING_TESTDATA) + "/frames/frames_r2000_gbk.dxf";
    const Document document = LoadDrawing(path, {.keep = KeepBytes::ForReading});
    try {
        const Excerpts excerpts(document, 0);
        FAIL() << "no error";
    } catch (const Error& failure) {
        EXPECT_EQ(failure.Number(), errors::kInvalidCall);
        EXPECT_NE(failure.Description().find("without the bytes"), std::string::npos);
    }
}

} // namespace
} // namespace kw::drawing
