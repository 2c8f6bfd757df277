#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

#include "engine/frames.h"
#include "tests/support/substitute_cad.h"

namespace kw {
namespace {

using test::CadScript;
using test::DocumentScript;
using test::EntityScript;
using test::SubstituteCad;

struct Drawing {
    std::shared_ptr<SubstituteCad> cad;
    std::shared_ptr<CadDocument> document;
    std::shared_ptr<CadUtility> utility;

    explicit Drawing(DocumentScript content) {
        CadScript script;
        script.files["D:\\a.dwg"] = std::move(content);
        script.activeDocument = "D:\\a.dwg";
        cad = std::make_shared<SubstituteCad>(script);
        auto application = cad->Attach();
        document = application->ActiveDocument();
        utility = document->Utility();
        cad->ClearCalls();
    }
    // The calls with the random selection-set name replaced by "<name>".
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls = cad->Calls();
        for (auto& call : calls) {
            for (const char* prefix : {"SelectionSets.Add=", "SelectionSet.Delete="})
                if (call.rfind(prefix, 0) == 0)
                    call = std::string(prefix) + "<name>";
        }
        return calls;
    }
};

PlotSettings SettingsFor(FrameKind kind) {
    PlotSettings settings;
    settings.frameKind = kind;
    return settings;
}

TEST(FindFrames, PolylinesOnTheFrameLayerWithTheirVertexExtents) {
    DocumentScript content;
    content.entities = {EntityScript::Rectangle("图框", 0, 0, 420, 297),
                        EntityScript::Rectangle("0", 500, 0, 920, 297),
                        EntityScript::Reference(7, "RmTK", 0, 0, 10, 10)};
    EntityScript open = EntityScript::Rectangle("图框", 1000, 0, 1420, 297);
    open.coordinates = {1000, 0, 1420, 0, 1420, 297}; // not closed: still a frame
    content.entities.push_back(open);
    EntityScript heavy = EntityScript::Rectangle("图框", 0, 400, 10, 410);
    heavy.type = 22; // an old-style polyline is no frame
    content.entities.push_back(heavy);

    Drawing drawing(content);
    const auto frames = FindFrames(*drawing.document, SettingsFor(FrameKind::PolylineLayer));
    EXPECT_EQ(frames, (std::vector<FrameExtent>{{0, 0, 420, 297}, {1000, 0, 1420, 297}}));
    EXPECT_EQ(drawing.Calls(),
              (std::vector<std::string>{"Document.SelectionSets", "SelectionSets.Add=<name>",
                                        "SelectionSet.Select=5,0=LWPOLYLINE,8=图框",
                                        "SelectionSet.Count", "SelectionSet.Item=0",
                                        "SelectionSet.Item=1", "Entity.Coordinates",
                                        "Entity.Coordinates", "SelectionSet.Delete=<name>"}));
    EXPECT_TRUE(drawing.cad->SelectionSetNames("D:\\a.dwg").empty())
        << "the selection set is not left behind";
}

TEST(FindFrames, BlockAndExternalReferencesByTheirBoundingBoxes) {
    DocumentScript content;
    content.entities = {EntityScript::Reference(7, "RmTK", 0, 0, 420, 297),
                        EntityScript::Reference(42, "tk_xref", 500, 0, 920, 297),
                        EntityScript::Rectangle("图框", 0, 0, 1, 1)};
    content.entities.push_back(EntityScript::Reference(7, "RmTK", 1000, 0, 1420, 297));
    Drawing blocks(content);
    EXPECT_EQ(FindFrames(*blocks.document, SettingsFor(FrameKind::BlockReference)),
              (std::vector<FrameExtent>{{0, 0, 420, 297}, {1000, 0, 1420, 297}}));
    EXPECT_EQ(blocks.Calls(),
              (std::vector<std::string>{"Document.SelectionSets", "SelectionSets.Add=<name>",
                                        "SelectionSet.Select=5,100=AcDbBlockReference,2=RmTK",
                                        "SelectionSet.Count", "SelectionSet.Item=0",
                                        "Entity.GetBoundingBox", "SelectionSet.Item=1",
                                        "Entity.GetBoundingBox", "SelectionSet.Delete=<name>"}));

    content.entities.pop_back();
    Drawing xrefs(content);
    EXPECT_EQ(FindFrames(*xrefs.document, SettingsFor(FrameKind::ExternalReference)),
              (std::vector<FrameExtent>{{500, 0, 920, 297}}));
    EXPECT_EQ(
        xrefs.cad->CallsStartingWith("SelectionSet.Select"),
        (std::vector<std::string>{"SelectionSet.Select=5,100=AcdbExternalReference,2=tk_xref"}));
}

TEST(FindFrames, NoMatchIsAnEmptyResultAndCleanupFailuresDoNotMatter) {
    DocumentScript content;
    content.entities = {EntityScript::Rectangle("0", 0, 0, 1, 1)};
    Drawing drawing(content);
    drawing.cad->Script().failures["SelectionSet.Delete"] = {-2147467259, "cannot delete"};
    EXPECT_TRUE(FindFrames(*drawing.document, PlotSettings()).empty());

    drawing.cad->Script().failures["SelectionSets.Add"] = {-2145386300, "Duplicate record name"};
    try {
        FindFrames(*drawing.document, PlotSettings());
        FAIL();
    } catch (const CadError& error) {
        EXPECT_EQ(error.Number(), -2145386300);
    }
}

TEST(PickFrames, PromptsThenKeepsPickedFramesByTypeAndName) {
    DocumentScript content;
    content.entities = {EntityScript::Reference(7, "rmtk", 0, 0, 420, 297),
                        EntityScript::Reference(7, "Other", 500, 0, 920, 297),
                        EntityScript::Rectangle("图框", 0, 0, 5, 5),
                        EntityScript::Reference(42, "RMTK", 1000, 0, 1420, 297),
                        EntityScript::Reference(7, "RmTK", 2000, 0, 2420, 297)};
    content.picked = {2, 0, 1, 3, 4};
    Drawing drawing(content);
    const auto frames =
        PickFrames(*drawing.document, *drawing.utility, SettingsFor(FrameKind::BlockReference));
    EXPECT_EQ(frames, (std::vector<FrameExtent>{{0, 0, 420, 297}, {2000, 0, 2420, 297}}));
    const auto calls = drawing.Calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(calls[1], "SelectionSets.Add=<name>");
    EXPECT_EQ(calls[2],
              "Utility.Prompt======= 选择含图框的对象，不是图框的对象将自动忽略 ======\n\r");
    EXPECT_EQ(calls[3], "SelectionSet.SelectOnScreen");
    EXPECT_EQ(calls.back(), "SelectionSet.Delete=<name>");
    // A polyline's name is never asked for: the type decides first.
    EXPECT_EQ(drawing.cad->CallsStartingWith("Entity.Name").size(), 3u);
}

TEST(PickFrames, NamesMatchUpperCasedByTheFullUnicodeMapping) {
    DocumentScript content;
    content.entities = {EntityScript::Reference(7, "ｒｍｔｋ-é", 0, 0, 420, 297),
                        EntityScript::Reference(7, "ＲＭＴＫ-É", 500, 0, 920, 297),
                        EntityScript::Reference(7, "RMTK-É", 1000, 0, 1420, 297),
                        EntityScript::Reference(7, "Straße", 2000, 0, 2420, 297)};
    content.picked = {0, 1, 2, 3};
    Drawing drawing(content);
    PlotSettings settings = SettingsFor(FrameKind::BlockReference);
    settings.blockName = "ＲＭＴＫ-é";
    EXPECT_EQ(PickFrames(*drawing.document, *drawing.utility, settings),
              (std::vector<FrameExtent>{{0, 0, 420, 297}, {500, 0, 920, 297}}));
#ifndef _WIN32
    // One letter to two (Windows maps case one character to one).
    Drawing again(content);
    settings.blockName = "STRASSE";
    EXPECT_EQ(PickFrames(*again.document, *again.utility, settings),
              (std::vector<FrameExtent>{{2000, 0, 2420, 297}}));
#endif
}

TEST(PickFrames, TheSelectionSetIsDeletedOnEveryPath) {
    DocumentScript content;
    content.entities = {EntityScript::Reference(7, "RmTK", 0, 0, 420, 297)};
    content.picked = {0};
    const std::pair<const char*, bool> failures[] = {{"SelectionSet.SelectOnScreen", true},
                                                     {"Entity.GetBoundingBox", true},
                                                     {"Utility.Prompt", true},
                                                     {"SelectionSet.Count", false},
                                                     {"SelectionSet.Item", false}};
    for (const auto& [call, pick] : failures) {
        SCOPED_TRACE(call);
        Drawing drawing(content);
        drawing.cad->Script().failures[call] = {-2147352567, "failed"};
        PlotSettings settings = SettingsFor(FrameKind::BlockReference);
        if (pick)
            EXPECT_THROW(PickFrames(*drawing.document, *drawing.utility, settings), CadError);
        else
            EXPECT_THROW(FindFrames(*drawing.document, settings), CadError);
        EXPECT_EQ(drawing.Calls().back(), "SelectionSet.Delete=<name>");
        EXPECT_TRUE(drawing.cad->SelectionSetNames("D:\\a.dwg").empty());
    }
}

TEST(PickFrames, LayerNamesMustMatchWithLetterCase) {
    DocumentScript content;
    content.entities = {EntityScript::Rectangle("TK", 0, 0, 420, 297),
                        EntityScript::Rectangle("tk", 500, 0, 920, 297),
                        EntityScript::Reference(7, "TK", 0, 0, 1, 1)};
    content.picked = {0, 1, 2};
    Drawing drawing(content);
    PlotSettings settings;
    settings.frameLayer = "TK";
    EXPECT_EQ(PickFrames(*drawing.document, *drawing.utility, settings),
              (std::vector<FrameExtent>{{0, 0, 420, 297}}));

    content.picked = {1, 2};
    Drawing none(content);
    EXPECT_TRUE(PickFrames(*none.document, *none.utility, settings).empty());
}

TEST(PolylineExtent, VerticesOnlyWithStrictComparisons) {
    EXPECT_EQ(PolylineExtent({3, 4, -1, 9, 7, -2}), (FrameExtent{-1, -2, 7, 9}));
    EXPECT_EQ(PolylineExtent({5, 5}), (FrameExtent{5, 5, 5, 5}));
    EXPECT_THROW(PolylineExtent({1, 2, 3}), Error);
}

TEST(NewSelectionSetName, AFreshNumberInTheUnitIntervalEachTime) {
    std::set<std::string> names;
    for (int i = 0; i < 200; ++i) {
        const std::string name = NewSelectionSetName();
        EXPECT_EQ(name.find(' '), std::string::npos);
        const double value = std::strtod(name.c_str(), nullptr);
        EXPECT_GE(value, 0.0);
        EXPECT_LT(value, 1.0);
        const std::string mantissa = name.substr(0, name.find_first_of("eE"));
        const auto significant = mantissa.find_first_of("123456789");
        std::size_t digits = 0;
        if (significant != std::string::npos)
            for (char c : mantissa.substr(significant))
                if (c >= '0' && c <= '9')
                    ++digits;
        EXPECT_LE(digits, 7u) << name;
        names.insert(name);
    }
    EXPECT_GT(names.size(), 190u);
}

std::vector<FrameExtent> Order(std::vector<FrameExtent> frames, bool bottomUp) {
    return OrderFrames(std::move(frames), bottomUp);
}

TEST(OrderFrames, RowsThenLeftToRight) {
    const FrameExtent a{0, 0, 420, 297}, b{500, 0, 920, 297}, c{1000, 0, 1420, 297};
    EXPECT_EQ(Order({c, a, b}, false), (std::vector<FrameExtent>{a, b, c}));
    EXPECT_EQ(Order({a}, true), (std::vector<FrameExtent>{a}));

    const FrameExtent d{0, 400, 420, 697}, e{500, 400, 920, 697}, f{1000, 400, 1420, 697};
    EXPECT_EQ(Order({e, c, a, f, b, d}, true), (std::vector<FrameExtent>{a, b, c, d, e, f}));
    EXPECT_EQ(Order({e, c, a, f, b, d}, false), (std::vector<FrameExtent>{d, e, f, a, b, c}));
}

TEST(OrderFrames, ARowBreaksOnlyAboveThePreviousFramesTop) {
    const FrameExtent a{300, 0, 400, 100}, b{0, 50, 10, 60}, c{100, 70, 200, 200};
    // B stays in A's row; C starts a row of its own although it overlaps A.
    EXPECT_EQ(Order({c, b, a}, true), (std::vector<FrameExtent>{b, a, c}));
    EXPECT_EQ(Order({c, b, a}, false), (std::vector<FrameExtent>{c, b, a}));
}

// Every comparison of the rule at equality and just past it. Each case is arranged so that the
// other outcome of the comparison gives another order.
TEST(OrderFrames, EachComparisonAtItsBoundary) {
    const double above = std::nextafter(100.0, 200.0);
    struct Case {
        const char* what;
        std::vector<FrameExtent> frames;
        bool bottomUp;
        std::vector<std::size_t> order; // indices into frames
    };
    const std::vector<Case> cases = {
        // Row break: yMin greater than the previous frame's yMax, strictly. The frame on the
        // right stands on the left one's top edge: one row, read left to right.
        {"bottom on the previous top", {{0, 0, 100, 100}, {500, 100, 600, 200}}, false, {0, 1}},
        {"bottom just above the previous top",
         {{0, 0, 100, 100}, {500, above, 600, 200}},
         false,
         {1, 0}},
        {"bottom on the previous top, bottom up",
         {{500, 0, 600, 100}, {0, 100, 100, 200}},
         true,
         {1, 0}},
        {"bottom just above, bottom up", {{500, 0, 600, 100}, {0, above, 100, 200}}, true, {0, 1}},
        // Sort by yMin, strictly smaller: of equal bottoms the first stays first, and the row
        // break then compares with the frame it leaves last.
        {"equal bottoms", {{0, 0, 10, 50}, {20, 0, 30, 100}, {40, 80, 50, 90}}, false, {0, 1, 2}},
        {"equal bottoms, other order",
         {{20, 0, 30, 100}, {0, 0, 10, 50}, {40, 80, 50, 90}},
         false,
         {2, 1, 0}},
        // Sort by xMin, strictly smaller: equal left edges in a row keep the order the
        // exchange of the selection sort leaves.
        {"equal left edges", {{7, 0, 8, 1}, {7, 0, 9, 1}, {0, 0, 1, 1}}, true, {2, 1, 0}},
        {"equal left edges, two", {{7, 0, 8, 1}, {7, 0, 9, 1}}, true, {0, 1}},
        {"left edge just right", {{std::nextafter(7.0, 8.0), 0, 8, 1}, {7, 0, 9, 1}}, true, {1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<FrameExtent> expected;
        for (const std::size_t i : c.order)
            expected.push_back(c.frames[i]);
        EXPECT_EQ(Order(c.frames, c.bottomUp), expected);
    }
}

TEST(OrderFrames, EqualKeysKeepTheSelectionSortsOrder) {
    // Selection sort by yMin leaves B before A (both at 5); the rows follow from that order:
    // D starts no new row above A's top, where a stable sort would end the row at B's top.
    const FrameExtent a{10, 5, 11, 100}, b{20, 5, 21, 6}, c{0, 0, 1, 1}, d{0, 50, 1, 60};
    EXPECT_EQ(Order({a, b, c, d}, true), (std::vector<FrameExtent>{c, d, a, b}));
    // Equal xMin within a row: the same procedure decides.
    const FrameExtent p{7, 0, 8, 1}, q{7, 0, 9, 1}, r{0, 0, 1, 1};
    EXPECT_EQ(Order({p, q, r}, true), (std::vector<FrameExtent>{r, q, p}));
}

TEST(OrderFrames, MoreThanSixteenBitsOfFramesIsAnOverflow) {
    try {
        OrderFrames(std::vector<FrameExtent>(32768), true);
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.Number(), 6);
    }
}

} // namespace
} // namespace kw
