// The scenarios of the engine and catalog tests, driven through the COM binding against the fake
// host, so that both backends are held to one behaviour.

#include <gtest/gtest.h>

#include <algorithm>

#include "cad/catalogs.h"
#include "engine/frames.h"
#include "engine/plot_configuration.h"
#include "engine/plot_loop.h"
#include "engine/plot_run.h"
#include "tests/com/fake_host.h"
#include "tests/support/recorders.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

using test::FakeHost;

constexpr const char* kTemplate = "C:\\Program Files\\Fake CAD\\TEMPLATE\\acad.dwt";

// Hands the session the in-process fake, whether it attaches or starts.
class InprocBackend : public CadBackend {
public:
    explicit InprocBackend(FakeHost& host) : m_host(host) {}
    std::shared_ptr<CadApplication> Attach() override { return m_host.Application(); }
    std::shared_ptr<CadApplication> Start() override { return m_host.Application(); }

private:
    FakeHost& m_host;
};

void AddFrames(FakeHost& host, const std::string& path, int count, double y = 0) {
    host.AddDrawing(path);
    for (int i = count - 1; i >= 0; --i) {
        const double x = i * 500.0;
        host.AddPolyline(path, "图框", {x, y, x + 420, y, x + 420, y + 297, x, y + 297});
    }
}

struct Scene {
    FakeHost host;
    test::TempFolder folder;
    std::vector<std::string> connectMessages;
    CadSession session;
    test::RecordingRunHost runHost;
    SettingsFile settingsFile;
    PlotRunner runner;

    Scene()
        : session([this] { return std::make_shared<InprocBackend>(host); },
                  [this](const std::string& text) { connectMessages.push_back(text); }),
          settingsFile(folder.File(kSettingsFileName)), runner(session, runHost, settingsFile) {
        runHost.settings.printerName = "DWG To PDF.pc3";
    }

    std::vector<std::string> Windows() { return host.Log("Layout:Model.SetWindowToPlot"); }
    int Plots() {
        const auto plots = host.Log("Plot.PlotToDevice");
        return static_cast<int>(plots.size());
    }
};

TEST(ComEngine, FindFramesOfEachKindThroughTheHostsSelection) {
    FakeHost host;
    const std::string path = "D:\\a.dwg";
    host.AddPolyline(path, "图框", {0, 0, 420, 0, 420, 297, 0, 297});
    host.AddPolyline(path, "0", {500, 0, 920, 0, 920, 297});
    host.AddPolyline(path, "图框", {1000, 0, 1420, 0, 1420, 297}); // open: still a frame
    host.AddEntity(path, 22, "图框", "", {0, 400}, {10, 410});     // heavy polyline: no frame
    host.AddEntity(path, entity_types::kBlockReference, "0", "RmTK", {2000, 0}, {2420, 297});
    host.AddEntity(path, entity_types::kBlockReference, "0", "Other", {3000, 0}, {3420, 297});
    host.AddEntity(path, entity_types::kExternalReference, "0", "tk_xref", {4000, 0}, {4420, 297});
    host.Open(path);
    auto document = host.Application()->ActiveDocument();

    PlotSettings settings;
    EXPECT_EQ(FindFrames(*document, settings),
              (std::vector<FrameExtent>{{0, 0, 420, 297}, {1000, 0, 1420, 297}}));
    settings.frameKind = FrameKind::BlockReference;
    EXPECT_EQ(FindFrames(*document, settings), (std::vector<FrameExtent>{{2000, 0, 2420, 297}}));
    settings.frameKind = FrameKind::ExternalReference;
    EXPECT_EQ(FindFrames(*document, settings), (std::vector<FrameExtent>{{4000, 0, 4420, 297}}));

    EXPECT_EQ(
        host.Log("SelectionSet.Select"),
        (std::vector<std::string>{
            "SelectionSet.Select(5, -, -, [0,8], [\"LWPOLYLINE\",\"图框\"])",
            "SelectionSet.Select(5, -, -, [100,2], [\"AcDbBlockReference\",\"RmTK\"])",
            "SelectionSet.Select(5, -, -, [100,2], [\"AcdbExternalReference\",\"tk_xref\"])"}));
    EXPECT_EQ(host.SelectionSetCount(), 0) << "no selection set is left in the drawing";
}

