#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "builtin/builtin_cad.h"
#include "cad/cad_session.h"
#include "cad/catalogs.h"
#include "drawing/dxf_io.h"
#include "engine/frames.h"
#include "engine/plot_configuration.h"
#include "engine/plot_run.h"
#include "style_table_files.h"

namespace kw::builtin {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The frame drawings shared with the drawing library's tests.
fs::path Fixture(const std::string& name) {
    for (const fs::path& folder : {fs::path(KW_DRAWING_TESTDATA) / "frames",
                                   fs::path(KW_DRAWING_TESTDATA), fs::path(KW_BUILTIN_TESTDATA)}) {
        if (fs::exists(folder / name)) {
            return folder / name;
        }
    }
    ADD_FAILURE() << "fixture missing: " << name;
    return name;
}

template <typename F> std::int32_t ErrorNumber(F&& call) {
    try {
        call();
    } catch (const CadError& failure) {
        return failure.Number();
    }
    return 0;
}

// An application whose program folder holds the installed template, with one fake printer, and a
// scratch folder for drawings the test may change.
class BuiltinCad : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        m_root = fs::temp_directory_path() / ("kw_builtin_" + std::to_string(random()));
        fs::create_directories(m_root / "program" / "TEMPLATE");
        fs::copy_file(KW_CAD_TEMPLATE, m_root / "program" / "TEMPLATE" / "acad.dwt");
        fs::create_directories(m_root / "work");
        BuiltinOptions options;
        options.programFolder = (m_root / "program").string();
        options.printers = [] {
            return std::vector<SystemPrinter>{{"Office A4", {{210.0, 297.0}}}};
        };
        app = std::make_shared<BuiltinApplication>(options);
    }
    void TearDown() override {
        app.reset();
        std::error_code ignored;
        fs::permissions(m_root / "work", fs::perms::owner_all, ignored);
        fs::remove_all(m_root, ignored);
    }

    // A copy of a fixture in the scratch folder.
    std::string WorkCopy(const std::string& name) {
        const fs::path copy = m_root / "work" / name;
        fs::copy_file(Fixture(name), copy, fs::copy_options::overwrite_existing);
        return copy.string();
    }
    fs::path Work() const { return m_root / "work"; }

    std::shared_ptr<BuiltinApplication> app;

private:
    fs::path m_root;
};

TEST_F(BuiltinCad, WithoutDrawingActiveDocumentFailsButNotAsAMissingMember) {
    EXPECT_EQ(app->Caption(), "Kestrelwick CAD");
    const std::int32_t number = ErrorNumber([&] { app->ActiveDocument(); });
    EXPECT_NE(number, 0);
    EXPECT_NE(number, errors::kMemberNotFound);
}

TEST_F(BuiltinCad, TemplateRuleOfTheRunsFindsTheInstalledTemplate) {
    const std::string fullName = app->FullName();
    EXPECT_EQ(fs::path(fullName).filename(), "kwcad.exe");
    // The run joins with a backslash; the built-in CAD takes either separator.
    const auto document = app->Documents()->Add(TemplatePath(fullName));
    EXPECT_EQ(app->Caption(), "Kestrelwick CAD - [Drawing1.dxf]");
    EXPECT_EQ(document->ActiveSpace(), 1);
    app->Documents()->Add();
    EXPECT_EQ(app->Caption(), "Kestrelwick CAD - [Drawing2.dxf]");
    EXPECT_EQ(app->DocumentCount(), 2u);

    // A new drawing has no file: closing it with save fails and keeps it open.
    EXPECT_EQ(ErrorNumber([&] { app->ActiveDocument()->Close(true); }), errors::kCannotSave);
    app->ActiveDocument()->Close(false);
    EXPECT_EQ(app->Caption(), "Kestrelwick CAD - [Drawing1.dxf]");
}

