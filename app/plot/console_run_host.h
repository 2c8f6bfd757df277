#pragma once

#include <iosfwd>
#include <string>

#include "app/plot/progress_bar.h"
#include "engine/run_host.h"

namespace kw {

// The run's view of the windows for a command without windows: status lines go to `out`, the
// error message to `err`; there is no main window to hide and no CAD window to bring forward.
class ConsoleRunHost : public RunHost {
public:
    ConsoleRunHost(PlotSettings settings, std::ostream& out, std::ostream& err)
        : m_settings(std::move(settings)), m_out(out), m_err(err) {}

    PlotSettings Settings() override { return m_settings; }
    DrawingList& Drawings() override { return m_drawings; }
    PrinterTable& Printers() override { return m_printers; }
    const PaperTable& Papers() override { return m_papers; }
    PaperTable& MutablePapers() { return m_papers; }

    void ShowMainWindow() override {}
    void HideMainWindow() override {}
    void ShowProgress() override {}
    void SetProgressLabel(ProgressLabel label, const std::string& text) override;
    void RepaintProgress() override {}
    void BringWindowToFront(const std::string&) override {}
    void ShowError(const std::string& text) override;
    std::string TimeOfDay() override;

    bool Failed() const { return m_failed; }
    const std::string& ErrorText() const { return m_errorText; }
    // The bar to keep up to date while the run goes through the drawings; it shares the
    // terminal with the lines written here. Null for none.
    void SetProgressBar(ProgressBar* bar) { m_bar = bar; }

private:
    PlotSettings m_settings;
    DrawingList m_drawings;
    PrinterTable m_printers;
    PaperTable m_papers;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_failed = false;
    std::string m_errorText;
    ProgressBar* m_bar = nullptr;
    int m_drawingsAtStart = -1;
};

} // namespace kw
