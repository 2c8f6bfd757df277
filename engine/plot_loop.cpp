#include "engine/plot_loop.h"

#include <exception>

#include "engine/plot_configuration.h"

namespace kw {
namespace {

// Passes every page on, and remembers whether the listener stopped the drawing.
class StopWatch : public PageListener {
public:
    explicit StopWatch(PageListener& listener) : m_listener(listener) {}

    void PageStarting(const PlannedPage& page, int total) override {
        m_listener.PageStarting(page, total);
    }
    bool PageEnded(const PageOutcome& outcome) override {
        m_stopped = !m_listener.PageEnded(outcome) || m_stopped;
        return !m_stopped;
    }
    bool Stopped() const { return m_stopped; }

private:
    PageListener& m_listener;
    bool m_stopped = false;
};

} // namespace

PlotLoop::PlotLoop(PlotSettings settings, PaperTable papers, std::int16_t copies, FrameHook* hook,
                   std::string folder)
    : m_settings(std::move(settings)), m_papers(std::move(papers)), m_hook(hook),
      m_folder(std::move(folder)), m_copies(copies) {}

void PlotLoop::StartDrawing(CadDocument& document, CadLayout& layout) {
    m_jobs = document.JobPlotter();
    PrepareLayout(layout, m_settings, m_papers);
    if (m_hook != nullptr) {
        m_hook->DrawingStarted(layout);
    }
}

std::shared_ptr<CadLayout> PlotLoop::StartLayout(CadDocument& document, const std::string& name,
                                                 bool ownPageSetup) {
    document.PutActiveLayout(name);
    std::shared_ptr<CadLayout> layout = document.ActiveLayout();
    if (ownPageSetup) {
        layout->PutConfigName(m_settings.printerName);
    } else {
        PrepareLayout(*layout, m_settings, m_papers);
    }
    if (m_hook != nullptr) {
        m_hook->LayoutStarted(*layout, name);
    }
    return layout;
}

FramePlan PlotLoop::Plan(const FrameExtent& frame, int page) const {
    if (m_hook != nullptr) {
        return m_hook->PlanFrame(frame, m_settings, page);
    }
    return {FrameJob(frame, m_settings), m_papers.CanonicalName(m_settings.paperName), {}};
}

void PlotLoop::PlotOne(CadApplication& application, CadLayout& layout, const PlannedPage& page,
                       PageOutcome& outcome) {
    if (page.wholeLayout) {
        PlotWholeLayout(application, outcome);
        return;
    }
    FramePlan plan = Plan(page.frame, page.page);
    outcome.paper = plan.paper;
    outcome.note = plan.note;
    plan.job.copies = m_copies;
    plan.job.folder = m_folder;
    PlottedPage written;
    if (m_jobs) {
        written = m_jobs->Plot(plan.job);
    } else {
        if (plan.job.excerpt) {
            throw Error(errors::kMemberNotFound,
                        "this CAD writes no drawings of single frames; plot the frames instead");
        }
        ApplyJob(layout, plan.job);
        // The active document's plot object is fetched afresh for each use, as the host's
        // examples do.
        application.ActiveDocument()->Plot()->PutNumberOfCopies(plan.job.copies);
        application.ActiveDocument()->Plot()->PlotToDevice();
        written.device = m_settings.printerName;
        written.copies = plan.job.copies;
    }
    outcome.file = written.file;
    if (!written.note.empty()) {
        outcome.note += (outcome.note.empty() ? "" : "; ") + written.note;
    }
    if (m_hook != nullptr) {
        m_hook->FramePlotted(written);
    }
}

void PlotLoop::PlotWholeLayout(CadApplication& application, PageOutcome& outcome) {
    PlotJob job;
    job.ownPageSetup = true;
    job.copies = m_copies;
    job.folder = m_folder;
    PlottedPage written;
    if (m_jobs) {
        written = m_jobs->Plot(job);
    } else {
        application.ActiveDocument()->Plot()->PutNumberOfCopies(job.copies);
        application.ActiveDocument()->Plot()->PlotToDevice();
        written.device = m_settings.printerName;
        written.copies = job.copies;
    }
    outcome.paper = written.paper;
    outcome.file = written.file;
    outcome.note = written.note;
}

void PlotLoop::PlotPages(CadApplication& application, CadLayout& layout,
                         const std::vector<PlannedPage>& pages, PageListener& listener,
                         int drawingPages) {
    const int total = static_cast<int>(pages.size());
    if (m_hook != nullptr) {
        m_hook->PagesPlanned(drawingPages > 0 ? drawingPages : total);
    }
    bool goOn = true;
    for (const PlannedPage& page : pages) {
        PageOutcome outcome;
        outcome.planned = &page;
        outcome.paper = m_papers.CanonicalName(m_settings.paperName);
        if (goOn && page.notPlotted.empty()) {
            listener.PageStarting(page, total);
            try {
                PlotOne(application, layout, page, outcome);
                outcome.result = PageOutcome::Result::Plotted;
            } catch (...) {
                outcome.result = PageOutcome::Result::Failed;
                outcome.failure = FailureOf(std::current_exception());
            }
        }
        goOn = listener.PageEnded(outcome) && goOn;
    }
}

void PlotLoop::PlotLayoutPages(CadDocument& document, CadApplication& application,
                               std::shared_ptr<CadLayout> layout,
                               const std::vector<PlannedPage>& pages, PageListener& listener,
                               int drawingPages) {
    // The pages come layout by layout; each run of them is plotted from its layout, made the
    // active one. The drawing's own active layout needs no switch.
    std::string active;
    try {
        active = layout->Name();
    } catch (const CadError&) {
        // A CAD that does not name its layouts plots its active one, as before.
    }
    bool ownPageSetup = false;
    bool goOn = true;
    const auto tell = [&](const PlannedPage& page, const Failure* failure) {
        PageOutcome outcome;
        outcome.planned = &page;
        if (failure != nullptr && goOn) {
            outcome.result = PageOutcome::Result::Failed;
            outcome.failure = *failure;
        }
        goOn = listener.PageEnded(outcome) && goOn;
    };
    std::size_t first = 0;
    while (first < pages.size()) {
        std::size_t end = first + 1;
        while (end < pages.size() && pages[end].layout == pages[first].layout &&
               pages[end].wholeLayout == pages[first].wholeLayout) {
            ++end;
        }
        const std::vector<PlannedPage> run(pages.begin() + static_cast<std::ptrdiff_t>(first),
                                           pages.begin() + static_cast<std::ptrdiff_t>(end));
        first = end;
        const PlannedPage& lead = run.front();
        if (!goOn) {
            for (const PlannedPage& page : run) {
                tell(page, nullptr);
            }
            continue;
        }
        if (!lead.layout.empty() && lead.notPlotted.empty() &&
            (lead.layout != active || lead.wholeLayout != ownPageSetup)) {
            try {
                layout = StartLayout(document, lead.layout, lead.wholeLayout);
                active = lead.layout;
                ownPageSetup = lead.wholeLayout;
            } catch (...) {
                // The layout cannot be plotted from: each of its pages fails with why.
                const Failure failure = FailureOf(std::current_exception());
                for (const PlannedPage& page : run) {
                    tell(page, &failure);
                }
                continue;
            }
        }
        StopWatch watch(listener);
        PlotPages(application, *layout, run, watch, drawingPages);
        goOn = !watch.Stopped();
    }
}

void PlotLoop::Preview(CadApplication& application, CadLayout& layout, const FrameExtent& frame) {
    ApplyJob(layout, Plan(frame, 0).job);
    application.ActiveDocument()->Plot()->DisplayPlotPreview(1);
}

} // namespace kw
