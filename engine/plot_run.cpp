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

void PlotRunner::Prepare(CadLayout& layout, const PlotSettings& settings) {
    PrepareLayout(layout, settings, m_host.Papers());
    if (m_frameHook)
        m_frameHook->DrawingStarted(layout);
}

void PlotRunner::PlotOne(CadLayout& layout, CadApplication& application, const FrameExtent& frame,
                         const PlotSettings& settings, std::int16_t copies, int page) {
    if (!m_frameHook) {
        PlotFrame(layout, application, frame, settings, copies);
        return;
    }
    m_frameHook->ConfigureFrame(layout, frame, settings, page);
    application.ActiveDocument()->Plot()->PutNumberOfCopies(copies);
    application.ActiveDocument()->Plot()->PlotToDevice();
    m_frameHook->FramePlotted();
}

void PlotRunner::PlotSelectedFiles(const PlotSettings& settings) {
    m_host.ShowProgress();
    m_host.HideMainWindow();
    BringCadToFront();
    m_host.SetProgressLabel(ProgressLabel::StartTime, m_host.TimeOfDay());
    auto application = m_session.Application();
    application->Documents()->Add(TemplatePath(application->FullName()));
    const std::int16_t copies = settings.Copies();
    DrawingList& drawings = m_host.Drawings();
    const int count = drawings.Count();
    for (int i = 1; i <= count; ++i) {
        m_host.SetProgressLabel(ProgressLabel::Status, PageText(i, count));
        m_host.RepaintProgress();
        const std::string path = TrimBlanks(drawings.First());
        application->Documents()->Open(path);
        auto layout = application->ActiveDocument()->ActiveLayout();
        Prepare(*layout, settings);
        const std::vector<FrameExtent> frames =
            FindFrames(*application->ActiveDocument(), settings);
        int page = 0;
        if (!frames.empty())
            for (const auto& frame : OrderFrames(frames, settings.rowsBottomUp))
                PlotOne(*layout, *application, frame, settings, copies, ++page);
        application->ActiveDocument()->Close(true);
        drawings.RemoveFirst();
    }
}

void PlotRunner::PlotCounted(CadLayout& layout, const std::vector<FrameExtent>& frames,
                             const PlotSettings& settings, std::int16_t copies) {
    auto application = m_session.Application();
    const int total = static_cast<int>(frames.size());
    int page = 0;
    for (const auto& frame : OrderFrames(frames, settings.rowsBottomUp)) {
        ++page;
        m_host.SetProgressLabel(ProgressLabel::Status, PageText(page, total));
        m_host.RepaintProgress();
        PlotOne(layout, *application, frame, settings, copies, page);
    }
}

void PlotRunner::PlotCurrentDrawing(const PlotSettings& settings) {
    m_host.ShowProgress();
    m_host.HideMainWindow();
    BringCadToFront();
    m_host.SetProgressLabel(ProgressLabel::StartTime, m_host.TimeOfDay());
    const std::int16_t copies = settings.Copies();
    auto application = m_session.Application();
    auto layout = application->ActiveDocument()->ActiveLayout();
    Prepare(*layout, settings);
    const std::vector<FrameExtent> frames = FindFrames(*application->ActiveDocument(), settings);
    if (!frames.empty())
        PlotCounted(*layout, frames, settings, copies);
}

void PlotRunner::PlotCurrentDrawingPart(const PlotSettings& settings, bool& progressShown) {
    m_host.HideMainWindow();
    BringCadToFront();
    const std::int16_t copies = settings.Copies();
    auto application = m_session.Application();
    auto layout = application->ActiveDocument()->ActiveLayout();
    Prepare(*layout, settings);
    const std::vector<FrameExtent> frames =
        PickFrames(*application->ActiveDocument(), *m_session.Utility(), settings);
    if (frames.empty())
        return;
    m_host.SetProgressLabel(ProgressLabel::StartTime, m_host.TimeOfDay());
    m_host.ShowProgress();
    progressShown = true;
    PlotCounted(*layout, frames, settings, copies);
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
    auto layout = application->ActiveDocument()->ActiveLayout();
    Prepare(*layout, settings);
    const std::vector<FrameExtent> frames =
        settings.mode == PlotMode::CurrentDrawingPart
            ? PickFrames(*application->ActiveDocument(), *m_session.Utility(), settings)
            : FindFrames(*application->ActiveDocument(), settings);
    if (!frames.empty()) {
        if (m_frameHook)
            m_frameHook->ConfigureFrame(*layout, frames.front(), settings, 0);
        else
            ConfigureFrame(*layout, frames.front(), settings);
        application->ActiveDocument()->Plot()->DisplayPlotPreview(1);
    }
    if (selectedFiles)
        application->ActiveDocument()->Close(true);
}

} // namespace kw
