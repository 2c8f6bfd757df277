#include "engine/plot_run.h"

#include <functional>

#include "engine/plot_configuration.h"
#include "base/characters.h"
#include "base/error.h"
#include "base/text_file.h"

namespace kw {
std::string PageText(int current, int total) {
    return "正在打印第 " + std::to_string(current) + " 页" + "   共 " + std::to_string(total) +
           " 页";
}

std::string FontSubstitutionSummary(const std::vector<std::string>& substitutions) {
    if (substitutions.empty())
        return {};
    std::string text = std::to_string(substitutions.size()) + " 种字体已替换：";
    for (std::size_t i = 0; i < substitutions.size(); ++i)
        text += (i == 0 ? "" : "，") + substitutions[i];
    return text;
}

std::string TemplatePath(const std::string& cadFullName) {
    if (CharacterCount(cadFullName) < 9)
        throw Error(errors::kInvalidCall, "Invalid procedure call");
    return WithoutLastCharacters(cadFullName, 9) + "\\TEMPLATE\\acad.dwt";
}

void PlotRunner::ConnectAndSaveSettings(const PlotSettings& settings) {
    m_session.Connect();
    const StoredSettings values{settings.frameLength, settings.pointAllowance, settings.frameLayer,
                                settings.blockName, settings.xrefName};
    const CurrentPrinter printer{settings.printerName, settings.offsetX, settings.offsetY,
                                 settings.portrait};
    m_settingsFile.Write(values, m_host.Printers(), printer);
}

void PlotRunner::BringCadToFront() {
    m_host.BringWindowToFront(m_session.Application()->Caption());
}

void PlotRunner::ReportFailure(std::int32_t number) {
    m_host.ShowError(MessageForError(number));
}

bool PlotRunner::Guarded(const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (...) {
        ReportFailure(FailureOf(std::current_exception()).number);
    }
    return false;
}

void PlotRunner::RunPlot() {
    PlotSettings settings;
    bool progressShown = false;
    const bool finished = Guarded([&] {
        settings = m_host.Settings();
        ConnectAndSaveSettings(settings);
        switch (settings.mode) {
        case PlotMode::SelectedFiles:
            PlotSelectedFiles(settings);
            break;
        case PlotMode::CurrentDrawing:
            PlotCurrentDrawing(settings);
            break;
        case PlotMode::CurrentDrawingPart:
            PlotCurrentDrawingPart(settings, progressShown);
            break;
        }
        m_host.ShowProgress();
        m_host.SetProgressLabel(ProgressLabel::Status, kRunFinished);
        m_host.SetProgressLabel(ProgressLabel::EndTime, m_host.TimeOfDay());
        m_host.RepaintProgress();
    });
    // Picking hides the main window before the progress window is up; without this the user
    // would be left with no window of the program at all.
    if (!finished && settings.mode == PlotMode::CurrentDrawingPart && !progressShown)
        m_host.ShowMainWindow();
}

PlotLoop PlotRunner::Loop(const PlotSettings& settings, std::int16_t copies) {
    return PlotLoop(settings, m_host.Papers(), copies, m_frameHook, m_plotFolder);
}

namespace {

// The desktop's way with pages: the progress window counts them when asked to, and the first
// failure ends the run with its message.
class DesktopPages : public PageListener {
public:
    DesktopPages(RunHost& host, bool progressPerPage)
        : m_host(host), m_progressPerPage(progressPerPage) {}

