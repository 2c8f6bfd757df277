#include <gtest/gtest.h>

#include <algorithm>

#include "engine/plot_run.h"
#include "base/text_file.h"
#include "tests/support/recorders.h"
#include "tests/support/substitute_cad.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

using test::CadScript;
using test::DocumentScript;
using test::EntityScript;
using test::RecordingRunHost;
using test::SubstituteCad;
using test::TempFolder;

DocumentScript Frames(int count, double y = 0) {
    DocumentScript content;
    for (int i = count - 1; i >= 0; --i)
        content.entities.push_back(
            EntityScript::Rectangle("图框", i * 500.0, y, i * 500.0 + 420, y + 297));
    return content;
}

struct RunScene {
    TempFolder folder;
    std::shared_ptr<SubstituteCad> cad;
    std::vector<std::string> connectMessages;
    CadSession session;
    RecordingRunHost host;
    SettingsFile settingsFile;
    PlotRunner runner;

    explicit RunScene(CadScript script)
        : cad(std::make_shared<SubstituteCad>(std::move(script))),
          session([this] { return cad; },
                  [this](const std::string& text) { connectMessages.push_back(text); }),
          settingsFile(folder.File(kSettingsFileName)), runner(session, host, settingsFile) {
        host.settings.printerName = "Office Plotter";
    }

    int Plots() const {
        const auto& calls = cad->Calls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), "Plot.PlotToDevice"));
    }
    std::vector<std::string> Windows() const {
        return cad->CallsStartingWith("Layout.SetWindowToPlot");
    }
};

CadScript ThreeFiles() {
    CadScript script;
    script.files["D:\\a.dwg"] = Frames(2);
    script.files["D:\\b.dwg"] = Frames(0);
    script.files["D:\\c.dwg"] = Frames(1);
    return script;
}

TEST(RunPlot, SelectedFilesPlotsEachListedDrawingThenEmptiesTheList) {
    RunScene run(ThreeFiles());
    for (const char* path : {"D:\\c.dwg", " D:\\a.dwg ", "D:\\b.dwg"})
        run.host.drawings.Add(path);
    run.host.settings.copies = "2";
    run.runner.RunPlot();

    EXPECT_TRUE(run.host.errors.empty());
    EXPECT_EQ(run.host.drawings.Count(), 0);
    EXPECT_EQ(run.cad->Saved(), (std::vector<std::string>{"D:\\a.dwg", "D:\\b.dwg", "D:\\c.dwg"}));
    EXPECT_EQ(run.cad->OpenPaths(), (std::vector<std::string>{"Drawing1.dwg"}))
        << "the template drawing stays open";
    EXPECT_EQ(
        run.cad->CallsStartingWith("Documents."),
        (std::vector<std::string>{
            "Documents.Add=C:\\Program Files\\Drafting CAD\\TEMPLATE\\acad.dwt",
            "Documents.Open=D:\\a.dwg", "Documents.Open=D:\\b.dwg", "Documents.Open=D:\\c.dwg"}));
    EXPECT_EQ(run.Plots(), 3);
    EXPECT_EQ(run.cad->CallsStartingWith("Plot.NumberOfCopies"),
              (std::vector<std::string>(3, "Plot.NumberOfCopies=2")));
    EXPECT_EQ(run.host.StatusTexts(),
              (std::vector<std::string>{"正在打印第 1 页   共 3 页", "正在打印第 2 页   共 3 页",
                                        "正在打印第 3 页   共 3 页", "图纸打印完成 双击窗口返回"}));
    EXPECT_EQ(
        std::vector<std::string>(run.host.events.begin(), run.host.events.begin() + 4),
        (std::vector<std::string>{"ShowProgress", "HideMain",
                                  "Front=Drafting CAD 2000 - [Drawing1.dwg]", "Label3=10:00:00"}));
    EXPECT_EQ(run.host.label5, "10:00:01");
    EXPECT_FALSE(run.host.mainVisible);
    EXPECT_TRUE(run.host.progressVisible);
    // The settings were stored before anything was plotted.
    EXPECT_EQ(ReadTextLines(run.settingsFile.Path()),
              (std::vector<std::string>{"380", "0", "图框", "RmTK", "tk_xref", "Office Plotter",
                                        "5", "25", "False"}));
}