TEST(ComEngine, PickFramesKeepsPickedFramesByTypeAndName) {
    FakeHost host;
    const std::string path = "D:\\pick.dwg";
    host.AddEntity(path, entity_types::kBlockReference, "0", "rmtk", {0, 0}, {420, 297});
    host.AddEntity(path, entity_types::kBlockReference, "0", "Other", {500, 0}, {920, 297});
    host.AddPolyline(path, "Frame", {0, 0, 5, 0, 5, 5});
    host.AddEntity(path, entity_types::kExternalReference, "0", "RMTK", {1000, 0}, {1420, 297});
    host.AddEntity(path, entity_types::kBlockReference, "0", "RmTK", {2000, 0}, {2420, 297});
    host.Open(path);
    auto application = host.Application();
    auto document = application->ActiveDocument();
    auto utility = document->Utility();

    PlotSettings settings;
    settings.frameKind = FrameKind::BlockReference;
    // The host has no Name on a polyline: asking for it would fail the pick with 438.
    EXPECT_EQ(PickFrames(*document, *utility, settings),
              (std::vector<FrameExtent>{{0, 0, 420, 297}, {2000, 0, 2420, 297}}));
    EXPECT_EQ(host.Log("Utility."),
              (std::vector<std::string>{
                  "Utility.Prompt(\"====== 选择含图框的对象，不是图框的对象将自动忽略 "
                  "======\\n\\r\")"}));

    settings.frameKind = FrameKind::PolylineLayer;
    settings.frameLayer = "frame";
    EXPECT_TRUE(PickFrames(*document, *utility, settings).empty()) << "layer case matters";
    settings.frameLayer = "Frame";
    EXPECT_EQ(PickFrames(*document, *utility, settings), (std::vector<FrameExtent>{{0, 0, 5, 5}}));
}

TEST(ComEngine, PrepareLayoutAndPlotFrameSetTheLayoutInOrder) {
    FakeHost host;
    host.AddDrawing("D:\\a.dwg");
    host.Open("D:\\a.dwg");
    auto application = host.Application();
    auto layout = application->ActiveDocument()->ActiveLayout();
    PaperTable papers;
    papers.Store(1, {"ISO_A4_(210.00_x_297.00_MM)", "ISO A4"});
    papers.Store(2, {"ISO_A3_(420.00_x_297.00_MM)", "ISO A3"});
    papers.SetPaperCount(2);
    PlotSettings settings;
    settings.printerName = "DWG To PDF.pc3";
    settings.styleTable = "monochrome.ctb";
    settings.paperName = "ISO A3";
    settings.pointAllowance = "5";
    settings.copies = "3";
    host.ClearLog();

    // Through the one plot loop: the host takes no typed jobs, so it is told member by member.
    PlotLoop loop(settings, papers, settings.Copies());
    loop.StartDrawing(*application->ActiveDocument(), *layout);
    struct Plotted : PageListener {
        std::vector<PageOutcome::Result> results;
        bool PageEnded(const PageOutcome& outcome) override {
            results.push_back(outcome.result);
            return true;
        }
    } plotted;
    loop.PlotPages(*application, *layout, {{1, {1000, 2000, 39000, 28000}, {}}}, plotted);
    EXPECT_EQ(plotted.results, (std::vector<PageOutcome::Result>{PageOutcome::Result::Plotted}));
    std::vector<std::string> calls;
    for (const auto& line : host.Log()) {
        if (line.rfind("Layout:", 0) == 0 || line.rfind("Plot.", 0) == 0) {
            calls.push_back(line);
        }
    }
    EXPECT_EQ(
        calls,
        (std::vector<std::string>{
            "Layout:Model.ConfigName = \"DWG To PDF.pc3\"",
            "Layout:Model.StyleSheet = \"monochrome.ctb\"",
            "Layout:Model.CanonicalMediaName = \"ISO_A3_(420.00_x_297.00_MM)\"",
            "Layout:Model.PaperUnits = 1",
            "Layout:Model.SetWindowToPlot([500,1500], [39500,28500])", "Layout:Model.PlotType = 4",
            "Layout:Model.PlotRotation = 0", "Layout:Model.PlotWithLineweights = True",
            "Layout:Model.PlotWithPlotStyles = True", "Layout:Model.PlotHidden = False",
            "Layout:Model.SetCustomScale(380, 38000)", "Layout:Model.CenterPlot = False",
            "Layout:Model.PlotOrigin = [5,25]", "Plot.NumberOfCopies = 3", "Plot.PlotToDevice"}));

    host.Fail("Layout:Model.StyleSheet", static_cast<HRESULT>(0x80200003), "plot style type");
    try {
        PrepareLayout(*layout, settings, papers);
        FAIL();
    } catch (const CadError& error) {
        EXPECT_EQ(error.Number(), errors::kStyleTableMismatch);
        EXPECT_EQ(MessageForError(error.Number()),
                  "执行命令【convertpstyles】转换打印样式表类型！");
    }
}