TEST(BuiltinInstalled, TemplateAndStyleTablesAreFoundInTheDataFolder) {
    // An installed program: the executable in <prefix>/bin, its files in share/kestrelwick.
    std::random_device random;
    const fs::path prefix =
        fs::temp_directory_path() / ("kw_installed_" + std::to_string(random()));
    const fs::path data = prefix / "share" / "kestrelwick";
    fs::create_directories(prefix / "bin");
    fs::create_directories(data / "TEMPLATE");
    fs::create_directories(data / kStyleFolderName);
    fs::copy_file(KW_CAD_TEMPLATE, data / "TEMPLATE" / "acad.dwt");
    test::WriteFile(data / kStyleFolderName / "Company.ctb",
                    test::CompressedTable("CTBVER1", test::BlueAci1Text()));
    BuiltinOptions options;
    options.programFolder = (prefix / "bin").string();
    options.printers = [] { return std::vector<SystemPrinter>{}; };
    auto app = std::make_shared<BuiltinApplication>(options);

    // The runs' template rule lands on the data folder's template.
    const std::string fullName = app->FullName();
    EXPECT_EQ(fs::path(fullName).parent_path(), data);
    EXPECT_EQ(ErrorNumber([&] { app->Documents()->Add(TemplatePath(fullName)); }), 0);
    const auto layout = app->Documents()->Add()->ActiveLayout();
    const auto names = layout->GetPlotStyleTableNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Company.ctb"), names.end());
    EXPECT_EQ(ErrorNumber([&] { layout->PutStyleSheet("Company.ctb"); }), 0);
    app.reset();
    std::error_code ignored;
    fs::remove_all(prefix, ignored);
}

TEST_F(BuiltinCad, OpenRefusesDwgMissingAndBrokenFilesWithTheirReason) {
    WriteBytes(Work() / "plan.dwg", "AC1032\0\0\0\0binary");
    try {
        app->Documents()->Open((Work() / "plan.dwg").string());
        ADD_FAILURE() << "a DWG file opened";
    } catch (const CadError& failure) {
        EXPECT_NE(failure.Number(), errors::kMemberNotFound);
        EXPECT_NE(failure.Description().find("DWG"), std::string::npos) << failure.what();
    }
    EXPECT_NE(ErrorNumber([&] { app->Documents()->Open((Work() / "none.dxf").string()); }), 0);

    WriteBytes(Work() / "notes.dxf", "this is no drawing\n");
    try {
        app->Documents()->Open((Work() / "notes.dxf").string());
        ADD_FAILURE() << "a text file opened";
    } catch (const CadError& failure) {
        EXPECT_NE(failure.Description().find("notes.dxf"), std::string::npos) << failure.what();
    }
    EXPECT_EQ(app->DocumentCount(), 0u);
}

TEST_F(BuiltinCad, OpenWithWindowsSeparatorsAndTwiceGivesOneDrawing) {
    const std::string path = WorkCopy("frames_r2000_gbk.dxf");
    std::string windowsPath = path;
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    app->Documents()->Open(windowsPath);
    app->Documents()->Add();
    app->Documents()->Open(path);
    EXPECT_EQ(app->DocumentCount(), 2u);
    EXPECT_EQ(app->Caption(), "Kestrelwick CAD - [frames_r2000_gbk.dxf]");
}

TEST_F(BuiltinCad, DiscoveryFindsPolylineFramesWithTheirEntityProperties) {
    const auto document = app->Documents()->Open(Fixture("frames_r2000_gbk.dxf").string());
    PlotSettings settings; // polylines on 图框
    EXPECT_EQ(
        OrderFrames(FindFrames(*document, settings), false),
        (std::vector<FrameExtent>{{0, 0, 420, 297}, {500, 0, 920, 297}, {1000, 0, 1420, 297}}));

    const auto set = document->SelectionSets()->Add("frames");
    set->Select(5, FrameFilter(settings));
    ASSERT_EQ(set->Count(), 3);
    const auto first = set->Item(0); // file order: the third frame comes first
    EXPECT_EQ(first->EntityType(), entity_types::kLightweightPolyline);
    EXPECT_EQ(first->Layer(), "图框");
    EXPECT_EQ(first->Coordinates(), (std::vector<double>{1000, 0, 1420, 0, 1420, 297, 1000, 297}));
    Point min, max;
    first->GetBoundingBox(min, max);
    EXPECT_DOUBLE_EQ(min.x, 1000.0);
    EXPECT_DOUBLE_EQ(max.y, 297.0);
    EXPECT_EQ(ErrorNumber([&] { first->Name(); }), errors::kMemberNotFound);
    EXPECT_NE(ErrorNumber([&] { set->Item(3); }), 0);
}

