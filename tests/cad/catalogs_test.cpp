#include <gtest/gtest.h>

#include "cad/catalogs.h"
#include "cad/messages.h"
#include "tests/support/recorders.h"
#include "tests/support/substitute_cad.h"

namespace kw {
namespace {

using test::CadScript;
using test::RecordingCatalogView;
using test::SubstituteCad;

struct Catalogs {
    std::shared_ptr<SubstituteCad> cad;
    CadSession session;
    RecordingCatalogView view;
    PaperTable papers;
    PrinterTable printers;

    explicit Catalogs(CadScript script)
        : cad(std::make_shared<SubstituteCad>(std::move(script))),
          session([this] { return cad; }, [](const std::string&) {}) {}
    std::vector<std::string> CallsAfterConnect() {
        std::vector<std::string> calls = cad->Calls();
        calls.erase(calls.begin(), calls.begin() + 4); // Attach, Visible, ActiveDocument, Utility
        return calls;
    }
};

CadScript WithDrawing() {
    CadScript script;
    script.activeDocument = "D:\\a.dwg";
    return script;
}

TEST(GetPrinterList, FillsTheThreeListsFromModelSpaceAndSwitchesBackgroundPlottingOff) {
    Catalogs catalogs(WithDrawing());
    GetPrinterList(catalogs.session, catalogs.view);
    EXPECT_EQ(catalogs.CallsAfterConnect(),
              (std::vector<std::string>{
                  "Application.ActiveDocument", "Document.ModelSpace", "ModelSpace.Layout",
                  "Layout.RefreshPlotDeviceInfo", "Layout.GetPlotDeviceNames",
                  "Application.ActiveDocument", "Document.ModelSpace", "ModelSpace.Layout",
                  "Layout.RefreshPlotDeviceInfo", "Layout.GetCanonicalMediaNames",
                  "Layout.GetPlotStyleTableNames", "Application.ActiveDocument",
                  "Document.SendCommand=BACKGROUNDPLOT\r0\r"}));
    EXPECT_EQ(catalogs.view.printers,
              (std::vector<std::string>{"DWF6 ePlot.pc3", "Office Plotter"}));
    EXPECT_EQ(catalogs.view.papers, (std::vector<std::string>{"ISO_A4_(210.00_x_297.00_MM)",
                                                              "ISO_A3_(420.00_x_297.00_MM)"}));
    EXPECT_EQ(catalogs.view.styleTables, (std::vector<std::string>{"acad.ctb", "monochrome.ctb"}));
    EXPECT_TRUE(catalogs.view.runCommandsEnabled);
    EXPECT_EQ(catalogs.papers.PaperCount(), 0);

    // Asking again lists every name once.
    GetPrinterList(catalogs.session, catalogs.view);
    EXPECT_EQ(catalogs.view.printers.size(), 2u);
    EXPECT_TRUE(catalogs.view.errors.empty());
}

TEST(GetPrinterList, WithoutADrawingAddsOneAndReadsTheListsFromIt) {
    Catalogs catalogs{CadScript()};
    GetPrinterList(catalogs.session, catalogs.view);
    EXPECT_EQ(catalogs.cad->CallsStartingWith("Documents."),
              (std::vector<std::string>{"Documents.Add"}));
    EXPECT_EQ(catalogs.view.printers.size(), 2u) << "no name twice after the second attempt";
    EXPECT_TRUE(catalogs.view.runCommandsEnabled);
    EXPECT_TRUE(catalogs.view.errors.empty());
}

TEST(GetPrinterList, TheSecondAttemptStartsFromEmptyLists) {
    // The first attempt fails after the printers and papers are listed.
    CadScript script = WithDrawing();
    script.failures["Layout.GetPlotStyleTableNames"] = {-2147467259, "no style tables", 1};
    Catalogs catalogs(script);
    GetPrinterList(catalogs.session, catalogs.view);
    EXPECT_EQ(catalogs.cad->CallsStartingWith("Documents."),
              (std::vector<std::string>{"Documents.Add"}));
    EXPECT_EQ(catalogs.view.printers,
              (std::vector<std::string>{"DWF6 ePlot.pc3", "Office Plotter"}));
    EXPECT_EQ(catalogs.view.papers.size(), 2u);
    EXPECT_EQ(catalogs.view.styleTables, (std::vector<std::string>{"acad.ctb", "monochrome.ctb"}));
    EXPECT_TRUE(catalogs.view.runCommandsEnabled);
    EXPECT_TRUE(catalogs.view.errors.empty());
}

TEST(GetPrinterList, AnOldReleaseGetsTheReleaseMessageAndRunsStayDisabled) {
    CadScript script = WithDrawing();
    script.missing.insert("Layout.RefreshPlotDeviceInfo");
    Catalogs catalogs(script);
    GetPrinterList(catalogs.session, catalogs.view);
    EXPECT_EQ(catalogs.view.errors, (std::vector<std::string>{"程序仅支持R2000以上版本！"}));
    EXPECT_FALSE(catalogs.view.runCommandsEnabled);
    EXPECT_TRUE(catalogs.cad->CallsStartingWith("Documents.").empty());
}

TEST(GetPrinterList, AFailureOfTheSecondAttemptIsReportedNotThrown) {
    CadScript unreachable;
    unreachable.running = false;
    unreachable.canStart = false;
    Catalogs catalogs(unreachable);
    EXPECT_NO_THROW(GetPrinterList(catalogs.session, catalogs.view));
    EXPECT_EQ(catalogs.view.errors, (std::vector<std::string>{"操作不当或其它未知错误：91"}));
    EXPECT_FALSE(catalogs.view.runCommandsEnabled);

    CadScript addFails;
    addFails.failures["Documents.Add"] = {-2147467259, "cannot add"};
    Catalogs second(addFails);
    EXPECT_NO_THROW(GetPrinterList(second.session, second.view));
    EXPECT_EQ(second.view.errors,
              (std::vector<std::string>{"操作不当或其它未知错误：-2147467259"}));
}

TEST(ChoosePrinter, FillsThePaperTableWithDisplayNamesAndAppliesTheRecord) {
    Catalogs catalogs(WithDrawing());
    catalogs.view.printerText = "Office Plotter";
    catalogs.view.papers = {"stale"};
    catalogs.printers.records = {{"Office Plotter", "7", "9", "True"},
                                 {"Office Plotter", "1", "1", "False"}};
    ChoosePrinter(catalogs.session, catalogs.view, catalogs.papers, catalogs.printers);
    EXPECT_EQ(catalogs.CallsAfterConnect(),
              (std::vector<std::string>{
                  "Application.ActiveDocument", "Document.ActiveLayout",
                  "Layout.ConfigName=Office Plotter", "Application.ActiveDocument",
                  "Document.ActiveSpace", "Document.ModelSpace", "ModelSpace.Layout",
                  "Layout.RefreshPlotDeviceInfo", "Layout.GetCanonicalMediaNames",
                  "Layout.GetLocaleMediaName=ISO_A4_(210.00_x_297.00_MM)",
                  "Layout.GetLocaleMediaName=ISO_A3_(420.00_x_297.00_MM)"}));
    EXPECT_EQ(catalogs.view.papers, (std::vector<std::string>{"ISO A4 (210.00 x 297.00 毫米)",
                                                              "ISO A3 (420.00 x 297.00 毫米)"}));
    EXPECT_EQ(catalogs.papers.PaperCount(), 2);
    EXPECT_EQ(catalogs.papers.Entry(2).canonicalName, "ISO_A3_(420.00_x_297.00_MM)");
    EXPECT_EQ(catalogs.view.offsetX, "7");
    EXPECT_EQ(catalogs.view.offsetY, "9");
    EXPECT_TRUE(catalogs.view.portrait);
    EXPECT_TRUE(catalogs.view.errors.empty());
}

TEST(ChoosePrinter, UsesPaperSpaceWhenItIsActiveAndKeepsFieldsWithoutARecord) {
    CadScript script = WithDrawing();
    script.files["D:\\a.dwg"].activeSpace = 0;
    Catalogs catalogs(script);
    catalogs.view.printerText = "Unknown";
    catalogs.view.portrait = true;
    ChoosePrinter(catalogs.session, catalogs.view, catalogs.papers, catalogs.printers);
    EXPECT_EQ(catalogs.cad->CallsStartingWith("PaperSpace."),
              (std::vector<std::string>{"PaperSpace.Layout"}));
    EXPECT_TRUE(catalogs.cad->CallsStartingWith("ModelSpace.").empty());
    EXPECT_EQ(catalogs.view.offsetX, "5");
    EXPECT_TRUE(catalogs.view.portrait);
}

TEST(ChoosePrinter, EveryFailureGivesTheSettingsMessage) {
    {
        Catalogs catalogs(WithDrawing());
        catalogs.view.printerText = "P";
        catalogs.printers.records = {{"P", "3", "4", "yes"}};
        ChoosePrinter(catalogs.session, catalogs.view, catalogs.papers, catalogs.printers);
        EXPECT_EQ(catalogs.view.errors, (std::vector<std::string>{"操作不当或设置文件格式有误！"}));
        EXPECT_EQ(catalogs.view.offsetX, "3") << "what the boxes received stays";
        EXPECT_EQ(catalogs.papers.PaperCount(), 2);
    }
    {
        CadScript script = WithDrawing();
        script.papers.clear();
        for (int i = 0; i < 2001; ++i)
            script.papers.push_back({"P" + std::to_string(i), "Paper " + std::to_string(i)});
        Catalogs catalogs(script);
        catalogs.papers.SetPaperCount(7);
        ChoosePrinter(catalogs.session, catalogs.view, catalogs.papers, catalogs.printers);
        EXPECT_EQ(catalogs.view.errors, (std::vector<std::string>{"操作不当或设置文件格式有误！"}));
        EXPECT_EQ(catalogs.papers.PaperCount(), 7) << "the count is set only when all are stored";
        EXPECT_EQ(catalogs.papers.Entry(2000).displayName, "Paper 1999");
    }
    {
        CadScript script = WithDrawing();
        script.failures["Layout.ConfigName"] = {-2145386420, "invalid device"};
        Catalogs catalogs(script);
        ChoosePrinter(catalogs.session, catalogs.view, catalogs.papers, catalogs.printers);
        EXPECT_EQ(catalogs.view.errors, (std::vector<std::string>{"操作不当或设置文件格式有误！"}));
    }
}

TEST(PaperTable, MapsTheFirstMatchingDisplayNameAndPassesOtherTextsOn) {
    PaperTable papers;
    papers.Store(1, {"A4", "ISO A4"});
    papers.Store(2, {"A3", "ISO A3"});
    papers.Store(3, {"A3-extra", "ISO A3"});
    papers.Store(4, {"Stale", "Left over"});
    papers.SetPaperCount(3);
    EXPECT_EQ(papers.CanonicalName("ISO A3"), "A3");
    EXPECT_EQ(papers.CanonicalName("iso a3"), "iso a3");
    EXPECT_EQ(papers.CanonicalName("Left over"), "Left over") << "entries past the count are stale";
    EXPECT_EQ(papers.CanonicalName("ISO_A1_(841.00_x_594.00_MM)"), "ISO_A1_(841.00_x_594.00_MM)");
    EXPECT_THROW(papers.Store(2001, {}), Error);
}

TEST(Messages, EachErrorNumberHasItsMessage) {
    EXPECT_EQ(MessageForError(438), "程序仅支持R2000以上版本！");
    EXPECT_EQ(MessageForError(-2145320861), "文件已打开，不能保存！");
    EXPECT_EQ(MessageForError(-2145386493), "执行命令【convertpstyles】转换打印样式表类型！");
    EXPECT_EQ(MessageForError(91), "操作不当或其它未知错误：91");
    EXPECT_EQ(MessageForError(-2147467259), "操作不当或其它未知错误：-2147467259");
}

} // namespace
} // namespace kw
