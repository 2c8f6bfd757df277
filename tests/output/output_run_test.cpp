// kestrelwick-plot with the output options, measured on a drawing of known sheets: page sizes
// from pdfinfo, lengths and orientation on pages rasterised by pdftoppm, bookmarks read back by
// qpdf, the catalogue's CSV and XLSX read back.

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "base/error.h"
#include "output/catalogue_xlsx.h"
#include "output/output_run.h"
#include "tests/builtin/command_runner.h"
#include "tests/output/sheet_drawing.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

namespace fs = std::filesystem;
using test::Quoted;
using test::RunCommand;
using test::RunShell;

constexpr double kMmPerPoint = 25.4 / 72.0;

struct PlotRun {
    test::TempFolder folder;
    test::CommandResult result;
    std::string err;

    explicit PlotRun(const std::string& options,
                     test::SheetDrawing drawing = test::MeasuredDrawing()) {
        drawing.Write(folder.File("sheets.dxf"));
        result =
            RunCommand(options + " --log " + Quoted(folder.File("run.jsonl")) + " --output " +
                           Quoted(folder.File("plots")) + " " + Quoted(folder.File("sheets.dxf")),
                       &err, folder.File("settings"));
    }
    fs::path Plot(const std::string& name) const { return fs::path(folder.File("plots")) / name; }
    // The run log's records, one line each.
    std::vector<std::string> LogRecords() const {
        std::ifstream log(folder.File("run.jsonl"));
        std::vector<std::string> records;
        for (std::string line; std::getline(log, line);) {
            records.push_back(line);
        }
        return records;
    }
};

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Page sizes in millimetres as pdfinfo reports them.
std::vector<std::pair<double, double>> PageSizes(const fs::path& pdf) {
    const auto info = RunShell("pdfinfo -f 1 -l 99 " + Quoted(pdf));
    std::vector<std::pair<double, double>> sizes;
    const std::regex size(R"(Page\s+\d+ size:\s+([0-9.]+) x ([0-9.]+) pts)");
    for (std::sregex_iterator it(info.out.begin(), info.out.end(), size), end; it != end; ++it) {
        sizes.emplace_back(std::stod((*it)[1]) * kMmPerPoint, std::stod((*it)[2]) * kMmPerPoint);
    }
    return sizes;
}

// Every page of the PDF is the size expected, within half a millimetre.
void ExpectPageSizes(const fs::path& pdf, const std::vector<std::pair<double, double>>& expected) {
    const auto sizes = PageSizes(pdf);
    ASSERT_EQ(sizes.size(), expected.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_NEAR(sizes[i].first, expected[i].first, 0.5) << "page " << i + 1;
        EXPECT_NEAR(sizes[i].second, expected[i].second, 0.5) << "page " << i + 1;
    }
}

// A greyscale part of a page, y down from the crop's top edge.
struct Raster {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    bool Ink(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height &&
               pixels[static_cast<std::size_t>(y) * width + x] < 128;
    }
};

