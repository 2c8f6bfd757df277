#include "app/plot/batch_run.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <thread>

#include "app/plot/progress_bar.h"
#include "app/plot/worker_pool.h"
#include "base/local_time.h"
#include "base/paths.h"
#include "batch/drawing_paths.h"
#include "batch/run_log.h"
#include "engine/plot_run.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kw {
namespace {

bool StderrIsTerminal() {
#ifdef _WIN32
    return false;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

// The local time now, in a strftime format.
std::string LocalTime(const char* format = "%H:%M:%S") { return LocalTimeText(format); }

// A log of its own for every run, never one that an earlier run wrote, where logs of programs
// are kept ($XDG_STATE_HOME, ~/.local/state, %LOCALAPPDATA%), so that a run leaves nothing in
// the folders of the drawings or the current one; the summary names it.
std::string DefaultLogPath() {
    namespace fs = std::filesystem;
    const auto variable = [](const char* name) -> std::string {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    };
    fs::path folder;
#ifdef _WIN32
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local != nullptr) {
        folder = fs::path(local);
    }
#else
    if (!variable("XDG_STATE_HOME").empty()) {
        folder = PathFromUtf8(variable("XDG_STATE_HOME"));
    } else if (!variable("HOME").empty()) {
        folder = PathFromUtf8(variable("HOME")) / ".local" / "state";
    }
#endif
    std::error_code error;
    const fs::path logs = fs::path("Kestrelwick") / "logs";
    if (folder.empty() || (fs::create_directories(folder / logs, error), error)) {
        folder = fs::temp_directory_path(error);
        fs::create_directories(folder / logs, error);
    }
    folder /= logs;
    const std::string stamp = LocalTime("%Y%m%d-%H%M%S");
    for (int n = 1;; ++n) {
        std::string name = "kestrelwick-plot-";
        name += stamp;
        if (n > 1) {
            name += '-';
            name += std::to_string(n);
        }
        const fs::path path = folder / (name + ".jsonl");
        if (!fs::exists(path, error)) {
            return Utf8FromPath(path);
        }
    }
}

// One drawing of the batch: what to plot of it and the records a resumed run keeps.
struct BatchItem {
    WorkerJob job;
    bool work = true;
    std::vector<PageRecord> kept;
    // A resumed page's frame as the earlier run found it, to notice a drawing changed since.
    std::map<int, FrameExtent> earlierFrames;
};

// Writes records in serial order and keeps the user informed.
class BatchReport {
public:
    BatchReport(RunLogWriter& log, std::ostream& out, std::ostream& err, ProgressBar* bar,
                bool plainProgress, int drawings)
        : m_log(log), m_out(out), m_err(err), m_bar(bar), m_plainProgress(plainProgress),
          m_drawings(drawings), m_start(std::chrono::steady_clock::now()) {}

    void StartDrawing(int number) {
        ClearBar();
        m_out << PageText(number, m_drawings) << '\n' << std::flush;
        DrawBar();
    }

    // A record a resume keeps goes to the log only: its page was plotted by an earlier run.
    void Page(PageRecord record, bool made) {
        if (made) {
            m_fonts.MoveIntoNote(record);
        }
        m_log.Append(record);
        m_records.push_back(record);
        if (!made) {
            return;
        }
        ClearBar();
        if (record.status == PageStatus::Plotted && !record.outputFile.empty()) {
            m_out << record.outputFile << "\t1\n" << std::flush;
        } else if (record.status == PageStatus::Failed ||
                   (record.status == PageStatus::Skipped && !record.error.empty())) {
            m_err << FailureLine(record) << std::endl;
        }
        if (m_bar != nullptr && record.status == PageStatus::Plotted) {
            m_bar->AddPage();
        }
        DrawBar();
    }

    void Replay(const std::string& err) {
        ClearBar();
        m_err << err << std::flush;
        DrawBar();
    }

    void EndDrawing(int done, const std::string& drawing) {
        if (m_bar != nullptr) {
            m_bar->SetDrawingsDone(done);
            DrawBar();
        } else if (m_plainProgress) {
            const RunCounts counts = CountRecords(m_records);
            m_err << "[" << done << "/" << m_drawings << "] " << counts.plotted << " 页  "
                  << ProgressBar::RateText(counts.plotted, Elapsed()) << "  "
                  << ProgressBar::RemainingText(done, m_drawings, Elapsed()) << "  " << drawing
                  << std::endl;
        }
    }

    const std::vector<PageRecord>& Records() const { return m_records; }
    const FontSubstitutions& Fonts() const { return m_fonts; }

    void ClearBar() {
        if (m_bar != nullptr) {
            m_bar->Clear();
        }
    }

private:
    double Elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }
    void DrawBar() {
        if (m_bar != nullptr) {
            m_bar->Draw();
        }
    }

