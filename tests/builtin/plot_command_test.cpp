// kestrelwick-plot run as a user runs it, on the frame drawings.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/builtin/command_runner.h"

namespace {

namespace fs = std::filesystem;

using kw::test::Quoted;
using Result = kw::test::CommandResult;

// The settings folder of this test process: a run stores its values in the settings file, and
// one beside the executable would carry them from one test (or a user's run) into the next.
struct TestSettingsFolder {
    fs::path path =
        fs::temp_directory_path() / ("kw_plot_command_settings_" + std::to_string(getpid()));
    TestSettingsFolder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TestSettingsFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& SettingsFolder() {
    static const TestSettingsFolder folder;
    return folder.path;
}

Result RunCommand(const std::string& arguments, std::string* err = nullptr,
                  const std::string& environment = "") {
    return kw::test::RunCommand(arguments, err, SettingsFolder().string(), environment);
}

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

// The frames of a --list output, "xMin yMin xMax yMax" each, after checking path and page.
std::vector<std::string> Frames(const std::string& output, const fs::path& drawing) {
    std::vector<std::string> frames;
    std::istringstream lines(output);
    std::string line;
    int page = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string path, number, extent;
        std::getline(fields, path, '\t');
        std::getline(fields, number, '\t');
        std::getline(fields, extent);
        EXPECT_EQ(path, drawing.string());
        EXPECT_EQ(number, std::to_string(++page));
        frames.push_back(extent);
    }
    return frames;
}

using Lines = std::vector<std::string>;

struct Expected {
    const char* drawing;
    const char* options;
    Lines topDown;
    Lines bottomUp;
};

// The lists of the fixtures' description, in plotting order.
const Expected kExpected[] = {
    {"frames_r2000_gbk.dxf",
     "--kind polyline --layer 图框",
     {"0 0 420 297", "500 0 920 297", "1000 0 1420 297"},
     {"0 0 420 297", "500 0 920 297", "1000 0 1420 297"}},
    {"frames_two_rows_r2004_gbk.dxf",
     "",
     {"0 400 297 610", "400 400 697 610", "800 400 1097 610", "0 0 420 297", "500 0 710 297",
      "800 0 1220 297", "1300 297 1400 350"},
     {"0 0 420 297", "500 0 710 297", "800 0 1220 297", "1300 297 1400 350", "0 400 297 610",
      "400 400 697 610", "800 400 1097 610"}},
    {"frames_shapes_r2007.dxf",
     "--kind polyline",
     {"0 0 300 200", "300 0 600 200", "600 0 900 200", "900 0 1200 200"},
     {"0 0 300 200", "300 0 600 200", "600 0 900 200", "900 0 1200 200"}},
    {"frames_abc_r2010.dxf",
     "",
     {"1400 700 2000 2000", "0 0 600 1000", "700 500 1300 600"},
     {"0 0 600 1000", "700 500 1300 600", "1400 700 2000 2000"}},
    {"blocks_rmtk_r2013.dxf",
     "--kind block --block RmTK",
     {"0 0 420 297", "500 0 797 420", "900 0 1320 297", "1400 0 1610 148.5", "1680 0 2100 297"},
     {"0 0 420 297", "500 0 797 420", "900 0 1320 297", "1400 0 1610 148.5", "1680 0 2100 297"}},
    {"blocks_rmtk_r2013.dxf",
     "--kind block --name rmtk",
     {"0 0 420 297", "500 0 797 420", "900 0 1320 297", "1400 0 1610 148.5", "1680 0 2100 297"},
     {"0 0 420 297", "500 0 797 420", "900 0 1320 297", "1400 0 1610 148.5", "1680 0 2100 297"}},
    {"blocks_rmtk_r12_gbk.dxf",
     "--kind block",
     {"0 0 594 420", "700 0 1294 420"},
     {"0 0 594 420", "700 0 1294 420"}},
    {"blocks_rmtk_r12_gbk.dxf", "--kind polyline", {}, {}},
    {"xref_host_r2018.dxf",
     "--frame-kind xref --xref tk_xref",
     {"0 400 336 637.6", "0 0 420 297", "500 0 920 297"},
     {"0 0 420 297", "500 0 920 297", "0 400 336 637.6"}},
    {"xref_host_r2018.dxf",
     "--kind block --block tk_xref",
     {"0 400 336 637.6", "0 0 420 297", "500 0 920 297"},
     {"0 0 420 297", "500 0 920 297", "0 400 336 637.6"}},
    {"frames_paperspace_r2013.dxf",
     "",
     {"0 0 420 297", "20 20 230 317", "450 0 870 297"},
     {"0 0 420 297", "20 20 230 317", "450 0 870 297"}},
    {"no_frames_r2000_gbk.dxf", "", {}, {}},
    {"no_frames_r2000_gbk.dxf", "--kind block --block RmTK", {}, {}},
};

TEST(PlotCommandList, FrameDrawingsListTheirFramesInPlottingOrderBothWays) {
    for (const Expected& expected : kExpected) {
        const fs::path drawing = Fixture(expected.drawing);
        const std::string base = std::string("--list ") + expected.options + " " + Quoted(drawing);
        std::string err;
        const Result topDown = RunCommand(base, &err);
        EXPECT_EQ(topDown.status, 0) << base << "\n" << err;
        EXPECT_EQ(Frames(topDown.out, drawing), expected.topDown) << base;
        const Result bottomUp = RunCommand(base + " --bottom-up");
        EXPECT_EQ(bottomUp.status, 0) << base;
        EXPECT_EQ(Frames(bottomUp.out, drawing), expected.bottomUp) << base << " --bottom-up";
    }
}

TEST(PlotCommandList, GbkAndUtf8DrawingsGiveTheSameList) {
    const fs::path gbk = Fixture("frames_r2000_gbk.dxf");
    const fs::path utf8 = Fixture("frames_r2018_utf8.dxf");
    for (const char* order : {"", "--bottom-up"}) {
        const Result a = RunCommand(std::string("--list --name 图框 ") + order + " " + Quoted(gbk));
        const Result b =
            RunCommand(std::string("--list --name 图框 ") + order + " " + Quoted(utf8));
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(b.status, 0);
        EXPECT_EQ(Frames(a.out, gbk).size(), 3u);
        EXPECT_EQ(Frames(a.out, gbk), Frames(b.out, utf8));
    }
}

TEST(PlotCommandList, SeveralDrawingsInDrawingListOrderAndAFailureStopsWithItsMessage) {
    const fs::path r2000 = Fixture("frames_r2000_gbk.dxf");
    const fs::path abc = Fixture("frames_abc_r2010.dxf");
    // The drawing list keeps its paths sorted: frames_abc before frames_r2000.
    const Result both = RunCommand("--list " + Quoted(r2000) + " " + Quoted(abc));
    EXPECT_EQ(both.status, 0);
    std::vector<std::string> lines;
    std::istringstream text(both.out);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind(abc.string() + "\t1\t", 0), 0u) << lines[0];
    EXPECT_EQ(lines[3].rfind(r2000.string() + "\t1\t", 0), 0u) << lines[3];

