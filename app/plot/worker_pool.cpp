#include "app/plot/worker_pool.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <memory>

#include "app/plot/drawing_plotter.h"
#include "batch/run_log.h"
#include "settings/error.h"

namespace kw {
namespace {

constexpr std::int32_t kWorkerFailed = 51;
constexpr int kPollMs = 5;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

struct Running {
    std::size_t index = 0;
    std::unique_ptr<QProcess> process;
    QString log, out, err;
};

WorkerResult Collect(const WorkerJob& job, Running& running) {
    WorkerResult result;
    result.out = ReadAll(running.out);
    result.err = ReadAll(running.err);
    std::string trouble;
    try {
        if (QFile::exists(running.log)) {
            result.records = ReadRunLog(running.log.toStdString());
        }
    } catch (const Error& failure) {
        trouble = failure.Description();
    }
    const QProcess& process = *running.process;
    const bool normal = process.exitStatus() == QProcess::NormalExit &&
                        (process.exitCode() == 0 || process.exitCode() == 1);
    if (!normal || result.records.empty() || !trouble.empty()) {
        if (trouble.empty()) {
            trouble =
                process.error() == QProcess::FailedToStart
                    ? "the worker could not be started: " + process.errorString().toStdString()
                : process.exitStatus() == QProcess::CrashExit
                    ? "the worker ended abnormally: " + process.errorString().toStdString()
                    : "the worker ended with status " + std::to_string(process.exitCode()) +
                          (result.records.empty() ? " and no record" : "");
        }
        PageRecord failed;
        failed.drawing = job.drawing;
        failed.status = PageStatus::Failed;
        failed.errorNumber = kWorkerFailed;
        failed.error = FailureText(kWorkerFailed, trouble);
        failed.finishedAt = UtcTimestamp();
        result.records.push_back(failed);
    }
    return result;
}

} // namespace

void WorkerPool::Run(const std::vector<WorkerJob>& jobs,
                     const std::function<void(std::size_t, WorkerResult)>& inOrder,
                     const std::function<bool()>& stopLaunching) {
    QTemporaryDir folder;
    std::vector<Running> running;
    std::map<std::size_t, WorkerResult> finished;
    std::size_t next = 0;
    std::size_t emitted = 0;
    bool stopped = false;
    while (emitted < jobs.size()) {
        while (!stopped && next < jobs.size() && static_cast<int>(running.size()) < m_size) {
            if (stopLaunching()) {
                stopped = true;
                break;
            }
            Running started;
            started.index = next;
            const QString stem = folder.filePath(QString::number(next));
            started.log = stem + ".jsonl";
            started.out = stem + ".out";
            started.err = stem + ".err";
            QStringList arguments;
            for (const std::string& argument : m_arguments) {
                arguments << Q(argument);
            }
            arguments << "--worker" << started.log;
            if (!jobs[next].pages.empty()) {
                QStringList pages;
                for (const int page : jobs[next].pages) {
                    pages << QString::number(page);
                }
                arguments << "--pages" << pages.join(',');
            }
            arguments << "--" << Q(jobs[next].drawing);
            started.process = std::make_unique<QProcess>();
            started.process->setStandardOutputFile(started.out);
            started.process->setStandardErrorFile(started.err);
            started.process->start(Q(m_program), arguments);
            running.push_back(std::move(started));
            ++next;
        }
        if (stopped && running.empty()) {
            // What was never started comes back empty, in order.
            for (; emitted < jobs.size(); ++emitted) {
                if (auto done = finished.find(emitted); done != finished.end()) {
                    inOrder(emitted, std::move(done->second));
                } else {
                    inOrder(emitted, WorkerResult{});
                }
            }
            break;
        }
        for (auto it = running.begin(); it != running.end();) {
            QProcess& process = *it->process;
            if (process.state() != QProcess::NotRunning && !process.waitForFinished(kPollMs)) {
                ++it;
                continue;
            }
            finished.emplace(it->index, Collect(jobs[it->index], *it));
            it = running.erase(it);
        }
        for (auto done = finished.find(emitted); done != finished.end();
             done = finished.find(emitted)) {
            inOrder(emitted, std::move(done->second));
            finished.erase(done);
            ++emitted;
        }
    }
}

} // namespace kw
