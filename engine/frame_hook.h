#pragma once

#include "cad/automation.h"
#include "engine/frames.h"
#include "settings/plot_settings.h"

namespace kw {

// A run's say over each frame beyond the panel: the paper and scale a frame is plotted on, and
// what is known of its page once the device has it. A run without one plots every frame exactly
// as ConfigureFrame does.
class FrameHook {
public:
    virtual ~FrameHook() = default;

    // A drawing's frames are about to be plotted (or previewed); `layout` is its active layout,
    // prepared for the panel's printer and paper.
    virtual void DrawingStarted(CadLayout& layout) = 0;
    // Configures the layout for the frame in place of ConfigureFrame. `page` is the frame's
    // number in its drawing from 1, 0 for a preview.
    virtual void ConfigureFrame(CadLayout& layout, const FrameExtent& frame,
                                const PlotSettings& settings, int page) = 0;
    // The page of the frame configured last has gone to the device.
    virtual void FramePlotted() = 0;
};

} // namespace kw