TEST(RunPlot, SelectedFilesWithAnEmptyListStillAddsTheTemplateDrawing) {
    RunScene run{CadScript()};
    run.runner.RunPlot();
    EXPECT_EQ(run.cad->CallsStartingWith("Documents."),
              (std::vector<std::string>{
                  "Documents.Add=C:\\Program Files\\Drafting CAD\\TEMPLATE\\acad.dwt"}));
    EXPECT_EQ(run.host.StatusTexts(), (std::vector<std::string>{"图纸打印完成 双击窗口返回"}));
    EXPECT_TRUE(run.host.errors.empty());
}

TEST(RunPlot, CurrentDrawingCountsFramesAndLeavesTheDrawingOpenUnsaved) {
    CadScript script;
    script.files["D:\\open.dwg"] = Frames(5);
    script.activeDocument = "D:\\open.dwg";
    RunScene run(script);
    run.host.settings.mode = PlotMode::CurrentDrawing;
    run.runner.RunPlot();
    EXPECT_EQ(run.host.StatusTexts(),
              (std::vector<std::string>{"正在打印第 1 页   共 5 页", "正在打印第 2 页   共 5 页",
                                        "正在打印第 3 页   共 5 页", "正在打印第 4 页   共 5 页",
                                        "正在打印第 5 页   共 5 页", "图纸打印完成 双击窗口返回"}));
    EXPECT_EQ(run.Plots(), 5);
    EXPECT_EQ(run.Windows().front(), "Layout.SetWindowToPlot=0,0,420,297") << "left to right";
    EXPECT_TRUE(run.cad->Saved().empty());
    EXPECT_EQ(run.cad->OpenPaths(), (std::vector<std::string>{"D:\\open.dwg"}));
    EXPECT_TRUE(run.cad->CallsStartingWith("Documents.").empty());
    // Each page text is painted before its frame is sent.
    const auto& events = run.host.events;
    const auto label = std::find(events.begin(), events.end(), "Label1=正在打印第 1 页   共 5 页");
    ASSERT_NE(label, events.end());
    EXPECT_EQ(*(label + 1), "Repaint");
}

TEST(RunPlot, AFailingFrameLeavesItsPageTextOnTheProgressWindow) {
    for (const PlotMode mode : {PlotMode::CurrentDrawing, PlotMode::CurrentDrawingPart}) {
        CadScript script;
        script.files["D:\\open.dwg"] = Frames(5);
        script.files["D:\\open.dwg"].picked = {0, 1, 2, 3, 4};
        script.activeDocument = "D:\\open.dwg";
        script.failures["Plot.PlotToDevice"] = {-2145386300, "plotter offline", 3};
        RunScene run(script);
        run.host.settings.mode = mode;
        run.runner.RunPlot();
        EXPECT_EQ(run.host.errors,
                  (std::vector<std::string>{"操作不当或其它未知错误：-2145386300"}));
        // The text of the page that failed, painted before the page was sent.
        EXPECT_EQ(run.host.label1, "正在打印第 3 页   共 5 页");
        const auto& events = run.host.events;
        const auto label =
            std::find(events.begin(), events.end(), "Label1=正在打印第 3 页   共 5 页");
        ASSERT_NE(label, events.end());
        ASSERT_NE(label + 1, events.end());
        EXPECT_EQ(*(label + 1), "Repaint");
        // The progress window was up: it stays, and the main window stays hidden.
        EXPECT_TRUE(run.host.progressVisible);
        EXPECT_FALSE(run.host.mainVisible);
        EXPECT_EQ(std::count(events.begin(), events.end(), "ShowMain"), 0);
    }
}

