#include <gtest/gtest.h>

#include "tests/support/error_number.h"

#include "engine/plot_configuration.h"
#include "tests/support/substitute_cad.h"

namespace kw {
namespace {

using test::CadScript;
using test::SubstituteCad;

struct Layout {
    std::shared_ptr<SubstituteCad> cad;
    std::shared_ptr<CadApplication> application;
    std::shared_ptr<CadLayout> layout;

    Layout() {
        CadScript script;
        script.activeDocument = "D:\\a.dwg";
        cad = std::make_shared<SubstituteCad>(script);
        application = cad->Attach();
        layout = application->ActiveDocument()->ActiveLayout();
        cad->ClearCalls();
    }
};

using test::ErrorNumberOf;

TEST(PrepareLayout, PointsTheLayoutAtPrinterStyleTableAndCanonicalPaper) {
    Layout layout;
    PaperTable papers;
    papers.Store(1, {"A4", "ISO A4"});
    papers.Store(2, {"A3", "ISO A3"});
    papers.Store(3, {"A2-first", "Big"});
    papers.Store(4, {"A1", "ISO A1"});
    papers.Store(5, {"A2-second", "Big"});
    papers.SetPaperCount(5);
    PlotSettings settings;
    settings.printerName = "Office Plotter";
    settings.styleTable = "monochrome.ctb";
    settings.paperName = "Big";
    PrepareLayout(*layout.layout, settings, papers);
    EXPECT_EQ(layout.cad->Calls(), (std::vector<std::string>{"Layout.ConfigName=Office Plotter",
                                                             "Layout.StyleSheet=monochrome.ctb",
                                                             "Layout.CanonicalMediaName=A2-first",
                                                             "Layout.PaperUnits=1"}));
}

TEST(PlotFrame, ConfiguresTheWindowScaleAndOptionsThenPlotsOneJob) {
    Layout layout;
    PlotSettings settings;
    settings.frameLength = "380";
    settings.pointAllowance = "5";
    settings.copies = "3";
    PlotFrame(*layout.layout, *layout.application, {1000, 2000, 39000, 28000}, settings,
              settings.Copies());
    EXPECT_EQ(
        layout.cad->Calls(),
        (std::vector<std::string>{
            "Layout.SetWindowToPlot=500,1500,39500,28500", "Layout.PlotType=4",
            "Layout.PlotRotation=0", "Layout.PlotWithLineweights=true",
            "Layout.PlotWithPlotStyles=true", "Layout.PlotHidden=false",
            "Layout.SetCustomScale=380,38000", "Layout.CenterPlot=false", "Layout.PlotOrigin=5,25",
            "Application.ActiveDocument", "Document.Plot", "Plot.NumberOfCopies=3",
            "Application.ActiveDocument", "Document.Plot", "Plot.PlotToDevice"}));
}

TEST(PlotFrame, CentringLeavesTheOriginAloneAndTheWidthAloneSetsTheScale) {
    Layout layout;
    PlotSettings settings;
    settings.centerPlot = true;
    settings.pointAllowance = "-10";
    settings.hideObjects = true;
    settings.plotStyles = false;
    ConfigureFrame(*layout.layout, {0, 0, 380, 760}, settings);
    EXPECT_EQ(layout.cad->Calls(), (std::vector<std::string>{
                                       "Layout.SetWindowToPlot=10,10,370,750", "Layout.PlotType=4",
                                       "Layout.PlotRotation=0", "Layout.PlotWithLineweights=true",
                                       "Layout.PlotWithPlotStyles=false", "Layout.PlotHidden=true",
                                       "Layout.SetCustomScale=380,380", "Layout.CenterPlot=true"}));
}

TEST(PlotFrame, RotationFollowsOrientationAndReversePlotOnly) {
    EXPECT_EQ(PlotRotation(false, false), 0);
    EXPECT_EQ(PlotRotation(true, false), 1);
    EXPECT_EQ(PlotRotation(false, true), 2);
    EXPECT_EQ(PlotRotation(true, true), 3);
}

TEST(PlotFrame, AZeroFrameLengthStopsBeforeAnythingIsSent) {
    const FrameExtent frame{0, 0, 100, 100};
    EXPECT_EQ(ErrorNumberOf([&] { ComputeFrameWindow(frame, 0.0, 5.0); }), 11);
    EXPECT_EQ(ErrorNumberOf([&] { ComputeFrameWindow(frame, 0.0, 0.0); }), 6);
    EXPECT_EQ(ErrorNumberOf([&] { ComputeFrameWindow(frame, 1e-300, 1e300); }), 6);

    Layout layout;
    PlotSettings settings;
    settings.frameLength = "abc";
    settings.pointAllowance = "2";
    EXPECT_EQ(
        ErrorNumberOf([&] { PlotFrame(*layout.layout, *layout.application, frame, settings, 1); }),
        11);
    EXPECT_TRUE(layout.cad->Calls().empty());
}

TEST(PlotFrame, AZeroWidthFrameGoesToTheCadAsIs) {
    const FrameWindow window = ComputeFrameWindow({5, 5, 5, 9}, 380, 5);
    EXPECT_DOUBLE_EQ(window.marginUnits, 0.0);
    EXPECT_DOUBLE_EQ(window.upperRight.y, 9.0);
    // The scale's denominator is the width, zero included: the CAD decides what that means.
    Layout layout;
    PlotSettings settings;
    settings.pointAllowance = "5";
    PlotFrame(*layout.layout, *layout.application, {5, 5, 5, 9}, settings, 1);
    EXPECT_EQ(layout.cad->CallsStartingWith("Layout.SetCustomScale"),
              (std::vector<std::string>{"Layout.SetCustomScale=380,0"}));
    EXPECT_EQ(layout.cad->CallsStartingWith("Layout.SetWindowToPlot"),
              (std::vector<std::string>{"Layout.SetWindowToPlot=5,5,5,9"}));
}

} // namespace
} // namespace kw
