#include "app/plot/watch_run.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <ostream>
#include <thread>

#include "base/error.h"
#include "base/local_time.h"
#include "base/paths.h"
#include "batch/folder_watch.h"
#include "batch/run_log.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kw {
namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void RequestStop(int signal) {
    g_stopRequested = 1;
    // A second Ctrl+C ends the program at once.
    std::signal(signal, SIG_DFL);
}

bool StopRequested() { return g_stopRequested != 0; }

// Whether the copier still holds the file: on Windows a file being written by another program
// cannot be opened without sharing write access. Elsewhere nothing says so; the settle time does.
bool CanOpenAlone([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(PathFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
#endif
    return true;
}

std::string LocalClock() { return LocalTimeText("%Y-%m-%d %H:%M:%S"); }

// The records a killed run wrote for the drawing it was plotting, whose pages stand.
std::vector<PageRecord> PlottedBefore(const WatchJournal& journal, const std::string& logPath) {
    std::vector<PageRecord> log = ReadRunLog(logPath, RunLogLines::PassOverCut);
    std::vector<PageRecord> plotted;
    for (std::size_t i = std::min(journal.logRecords, log.size()); i < log.size(); ++i) {
        const PageRecord& record = log[i];
        if (record.drawing == journal.drawing && record.page > 0 &&
            record.status == PageStatus::Plotted) {
            plotted.push_back(record);
        }
    }
    return plotted;
}

class Watch {
public:
    Watch(const PlotOptions& options, DrawingPlotter& plotter, std::ostream& out,
          std::ostream& err, const std::string& logPath)
        : m_options(options), m_plotter(plotter), m_out(out), m_err(err), m_logPath(logPath),
          m_journalPath(logPath + ".current"), m_logged(ReadRunLog(logPath, RunLogLines::PassOverCut).size()),
          m_log(logPath, RunLogWriter::Mode::Append) {}

    // The drawing a killed run was plotting, when it is still there as it was.
    void CarryOn() {
        const std::optional<WatchJournal> journal = WatchJournal::Read(m_journalPath);
        if (!journal) {
            return;
        }
        if (StateOf(journal->drawing) != std::optional<FileState>(journal->state)) {
            std::error_code ignored;
            fs::remove(PathFromUtf8(m_journalPath), ignored);
            return;
        }
        std::vector<PageRecord> kept = PlottedBefore(*journal, m_logPath);
        m_out << "继续上次中断的图形 " << journal->drawing << "（已打印 " << kept.size()
              << " 页）\n"
              << std::flush;
        Plot(journal->drawing, std::move(kept), true);
    }

    // Plots one drawing and files it away.
    void Plot(const std::string& drawing, std::vector<PageRecord> kept, bool resumed) {
        const std::optional<FileState> state = StateOf(drawing);
        if (!state) {
            return; // taken away since it was seen
        }
        WatchJournal{drawing, *state, m_logged}.Write(m_journalPath);
        std::vector<PageRecord> records = kept;
        const auto done = [&](PageRecord record) {
            m_fonts.MoveIntoNote(record);
            m_log.Append(record);
            ++m_logged;
            records.push_back(record);
            m_counts.push_back(record);
            if (record.status == PageStatus::Plotted && !record.outputFile.empty()) {
                m_out << record.outputFile << "\t1\n" << std::flush;
            } else if (record.status == PageStatus::Failed ||
                       (record.status == PageStatus::Skipped && !record.error.empty())) {
                m_err << FailureLine(record) << std::endl;
            }
        };
        if (resumed) {
            std::vector<int> plotted;
            for (const PageRecord& record : kept) {
                plotted.push_back(record.page);
            }
            m_plotter.PlotAllBut(drawing, plotted, done);
        } else {
            m_plotter.Plot(drawing, {}, m_options.stopOnError, done);
        }
        const bool failed = WentWrong(records);
        try {
            const std::string moved = FileAway(m_options.watchFolder, drawing, failed, records);
            m_out << (failed ? "失败，已移到 " : "完成，已移到 ") << moved << '\n' << std::flush;
        } catch (const Error& failure) {
            // Left where it is and not offered again until it changes: a drawing that cannot be
            // moved must not be plotted over and over.
            m_err << "kestrelwick-plot: " << failure.Description() << std::endl;
        }
        std::error_code ignored;
        fs::remove(PathFromUtf8(m_journalPath), ignored);
    }

    void Summary() const {
        if (const std::string fonts = m_fonts.Summary(); !fonts.empty()) {
            m_out << fonts << '\n';
        }
        const RunCounts counts = CountRecords(m_counts);
        m_out << "停止监视 " << LocalClock() << "：" << counts.drawings << " 个图形，"
              << counts.plotted << " 页已打印，" << counts.failed << " 处失败，"
              << counts.withoutFrames << " 个图形没有图框；日志 " << m_logPath << std::endl;
    }

private:
    const PlotOptions& m_options;
    DrawingPlotter& m_plotter;
    std::ostream& m_out;
    std::ostream& m_err;
    std::string m_logPath;
    std::string m_journalPath;
    std::size_t m_logged;
    RunLogWriter m_log;
    std::vector<PageRecord> m_counts;
    FontSubstitutions m_fonts; // each named once, in the first page's note
};

} // namespace

std::string WatchLogPath(const std::string& folder) {
    return Utf8FromPath(PathFromUtf8(folder) / "kestrelwick-watch.jsonl");
}

int RunWatch(const PlotOptions& options, DrawingPlotter& plotter, std::ostream& out,
             std::ostream& err) {
    std::error_code error;
    if (!fs::is_directory(PathFromUtf8(options.watchFolder), error)) {
        err << "kestrelwick-plot: --watch: there is no folder " << options.watchFolder
            << std::endl;
        return 2;
    }
    const std::string logPath =
        options.logPath.empty() ? WatchLogPath(options.watchFolder) : options.logPath;
    std::optional<Watch> watch;
    try {
        watch.emplace(options, plotter, out, err, logPath);
    } catch (const Error& failure) {
        err << "kestrelwick-plot: " << failure.Description() << std::endl;
        return 2;
    }
    g_stopRequested = 0;
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);

    const auto settle = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(options.settleSeconds));
    const auto poll = std::clamp<std::chrono::steady_clock::duration>(
        settle / 2, std::chrono::milliseconds(100), std::chrono::seconds(1));
    out << "开始监视 " << options.watchFolder << "（" << LocalClock()
        << "）：文件大小 " << options.settleSeconds
        << " 秒不变后打印；Ctrl+C 在当前图形打印完后停止\n"
        << std::flush;
    try {
        watch->CarryOn();
        FolderWatch folder(options.watchFolder, options.recursive, settle, CanOpenAlone);
        while (!StopRequested()) {
            for (const std::string& drawing : folder.Ready(std::chrono::steady_clock::now())) {
                if (StopRequested()) {
                    break;
                }
                // Copied over again while the drawings before it were plotted: it settles anew.
                if (!folder.Unchanged(drawing)) {
                    folder.Forget(drawing);
                    continue;
                }
                watch->Plot(drawing, {}, false);
            }
            const auto wake = std::chrono::steady_clock::now() + poll;
            while (!StopRequested() && std::chrono::steady_clock::now() < wake) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    } catch (const Error& failure) {
        // The log or the journal could not be written: plotting on would lose track of pages.
        err << "kestrelwick-plot: " << failure.Description() << std::endl;
        watch->Summary();
        return 1;
    }
    watch->Summary();
    return 0;
}

} // namespace kw
