// The painter's front end read through the recording back end: which drawing calls an entity
// becomes, at which coordinates, in which pen — where pixels are not the point.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "render/canvas.h"
#include "page_support.h"
#include "render/render.h"
#include "test_support.h"

namespace kw::render {
namespace {

using drawing::test::T;
using Kind = RecordingCanvas::Kind;

std::string Line(double x0, double y0, double x1, double y1, const std::string& extra = "") {
    return T(0, "LINE") + T(8, "0") + extra + T(10, x0) + T(20, y0) + T(30, 0.0) + T(11, x1) +
           T(21, y1) + T(31, 0.0);
}

// An XLINE or RAY through (x, y) along (dx, dy).
std::string Construction(const char* type, double x, double y, double dx, double dy) {
    return T(0, type) + T(8, "0") + T(10, x) + T(20, y) + T(30, 0.0) + T(11, dx) + T(21, dy) +
           T(31, 0.0);
}

// The calls for the window (0, 0)-(200, 100) drawn 1:1 in drawing units, on a screen (no device
// millimetres: finest lines) or as a plot at 10 device units per millimetre with lineweights.
// The drawing with the linetype DASHED: dash 10, gap 5.
drawing::Document WithDashes(drawing::Document document) {
    test::AddLinetype(document, "DASHED", {10, -5});
    document.RebuildIndexes();
    return document;
}

std::vector<std::string> Record(drawing::Document document, bool plotting = false) {
    document = WithDashes(std::move(document));
    drawing::Layer off;
    off.name = "OFF";
    off.on = false;
    document.layers.push_back(off);
    document.RebuildIndexes();
    PaintOptions options;
    if (plotting) {
        options.deviceUnitsPerMm = 10;
        options.lineweights = true;
    }
    RecordingCanvas canvas;
    Renderer(document).Draw(canvas, 0, QRectF(0, 0, 200, 100), QTransform(), options, plotting);
    return canvas.Listing();
}

TEST(Canvas, EntitiesBecomeTheirDrawingCalls) {
    const std::string block = T(0, "BLOCK") + T(8, "0") + T(2, "B") + T(70, 0) + T(10, 0.0) +
                              T(20, 0.0) + T(30, 0.0) + T(3, "B") + Line(0, 0, 10, 0, T(62, 0)) +
                              T(0, "ENDBLK") + T(8, "0");
    struct Case {
        const char* what;
        std::string entities;
        bool plotting;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"a dashed line: its dashes where the pattern puts them, the last one cut at the end",
         Line(20, 50, 60, 50, T(6, "DASHED")),
         false,
         {"polyline 20,50 30,50 #000000 w0", "polyline 35,50 45,50 #000000 w0",
          "polyline 50,50 60,50 #000000 w0"}},
        {"a plotted line: its colour, its lineweight in device units",
         Line(0, 10, 100, 10, T(62, 1) + T(370, 50)),
         true,
         {"polyline 0,10 100,10 #ff0000 w5"}},
        {"a block's BYBLOCK content takes the reference's colour, placed and mirrored",
         T(0, "INSERT") + T(8, "0") + T(62, 3) + T(2, "B") + T(10, 100.0) + T(20, 50.0) +
             T(30, 0.0) + T(41, -1.0),
         false,
         {"polyline 100,50 90,50 #00ff00 w0"}},
        {"a layer that is off draws nothing", Line(0, 0, 100, 100, "") + T(0, "LINE") + T(8, "OFF") +
             T(10, 0.0) + T(20, 0.0) + T(30, 0.0) + T(11, 5.0) + T(21, 5.0) + T(31, 0.0),
         false,
         {"polyline 0,0 100,100 #000000 w0"}},
        {"a solid fills its corners in drawing order 1, 2, 4, 3",
         T(0, "SOLID") + T(8, "0") + T(62, 5) + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) +
             T(11, 10.0) + T(21, 0.0) + T(31, 0.0) + T(12, 0.0) + T(22, 10.0) + T(32, 0.0) +
             T(13, 10.0) + T(23, 10.0) + T(33, 0.0),
         false,
         {"fill 0,0 10,0 10,10 0,10 0,0 #0000ff"}},
        {"a point is a dot", T(0, "POINT") + T(8, "0") + T(10, 7.0) + T(20, 8.0) + T(30, 0.0),
         false,
         {"points 7,8 #000000 w0"}},
        {"construction lines cross the window, wherever their base point lies",
         Construction("XLINE", 1000, 50, 1, 0) + Construction("XLINE", 0, 0, 0.6, 0.8) +
             Construction("RAY", 50, 20, 0, 1) + Construction("RAY", 300, 60, -1, 0) +
             Construction("RAY", 300, 70, 1, 0),
         false,
         {"polyline 0,50 200,50 #000000 w0", "polyline 0,0 75,100 #000000 w0",
          "polyline 50,20 50,100 #000000 w0", "polyline 200,60 0,60 #000000 w0"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Record(drawing::test::FromTags(c.entities, block), c.plotting), c.calls)
            << c.what;
}

TEST(Canvas, TextIsARunOfCharactersAtItsInsertionAndHatchLinesAreClippedToTheirArea) {
    RecordingCanvas canvas;
    const auto document = drawing::test::FromTags(
        T(0, "TEXT") + T(8, "0") + T(10, 10.0) + T(20, 20.0) + T(30, 0.0) + T(40, 2.5) +
        T(1, "AB") + T(0, "HATCH") + T(8, "0") + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) +
        T(2, "ANSI31") + T(70, 0) + T(71, 0) + T(91, 1) + T(92, 1) + T(93, 4) + T(72, 1) +
        T(10, 50.0) + T(20, 50.0) + T(11, 60.0) + T(21, 50.0) + T(72, 1) + T(10, 60.0) +
        T(20, 50.0) + T(11, 60.0) + T(21, 60.0) + T(72, 1) + T(10, 60.0) + T(20, 60.0) +
        T(11, 50.0) + T(21, 60.0) + T(72, 1) + T(10, 50.0) + T(20, 60.0) + T(11, 50.0) +
        T(21, 50.0) + T(97, 0) + T(75, 0) + T(76, 1) + T(52, 0.0) + T(41, 1.0) + T(77, 0) +
        T(78, 1) + T(53, 45.0) + T(43, 0.0) + T(44, 0.0) + T(45, -2.0) + T(46, 2.0) + T(79, 0));
    Renderer(document).Draw(canvas, 0, QRectF(0, 0, 200, 100), QTransform(), PaintOptions());

