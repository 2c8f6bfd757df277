// The plot devices' files: names, sizes, real text, and what a failing device leaves behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QStandardPaths>

#include <array>
#include <cstdio>
#include <filesystem>

#include "builtin/builtin_cad.h"
#include "builtin/plot_output.h"
#include "cad/cad_error.h"
#include "drawing/document.h"
#include "engine/frames.h"
#include "engine/plot_configuration.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace kw;
using namespace kw::builtin;
namespace fs = std::filesystem;

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    std::array<char, 4096> buffer;
    while (const std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) {
        out.append(buffer.data(), n);
    }
    pclose(pipe);
    return out;
}

std::string PdfInfo(const std::string& path) {
    return Output("pdfinfo '" + path + "' 2>&1");
}

constexpr double kPointsPerMm = 72.0 / 25.4;

// The page size pdfinfo reports, in millimetres.
std::pair<double, double> PageSizeMm(const std::string& path) {
    const std::string info = PdfInfo(path);
    const auto at = info.find("Page size:");
    double width = 0.0;
    double height = 0.0;
    if (at == std::string::npos ||
        std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &width, &height) != 2) {
        ADD_FAILURE() << info;
    }
    return {width / kPointsPerMm, height / kPointsPerMm};
}

// PDF writers give the page in whole points: within half a point of the sheet.
void ExpectSheet(const std::string& path, double widthMm, double heightMm) {
    const auto [width, height] = PageSizeMm(path);
    EXPECT_NEAR(width, widthMm, 0.5 / kPointsPerMm) << path;
    EXPECT_NEAR(height, heightMm, 0.5 / kPointsPerMm) << path;
}

// A frame 10 mm inside the sheet and a line of text, in the device's units.
PagePainter FrameAndText(const std::string& text) {
    return [text](QPainter& painter, double unitsPerMm) {
        painter.setPen(QPen(Qt::black, 0.35 * unitsPerMm));
        const QRectF sheet = painter.viewport();
        painter.drawRect(
            sheet.adjusted(10 * unitsPerMm, 10 * unitsPerMm, -10 * unitsPerMm, -10 * unitsPerMm));
        QFont font;
        font.setPixelSize(static_cast<int>(5 * unitsPerMm));
        painter.setFont(font);
        painter.drawText(QPointF(20 * unitsPerMm, 30 * unitsPerMm), QString::fromStdString(text));
    };
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PdfDevice, OnePageOfExactlyTheSheetWithRealTextAndNeverOverwritten) {
    test::TempFolder folder;
    const std::string first = WritePage(folder.Path(), "plan", 1, {420.0, 297.0}, "plan-001",
                                           FrameAndText("First sheet"));
    EXPECT_EQ(first, folder.File("plan-001.pdf"));
    const std::string info = PdfInfo(first);
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    // A3 landscape, not rotated.
    ExpectSheet(first, 420.0, 297.0);
    EXPECT_NE(info.find("Page rot:        0"), std::string::npos) << info;
    EXPECT_NE(Output("pdftotext '" + first + "' -").find("First sheet"), std::string::npos);

    // The same number again: the file there keeps its content, the new page takes the next
    // free number.
    folder.Write("plan-002.pdf", "someone else's");
    const std::string again = WritePage(folder.Path(), "plan", 1, {297.0, 420.0}, "plan-001",
                                           FrameAndText("Second sheet"));
    EXPECT_EQ(again, folder.File("plan-003.pdf"));
    EXPECT_NE(Output("pdftotext '" + first + "' -").find("First sheet"), std::string::npos);
    EXPECT_EQ(folder.Read("plan-002.pdf"), "someone else's");
    ExpectSheet(again, 297.0, 420.0);

    // A lengthened sheet has no standard name; the page is still exactly its size.
    const std::string longSheet =
        WritePage(folder.Path(), "plan", 7, {891.0, 420.0}, "plan-007", FrameAndText("A3x3"));
    EXPECT_EQ(longSheet, folder.File("plan-007.pdf"));
    ExpectSheet(longSheet, 891.0, 420.0);

    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"plan-001.pdf", "plan-002.pdf",
                                                                "plan-003.pdf", "plan-007.pdf"}));
}