TEST_F(BuiltinCad, BlockAndExternalReferencesAnswerWithTypeNameAndBox) {
    const auto blocks = app->Documents()->Open(Fixture("blocks_rmtk_r2013.dxf").string());
    const auto set = blocks->SelectionSets()->Add("1");
    set->Select(5, {{100, "AcDbBlockReference"}, {2, "rmtk"}});
    ASSERT_EQ(set->Count(), 5);
    EXPECT_EQ(set->Item(0)->EntityType(), entity_types::kBlockReference);
    EXPECT_EQ(set->Item(0)->Name(), "RmTK");
    EXPECT_EQ(ErrorNumber([&] { set->Item(0)->Coordinates(); }), errors::kMemberNotFound);

    PlotSettings settings;
    settings.frameKind = FrameKind::ExternalReference;
    const auto host = app->Documents()->Open(Fixture("xref_host_r2018.dxf").string());
    const auto frames = FindFrames(*host, settings);
    EXPECT_EQ(
        OrderFrames(frames, true),
        (std::vector<FrameExtent>{{0, 0, 420, 297}, {500, 0, 920, 297}, {0, 400, 336, 637.6}}));
    const auto xrefs = host->SelectionSets()->Add("2");
    xrefs->Select(5, FrameFilter(settings));
    ASSERT_EQ(xrefs->Count(), 3);
    EXPECT_EQ(xrefs->Item(0)->EntityType(), entity_types::kExternalReference);
    EXPECT_EQ(xrefs->Item(0)->Name(), "tk_xref");
}

TEST_F(BuiltinCad, SelectionSetNamesAreUniqueUntilDeleted) {
    const auto document = app->Documents()->Open(Fixture("frames_r2000_gbk.dxf").string());
    const auto sets = document->SelectionSets();
    const auto set = sets->Add("0.5123");
    EXPECT_EQ(ErrorNumber([&] { sets->Add("0.5123"); }), errors::kDuplicateName);
    EXPECT_EQ(ErrorNumber([&] { document->SelectionSets()->Add("A"); }), 0);
    EXPECT_EQ(ErrorNumber([&] { document->SelectionSets()->Add("a"); }), errors::kDuplicateName);
    set->Delete();
    EXPECT_NE(ErrorNumber([&] { set->Count(); }), 0);
    EXPECT_EQ(ErrorNumber([&] { sets->Add("0.5123"); }), 0);
    EXPECT_NE(ErrorNumber([&] { set->Select(1, {}); }), 0);
}

TEST_F(BuiltinCad, StyleTableMustSuitTheDrawingsPlotStyleMode) {
    const auto document = app->Documents()->Open(Fixture("frames_r2000_gbk.dxf").string());
    const auto layout = document->ActiveLayout();
    EXPECT_EQ(ErrorNumber([&] { layout->PutStyleSheet("monochrome.ctb"); }), 0);
    EXPECT_EQ(ErrorNumber([&] { layout->PutStyleSheet("acad.stb"); }), errors::kStyleTableMismatch);
    EXPECT_EQ(ErrorNumber([&] { layout->PutStyleSheet(""); }), 0);
    EXPECT_EQ(ErrorNumber([&] { layout->PutStyleSheet("nothing.ctb"); }), errors::kInvalidArgument);

    // The same drawing with named plot styles ($PSTYLEMODE 0) takes only .stb tables.
    std::string bytes = ReadBytes(Fixture("frames_r2000_gbk.dxf"));
    const auto mode = bytes.find("$PSTYLEMODE");
    ASSERT_NE(mode, std::string::npos);
    const auto value = bytes.find("290", mode);
    const auto digit = bytes.find('1', value + 3);
    ASSERT_LT(digit - mode, 40u);
    bytes[digit] = '0';
    WriteBytes(Work() / "named.dxf", bytes);
    const auto named = app->Documents()->Open((Work() / "named.dxf").string())->ActiveLayout();
    EXPECT_EQ(ErrorNumber([&] { named->PutStyleSheet("acad.stb"); }), 0);
    EXPECT_EQ(ErrorNumber([&] { named->PutStyleSheet("grayscale.ctb"); }),
              errors::kStyleTableMismatch);
}

