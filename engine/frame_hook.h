#pragma once

#include <string>

#include "cad/automation.h"
#include "engine/frames.h"
#include "settings/plot_settings.h"

namespace kw {

// What a frame is plotted as: its job, the canonical name of the paper it goes on, and what the
// run log is to say of it (a fallback); empty for nothing.
struct FramePlan {
    PlotJob job;
    std::string paper;
    std::string note;
};

// A run's say over each frame beyond the panel: the paper and scale a frame is plotted on, the
// name of its page, and what became of the page once the device has it. A run without one plots
// every frame by FrameJob, on the panel's paper.
class FrameHook {
public:
    virtual ~FrameHook() = default;

    // A drawing's frames are about to be plotted (or previewed); `layout` is its active layout,
    // prepared for the panel's printer and paper.
    virtual void DrawingStarted(CadLayout& layout) = 0;
    // The pages after this are of the named layout, made the active one and prepared.
    virtual void LayoutStarted(CadLayout& layout, const std::string& name) {
        static_cast<void>(layout);
        static_cast<void>(name);
    }
    // How many pages the drawing's frames make (a page may say "3/12").
    virtual void PagesPlanned(int pagesInDrawing) = 0;
    // The frame's plan in place of the panel's rule. `page` is the frame's number in its drawing
    // from 1, 0 for a preview.
    virtual FramePlan PlanFrame(const FrameExtent& frame, const PlotSettings& settings,
                                int page) = 0;
    // The page planned last has gone to the device, which made `written` of it.
    virtual void FramePlotted(const PlottedPage& written) = 0;
};

} // namespace kw