TEST(PdfDevice, PagesGoToTheChosenFolderTheDrawingsFolderOrTheDocumentsFolder) {
    EXPECT_EQ(PdfFolder("/srv/plots", "/home/a/plan.dxf"), "/srv/plots");
    EXPECT_EQ(PdfFolder("", "/home/a/plan.dxf"), "/home/a");
    EXPECT_EQ(PdfFolder("", "plan.dxf"), ".");
    EXPECT_EQ(PdfFolder("", ""),
              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString());
    EXPECT_EQ(PageFileName("plan", 12), "plan-012.pdf");
    EXPECT_EQ(PageFileName("plan", 1234), "plan-1234.pdf");

    // A chosen folder that is not there yet is made.
    test::TempFolder folder;
    const std::string nested = folder.File("plots/today");
    EXPECT_EQ(WritePage(nested, "plan", 2, {297.0, 210.0}, "t", FrameAndText("x")),
              nested + "/plan-002.pdf");
}

TEST(PdfDevice, AFailingFolderOrDiskSaysWhatAndWhereAndLeavesNothing) {
    test::TempFolder folder;
    folder.Write("notes.txt", "a file, not a folder");
    const std::string impossible = folder.File("notes.txt/plots");
    try {
        WritePage(impossible, "plan", 1, {420.0, 297.0}, "t", FrameAndText("x"));
        ADD_FAILURE() << "a folder under a file was accepted";
    } catch (const CadError& failure) {
        EXPECT_EQ(failure.Number(), errors::kSystemPathNotFound);
        EXPECT_NE(failure.Description().find(impossible), std::string::npos)
            << failure.Description();
    }

    if (geteuid() != 0) { // root writes into any folder
        const std::string locked = folder.File("locked");
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        try {
            WritePage(locked, "plan", 1, {420.0, 297.0}, "t", FrameAndText("x"));
            ADD_FAILURE() << "a read-only folder was written";
        } catch (const CadError& failure) {
            EXPECT_EQ(failure.Number(), errors::kAccessDenied);
            EXPECT_NE(failure.Description().find(locked), std::string::npos);
        }
        fs::permissions(locked, fs::perms::owner_all);
        EXPECT_TRUE(fs::is_empty(locked));
    }

    // A device that takes no more bytes, as a full disk does.
    QFile full(QStringLiteral("/dev/full"));
    ASSERT_TRUE(full.open(QIODevice::WriteOnly));
    try {
        PaintPdf(full, "/dev/full", {420.0, 297.0}, "t", FrameAndText("x"));
        ADD_FAILURE() << "a full device took the page";
    } catch (const CadError& failure) {
        EXPECT_EQ(failure.Number(), errors::kWriteFault);
        EXPECT_NE(failure.Description().find("/dev/full"), std::string::npos);
        EXPECT_NE(failure.Description().find("No space left on device"), std::string::npos)
            << failure.Description();
    }
    for (const std::string& name : FilesIn(folder.Path())) {
        EXPECT_TRUE(name == "notes.txt" || name == "locked") << "left behind: " << name;
    }
}

TEST(PrinterDevice, AnUnknownPrinterIsNamedInTheFailure) {
    try {
        PrintPage("No Such Printer 42", {420.0, 297.0}, 1, "t", FrameAndText("x"));
        ADD_FAILURE() << "an unknown printer took the page";
    } catch (const CadError& failure) {
        EXPECT_EQ(failure.Number(), errors::kInvalidPrinter);
        EXPECT_NE(failure.Description().find("No Such Printer 42"), std::string::npos);
    }
}

