#pragma once

// Which layouts of a drawing a run plots, and the drawing's pages over them: every layout's
// frames numbered on from the layout before, so that a page keeps its number whichever layouts a
// run chooses.

#include <string>
#include <vector>

#include "engine/frames.h"
#include "engine/plot_loop.h"

namespace kw {

struct LayoutChoice {
    enum class Which { Current, Model, All, Named };
    Which which = Which::Current;
    std::vector<std::string> names; // for Named, letter case ignored
    // A chosen paper-space layout without frames is plotted whole, as its own page setup stands.
    bool wholeLayouts = false;
};

// "current", "model", "all" or layout names separated by commas. Throws Error 5 saying what it
// takes.
LayoutChoice ParseLayoutChoice(const std::string& text, bool wholeLayouts = false);

// The frames of one layout in reading order.
struct LayoutFrames {
    std::string layout;
    std::vector<FrameExtent> frames;
};

struct LayoutPlan {
    std::vector<PlannedPage> pages;
    // Chosen layouts that give no page, and names that are no layout of the drawing: what a run
    // tells the user of them.
    std::vector<std::string> notices;
};

// The pages of a drawing whose layouts, in tab order (Model first), hold `layouts`' frames, and
// whose current layout is `active`. Current: the current layout's frames first, then those of the
// others, which are pages not plotted (the run says which it left). Otherwise every layout in
// tab order, and the frames of a layout not chosen keep their numbers but are no pages of the run.
LayoutPlan PlanLayoutPages(const std::vector<LayoutFrames>& layouts, const std::string& active,
                           const LayoutChoice& choice);

} // namespace kw