// Page `page` at `pixelsPerMm`, cropped to the rectangle (millimetres from the top-left corner).
std::optional<Raster> Rasterise(const fs::path& pdf, int page, int pixelsPerMm, double xMm,
                                double yMm, double wMm, double hMm) {
    const fs::path stem = pdf.parent_path() / ("raster" + std::to_string(page));
    std::ostringstream command;
    command << "pdftoppm -gray -singlefile -f " << page << " -l " << page << " -r "
            << pixelsPerMm * 25.4 << " -x " << std::lround(xMm * pixelsPerMm) << " -y "
            << std::lround(yMm * pixelsPerMm) << " -W " << std::lround(wMm * pixelsPerMm) << " -H "
            << std::lround(hMm * pixelsPerMm) << " " << Quoted(pdf) << " " << Quoted(stem);
    if (RunShell(command.str()).status != 0) {
        return std::nullopt;
    }
    std::ifstream in(stem.string() + ".pgm", std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Raster raster;
    if (!(in >> magic >> raster.width >> raster.height >> maxValue) || magic != "P5") {
        return std::nullopt;
    }
    in.get();
    raster.pixels.resize(static_cast<std::size_t>(raster.width) * raster.height);
    in.read(reinterpret_cast<char*>(raster.pixels.data()),
            static_cast<std::streamsize>(raster.pixels.size()));
    return raster;
}

// The middles of the strokes a row crosses, in pixels.
std::vector<double> StrokeMiddles(const Raster& raster, int y) {
    std::vector<double> middles;
    for (int x = 0; x < raster.width;) {
        if (!raster.Ink(x, y)) {
            ++x;
            continue;
        }
        int end = x;
        while (raster.Ink(end, y)) {
            ++end;
        }
        middles.push_back((x + end) / 2.0);
        x = end;
    }
    return middles;
}

int InkCount(const Raster& raster) {
    int count = 0;
    for (int y = 0; y < raster.height; ++y)
        for (int x = 0; x < raster.width; ++x)
            count += raster.Ink(x, y) ? 1 : 0;
    return count;
}

std::vector<std::string> Bookmarks(const fs::path& pdf) {
    QPDF document;
    document.processFile(pdf.string().c_str());
    QPDFOutlineDocumentHelper outlines(document);
    std::vector<std::string> titles;
    for (auto& item : outlines.getTopLevelOutlines()) {
        titles.push_back(item.getTitle());
    }
    return titles;
}

std::vector<std::string> CsvLines(const fs::path& csv) {
    std::ifstream in(csv, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

TEST(OutputRun, EveryFrameOnItsOwnSheetAtTrueScaleMergedWithBookmarksAndCatalogued) {
    const PlotRun run(
        "--paper auto --name '{图号}_{图名}' --merge drawing --catalogue csv,xlsx,pdf");
    ASSERT_EQ(run.result.status, 0) << run.err;
    const fs::path merged = run.Plot("sheets.pdf");
    EXPECT_NE(run.result.out.find(merged.string() + "\t5"), std::string::npos) << run.result.out;
    EXPECT_FALSE(fs::exists(run.Plot(".图纸目录.pdf"))); // the catalogue page's file is gone
    // The catalogue is the merged PDF's first page; the frames' pages follow it.
    const auto first = RunShell("pdftotext -f 1 -l 1 " + Quoted(merged) + " -").out;
    // Every character as it is, none as a look-alike (目 as the radical ⽬, 一 as ⼀).
    for (const char* text : {"图纸目录", "S-01_总平面图", "S-02_一层平面图", "S-05", "A1×1¼",
                             "1:100", "共计", "3.25"}) {
        EXPECT_NE(first.find(text), std::string::npos) << text << " not in\n" << first;
    }
    // The page files stay beside it: the run log names them.
    EXPECT_TRUE(fs::exists(run.Plot("S-01_总平面图.pdf")));

    // A3, A1, A1×1¼, A2 portrait; the 900 × 630 frame on the panel's paper (A3).
    ExpectPageSizes(merged, {{210, 297}, {420, 297}, {841, 594}, {1051, 594}, {420, 594}, {420, 297}});
    EXPECT_NE(run.err.find("sheets.dxf 第 5 个图框：不是标准图幅"), std::string::npos) << run.err;
    // The run log: each page's paper, and the fallback said of the fifth.
    const std::vector<std::string> records = run.LogRecords();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_NE(records[2].find("\"paper\":\"GB_A1x1.25_(1051.00_x_594.00_MM)\""), std::string::npos);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(records[i].find("\"note\":\"不是标准图幅") != std::string::npos, i == 4)
            << records[i];
    }

    // The 10 m line of the 1:100 A1 sheet: its end ticks 100 mm apart. They stand 190-210 mm
    // above the sheet's bottom edge, 100 and 200 mm from its left edge.
    constexpr int kPixelsPerMm = 20;
    const auto line = Rasterise(merged, 3, kPixelsPerMm, 90, 594 - 215, 120, 30);
    ASSERT_TRUE(line);
    const auto ticks = StrokeMiddles(*line, 10 * kPixelsPerMm); // 5 mm above the line
    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_NEAR((ticks[1] - ticks[0]) / kPixelsPerMm, 100.0, 0.2);
    EXPECT_NEAR(ticks[0] / kPixelsPerMm + 90, 100.0, 0.5);

    // The portrait A2: the bar drawn along the frame's top is at the top of the page.
    const auto top = Rasterise(merged, 5, 2, 30, 20, 100, 10);
    const auto bottom = Rasterise(merged, 5, 2, 30, 594 - 30, 100, 10);
    ASSERT_TRUE(top && bottom);
    EXPECT_GT(InkCount(*top), 100 * 2 * 5);
    EXPECT_EQ(InkCount(*bottom), 0);

    EXPECT_EQ(Bookmarks(merged),
              (std::vector<std::string>{"图纸目录", "S-01_总平面图", "S-02_一层平面图",
                                        "S-03_立面图", "S-04_剖面详图", "S-05_总说明"}));
    const auto info = RunShell("pdfinfo " + Quoted(merged)).out;
    EXPECT_NE(info.find("Title:           sheets"), std::string::npos) << info;
    EXPECT_NE(info.find("Creator:         Kestrelwick"), std::string::npos) << info;

    const auto csv = CsvLines(run.Plot("图纸目录.csv"));
    ASSERT_GE(csv.size(), 6u);
    EXPECT_EQ(csv[0], "\xEF\xBB\xBF序号,图号,图名,图幅,比例,页码,文件");
    EXPECT_EQ(csv[1], "1,S-01,总平面图,A3,1:1,1,S-01_总平面图.pdf");
    EXPECT_EQ(csv[2], "2,S-02,一层平面图,A1,1:100,2,S-02_一层平面图.pdf");
    EXPECT_EQ(csv[3], "3,S-03,立面图,A1×1¼,1:50,3,S-03_立面图.pdf");
    EXPECT_EQ(csv[4], "4,S-04,剖面详图,A2,1:20,4,S-04_剖面详图.pdf");
    EXPECT_EQ(csv[5], "5,S-05,总说明,,,5,S-05_总说明.pdf");
    EXPECT_NE(std::find(csv.begin(), csv.end(), ",共计,5,3.25"), csv.end());

    // The workbook: the same texts, read back from its XML.
    const auto strings =
        RunShell("unzip -p " + Quoted(run.Plot("图纸目录.xlsx")) + " xl/sharedStrings.xml").out;
    std::size_t at = 0;
    for (const char* text : {"S-01", "总平面图", "A1×1¼", "S-05", "总说明", "共计"}) {
        const auto found = strings.find(text, at);
        EXPECT_NE(found, std::string::npos) << text;
        at = found == std::string::npos ? at : found;
    }
    const auto sheet =
        RunShell("unzip -p " + Quoted(run.Plot("图纸目录.xlsx")) + " xl/worksheets/sheet1.xml").out;
    EXPECT_NE(sheet.find("<row r=\"6\""), std::string::npos); // heading and five pages
}

// Title-block texts that a spreadsheet would run as formulas are strings in the workbook, and no
// cell holds a formula; numbers stay numbers.
TEST(OutputRun, TheWorkbookHoldsNoFormula) {
    test::TempFolder folder;
    const std::string book = folder.File("c.xlsx");
    output::WriteCatalogueXlsx(book,
                               {{"图名", "图号"},
                                {"=HYPERLINK(\"http://x.example\",\"看\")", "+cmd|' /C calc'!A0"},
                                {"@SUM(A1)", "12"}});
    const auto sheet = RunShell("unzip -p " + Quoted(book) + " xl/worksheets/sheet1.xml").out;
    EXPECT_EQ(sheet.find("<f"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("<v>12</v>"), std::string::npos) << sheet;
    const auto strings = RunShell("unzip -p " + Quoted(book) + " xl/sharedStrings.xml").out;
    for (const char* text : {"=HYPERLINK(", "+cmd|", "@SUM(A1)"}) {
        EXPECT_NE(strings.find(text), std::string::npos) << text << "\n" << strings;
    }
}

TEST(OutputRun, NamesClashGetNumbersAndAMissingFieldFallsBackSaidInTheLog) {
    test::SheetDrawing drawing;
    for (int i = 0; i < 3; ++i) {
        test::SheetFrame frame;
        frame.x = i * 1000.0;
        frame.width = 420;
        frame.height = 297;
        frame.attributes = true;
        frame.number = "A/1";
        frame.title = i == 2 ? "" : "同名";
        drawing.Add(frame);
    }
    const PlotRun run("--name '{图号}_{图名}'", drawing);
    ASSERT_EQ(run.result.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(run.Plot("A_1_同名.pdf")));
    EXPECT_TRUE(fs::exists(run.Plot("A_1_同名_2.pdf")));
    EXPECT_TRUE(fs::exists(run.Plot("sheets-003.pdf")));
    // The field definitions the run used are written beside the settings file for editing.
    EXPECT_TRUE(fs::is_regular_file(fs::path(run.folder.File("settings")) / "TitleFields.ini"));
    EXPECT_FALSE(fs::exists(fs::path(run.folder.File("settings")) / "Kestrelwick.ini"));
    EXPECT_NE(run.err.find("第 3 个图框：缺少字段 图名，文件名用 sheets-003"), std::string::npos)
        << run.err;
    // Without --paper auto the panel's rule holds: every page A3, the frame 380 mm wide.
    for (const auto& [w, h] : PageSizes(run.Plot("A_1_同名.pdf"))) {
        EXPECT_NEAR(w, 420, 0.5);
        EXPECT_NEAR(h, 297, 0.5);
    }
}

TEST(OutputRun, AForcedScaleTakesOnlyFramesOfThatScaleAndNeedsPaperAuto) {
    // A scale that does not read stops the run before it starts, the reason after "scale: ".
    output::OutputSetup setup;
    setup.options.scale = "1/100";
    try {
        output::OutputRun unread(setup);
        ADD_FAILURE() << "the scale 1/100 was taken";
    } catch (const Error& failure) {
        EXPECT_EQ(failure.Number(), errors::kInvalidCall);
        EXPECT_EQ(failure.Description(), "scale: expected auto or 1:N, got \"1/100\"");
    }

    const PlotRun refused("--scale 1:100");
    EXPECT_EQ(refused.result.status, 2);
    EXPECT_NE(refused.err.find("--scale 1:N needs --paper auto"), std::string::npos);

    // At 1:100 only the A1 is a sheet; the others keep the panel's rule.
    const PlotRun run("--paper auto --scale 1:100 --merge run");
    ASSERT_EQ(run.result.status, 0) << run.err;
    const auto sizes = PageSizes(run.Plot("plots.pdf"));
    ASSERT_EQ(sizes.size(), 5u);
    EXPECT_NEAR(sizes[1].first, 841, 0.5);
    EXPECT_NEAR(sizes[0].first, 420, 0.5); // A3 at 1:100 would be 4.2 mm: the panel's rule
    EXPECT_EQ(Bookmarks(run.Plot("plots.pdf")).front(), "sheets-001");
}

TEST(OutputRun, AFrameThatIsNoSheetGoesOnAPageOfItsOwnSizeWhenAsked) {
    for (const char* options : {"--paper auto --fallback frame", "--paper frame"}) {
        SCOPED_TRACE(options);
        const PlotRun run(std::string(options) + " --merge run --catalogue csv");
        ASSERT_EQ(run.result.status, 0) << run.err;
        // The sheets as --paper auto plots them; the 900 × 630 frame (drawn at 1:100, where its
        // title block reads) on a page of its size.
        ExpectPageSizes(run.Plot("plots.pdf"),
                        {{420, 297}, {841, 594}, {1051, 594}, {420, 594}, {900, 630}});
        EXPECT_EQ(run.err.find("不是标准图幅"), std::string::npos) << run.err;
        const std::vector<std::string> records = run.LogRecords();
        ASSERT_EQ(records.size(), 5u);
        EXPECT_NE(records[4].find("\"paper\":\"Frame_(900.00_x_630.00_MM)\""), std::string::npos)
            << records[4];
        // The catalogue gives the frame the scale it went at, and no sheet.
        const auto csv = CsvLines(run.Plot("图纸目录.csv"));
        ASSERT_GE(csv.size(), 6u);
        EXPECT_EQ(csv[5], "5,S-05,总说明,,1:100,5,sheets-005.pdf");
    }

    // At 1:1 that frame is 90 m wide: it goes on the largest page a PDF reader takes, said so.
    const PlotRun huge("--paper frame --scale 1:1");
    ASSERT_EQ(huge.result.status, 0) << huge.err;
    const auto hugeSizes = PageSizes(huge.Plot("sheets-005.pdf"));
    ASSERT_EQ(hugeSizes.size(), 1u);
    EXPECT_NEAR(hugeSizes[0].first, 5080, 0.5);
    EXPECT_NEAR(hugeSizes[0].second, 3556, 0.5);
    EXPECT_NE(huge.err.find("图框大于 PDF 页面的最大尺寸"), std::string::npos) << huge.err;

    // Only --paper auto has a fallback to choose.
    const PlotRun refused("--fallback frame");
    EXPECT_EQ(refused.result.status, 2);
    EXPECT_NE(refused.err.find("--fallback goes with --paper auto"), std::string::npos);
}

// Of the dark pixels of `a` (darker than light grey), the share with a dark pixel of `b` within one
// pixel.
double InkFoundWithinAPixel(const QImage& a, const QImage& b) {
    const auto dark = [](const QImage& image, int x, int y) {
        return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
               qGray(image.pixel(x, y)) < 200;
    };
    long ink = 0;
    long found = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (!dark(a, x, y)) {
                continue;
            }
            ++ink;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = dark(b, x + dx, y + dy);
            found += near ? 1 : 0;
        }
    }
    return ink == 0 ? 0.0 : static_cast<double>(found) / static_cast<double>(ink);
}

// The page an SVG file draws, at 5 pixels to the millimetre, by Qt SVG's renderer.
QImage SvgPicture(const fs::path& svg, double widthMm, double heightMm) {
    QSvgRenderer renderer(QString::fromStdString(svg.string()));
    QImage picture(static_cast<int>(std::lround(widthMm * 5)),
                   static_cast<int>(std::lround(heightMm * 5)), QImage::Format_RGB32);
    if (!renderer.isValid()) {
        return {};
    }
    picture.fill(Qt::white);
    QPainter painter(&picture);
    renderer.render(&painter, QRectF(0, 0, picture.width(), picture.height()));
    return picture;
}

TEST(OutputRun, PicturesAndSvgPagesAreThePdfPagesInkForInk) {
    // 127 dots per inch: 5 to the millimetre.
    const PlotRun pdf("--paper auto");
    ASSERT_EQ(pdf.result.status, 0) << pdf.err;
    const struct {
        const char* options;
        const char* extension;
        bool oneBit;
        const char* compression; // TIFF: what the file says, by tiffinfo's names; else empty
    } cases[] = {
        {"--format png --dpi 127", ".png", false, ""},
        {"--format png --dpi 127 --monochrome", ".png", true, ""},
        {"--format tiff --dpi 127", ".tif", false, "LZW"},
        {"--format tiff --dpi 127 --monochrome", ".tif", true, "CCITT Group 4"},
        {"--format svg", ".svg", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const PlotRun run(std::string(c.options) + " --paper auto");
        ASSERT_EQ(run.result.status, 0) << run.err;
        for (const char* stem : {"sheets-001", "sheets-002"}) {
            SCOPED_TRACE(stem);
            const fs::path file = run.Plot(std::string(stem) + c.extension);
            const auto sizes = PageSizes(pdf.Plot(std::string(stem) + ".pdf"));
            ASSERT_EQ(sizes.size(), 1u);
            QImage picture = std::string(c.extension) == ".svg"
                                 ? SvgPicture(file, sizes[0].first, sizes[0].second)
                                 : QImage(QString::fromStdString(file.string()));
            ASSERT_FALSE(picture.isNull());
            EXPECT_NEAR(picture.width(), sizes[0].first * 5, 1.0);
            EXPECT_NEAR(picture.height(), sizes[0].second * 5, 1.0);
            if (std::string(c.extension) != ".svg") {
                EXPECT_NEAR(picture.dotsPerMeterX(), 5000, 1);
                EXPECT_EQ(picture.depth() == 1, c.oneBit);
            }
            if (*c.compression != '\0') {
                QFile tiff(QString::fromStdString(file.string()));
                ASSERT_TRUE(tiff.open(QIODevice::ReadOnly));
                // Tag 259 (compression) in the first directory: 5 LZW, 4 CCITT group 4.
                const QByteArray bytes = tiff.readAll();
                const quint16 expected = std::string(c.compression) == "LZW" ? 5 : 4;
                const QByteArray entry = QByteArray::fromHex("0301030001000000") +
                                         QByteArray(reinterpret_cast<const char*>(&expected), 2);
                EXPECT_NE(bytes.indexOf(entry), -1) << c.compression;
            }
            const fs::path raster = run.folder.File(std::string(stem) + "-pdf");
            ASSERT_EQ(RunShell("pdftoppm -png -singlefile -r 127 " +
                               Quoted(pdf.Plot(std::string(stem) + ".pdf")) + " " +
                               Quoted(raster))
                          .status,
                      0);
            const QImage page(QString::fromStdString(raster.string() + ".png"));
            ASSERT_FALSE(page.isNull());
            EXPECT_GT(InkFoundWithinAPixel(picture, page), c.oneBit ? 0.97 : 0.99);
            EXPECT_GT(InkFoundWithinAPixel(page, picture), 0.99);
        }
    }
    // A page of the SVG holds its text as text.
    const PlotRun svg("--format svg --stamp 'KW {drawing}'");
    EXPECT_NE(Contents(svg.Plot("sheets-001.svg")).find(">KW sheets</text>"), std::string::npos);

    // Pictures are pages of their own: nothing merges them, and dots go with pictures only.
    for (const char* refused : {"--format png --merge run", "--dpi 200", "--format gif",
                                "--format svg --dpi 300", "--monochrome",
                                "--format svg --monochrome"}) {
        const PlotRun run(refused);
        EXPECT_EQ(run.result.status, 2) << refused;
    }
}

// The page's words with their boxes (millimetres from the top-left corner), by pdftotext.
struct Word {
    std::string text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};
std::vector<Word> Words(const fs::path& pdf) {
    const auto listed = RunShell("pdftotext -f 1 -l 1 -bbox " + Quoted(pdf) + " -");
    std::vector<Word> words;
    const std::regex word(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
    for (std::sregex_iterator it(listed.out.begin(), listed.out.end(), word), end; it != end;
         ++it) {
        words.push_back({(*it)[5], std::stod((*it)[1]) * kMmPerPoint,
                         std::stod((*it)[2]) * kMmPerPoint, std::stod((*it)[3]) * kMmPerPoint,
                         std::stod((*it)[4]) * kMmPerPoint});
    }
    return words;
}

// A stamp goes in its corner, in the margin the frame leaves, never over the frame; where the
// margin has no room for it (the frame-length rule leaves a thin top margin, a sheet at true
// scale fills its page) the page is plotted without it and the log says so.
TEST(OutputRun, APlotStampGoesInItsCornerOutsideTheFrameOrIsLeftOutWithANote) {
    const struct {
        const char* options;
        bool stamped;
        bool left;
    } cases[] = {
        {"--stamp-corner bottom-left", true, true},
        {"--stamp-corner bottom-right", true, false},
        {"--stamp-corner top-left", false, true},
        {"--paper auto", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const PlotRun run(std::string("--stamp 'KW {drawing} {page}/{pages} {图号} {校对}' ") + c.options);
        ASSERT_EQ(run.result.status, 0) << run.err;
        const fs::path page = run.Plot("sheets-001.pdf");
        const auto size = PageSizes(page);
        ASSERT_EQ(size.size(), 1u);
        const std::vector<Word> words = Words(page);
        const auto stamp = std::find_if(words.begin(), words.end(),
                                        [](const Word& w) { return w.text == "KW"; });
        const std::string log = run.LogRecords().front();
        if (!c.stamped) {
            EXPECT_EQ(stamp, words.end());
            EXPECT_NE(log.find("图框外没有地方放打印戳记"), std::string::npos) << log;
            continue;
        }
        ASSERT_NE(stamp, words.end());
        EXPECT_EQ(log.find("打印戳记"), std::string::npos) << log;
        // The words after it: the drawing, page of pages, a title-block field, and "-" for a field
        // the title block lacks.
        ASSERT_GE(words.end() - stamp, 5);
        const std::vector<std::string> rest = {std::next(stamp)->text, std::next(stamp, 2)->text,
                                               std::next(stamp, 3)->text, std::next(stamp, 4)->text};
        const std::string pages = std::to_string(run.LogRecords().size());
        EXPECT_EQ(rest, (std::vector<std::string>{"sheets", "1/" + pages, "S-01", "-"}));
        // In the bottom margin: below the frame, which the panel's offset puts 25 mm up.
        EXPECT_GT(stamp->yMin, size[0].second - 25.0);
        EXPECT_LT(stamp->yMax, size[0].second);
        if (c.left) {
            EXPECT_LT(stamp->xMin, 5.0);
        } else {
            EXPECT_GT(std::next(stamp, 4)->xMax, size[0].first - 5.0);
        }
    }
    const PlotRun refused("--stamp '{drawing' ");
    EXPECT_EQ(refused.result.status, 2);
    EXPECT_NE(refused.err.find("--stamp"), std::string::npos) << refused.err;
}

} // namespace
} // namespace kw

namespace kw {
namespace {

// The frames --list finds, "PAGE<TAB>xMin yMin xMax yMax" each.
std::vector<std::string> ListedFrames(const fs::path& drawing, const std::string& settings) {
    std::string err;
    const auto listed = RunCommand("--list " + Quoted(drawing), &err, settings);
    std::vector<std::string> frames;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos) {
            frames.push_back(line.substr(tab + 1));
        }
    }
    return frames;
}

TEST(OutputRun, SplitWritesEachFrameAsADrawingThatPlotsAsItsPage) {
    const PlotRun split("--split --paper auto");
    const PlotRun pdf("--paper auto");
    ASSERT_EQ(split.result.status, 0) << split.err;
    ASSERT_EQ(pdf.result.status, 0) << pdf.err;
    const std::string settings = split.folder.File("settings");
    const std::vector<std::string> frames = ListedFrames(split.folder.File("sheets.dxf"), settings);
    ASSERT_GE(frames.size(), 2u);
    // The source is as it was written.
    test::MeasuredDrawing().Write(split.folder.File("again.dxf"));
    EXPECT_EQ(RunShell("cmp " + Quoted(split.folder.File("sheets.dxf")) + " " +
                       Quoted(split.folder.File("again.dxf")))
                  .status,
              0);
    const std::vector<std::string> records = split.LogRecords();
    ASSERT_EQ(records.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        char stem[32];
        std::snprintf(stem, sizeof stem, "sheets-%03zu", i + 1);
        SCOPED_TRACE(stem);
        const fs::path drawing = split.Plot(std::string(stem) + ".dxf");
        ASSERT_TRUE(fs::exists(drawing));
        EXPECT_NE(records[i].find("\"status\":\"plotted\""), std::string::npos) << records[i];
        EXPECT_NE(records[i].find(std::string(stem) + ".dxf\""), std::string::npos) << records[i];
        // Its own frame and no other, found by the same rule.
        const std::string page = frames[i].substr(frames[i].find('\t') + 1);
        EXPECT_EQ(ListedFrames(drawing, settings), std::vector<std::string>{"1\t" + page});
        // Plotted, it gives the source's page.
        const fs::path again = split.folder.File("again");
        std::string err;
        ASSERT_EQ(RunCommand("--paper auto --output " + Quoted(again) + " --log " +
                                 Quoted(split.folder.File("again.jsonl")) + " " + Quoted(drawing),
                             &err, settings)
                      .status,
                  0)
            << err;
        QImage pages[2];
        const fs::path plotted[2] = {pdf.Plot(std::string(stem) + ".pdf"),
                                     again / (std::string(stem) + "-001.pdf")};
        for (int k = 0; k < 2; ++k) {
            const fs::path raster = split.folder.File(std::string(stem) + "-" + std::to_string(k));
            ASSERT_EQ(RunShell("pdftoppm -png -singlefile -r 100 " + Quoted(plotted[k]) + " " +
                               Quoted(raster))
                          .status,
                      0);
            pages[k] = QImage(QString::fromStdString(raster.string() + ".png"));
            ASSERT_FALSE(pages[k].isNull());
        }
        EXPECT_EQ(pages[0].size(), pages[1].size());
        EXPECT_GT(InkFoundWithinAPixel(pages[0], pages[1]), 0.999);
        EXPECT_GT(InkFoundWithinAPixel(pages[1], pages[0]), 0.999);
    }

    // Drawings are no pages: nothing prints, merges or rasterises them, and the source stays.
    for (const char* refused : {"--split --merge run", "--split --format png",
                                "--split --save-settings", "--split --device Office"}) {
        const PlotRun run(refused);
        EXPECT_EQ(run.result.status, 2) << refused;
        EXPECT_NE(run.err.find("--split"), std::string::npos) << run.err;
    }
}

// ezdxf's audit finds no fault in the drawings of the frames of the test drawings that their
// sources do not have already.
TEST(OutputRun, SplitDrawingsPassTheAuditOfAnotherDxfLibrary) {
    if (RunShell("/usr/bin/python3 -c 'import ezdxf'").status != 0) {
        GTEST_SKIP() << "python3 with ezdxf is not installed";
    }
    test::TempFolder folder;
    const fs::path source = fs::path(KW_SOURCE_DIR) / "tests/data/drawing/frames";
    std::string err;
    const auto run =
        RunCommand("--split --kind auto --output " + Quoted(folder.File("split")) + " --log " +
                       Quoted(folder.File("run.jsonl")) + " " + Quoted(source),
                   &err, folder.File("settings"));
    ASSERT_NE(run.status, 2) << err;
    // One line per drawing: the numbers of errors and fixes, and their codes.
    std::vector<fs::path> drawings;
    for (const auto& file : fs::directory_iterator(folder.File("split"))) {
        const std::string name = file.path().filename().string();
        drawings.push_back(source / (name.substr(0, name.rfind('-')) + ".dxf"));
        drawings.push_back(file.path());
    }
    std::string paths;
    for (const fs::path& drawing : drawings) {
        paths += " " + Quoted(drawing);
    }
    const auto audit =
        RunShell("/usr/bin/python3 " +
                 Quoted(fs::path(KW_SOURCE_DIR) / "tests/output/audit_dxf.py") + paths);
    ASSERT_EQ(audit.status, 0);
    std::istringstream lines(audit.out);
    const auto codesOf = [](const std::string& text) {
        std::set<std::string> codes;
        std::istringstream list(text);
        for (std::string code; std::getline(list, code, ',');) {
            codes.insert(code);
        }
        return codes;
    };
    for (std::size_t i = 0; i + 1 < drawings.size(); i += 2) {
        SCOPED_TRACE(drawings[i + 1].filename().string());
        int errors[2] = {-1, -1}, fixes[2] = {-1, -1};
        std::string codes[2];
        for (int k = 0; k < 2; ++k) {
            lines >> errors[k] >> fixes[k] >> codes[k];
        }
        EXPECT_EQ(errors[1], 0);
        EXPECT_LE(errors[1], errors[0]);
        // No fix the source does not need already.
        for (const std::string& code : codesOf(codes[1])) {
            EXPECT_TRUE(code == "-" || codesOf(codes[0]).count(code)) << code;
        }
    }
    EXPECT_GE(drawings.size() / 2, 10u);
}

} // namespace
} // namespace kw


// SVG pages are drawn here to compare them, and their text needs the fonts of a GUI application.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
