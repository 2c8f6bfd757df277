#include "app/plot/frame_finders.h"

#include "base/paths.h"
#include "builtin/builtin_cad.h"
#include "drawing/dxf_io.h"
#include "engine/frames.h"

namespace kw {

PageFinder ConfiguredFrames(const PlotSettings& settings, const OrderChoice& order) {
    return [settings, order](const std::string&, CadDocument& document) {
        std::vector<PlannedPage> pages;
        for (const FrameExtent& frame : OrderFramesBy(FindFrames(document, settings), order)) {
            pages.push_back({static_cast<int>(pages.size()) + 1, frame, {}});
        }
        return pages;
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
                           std::string programFolder, bool recover) {
    return [order, dwg = std::move(dwg), programFolder = std::move(programFolder),
            recover](const std::string& path, CadDocument& document) {
        const drawing::Document* open = builtin::DrawingOf(document);
        const AutoFrames found = open != nullptr
                                     ? FindAutoFrames(*open, order)
                                     : ExplainFrames(path, order, dwg, programFolder, recover);
        std::vector<PlannedPage> pages;
        for (const FrameCandidate& candidate : found.candidates) {
            if (candidate.page == 0) {
                continue;
            }
            PlannedPage page{static_cast<int>(pages.size()) + 1, candidate.extent, {}};
            if (candidate.layout != found.activeLayout) {
                page.notPlotted = "a frame of the layout " + candidate.layout +
                                  ", which is not the drawing's current layout (" +
                                  found.activeLayout + "); only the current layout is plotted";
            }
            pages.push_back(page);
        }
        return pages;
    };
}

} // namespace kw