TEST_F(BuiltinCad, StyleTableFilesOfTheStylesFoldersAreOfferedAndTaken) {
    // PlotStyles beside the program, and a folder of the options searched before it.
    const fs::path beside = fs::path(app->FullName()).parent_path() / kStyleFolderName;
    const fs::path own = Work() / "styles";
    fs::create_directories(beside);
    fs::create_directories(own);
    const std::string ctb = test::CompressedTable("CTBVER1", test::BlueAci1Text());
    test::WriteFile(beside / "Company.ctb", ctb);
    test::WriteFile(beside / "damaged.ctb", ctb.substr(0, ctb.size() / 2));
    test::WriteFile(own / "pens.stb",
                    test::CompressedTable("STBVER1", "aci_table_available=FALSE\nplot_style{\n"
                                                     " 0{\n  name=\"Normal\n }\n}\n"));
    BuiltinOptions options;
    options.programFolder = fs::path(app->FullName()).parent_path().string();
    options.printers = [] { return std::vector<SystemPrinter>{}; };
    options.styleFolders = {own.string()};
    app = std::make_shared<BuiltinApplication>(options);

    const auto layout =
        app->Documents()->Open(Fixture("frames_r2000_gbk.dxf").string())->ActiveLayout();
    const auto names = layout->GetPlotStyleTableNames();
    EXPECT_EQ(names, (std::vector<std::string>{"acad.ctb", "acad.stb", "grayscale.ctb",
                                               "monochrome.ctb", "monochrome.stb", "Company.ctb",
                                               "damaged.ctb", "pens.stb"}));
    EXPECT_EQ(ErrorNumber([&] { layout->PutStyleSheet("company.CTB"); }), 0);
    // The drawing has colour-dependent plot styles: a named table does not suit it.
    EXPECT_EQ(ErrorNumber([&] { layout->PutStyleSheet("pens.stb"); }), errors::kStyleTableMismatch);
    try {
        layout->PutStyleSheet("damaged.ctb");
        ADD_FAILURE() << "a damaged table was taken";
    } catch (const CadError& failure) {
        EXPECT_EQ(failure.Number(), errors::kInvalidArgument);
        EXPECT_NE(failure.Description().find("damaged.ctb: "), std::string::npos)
            << failure.Description();
        EXPECT_NE(failure.Description().find("cut short"), std::string::npos)
            << failure.Description();
    }
}

TEST_F(BuiltinCad, CatalogsDescribeTheDeviceOfTheLastRefresh) {
    const auto document = app->Documents()->Open(Fixture("frames_r2000_gbk.dxf").string());
    const auto layout = document->ModelSpace()->Layout();
    layout->RefreshPlotDeviceInfo();
    EXPECT_EQ(layout->GetPlotDeviceNames(),
              (std::vector<std::string>{"Kestrelwick PDF", "Office A4"}));
    layout->PutConfigName("Kestrelwick PDF");
    layout->RefreshPlotDeviceInfo();
    const std::size_t allPapers = layout->GetCanonicalMediaNames().size();

    layout->PutConfigName("Office A4");
    EXPECT_EQ(layout->GetCanonicalMediaNames().size(), allPapers); // not refreshed yet
    layout->RefreshPlotDeviceInfo();
    const auto papers = layout->GetCanonicalMediaNames();
    EXPECT_EQ(papers, (std::vector<std::string>{"ISO_A4_(297.00_x_210.00_MM)",
                                                "ISO_A4_(210.00_x_297.00_MM)"}));
    EXPECT_EQ(layout->GetLocaleMediaName(papers[1]), "ISO A4 纵向 (210.00 x 297.00 毫米)");
    EXPECT_EQ(ErrorNumber([&] { layout->PutCanonicalMediaName("ISO_A0_(1189.00_x_841.00_MM)"); }),
              errors::kInvalidArgument);
    EXPECT_EQ(ErrorNumber([&] { layout->PutConfigName("Gone printer"); }),
              errors::kInvalidArgument);
    const auto styles = layout->GetPlotStyleTableNames();
    for (const char* name : {"monochrome.ctb", "grayscale.ctb", "acad.ctb", "acad.stb"}) {
        EXPECT_NE(std::find(styles.begin(), styles.end(), name), styles.end()) << name;
    }
}

