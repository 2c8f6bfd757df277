#pragma once

#include <functional>
#include <string>
#include <vector>

#include "batch/auto_frames.h"
#include "batch/reading_order.h"
#include "builtin/dwg_conversion.h"
#include "cad/automation.h"
#include "engine/layout_pages.h"
#include "engine/plot_loop.h"
#include "settings/plot_settings.h"

namespace kw {

// The pages of a drawing the CAD has opened, in page order, numbered from 1 over its layouts, and
// what the run is to say of the layouts that give none.
using PageFinder = std::function<LayoutPlan(const std::string& path, CadDocument& document)>;

// The configured kinds: the CAD's selection (FindFramesIn) in each layout, then the reading order;
// for the current layout the selection of every layout at once (FindFrames), as before.
PageFinder ConfiguredFrames(const PlotSettings& settings, const OrderChoice& order,
                            const LayoutChoice& layouts = {});

// --kind auto: the frames of the drawing the built-in CAD has open, found without configuration
// (a drawing of another CAD is read again by the DXF library, a DWG through its converted DXF),
// in the layouts chosen. With `recover` an incomplete DXF drawing gives the frames it still holds
// (the CAD reports the damage).
PageFinder AutomaticFrames(const OrderChoice& order, builtin::DwgConverterOptions dwg,
                           std::string programFolder, bool recover = false,
                           const LayoutChoice& layouts = {});

// Every candidate of a drawing, for --list --explain. Throws Error when it cannot be read, or is
// incomplete and not `recover`.
AutoFrames ExplainFrames(const std::string& path, const OrderChoice& order,
                         const builtin::DwgConverterOptions& dwg, const std::string& programFolder,
                         bool recover = false);

} // namespace kw