TEST(RunPlot, RowsBottomUpPlotsTheLowerRowFirst) {
    CadScript script;
    DocumentScript content = Frames(2, 1000);
    for (const auto& entity : Frames(2, 0).entities)
        content.entities.push_back(entity);
    script.files["D:\\open.dwg"] = content;
    script.activeDocument = "D:\\open.dwg";
    RunScene run(script);
    run.host.settings.mode = PlotMode::CurrentDrawing;
    run.host.settings.rowsBottomUp = true;
    run.runner.RunPlot();
    EXPECT_EQ(run.Windows(),
              (std::vector<std::string>{"Layout.SetWindowToPlot=0,0,420,297",
                                        "Layout.SetWindowToPlot=500,0,920,297",
                                        "Layout.SetWindowToPlot=0,1000,420,1297",
                                        "Layout.SetWindowToPlot=500,1000,920,1297"}));
}

TEST(RunPlot, APickWithoutFramesOpensTheProgressWindowOnlyAtTheEnd) {
    CadScript script;
    script.files["D:\\open.dwg"] = Frames(2);
    script.files["D:\\open.dwg"].entities.push_back(EntityScript::Rectangle("0", 0, 0, 1, 1));
    script.files["D:\\open.dwg"].picked = {2};
    script.activeDocument = "D:\\open.dwg";
    RunScene run(script);
    run.host.settings.mode = PlotMode::CurrentDrawingPart;
    run.runner.RunPlot();
    EXPECT_EQ(run.host.events.front(), "HideMain");
    EXPECT_EQ(run.host.label3, "");
    EXPECT_EQ(run.host.label1, "图纸打印完成 双击窗口返回");
    EXPECT_FALSE(run.host.label5.empty());
    EXPECT_EQ(std::count(run.host.events.begin(), run.host.events.end(), "ShowProgress"), 1);
    EXPECT_EQ(run.Plots(), 0);
    EXPECT_EQ(run.cad->CallsStartingWith("Utility.Prompt").size(), 1u);
}

TEST(RunPlot, APickWithFramesSetsTheStartTimeThenPlotsThem) {
    CadScript script;
    script.files["D:\\open.dwg"] = Frames(3);
    script.files["D:\\open.dwg"].picked = {0, 2};
    script.activeDocument = "D:\\open.dwg";
    RunScene run(script);
    run.host.settings.mode = PlotMode::CurrentDrawingPart;
    run.runner.RunPlot();
    EXPECT_EQ(run.host.label3, "10:00:00");
    EXPECT_EQ(run.host.StatusTexts(),
              (std::vector<std::string>{"正在打印第 1 页   共 2 页", "正在打印第 2 页   共 2 页",
                                        "图纸打印完成 双击窗口返回"}));
    EXPECT_EQ(run.Plots(), 2);
}

TEST(RunPlot, ADrawingThatCannotBeSavedStopsTheRunAndStaysFirstInTheList) {
    CadScript script = ThreeFiles();
    script.failures["Document.Close"] = {-2145320861, "file in use", 2};
    RunScene run(script);
    for (const char* path : {"D:\\a.dwg", "D:\\b.dwg", "D:\\c.dwg"})
        run.host.drawings.Add(path);
    run.runner.RunPlot();
    EXPECT_EQ(run.host.errors, (std::vector<std::string>{"文件已打开，不能保存！"}));
    EXPECT_EQ(run.host.drawings.Entries(), (std::vector<std::string>{"D:\\b.dwg", "D:\\c.dwg"}));
    EXPECT_EQ(run.cad->Saved(), (std::vector<std::string>{"D:\\a.dwg"}));
    EXPECT_EQ(run.cad->OpenPaths(), (std::vector<std::string>{"Drawing1.dwg", "D:\\b.dwg"}));
    EXPECT_EQ(run.host.label1, "正在打印第 2 页   共 3 页");
    EXPECT_EQ(run.host.label5, "") << "a failed run gets no end time";
    EXPECT_FALSE(run.host.mainVisible);
}

TEST(RunPlot, AnUnwritableSettingsFileStopsTheRunWithTheMainWindowVisible) {
    RunScene run{ThreeFiles()};
    run.folder.Write(kSettingsFileName, "380\r\n");
    std::filesystem::permissions(run.settingsFile.Path(), std::filesystem::perms::owner_read);
    run.host.drawings.Add("D:\\a.dwg");
    run.runner.RunPlot();
    EXPECT_EQ(run.host.errors, (std::vector<std::string>{"操作不当或其它未知错误：70"}));
    EXPECT_TRUE(run.host.mainVisible);
    EXPECT_FALSE(run.host.progressVisible);
    EXPECT_EQ(run.Plots(), 0);
    EXPECT_EQ(run.host.drawings.Count(), 1);
}