// The built-in CAD's typed plot jobs as a run sends them: each job a page of its drawing, numbered
// from 1 since the drawing was opened, or named; its folder the run's, the drawing's, or the
// user's documents; its settings kept in the layout, as the layout's members would keep them.
TEST(BuiltinPlotJob, EachJobIsTheNextPageOfItsDrawingOrNamedAndUnsavedDrawingsGoToDocuments) {
    test::TempFolder folder;
    const std::string drawing = folder.File("plan.dxf");
    fs::copy_file(std::string(KW_DRAWING_TESTDATA) + "/frames/frames_r2000_gbk.dxf", drawing);
    // The documents folder of a user whose home is the test's folder.
    const QByteArray home = qgetenv("HOME");
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(folder.File("home")));
    qunsetenv("XDG_CONFIG_HOME");

    BuiltinOptions options;
    options.printers = [] { return std::vector<SystemPrinter>{}; };
    BuiltinApplication app(options);

    PlotSettings settings;
    settings.printerName = kPdfDevice;
    settings.paperName = "ISO_A3_(420.00_x_297.00_MM)";
    settings.frameLength = "380";
    const auto document = app.Documents()->Open(drawing);
    const auto layout = document->ActiveLayout();
    PrepareLayout(*layout, settings, PaperTable{});
    const auto frames = FindFrames(*document, settings);
    ASSERT_EQ(frames.size(), 3u);
    const auto jobOf = [&](const FrameExtent& frame, std::int16_t copies,
                           const std::string& folderName = {}, const std::string& name = {}) {
        PlotJob job = FrameJob(frame, settings);
        job.copies = copies;
        job.folder = folderName;
        job.pageName = name;
        return job;
    };
    const auto jobs = document->JobPlotter();
    ASSERT_TRUE(jobs);
    const PlottedPage first = jobs->Plot(jobOf(frames[0], 2));
    const PlottedPage second = jobs->Plot(jobOf(frames[1], 2));
    EXPECT_EQ(first.file, folder.File("plan-001.pdf"));
    EXPECT_EQ(second.file, folder.File("plan-002.pdf"));
    EXPECT_EQ(second.copies, 2);
    EXPECT_EQ(second.device, kPdfDevice);
    ExpectSheet(second.file, 420.0, 297.0);
    const drawing::LayoutPlotSettings& kept =
        DrawingOf(*document)->layouts.at(DrawingOf(*document)->ActiveLayoutIndex()).plotSettings;
    const PlotJob sent = jobOf(frames[1], 2);
    EXPECT_EQ(kept.windowMinX, sent.lowerLeft.x);
    EXPECT_EQ(kept.windowMaxY, sent.upperRight.y);
    EXPECT_EQ(kept.customScaleDrawing, sent.drawingUnits);

    // A folder the run chose takes the place of the drawing's own.
    const std::string chosen = folder.File("chosen");
    fs::create_directory(chosen);
    EXPECT_EQ(jobs->Plot(jobOf(frames[2], 1, chosen)).file,
              (fs::path(chosen) / "plan-003.pdf").string());

    // A named page on a sheet the device knows only by the size the job gives.
    PlotJob named = jobOf(frames[0], 1, chosen, "首页");
    named.paper = JobPaper{"Frame_sheet", 500.0, 300.0};
    const PlottedPage namedPage = jobs->Plot(named);
    EXPECT_EQ(namedPage.file, (fs::path(chosen) / "首页.pdf").string());
    ExpectSheet(namedPage.file, 500.0, 300.0);
    // Told through the layout's member, that name is no paper of the device.
    EXPECT_THROW(layout->PutCanonicalMediaName("Frame_sheet"), CadError);

    // A drawing without a file yet.
    const auto unsaved = app.Documents()->Add();
    const auto unsavedLayout = unsaved->ActiveLayout();
    PrepareLayout(*unsavedLayout, settings, PaperTable{});
    const PlottedPage unsavedPage = unsaved->JobPlotter()->Plot(jobOf(frames[0], 1));
    const std::string documents =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    EXPECT_EQ(documents.rfind(folder.File("home"), 0), 0u) << documents;
    EXPECT_EQ(fs::path(unsavedPage.file).parent_path(), fs::path(documents));
    EXPECT_EQ(fs::path(unsavedPage.file).filename().string().find("-001.pdf"), 8u)
        << unsavedPage.file;

    // Settings that give no page fail before anything is written, and say so on the command line.
    const auto blank = app.Documents()->Add();
    blank->ActiveLayout()->PutConfigName(kPdfDevice);
    try {
        blank->Plot()->PlotToDevice();
        ADD_FAILURE() << "a layout without a window was plotted";
    } catch (const CadError& failure) {
        EXPECT_EQ(failure.Number(), errors::kInvalidArgument) << failure.Description();
        EXPECT_EQ(app.CommandLine().back(), "打印失败：" + failure.Description());
    }

    qputenv("HOME", home);
    if (!xdg.isEmpty()) {
        qputenv("XDG_CONFIG_HOME", xdg);
    }
}

} // namespace

int main(int argc, char** argv) {
    // Text needs the font database of a GUI application; no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
