// kestrelwick-plot over folders of drawings: every page tried, the run log, resume, workers,
// shards, settings left alone, values checked before any work.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "batch/run_log.h"
#include "tests/builtin/command_runner.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

namespace fs = std::filesystem;
using test::Quoted;
using test::RunShell;

const std::string kFrameOptions = "--kind polyline --layer 图框 --length 380 ";
const char* const kGoodDrawings[] = {"frames_abc_r2010.dxf", "frames_r2000_gbk.dxf",
                                     "frames_two_rows_r2004_gbk.dxf", "no_frames_r2000_gbk.dxf"};

fs::path Fixture(const std::string& name) {
    return fs::path(KW_DRAWING_TESTDATA) / "frames" / name;
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file under the folder with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().string()] = Contents(entry.path());
        }
    }
    return files;
}

// A drawing's records without what differs from run to run: times and output folders.
std::vector<std::string> Pages(const std::vector<PageRecord>& records) {
    std::vector<std::string> pages;
    for (const PageRecord& record : records) {
        std::string page = fs::path(record.drawing).filename().string() + "#" +
                           std::to_string(record.page) + " " + StatusName(record.status);
        if (record.frame) {
            page +=
                " " + std::to_string(record.frame->xMin) + "," + std::to_string(record.frame->yMin);
        }
        if (!record.outputFile.empty()) {
            page += " " + fs::path(record.outputFile).filename().string();
        }
        pages.push_back(page);
    }
    return pages;
}

std::vector<std::string> WrittenFiles(const std::string& out) {
    std::vector<std::string> files;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 2 && line.compare(line.size() - 2, 2, "\t1") == 0) {
            files.push_back(line.substr(0, line.size() - 2));
        }
    }
    return files;
}

class PlotBatch : public ::testing::Test {
protected:
    void SetUp() override {
        m_drawings = fs::path(m_folder.Path()) / "drawings";
        fs::create_directories(m_drawings / "sub");
        for (const char* name : kGoodDrawings) {
            fs::copy_file(Fixture(name), m_drawings / name);
        }
        fs::copy_file(Fixture("frames_r2018_utf8.dxf"), m_drawings / "sub" / "nested.dxf");
        // A drawing whose beginning was overwritten, and one that cannot be opened at all.
        const std::string whole = Contents(Fixture("frames_r2000_gbk.dxf"));
        m_folder.Write("drawings/corrupt.dxf", "\x1f\x8b GARBAGE\n" + whole.substr(4096));
        fs::create_symlink(m_drawings / "gone" / "target.dxf", m_drawings / "unreadable.dxf");
        m_settings = fs::path(m_folder.Path()) / "settings";
        fs::create_directories(m_settings);
    }

    test::CommandResult Run(const std::string& arguments, std::string* err = nullptr) {
        return test::RunCommand(arguments, err, m_settings.string());
    }
    fs::path At(const std::string& name) const { return fs::path(m_folder.Path()) / name; }

    test::TempFolder m_folder;
    fs::path m_drawings;
    fs::path m_settings;
};

