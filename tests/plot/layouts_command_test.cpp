// Frames of every layout: --layouts and --whole-layouts over a drawing with frames in model
// space and in one paper layout, and a paper layout without frames; the pages' numbers and
// layouts in the run log, their paper, and what a paper layout's page shows.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "batch/run_log.h"
#include "tests/builtin/command_runner.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

namespace fs = std::filesystem;
using test::Quoted;
using test::RunShell;

// A greyscale crop of a PDF page: whether any pixel of it is ink.
bool InkAround(const fs::path& pdf, double xMm, double yMmFromTop, double halfMm) {
    constexpr int kPixelsPerMm = 4;
    const fs::path stem = pdf.parent_path() / "crop";
    std::ostringstream command;
    command << "pdftoppm -gray -singlefile -r " << kPixelsPerMm * 25.4 << " -x "
            << std::lround((xMm - halfMm) * kPixelsPerMm) << " -y "
            << std::lround((yMmFromTop - halfMm) * kPixelsPerMm) << " -W "
            << std::lround(2 * halfMm * kPixelsPerMm) << " -H "
            << std::lround(2 * halfMm * kPixelsPerMm) << " " << Quoted(pdf) << " " << Quoted(stem);
    EXPECT_EQ(RunShell(command.str()).status, 0) << command.str();
    std::ifstream in(stem.string() + ".pgm", std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    std::string pixels(static_cast<std::size_t>(width) * height, '\xff');
    in.read(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    EXPECT_EQ(magic, "P5");
    for (const char pixel : pixels) {
        if (static_cast<unsigned char>(pixel) < 128) {
            return true;
        }
    }
    return false;
}

// The first page's size in whole millimetres, as pdfinfo reports it.
std::string PageSizeMm(const fs::path& pdf) {
    const auto info = RunShell("pdfinfo " + Quoted(pdf));
    const auto at = info.out.find("Page size:");
    double w = 0, h = 0;
    std::istringstream(info.out.substr(at + 10)) >> w;
    std::istringstream(info.out.substr(info.out.find('x', at) + 1)) >> h;
    return std::to_string(std::lround(w / 72 * 25.4)) + "x" +
           std::to_string(std::lround(h / 72 * 25.4));
}

// "page layout status paper-size" per record; page 0 as "0 status".
std::string Summary(const std::vector<PageRecord>& records) {
    std::string text;
    for (const PageRecord& record : records) {
        text += (text.empty() ? "" : "; ") + std::to_string(record.page);
        if (!record.layout.empty()) {
            text += " " + record.layout;
        }
        text += std::string(" ") + StatusName(record.status);
        if (!record.outputFile.empty()) {
            text += " " + PageSizeMm(record.outputFile);
        }
    }
    return text;
}

class PlotLayouts : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(At("settings"));
        fs::copy_file(fs::path(KW_DRAWING_TESTDATA) / "frames" / "layouts_r2013.dxf",
                      At("layouts.dxf"));
    }

    fs::path At(const std::string& name) const { return fs::path(m_folder.Path()) / name; }

    // Plots the drawing with the options into a folder of its own; the log's records.
    std::vector<PageRecord> Plot(const std::string& name, const std::string& options,
                                 int expectedStatus, std::string* err) {
        const auto run =
            test::RunCommand("--length 380 --allowance 0 --center -j 1 " + options + " --output " +
                                 Quoted(At(name)) + " --log " + Quoted(At(name + ".jsonl")) + " " +
                                 Quoted(At("layouts.dxf")),
                             err, At("settings").string());
        EXPECT_EQ(run.status, expectedStatus) << name << ": " << *err;
        return ReadRunLog(At(name + ".jsonl").string());
    }

    test::TempFolder m_folder;
};

