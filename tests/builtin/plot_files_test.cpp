// kestrelwick-plot plotting: every frame of every drawing a PDF page of its own, the files it
// wrote, failures, the progress bar.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "drawing/dxf_io.h"
#include "drawing/text.h"
#include "render/text_content.h"
#include "tests/builtin/command_runner.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kw::test::Quoted;
using kw::test::RunShell;

// Runs the command with the test's folder as its settings folder.
kw::test::CommandResult RunCommand(const kw::test::TempFolder& folder, const std::string& arguments,
                                   std::string* err = nullptr) {
    return kw::test::RunCommand(arguments, err, folder.Path());
}

// Settings the run would otherwise take from the settings file of earlier runs.
const std::string kFrameOptions = "--kind polyline --layer 图框 --length 380 --allowance 0 ";

// A fixture copied into `folder`: a plot saves the drawing with its plot settings.
fs::path CopyOf(const std::string& fixture, const kw::test::TempFolder& folder) {
    const fs::path target = fs::path(folder.Path()) / fixture;
    fs::copy_file(fs::path(KW_DRAWING_TESTDATA) / "frames" / fixture, target);
    return target;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The "PATH<TAB>PAGES" lines at the end of the output.
std::vector<std::string> WrittenFiles(const std::string& output) {
    std::vector<std::string> files;
    for (const std::string& line : Lines(output)) {
        if (line.find('\t') != std::string::npos) {
            files.push_back(line);
        }
    }
    return files;
}

int PdfPages(const fs::path& pdf) {
    const std::string info = RunShell("pdfinfo " + Quoted(pdf)).out;
    const auto at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

// The code points of UTF-8 text but white space, each with its count.
std::map<char32_t, int> Characters(const std::string& utf8) {
    std::map<char32_t, int> counts;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        char32_t code = length == 1 ? c : c & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + k < utf8.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (code > U' ' && code != 0x3000)
            ++counts[code];
    }
    return counts;
}

// The text of every TEXT, MTEXT and visible attribute of the drawing's current layout whose
// insertion point lies in the extent "xMin yMin xMax yMax" at the end of a listed frame's line.
std::string FrameTexts(const kw::drawing::Document& document, const std::string& listedLine) {
    std::istringstream in(listedLine);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    const std::size_t n = words.size();
    const double xMin = std::stod(words.at(n - 4)), yMin = std::stod(words.at(n - 3));
    const double xMax = std::stod(words.at(n - 2)), yMax = std::stod(words.at(n - 1));
    auto inside = [&](const kw::drawing::Vec3& p) {
        return p.x >= xMin && p.x <= xMax && p.y >= yMin && p.y <= yMax;
    };
    std::string texts;
    auto addText = [&](const kw::drawing::Entity& entity) {
        if (entity.invisible)
            return;
        if (const auto* text = std::get_if<kw::drawing::TextGeometry>(&entity.geometry)) {
            if (inside(text->insertion) && (text->attributeFlags & 1) == 0)
                texts += kw::render::PlainText(text->text) + "\n";
        } else if (const auto* mtext = std::get_if<kw::drawing::MTextGeometry>(&entity.geometry)) {
            if (inside(mtext->insertion))
                for (const std::string& line : kw::render::MTextLines(mtext->text))
                    texts += line + "\n";
        }
    };
    for (const kw::drawing::Entity& entity : document.LayoutEntities(document.ActiveLayout())) {
        addText(entity);
        if (const auto* insert = std::get_if<kw::drawing::InsertGeometry>(&entity.geometry))
            for (const kw::drawing::Entity& attribute : insert->attributes)
                addText(attribute);
    }
    return texts;
}

// Every frame fixture plots a one-page PDF per frame it lists, in the listed order: the sheets
// of frames_two_rows are titled 第1张 … 第6张 bottom row first, and plot top row first.
TEST(PlotCommandPlot, EveryFrameFixturePlotsAPagePerListedFrameInTheListedOrder) {
    const std::pair<const char*, const char*> fixtures[] = {
        {"blocks_rmtk_r12_gbk.dxf", "--kind block --block RmTK "},
        {"blocks_rmtk_r2013.dxf", "--kind block --block RmTK "},
        {"frames_abc_r2010.dxf", kFrameOptions.c_str()},
        {"frames_paperspace_r2013.dxf", kFrameOptions.c_str()},
        {"frames_r2000_gbk.dxf", kFrameOptions.c_str()},
        {"frames_r2018_utf8.dxf", kFrameOptions.c_str()},
        {"frames_shapes_r2007.dxf", kFrameOptions.c_str()},
        {"frames_two_rows_r2004_gbk.dxf", kFrameOptions.c_str()},
        {"xref_host_r2018.dxf", "--kind xref --xref tk_xref "},
    };
    for (const auto& [fixture, options] : fixtures) {
        SCOPED_TRACE(fixture);
        kw::test::TempFolder folder;
        const fs::path drawing = CopyOf(fixture, folder);
        if (std::string(fixture).rfind("xref_host", 0) == 0)
            fs::copy_file(fs::path(KW_DRAWING_TESTDATA) / "frames" / "xref_frame_a3.dxf",
                          fs::path(folder.Path()) / "xref_frame_a3.dxf");
        const auto listed = RunCommand(folder, std::string("--list ") + options + Quoted(drawing));
        ASSERT_EQ(listed.status, 0);
        const std::size_t frames = Lines(listed.out).size();
        ASSERT_GT(frames, 0u);
        const fs::path output = fs::path(folder.Path()) / "plots";
        std::string err;
        const auto run = RunCommand(
            folder, std::string(options) + "--output " + Quoted(output) + " " + Quoted(drawing),
            &err);
        ASSERT_EQ(run.status, 0) << run.out << err;
        ASSERT_EQ(WrittenFiles(run.out).size(), frames) << run.out;
        for (std::size_t page = 1; page <= frames; ++page) {
            char name[16];
            std::snprintf(name, sizeof name, "-%03zu.pdf", page);
            const fs::path pdf = output / (drawing.stem().string() + name);
            EXPECT_EQ(PdfPages(pdf), 1) << pdf;
        }
        // The page's text is the frame's: every character of its texts comes back from the PDF
        // (none lost, none turned into a look-alike such as a CJK radical). Each frame on its
        // own sheet, so that all of it is on the page.
        const fs::path sheets = fs::path(folder.Path()) / "sheets";
        const auto onSheets = RunCommand(folder, std::string(options) + "--paper auto --output " +
                                                     Quoted(sheets) + " " + Quoted(drawing));
        const std::vector<std::string> files = WrittenFiles(onSheets.out);
        ASSERT_EQ(files.size(), frames) << onSheets.out;
        const kw::drawing::Document document = kw::drawing::LoadDrawing(drawing.string());
        for (std::size_t page = 1; page <= frames; ++page) {
            const std::string& file = files[page - 1];
            const std::string texts = FrameTexts(document, Lines(listed.out).at(page - 1));
            const std::string pageText =
                RunShell("pdftotext " + Quoted(file.substr(0, file.find('\t'))) + " -").out;
            const std::map<char32_t, int> onPage = Characters(pageText);
            for (const auto& [character, count] : Characters(texts)) {
                const auto found = onPage.find(character);
                EXPECT_TRUE(found != onPage.end() && found->second >= count)
                    << "page " << page << ": U+" << std::hex << static_cast<unsigned>(character)
                    << std::dec << " " << count << " times in\n"
                    << texts << "the PDF's text:\n"
                    << pageText;
            }
        }
        if (std::string(fixture).rfind("frames_two_rows", 0) == 0) {
            // Sheet 2 is a portrait frame: scaled by its width onto the A3 sheet, its top with
            // the title lies beyond the paper.
            const char* titles[] = {"第4张", "第5张", "第6张", "第1张", nullptr, "第3张"};
            for (std::size_t page = 1; page <= 6; ++page) {
                if (!titles[page - 1])
                    continue;
                char name[16];
                std::snprintf(name, sizeof name, "-%03zu.pdf", page);
                const std::string text =
                    RunShell("pdftotext " + Quoted(output / (drawing.stem().string() + name)) +
                             " -")
                        .out;
                EXPECT_NE(text.find(titles[page - 1]), std::string::npos)
                    << "page " << page << ": " << text;
            }
        }
    }
}

TEST(PlotCommandPlot, EveryFrameOfEveryDrawingIsAPdfOfItsOwnAndTheFilesAreListed) {
    kw::test::TempFolder folder;
    const fs::path gbk = CopyOf("frames_r2000_gbk.dxf", folder);
    const fs::path abc = CopyOf("frames_abc_r2010.dxf", folder);
    const fs::path output = fs::path(folder.Path()) / "plots";

    std::string err;
    const auto run = RunCommand(
        folder,
        kFrameOptions + "--output " + Quoted(output) + " " + Quoted(gbk) + " " + Quoted(abc), &err);
    ASSERT_EQ(run.status, 0) << run.out << err;
    EXPECT_NE(run.out.find("图纸打印完成 双击窗口返回"), std::string::npos) << run.out;
    // The drawing list's order (sorted), then the frames' plotting order within each drawing.
    std::vector<std::string> expected;
    for (const char* name : {"frames_abc_r2010", "frames_r2000_gbk"}) {
        for (const char* page : {"-001.pdf", "-002.pdf", "-003.pdf"}) {
            expected.push_back((output / (std::string(name) + page)).string() + "\t1");
        }
    }
    EXPECT_EQ(WrittenFiles(run.out), expected);
    for (const std::string& line : expected) {
        EXPECT_EQ(PdfPages(line.substr(0, line.find('\t'))), 1) << line;
    }

    // Without --output the pages go beside the drawing; the pages of the first run stay, the
    // second run's take new numbers.
    const auto beside = RunCommand(folder, kFrameOptions + Quoted(gbk), &err);
    ASSERT_EQ(beside.status, 0) << err;
    const auto again = RunCommand(folder, kFrameOptions + Quoted(gbk), &err);
    ASSERT_EQ(again.status, 0) << err;
    const fs::path base = fs::path(folder.Path()) / "frames_r2000_gbk";
    EXPECT_EQ(WrittenFiles(beside.out), (std::vector<std::string>{base.string() + "-001.pdf\t1",
                                                                  base.string() + "-002.pdf\t1",
                                                                  base.string() + "-003.pdf\t1"}));
    EXPECT_EQ(WrittenFiles(again.out), (std::vector<std::string>{base.string() + "-004.pdf\t1",
                                                                 base.string() + "-005.pdf\t1",
                                                                 base.string() + "-006.pdf\t1"}));
}

TEST(PlotCommandPlot, AFailingDeviceEndsTheRunWithItsMessageAndSaysWhere) {
    kw::test::TempFolder folder;
    const fs::path drawing = CopyOf("frames_r2000_gbk.dxf", folder);
    folder.Write("notes.txt", "not a folder");
    const fs::path impossible = fs::path(folder.Path()) / "notes.txt" / "plots";

    std::string err;
    const auto run = RunCommand(
        folder, kFrameOptions + "--output " + Quoted(impossible) + " " + Quoted(drawing), &err);
    EXPECT_EQ(run.status, 1);
    // Each failed page on a line of its own: the drawing and page, the run's message (with the
    // device's failure number), then what and where.
    EXPECT_NE(err.find(drawing.string() + ": 第 1 页，图框 "), std::string::npos) << err;
    EXPECT_NE(err.find("操作不当或其它未知错误：-2147024893 — "), std::string::npos) << err;
    EXPECT_NE(err.find(impossible.string()), std::string::npos) << err;
    EXPECT_EQ(err.back(), '\n');
    EXPECT_TRUE(WrittenFiles(run.out).empty()) << run.out;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        EXPECT_NE(entry.path().extension(), ".pdf") << entry.path();
    }

    // A device the built-in CAD does not have is refused before any drawing is opened.
    const auto unknown =
        RunCommand(folder, kFrameOptions + "--device 'No Such Plotter' " + Quoted(drawing), &err);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(err.find("No Such Plotter"), std::string::npos) << err;
}