// A drawing cut off in its ENTITIES section (a copy interrupted) is a failure that names where
// it ends, never a drawing without frames: the run says so and a resume redoes it once it is
// mended. --recover plots the frames before the cut, and still logs the drawing as failed.
TEST_F(PlotBatch, ACutOffDrawingFailsWithWhereItEndsUnlessRecovered) {
    const std::string whole = Contents(Fixture("frames_r2000_gbk.dxf"));
    const std::size_t third =
        whole.find("LWPOLYLINE", whole.find("LWPOLYLINE", whole.find("LWPOLYLINE") + 1) + 1);
    const std::string cut = whole.substr(0, third + 4);
    fs::create_directories(At("cut"));
    m_folder.Write("cut/plan.dxf", cut);
    const std::string lastLine = std::to_string(std::count(cut.begin(), cut.end(), '\n') + 1);
    const std::string said = At("cut/plan.dxf").string() +
                             ": 操作不当或其它未知错误：-2147418113 — plan.dxf: line " + lastLine +
                             ": the file ends inside the ENTITIES section: ENDSEC expected";

    std::string err;
    const auto listed = Run(kFrameOptions + "--list " + Quoted(At("cut")), &err);
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.out, "");
    EXPECT_NE(err.find(said), std::string::npos) << err;

    const auto failed = Run(kFrameOptions + "-j 1 --output " + Quoted(At("out")) + " --log " +
                                Quoted(At("run.jsonl")) + " " + Quoted(At("cut")),
                            &err);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(Pages(ReadRunLog(At("run.jsonl").string())),
              (std::vector<std::string>{"plan.dxf#0 failed"}));
    EXPECT_NE(err.find(said), std::string::npos) << err;
    EXPECT_NE(failed.out.find("1 个图形：0 页已打印，1 处失败，0 处跳过，0 个图形没有图框"),
              std::string::npos)
        << failed.out;

    const auto recovered = Run(kFrameOptions + "-j 1 --recover --output " + Quoted(At("part")) +
                                   " --log " + Quoted(At("part.jsonl")) + " " + Quoted(At("cut")),
                               &err);
    EXPECT_EQ(recovered.status, 1);
    EXPECT_EQ(Pages(ReadRunLog(At("part.jsonl").string())),
              (std::vector<std::string>{"plan.dxf#0 failed",
                                        "plan.dxf#1 plotted 0.000000,0.000000 plan-001.pdf",
                                        "plan.dxf#2 plotted 1000.000000,0.000000 plan-002.pdf"}));
    EXPECT_NE(err.find(said), std::string::npos) << err;

    m_folder.Write("cut/plan.dxf", whole);
    const auto resumed = Run(kFrameOptions + "-j 1 --output " + Quoted(At("out")) + " --resume " +
                                 Quoted(At("run.jsonl")) + " --log " + Quoted(At("run2.jsonl")),
                             &err);
    EXPECT_EQ(resumed.status, 0) << err;
    EXPECT_EQ(Pages(ReadRunLog(At("run2.jsonl").string())).size(), 3u);
}