TEST_F(BuiltinCad, CloseWithSaveKeepsTheRunsPlotSettingsAndNothingElseChanges) {
    const std::string path = WorkCopy("frames_r2018_utf8.dxf");
    const std::string original = ReadBytes(path);

    // Unchanged: the file is written back byte for byte.
    app->Documents()->Open(path)->Close(true);
    EXPECT_EQ(ReadBytes(path), original);

    const auto document = app->Documents()->Open(path);
    PlotSettings settings;
    settings.printerName = "Kestrelwick PDF";
    settings.styleTable = "monochrome.ctb";
    settings.paperName = "ISO_A3_(420.00_x_297.00_MM)";
    settings.pointAllowance = "5";
    PaperTable papers;
    const auto layout = document->ActiveLayout();
    PrepareLayout(*layout, settings, papers);
    ConfigureFrame(*layout, {500, 0, 920, 297}, settings);
    document->Close(true);
    EXPECT_EQ(app->DocumentCount(), 0u);

    const drawing::Document saved = drawing::LoadDrawing(path);
    const auto& plot = saved.ActiveLayout().plotSettings;
    EXPECT_EQ(plot.configName, "Kestrelwick PDF");
    EXPECT_EQ(plot.styleSheet, "monochrome.ctb");
    EXPECT_EQ(plot.canonicalMediaName, "ISO_A3_(420.00_x_297.00_MM)");
    EXPECT_EQ(plot.paperUnits, 1);
    EXPECT_EQ(plot.plotType, 4);
    const double margin = 5.0 / 380.0 * 420.0; // 5 mm on paper in drawing units
    EXPECT_DOUBLE_EQ(plot.windowMinX, 500.0 - margin);
    EXPECT_DOUBLE_EQ(plot.windowMaxY, 297.0 + margin);
    EXPECT_DOUBLE_EQ(plot.customScalePaper, 380.0);
    EXPECT_DOUBLE_EQ(plot.customScaleDrawing, 420.0);
    EXPECT_DOUBLE_EQ(plot.plotOriginXMm, 5.0);
    EXPECT_DOUBLE_EQ(plot.plotOriginYMm, 25.0);
    EXPECT_EQ(saved.layers.size(), drawing::LoadDrawingFromBytes(original, path).layers.size());
}

TEST_F(BuiltinCad, CloseWithSaveFailsWhenTheFileCannotBeWrittenAndKeepsTheDrawingOpen) {
    const std::string path = WorkCopy("frames_r2000_gbk.dxf");
    const auto document = app->Documents()->Open(path);
    document->ActiveLayout()->PutPlotRotation(1);
    fs::remove_all(Work()); // the folder is gone: nothing can be written there, not even by root
    EXPECT_EQ(ErrorNumber([&] { document->Close(true); }), errors::kCannotSave);
    EXPECT_EQ(app->Caption(), "Kestrelwick CAD - [frames_r2000_gbk.dxf]");
    EXPECT_EQ(ErrorNumber([&] { document->ActiveLayout(); }), 0);
    document->Close(false);
    EXPECT_NE(ErrorNumber([&] { document->ActiveLayout(); }), 0); // closed objects fail
}

// A run that never saves reads drawings without the bytes of a byte-exact save: it finds the same
// frames, and a save asked of it anyway fails and leaves the file as it was.
TEST_F(BuiltinCad, DrawingsOfARunThatNeverSavesFindTheSameFramesAndRefuseASave) {
    const std::string path = WorkCopy("frames_r2018_utf8.dxf");
    const std::string original = ReadBytes(path);
    PlotSettings settings;
    const auto kept = app->Documents()->Open(path);
    const std::vector<FrameExtent> frames = FindFrames(*kept, settings);
    kept->Close(false);
    BuiltinOptions options;
    options.programFolder = fs::path(app->FullName()).parent_path().string();
    options.printers = [] { return std::vector<SystemPrinter>{}; };
    options.saveDrawings = false;
    const auto readOnly = std::make_shared<BuiltinApplication>(options);
    const auto document = readOnly->Documents()->Open(path);
    const std::vector<FrameExtent> found = FindFrames(*document, settings);
    ASSERT_EQ(found.size(), frames.size());
    ASSERT_FALSE(found.empty());
    for (std::size_t i = 0; i < found.size(); ++i)
        EXPECT_EQ(found[i].xMin, frames[i].xMin);
    document->ActiveLayout()->PutPlotRotation(1);
    EXPECT_EQ(ErrorNumber([&] { document->Close(true); }), errors::kCannotSave);
    EXPECT_EQ(ReadBytes(path), original);
    document->Close(false);
}

