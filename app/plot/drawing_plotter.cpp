#include "app/plot/drawing_plotter.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>

#include "base/error.h"
#include "batch/run_log.h"
#include "cad/messages.h"
#include "drawing/document.h"
#include "engine/frames.h"
#include "engine/plot_loop.h"

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
        if (!record.layout.empty()) {
            line += "布局 " + record.layout + "，";
        }
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

namespace {

// The command line's way with pages: each one's record goes out as soon as it ends, and a failure
// ends the drawing only when asked to.
class RecordedPages : public PageListener {
public:
    RecordedPages(const DrawingPlotter& plotter, CadApplication& application,
                  const std::string& drawing, bool stopOnError,
                  std::chrono::steady_clock::time_point& start,
                  const std::function<void(const PageRecord&)>& done)
        : m_plotter(plotter), m_application(application), m_drawing(drawing),
          m_stopOnError(stopOnError), m_start(start), m_done(done) {}

    bool PageEnded(const PageOutcome& outcome) override {
        PageRecord record = m_plotter.Record(m_drawing, outcome.planned->page);
        if (!outcome.planned->wholeLayout) {
            record.frame = outcome.planned->frame;
        }
        if (outcome.planned->layout != "Model") {
            record.layout = outcome.planned->layout;
        }
        switch (outcome.result) {
        case PageOutcome::Result::Skipped:
            record.status = PageStatus::Skipped;
            if (!m_stopped) {
                record.error = outcome.planned->notPlotted;
            }
            break;
        case PageOutcome::Result::Plotted:
            record.paper = outcome.paper;
            record.note = outcome.note;
            record.outputFile = outcome.file;
            break;
        case PageOutcome::Result::Failed:
            record.paper = outcome.paper;
            record.note = outcome.note;
            record.status = PageStatus::Failed;
            record.errorNumber = outcome.failure.number;
            record.error = FailureText(outcome.failure.number, outcome.failure.description);
            m_allPlotted = false;
            m_stopped = m_stopped || m_stopOnError;
            break;
        }
        record.fonts = builtin::TakeFontSubstitutions(m_application);
        record.seconds = SecondsSince(m_start);
        record.finishedAt = UtcTimestamp();
        m_start = std::chrono::steady_clock::now();
        m_done(record);
        return !m_stopped;
    }

    bool AllPlotted() const { return m_allPlotted; }

private:
    const DrawingPlotter& m_plotter;
    CadApplication& m_application;
    const std::string& m_drawing;
    bool m_stopOnError;
    std::chrono::steady_clock::time_point& m_start;
    const std::function<void(const PageRecord&)>& m_done;
    bool m_allPlotted = true;
    bool m_stopped = false;
};

} // namespace

bool DrawingPlotter::Plot(const std::string& drawing, const std::vector<int>& pages,
                          bool stopOnError, const std::function<void(const PageRecord&)>& done) {
    return PlotChosen(
        drawing,
        [&](int page) {
            return pages.empty() || std::find(pages.begin(), pages.end(), page) != pages.end();
        },
        stopOnError, done);
}

bool DrawingPlotter::PlotAllBut(const std::string& drawing, const std::vector<int>& plotted,
                                const std::function<void(const PageRecord&)>& done) {
    return PlotChosen(
        drawing,
        [&](int page) { return std::find(plotted.begin(), plotted.end(), page) == plotted.end(); },
        false, done);
}

bool DrawingPlotter::PlotChosen(const std::string& drawing, const std::function<bool(int)>& wanted,
                                bool stopOnError,
                                const std::function<void(const PageRecord&)>& done) {
    auto start = std::chrono::steady_clock::now();
    PageRecord whole = Record(drawing, 0);
    std::shared_ptr<CadApplication> application;
    std::shared_ptr<CadDocument> document;
    std::shared_ptr<CadLayout> layout;
    std::optional<PlotLoop> loop;
    LayoutPlan plan;
    std::string damage;
    const bool opened = Attempt(whole, [&] {
        m_session.Connect();
        application = m_session.Application();
        document = application->Documents()->Open(drawing);
        // An incomplete drawing read as far as it goes (--recover): it is logged as failed
        // (page 0) before its pages, so that a resume reads it again once it is mended.
        if (const drawing::Document* model = builtin::DrawingOf(*document)) {
            damage = model->damage;
        }
        layout = document->ActiveLayout();
        loop.emplace(m_settings, m_papers, m_settings.Copies(), m_output);
        loop->StartDrawing(*document, *layout);
        plan = m_findPages(drawing, *document);
    });
    const std::vector<PlannedPage>& frames = plan.pages;
    if (m_notice) {
        for (const std::string& notice : plan.notices) {
            m_notice(drawing + ": " + notice);
        }
    }
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
    const bool damaged = opened && !damage.empty();
    if (damaged) {
        PageRecord record = Record(drawing, 0);
        record.status = PageStatus::Failed;
        record.errorNumber = errors::kCannotOpen;
        record.error =
            FailureText(record.errorNumber, damage + "; the frames before the damage are plotted");
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

    std::vector<PlannedPage> chosen;
    for (const PlannedPage& page : frames) {
        if (wanted(page.page)) {
            chosen.push_back(page);
        }
    }
    RecordedPages listener(*this, *application, drawing, stopOnError, start, done);
    loop->PlotLayoutPages(*document, *application, layout, chosen, listener,
                          static_cast<int>(frames.size()));
    bool allPlotted = !damaged && listener.AllPlotted();
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
