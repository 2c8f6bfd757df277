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

// What a program's CAD offers the runs of its output options: its drawing models and which of its
// devices make a page of any sheet. Null for a CAD that offers neither (the host).
struct OutputLink {
    std::function<ActiveDrawing()> activeDrawing;
    std::function<bool(const std::string& device)> takesAnySheet;
    // The fonts the CAD has drawn with others since the last call, each once
    // ("gbenor.shx → …"); null for a CAD that does not say.
    std::function<std::vector<std::string>()> takeFontSubstitutions;
};

class OutputRun : public FrameHook {
public:
    // Throws kw::Error 5 for a scale that does not read.
    explicit OutputRun(OutputSetup setup);

    void DrawingStarted(CadLayout& layout) override;
    // The frames after this lie in the named layout: its title blocks are read.
    void LayoutStarted(CadLayout& layout, const std::string& name) override;
    void PagesPlanned(int pagesInDrawing) override { m_drawingPages = pagesInDrawing; }
    // The frame on its sheet at its scale where it is one and the device has a paper for it,
    // else by the panel's rule; the page named by the name template when there is one.
    FramePlan PlanFrame(const FrameExtent& frame, const PlotSettings& settings, int page) override;
    void FramePlotted(const PlottedPage& written) override;

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
    const drawing::Document* m_document = nullptr;
    std::string m_layout;
    std::vector<std::string> m_devicePapers;
    UniqueNames m_names;
    std::vector<PageEntry> m_pages;
    std::optional<PageEntry> m_pending;
    int m_drawingPages = 0;
};

// The text of a plot stamp: the template filled from `values`; a field without a value is
// printed as "-" (a stamp is printed whatever it lacks). Throws Error 5 for an unclosed brace.
std::string StampText(const std::string& stampTemplate, NameValues values);

// The values a stamp has beyond a page's name: {date} {time} (local, now) and {user} (who runs
// the program).
void AddStampValues(NameValues& values);

} // namespace kw::output
