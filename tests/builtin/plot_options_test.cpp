#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/plot/plot_options.h"
#include "base/error.h"

namespace kw {
namespace {

PlotOptions Parse(std::vector<std::string> arguments) {
    return ParsePlotOptions(arguments, {});
}

TEST(PlotOptions, EveryOptionSetsItsPanelField) {
    const PlotOptions options = Parse({"--kind=block",
                                       "--layer",
                                       "L",
                                       "--block",
                                       "B",
                                       "--xref",
                                       "X",
                                       "--bottom-up",
                                       "--device",
                                       "Plotter",
                                       "--paper",
                                       "ISO A3",
                                       "--style",
                                       "grayscale.ctb",
                                       "--portrait",
                                       "--reverse",
                                       "--length",
                                       "420",
                                       "--allowance",
                                       "-2.5",
                                       "--center",
                                       "--offset",
                                       "7,-3",
                                       "--copies",
                                       "3",
                                       "--no-lineweights",
                                       "--no-plot-styles",
                                       "--hide",
                                       "--output",
                                       "out",
                                       "--fonts",
                                       "shx",
                                       "--fonts=more fonts",
                                       "a.dxf",
                                       "b.dxf"});
    const PlotSettings& s = options.settings;
    EXPECT_EQ(options.action, PlotAction::Plot);
    EXPECT_EQ(s.mode, PlotMode::SelectedFiles);
    EXPECT_EQ(s.frameKind, FrameKind::BlockReference);
    EXPECT_EQ(s.frameLayer, "L");
    EXPECT_EQ(s.blockName, "B");
    EXPECT_EQ(s.xrefName, "X");
    EXPECT_TRUE(s.rowsBottomUp);
    EXPECT_EQ(s.printerName, "Plotter");
    EXPECT_EQ(s.paperName, "ISO A3");
    EXPECT_EQ(s.styleTable, "grayscale.ctb");
    EXPECT_TRUE(s.portrait);
    EXPECT_TRUE(s.reversePlot);
    EXPECT_EQ(s.frameLength, "420");
    EXPECT_EQ(s.pointAllowance, "-2.5");
    EXPECT_TRUE(s.centerPlot);
    EXPECT_EQ(s.offsetX, "7");
    EXPECT_EQ(s.offsetY, "-3");
    EXPECT_EQ(s.copies, "3");
    EXPECT_FALSE(s.plotLineweights);
    EXPECT_FALSE(s.plotStyles);
    EXPECT_TRUE(s.hideObjects);
    EXPECT_EQ(options.outputFolder, "out");
    EXPECT_EQ(options.fontFolders, (std::vector<std::string>{"shx", "more fonts"}));
    EXPECT_EQ(options.drawings, (std::vector<std::string>{"a.dxf", "b.dxf"}));
}

TEST(PlotOptions, DefaultsComeFromThePanelAndNameFollowsTheChosenKind) {
    PlotSettings panel;
    panel.frameLength = "500";
    const PlotOptions defaults = ParsePlotOptions({"--list", "a.dxf"}, panel);
    EXPECT_EQ(defaults.action, PlotAction::List);
    EXPECT_EQ(defaults.settings.frameLength, "500");
    EXPECT_TRUE(defaults.settings.plotLineweights);

    // --name before --kind still names the kind chosen last.
    const PlotOptions xref = Parse({"--name", "tk", "--kind", "xref", "--list", "a.dxf"});
    EXPECT_EQ(xref.settings.xrefName, "tk");
    EXPECT_EQ(xref.settings.frameLayer, "图框");

    // After "--" everything is a drawing, also what looks like an option.
    const PlotOptions files = Parse({"--list", "--", "--bottom-up", "-x.dxf"});
    EXPECT_FALSE(files.settings.rowsBottomUp);
    EXPECT_EQ(files.drawings, (std::vector<std::string>{"--bottom-up", "-x.dxf"}));
}

TEST(PlotOptions, MistakesAreRefusedWithTheOptionNamed) {
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--kind", "circle", "a.dxf"},
                                               {"--offset", "5", "a.dxf"},
                                               {"a.dxf", "--layer"},
                                               {"--bottom-up=yes", "a.dxf"},
                                               {"--list"},
                                               {"a.dxf", "--plot-everything"}}) {
        try {
            Parse(wrong);
            ADD_FAILURE() << wrong[0] << " was taken";
        } catch (const Error& failure) {
            EXPECT_EQ(failure.Number(), errors::kInvalidCall);
            EXPECT_FALSE(failure.Description().empty());
        }
    }
    // A value the output options refuse keeps their reason after the option's name.
    for (const auto& [wrong, text] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--list", "--scale", "1/100", "a.dxf"},
              "--scale: expected auto or 1:N, got \"1/100\""},
             {{"--list", "--merge", "pages", "a.dxf"},
              "--merge: expected drawing, run or none, got \"pages\""}}) {
        try {
            Parse(wrong);
            ADD_FAILURE() << wrong[1] << " was taken";
        } catch (const Error& failure) {
            EXPECT_EQ(failure.Number(), errors::kInvalidCall);
            EXPECT_EQ(failure.Description(), text);
        }
    }
    EXPECT_EQ(Parse({"--devices"}).action, PlotAction::Devices);
    // --styles names a folder when one follows; otherwise it lists the tables.
    const std::string folder = std::filesystem::temp_directory_path().string();
    const PlotOptions styled = Parse({"--styles", folder, "a.dxf", "--styles=more"});
    EXPECT_EQ(styled.action, PlotAction::Plot);
    EXPECT_EQ(styled.styleFolders, (std::vector<std::string>{folder, "more"}));
    EXPECT_EQ(styled.drawings, (std::vector<std::string>{"a.dxf"}));
    const PlotOptions listed = Parse({"--styles", "a.dxf"});
    EXPECT_EQ(listed.action, PlotAction::Styles);
    EXPECT_TRUE(listed.styleFolders.empty());
    EXPECT_EQ(Parse({"--papers", "Plotter"}).papersDevice, "Plotter");
}

} // namespace
} // namespace kw