struct FailureCase {
    const char* name;
    std::function<void(RunScene&)> arrange;
    std::string message;
};

TEST(RunPlot, EveryFailureShowsTheMessageForItsNumber) {
    const std::vector<FailureCase> cases = {
        {"old release",
         [](RunScene& run) { run.cad->Script().missing.insert("Layout.PlotHidden"); },
         "程序仅支持R2000以上版本！"},
        {"style table",
         [](RunScene& run) {
             run.cad->Script().failures["Layout.StyleSheet"] = {-2145386493, "mismatch"};
         },
         "执行命令【convertpstyles】转换打印样式表类型！"},
        {"drawing does not open", [](RunScene& run) { run.host.drawings.Add("D:\\missing.dwg"); },
         "操作不当或其它未知错误：-2147467259"},
        {"template missing",
         [](RunScene& run) {
             run.cad->Script().failures["Documents.Add"] = {-2147467259, "no template"};
         },
         "操作不当或其它未知错误：-2147467259"},
        {"copies out of range", [](RunScene& run) { run.host.settings.copies = "40000"; },
         "操作不当或其它未知错误：6"},
        {"frame length zero",
         [](RunScene& run) {
             run.host.settings.frameLength = "0";
             run.host.settings.pointAllowance = "1";
         },
         "操作不当或其它未知错误：11"},
        {"CAD window not found", [](RunScene& run) { run.host.anyTitle = false; },
         "操作不当或其它未知错误：5"},
        {"CAD unreachable",
         [](RunScene& run) {
             run.cad->Script().running = false;
             run.cad->Script().canStart = false;
         },
         "操作不当或其它未知错误：91"},
    };
    for (const auto& failure : cases) {
        RunScene run(ThreeFiles());
        run.host.drawings.Add("D:\\a.dwg");
        failure.arrange(run);
        run.runner.RunPlot();
        EXPECT_EQ(run.host.errors, (std::vector<std::string>{failure.message})) << failure.name;
        EXPECT_NE(run.host.label1, kRunFinished) << failure.name;
    }
}

TEST(RunPlot, CopiesAreReadAfterTheTemplateDrawingIsAddedAndNotByAPreview) {
    RunScene run(ThreeFiles());
    run.host.drawings.Add("D:\\a.dwg");
    run.host.settings.copies = "40000";
    run.runner.RunPlot();
    EXPECT_EQ(run.host.errors, (std::vector<std::string>{"操作不当或其它未知错误：6"}));
    EXPECT_EQ(run.cad->CallsStartingWith("Documents."),
              (std::vector<std::string>{
                  "Documents.Add=C:\\Program Files\\Drafting CAD\\TEMPLATE\\acad.dwt"}));

    for (const PlotMode mode :
         {PlotMode::SelectedFiles, PlotMode::CurrentDrawing, PlotMode::CurrentDrawingPart}) {
        CadScript script = ThreeFiles();
        script.activeDocument = "D:\\b.dwg";
        script.files["D:\\b.dwg"] = Frames(1);
        script.files["D:\\b.dwg"].picked = {0};
        RunScene preview(script);
        preview.host.drawings.Add("D:\\a.dwg");
        preview.host.settings.mode = mode;
        preview.host.settings.copies = "40000";
        preview.runner.Preview();
        EXPECT_TRUE(preview.host.errors.empty()) << static_cast<int>(mode);
        EXPECT_EQ(preview.cad->CallsStartingWith("Plot."),
                  (std::vector<std::string>{"Plot.DisplayPlotPreview=1"}));
    }
}

TEST(RunPlot, NoDrawingOpenInCurrentDrawingModeIsReportedByNumber) {
    RunScene run{CadScript()};
    run.host.settings.mode = PlotMode::CurrentDrawing;
    run.runner.RunPlot();
    EXPECT_EQ(run.host.errors, (std::vector<std::string>{"操作不当或其它未知错误：-2147418113"}));
}

