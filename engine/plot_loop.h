#pragma once

// The one loop that plots frames, for the desktop program and for kestrelwick-plot alike: each
// frame as its own job, planned by the panel's rule or by the run's hook, handed whole to a CAD
// that takes typed jobs and told through the layout's members to one that does not (the host).
// A page that fails is reported with its failure; the listener decides whether the drawing
// goes on.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/automation.h"
#include "cad/catalogs.h"
#include "engine/frame_hook.h"
#include "engine/frames.h"
#include "settings/plot_settings.h"

namespace kw {

// One page a drawing gives: its number in the drawing from 1, its frame, and why it is not
// plotted when it is not.
struct PlannedPage {
    int page = 0;
    FrameExtent frame;
    std::string notPlotted;
    // The layout the frame lies in ("Model" or a paper layout's name); empty for the layout that
    // is active when the drawing's pages start.
    std::string layout;
    // A layout without frames plotted whole, as its own page setup stands; `frame` is unset.
    bool wholeLayout = false;
};

// What became of one page.
struct PageOutcome {
    enum class Result { Plotted, Failed, Skipped };

    const PlannedPage* planned = nullptr;
    Result result = Result::Skipped;
    std::string paper; // the canonical name of the paper it went on
    std::string note;  // what the run log is to say of it
    std::string file;  // the file the device wrote; empty for a printer
    Failure failure;   // for Failed
};

class PageListener {
public:
    virtual ~PageListener() = default;
    // The page is about to be plotted (not called for a page that is skipped).
    virtual void PageStarting(const PlannedPage& page, int total) {
        static_cast<void>(page);
        static_cast<void>(total);
    }
    // The page's end, whatever it was. False plots no more pages of the drawing: the rest are
    // reported as skipped.
    virtual bool PageEnded(const PageOutcome& outcome) = 0;
};

class PlotLoop {
public:
    // `papers` names the panel's paper as the CAD knows it; every job is of `copies` copies.
    PlotLoop(PlotSettings settings, PaperTable papers, std::int16_t copies,
             FrameHook* hook = nullptr, std::string folder = {});

    // Points the document's active layout at the panel's printer, style table and paper, and
    // tells the hook. Every drawing's pages start with it.
    void StartDrawing(CadDocument& document, CadLayout& layout);
    // Makes the named layout the document's active one, so that the pages after it are plotted
    // from it, and prepares it as StartDrawing prepares the first; a layout plotted as its own
    // page setup is pointed at the panel's printer alone. Returns the layout.
    std::shared_ptr<CadLayout> StartLayout(CadDocument& document, const std::string& name,
                                           bool ownPageSetup);
    // Plots the pages in order, each as its own job, on the drawing StartDrawing prepared.
    // `drawingPages` is how many the drawing has (`pages` may be some of them); 0 for as many as
    // `pages`.
    void PlotPages(CadApplication& application, CadLayout& layout,
                   const std::vector<PlannedPage>& pages, PageListener& listener,
                   int drawingPages = 0);
    // Plots pages of several layouts (PlannedPage::layout) as PlotPages does, each run of pages
    // from its layout, made the active one with StartLayout; `layout` is the one active now. A
    // layout that cannot be made active fails its pages.
    void PlotLayoutPages(CadDocument& document, CadApplication& application,
                         std::shared_ptr<CadLayout> layout, const std::vector<PlannedPage>& pages,
                         PageListener& listener, int drawingPages = 0);
    // Configures the layout for the frame and shows the CAD's preview of it.
    void Preview(CadApplication& application, CadLayout& layout, const FrameExtent& frame);

    const PlotSettings& Settings() const { return m_settings; }

private:
    FramePlan Plan(const FrameExtent& frame, int page) const;
    void PlotOne(CadApplication& application, CadLayout& layout, const PlannedPage& page,
                 PageOutcome& outcome);
    void PlotWholeLayout(CadApplication& application, PageOutcome& outcome);

    PlotSettings m_settings;
    PaperTable m_papers;
    FrameHook* m_hook;
    std::string m_folder;
    std::int16_t m_copies;
    std::shared_ptr<CadJobPlotter> m_jobs;
};

} // namespace kw