TEST(ComRun, SelectedFilesPlotsEachListedDrawingThenEmptiesTheList) {
    Scene scene;
    AddFrames(scene.host, "D:\\a.dwg", 2);
    AddFrames(scene.host, "D:\\b.dwg", 0);
    AddFrames(scene.host, "D:\\c.dwg", 1);
    for (const char* path : {"D:\\c.dwg", " D:\\a.dwg ", "D:\\b.dwg"}) {
        scene.runHost.drawings.Add(path);
    }
    scene.runner.RunPlot();

    EXPECT_TRUE(scene.runHost.errors.empty()) << scene.runHost.errors.front();
    EXPECT_EQ(scene.runHost.drawings.Count(), 0);
    EXPECT_EQ(
        scene.host.Log("Documents."),
        (std::vector<std::string>{"Documents.Add(\"" + std::string(kTemplate) + "\")",
                                  "Documents.Open(\"D:\\a.dwg\")", "Documents.Open(\"D:\\b.dwg\")",
                                  "Documents.Open(\"D:\\c.dwg\")"}));
    EXPECT_EQ(scene.host.Log("Document.Close"),
              std::vector<std::string>(3, "Document.Close(True)"));
    EXPECT_EQ(scene.host.OpenDocuments(), std::vector<std::string>{"Drawing1.dwg"});
    EXPECT_EQ(scene.Plots(), 3);
    EXPECT_EQ(scene.runHost.StatusTexts(),
              (std::vector<std::string>{"正在打印第 1 页   共 3 页", "正在打印第 2 页   共 3 页",
                                        "正在打印第 3 页   共 3 页", "图纸打印完成 双击窗口返回"}));
    EXPECT_FALSE(scene.runHost.mainVisible);
}

TEST(ComRun, CurrentDrawingPlotsRowsBottomUpAndLeavesTheDrawingOpen) {
    Scene scene;
    AddFrames(scene.host, "D:\\open.dwg", 2, 1000);
    for (int i = 1; i >= 0; --i) {
        const double x = i * 500.0;
        scene.host.AddPolyline("D:\\open.dwg", "图框", {x, 0, x + 420, 0, x + 420, 297, x, 297});
    }
    scene.host.Open("D:\\open.dwg");
    scene.runHost.settings.mode = PlotMode::CurrentDrawing;
    scene.runHost.settings.rowsBottomUp = true;
    scene.runner.RunPlot();

    EXPECT_TRUE(scene.runHost.errors.empty());
    EXPECT_EQ(scene.Windows(),
              (std::vector<std::string>{"Layout:Model.SetWindowToPlot([0,0], [420,297])",
                                        "Layout:Model.SetWindowToPlot([500,0], [920,297])",
                                        "Layout:Model.SetWindowToPlot([0,1000], [420,1297])",
                                        "Layout:Model.SetWindowToPlot([500,1000], [920,1297])"}));
    EXPECT_EQ(scene.Plots(), 4);
    EXPECT_TRUE(scene.host.Log("Document.Close").empty());
    EXPECT_EQ(scene.runHost.label1, "图纸打印完成 双击窗口返回");
}

TEST(ComRun, PickedFramesArePlottedAndAFailedPickIsReported) {
    Scene scene;
    scene.host.AddEntity("D:\\p.dwg", entity_types::kBlockReference, "0", "RmTK", {0, 0},
                         {420, 297});
    scene.host.AddEntity("D:\\p.dwg", 19, "图框", "", {0, 0}, {1, 1}); // a line: ignored
    scene.host.Open("D:\\p.dwg");
    scene.runHost.settings.mode = PlotMode::CurrentDrawingPart;
    scene.runHost.settings.frameKind = FrameKind::BlockReference;
    scene.runner.RunPlot();
    EXPECT_TRUE(scene.runHost.errors.empty());
    EXPECT_EQ(scene.Plots(), 1);
    EXPECT_NE(scene.runHost.label3, "") << "frames were picked: the start time is set";

    scene.runHost.CloseProgress();
    scene.host.Fail("SelectionSet.SelectOnScreen", static_cast<HRESULT>(0x80004005), "cancelled");
    scene.runner.RunPlot();
    EXPECT_EQ(scene.runHost.errors,
              (std::vector<std::string>{"操作不当或其它未知错误：-2147467259"}));
}