TEST(RunPlot, AFailedPickBringsTheMainWindowBack) {
    CadScript script;
    script.files["D:\\open.dwg"] = Frames(2);
    script.activeDocument = "D:\\open.dwg";
    script.failures["SelectionSet.SelectOnScreen"] = {-2147352567, "pick cancelled"};
    RunScene run(script);
    run.host.settings.mode = PlotMode::CurrentDrawingPart;
    run.runner.RunPlot();
    EXPECT_EQ(run.host.errors, (std::vector<std::string>{"操作不当或其它未知错误：-2147352567"}));
    EXPECT_TRUE(run.host.mainVisible);
    EXPECT_FALSE(run.host.progressVisible);
}

TEST(Preview, SelectedFilesPreviewsTheFirstFrameOfTheFirstDrawingOnly) {
    CadScript script = ThreeFiles();
    script.files["D:\\a.dwg"].entities.push_back(
        EntityScript::Rectangle("图框", -900, 0, -500, 100));
    RunScene run(script);
    for (const char* path : {"D:\\c.dwg", "D:\\a.dwg"})
        run.host.drawings.Add(path);
    run.runner.Preview();
    EXPECT_TRUE(run.host.errors.empty());
    EXPECT_EQ(run.cad->CallsStartingWith("Documents."),
              (std::vector<std::string>{
                  "Documents.Add=C:\\Program Files\\Drafting CAD\\TEMPLATE\\acad.dwt",
                  "Documents.Open=D:\\a.dwg"}));
    // The first frame the selection delivers, not the leftmost.
    EXPECT_EQ(run.Windows(), (std::vector<std::string>{"Layout.SetWindowToPlot=500,0,920,297"}));
    EXPECT_EQ(run.cad->CallsStartingWith("Plot."),
              (std::vector<std::string>{"Plot.DisplayPlotPreview=1"}));
    EXPECT_EQ(run.cad->Saved(), (std::vector<std::string>{"D:\\a.dwg"}));
    EXPECT_EQ(run.host.drawings.Count(), 2);
    EXPECT_TRUE(run.host.mainVisible);
    EXPECT_FALSE(run.host.progressVisible);
    EXPECT_TRUE(FileExists(run.settingsFile.Path()));
}

TEST(Preview, WithoutFramesOrDrawingsNothingIsShown) {
    RunScene empty{CadScript()};
    empty.runner.Preview();
    EXPECT_EQ(empty.cad->CallsStartingWith("Documents.").size(), 1u);
    EXPECT_TRUE(empty.cad->CallsStartingWith("Plot.").empty());
    EXPECT_TRUE(FileExists(empty.settingsFile.Path()));

    RunScene frameless(ThreeFiles());
    frameless.host.drawings.Add("D:\\b.dwg");
    frameless.runner.Preview();
    EXPECT_TRUE(frameless.cad->CallsStartingWith("Plot.").empty());
    EXPECT_EQ(frameless.cad->Saved(), (std::vector<std::string>{"D:\\b.dwg"}));
    EXPECT_TRUE(frameless.host.errors.empty());
}

TEST(Preview, PickedFramesAndFailuresKeepTheMainWindow) {
    CadScript script;
    script.files["D:\\open.dwg"] = Frames(2);
    script.files["D:\\open.dwg"].picked = {1};
    script.activeDocument = "D:\\open.dwg";
    RunScene run(script);
    run.host.settings.mode = PlotMode::CurrentDrawingPart;
    run.runner.Preview();
    EXPECT_EQ(run.Windows(), (std::vector<std::string>{"Layout.SetWindowToPlot=0,0,420,297"}));
    EXPECT_TRUE(run.cad->CallsStartingWith("Documents.").empty());

    RunScene failing(script);
    failing.host.settings.mode = PlotMode::CurrentDrawing;
    failing.host.settings.frameLength = "";
    failing.host.settings.pointAllowance = "3";
    failing.runner.Preview();
    EXPECT_EQ(failing.host.errors, (std::vector<std::string>{"操作不当或其它未知错误：11"}));
    EXPECT_TRUE(failing.host.mainVisible);
    EXPECT_TRUE(std::find(failing.host.events.begin(), failing.host.events.end(), "HideMain") ==
                failing.host.events.end());
}