TEST_F(PlotBatch, BadDrawingsFailOnlyTheirPagesAndResumeRedoesOnlyThose) {
    const auto before = Snapshot(m_drawings);
    std::string err;
    const auto run = Run(kFrameOptions + "-j 1 --recursive --output " + Quoted(At("out")) +
                             " --log " + Quoted(At("run.jsonl")) + " " + Quoted(m_drawings),
                         &err);
    EXPECT_EQ(run.status, 1) << run.out << err;
    const std::vector<PageRecord> log = ReadRunLog(At("run.jsonl").string());
    EXPECT_EQ(Pages(log),
              (std::vector<std::string>{
                  "corrupt.dxf#0 failed",
                  "frames_abc_r2010.dxf#1 plotted 1400.000000,700.000000 frames_abc_r2010-001.pdf",
                  "frames_abc_r2010.dxf#2 plotted 0.000000,0.000000 frames_abc_r2010-002.pdf",
                  "frames_abc_r2010.dxf#3 plotted 700.000000,500.000000 frames_abc_r2010-003.pdf",
                  "frames_r2000_gbk.dxf#1 plotted 0.000000,0.000000 frames_r2000_gbk-001.pdf",
                  "frames_r2000_gbk.dxf#2 plotted 500.000000,0.000000 frames_r2000_gbk-002.pdf",
                  "frames_r2000_gbk.dxf#3 plotted 1000.000000,0.000000 frames_r2000_gbk-003.pdf",
                  "frames_two_rows_r2004_gbk.dxf#1 plotted 0.000000,400.000000 "
                  "frames_two_rows_r2004_gbk-001.pdf",
                  "frames_two_rows_r2004_gbk.dxf#2 plotted 400.000000,400.000000 "
                  "frames_two_rows_r2004_gbk-002.pdf",
                  "frames_two_rows_r2004_gbk.dxf#3 plotted 800.000000,400.000000 "
                  "frames_two_rows_r2004_gbk-003.pdf",
                  "frames_two_rows_r2004_gbk.dxf#4 plotted 0.000000,0.000000 "
                  "frames_two_rows_r2004_gbk-004.pdf",
                  "frames_two_rows_r2004_gbk.dxf#5 plotted 500.000000,0.000000 "
                  "frames_two_rows_r2004_gbk-005.pdf",
                  "frames_two_rows_r2004_gbk.dxf#6 plotted 800.000000,0.000000 "
                  "frames_two_rows_r2004_gbk-006.pdf",
                  "frames_two_rows_r2004_gbk.dxf#7 plotted 1300.000000,297.000000 "
                  "frames_two_rows_r2004_gbk-007.pdf",
                  "no_frames_r2000_gbk.dxf#0 no-frames",
                  "nested.dxf#1 plotted 0.000000,0.000000 nested-001.pdf",
                  "nested.dxf#2 plotted 500.000000,0.000000 nested-002.pdf",
                  "nested.dxf#3 plotted 1000.000000,0.000000 nested-003.pdf",
                  "unreadable.dxf#0 failed",
              }));
    // Every plotted page is on disk and listed; each failure says drawing and message.
    std::vector<std::string> plotted;
    for (const PageRecord& record : log) {
        if (record.status == PageStatus::Plotted) {
            EXPECT_TRUE(fs::exists(record.outputFile)) << record.outputFile;
            plotted.push_back(record.outputFile);
        }
    }
    EXPECT_EQ(WrittenFiles(run.out), plotted);
    for (const char* name :
         {"corrupt.dxf: 操作不当或其它未知错误：", "unreadable.dxf: 操作不当或其它未知错误："}) {
        EXPECT_NE(err.find((m_drawings / name).string()), std::string::npos) << name << "\n" << err;
    }
    EXPECT_NE(run.out.find("7 个图形：16 页已打印，2 处失败"), std::string::npos) << run.out;

    // The drawings are never written, and without --save-settings neither is the settings file.
    EXPECT_EQ(Snapshot(m_drawings), before);
    EXPECT_FALSE(fs::exists(m_settings / "Kestrelwick.ini"));

    // Two workers: the same pages, files and log, in the same order.
    const auto parallel = Run(kFrameOptions + "-j 2 -r --output " + Quoted(At("out2")) + " --log " +
                                  Quoted(At("run2.jsonl")) + " " + Quoted(m_drawings),
                              &err);
    EXPECT_EQ(parallel.status, 1) << err;
    EXPECT_EQ(Pages(ReadRunLog(At("run2.jsonl").string())), Pages(log));
    EXPECT_EQ(WrittenFiles(parallel.out).size(), plotted.size());

    // Mended, the two bad drawings are plotted by a resume, and nothing else is.
    fs::remove(m_drawings / "corrupt.dxf");
    fs::copy_file(Fixture("frames_r2000_gbk.dxf"), m_drawings / "corrupt.dxf");
    fs::create_directories(m_drawings / "gone");
    fs::copy_file(Fixture("frames_abc_r2010.dxf"), m_drawings / "gone" / "target.dxf");
    fs::remove(At("out/nested-002.pdf")); // and a page whose file was lost since
    // A page lost from a drawing edited since: redone, with a word that its frame moved.
    fs::remove(At("out/frames_abc_r2010-002.pdf"));
    fs::remove(m_drawings / "frames_abc_r2010.dxf");
    fs::copy_file(Fixture("frames_r2000_gbk.dxf"), m_drawings / "frames_abc_r2010.dxf");
    // Resumed into the log it resumes: that log then tells the whole batch.
    const auto resumed = Run(kFrameOptions + "--output " + Quoted(At("out")) + " --resume " +
                                 Quoted(At("run.jsonl")) + " --log " + Quoted(At("run.jsonl")),
                             &err);
    EXPECT_EQ(resumed.status, 0) << resumed.out << err;
    std::vector<std::string> again;
    for (const std::string& file : WrittenFiles(resumed.out)) {
        again.push_back(fs::path(file).filename().string());
    }
    EXPECT_EQ(again, (std::vector<std::string>{"corrupt-001.pdf", "corrupt-002.pdf",
                                               "corrupt-003.pdf", "frames_abc_r2010-002.pdf",
                                               "nested-002.pdf", "unreadable-001.pdf",
                                               "unreadable-002.pdf", "unreadable-003.pdf"}));
    EXPECT_FALSE(fs::exists(At("run.jsonl.part")));
    EXPECT_NE(err.find("frames_abc_r2010.dxf: 第 2 页的图框已不同于上次运行（0 0 600 1000 → 500 0 "
                       "920 297）"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("nested.dxf: 第 2 页的图框"), std::string::npos) << err;
    const RunCounts counts = CountRecords(ReadRunLog(At("run.jsonl").string()));
    EXPECT_EQ(counts.failed, 0);
    EXPECT_EQ(counts.plotted, 22);
}

// The drawings name gbenor.shx, gbcbig.shx and simsun.ttc, installed nowhere, and FontMap.ini
// maps gbcbig.shx to a font that is missing too. Two workers each meet every font; the run names
// each once: in the note of the first page that drew it, and in the line of the summary before the
// last.
TEST_F(PlotBatch, EveryFontDrawnWithAnotherIsNamedOnceInTheLogAndTheSummary) {
    fs::remove_all(m_drawings);
    fs::create_directories(m_drawings);
    for (const char* name : {"frames_r2000_gbk.dxf", "frames_two_rows_r2004_gbk.dxf"}) {
        fs::copy_file(Fixture(name), m_drawings / name);
    }
    std::ofstream(m_settings / "FontMap.ini") << "[Shx]\ngbcbig.shx=hztxt.shx\n[Colours]\n";
    std::string err;
    const auto run = Run(kFrameOptions + "-j 2 --output " + Quoted(At("out")) + " --log " +
                             Quoted(At("run.jsonl")) + " " + Quoted(m_drawings),
                         &err);
    ASSERT_EQ(run.status, 0) << run.out << err;
    // The table's problem is said once, by the run that hands out the drawings.
    const std::string problem = "FontMap.ini, line 3: unknown section [Colours]";
    ASSERT_NE(err.find(problem), std::string::npos) << err;
    EXPECT_EQ(err.find(problem, err.find(problem) + 1), std::string::npos) << err;

    std::vector<std::string> lines;
    std::istringstream out(run.out);
    for (std::string line; std::getline(out, line);) {
        lines.push_back(line);
    }
    ASSERT_GE(lines.size(), 2u);
    const std::string& summary = lines[lines.size() - 2];
    std::string notes;
    for (const PageRecord& record : ReadRunLog(At("run.jsonl").string())) {
        EXPECT_TRUE(record.fonts.empty());
        notes += record.note + "\n";
    }
    for (const std::string& font : {"gbenor.shx → ", "gbcbig.shx → ", "simsun.ttc → "}) {
        for (const std::string& text : {summary, notes}) {
            std::size_t count = 0;
            for (std::size_t at = text.find(font); at != std::string::npos;
                 at = text.find(font, at + 1)) {
                ++count;
            }
            EXPECT_EQ(count, 1u) << font << " in " << text;
        }
    }
    EXPECT_EQ(summary.rfind("3 种字体已替换：", 0), 0u) << summary;
    EXPECT_NE(summary.find("（按 SHX 字宽）"), std::string::npos) << summary;
    EXPECT_NE(notes.find("字体已替换：gbenor.shx → "), std::string::npos) << notes;
}

TEST_F(PlotBatch, StopOnErrorPlotsNothingAfterTheFirstFailure) {
    std::string err;
    const auto run =
        Run(kFrameOptions + "-j 1 --stop-on-error --output " + Quoted(At("out")) + " --log " +
                Quoted(At("run.jsonl")) + " " + Quoted(m_drawings / "corrupt.dxf") + " " +
                Quoted(m_drawings / "frames_abc_r2010.dxf"),
            &err);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Pages(ReadRunLog(At("run.jsonl").string())),
              (std::vector<std::string>{"corrupt.dxf#0 failed", "frames_abc_r2010.dxf#0 skipped"}));
    EXPECT_FALSE(fs::exists(At("out")) && !fs::is_empty(At("out")));
}

