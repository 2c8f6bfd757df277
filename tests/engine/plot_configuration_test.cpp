#include <gtest/gtest.h>

#include "tests/support/error_number.h"

#include "engine/plot_configuration.h"
#include "engine/plot_loop.h"
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

// Keeps every page's outcome; stops the drawing at a failure when asked to.
struct KeptPages : PageListener {
    bool stopAtFailure = true;
    std::vector<PageOutcome> outcomes;
    std::vector<int> started;

    void PageStarting(const PlannedPage& page, int) override { started.push_back(page.page); }
    bool PageEnded(const PageOutcome& outcome) override {
        outcomes.push_back(outcome);
        return !(stopAtFailure && outcome.result == PageOutcome::Result::Failed);
    }
};

// One frame through the plot loop, its failure thrown again as the error it was.
void PlotFrame(Layout& layout, const FrameExtent& frame, const PlotSettings& settings,
               std::int16_t copies) {
    PlotLoop loop(settings, PaperTable(), copies);
    KeptPages pages;
    loop.PlotPages(*layout.application, *layout.layout, {{1, frame, {}}}, pages);
    const PageOutcome& outcome = pages.outcomes.at(0);
    if (outcome.result == PageOutcome::Result::Failed) {
        throw Error(outcome.failure.number, outcome.failure.description);
    }
}

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
    PlotFrame(layout, {1000, 2000, 39000, 28000}, settings, settings.Copies());
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
    EXPECT_EQ(ErrorNumberOf([&] { PlotFrame(layout, frame, settings, 1); }), 11);
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
    PlotFrame(layout, {5, 5, 5, 9}, settings, 1);
    EXPECT_EQ(layout.cad->CallsStartingWith("Layout.SetCustomScale"),
              (std::vector<std::string>{"Layout.SetCustomScale=380,0"}));
    EXPECT_EQ(layout.cad->CallsStartingWith("Layout.SetWindowToPlot"),
              (std::vector<std::string>{"Layout.SetWindowToPlot=5,5,5,9"}));
}

TEST(PlotLoop, PagesNotPlottedAreSkippedAndAFailureEndsTheDrawingOnlyWhenTheListenerSaysSo) {
    for (const bool stopAtFailure : {true, false}) {
        SCOPED_TRACE(stopAtFailure);
        CadScript script;
        script.activeDocument = "D:\\a.dwg";
        script.failures["Plot.PlotToDevice"] = {-2145320861, "device gone", 2};
        auto cad = std::make_shared<SubstituteCad>(script);
        auto application = cad->Attach();
        auto layout = application->ActiveDocument()->ActiveLayout();
        PlotSettings settings;
        PlotLoop loop(settings, PaperTable(), 1);
        KeptPages pages;
        pages.stopAtFailure = stopAtFailure;
        const std::vector<PlannedPage> planned{{1, {0, 0, 420, 297}, {}},
                                               {2, {500, 0, 920, 297}, "another layout"},
                                               {3, {1000, 0, 1420, 297}, {}},
                                               {4, {1500, 0, 1920, 297}, {}}};
        loop.PlotPages(*application, *layout, planned, pages);

        using R = PageOutcome::Result;
        ASSERT_EQ(pages.outcomes.size(), 4u);
        std::vector<R> results;
        for (const PageOutcome& outcome : pages.outcomes) {
            results.push_back(outcome.result);
        }
        EXPECT_EQ(results, (std::vector<R>{R::Plotted, R::Skipped, R::Failed,
                                           stopAtFailure ? R::Skipped : R::Plotted}));
        EXPECT_EQ(pages.outcomes[2].failure.number, -2145320861);
        EXPECT_EQ(pages.outcomes[2].planned->page, 3);
        EXPECT_EQ(pages.started,
                  stopAtFailure ? (std::vector<int>{1, 3}) : (std::vector<int>{1, 3, 4}));
        EXPECT_EQ(cad->CallsStartingWith("Plot.PlotToDevice").size(), stopAtFailure ? 2u : 3u);
    }
}

} // namespace
} // namespace kw