// The drawings a run adds, opens and closes (saving or not), in the order of the calls.
std::vector<std::string> DocumentLifeCycle(const SubstituteCad& cad) {
    std::vector<std::string> calls;
    for (const std::string& call : cad.Calls())
        if (call.rfind("Documents.", 0) == 0 || call.rfind("Document.Close", 0) == 0)
            calls.push_back(call);
    return calls;
}

TEST(Runs, EveryScopeAddsOpensSavesAndClosesCallByCall) {
    const std::string add = "Documents.Add=C:\\Program Files\\Drafting CAD\\TEMPLATE\\acad.dwt";
    const std::string save = "Document.Close=true";
    struct Case {
        const char* what;
        bool preview;
        PlotMode mode;
        std::vector<std::string> list;
        std::vector<std::string> calls;
        std::vector<std::string> saved;
    };
    const Case cases[] = {
        // The plot run: every listed drawing, a frameless one too, saved and closed.
        {"plot, files",
         false,
         PlotMode::SelectedFiles,
         {"D:\\a.dwg", "D:\\b.dwg"},
         {add, "Documents.Open=D:\\a.dwg", save, "Documents.Open=D:\\b.dwg", save},
         {"D:\\a.dwg", "D:\\b.dwg"}},
        {"plot, no files", false, PlotMode::SelectedFiles, {}, {add}, {}},
        // The open drawing is neither closed nor saved.
        {"plot, current drawing", false, PlotMode::CurrentDrawing, {"D:\\a.dwg"}, {}, {}},
        {"plot, part", false, PlotMode::CurrentDrawingPart, {"D:\\a.dwg"}, {}, {}},
        // The preview: the first listed drawing only, saved and closed with or without frames.
        {"preview, files",
         true,
         PlotMode::SelectedFiles,
         {"D:\\a.dwg", "D:\\b.dwg"},
         {add, "Documents.Open=D:\\a.dwg", save},
         {"D:\\a.dwg"}},
        {"preview, frameless file",
         true,
         PlotMode::SelectedFiles,
         {"D:\\c.dwg", "D:\\b.dwg"}, // the list is sorted: b first
         {add, "Documents.Open=D:\\b.dwg", save},
         {"D:\\b.dwg"}},
        {"preview, no files", true, PlotMode::SelectedFiles, {}, {add}, {}},
        {"preview, current drawing", true, PlotMode::CurrentDrawing, {"D:\\a.dwg"}, {}, {}},
        {"preview, part", true, PlotMode::CurrentDrawingPart, {"D:\\a.dwg"}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CadScript script = ThreeFiles();
        script.files["D:\\open.dwg"] = Frames(2);
        script.files["D:\\open.dwg"].picked = {0, 1};
        script.activeDocument = "D:\\open.dwg";
        RunScene run(script);
        run.host.settings.mode = c.mode;
        for (const std::string& path : c.list)
            run.host.drawings.Add(path);
        if (c.preview)
            run.runner.Preview();
        else
            run.runner.RunPlot();
        EXPECT_TRUE(run.host.errors.empty());
        EXPECT_EQ(DocumentLifeCycle(*run.cad), c.calls);
        EXPECT_EQ(run.cad->Saved(), c.saved);
    }
}

TEST(PageText, KeepsItsBlanksExactly) {
    EXPECT_EQ(PageText(3, 12), "正在打印第 3 页   共 12 页");
    EXPECT_THROW(TemplatePath("acad.exe"), Error);
    EXPECT_EQ(TemplatePath("C:\\CAD\\acad.exe"), "C:\\CAD\\TEMPLATE\\acad.dwt");
    // Nine characters, not bytes.
    EXPECT_EQ(TemplatePath("D:\\制图软件\\制图主程.exe"), "D:\\制图软件\\TEMPLATE\\acad.dwt");
    EXPECT_THROW(TemplatePath("制图软件主程序八"), Error);
}

} // namespace
} // namespace kw
