#include "app/plot/drawing_plotter.h"

#include <algorithm>
#include <charconv>
#include <chrono>

#include "batch/run_log.h"
#include "cad/messages.h"
#include "engine/frames.h"
#include "engine/plot_configuration.h"
#include "base/error.h"

namespace kw {
namespace {

std::string ShortestText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// Runs one step; a failure fills the record's error and gives false.
template <typename Step> bool Attempt(PageRecord& record, Step&& step) {
    try {
        step();
        return true;
    } catch (...) {
        const Failure failure = FailureOf(std::current_exception());
        record.errorNumber = failure.number;
        record.error = FailureText(failure.number, failure.description);
    }
    record.status = PageStatus::Failed;
    return false;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

std::string ExtentText(const FrameExtent& frame) {
    return ShortestText(frame.xMin) + ' ' + ShortestText(frame.yMin) + ' ' +
           ShortestText(frame.xMax) + ' ' + ShortestText(frame.yMax);
}

std::string FailureText(std::int32_t number, const std::string& description) {
    const std::string message = MessageForError(number);
    if (description.empty() || description == message) {
        return message;
    }
    return message + " — " + description;
}

std::string FailureLine(const PageRecord& record) {
    std::string line = record.drawing + ": ";
    if (record.page > 0) {
        line += "第 " + std::to_string(record.page) + " 页";
        if (record.frame) {
            line += "，图框 " + ExtentText(*record.frame);
        }
        line += ": ";
    }
    return line + record.error;
}

PageRecord DrawingPlotter::Record(const std::string& drawing, int page) const {
    PageRecord record;
    record.drawing = drawing;
    record.page = page;
    record.device = m_settings.printerName;
    record.paper = m_papers.CanonicalName(m_settings.paperName);
    return record;
}

bool DrawingPlotter::Plot(const std::string& drawing, const std::vector<int>& pages,
                          bool stopOnError, const std::function<void(const PageRecord&)>& done) {
    auto start = std::chrono::steady_clock::now();
    PageRecord whole = Record(drawing, 0);
    std::shared_ptr<CadApplication> application;
    std::shared_ptr<CadDocument> document;
    std::shared_ptr<CadLayout> layout;
    std::vector<PlannedPage> frames;
    m_damage.clear();
    const bool opened = Attempt(whole, [&] {
        m_session.Connect();
        application = m_session.Application();
        document = application->Documents()->Open(drawing);
        layout = document->ActiveLayout();
        PrepareLayout(*layout, m_settings, m_papers);
        if (m_output != nullptr) {
            m_output->DrawingStarted(*layout);
        }
        frames = m_findPages(drawing, *document);
    });
    const auto closeDocument = [&](bool save) {
        if (!document) {
            return;
        }
        try {
            document->Close(save);
        } catch (const Error&) {
            // Whatever kept it from being saved, it must not stay open for the next drawing.
            try {
                document->Close(false);
            } catch (const Error&) {
            }
            throw;
        }
    };
    const bool damaged = opened && !m_damage.empty();
    if (damaged) {
        PageRecord record = Record(drawing, 0);
        record.status = PageStatus::Failed;
        record.errorNumber = errors::kCannotOpen;
        record.error = FailureText(record.errorNumber,
                                   m_damage + "; the frames before the damage are plotted");
        if (frames.empty()) {
            whole = record;
        } else {
            record.seconds = SecondsSince(start);
            record.finishedAt = UtcTimestamp();
            done(record);
        }
    }
    if (!opened || frames.empty()) {
        if (opened && !damaged) {
            whole.status = PageStatus::NoFrames;
        }
        PageRecord closing = whole;
        if (!Attempt(closing, [&] { closeDocument(m_saveDrawings && opened); }) && opened) {
            whole = closing;
        }
        whole.seconds = SecondsSince(start);
        whole.finishedAt = UtcTimestamp();
        done(whole);
        return whole.status != PageStatus::Failed;
    }

    const std::int16_t copies = m_settings.Copies();
    bool allPlotted = !damaged;
    bool stopped = false;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const int page = static_cast<int>(i) + 1;
        if (!pages.empty() && std::find(pages.begin(), pages.end(), page) == pages.end()) {
            continue;
        }
        PageRecord record = Record(drawing, page);
        record.frame = frames[i].frame;
        if (stopped) {
            record.status = PageStatus::Skipped;
        } else if (!frames[i].notPlotted.empty()) {
            record.status = PageStatus::Skipped;
            record.error = frames[i].notPlotted;
        } else {
            m_lastJob.reset();
            if (Attempt(record, [&] {
                    if (m_output == nullptr) {
                        PlotFrame(*layout, *application, frames[i].frame, m_settings, copies);
                        return;
                    }
                    m_output->ConfigureFrame(*layout, frames[i].frame, m_settings, page);
                    record.paper = m_output->PendingPaper();
                    record.note = m_output->PendingNote();
                    application->ActiveDocument()->Plot()->PutNumberOfCopies(copies);
                    application->ActiveDocument()->Plot()->PlotToDevice();
                    m_output->FramePlotted();
                })) {
                if (m_lastJob) {
                    record.outputFile = m_lastJob->file;
                }
            } else {
                allPlotted = false;
                stopped = stopOnError;
            }
        }
        record.seconds = SecondsSince(start);
        record.finishedAt = UtcTimestamp();
        start = std::chrono::steady_clock::now();
        done(record);
    }
    PageRecord closing = Record(drawing, 0);
    if (!Attempt(closing, [&] { closeDocument(m_saveDrawings); })) {
        // The pages are out; only storing the plot settings in the drawing failed.
        closing.finishedAt = UtcTimestamp();
        done(closing);
        allPlotted = false;
    }
    return allPlotted;
}

} // namespace kw