TEST_F(PlotBatch, SettingsAreReadButWrittenOnlyWhenAsked) {
    const fs::path settings = At("office.ini");
    m_folder.Write("office.ini", "380\r\n0\r\nFRAMES\r\nRmTK\r\ntk_xref\r\n");
    const std::string stored = Contents(settings);
    const std::string drawing = Quoted(m_drawings / "frames_abc_r2010.dxf");
    std::string err;
    // The stored layer is the default: no frame is on FRAMES.
    const auto listed = Run("--list --settings " + Quoted(settings) + " " + drawing, &err);
    EXPECT_EQ(listed.status, 0) << err;
    EXPECT_TRUE(listed.out.empty()) << listed.out;

    const auto oneOff = Run("--layer 图框 --settings " + Quoted(settings) + " --output " +
                                Quoted(At("out")) + " " + drawing,
                            &err);
    EXPECT_EQ(oneOff.status, 0) << err;
    EXPECT_EQ(Contents(settings), stored);
    EXPECT_FALSE(fs::exists(m_settings / "Kestrelwick.ini"));

    const auto saved = Run("--layer 图框 --save-settings --settings " + Quoted(settings) +
                               " --output " + Quoted(At("out")) + " " + drawing,
                           &err);
    EXPECT_EQ(saved.status, 0) << err;
    EXPECT_EQ(Contents(settings).substr(0, 20), "380\r\n0\r\n\xCD\xBC\xBF\xF2\r\nRmTK\r\n");
    EXPECT_NE(Contents(settings).find("Kestrelwick PDF\r\n5\r\n25\r\nFalse\r\n"),
              std::string::npos);

    // A settings file named but not there is a mistake, unless it is to be written.
    EXPECT_EQ(Run("--list --settings " + Quoted(At("nowhere.ini")) + " " + drawing, &err).status,
              2);
    EXPECT_NE(err.find("nowhere.ini"), std::string::npos) << err;
}

