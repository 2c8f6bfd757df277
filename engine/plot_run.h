#pragma once

#include <cstdint>
#include <string>

#include "cad/cad_session.h"
#include "engine/run_host.h"
#include "settings/settings_file.h"

namespace kw {

inline constexpr const char* kRunFinished = "图纸打印完成 双击窗口返回";

// "正在打印第 k 页   共 n 页"
std::string PageText(int current, int total);

// The one message a failed command shows for an error number.
std::string MessageForError(std::int32_t number);

// The plot and preview commands of the main window.
class PlotRunner {
public:
    PlotRunner(CadSession& session, RunHost& host, SettingsFile& settingsFile)
        : m_session(session), m_host(host), m_settingsFile(settingsFile) {}

    // Plots every frame of every drawing of the run's scope; a failure ends it with one message.
    void RunPlot();
    // Shows the CAD application's preview of the first frame of the scope's first drawing.
    void Preview();

private:
    void ConnectAndSaveSettings(const PlotSettings& settings);
    void PlotSelectedFiles();
    void PlotCurrentDrawing();
    void PlotCurrentDrawingPart(bool& progressShown);
    void PlotOrderedFrames(CadDocument& document, std::vector<struct FrameExtent> frames,
                           const PlotSettings& settings, std::int16_t copies, bool rowsBottomUp);
    void Complete();
    void BringCadToFront();
    std::string TemplatePath();
    void PreviewBody();

    CadSession& m_session;
    RunHost& m_host;
    SettingsFile& m_settingsFile;
};

} // namespace kw