    RunLogWriter& m_log;
    std::ostream& m_out;
    std::ostream& m_err;
    ProgressBar* m_bar;
    bool m_plainProgress;
    int m_drawings;
    std::chrono::steady_clock::time_point m_start;
    std::vector<PageRecord> m_records;
    FontSubstitutions m_fonts;
};

// The records of a drawing in page order: those a resume keeps and those just made, each
// with its origin.
std::vector<std::pair<PageRecord, bool>> Joined(const std::vector<PageRecord>& kept,
                                                const std::vector<PageRecord>& made) {
    std::vector<std::pair<PageRecord, bool>> joined;
    for (const PageRecord& record : kept) {
        joined.emplace_back(record, false);
    }
    for (const PageRecord& record : made) {
        joined.emplace_back(record, true);
    }
    std::stable_sort(joined.begin(), joined.end(),
                     [](const auto& a, const auto& b) { return a.first.page < b.first.page; });
    return joined;
}

std::vector<BatchItem> ItemsToResume(const std::string& logPath) {
    const std::vector<PageRecord> log = ReadRunLog(logPath);
    const ResumePlan plan = PlanResume(log);
    std::map<std::string, BatchItem> byDrawing;
    std::vector<std::string> order;
    const auto item = [&](const std::string& drawing) -> BatchItem& {
        auto [at, isNew] = byDrawing.try_emplace(drawing);
        if (isNew) {
            at->second.job.drawing = drawing;
            at->second.work = false;
            order.push_back(drawing);
        }
        return at->second;
    };
    for (const PageRecord& record : log) {
        item(record.drawing); // the drawings in the log's order
    }
    for (const PageRecord& record : plan.kept) {
        item(record.drawing).kept.push_back(record);
    }
    for (const ResumeDrawing& drawing : plan.drawings) {
        BatchItem& redo = item(drawing.drawing);
        redo.work = true;
        if (drawing.wholeDrawing) {
            redo.kept.clear(); // redone from its first page
        } else {
            redo.job.pages = drawing.pages;
        }
    }
    for (const PageRecord& record : log) {
        BatchItem& redo = byDrawing[record.drawing];
        if (redo.work && record.frame && record.page > 0) {
            redo.earlierFrames[record.page] = *record.frame;
        }
    }
    std::vector<BatchItem> items;
    for (const std::string& drawing : order) {
        items.push_back(std::move(byDrawing[drawing]));
    }
    return items;
}

} // namespace

std::vector<std::string> DrawingsOf(const PlotOptions& options, std::ostream& err) {
    const DrawingSet set = ExpandDrawingPaths(options.drawings, options.recursive);
    for (const std::string& note : set.notes) {
        err << "kestrelwick-plot: " << note << '\n';
    }
    return options.shard ? TakeShard(set.drawings, *options.shard) : set.drawings;
}

