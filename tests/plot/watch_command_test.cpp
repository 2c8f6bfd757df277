// kestrelwick-plot --watch as an office runs it: drawings copied in slowly and in bursts, a
// damaged one, a stop in the middle and a restart, a run killed halfway through a drawing. Every
// page is plotted exactly once and no half-copied file is opened.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "batch/folder_watch.h"
#include "batch/run_log.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string kThreeFrames =
    Contents(fs::path(KW_DRAWING_TESTDATA) / "frames" / "frames_r2000_gbk.dxf");

// One watching kestrelwick-plot, its output in files.
class Watcher {
public:
    Watcher(const fs::path& root, const std::vector<std::string>& extra = {}) : m_root(root) {
        std::vector<std::string> arguments = {KW_PLOT_COMMAND,
                                              "--watch",
                                              (root / "in").string(),
                                              "--output",
                                              (root / "out").string(),
                                              "--kind",
                                              "polyline",
                                              "--layer",
                                              "图框",
                                              "--settle",
                                              "1.5"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const std::string out = (root / "watch.out").string();
        const std::string err = (root / "watch.err").string();
        const std::string settings = (root / "settings").string();
        m_pid = fork();
        if (m_pid == 0) {
            setenv("KESTRELWICK_SETTINGS_DIR", settings.c_str(), 1);
            setenv("XDG_STATE_HOME", settings.c_str(), 1);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644), STDOUT_FILENO);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644), STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Watcher() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

    // SIGTERM, then the exit status.
    int Stop() {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Out() const { return Contents(m_root / "watch.out"); }
    std::string Err() const { return Contents(m_root / "watch.err"); }

private:
    fs::path m_root;
    pid_t m_pid = 0;
};

// Waits up to two minutes for the condition.
template <typename Condition> bool WaitFor(Condition condition) {
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::size_t DrawingsIn(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        count += entry.path().extension() == ".dxf" ? 1 : 0;
    }
    return count;
}

// How often each drawing's page was plotted by the log, by file name and page.
std::map<std::string, int> PlottedPages(const fs::path& log) {
    std::map<std::string, int> pages;
    for (const PageRecord& record : ReadRunLog(log.string())) {
        if (record.status == PageStatus::Plotted) {
            ++pages[fs::path(record.drawing).filename().string() + "#" +
                    std::to_string(record.page)];
        }
    }
    return pages;
}

class WatchCommand : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"in", "out", "settings"}) {
            fs::create_directories(m_root / folder);
        }
    }
    test::TempFolder m_folder;
    fs::path m_root = m_folder.Path();
};

