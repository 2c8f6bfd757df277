// Where a frame lands on the plotted page, measured on the page itself: kestrelwick-plot writes
// the PDF, pdftoppm rasterises it at 10 pixels per millimetre, and the frame's strokes are found
// in the pixels.
//
// The drawing: a frame 1000 x 600 units on layer FRAME (lineweight 2.00 mm) and a filled marker
// square inside its lower-left corner, so that a rotation shows which way it turned. With
// --length 380 --allowance 5 the scale is 0.38 mm per unit: the frame is 380 x 228 mm on paper
// and the window reaches 5 mm beyond it on every side (5 * 1000 / 380 units).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

#include "tests/builtin/command_runner.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kw::test::Quoted;
using kw::test::RunCommand;
using kw::test::RunShell;

constexpr int kPixelsPerMm = 10; // pdftoppm at 254 dpi
constexpr double kToleranceMm = 0.5;
constexpr double kFrameWidthMm = 380.0;
constexpr double kFrameHeightMm = 228.0;
constexpr double kAllowanceMm = 5.0;
constexpr double kMarkerMiddleMm = 50 * 0.38; // from two sides of the frame's corner

std::string Tag(int code, const std::string& value) {
    return std::to_string(code) + "\n" + value + "\n";
}

std::string FrameDrawing() {
    std::string dxf = Tag(0, "SECTION") + Tag(2, "HEADER") + Tag(9, "$ACADVER") + Tag(1, "AC1015") +
                      Tag(0, "ENDSEC");
    dxf += Tag(0, "SECTION") + Tag(2, "TABLES") + Tag(0, "TABLE") + Tag(2, "LAYER") + Tag(70, "2");
    for (const char* layer : {"0", "FRAME"}) {
        dxf += Tag(0, "LAYER") + Tag(2, layer) + Tag(70, "0") + Tag(62, "7") +
               Tag(6, "CONTINUOUS") + Tag(370, "-3");
    }
    dxf += Tag(0, "ENDTAB") + Tag(0, "ENDSEC");
    dxf += Tag(0, "SECTION") + Tag(2, "ENTITIES");
    dxf += Tag(0, "LWPOLYLINE") + Tag(8, "FRAME") + Tag(370, "200") + Tag(90, "4") + Tag(70, "1");
    for (const auto& [x, y] : {std::pair{"0", "0"}, {"1000", "0"}, {"1000", "600"}, {"0", "600"}}) {
        dxf += Tag(10, x) + Tag(20, y);
    }
    // SOLID corners go 1, 2, 4, 3 round the square.
    dxf += Tag(0, "SOLID") + Tag(8, "0") + Tag(10, "30") + Tag(20, "30") + Tag(11, "70") +
           Tag(21, "30") + Tag(12, "30") + Tag(22, "70") + Tag(13, "70") + Tag(23, "70");
    dxf += Tag(0, "ENDSEC") + Tag(0, "EOF");
    return dxf;
}

// A greyscale page, y down from the sheet's top edge.
struct Raster {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;

    bool Ink(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height &&
               pixels[static_cast<std::size_t>(y) * width + x] < 128;
    }
};

