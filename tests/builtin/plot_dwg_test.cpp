// kestrelwick-plot on DWG drawings, run as a user runs it: the converter found beside the program,
// the cache in the user's cache folder, the user's files never changed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

const fs::path kSharedData = fs::path(KW_SHARED_TESTDATA).lexically_normal();

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class PlotDwg : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kSharedData)) {
            GTEST_SKIP() << kSharedData << " is not there";
        }
        std::random_device random;
        m_root = fs::temp_directory_path() / ("kw_plot_dwg_" + std::to_string(random()));
        fs::create_directories(m_root / "home");
        fs::create_directories(m_root / "drawings");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    fs::path Copy(const fs::path& from, const std::string& name) {
        const fs::path to = m_root / "drawings" / name;
        fs::copy_file(from, to);
        return to;
    }

    // Runs the command with its own home, cache and settings folders; `environment` goes before
    // it.
    Result Run(const std::string& arguments, const std::string& environment = "") {
        const fs::path errFile = m_root / "stderr.txt";
        const std::string command =
            "cd '" + m_root.string() + "' && HOME='" + (m_root / "home").string() +
            "' XDG_CACHE_HOME='" + (m_root / "cache").string() + "' KESTRELWICK_SETTINGS_DIR='" +
            (m_root / "home").string() + "' " + environment + " '" + KW_PLOT_COMMAND + "' " +
            arguments + " 2>'" + errFile.string() + "'";
        Result result;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return result;
        }
        std::array<char, 4096> buffer;
        while (const std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) {
            result.out.append(buffer.data(), n);
        }
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = ReadBytes(errFile);
        return result;
    }

    fs::path m_root;
};

// The numbers of a --list output (page, then extent, per line) without the path column.
std::vector<double> ListedNumbers(const std::string& output) {
    std::istringstream lines(output);
    std::string line;
    std::vector<double> numbers;
    while (std::getline(lines, line)) {
        std::istringstream fields(line.substr(line.find('\t') + 1));
        for (double value = 0; fields >> value;) {
            numbers.push_back(value);
        }
    }
    return numbers;
}

// A DXF writer prints a double with 15 to 17 digits, so the last one may differ.
void ExpectSameFrames(const std::string& a, const std::string& b) {
    const auto x = ListedNumbers(a);
    const auto y = ListedNumbers(b);
    ASSERT_EQ(x.size(), y.size()) << a << "\n" << b;
    for (std::size_t i = 0; i < x.size(); ++i) {
        EXPECT_NEAR(x[i], y[i], 1e-9 * (std::abs(x[i]) + 1.0)) << a << "\n" << b;
    }
}

TEST_F(PlotDwg, ListsTheFramesOfADwgAndLeavesItAsItWas) {
    const fs::path dwg =
        Copy(kSharedData / "AutoCAD_CAXA_python-lisp" / "blocks" / "A4图框.dwg", "A4图框.dwg");
    const std::string before = ReadBytes(dwg);
    const Result listed = Run("--list --kind block --block 图框 '" + dwg.string() + "'");
    ASSERT_EQ(listed.status, 0) << listed.err;
    // One frame: the block's outer border inserted at 1.0337626, about 297 × 207.2.
    std::istringstream fields(listed.out);
    std::string path, page;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::getline(fields, path, '\t');
    std::getline(fields, page, '\t');
    fields >> xMin >> yMin >> xMax >> yMax;
    EXPECT_EQ(path, dwg.string());
    EXPECT_EQ(page, "1");
    EXPECT_NEAR(xMax - xMin, 297.0, 0.05);
    EXPECT_NEAR(yMax - yMin, 207.2, 0.05);
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 1);
    EXPECT_EQ(ReadBytes(dwg), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root / "drawings"), {}), 1)
        << "nothing written beside the drawing";
}

