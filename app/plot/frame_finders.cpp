#include "app/plot/frame_finders.h"

#include <optional>

#include "base/paths.h"
#include "builtin/builtin_cad.h"
#include "drawing/dxf_io.h"
#include "engine/frames.h"

namespace kw {

PageFinder ConfiguredFrames(const PlotSettings& settings, const OrderChoice& order,
                            const LayoutChoice& layouts) {
    return [settings, order, layouts](const std::string&, CadDocument& document) {
        if (layouts.which == LayoutChoice::Which::Current) {
            // As the host's select-all finds them: every layout's frames ordered together, each
            // plotted as a window of the active layout.
            LayoutPlan plan;
            for (const FrameExtent& frame : OrderFramesBy(FindFrames(document, settings), order)) {
                PlannedPage page;
                page.page = static_cast<int>(plan.pages.size()) + 1;
                page.frame = frame;
                plan.pages.push_back(page);
            }
            return plan;
        }
        std::vector<LayoutFrames> found;
        for (const std::string& layout : document.LayoutNames()) {
            found.push_back(
                {layout, OrderFramesBy(FindFramesIn(document, settings, layout), order)});
        }
        return PlanLayoutPages(found, document.ActiveLayout()->Name(), layouts);
    };
}

AutoFrames ExplainFrames(const std::string& path, const OrderChoice& order,
                         const builtin::DwgConverterOptions& dwg, const std::string& programFolder,
                         bool recover) {
    const drawing::Document document =
        HasExtension(path, ".dwg") ? builtin::LoadDwgDrawing(path, dwg, programFolder)
                    : drawing::LoadDrawing(
                          path, {.recover = recover, .keep = drawing::KeepBytes::ForReading});
    AutoFrames found = FindAutoFrames(document, order);
    found.damage = document.damage;
    return found;
}

PageFinder AutomaticFrames(const OrderChoice& order, builtin::DwgConverterOptions dwg,
                           std::string programFolder, bool recover, const LayoutChoice& layouts) {
    return [order, dwg = std::move(dwg), programFolder = std::move(programFolder), recover,
            layouts](const std::string& path, CadDocument& document) {
        const drawing::Document* open = builtin::DrawingOf(document);
        std::optional<drawing::Document> read;
        if (open == nullptr) {
            read = HasExtension(path, ".dwg")
                       ? builtin::LoadDwgDrawing(path, dwg, programFolder)
                       : drawing::LoadDrawing(
                             path, {.recover = recover, .keep = drawing::KeepBytes::ForReading});
            open = &*read;
        }
        const AutoFrames found = FindAutoFrames(*open, order);
        std::vector<LayoutFrames> frames;
        for (const drawing::Layout& layout : open->layouts) {
            frames.push_back({layout.name, found.FramesOf(layout.name)});
        }
        return PlanLayoutPages(frames, found.activeLayout, layouts);
    };
}

} // namespace kw