    std::string err;
    const Result missing = RunCommand("--list " + Quoted(r2000) + " /nonexistent/plan.dxf", &err);
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(err.find("操作不当或其它未知错误："), std::string::npos) << err;
    EXPECT_NE(err.find("plan.dxf"), std::string::npos) << err;
}

TEST(PlotCommand, HelpInTheUsersLanguageAndWrongOptionsAreRefused) {
    const Result chinese = RunCommand("--help", nullptr, "LC_ALL= LC_MESSAGES= LANG=zh_CN.UTF-8");
    EXPECT_EQ(chinese.status, 0);
    EXPECT_NE(chinese.out.find("用法"), std::string::npos);
    EXPECT_EQ(chinese.out.find("Usage"), std::string::npos);
    const Result english = RunCommand("--help", nullptr, "LC_ALL=C.UTF-8");
    EXPECT_EQ(english.status, 0);
    EXPECT_NE(english.out.find("Usage"), std::string::npos);
    EXPECT_NE(english.out.find("Examples"), std::string::npos);

    std::string err;
    EXPECT_EQ(RunCommand("--list --kind circle x.dxf", &err).status, 2);
    EXPECT_NE(err.find("--kind"), std::string::npos) << err;
    EXPECT_EQ(RunCommand("--frobnicate x.dxf", &err).status, 2);
    EXPECT_NE(err.find("--frobnicate"), std::string::npos) << err;
    EXPECT_EQ(RunCommand("--list", &err).status, 2);
}

TEST(PlotCommand, CatalogsListDevicesPapersAndStyleTables) {
    const Result devices = RunCommand("--devices");
    EXPECT_EQ(devices.status, 0);
    EXPECT_EQ(devices.out.substr(0, devices.out.find('\n')), "Kestrelwick PDF");

    const Result papers = RunCommand("--papers 'Kestrelwick PDF'");
    EXPECT_EQ(papers.status, 0);
    EXPECT_NE(papers.out.find("ISO A3 横向 (420.00 x 297.00 毫米)\tISO_A3_(420.00_x_297.00_MM)\n"),
              std::string::npos);
    EXPECT_NE(RunCommand("--papers 'No such device'").status, 0);

    const Result styles = RunCommand("--styles");
    EXPECT_EQ(styles.status, 0);
    EXPECT_NE(styles.out.find("monochrome.ctb\n"), std::string::npos);
    EXPECT_NE(styles.out.find("acad.stb\n"), std::string::npos);

    // --styles DIR adds the tables of a folder; without drawings it lists them.
    const fs::path folder =
        fs::temp_directory_path() / ("kw_plot_command_styles_" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "office.ctb") << "x";
    const Result withFolder = RunCommand("--styles " + Quoted(folder));
    EXPECT_EQ(withFolder.status, 0);
    EXPECT_NE(withFolder.out.find("monochrome.ctb\n"), std::string::npos);
    EXPECT_NE(withFolder.out.find("office.ctb\n"), std::string::npos);
    EXPECT_EQ(styles.out.find("office.ctb"), std::string::npos);
    fs::remove_all(folder);
}

} // namespace