TEST_F(PlotDwg, ADwgListsAsItsDxfTwin) {
    const fs::path data = kSharedData / "libredwg" / "test" / "test-data" / "2010";
    const fs::path dwg = Copy(data / "gh209_1.dwg", "gh209_1.dwg");
    const fs::path dxf = Copy(data / "gh209_1.dxf", "gh209_1.dxf");
    for (const std::string kind : {"--kind block --block '*'", "--kind polyline --layer '*'"}) {
        const Result fromDwg = Run("--list " + kind + " '" + dwg.string() + "'");
        const Result fromDxf = Run("--list " + kind + " '" + dxf.string() + "'");
        EXPECT_EQ(fromDwg.status, fromDxf.status) << fromDwg.err;
        EXPECT_FALSE(fromDxf.out.empty());
        ExpectSameFrames(fromDwg.out, fromDxf.out);
    }
}

TEST_F(PlotDwg, WithoutNodeTheRunSaysWhatToInstall) {
    const fs::path dwg = Copy(kSharedData / "libredwg" / "test" / "test-data" / "example_2000.dwg",
                              "example_2000.dwg");
    const Result listed = Run("--list '" + dwg.string() + "'", "PATH=/nonexistent");
    EXPECT_EQ(listed.status, 1);
    EXPECT_TRUE(listed.out.empty());
    EXPECT_NE(listed.err.find(dwg.string()), std::string::npos) << listed.err;
    EXPECT_NE(listed.err.find("2000 (AC1015)"), std::string::npos) << listed.err;
    EXPECT_NE(listed.err.find("Node.js"), std::string::npos) << listed.err;
}

// A plot run opens, plots and closes with saving; a DWG must come out of it unchanged.
TEST_F(PlotDwg, APlotRunNeverRewritesTheDwg) {
    const fs::path dwg = Copy(kSharedData / "libredwg" / "test" / "test-data" / "example_2018.dwg",
                              "example_2018.dwg");
    const std::string before = ReadBytes(dwg);
    const auto written = fs::last_write_time(dwg);
    const Result run = Run("--kind block --block '*' --output '" + (m_root / "pdf").string() +
                           "' '" + dwg.string() + "'");
    EXPECT_EQ(run.err.find("convert"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(dwg), before);
    EXPECT_EQ(fs::last_write_time(dwg), written);
}

// The whole job on a DWG: its frame plotted to a PDF page named after the DWG, the DWG untouched.
// A run without --save-settings stores nothing in its drawings, so it has nothing to say about
// the DWG not being saved.
TEST_F(PlotDwg, PlotsTheFramesOfADwgToPdfPages) {
    const fs::path dwg =
        Copy(kSharedData / "AutoCAD_CAXA_python-lisp" / "blocks" / "A4图框.dwg", "A4图框.dwg");
    const std::string before = ReadBytes(dwg);
    const fs::path pdf = m_root / "pdf";
    fs::create_directories(pdf);
    const Result run =
        Run("--kind block --block 图框 --paper 'ISO_A4_(297.00_x_210.00_MM)' --output '" +
            pdf.string() + "' '" + dwg.string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path page = pdf / "A4图框-001.pdf";
    ASSERT_TRUE(fs::exists(page)) << run.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(pdf), {}), 1);
    EXPECT_EQ(ReadBytes(page).rfind("%PDF-", 0), 0u);
    // Not a blank page: the title block's words are on it, as text.
    std::string text;
    if (FILE* pipe = popen(("pdftotext '" + page.string() + "' -").c_str(), "r")) {
        std::array<char, 4096> buffer{};
        for (std::size_t got; (got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
            text.append(buffer.data(), got);
        pclose(pipe);
    }
    EXPECT_NE(text.find("设计"), std::string::npos) << text;
    EXPECT_NE(text.find("审核"), std::string::npos) << text;
    EXPECT_NE(run.out.find(page.string() + "\t1"), std::string::npos) << run.out;
    EXPECT_EQ(ReadBytes(dwg), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root / "drawings"), {}), 1);
    const auto notices = [&] {
        std::size_t count = 0;
        for (auto at = run.err.find("not saved"); at != std::string::npos;
             at = run.err.find("not saved", at + 1)) {
            ++count;
        }
        return count;
    }();
    EXPECT_EQ(notices, 0u) << run.err;
}

} // namespace