int RunBatch(const PlotOptions& options, DrawingPlotter& plotter, const std::string& program,
             std::ostream& out, std::ostream& err) {
    std::vector<BatchItem> items;
    if (!options.resumeLog.empty()) {
        items = ItemsToResume(options.resumeLog);
    } else {
        for (const std::string& drawing : DrawingsOf(options, err)) {
            items.push_back({{drawing, {}}, true, {}, {}});
        }
    }
    // Nothing found is a mistake in what was named; a shard may well be left with nothing.
    if (items.empty() && !options.shard && options.resumeLog.empty()) {
        err << "kestrelwick-plot: no drawing to plot (.dxf or .dwg files, folders, patterns or "
               "list files; --recursive for sub-folders)"
            << std::endl;
        return 2;
    }
    const std::string logPath = options.logPath.empty() ? DefaultLogPath() : options.logPath;
    // Resuming into the log it resumes: the new log is written beside it and takes its place
    // only when complete, so a run cut short leaves the old one whole.
    std::error_code ignored;
    const bool inPlace =
        !options.resumeLog.empty() && std::filesystem::equivalent(PathFromUtf8(options.resumeLog),
                                                                  PathFromUtf8(logPath), ignored);
    std::optional<RunLogWriter> log(std::in_place, inPlace ? logPath + ".part" : logPath);

    const int drawings = static_cast<int>(items.size());
    std::unique_ptr<ProgressBar> bar;
    const bool terminal = StderrIsTerminal();
    if (options.progress != ProgressDisplay::Never && terminal) {
        bar = std::make_unique<ProgressBar>(err, drawings);
    }
    const bool plainProgress = options.progress == ProgressDisplay::Always && !terminal;
    BatchReport report(*log, out, err, bar.get(), plainProgress, drawings);
    out << "开始时间 " << LocalTime() << '\n' << std::flush;

    int workItems = 0;
    for (const BatchItem& item : items) {
        workItems += item.work ? 1 : 0;
    }
    const int jobs = options.jobs > 0
                         ? options.jobs
                         : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    bool stop = false;
    const auto emit = [&](std::size_t i, const std::vector<PageRecord>& made) {
        for (const auto& [record, fresh] : Joined(items[i].kept, made)) {
            // Pages are redone by number: a drawing edited since may have another frame there.
            const auto earlier = items[i].earlierFrames.find(record.page);
            if (fresh && record.frame && earlier != items[i].earlierFrames.end() &&
                !(earlier->second == *record.frame)) {
                report.ClearBar();
                err << record.drawing << ": 第 " << record.page << " 页的图框已不同于上次运行（"
                    << ExtentText(earlier->second) << " → " << ExtentText(*record.frame)
                    << "）：图形在两次运行之间被修改过" << std::endl;
            }
            report.Page(record, fresh);
        }
        report.EndDrawing(static_cast<int>(i) + 1, items[i].job.drawing);
    };
    const auto skipped = [&](std::size_t i) {
        PageRecord record;
        record.drawing = items[i].job.drawing;
        record.status = PageStatus::Skipped;
        record.finishedAt = UtcTimestamp();
        return std::vector<PageRecord>{record};
    };

    if (jobs <= 1 || workItems <= 1) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            report.StartDrawing(static_cast<int>(i) + 1);
            if (!items[i].work) {
                emit(i, {});
                continue;
            }
            if (stop) {
                emit(i, skipped(i));
                continue;
            }
            std::vector<PageRecord> made;
            const bool plotted =
                plotter.Plot(items[i].job.drawing, items[i].job.pages, options.stopOnError,
                             [&](const PageRecord& record) { made.push_back(record); });
            stop = options.stopOnError && !plotted;
            emit(i, made);
        }
    } else {
        // Only the drawings with work go to workers; the others are written as they come.
        std::vector<WorkerJob> work;
        std::vector<std::size_t> itemOf;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].work) {
                work.push_back(items[i].job);
                itemOf.push_back(i);
            }
        }
        std::size_t written = 0;
        const auto writeUpTo = [&](std::size_t end) {
            for (; written < end; ++written) {
                report.StartDrawing(static_cast<int>(written) + 1);
                emit(written, {});
            }
        };
        std::vector<std::string> arguments = options.workerArguments;
        WorkerPool pool(program, arguments, jobs);
        pool.Run(
            work,
            [&](std::size_t w, WorkerResult result) {
                const std::size_t i = itemOf[w];
                writeUpTo(i);
                report.StartDrawing(static_cast<int>(i) + 1);
                report.Replay(result.err);
                if (result.records.empty()) {
                    result.records = skipped(i);
                }
                emit(i, result.records);
                ++written;
                for (const PageRecord& record : result.records) {
                    stop = stop || (options.stopOnError && record.status == PageStatus::Failed);
                }
            },
            [&] { return stop; });
        writeUpTo(items.size());
    }
    report.ClearBar();

    if (inPlace) {
        const std::string written = log->Path();
        log.reset();
        std::filesystem::rename(PathFromUtf8(written), PathFromUtf8(logPath));
    }
    out << kRunFinished << '\n' << "结束时间 " << LocalTime() << '\n';
    if (const std::string fonts = report.Fonts().Summary(); !fonts.empty()) {
        out << fonts << '\n';
    }
    const RunCounts counts = CountRecords(report.Records());
    out << counts.drawings << " 个图形：" << counts.plotted << " 页已打印，" << counts.failed
        << " 处失败，" << counts.skipped << " 处跳过，" << counts.withoutFrames
        << " 个图形没有图框；日志 " << logPath << std::endl;
    return counts.failed > 0 || counts.skipped > 0 ? 1 : 0;
}

int RunWorker(DrawingPlotter& plotter, bool stopOnError) {
    return ServeWorker(
        std::cin, std::cout,
        [&](const WorkerJob& job, const std::function<void(const PageRecord&)>& done) {
            plotter.Plot(job.drawing, job.pages, stopOnError, done);
        });
}

int MergeLogs(const PlotOptions& options, std::ostream& out) {
    const std::vector<PageRecord> records = MergeRunLogs(options.drawings);
    if (options.logPath.empty()) {
        for (const PageRecord& record : records) {
            out << RecordToJson(record) << '\n';
        }
        out.flush();
        return 0;
    }
    RunLogWriter log(options.logPath);
    for (const PageRecord& record : records) {
        log.Append(record);
    }
    return 0;
}

} // namespace kw
