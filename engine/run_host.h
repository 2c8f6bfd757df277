#pragma once

#include <string>

#include "cad/catalogs.h"
#include "settings/drawing_list.h"
#include "settings/plot_settings.h"
#include "settings/settings_file.h"

namespace kw {

enum class ProgressLabel { Status, StartTime, EndTime }; // Label1, Label3, Label5 of ProgressWindow

// What a run needs of the windows.
class RunHost {
public:
    virtual ~RunHost() = default;

    // The panel as it stands now.
    virtual PlotSettings Settings() = 0;
    virtual DrawingList& Drawings() = 0;
    virtual PrinterTable& Printers() = 0;
    virtual const PaperTable& Papers() = 0;

    virtual void ShowMainWindow() = 0;
    virtual void HideMainWindow() = 0;
    // Shows the progress window without waiting. A window closed earlier opens afresh, with
    // its labels as at load; setting a label of a closed window loads it without showing it.
    virtual void ShowProgress() = 0;
    virtual void SetProgressLabel(ProgressLabel label, const std::string& text) = 0;
    virtual void RepaintProgress() = 0;

    // Brings the top-level window with this title to the front; Error 5 when there is none.
    virtual void BringWindowToFront(const std::string& title) = 0;
    // The error message box: critical icon, OK, caption "错误".
    virtual void ShowError(const std::string& text) = 0;
    // The time of day in the system's time format.
    virtual std::string TimeOfDay() = 0;
};

} // namespace kw
