#pragma once

// A run's output beyond the panel: each frame on its own sheet at its drawing scale, the page
// named from its title block, and at the end merged PDFs and the drawing catalogue.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drawing/document.h"
#include "engine/frame_hook.h"
#include "output/catalogue.h"
#include "output/output_options.h"
#include "output/title_fields.h"

namespace kw::output {

// The drawing the CAD has active: its model and its path (the name for one never saved).
struct ActiveDrawing {
    const drawing::Document* document = nullptr;
    std::string path;
};

struct OutputSetup {
    OutputOptions options;
    FieldDefinitions fields = DefaultFieldDefinitions();
    // True for a device that makes a page of any sheet (the PDF device): a sheet goes on a page of
    // exactly its size. Otherwise the device's papers are chosen from.
    bool deviceTakesAnySheet = false;
    // Where merged PDFs and catalogues go when no page file says (a printer run).
    std::string outputFolder;
    // The canonical name of the panel's paper, which a frame that matches no sheet goes on.
    std::string panelPaper;
    std::function<ActiveDrawing()> activeDrawing;
    // One line for the run log per notable event (a frame on the panel's paper, a fallback name).
    std::function<void(const std::string&)> log;
};

class OutputRun;

// What a program's CAD offers the runs of its output options, and through which the CAD's devices
// reach the run going on (the PDF device asks `current` for page names and tells it of files).
struct OutputLink {
    std::function<ActiveDrawing()> activeDrawing;
    std::function<bool(const std::string& device)> takesAnySheet;
    OutputRun* current = nullptr;
    // The folder the output options name for the PDF files of the run about to start; empty for
    // the device's own rule.
    std::string folder;
};

class OutputRun : public FrameHook {
public:
    // Throws kw::Error 5 for a scale that does not read.
    explicit OutputRun(OutputSetup setup);

    void DrawingStarted(CadLayout& layout) override;
    void ConfigureFrame(CadLayout& layout, const FrameExtent& frame, const PlotSettings& settings,
                        int page) override;
    void FramePlotted() override;

    // The name the page configured last is to be written under (without ".pdf"); empty for the
    // device's own name.
    std::string PendingName() const;
    // The canonical name of the paper the frame configured last goes on.
    std::string PendingPaper() const { return m_pending ? m_pending->paper : std::string(); }
    // What the run log is to say of the frame configured last (a fallback); empty for nothing.
    std::string PendingNote() const { return m_pending ? m_pending->note : std::string(); }
    // The device wrote the page configured last to `file`.
    void PageWritten(const std::string& file);

    struct Written {
        std::string path;
        int pages = 0; // 0 for a catalogue
    };
    // Merges and catalogues as the options say; returns the files written. The page files stay
    // (the run log names them). Throws kw::Error on a failed write.
    std::vector<Written> Finish();

    const std::vector<PageEntry>& Pages() const { return m_pages; }

private:
    void Log(const std::string& line) const;
    std::string FolderForResults() const;

    OutputSetup m_setup;
    std::optional<double> m_forcedScale;
    std::vector<std::string> m_columns;
    std::unique_ptr<TitleBlockReader> m_reader;
    std::string m_drawingPath;
    std::vector<std::string> m_devicePapers;
    UniqueNames m_names;
    std::vector<PageEntry> m_pages;
    std::optional<PageEntry> m_pending;
};

} // namespace kw::output