TEST(ComRun, ADrawingThatCannotBeSavedStopsTheRunAndStaysFirstInTheList) {
    Scene scene;
    for (const char* path : {"D:\\a.dwg", "D:\\b.dwg", "D:\\c.dwg"}) {
        AddFrames(scene.host, path, 1);
        scene.runHost.drawings.Add(path);
    }
    scene.host.Fail("Document.Close", static_cast<HRESULT>(0x80210063), "file in use", 1);
    scene.runner.RunPlot();
    EXPECT_EQ(scene.runHost.errors, (std::vector<std::string>{"文件已打开，不能保存！"}));
    EXPECT_EQ(scene.runHost.drawings.Entries(),
              (std::vector<std::string>{"D:\\b.dwg", "D:\\c.dwg"}));
    EXPECT_EQ(scene.host.OpenDocuments(), (std::vector<std::string>{"Drawing1.dwg", "D:\\b.dwg"}));
    EXPECT_EQ(scene.runHost.label1, "正在打印第 2 页   共 3 页");
}

TEST(ComRun, AnOlderReleaseWithoutAMemberGetsTheReleaseMessage) {
    Scene scene;
    AddFrames(scene.host, "D:\\a.dwg", 1);
    scene.host.Open("D:\\a.dwg");
    scene.host.Lack("PlotToDevice");
    scene.runHost.settings.mode = PlotMode::CurrentDrawing;
    scene.runner.RunPlot();
    EXPECT_EQ(scene.runHost.errors, (std::vector<std::string>{"程序仅支持R2000以上版本！"}));
}

TEST(ComRun, BusyHostDoesNotEndTheRun) {
    Scene scene;
    AddFrames(scene.host, "D:\\a.dwg", 3);
    scene.host.Open("D:\\a.dwg");
    scene.runHost.settings.mode = PlotMode::CurrentDrawing;
    scene.host.SetBusy(25, RPC_E_SERVERCALL_RETRYLATER);
    scene.runner.RunPlot();
    EXPECT_TRUE(scene.runHost.errors.empty());
    EXPECT_EQ(scene.Plots(), 3);
    EXPECT_EQ(scene.host.BusyLeft(), 0);
}

TEST(ComPreview, SelectedFilesPreviewsTheFirstFrameOfTheFirstDrawingOnly) {
    Scene scene;
    AddFrames(scene.host, "D:\\a.dwg", 2);
    scene.host.AddPolyline("D:\\a.dwg", "图框", {-900, 0, -500, 0, -500, 100, -900, 100});
    AddFrames(scene.host, "D:\\c.dwg", 1);
    for (const char* path : {"D:\\c.dwg", "D:\\a.dwg"}) {
        scene.runHost.drawings.Add(path);
    }
    scene.runner.Preview();
    EXPECT_TRUE(scene.runHost.errors.empty());
    EXPECT_EQ(scene.host.Log("Documents."),
              (std::vector<std::string>{"Documents.Add(\"" + std::string(kTemplate) + "\")",
                                        "Documents.Open(\"D:\\a.dwg\")"}));
    // The first frame the selection delivers, not the leftmost.
    EXPECT_EQ(scene.Windows(),
              std::vector<std::string>{"Layout:Model.SetWindowToPlot([500,0], [920,297])"});
    EXPECT_EQ(scene.host.Log("Plot."), std::vector<std::string>{"Plot.DisplayPlotPreview(1)"});
    EXPECT_EQ(scene.host.Log("Document.Close"), std::vector<std::string>{"Document.Close(True)"});
    EXPECT_EQ(scene.runHost.drawings.Count(), 2);
    EXPECT_TRUE(scene.runHost.mainVisible);
}

TEST(ComPreview, PickedFramesInTheCurrentDrawing) {
    Scene scene;
    AddFrames(scene.host, "D:\\a.dwg", 2);
    scene.host.Open("D:\\a.dwg");
    scene.runHost.settings.mode = PlotMode::CurrentDrawingPart;
    scene.runHost.settings.centerPlot = true;
    scene.runner.Preview();
    EXPECT_TRUE(scene.runHost.errors.empty());
    EXPECT_EQ(scene.host.Log("Plot."), std::vector<std::string>{"Plot.DisplayPlotPreview(1)"});
    EXPECT_EQ(scene.host.Log("Layout:Model.CenterPlot"),
              std::vector<std::string>{"Layout:Model.CenterPlot = True"});
    EXPECT_TRUE(scene.host.Log("Layout:Model.PlotOrigin").empty());
}