// Pages are numbered on across the layouts in tab order (model space's two frames, Layout1's
// one, Layout2 plotted whole), whichever layouts a run chooses; a frame of a paper layout goes on
// the panel's A3 paper, a whole layout on its own page setup's A2.
TEST_F(PlotLayouts, PagesKeepTheirNumbersAndLayoutsWhicheverLayoutsAreChosen) {
    const struct {
        std::string name;
        std::string options;
        int status;
        std::string pages;
    } cases[] = {
        // The current layout (model space), and a page left because it lies in Layout1.
        {"current", "--kind auto", 1, "1 plotted 420x297; 2 plotted 420x297; 3 Layout1 skipped"},
        {"all", "--kind polyline --layer 图框 --layouts all", 0,
         "1 plotted 420x297; 2 plotted 420x297; 3 Layout1 plotted 420x297"},
        {"model", "--kind polyline --layer 图框 --layouts model", 0,
         "1 plotted 420x297; 2 plotted 420x297"},
        {"layout1", "--kind polyline --layer 图框 --layouts layout1", 0,
         "3 Layout1 plotted 420x297"},
        {"layout2", "--kind polyline --layer 图框 --layouts Layout2 --whole-layouts", 0,
         "4 Layout2 plotted 594x420"},
        {"whole", "--kind auto --layouts all --whole-layouts", 0,
         "1 plotted 420x297; 2 plotted 420x297; 3 Layout1 plotted 420x297; "
         "4 Layout2 plotted 594x420"},
        // Layout2 has no frames: without --whole-layouts the drawing has none to plot.
        {"none", "--kind polyline --layer 图框 --layouts Layout2", 0, "0 no-frames"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(Summary(Plot(c.name, c.options, c.status, &err)), c.pages) << c.name;
        if (c.name == "current") {
            EXPECT_NE(err.find(At("layouts.dxf").string() +
                               ": 布局 Layout1，第 3 页，图框 0 0 297 210: a frame of the layout "
                               "Layout1, which is not the drawing's current layout (Model)"),
                      std::string::npos)
                << err;
        }
        if (c.name == "all" || c.name == "none") {
            EXPECT_NE(err.find("the layout Layout2 has no frames"), std::string::npos) << err;
        }
    }
    std::string err;
    EXPECT_EQ(Summary(Plot("unknown", "--kind auto --layouts Model,Nowhere", 0, &err)),
              "1 plotted 420x297; 2 plotted 420x297");
    EXPECT_NE(err.find("the drawing has no layout Nowhere"), std::string::npos) << err;
}

// A paper layout's page is painted from paper space: its frame and, through the viewport, the
// model's circle at the viewport's scale (a window of model space there would be blank); the
// whole layout at 1:1 on its paper. A resume plots the page again from its layout.
TEST_F(PlotLayouts, APaperLayoutsPagesShowItsViewportsAndAResumeRedoesThemFromTheirLayout) {
    std::string err;
    const auto records =
        Plot("all", "--kind polyline --layer 图框 --layouts all --whole-layouts", 0, &err);
    ASSERT_EQ(records.size(), 4u) << err;
    // Layout1: the frame 297 wide on 380 mm, centred on A3. The viewport shows 297 model units
    // in its 190 paper units, centred on the circle of radius 100 (64 paper units, 81.9 mm).
    const fs::path layout1 = records[2].outputFile;
    const double mmPerUnit = 380.0 / 297.0;
    const double radiusMm = 100.0 * 190.0 / 297.0 * mmPerUnit;
    EXPECT_TRUE(InkAround(layout1, 210 - radiusMm, 148.5, 1.5));
    EXPECT_TRUE(InkAround(layout1, 210 + radiusMm, 148.5, 1.5));
    EXPECT_FALSE(InkAround(layout1, 210, 148.5, 3));
    EXPECT_TRUE(InkAround(layout1, 20 + 10 * mmPerUnit, 148.5, 1.5)); // the viewport's side
    // Layout2 at 1:1 on A2: its line 20..400 at paper y 10, and nothing in the page's corner.
    const fs::path layout2 = records[3].outputFile;
    EXPECT_TRUE(InkAround(layout2, 210, 420 - 10, 1.5));
    EXPECT_FALSE(InkAround(layout2, 580, 410, 5));

    // The page of Layout1 lost: a resume plots it alone, from Layout1 again.
    fs::remove(layout1);
    const auto resumed = test::RunCommand(
        "--length 380 --allowance 0 --center -j 1 --kind polyline --layer 图框 --layouts all "
        "--whole-layouts --output " +
            Quoted(At("all")) + " --resume " + Quoted(At("all.jsonl")) + " --log " +
            Quoted(At("resumed.jsonl")),
        &err, At("settings").string());
    EXPECT_EQ(resumed.status, 0) << err;
    const auto again = ReadRunLog(At("resumed.jsonl").string());
    EXPECT_EQ(Summary(again), "1 plotted 420x297; 2 plotted 420x297; 3 Layout1 plotted 420x297; "
                              "4 Layout2 plotted 594x420");
    ASSERT_EQ(again.size(), 4u);
    EXPECT_TRUE(fs::exists(again[2].outputFile));
    EXPECT_TRUE(InkAround(again[2].outputFile, 210 + radiusMm, 148.5, 1.5));
}

} // namespace
} // namespace kw