    const auto texts = canvas.Of(Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, QStringLiteral("AB"));
    EXPECT_FALSE(texts[0].searchOnly);
    const QPointF origin = texts[0].transform.map(QPointF(0, 0));
    EXPECT_NEAR(origin.x(), 10, 1e-9);
    EXPECT_NEAR(origin.y(), 20, 1e-9);

    // The pattern's lines come between a clip to the boundary and its end.
    const auto& calls = canvas.Calls();
    const auto clip = std::find_if(calls.begin(), calls.end(),
                                   [](const auto& call) { return call.kind == Kind::Clip; });
    ASSERT_NE(clip, calls.end());
    EXPECT_EQ(clip->shapes.front().boundingRect(), QRectF(50, 50, 10, 10));
    const auto lines = canvas.Of(Kind::Lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].depth, 1);
    EXPECT_GE(lines[0].shapes.size(), 4u); // lines 2.8 apart at 45° across a 10 × 10 square
    for (const QPolygonF& line : lines[0].shapes) {
        const QPointF d = line[1] - line[0];
        EXPECT_NEAR(std::fabs(d.x()), std::fabs(d.y()), 1e-6); // at 45°
    }
}

// The painter's back end draws what the recorder records: the same calls onto a picture leave
// ink exactly where the recorded dashes lie.
TEST(Canvas, ThePainterBackEndInksWhatTheRecorderRecords) {
    const drawing::Document withLinetype =
        WithDashes(drawing::test::FromTags(Line(20, 50.5, 60, 50.5, T(6, "DASHED"))));
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        Renderer(withLinetype)
            .PaintWindow(painter, 0, QRectF(0, 0, 200, 100), QTransform(), PaintOptions());
    }
    for (const int period : {20, 35, 50}) {
        EXPECT_NE(image.pixelColor(period + 5, 50), QColor(Qt::white)) << period;
        if (period + 12 < 60) {
            EXPECT_EQ(image.pixelColor(period + 12, 50), QColor(Qt::white)) << period;
        }
    }
}

} // namespace
} // namespace kw::render