struct CatalogScene {
    FakeHost host;
    CadSession session;
    test::RecordingCatalogView view;
    PaperTable papers;
    PrinterTable printers;

    CatalogScene()
        : session([this] { return std::make_shared<InprocBackend>(host); },
                  [](const std::string&) {}) {}
};

TEST(ComCatalogs, GetPrinterListFillsTheListsAndSwitchesBackgroundPlottingOff) {
    CatalogScene scene;
    scene.host.AddDrawing("D:\\a.dwg");
    scene.host.Open("D:\\a.dwg");
    GetPrinterList(scene.session, scene.view);
    EXPECT_EQ(scene.view.printers,
              (std::vector<std::string>{"无", "DWG To PDF.pc3", "HP LaserJet 5200"}));
    EXPECT_EQ(scene.view.papers, (std::vector<std::string>{"ISO_A4_(210.00_x_297.00_MM)",
                                                           "ISO_A3_(420.00_x_297.00_MM)",
                                                           "ISO_A1_(841.00_x_594.00_MM)"}));
    EXPECT_EQ(scene.view.styleTables,
              (std::vector<std::string>{"acad.ctb", "monochrome.ctb", "黑白.ctb"}));
    EXPECT_TRUE(scene.view.runCommandsEnabled);
    EXPECT_EQ(scene.host.Log("Document.SendCommand"),
              std::vector<std::string>{"Document.SendCommand(\"BACKGROUNDPLOT\\r0\\r\")"});
    EXPECT_TRUE(scene.view.errors.empty());
}

TEST(ComCatalogs, GetPrinterListWithoutADrawingAddsOne) {
    CatalogScene scene;
    GetPrinterList(scene.session, scene.view);
    EXPECT_EQ(scene.host.Log("Documents."), std::vector<std::string>{"Documents.Add"});
    EXPECT_EQ(scene.view.printers.size(), 3u);
    EXPECT_TRUE(scene.view.runCommandsEnabled);
    EXPECT_TRUE(scene.view.errors.empty());
}

TEST(ComCatalogs, GetPrinterListOnAnOlderReleaseGivesTheReleaseMessage) {
    CatalogScene scene;
    scene.host.AddDrawing("D:\\a.dwg");
    scene.host.Open("D:\\a.dwg");
    scene.host.Lack("RefreshPlotDeviceInfo");
    GetPrinterList(scene.session, scene.view);
    EXPECT_EQ(scene.view.errors, (std::vector<std::string>{"程序仅支持R2000以上版本！"}));
    EXPECT_FALSE(scene.view.runCommandsEnabled);
}

TEST(ComCatalogs, ChoosePrinterFillsThePaperTableFromTheActiveSpace) {
    CatalogScene scene;
    scene.host.AddDrawing("D:\\a.dwg");
    scene.host.Open("D:\\a.dwg");
    scene.host.SetActiveSpace(0);
    scene.view.printerText = "DWG To PDF.pc3";
    scene.printers.records = {{"DWG To PDF.pc3", "7", "9", "True"}};
    ChoosePrinter(scene.session, scene.view, scene.papers, scene.printers);

    EXPECT_TRUE(scene.view.errors.empty());
    EXPECT_EQ(scene.host.Log("Layout:Layout1.ConfigName"),
              std::vector<std::string>{"Layout:Layout1.ConfigName = \"DWG To PDF.pc3\""});
    EXPECT_EQ(scene.host.Log("Layout:Layout1.GetCanonicalMediaNames").size(), 1u)
        << "paper space is active, so its layout lists the papers";
    EXPECT_EQ(scene.view.papers, (std::vector<std::string>{"ISO A4 (210.00 x 297.00 毫米)",
                                                           "ISO A3 (420.00 x 297.00 毫米)",
                                                           "ISO A1 (841.00 x 594.00 毫米)"}));
    EXPECT_EQ(scene.papers.PaperCount(), 3);
    EXPECT_EQ(scene.papers.Entry(1).canonicalName, "ISO_A4_(210.00_x_297.00_MM)");
    EXPECT_EQ(scene.view.offsetX, "7");
    EXPECT_EQ(scene.view.offsetY, "9");
    EXPECT_TRUE(scene.view.portrait);
}

} // namespace
} // namespace kw
