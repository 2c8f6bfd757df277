#pragma once

// The plot devices' output: one page of a plot job written as a PDF file or handed to a printer
// of the system. The page's content comes from a painting callback, so the devices know nothing
// of drawings. Internal to builtin.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cad/plot_job.h"
#include "drawing/document.h"

class QFileDevice;
class QPainter;

namespace kw::builtin {

class DocumentState;

// The sheet as it lies on the page: width across, height down, millimetres.
struct SheetMm {
    double widthMm = 0.0;
    double heightMm = 0.0;
};

// Paints one page onto a painter whose device is the sheet: origin at its top-left corner,
// `deviceUnitsPerMm` across and down.
using PagePainter = std::function<void(QPainter& painter, double deviceUnitsPerMm)>;

// The folder the PDF device writes a drawing's pages into: the chosen plot folder, else the
// drawing's own folder, else (a drawing never saved) the user's documents folder.
std::string PdfFolder(const std::string& plotFolder, const std::string& drawingPath);

// "<stem>-<NNN>.pdf" (or another extension), the number with at least three digits.
std::string PageFileName(const std::string& stem, int number,
                        const std::string& extension = ".pdf");

// Writes the page as a one-page vector PDF of exactly the sheet's size into `folder` (made when
// missing), named PageFileName(stem, number); a name in use is never replaced, the next free number
// is taken. Returns the path written. The file appears only when complete: on a failure (CadError
// naming the folder and the reason) nothing is left behind.
// With `dpi` above 0 the page is a PNG picture of that many dots per inch instead (PaintPng),
// named "<stem>-<NNN>.png".
std::string WritePage(const std::string& folder, const std::string& stem, int number,
                         SheetMm sheet, const std::string& title, const PagePainter& paint,
                         int dpi = 0);

// The same under the name `name` + ".pdf", or the first of "<name>_2.pdf", "<name>_3.pdf" … that
// is free.
std::string WriteNamedPage(const std::string& folder, const std::string& name, SheetMm sheet,
                              const std::string& title, const PagePainter& paint, int dpi = 0);

// Paints the page as a PNG picture, white where nothing is drawn, `dpi` dots per inch (kept in
// the file), into `file`; CadError naming `where` when it cannot be made or written.
void PaintPng(QFileDevice& file, const std::string& where, SheetMm sheet, int dpi,
              const PagePainter& paint);

// Paints the page as a PDF into `file`, open for writing, and flushes it; CadError naming `where`
// when the file cannot take it (the disk full, the device gone).
void PaintPdf(QFileDevice& file, const std::string& where, SheetMm sheet, const std::string& title,
              const PagePainter& paint);

// Hands the page to a printer of the system, `copies` copies of it, and returns once the print
// system has the job. CadError when the printer is unknown or refuses the job.
void PrintPage(const std::string& printerName, SheetMm sheet, int copies, const std::string& title,
               const PagePainter& paint);

// Where a plotted page goes: the PDF device names it `name` + ".pdf" in `folder`; an empty name
// numbers it after the jobs plotted from the document so far, an empty folder follows the
// application's plot folder.
struct PageDestination {
    std::string name;
    std::string folder;
    int copies = 1;
    std::optional<PlotStamp> stamp;
};

// The layout's plot settings with the area they plot (the layout's paper, its limits or its
// extents; the display and a named view, which need a screen, as extents) as a window, and a plot
// scaled to fit at the scale that fits it. A window plot comes back as it is.
drawing::LayoutPlotSettings PlotAreaAsWindow(const drawing::Document& drawing,
                                             std::size_t layoutIndex);

// Plots the document's active layout as its plot settings stand, as one job on the layout's
// device, and says what the device made of it.
PlottedPage PlotActiveLayout(DocumentState& document, const PageDestination& destination);

} // namespace kw::builtin
