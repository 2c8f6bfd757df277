#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/plot/frame_finders.h"
#include "batch/page_record.h"
#include "builtin/builtin_cad.h"
#include "cad/cad_session.h"
#include "cad/catalogs.h"
#include "output/output_run.h"
#include "settings/plot_settings.h"

namespace kw {

// Plots drawings one at a time, each page on its own: a page that fails is recorded and the
// next one is plotted; a drawing that cannot be read fails as a whole (page 0) and the batch
// goes on. Drawings are closed without saving unless `saveDrawings`.
class DrawingPlotter {
public:
    // `output` (not owned; null for the panel's rule alone) plans every frame's paper, scale and
    // name.
    DrawingPlotter(CadSession& session, PlotSettings settings, PaperTable papers,
                   PageFinder findPages, bool saveDrawings, output::OutputRun* output = nullptr)
        : m_session(session), m_settings(std::move(settings)), m_papers(std::move(papers)),
          m_findPages(std::move(findPages)), m_saveDrawings(saveDrawings), m_output(output) {}

    // Where a line for the user goes that is no page's: a chosen layout without frames, a
    // layout name the drawing lacks. Unset: nowhere.
    void SetNotices(std::function<void(const std::string&)> notice) {
        m_notice = std::move(notice);
    }

    // Plots the drawing's pages, or only `pages` (numbers from 1) when it is not empty; each
    // record goes to `done` as soon as its page ends. With `stopOnError` the first failure
    // ends the drawing, the pages after it recorded as skipped. False when a page failed.
    bool Plot(const std::string& drawing, const std::vector<int>& pages, bool stopOnError,
              const std::function<void(const PageRecord&)>& done);

    // Plots the drawing's pages but those in `plotted` (numbers from 1): a drawing an earlier
    // run was cut off in. The records of the drawing as a whole (unreadable, no frames) come as
    // with Plot.
    bool PlotAllBut(const std::string& drawing, const std::vector<int>& plotted,
                    const std::function<void(const PageRecord&)>& done);

    PageRecord Record(const std::string& drawing, int page) const;

private:
    bool PlotChosen(const std::string& drawing, const std::function<bool(int)>& wanted,
                    bool stopOnError, const std::function<void(const PageRecord&)>& done);

    CadSession& m_session;
    PlotSettings m_settings;
    PaperTable m_papers;
    PageFinder m_findPages;
    bool m_saveDrawings;
    output::OutputRun* m_output;
    std::function<void(const std::string&)> m_notice;
};

// The message table's text for the failure's number, then what the CAD said about it.
std::string FailureText(std::int32_t number, const std::string& description);

// The line a shell user reads for a failed record: drawing, page and frame, then the text.
std::string FailureLine(const PageRecord& record);

// "xMin yMin xMax yMax", each the shortest text that reads back as the same number.
std::string ExtentText(const FrameExtent& frame);

} // namespace kw
