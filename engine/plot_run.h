#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cad/cad_session.h"
#include "cad/messages.h"
#include "engine/frame_hook.h"
#include "engine/frames.h"
#include "engine/layout_pages.h"
#include "engine/plot_loop.h"
#include "engine/run_host.h"
#include "settings/settings_file.h"

namespace kw {

inline constexpr const char* kRunFinished = "图纸打印完成 双击窗口返回";

// "正在打印第 k 页   共 n 页": page (or drawing) k of n.
std::string PageText(int current, int total);

// The line that ends a run's summary when fonts were drawn with others: "3 种字体已替换：
// gbenor.shx → …，…", so that the user knows what to install; "" for none.
std::string FontSubstitutionSummary(const std::vector<std::string>& substitutions);

// The template a run over selected files starts a drawing from: the CAD executable's full name
// without its last nine characters, then "\TEMPLATE\acad.dwt". Error 5 for a shorter name.
std::string TemplatePath(const std::string& cadFullName);

// The plot and preview commands of the main window. Each catches every failure once and shows
// its one message through the host.
class PlotRunner {
public:
    PlotRunner(CadSession& session, RunHost& host, SettingsFile& settingsFile)
        : m_session(session), m_host(host), m_settingsFile(settingsFile) {}

    // Plots every frame of every drawing of the run's scope, one job per frame.
    void RunPlot();
    // Shows the CAD application's preview of the first frame of the scope's first drawing.
    void Preview();
    // Hands every frame's plan to `hook` (not owned; null for the panel's rule alone).
    void SetFrameHook(FrameHook* hook) { m_frameHook = hook; }
    // The folder a CAD that writes files puts the pages of the next runs into; empty for its own
    // rule (beside each drawing).
    void SetPlotFolder(std::string folder) { m_plotFolder = std::move(folder); }
    // The layouts whose frames the runs over drawings plot; the current one unless told.
    void SetLayoutChoice(LayoutChoice layouts) { m_layouts = std::move(layouts); }

private:
    void ConnectAndSaveSettings(const PlotSettings& settings);
    void BringCadToFront();
    void PlotSelectedFiles(const PlotSettings& settings);
    void PlotCurrentDrawing(const PlotSettings& settings);
    void PlotCurrentDrawingPart(const PlotSettings& settings, bool& progressShown);
    void PlotCounted(PlotLoop& loop, CadLayout& layout, const std::vector<FrameExtent>& frames,
                     bool progressPerPage);
    void PreviewBody(const PlotSettings& settings);
    // The frames of the drawing's chosen layouts, or of the current one (FindFrames), plotted.
    void PlotDrawing(PlotLoop& loop, CadDocument& document, std::shared_ptr<CadLayout> layout,
                     const PlotSettings& settings, bool progressPerPage);
    PlotLoop Loop(const PlotSettings& settings, std::int16_t copies);
    void ReportFailure(std::int32_t number);
    // Runs a command's body; a failure is shown in its one message. False after a failure.
    bool Guarded(const std::function<void()>& body);

    CadSession& m_session;
    RunHost& m_host;
    SettingsFile& m_settingsFile;
    FrameHook* m_frameHook = nullptr;
    std::string m_plotFolder;
    LayoutChoice m_layouts;
};

} // namespace kw
