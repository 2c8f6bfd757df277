#pragma once

#include <cstdint>

#include "cad/automation.h"
#include "cad/catalogs.h"
#include "engine/frames.h"
#include "settings/plot_settings.h"

namespace kw {

// The window and scale of one frame.
struct FrameWindow {
    Point lowerLeft;
    Point upperRight;
    double marginUnits = 0.0; // the allowance in drawing units, on every side
};

// Error 11 for a frame length of 0 (and 6 when the allowance is 0 as well, as 0/0).
FrameWindow ComputeFrameWindow(const FrameExtent& frame, double frameLengthMm,
                               double pointAllowanceMm);

// 0, 1, 2, 3 for 0, 90, 180, 270 degrees.
std::int32_t PlotRotation(bool portrait, bool reversePlot);

// Points the layout at the chosen printer, style table and paper, in millimetres.
void PrepareLayout(CadPlotConfiguration& layout, const PlotSettings& settings,
                   const PaperTable& papers);

// The job of one frame by the panel's rule: the frame's window with the allowance, the rotation,
// the options, the frame length as the scale, and the origin or centring. The paper is left as
// the layout has it; copies and destination are the loop's.
PlotJob FrameJob(const FrameExtent& frame, const PlotSettings& settings);

// Configures the layout for one frame (window, rotation, options, scale, origin or centring).
void ConfigureFrame(CadPlotConfiguration& layout, const FrameExtent& frame,
                    const PlotSettings& settings);

} // namespace kw
