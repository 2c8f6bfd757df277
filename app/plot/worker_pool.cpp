#include "app/plot/worker_pool.h"

#include <QProcess>

#include <charconv>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "app/plot/drawing_plotter.h"
#include "batch/run_log.h"
#include "base/error.h"

namespace kw {
namespace {

constexpr std::int32_t kWorkerFailed = 51;
constexpr int kPollMs = 2;
constexpr const char* kDone = "#done";
constexpr const char* kErr = "#err ";

struct Worker {
    std::unique_ptr<QProcess> process;
    std::optional<std::size_t> job;
    WorkerResult current;
};

std::unique_ptr<QProcess> StartWorker(const std::string& program,
                                      const std::vector<std::string>& arguments) {
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    list << "--worker";
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(QString::fromStdString(program), list);
    process->waitForStarted();
    return process;
}

std::string JobLine(const WorkerJob& job) {
    std::string line;
    for (const int page : job.pages) {
        if (!line.empty()) {
            line += ',';
        }
        line += std::to_string(page);
    }
    if (line.empty()) {
        line.push_back('*');
    }
    // Quoted, so that no character of a path (a line feed among them) can break the line.
    line += '\t';
    line += QuoteJson(job.drawing);
    line += '\n';
    return line;
}

// The worker ended before it said it was done with its drawing.
void FailCurrent(Worker& worker, const std::string& drawing) {
    const QProcess& process = *worker.process;
    std::string why;
    if (process.error() == QProcess::FailedToStart) {
        why = "the worker could not be started: ";
        why += process.errorString().toStdString();
    } else if (process.exitStatus() == QProcess::CrashExit) {
        why = "the worker ended abnormally while plotting this drawing";
    } else {
        why = "the worker ended with status ";
        why += std::to_string(process.exitCode());
        why += " while plotting this drawing";
    }
    worker.current.err +=
        QString::fromLocal8Bit(worker.process->readAllStandardError()).toStdString();
    PageRecord failed;
    failed.drawing = drawing;
    failed.status = PageStatus::Failed;
    failed.errorNumber = kWorkerFailed;
    failed.error = FailureText(kWorkerFailed, why);
    failed.finishedAt = UtcTimestamp();
    worker.current.records.push_back(failed);
}

// Reads what the worker has said; true when it finished its drawing.
bool ReadAnswers(Worker& worker) {
    QProcess& process = *worker.process;
    while (process.canReadLine()) {
        std::string line = process.readLine().toStdString();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (line == kDone) {
            return true;
        }
        try {
            if (line.rfind(kErr, 0) == 0) {
                worker.current.err += UnquoteJson(line.substr(std::string(kErr).size()));
            } else if (!line.empty()) {
                worker.current.records.push_back(RecordFromJson(line));
            }
        } catch (const Error&) {
            worker.current.err += line + "\n"; // not ours: passed on as it came
        }
    }
    return false;
}

} // namespace

void WorkerPool::Run(const std::vector<WorkerJob>& jobs,
                     const std::function<void(std::size_t, WorkerResult)>& inOrder,
                     const std::function<bool()>& stopLaunching) {
    std::vector<Worker> workers(static_cast<std::size_t>(
        std::min<std::size_t>(static_cast<std::size_t>(m_size), jobs.size())));
    std::map<std::size_t, WorkerResult> finished;
    std::size_t next = 0;
    std::size_t emitted = 0;
    bool stopped = false;
    while (emitted < jobs.size()) {
        for (Worker& worker : workers) {
            if (worker.job || next >= jobs.size() || stopped) {
                continue;
            }
            if (stopLaunching()) {
                stopped = true;
                break;
            }
            if (!worker.process || worker.process->state() == QProcess::NotRunning) {
                worker.process = StartWorker(m_program, m_arguments);
            }
            worker.job = next;
            worker.current = {};
            worker.process->write(QByteArray::fromStdString(JobLine(jobs[next])));
            ++next;
        }
        bool busy = false;
        for (Worker& worker : workers) {
            if (!worker.job) {
                continue;
            }
            busy = true;
            QProcess& process = *worker.process;
            if (process.state() != QProcess::NotRunning) {
                process.waitForReadyRead(kPollMs);
            }
            // Whatever Qt or a library writes straight to stderr is passed on as it comes.
            worker.current.err +=
                QString::fromLocal8Bit(process.readAllStandardError()).toStdString();
            bool done = ReadAnswers(worker);
            if (!done && process.state() == QProcess::NotRunning) {
                ReadAnswers(worker);
                FailCurrent(worker, jobs[*worker.job].drawing);
                done = true;
            }
            if (done) {
                finished.emplace(*worker.job, std::move(worker.current));
                worker.job.reset();
            }
        }
        for (auto done = finished.find(emitted); done != finished.end();
             done = finished.find(emitted)) {
            inOrder(emitted, std::move(done->second));
            finished.erase(done);
            ++emitted;
        }
        if (stopped && !busy) {
            for (; emitted < jobs.size(); ++emitted) {
                inOrder(emitted, WorkerResult{}); // never handed out
            }
        }
    }
    for (Worker& worker : workers) {
        if (worker.process && worker.process->state() != QProcess::NotRunning) {
            worker.process->closeWriteChannel(); // the end of its input ends it
            if (!worker.process->waitForFinished(10000)) {
                worker.process->kill();
                worker.process->waitForFinished();
            }
        }
    }
}

int ServeWorker(std::istream& in, std::ostream& out,
                const std::function<void(const WorkerJob&,
                                         const std::function<void(const PageRecord&)>&)>& plot) {
    // The drawing's messages travel with its records, so that the run can show them in order.
    std::ostringstream said;
    std::streambuf* const stderrBuffer = std::cerr.rdbuf(said.rdbuf());
    for (std::string line; std::getline(in, line);) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        WorkerJob job;
        try {
            job.drawing = UnquoteJson(line.substr(tab + 1));
        } catch (const Error&) {
            continue;
        }
        const std::string pages = line.substr(0, tab);
        for (std::size_t start = 0; pages != "*" && start < pages.size();) {
            const std::size_t comma = std::min(pages.find(',', start), pages.size());
            int page = 0;
            std::from_chars(pages.data() + start, pages.data() + comma, page);
            job.pages.push_back(page);
            start = comma + 1;
        }
        plot(job, [&out](const PageRecord& record) { out << RecordToJson(record) << '\n'; });
        if (!said.str().empty()) {
            out << kErr << QuoteJson(said.str()) << '\n';
            said.str({});
        }
        out << kDone << std::endl;
    }
    std::cerr.rdbuf(stderrBuffer);
    return 0;
}

} // namespace kw
