// Frames found without configuration, and why every other candidate is no frame.

#include <gtest/gtest.h>

#include <sstream>

#include "batch/auto_frames.h"
#include "drawing/dxf_io.h"
#include "tests/drawing/proxy_stream.h"

namespace kw {
namespace {

// A drawing written tag by tag: rectangles, lines and text in model or paper space.
class DxfText {
public:
    DxfText& Rectangle(double x, double y, double w, double h, bool paper = false,
                       const char* layer = "0") {
        m_out << "0\nLWPOLYLINE\n"
              << (paper ? "67\n1\n" : "") << "8\n"
              << layer << "\n90\n4\n70\n1\n";
        for (const auto& [px, py] : {std::pair{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}) {
            m_out << "10\n" << px << "\n20\n" << py << "\n";
        }
        return *this;
    }
    DxfText& Line(double x0, double y0, double x1, double y1) {
        m_out << "0\nLINE\n8\n0\n10\n"
              << x0 << "\n20\n"
              << y0 << "\n11\n"
              << x1 << "\n21\n"
              << y1 << "\n";
        return *this;
    }
    DxfText& LineFrame(double x, double y, double w, double h) {
        return Line(x, y, x + w, y)
            .Line(x + w, y, x + w, y + h)
            .Line(x + w, y + h, x, y + h)
            .Line(x, y + h, x, y);
    }
    // Something drawn inside a frame.
    DxfText& Content(double x, double y, bool paper = false) {
        m_out << "0\nTEXT\n"
              << (paper ? "67\n1\n" : "") << "8\n0\n10\n"
              << x << "\n20\n"
              << y << "\n40\n5\n1\nPLAN\n";
        return *this;
    }
    // A block of a sheet `w` × `h`: its border and an inner one, and, with `titleBlock`, the cells,
    // a label and the attributes 图号 and 图名 of a title block in its lower right corner.
    DxfText& SheetBlock(const char* name, double w, double h, bool titleBlock) {
        DxfText block;
        block.Rectangle(0, 0, w, h).Rectangle(w / 40, h / 60, w * 0.96, h * 0.96);
        if (titleBlock) {
            const double x = w - 18000, y = h / 60;
            block.Line(x, y, x, y + 5600).Line(x, y + 5600, w * 0.985, y + 5600);
            block.Line(x, y + 2800, w * 0.985, y + 2800).Content(x + 500, y + 500);
            for (const char* tag : {"图号", "图名"}) {
                block.m_out << "0\nATTDEF\n8\n0\n10\n"
                            << x + 5000 << "\n20\n"
                            << y + 500 << "\n40\n350\n1\n\n3\n"
                            << tag << "\n2\n"
                            << tag << "\n70\n0\n";
            }
        }
        m_blocks << "0\nBLOCK\n8\n0\n2\n"
                 << name << "\n70\n2\n10\n0\n20\n0\n"
                 << block.m_out.str() << "0\nENDBLK\n8\n0\n";
        return *this;
    }
    // A reference of a block at (x, y), with attributes when `number` is given.
    DxfText& Insert(const char* name, double x, double y, const char* number = nullptr) {
        m_out << "0\nINSERT\n8\n0\n"
              << (number ? "66\n1\n" : "") << "2\n"
              << name << "\n10\n"
              << x << "\n20\n"
              << y << "\n";
        if (number) {
            for (const auto& [tag, value] : {std::pair{"图号", number}, {"图名", "总平面图"}}) {
                m_out << "0\nATTRIB\n8\n0\n10\n"
                      << x + 100 << "\n20\n"
                      << y + 100 << "\n40\n350\n1\n"
                      << value << "\n2\n"
                      << tag << "\n70\n0\n";
            }
            m_out << "0\nSEQEND\n8\n0\n";
        }
        return *this;
    }
    // Tags as they stand.
    DxfText& Raw(const std::string& tags) {
        m_out << tags;
        return *this;
    }
    drawing::Document Load() const {
        return drawing::LoadDrawingFromBytes("0\nSECTION\n2\nBLOCKS\n" + m_blocks.str() +
                                                 "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" +
                                                 m_out.str() + "0\nENDSEC\n0\nEOF\n",
                                             "auto.dxf");
    }

private:
    std::ostringstream m_out;
    std::ostringstream m_blocks;
};

// A sheet with the cases a drafting office meets: two staggered rows of A3 and A4 frames, one
// drawn as four lines, a frame drawn twice, an inner border and title-block cells, an empty
// A3 rectangle, a rectangle of no standard size and an A4 frame in paper space.
drawing::Document OfficeSheet() {
    DxfText dxf;
    dxf.Rectangle(0, 3100, 420, 297).Content(100, 3200);         // upper row: A3
    dxf.Rectangle(440, 3110, 210, 297).Content(500, 3200);       // A4 portrait, a little higher
    dxf.LineFrame(670, 3095, 420, 297).Content(800, 3200);       // A3 of four lines, a little lower
    dxf.Rectangle(0, 0, 841, 594).Content(100, 100);             // lower row: A1 at 1:1
    dxf.Rectangle(25, 5, 811, 584);                              //   its inner border
    dxf.Rectangle(656, 5, 180, 56).Rectangle(656, 5, 50, 8);     //   title-block cells
    dxf.Rectangle(1000, 0, 4200, 2970).Content(2000, 1000);      // A3 at 1:10, beside it
    dxf.Rectangle(1000, 0, 4200, 2970);                          //   drawn twice
    dxf.Rectangle(0, 8000, 420, 297);                            // empty A3
    dxf.Rectangle(6000, 0, 333, 222).Content(6100, 100);         // no standard size
    dxf.Rectangle(10, 10, 210, 297, true).Content(50, 50, true); // paper space A4
    return dxf.Load();
}

std::vector<std::string> Described(const AutoFrames& found) {
    std::vector<std::string> lines;
    for (const FrameCandidate& candidate : found.candidates) {
        std::ostringstream line;
        line << candidate.layout << " " << candidate.extent.xMin << "," << candidate.extent.yMin
             << " ";
        if (candidate.page > 0) {
            line << "page " << candidate.page << " " << candidate.sheet;
        } else {
            line << RejectionText(candidate);
        }
        lines.push_back(line.str());
    }
    return lines;
}

TEST(AutoFrames, AnOfficeSheetGivesItsFramesAndWhyTheRestAreNone) {
    const drawing::Document document = OfficeSheet();
    const std::vector<std::string> found = Described(FindAutoFrames(document, {}));
    EXPECT_EQ(found, (std::vector<std::string>{
                         "Model 0,3100 page 1 A3 landscape 1:1",
                         "Model 440,3110 page 2 A4 portrait 1:1",
                         "Model 670,3095 page 3 A3 landscape 1:1",
                         "Model 0,0 page 4 A1 landscape 1:1",
                         "Model 1000,0 page 5 A3 landscape 1:10",
                         "Layout1 10,10 page 6 A4 portrait 1:1",
                         "Model 25,5 nested in frame 4",
                         "Model 656,5 nested in frame 4",
                         "Model 656,5 nested in frame 4",
                         "Model 1000,0 duplicate of frame 5",
                         "Model 0,8000 empty",
                         "Model 6000,0 no standard size",
                     }));
    // The same answer however often it is asked.
    for (int run = 0; run < 10; ++run) {
        EXPECT_EQ(Described(FindAutoFrames(document, {})), found);
    }
    const AutoFrames frames = FindAutoFrames(document, {});
    EXPECT_EQ(frames.activeLayout, "Model");
    EXPECT_EQ(frames.FramesOf("Model").size(), 5u);
    EXPECT_EQ(frames.FramesOf("Layout1"), (std::vector<FrameExtent>{{10, 10, 220, 307}}));
}

TEST(AutoFrames, ASheetDrawnAFewMillimetresShortStillCountsAndAnInnerBorderDoesNot) {
    DxfText dxf;
    dxf.Rectangle(0, 0, 297, 207).Content(50, 50);    // A4 whose border lost 3 mm
    dxf.Rectangle(400, 0, 297, 200).Content(450, 50); // 7 mm short: no sheet
    dxf.Rectangle(1000, 0, 420, 297).Content(1100, 50);
    dxf.Rectangle(1005, 5, 410, 287); // an inner border 5 mm in
    EXPECT_EQ(Described(FindAutoFrames(dxf.Load(), {})),
              (std::vector<std::string>{
                  "Model 0,0 page 1 A4 landscape 1:1", "Model 1000,0 page 2 A3 landscape 1:1",
                  "Model 400,0 no standard size", "Model 1005,5 nested in frame 2"}));
}

// Standard sheets at 1:100 as an office draws them, in one row: each as a block whose
// definition holds the sheet, or each as a polyline with its title block beside it.
TEST(AutoFrames, SheetsAtOneToAHundredAsBlocksOrPolylinesAreEveryOneAFrame) {
    struct Size {
        const char* block;
        double w, h;
        const char* sheet;
    };
    const Size sizes[] = {{"A3", 42000, 29700, "A3 landscape 1:100"},
                          {"A1", 84100, 59400, "A1 landscape 1:100"},
                          {"A1L", 105100, 59400, "A1x1.25 landscape 1:100"},
                          {"A2P", 42000, 59400, "A2 portrait 1:100"}};
    DxfText blocks, polylines;
    std::vector<std::string> expected;
    double x = 0;
    int page = 0;
    for (const Size& size : sizes) {
        blocks.SheetBlock(size.block, size.w, size.h, true).Insert(size.block, x, 0, "S-01");
        polylines.Rectangle(x, 0, size.w, size.h).Content(x + size.w - 10000, 1000);
        expected.push_back("Model " + std::to_string(static_cast<int>(x)) + ",0 page " +
                           std::to_string(++page) + " " + size.sheet);
        x += size.w + 5000;
    }
    EXPECT_EQ(Described(FindAutoFrames(blocks.Load(), {})), expected);
    EXPECT_EQ(Described(FindAutoFrames(polylines.Load(), {})), expected);

    // A block of nothing but its borders is an empty frame; with its title block only, a sheet.
    DxfText bare;
    bare.SheetBlock("BARE", 42000, 29700, false).Insert("BARE", 0, 0);
    bare.SheetBlock("TITLED", 42000, 29700, true).Insert("TITLED", 50000, 0);
    EXPECT_EQ(
        Described(FindAutoFrames(bare.Load(), {})),
        (std::vector<std::string>{"Model 50000,0 page 1 A3 landscape 1:100", "Model 0,0 empty"}));
}

TEST(AutoFrames, OnlyClosedStraightRectanglesCount) {
    // An open polyline, one with an arc, a rotated square: none of them a rectangle frame.
    const drawing::Document document = drawing::LoadDrawingFromBytes(
        "0\nSECTION\n2\nENTITIES\n"
        "0\nLWPOLYLINE\n8\n0\n90\n4\n70\n0\n10\n0\n20\n0\n10\n420\n20\n"
        "0\n10\n420\n20\n297\n10\n0\n20\n297\n"
        "0\nLWPOLYLINE\n8\n0\n90\n4\n70\n1\n10\n0\n20\n0\n42\n0.5\n10\n"
        "420\n20\n0\n10\n420\n20\n297\n10\n0\n20\n297\n"
        "0\nLWPOLYLINE\n8\n0\n90\n4\n70\n1\n10\n0\n20\n-300\n10\n300\n"
        "20\n0\n10\n0\n20\n300\n10\n-300\n20\n0\n"
        "0\nTEXT\n8\n0\n10\n100\n20\n100\n40\n5\n1\nX\n"
        "0\nENDSEC\n0\nEOF\n",
        "shapes.dxf");
    EXPECT_TRUE(FindAutoFrames(document, {}).candidates.empty());
}

} // namespace
} // namespace kw

namespace kw {
namespace {

// A frame an application draws as an object of its own: found like a block of the sheet, empty
// when its graphics hold its border only; an object of no sheet's size is none.
TEST(AutoFrames, FramesDrawnAsCustomObjectsCountLikeBlocks) {
    using drawing::test::ProxyStream;
    const auto border = [](double x, double y, double w, double h) {
        return std::vector<drawing::Vec3>{{x, y, 0}, {x + w, y, 0}, {x + w, y + h, 0}, {x, y + h, 0}};
    };
    DxfText dxf;
    dxf.Raw(ProxyStream()
                .Polyline(border(0, 0, 42000, 29700), true)
                .Polyline(border(1000, 500, 40500, 28700), true)
                .Text({30000, 1000, 0}, 350, "S-01")
                .ProxyEntityTags("A1", "TK"));
    dxf.Raw(ProxyStream().Polyline(border(50000, 0, 42000, 29700), true).ProxyEntityTags("A2", "TK"));
    dxf.Raw(ProxyStream().Polyline(border(100000, 0, 3333, 240), true).ProxyEntityTags("A3", "WALL"));
    const AutoFrames found = FindAutoFrames(dxf.Load(), {});
    EXPECT_EQ(Described(found),
              (std::vector<std::string>{"Model 0,0 page 1 A3 landscape 1:100", "Model 50000,0 empty",
                                        "Model 100000,0 no standard size"}));
    ASSERT_FALSE(found.candidates.empty());
    EXPECT_EQ(found.candidates[0].description, "ACAD_PROXY_ENTITY on layer TK");
}

} // namespace
} // namespace kw