TEST_F(PlotBatch, ValuesAreCheckedBeforeAnyWork) {
    const std::string drawing = Quoted(m_drawings / "frames_abc_r2010.dxf");
    const struct {
        const char* options;
        const char* named;
    } cases[] = {
        {"--length 0", "--length"},    {"--length abc", "--length"},
        {"--copies 0", "--copies"},    {"--copies 99999", "--copies"},
        {"--offset x,25", "--offset"}, {"-j 0", "-j"},
        {"--shard 4/3", "--shard"},    {"--order diagonal", "--order"},
        {"--device Nope", "--device"}, {"--paper A9", "--paper"},
        {"--explain", "--explain"},    {"--resume x.jsonl a.dxf", "--resume"},
        {"--watch in", "--watch"},     {"--watch in --settle 0", "--settle"},
    };
    // A log to resume that is not there, or is no run log.
    m_folder.Write("notes.jsonl", "these are my notes\n");
    for (const char* log : {"missing.jsonl", "notes.jsonl"}) {
        std::string err;
        EXPECT_EQ(Run("--resume " + Quoted(At(log)), &err).status, 2) << log;
        EXPECT_NE(err.find("--resume: "), std::string::npos) << err;
    }
    // A folder without drawings is no batch.
    fs::create_directories(At("empty"));
    {
        std::string err;
        EXPECT_EQ(Run(kFrameOptions + Quoted(At("empty")), &err).status, 2);
        EXPECT_NE(err.find("no drawing"), std::string::npos) << err;
    }
    for (const auto& c : cases) {
        std::string err;
        const auto run = Run(kFrameOptions + c.options + " --output " + Quoted(At("out")) +
                                 " --log " + Quoted(At("run.jsonl")) + " " + drawing,
                             &err);
        EXPECT_EQ(run.status, 2) << c.options;
        EXPECT_NE(err.find(c.named), std::string::npos) << c.options << ": " << err;
        EXPECT_EQ(err.find("操作不当"), std::string::npos) << c.options << ": " << err;
        EXPECT_FALSE(fs::exists(At("run.jsonl"))) << c.options;
        EXPECT_FALSE(fs::exists(At("out"))) << c.options;
    }
}