TEST(PlotCommandPlot, AProgressBarOnlyWhenStderrIsATerminal) {
    kw::test::TempFolder folder;
    const fs::path drawing = CopyOf("frames_r2000_gbk.dxf", folder);
    const std::string arguments = kFrameOptions + "--progress " + Quoted(drawing);

    std::string err;
    const auto piped = RunCommand(folder, arguments, &err);
    ASSERT_EQ(piped.status, 0) << err;
    EXPECT_EQ(err.find("[#"), std::string::npos) << err;

    // script(1) gives the command a terminal and copies what it shows.
    std::string inner = "KESTRELWICK_SETTINGS_DIR=" + Quoted(folder.Path());
    inner.append(" ").append(Quoted(KW_PLOT_COMMAND)).append(" ").append(arguments);
    std::string quotedInner;
    for (char c : inner) {
        quotedInner += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    const auto terminal = RunShell("script -qec '" + quotedInner + "' /dev/null");
    ASSERT_EQ(terminal.status, 0) << terminal.out;
    EXPECT_NE(terminal.out.find("[" + std::string(30, '#') + "] 1/1 图形  3 页"), std::string::npos)
        << terminal.out;
    // The status lines and the list of files still come out whole.
    EXPECT_NE(terminal.out.find("图纸打印完成 双击窗口返回"), std::string::npos);
    EXPECT_NE(terminal.out.find("frames_r2000_gbk-006.pdf\t1"), std::string::npos) << terminal.out;
}

} // namespace
