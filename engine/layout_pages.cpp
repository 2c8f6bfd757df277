#include "engine/layout_pages.h"

#include <algorithm>

#include "base/characters.h"
#include "base/error.h"

namespace kw {
namespace {

bool SameLayout(const std::string& a, const std::string& b) {
    return UpperCase(a) == UpperCase(b);
}

bool IsModel(const std::string& layout) {
    return SameLayout(layout, "Model");
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

LayoutChoice ParseLayoutChoice(const std::string& text, bool wholeLayouts) {
    LayoutChoice choice;
    choice.wholeLayouts = wholeLayouts;
    const std::string word = AsciiLower(Trimmed(text));
    if (word.empty() || word == "current") {
        return choice;
    }
    if (word == "model") {
        choice.which = LayoutChoice::Which::Model;
        return choice;
    }
    if (word == "all") {
        choice.which = LayoutChoice::Which::All;
        return choice;
    }
    choice.which = LayoutChoice::Which::Named;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = Trimmed(text.substr(start, comma - start));
        if (!name.empty()) {
            choice.names.push_back(name);
        }
        start = comma + 1;
    }
    if (choice.names.empty()) {
        throw Error(errors::kInvalidCall,
                    "expected current, model, all or layout names separated by commas, got \"" +
                        text + "\"");
    }
    return choice;
}

LayoutPlan PlanLayoutPages(const std::vector<LayoutFrames>& layouts, const std::string& active,
                           const LayoutChoice& choice) {
    using Which = LayoutChoice::Which;
    std::vector<const LayoutFrames*> order;
    for (const LayoutFrames& layout : layouts) {
        order.push_back(&layout);
    }
    if (choice.which == Which::Current) {
        std::stable_partition(order.begin(), order.end(), [&](const LayoutFrames* layout) {
            return SameLayout(layout->layout, active);
        });
    }
    const auto chosen = [&](const std::string& layout) {
        switch (choice.which) {
        case Which::Current:
            return SameLayout(layout, active);
        case Which::Model:
            return IsModel(layout);
        case Which::All:
            return true;
        case Which::Named:
            break;
        }
        return std::any_of(choice.names.begin(), choice.names.end(),
                           [&](const std::string& name) { return SameLayout(name, layout); });
    };

    LayoutPlan plan;
    int page = 0;
    for (const LayoutFrames* layout : order) {
        const bool wanted = chosen(layout->layout);
        if (wanted && layout->frames.empty() && !IsModel(layout->layout) &&
            choice.which != Which::Current) {
            if (choice.wholeLayouts) {
                PlannedPage whole;
                whole.page = ++page;
                whole.layout = layout->layout;
                whole.wholeLayout = true;
                plan.pages.push_back(whole);
            } else {
                plan.notices.push_back("the layout " + layout->layout +
                                       " has no frames and is not plotted (--whole-layouts "
                                       "plots it as one page of its page setup)");
            }
            continue;
        }
        for (const FrameExtent& frame : layout->frames) {
            PlannedPage planned;
            planned.page = ++page;
            planned.frame = frame;
            planned.layout = layout->layout;
            if (choice.which == Which::Current && !wanted) {
                planned.notPlotted = "a frame of the layout " + layout->layout +
                                     ", which is not the drawing's current layout (" + active +
                                     "); only the current layout is plotted (--layouts all "
                                     "plots every layout)";
            } else if (!wanted) {
                continue;
            }
            plan.pages.push_back(planned);
        }
    }
    for (const std::string& name : choice.names) {
        if (std::none_of(layouts.begin(), layouts.end(), [&](const LayoutFrames& layout) {
                return SameLayout(layout.layout, name);
            })) {
            plan.notices.push_back("the drawing has no layout " + name);
        }
    }
    return plan;
}

} // namespace kw
