#pragma once

// Paints a window of a drawing onto a page or a screen. One front end walks the entities of a
// layout that lie in the window (through the layout's spatial index), follows blocks from their
// definitions, resolves colour, lineweight and visibility, and draws onto any QPainter: a PDF
// writer, a printer, a widget, an image.
//
// Coordinates: drawing units for the drawing; millimetres for the page, measured on the sheet as
// it lies (width across, height down), origin at the sheet's lower-left corner, y up.

#include <QColor>
#include <QRectF>
#include <QTransform>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "drawing/document.h"

class QPainter;

namespace kw::render {

class Canvas;
class FontLibrary;
class PlotStyleTable;

// How a plot style table maps the drawn colours.
enum class StyleMode : std::uint8_t {
    AsDrawn,    // acad.ctb and anything unknown
    Monochrome, // every colour black (white on a dark screen)
    Grayscale,  // each colour by its luminance
};

// The mode of a plot style table's name ("monochrome.ctb", "grayscale.ctb", ...).
StyleMode StyleModeOfTable(const std::string& tableName);

struct PaintOptions {
    StyleMode styleMode = StyleMode::AsDrawn;
    // A plot style table read from a file; when set, it decides colours, lineweights, ends and
    // joins instead of styleMode.
    std::shared_ptr<const PlotStyleTable> styleTable;
    // Lineweights at their width in millimetres on paper; otherwise every line is hairline-thin
    // (the device's finest line).
    bool lineweights = false;
    // Device units per millimetre of paper, for lineweights on paper. 0 on a screen view, where
    // lineweights are drawn at a fixed number of pixels.
    double deviceUnitsPerMm = 0.0;
    // The background colour: ACI 7 and any colour equal to it is drawn in the contrasting colour
    // (black on white paper, white on a dark screen).
    QColor background = Qt::white;
    // Entities to draw highlighted (picked on screen); top-level entities of the layout.
    std::unordered_set<const drawing::Entity*> highlighted;
    // The geometry picking tests rather than the ink: lines continuous, a hatch without a fill
    // by its boundary, a viewport by its border alone.
    bool picking = false;
};

// Where a layout's plot window lands on its paper, from its plot settings: the sheet
// (paperWidthMm × paperHeightMm as CanonicalMediaName set them), the printable area (the margins),
// the window in drawing units, the custom scale (paper millimetres : drawing units), the rotation,
// centring or the plot origin from the printable area's lower-left corner.
struct PagePlacement {
    double paperWidthMm = 0.0;
    double paperHeightMm = 0.0;
    QRectF printableMm;   // in page millimetres (y up)
    QRectF windowDrawing; // the plot window in drawing units
    QRectF windowOnPageMm; // where the window lands on the page, rotated (y up)
    // Drawing units → page millimetres (y up): scale, rotation, placement.
    QTransform drawingToPage;
};

// Computes the placement; fails (Error 5 with the reason) when the settings give no paper, no
// window or no scale.
PagePlacement PlacePage(const drawing::LayoutPlotSettings& settings);

// The page's millimetres (y up) → the device's coordinates (y down) for a page of the given size
// in device units: what a QPdfWriter or QPrinter page needs.
QTransform PageToDevice(const PagePlacement& placement, double deviceUnitsPerMm);

// The document's painter (it needs a QGuiApplication for its fonts): built once per drawing (it
// builds the spatial index of every layout on first use), then paints any number of pages and
// views. Text styles with shape fonts draw from `fonts` (shared by the drawings of a run); without
// it, or where a style's fonts are not there, the CJK fallback draws them.
class Renderer {
public:
    explicit Renderer(const drawing::Document& document,
                      std::shared_ptr<FontLibrary> fonts = nullptr);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Paints the part of layout `layoutIndex` that lies in `windowDrawing`, clipped to it, with
    // `drawingToDevice` mapping drawing units to the painter's coordinates.
    void PaintWindow(QPainter& painter, std::size_t layoutIndex, const QRectF& windowDrawing,
                     const QTransform& drawingToDevice, const PaintOptions& options) const;

    // Paints one page of the layout's plot: PlacePage, then the window clipped to its place on
    // the sheet. The painter's device is the sheet, `deviceUnitsPerMm` across and down.
    void PaintPage(QPainter& painter, std::size_t layoutIndex, const PagePlacement& placement,
                   double deviceUnitsPerMm, const PaintOptions& options) const;

    // The same walk onto any back end: the part of the layout in `windowDrawing` as drawing
    // calls in the coordinates `drawingToDevice` maps to, not clipped. `plotting`: as a plot
    // (layers set not to plot left out, no transparency), else as a screen shows it.
    void Draw(Canvas& canvas, std::size_t layoutIndex, const QRectF& windowDrawing,
              const QTransform& drawingToDevice, const PaintOptions& options,
              bool plotting = false) const;

    // One top-level entity of the drawing as drawing calls, as a screen shows it; endless lines
    // as far as they cross `windowDrawing`.
    void DrawEntity(Canvas& canvas, const drawing::Entity& entity,
                    const QTransform& drawingToDevice, const PaintOptions& options,
                    const QRectF& windowDrawing) const;

    // Top-level entities of a layout whose extents meet a window (drawing units), in file order.
    std::vector<const drawing::Entity*> EntitiesIn(std::size_t layoutIndex,
                                                   const QRectF& windowDrawing) const;

    // Warnings met while painting (a block that refers to itself, a font not found), each once.
    std::vector<std::string> Warnings() const;

    const drawing::Document& Document() const;

    struct State; // internal to render/

private:
    std::unique_ptr<State> m_state;
};

} // namespace kw::render