TEST_F(BuiltinCad, CloseWithSaveRespectsAWriteProtectedFile) {
    const std::string path = WorkCopy("frames_r2000_gbk.dxf");
    const std::string original = ReadBytes(path);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    const auto document = app->Documents()->Open(path);
    document->ActiveLayout()->PutPlotRotation(2);
    EXPECT_EQ(ErrorNumber([&] { document->Close(true); }), errors::kCannotSave);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(app->DocumentCount(), 1u);
}

TEST_F(BuiltinCad, CommandLineSetsVariablesAndPlottingWaitsForTheRenderer) {
    const auto document = app->Documents()->Add();
    EXPECT_EQ(app->Variable("BACKGROUNDPLOT"), 2);
    document->SendCommand("BACKGROUNDPLOT\r0\r");
    EXPECT_EQ(app->Variable("backgroundplot"), 0);
    document->SendCommand("SETVAR BACKGROUNDPLOT 1 ");
    EXPECT_EQ(app->Variable("BACKGROUNDPLOT"), 1);
    document->SendCommand("NOSUCHCOMMAND\r");
    EXPECT_EQ(app->Variable("BACKGROUNDPLOT"), 1);
    document->Utility()->Prompt(kPickPrompt);
    EXPECT_EQ(app->CommandLine().back(), kPickPrompt);

    EXPECT_NE(ErrorNumber([&] { document->Plot()->PlotToDevice(); }), errors::kMemberNotFound);
}

TEST(BuiltinSession, GetPrinterListWithoutDrawingAddsOneAndFillsTheLists) {
    BuiltinOptions options;
    options.programFolder = fs::path(KW_CAD_TEMPLATE).parent_path().string(); // no TEMPLATE here
    options.printers = [] { return std::vector<SystemPrinter>{}; };
    auto backend = std::make_shared<BuiltinBackend>(options);
    std::vector<std::string> messages;
    CadSession session([backend] { return backend; },
                       [&](const std::string& text) { messages.push_back(text); });

    struct View : CatalogView {
        std::vector<std::string> lists[3];
        bool enabled = false;
        std::vector<std::string> errors;
        void ClearList(CatalogList list) override { lists[int(list)].clear(); }
        void AddToList(CatalogList list, const std::string& name) override {
            lists[int(list)].push_back(name);
        }
        std::string PrinterText() override { return "Kestrelwick PDF"; }
        void EnableRunCommands() override { enabled = true; }
        void SetOffsets(const std::string&, const std::string&) override {}
        void SetPortrait(bool) override {}
        void ShowError(const std::string& text) override { errors.push_back(text); }
    } view;
    GetPrinterList(session, view);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(view.errors.empty());
    EXPECT_TRUE(view.enabled);
    EXPECT_EQ(view.lists[0], (std::vector<std::string>{"Kestrelwick PDF"}));
    EXPECT_FALSE(view.lists[1].empty());
    EXPECT_EQ(backend->Application()->DocumentCount(), 1u);
    EXPECT_EQ(backend->Application()->Variable("BACKGROUNDPLOT"), 0);
    EXPECT_TRUE(backend->Application()->Visible());

    // Choose printer maps display names back to canonical ones.
    PaperTable papers;
    ChoosePrinter(session, view, papers, PrinterTable{});
    ASSERT_GT(papers.PaperCount(), 0);
    EXPECT_EQ(papers.CanonicalName("ISO A3 横向 (420.00 x 297.00 毫米)"),
              "ISO_A3_(420.00_x_297.00_MM)");
    EXPECT_EQ(view.lists[1].front(), papers.Entry(1).displayName);
}

} // namespace
} // namespace kw::builtin