std::optional<Raster> Rasterise(const fs::path& pdf) {
    const fs::path stem = pdf.parent_path() / "page";
    const auto result =
        RunShell("pdftoppm -r 254 -gray -singlefile " + Quoted(pdf) + " " + Quoted(stem));
    std::ifstream in(stem.string() + ".pgm", std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Raster raster;
    if (result.status != 0 || !(in >> magic >> raster.width >> raster.height >> maxValue) ||
        magic != "P5" || maxValue != 255) {
        return std::nullopt;
    }
    in.get();
    raster.pixels.resize(static_cast<std::size_t>(raster.width) * raster.height);
    in.read(reinterpret_cast<char*>(raster.pixels.data()),
            static_cast<std::streamsize>(raster.pixels.size()));
    return raster;
}

// One stroke crossed by a scan line: its middle and its width, millimetres.
struct Stroke {
    double middleMm = 0.0;
    double widthMm = 0.0;
};

// The first and last strokes met along a row (horizontal) or column.
std::optional<std::pair<Stroke, Stroke>> OuterStrokes(const Raster& page, bool horizontal, int at) {
    const int length = horizontal ? page.width : page.height;
    auto ink = [&](int i) { return horizontal ? page.Ink(i, at) : page.Ink(at, i); };
    auto stroke = [&](int start, int step) -> std::optional<Stroke> {
        int i = start;
        while (i >= 0 && i < length && !ink(i)) {
            i += step;
        }
        if (i < 0 || i >= length) {
            return std::nullopt;
        }
        int j = i;
        while (j + step >= 0 && j + step < length && ink(j + step)) {
            j += step;
        }
        const double first = std::min(i, j);
        const double last = std::max(i, j) + 1;
        return Stroke{(first + last) / 2.0 / kPixelsPerMm, (last - first) / kPixelsPerMm};
    };
    const auto first = stroke(0, 1);
    const auto last = stroke(length - 1, -1);
    if (!first || !last) {
        return std::nullopt;
    }
    return std::pair{*first, *last};
}

// The frame as plotted, millimetres from the sheet's lower-left corner (y up) to the middle of
// its strokes.
struct FrameOnPaper {
    double left = 0.0;
    double right = 0.0;
    double bottom = 0.0;
    double top = 0.0;
    double strokeMm = 0.0;
    double sheetWidthMm = 0.0;
    double sheetHeightMm = 0.0;
};

struct Plotted {
    Raster raster;
    FrameOnPaper frame;

    // Whether there is ink at a point, millimetres from the sheet's lower-left corner.
    bool InkAt(double xMm, double yMm) const {
        return raster.Ink(static_cast<int>(xMm * kPixelsPerMm),
                          static_cast<int>((frame.sheetHeightMm - yMm) * kPixelsPerMm));
    }
};

// Plots the frame drawing with the options and measures the one page.
std::optional<Plotted> PlotAndMeasure(const std::string& options) {
    kw::test::TempFolder folder;
    folder.Write("frame.dxf", FrameDrawing());
    std::string err;
    const auto run = RunCommand("--kind polyline --layer FRAME --length 380 --allowance 5 " +
                                    options + " --output " + Quoted(folder.Path()) + " " +
                                    Quoted(folder.File("frame.dxf")),
                                &err, folder.Path());
    if (run.status != 0) {
        ADD_FAILURE() << options << "\n" << run.out << err;
        return std::nullopt;
    }
    auto raster = Rasterise(folder.File("frame-001.pdf"));
    if (!raster) {
        ADD_FAILURE() << options << ": no page to measure";
        return std::nullopt;
    }
    Plotted plotted{std::move(*raster), {}};
    const Raster& page = plotted.raster;
    FrameOnPaper& frame = plotted.frame;
    frame.sheetWidthMm = static_cast<double>(page.width) / kPixelsPerMm;
    frame.sheetHeightMm = static_cast<double>(page.height) / kPixelsPerMm;

    // Scan through the middle of the inked area both ways.
    int minX = page.width, maxX = -1, minY = page.height, maxY = -1;
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) {
            if (page.Ink(x, y)) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    }
    if (maxX < 0) {
        ADD_FAILURE() << options << ": the page is blank";
        return std::nullopt;
    }
    const auto across = OuterStrokes(page, true, (minY + maxY) / 2);
    const auto down = OuterStrokes(page, false, (minX + maxX) / 2);
    if (!across || !down) {
        ADD_FAILURE() << options << ": no frame strokes";
        return std::nullopt;
    }
    frame.left = across->first.middleMm;
    frame.right = across->second.middleMm;
    frame.top = frame.sheetHeightMm - down->first.middleMm;
    frame.bottom = frame.sheetHeightMm - down->second.middleMm;
    frame.strokeMm = across->first.widthMm;
    return plotted;
}

// Which inner corner of the frame's box holds the marker: "lower-left", "lower-right", ...
std::string MarkerCorner(const Plotted& plotted) {
    const FrameOnPaper& frame = plotted.frame;
    const double inset = kMarkerMiddleMm;
    std::string found;
    for (const auto& [name, x, y] :
         {std::tuple{"lower-left", frame.left + inset, frame.bottom + inset},
          std::tuple{"lower-right", frame.right - inset, frame.bottom + inset},
          std::tuple{"upper-left", frame.left + inset, frame.top - inset},
          std::tuple{"upper-right", frame.right - inset, frame.top - inset}}) {
        if (plotted.InkAt(x, y)) {
            found += found.empty() ? name : std::string(" and ") + name;
        }
    }
    return found.empty() ? "none" : found;
}

