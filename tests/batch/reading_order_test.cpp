// Reading orders beyond the classic one: rows and columns grouped by overlap, either way.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "batch/reading_order.h"
#include "base/error.h"

namespace kw {
namespace {

FrameExtent Frame(double x, double y, double width, double height) {
    return {x, y, x + width, y + height};
}

// Names the frames of `ordered` by their position in `named`.
std::string Names(const std::vector<FrameExtent>& ordered, const std::vector<FrameExtent>& named) {
    std::string names;
    for (const FrameExtent& frame : ordered) {
        names +=
            static_cast<char>('A' + (std::find(named.begin(), named.end(), frame) - named.begin()));
    }
    return names;
}

// Two staggered rows of mixed sizes: A3 landscape frames beside A4 portrait ones standing on a
// bottom line that wanders a little, and the upper row shifted so that its frames reach into
// the lower row's band.
const std::vector<FrameExtent> kStaggered = {
    Frame(0, 300, 420, 297),   // A: upper row
    Frame(430, 320, 210, 297), // B: upper row, A4, a little higher
    Frame(650, 290, 420, 297), // C: upper row, a little lower
    Frame(0, 0, 420, 297),     // D: lower row
    Frame(440, 10, 210, 297),  // E: lower row, A4
    Frame(660, -15, 420, 297), // F: lower row
};

TEST(ReadingOrder, ClassicIsTheEstablishedRuleExactly) {
    std::vector<FrameExtent> frames = kStaggered;
    std::mt19937 random(7);
    for (int run = 0; run < 10; ++run) {
        std::shuffle(frames.begin(), frames.end(), random);
        for (const bool bottomUp : {false, true}) {
            EXPECT_EQ(OrderFramesBy(frames, {ReadingOrder::Classic, bottomUp, false}),
                      OrderFrames(frames, bottomUp));
            // Until the title block's fields are read, by number is by position.
            EXPECT_EQ(OrderFramesBy(frames, {ReadingOrder::DrawingNumber, bottomUp, false}),
                      OrderFrames(frames, bottomUp));
        }
    }
}

TEST(ReadingOrder, StaggeredRowsOfMixedSizesOrderTheSameWhateverTheDiscoveryOrder) {
    std::vector<FrameExtent> frames = kStaggered;
    std::mt19937 random(11);
    for (int run = 0; run < 10; ++run) {
        std::shuffle(frames.begin(), frames.end(), random);
        EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Rows, false, false}), kStaggered),
                  "ABCDEF");
        EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Rows, true, false}), kStaggered),
                  "DEFABC");
        EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Rows, false, true}), kStaggered),
                  "CBAFED");
        EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Rows, true, true}), kStaggered),
                  "FEDCBA");
        // Right to left asked of the classic order reads the rows by overlap.
        EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Classic, false, true}), kStaggered),
                  "CBAFED");
    }
    // The classic rule splits these rows where a frame's bottom lies above the previous top:
    // the overlap rule is what keeps them whole.
    EXPECT_NE(Names(OrderFrames(kStaggered, false), kStaggered), "ABCDEF");
}

TEST(ReadingOrder, ColumnsGroupByHorizontalOverlapEitherWay) {
    // Two columns: the left one of two A3 frames, the right one of an A3 frame above two A4
    // frames side by side... which overlap the A3 column's extent, and so stand in it.
    const std::vector<FrameExtent> frames = {
        Frame(0, 400, 420, 297),   // A
        Frame(5, 0, 420, 297),     // B
        Frame(500, 420, 420, 297), // C
        Frame(510, 10, 420, 297),  // D
    };
    EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Columns, false, false}), frames), "ABCD");
    EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Columns, true, false}), frames), "BADC");
    EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Columns, false, true}), frames), "CDAB");
    EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Columns, true, true}), frames), "DCBA");
}

TEST(ReadingOrder, ASmallFrameBesideALargeOneJoinsItsRowAndAFrameReachingInDoesNot) {
    const std::vector<FrameExtent> frames = {
        Frame(0, 0, 841, 594),     // A: A1
        Frame(900, 297, 420, 297), // B: A3 beside its upper half
        Frame(900, 0, 420, 297),   // C: A3 beside its lower half
        Frame(0, 560, 420, 297),   // D: a row above, reaching 34 units into A's band
    };
    EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Rows, false, false}), frames), "DABC");
    EXPECT_EQ(Names(OrderFramesBy(frames, {ReadingOrder::Rows, true, false}), frames), "ABCD");
}

// The grouping and the order within a row at their boundaries, each case arranged so that the
// other outcome gives another order.
TEST(ReadingOrder, RowsAtTheirBoundaries) {
    const double justBelowHalf = std::nextafter(50.0, 100.0);
    struct Case {
        const char* what;
        std::vector<FrameExtent> frames;
        const char* order;
    };
    const Case cases[] = {
        // Joining a row takes an overlap of half the lower frame's height, or more.
        {"overlap of exactly half", {Frame(0, 0, 100, 100), Frame(200, 50, 100, 100)}, "AB"},
        {"overlap just under half",
         {Frame(0, 0, 100, 100), Frame(200, justBelowHalf, 100, 100)},
         "BA"},
        // Equal left edges in a row: the upper frame first.
        {"equal left edges", {Frame(0, 0, 100, 100), Frame(0, 40, 100, 100)}, "BA"},
        {"left edge just right",
         {Frame(0, 0, 100, 100), Frame(std::nextafter(0.0, 1.0), 40, 100, 100)},
         "AB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Names(OrderFramesBy(c.frames, {ReadingOrder::Rows, false, false}), c.frames),
                  c.order);
    }
}

TEST(ReadingOrder, NamesAreCheckedWithTheOptionNamed) {
    EXPECT_EQ(ParseReadingOrder("columns"), ReadingOrder::Columns);
    try {
        ParseReadingOrder("diagonal");
        ADD_FAILURE();
    } catch (const Error& failure) {
        EXPECT_EQ(failure.Number(), 5);
        EXPECT_NE(failure.Description().find("--order"), std::string::npos);
    }
    EXPECT_TRUE(OrderFramesBy({}, {ReadingOrder::Rows, false, false}).empty());
}

} // namespace
} // namespace kw
