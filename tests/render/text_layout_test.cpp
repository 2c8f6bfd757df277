// Multiline text in columns and frames: pages painted into images.

#include <gtest/gtest.h>

#include "drawing/dxf_io.h"
#include "page_support.h"
#include "render/text_content.h"
#include "test_support.h"

namespace kw::render {
namespace {

using drawing::test::FromTags;
using drawing::test::T;
using test::PageInk;
using test::PlotPage;

// An MTEXT 2.5 high with its top-left corner at (x, y), wrapped at `width`.
std::string MText(double x, double y, double width, const std::string& text,
                  const std::string& extra = "") {
    return T(0, "MTEXT") + T(5, "2D") + T(8, "0") + T(100, "AcDbMText") + T(10, x) + T(20, y) +
           T(30, 0.0) + T(40, 2.5) + T(41, width) + T(71, 1) + T(1, text) + extra;
}

// Columns as the host writes them in release 2018: `type` 1 static, 2 dynamic; each column
// 40 wide with a gutter of 10, `height` high.
std::string Columns(int type, int count, double height, bool autoHeight = false) {
    return T(101, "Embedded Object") + T(70, 1) + T(10, 1.0) + T(20, 0.0) + T(30, 0.0) +
           T(11, 0.0) + T(21, 0.0) + T(31, 0.0) + T(40, 40.0) + T(41, height) + T(71, type) +
           T(72, count) + T(44, 40.0) + T(45, 10.0) + T(73, autoHeight ? 1 : 0) + T(74, 0);
}

std::string Paragraphs(int count) {
    std::string text = "HHHH";
    for (int i = 1; i < count; ++i)
        text += "\\PHHHH";
    return text;
}

TEST(MTextColumns, TextFlowsIntoTheNextColumnAtItsHeightOrAColumnBreak) {
    // Top left at (20, 90): column 1 spans x 20..60, the gutter 60..70, column 2 70..110.
    const QImage broken = PlotPage(FromTags(MText(20, 90, 40, "HHHH\\NHHHH", Columns(1, 2, 30.0))));
    EXPECT_GT(PageInk(broken, 20, 85, 35, 90), 50);
    EXPECT_GT(PageInk(broken, 70, 85, 85, 90), 50); // column 2 starts at x + width + gutter
    EXPECT_EQ(PageInk(broken, 60.5, 50, 69.5, 95), 0);
    EXPECT_EQ(PageInk(broken, 20, 50, 60, 84), 0); // the break left column 1 after one line

    // Twelve lines 2.5 high, 5/3 of that apart, flow at a height of 20: five lines fit
    // (2.5 + 4 × 4.17 = 19.2), the sixth goes on top of column 2, the rest below it.
    const QImage flowing =
        PlotPage(FromTags(MText(20, 90, 40, Paragraphs(12), Columns(2, 0, 20.0, true))));
    EXPECT_GT(PageInk(flowing, 20, 71, 35, 73), 20); // line 5 at 90 - 19.2
    EXPECT_EQ(PageInk(flowing, 20, 50, 60, 69.5), 0);
    EXPECT_GT(PageInk(flowing, 70, 87.5, 85, 90), 20);   // line 6
    EXPECT_GT(PageInk(flowing, 120, 87.5, 135, 90), 20); // and line 11 in column 3
    EXPECT_EQ(PageInk(flowing, 110.5, 50, 119.5, 95), 0);

    // Static columns stop at their count: what does not fit stays in the last one.
    const QImage overflowing =
        PlotPage(FromTags(MText(20, 90, 40, Paragraphs(12), Columns(1, 2, 20.0))));
    EXPECT_GT(PageInk(overflowing, 70, 40, 85, 69.5), 20);
    EXPECT_EQ(PageInk(overflowing, 110.5, 40, 180, 95), 0);
}

TEST(MTextFrames, AFrameSurroundsTheTextOrEachColumn) {
    // "HHHH" 2.5 high in a box 40 wide from (20, 90): the box reaches down to 87.5, the frame
    // half a height (1.25) around it, at x 18.75 and 61.25, y 91.25 and 86.25.
    const QImage page = PlotPage(FromTags(MText(20, 90, 40, "HHHH", T(90, 16))));
    EXPECT_GT(PageInk(page, 18.5, 87, 19, 90), 10);    // left
    EXPECT_GT(PageInk(page, 61, 87, 61.5, 90), 10);    // right
    EXPECT_GT(PageInk(page, 30, 91, 50, 91.5), 10);    // top
    EXPECT_GT(PageInk(page, 30, 86, 50, 86.5), 10);    // bottom
    EXPECT_EQ(PageInk(page, 40, 86.7, 60.7, 87.3), 0); // inside, right of the text
    EXPECT_EQ(PageInk(page, 62, 80, 100, 95), 0);
    // Without the flag no frame.
    const QImage plain = PlotPage(FromTags(MText(20, 90, 40, "HHHH")));
    EXPECT_EQ(PageInk(plain, 18.5, 87, 19, 90), 0);

    // In columns, one frame per column, each as high as the column.
    const QImage columns =
        PlotPage(FromTags(MText(20, 90, 40, "HHHH\\NHHHH", T(90, 16) + Columns(1, 2, 30.0))));
    for (const double x : {18.75, 61.25, 68.75, 111.25})
        EXPECT_GT(PageInk(columns, x - 0.25, 70, x + 0.25, 80), 10) << x;
    EXPECT_GT(PageInk(columns, 30, 58.5, 50, 59), 10); // column 1's bottom at 90 - 30 - 1.25
    EXPECT_EQ(PageInk(columns, 63, 70, 67, 80), 0);    // nothing in the gutter
}

TEST(MTextParagraphs, AParagraphsAlignmentPlacesItsLinesInTheBox) {
    // Box 20..60: a centred "HH" (two 2.5 high letters, about 3.5 wide) stands around x = 40, a
    // right-aligned one ends at 60, the next paragraph keeps the right alignment.
    const QImage page = PlotPage(FromTags(MText(20, 90, 40, "\\pxqc;HH\\P\\pxqr;HH\\PHH")));
    EXPECT_GT(PageInk(page, 37, 87.5, 43, 90), 20);
    EXPECT_EQ(PageInk(page, 20, 87.5, 35, 90), 0);
    EXPECT_GT(PageInk(page, 55, 83.3, 60, 85.8), 20);
    EXPECT_EQ(PageInk(page, 20, 83.3, 50, 85.8), 0);
    EXPECT_GT(PageInk(page, 55, 79.1, 60, 81.6), 20);
    EXPECT_EQ(PageInk(page, 20, 79.1, 50, 81.6), 0);
}

TEST(TextContent, NumericCodesEndWithTheirNumberAndColumnBreaksOpenAParagraph) {
    // Writers leave the ';' out: the code ends where its number does.
    const auto paragraphs = ParseMText("tempor {\\C1invidunt}\\H2.5xbig\\Nnext");
    ASSERT_EQ(paragraphs.size(), 2u);
    ASSERT_EQ(paragraphs[0].size(), 3u);
    EXPECT_EQ(paragraphs[0][1].text, "invidunt");
    EXPECT_EQ(paragraphs[0][1].format.aci, 1);
    EXPECT_EQ(paragraphs[0][2].text, "big");
    EXPECT_EQ(paragraphs[0][2].format.heightFactor, 2.5);
    EXPECT_FALSE(paragraphs[0][0].columnBreak);
    ASSERT_EQ(paragraphs[1].size(), 1u);
    EXPECT_TRUE(paragraphs[1][0].columnBreak);
    EXPECT_EQ(paragraphs[1][0].text, "next");

    const auto aligned = ParseMText("\\pi1,qj;a\\P\\pxqc;b\\Pc{\\pql;d}e");
    ASSERT_EQ(aligned.size(), 3u);
    EXPECT_EQ(aligned[0][0].format.paragraphAlign, 'j');
    EXPECT_EQ(aligned[1][0].format.paragraphAlign, 'c');
    EXPECT_EQ(aligned[2][0].format.paragraphAlign, 'c'); // until changed
    EXPECT_EQ(aligned[2][1].format.paragraphAlign, 'l');
    EXPECT_EQ(aligned[2][2].format.paragraphAlign, 'c');
}

} // namespace
} // namespace kw::render