// Staggered rows of mixed sizes, a frame drawn twice, an inner border, an empty rectangle and a
// frame in paper space, as LWPOLYLINEs with a text inside each that is not empty.
std::string OfficeSheet() {
    std::ostringstream dxf;
    dxf << "0\nSECTION\n2\nENTITIES\n";
    const auto rectangle = [&](double x, double y, double w, double h, bool paper, bool content) {
        dxf << "0\nLWPOLYLINE\n" << (paper ? "67\n1\n" : "") << "8\n0\n90\n4\n70\n1\n";
        for (const auto& [px, py] : {std::pair{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}) {
            dxf << "10\n" << px << "\n20\n" << py << "\n";
        }
        if (content) {
            dxf << "0\nTEXT\n"
                << (paper ? "67\n1\n" : "") << "8\n0\n10\n"
                << x + 10 << "\n20\n"
                << y + 10 << "\n40\n5\n1\nPLAN\n";
        }
    };
    rectangle(0, 700, 420, 297, false, true);   // upper row: A3
    rectangle(440, 720, 210, 297, false, true); //   A4, higher
    rectangle(670, 690, 420, 297, false, true); //   A3, lower
    rectangle(0, 0, 594, 420, false, true);     // lower row: A2
    rectangle(25, 5, 564, 410, false, false);   //   its inner border
    rectangle(620, 10, 420, 297, false, true);  //   A3
    rectangle(620, 10, 420, 297, false, false); //   drawn twice
    rectangle(0, 2000, 420, 297, false, false); // empty A3
    rectangle(10, 10, 210, 297, true, true);    // A4 in paper space
    dxf << "0\nENDSEC\n0\nEOF\n";
    return dxf.str();
}

TEST_F(PlotBatch, AutomaticFramesAreListedWithWhyTheOthersAreNotTheSameEveryTime) {
    m_folder.Write("office.dxf", OfficeSheet());
    const std::string drawing = At("office.dxf").string();
    const auto expected =
        [&](const std::vector<std::string>& lines) {
            std::string text;
            for (const std::string& line : lines) {
                text += drawing + "\t" + line + "\n";
            }
            return text;
        }({
            "1\t0 700 420 997\tA3 landscape 1:1: LWPOLYLINE on layer 0",
            "2\t440 720 650 1017\tA4 portrait 1:1: LWPOLYLINE on layer 0",
            "3\t670 690 1090 987\tA3 landscape 1:1: LWPOLYLINE on layer 0",
            "4\t0 0 594 420\tA2 landscape 1:1: LWPOLYLINE on layer 0",
            "5\t620 10 1040 307\tA3 landscape 1:1: LWPOLYLINE on layer 0",
            "6\t10 10 220 307\tA4 portrait 1:1: LWPOLYLINE on layer 0 in the layout Layout1",
            "-\t25 5 589 415\tnested in frame 4: LWPOLYLINE on layer 0",
            "-\t620 10 1040 307\tduplicate of frame 5: LWPOLYLINE on layer 0",
            "-\t0 2000 420 2297\tempty: LWPOLYLINE on layer 0",
        });
    for (int run = 0; run < 10; ++run) {
        std::string err;
        const auto listed = Run("--list --kind auto --explain " + Quoted(drawing), &err);
        EXPECT_EQ(listed.status, 0) << err;
        EXPECT_EQ(listed.out, expected) << "run " << run;
    }
    // Without --explain only the frames; a plot plots those of the current layout and says why
    // the one in paper space is not plotted.
    std::string err;
    const auto listed = Run("--list --kind auto " + Quoted(drawing), &err);
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 6);
    const auto plotted = Run("--kind auto -j 1 --progress --output " + Quoted(At("out")) +
                                 " --log " + Quoted(At("run.jsonl")) + " " + Quoted(drawing),
                             &err);
    EXPECT_EQ(WrittenFiles(plotted.out).size(), 5u) << plotted.out << err;
    EXPECT_EQ(plotted.status, 1); // a page found and not plotted is no success
    // Progress on a stderr that is no terminal: a plain line per drawing.
    EXPECT_NE(err.find("[1/1] 5 页  "), std::string::npos) << err;
    EXPECT_NE(
        err.find(drawing +
                 ": 布局 Layout1，第 6 页，图框 10 10 220 307: a frame of the layout Layout1"),
        std::string::npos)
        << err;
}

TEST_F(PlotBatch, ThreeShardsRunByGnuParallelGiveThePagesOfOneRun) {
    if (RunShell("command -v parallel").status != 0) {
        GTEST_SKIP() << "GNU parallel is not installed";
    }
    std::string err;
    const std::string options = kFrameOptions + "-j 1 -r ";
    Run(options + "--output " + Quoted(At("one")) + " --log " + Quoted(At("one.jsonl")) + " " +
            Quoted(m_drawings),
        &err);
    const std::string command =
        "XDG_STATE_HOME=" + Quoted(m_settings) + " KESTRELWICK_SETTINGS_DIR=" + Quoted(m_settings) +
        " parallel --will-cite --halt never " + Quoted(KW_PLOT_COMMAND) + " " + options +
        "--shard {}/3 --output " + Quoted(At("shards")) + " --log " + Quoted(At("shard{}.jsonl")) +
        " " + Quoted(m_drawings) + " ::: 1 2 3";
    const auto shards = RunShell(command, &err);
    // GNU parallel counts the shards that failed: those with a bad drawing.
    EXPECT_GE(shards.status, 1) << err;
    EXPECT_LE(shards.status, 2) << err;
    const auto merged =
        Run("--merge-logs --log " + Quoted(At("merged.jsonl")) + " " + Quoted(At("shard1.jsonl")) +
                " " + Quoted(At("shard2.jsonl")) + " " + Quoted(At("shard3.jsonl")),
            &err);
    EXPECT_EQ(merged.status, 0) << err;
    const auto one = ReadRunLog(At("one.jsonl").string());
    EXPECT_EQ(Pages(ReadRunLog(At("merged.jsonl").string())), Pages(one));
    // No shard is empty, and no two share a drawing.
    std::size_t total = 0;
    for (const char* shard : {"shard1.jsonl", "shard2.jsonl", "shard3.jsonl"}) {
        const RunCounts counts = CountRecords(ReadRunLog(At(shard).string()));
        EXPECT_GT(counts.drawings, 0) << shard;
        total += static_cast<std::size_t>(counts.drawings);
    }
    EXPECT_EQ(total, 7u);
}

} // namespace
} // namespace kw