TEST_F(WatchCommand, SlowCopiesABurstAndADamagedDrawingThenAStopAndARestart) {
    auto watcher = std::make_unique<Watcher>(m_root);
    // A copy that takes three seconds, in pieces: were it opened before its end, it would fail
    // as a drawing cut off and land in failed/.
    std::thread slowCopy([&] {
        const std::size_t piece = kThreeFrames.size() / 10 + 1;
        for (std::size_t at = 0; at < kThreeFrames.size(); at += piece) {
            std::ofstream(m_root / "in" / "slow.dxf", std::ios::binary | std::ios::app)
                << kThreeFrames.substr(at, piece);
            std::this_thread::sleep_for(300ms);
        }
    });
    std::ofstream(m_root / "in" / "damaged.dxf", std::ios::binary) << kThreeFrames.substr(0, 5000);
    // A burst, each copied under a temporary name and renamed, as copying tools do.
    for (int i = 1; i <= 50; ++i) {
        const std::string name = "burst" + std::to_string(100 + i);
        std::ofstream(m_root / "in" / (name + ".part"), std::ios::binary) << kThreeFrames;
        fs::rename(m_root / "in" / (name + ".part"), m_root / "in" / (name + ".dxf"));
    }
    slowCopy.join();

    // Stopped once some drawings are through: the one in hand is finished and filed.
    ASSERT_TRUE(WaitFor([&] { return CountOf(watcher->Out(), "完成，已移到") >= 5; }))
        << watcher->Out() << watcher->Err();
    EXPECT_EQ(watcher->Stop(), 0) << watcher->Err();
    const std::string firstOut = watcher->Out();
    EXPECT_NE(firstOut.find("停止监视"), std::string::npos) << firstOut;
    const std::size_t filed = CountOf(firstOut, "已移到");
    EXPECT_EQ(DrawingsIn(m_root / "in") + filed, 52u);
    EXPECT_GT(DrawingsIn(m_root / "in"), 0u) << "the stop came after the last drawing";

    watcher = std::make_unique<Watcher>(m_root);
    ASSERT_TRUE(WaitFor([&] { return DrawingsIn(m_root / "in") == 0; })) << watcher->Err();
    EXPECT_EQ(watcher->Stop(), 0) << watcher->Err();

    EXPECT_EQ(DrawingsIn(m_root / "in" / "done"), 51u);
    EXPECT_EQ(DrawingsIn(m_root / "in" / "failed"), 1u);
    EXPECT_TRUE(fs::exists(m_root / "in" / "failed" / "damaged.dxf.jsonl"));
    EXPECT_NE(Contents(m_root / "in" / "failed" / "damaged.dxf.jsonl").find("\"failed\""),
              std::string::npos);
    const std::map<std::string, int> pages = PlottedPages(m_root / "in" / "kestrelwick-watch.jsonl");
    EXPECT_EQ(pages.size(), 51u * 3);
    for (const auto& [page, times] : pages) {
        EXPECT_EQ(times, 1) << page;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root / "out"), fs::directory_iterator()),
              51 * 3);
}

// A run killed after the first page of a drawing, as its journal and log then stand: the
// restart plots the two pages left and files the drawing with all three records.
TEST_F(WatchCommand, ARestartCarriesOnWithThePagesAKilledRunHadNotPlotted) {
    const fs::path drawing = m_root / "in" / "plan.dxf";
    std::ofstream(drawing, std::ios::binary) << kThreeFrames;
    PageRecord first;
    first.drawing = drawing.string();
    first.page = 1;
    first.outputFile = (m_root / "out" / "plan-001.pdf").string();
    PageRecord earlier = first;
    earlier.drawing = (m_root / "in" / "other.dxf").string();
    const fs::path log = m_root / "in" / "kestrelwick-watch.jsonl";
    std::ofstream(log, std::ios::binary)
        << RecordToJson(earlier) << '\n' << RecordToJson(first) << '\n' << "{\"drawing\":\"";
    WatchJournal{drawing.string(), *StateOf(drawing.string()), 1}.Write(log.string() + ".current");
    std::ofstream(m_root / "out" / "plan-001.pdf", std::ios::binary) << "page 1";

    Watcher watcher(m_root);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(m_root / "in" / "done" / "plan.dxf"); }))
        << watcher.Err();
    EXPECT_EQ(watcher.Stop(), 0);
    EXPECT_NE(watcher.Out().find("继续上次中断的图形"), std::string::npos) << watcher.Out();
    EXPECT_EQ(Contents(m_root / "out" / "plan-001.pdf"), "page 1");
    EXPECT_TRUE(fs::exists(m_root / "out" / "plan-002.pdf"));
    EXPECT_TRUE(fs::exists(m_root / "out" / "plan-003.pdf"));
    EXPECT_EQ(PlottedPages(log), (std::map<std::string, int>{
                                     {"other.dxf#1", 1}, {"plan.dxf#1", 1}, {"plan.dxf#2", 1},
                                     {"plan.dxf#3", 1}}));
    EXPECT_EQ(ReadRunLog((m_root / "in" / "done" / "plan.dxf.jsonl").string()).size(), 3u);
    EXPECT_FALSE(fs::exists(log.string() + ".current"));
}

} // namespace
} // namespace kw