void ExpectFrameAt(const FrameOnPaper& frame, double left, double bottom, double width,
                   double height, const std::string& what) {
    EXPECT_NEAR(frame.left, left, kToleranceMm) << what;
    EXPECT_NEAR(frame.bottom, bottom, kToleranceMm) << what;
    EXPECT_NEAR(frame.right - frame.left, width, kToleranceMm) << what;
    EXPECT_NEAR(frame.top - frame.bottom, height, kToleranceMm) << what;
}

TEST(PlotGeometry, TheFrameIsItsStandardLengthOnPaperAndTheAllowanceInsideTheWindow) {
    // The window's lower-left corner at the plot origin, the frame 5 mm inside it.
    const auto offset = PlotAndMeasure("--offset 10,20");
    ASSERT_TRUE(offset);
    EXPECT_NEAR(offset->frame.sheetWidthMm, 420.0, kToleranceMm);
    EXPECT_NEAR(offset->frame.sheetHeightMm, 297.0, kToleranceMm);
    ExpectFrameAt(offset->frame, 10 + kAllowanceMm, 20 + kAllowanceMm, kFrameWidthMm,
                  kFrameHeightMm, "offset 10,20");
    EXPECT_EQ(MarkerCorner(*offset), "lower-left");

    // A negative allowance cuts into the frame: the window starts 5 mm inside it, so the
    // frame's own strokes lie outside the window and are clipped away, all four.
    const auto clipped = PlotAndMeasure("--offset 10,20 --allowance -5");
    ASSERT_TRUE(clipped);
    EXPECT_FALSE(clipped->InkAt(10 - 5, 20 + 100)) << "left stroke outside the window";
    EXPECT_TRUE(clipped->InkAt(10 - 5 + kMarkerMiddleMm, 20 - 5 + kMarkerMiddleMm))
        << "the marker inside the window";

    const auto centred = PlotAndMeasure("--center");
    ASSERT_TRUE(centred);
    const FrameOnPaper& c = centred->frame;
    EXPECT_NEAR((c.left + c.right) / 2, 420.0 / 2, kToleranceMm);
    EXPECT_NEAR((c.bottom + c.top) / 2, 297.0 / 2, kToleranceMm);
    EXPECT_NEAR(c.right - c.left, kFrameWidthMm, kToleranceMm);
}

// Rotation 1 turns the plot 90 degrees counterclockwise on the sheet, 2 upside down, 3 90
// degrees clockwise (the LAYOUT object's code 73); the rotated window's lower-left corner lies
// at the plot origin. Portrait rotations go on a portrait sheet, where the turned frame fits.
TEST(PlotGeometry, RotationsTurnThePlotAndTheOriginStaysAtTheLowerLeft) {
    const std::string portraitSheet = "--paper 'ISO_A3_(297.00_x_420.00_MM)' ";
    struct Case {
        std::string options;
        bool turned; // the frame's width runs up the sheet
        const char* marker;
    };
    const Case cases[] = {
        {"--offset 10,20", false, "lower-left"},
        {portraitSheet + "--portrait --offset 10,20", true, "lower-right"},
        {"--reverse --offset 10,20", false, "upper-right"},
        {portraitSheet + "--portrait --reverse --offset 10,20", true, "upper-left"},
    };
    for (const Case& c : cases) {
        const auto plotted = PlotAndMeasure(c.options);
        ASSERT_TRUE(plotted) << c.options;
        const double width = c.turned ? kFrameHeightMm : kFrameWidthMm;
        const double height = c.turned ? kFrameWidthMm : kFrameHeightMm;
        ExpectFrameAt(plotted->frame, 10 + kAllowanceMm, 20 + kAllowanceMm, width, height,
                      c.options);
        EXPECT_EQ(MarkerCorner(*plotted), c.marker) << c.options;
    }
}

TEST(PlotGeometry, LineweightsAreMillimetresOnPaperWhateverTheScale) {
    const auto standard = PlotAndMeasure("--center");
    const auto halfScale = PlotAndMeasure("--center --length 190");
    const auto without = PlotAndMeasure("--center --no-lineweights");
    ASSERT_TRUE(standard && halfScale && without);
    EXPECT_NEAR(standard->frame.strokeMm, 2.0, 0.3);
    EXPECT_NEAR(halfScale->frame.strokeMm, 2.0, 0.3);
    EXPECT_NEAR(halfScale->frame.right - halfScale->frame.left, 190.0, kToleranceMm);
    EXPECT_LT(without->frame.strokeMm, 0.5);
}

} // namespace
