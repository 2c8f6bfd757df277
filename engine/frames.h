#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cad/automation.h"
#include "settings/plot_settings.h"

namespace kw {

// One discovered frame, in the drawing's world coordinates (drawing units).
struct FrameExtent {
    double xMin = 0.0;
    double yMin = 0.0;
    double xMax = 0.0;
    double yMax = 0.0;

    double Width() const { return xMax - xMin; }
    bool operator==(const FrameExtent&) const = default;
};

inline constexpr const char* kPickPrompt =
    "====== 选择含图框的对象，不是图框的对象将自动忽略 ======\n\r";

// The two filter entries of whole-drawing discovery for the settings' frame kind.
std::vector<FilterEntry> FrameFilter(const PlotSettings& settings);

// Whether a picked entity is a frame of the settings' kind.
bool IsPickedFrame(CadEntity& entity, const PlotSettings& settings);

// Every frame of the document, in the CAD application's enumeration order.
std::vector<FrameExtent> FindFrames(CadDocument& document, const PlotSettings& settings);

// The frames of one layout ("Model" or a paper layout's name), in the CAD application's
// enumeration order: the selection is narrowed by the layout's name (group 410).
std::vector<FrameExtent> FindFramesIn(CadDocument& document, const PlotSettings& settings,
                                      const std::string& layout);

// The text as a selection filter pattern that matches it alone: the wildcard characters taken
// literally.
std::string LiteralPattern(const std::string& text);

// The frames among the objects the user picks on screen, after a prompt on the command line.
std::vector<FrameExtent> PickFrames(CadDocument& document, CadUtility& utility,
                                    const PlotSettings& settings);

// The extent of a lightweight polyline's vertices (x0, y0, x1, y1, ...); bulges do not count.
FrameExtent PolylineExtent(const std::vector<double>& coordinates);

// A fresh selection-set name: a single-precision random number in [0, 1) as decimal text.
std::string NewSelectionSetName();

// Plotting order: rows by yMin (a new row starts where a frame's bottom lies above the previous
// frame's top), rows bottom-up or top-down, left to right within a row. Error 6 beyond 32767.
std::vector<FrameExtent> OrderFrames(std::vector<FrameExtent> frames, bool rowsBottomUp);

} // namespace kw