    void PageStarting(const PlannedPage& page, int total) override {
        if (m_progressPerPage) {
            m_host.SetProgressLabel(ProgressLabel::Status, PageText(page.page, total));
            m_host.RepaintProgress();
        }
    }
    bool PageEnded(const PageOutcome& outcome) override {
        if (outcome.result == PageOutcome::Result::Failed) {
            throw Error(outcome.failure.number, outcome.failure.description);
        }
        return true;
    }

private:
    RunHost& m_host;
    bool m_progressPerPage;
};

std::vector<PlannedPage> Numbered(const std::vector<FrameExtent>& frames) {
    std::vector<PlannedPage> pages;
    for (const FrameExtent& frame : frames) {
        PlannedPage page;
        page.page = static_cast<int>(pages.size()) + 1;
        page.frame = frame;
        pages.push_back(page);
    }
    return pages;
}

} // namespace

void PlotRunner::PlotCounted(PlotLoop& loop, CadLayout& layout,
                             const std::vector<FrameExtent>& frames, bool progressPerPage) {
    if (frames.empty()) {
        return;
    }
    DesktopPages listener(m_host, progressPerPage);
    loop.PlotPages(*m_session.Application(), layout,
                   Numbered(OrderFrames(frames, loop.Settings().rowsBottomUp)), listener);
}

void PlotRunner::PlotSelectedFiles(const PlotSettings& settings) {
    m_host.ShowProgress();
    m_host.HideMainWindow();
    BringCadToFront();
    m_host.SetProgressLabel(ProgressLabel::StartTime, m_host.TimeOfDay());
    auto application = m_session.Application();
    application->Documents()->Add(TemplatePath(application->FullName()));
    PlotLoop loop = Loop(settings, settings.Copies());
    DrawingList& drawings = m_host.Drawings();
    const int count = drawings.Count();
    for (int i = 1; i <= count; ++i) {
        m_host.SetProgressLabel(ProgressLabel::Status, PageText(i, count));
        m_host.RepaintProgress();
        const std::string path = TrimBlanks(drawings.First());
        application->Documents()->Open(path);
        auto document = application->ActiveDocument();
        auto layout = document->ActiveLayout();
        loop.StartDrawing(*document, *layout);
        PlotDrawing(loop, *document, layout, settings, false);
        application->ActiveDocument()->Close(true);
        drawings.RemoveFirst();
    }
}

void PlotRunner::PlotCurrentDrawing(const PlotSettings& settings) {
    m_host.ShowProgress();
    m_host.HideMainWindow();
    BringCadToFront();
    m_host.SetProgressLabel(ProgressLabel::StartTime, m_host.TimeOfDay());
    PlotLoop loop = Loop(settings, settings.Copies());
    auto application = m_session.Application();
    auto document = application->ActiveDocument();
    auto layout = document->ActiveLayout();
    loop.StartDrawing(*document, *layout);
    PlotDrawing(loop, *document, layout, settings, true);
}

void PlotRunner::PlotDrawing(PlotLoop& loop, CadDocument& document,
                             std::shared_ptr<CadLayout> layout, const PlotSettings& settings,
                             bool progressPerPage) {
    auto application = m_session.Application();
    if (m_layouts.which == LayoutChoice::Which::Current) {
        PlotCounted(loop, *layout, FindFrames(*application->ActiveDocument(), settings),
                    progressPerPage);
        return;
    }
    std::vector<LayoutFrames> found;
    for (const std::string& name : document.LayoutNames()) {
        found.push_back(
            {name, OrderFrames(FindFramesIn(document, settings, name), settings.rowsBottomUp)});
    }
    const LayoutPlan plan = PlanLayoutPages(found, layout->Name(), m_layouts);
    DesktopPages listener(m_host, progressPerPage);
    loop.PlotLayoutPages(document, *application, layout, plan.pages, listener);
}

void PlotRunner::PlotCurrentDrawingPart(const PlotSettings& settings, bool& progressShown) {
    m_host.HideMainWindow();
    BringCadToFront();
    PlotLoop loop = Loop(settings, settings.Copies());
    auto application = m_session.Application();
    auto document = application->ActiveDocument();
    auto layout = document->ActiveLayout();
    loop.StartDrawing(*document, *layout);
    const std::vector<FrameExtent> frames =
        PickFrames(*application->ActiveDocument(), *m_session.Utility(), settings);
    if (frames.empty())
        return;
    m_host.SetProgressLabel(ProgressLabel::StartTime, m_host.TimeOfDay());
    m_host.ShowProgress();
    progressShown = true;
    PlotCounted(loop, *layout, frames, true);
}

void PlotRunner::Preview() {
    Guarded([&] {
        const PlotSettings settings = m_host.Settings();
        ConnectAndSaveSettings(settings);
        PreviewBody(settings);
    });
}

void PlotRunner::PreviewBody(const PlotSettings& settings) {
    BringCadToFront();
    auto application = m_session.Application();
    const bool selectedFiles = settings.mode == PlotMode::SelectedFiles;
    if (selectedFiles) {
        application->Documents()->Add(TemplatePath(application->FullName()));
        const DrawingList& drawings = m_host.Drawings();
        if (drawings.Count() == 0)
            return;
        application->Documents()->Open(TrimBlanks(drawings.First()));
    }
    PlotLoop loop = Loop(settings, 1);
    auto document = application->ActiveDocument();
    auto layout = document->ActiveLayout();
    loop.StartDrawing(*document, *layout);
    const std::vector<FrameExtent> frames =
        settings.mode == PlotMode::CurrentDrawingPart
            ? PickFrames(*application->ActiveDocument(), *m_session.Utility(), settings)
            : FindFrames(*application->ActiveDocument(), settings);
    if (!frames.empty()) {
        loop.Preview(*application, *layout, frames.front());
    }
    if (selectedFiles)
        application->ActiveDocument()->Close(true);
}

} // namespace kw
