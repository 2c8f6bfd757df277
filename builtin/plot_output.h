#pragma once

// The plot devices' output: one page of a plot job written as a PDF file or handed to a printer
// of the system. The page's content comes from a painting callback, so the devices know nothing
// of drawings. Internal to builtin.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "builtin/plot_devices.h"
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
// Another `format` makes the page a picture (PNG, TIFF) or an SVG drawing of the same page
// instead, named with its own extension.
std::string WritePage(const std::string& folder, const std::string& stem, int number,
                      SheetMm sheet, const std::string& title, const PagePainter& paint,
                      const PageFormat& format = {});

// The same under the name `name` + ".pdf", or the first of "<name>_2.pdf", "<name>_3.pdf" … that
// is free.
std::string WriteNamedPage(const std::string& folder, const std::string& name, SheetMm sheet,
                           const std::string& title, const PagePainter& paint,
                           const PageFormat& format = {});

// Writes the content of a new file into `file`, open for writing; CadError naming `where` (the
// folder) when the file cannot take it.
using FileFiller = std::function<void(QFileDevice& file, const std::string& where)>;

// A new file named PageFileName(stem, number, extension) in `folder` (made when missing), the
// next free number when that is taken, or `name` + `extension`, "<name>_2" … when that is taken:
// written to a hidden temporary file beside it and renamed when complete, so that a failure leaves
// nothing behind and no file is ever replaced. Returns the path written.
std::string WriteNumberedFile(const std::string& folder, const std::string& stem, int number,
                              const std::string& extension, const FileFiller& fill);
std::string WriteNamedFile(const std::string& folder, const std::string& name,
                           const std::string& extension, const FileFiller& fill);

// Paints the page as a PNG or TIFF picture, white where nothing is drawn, at the format's dots
// per inch (kept in the file), into `file`; CadError naming `where` when it cannot be made or
// written.
void PaintPicturePage(QFileDevice& file, const std::string& where, SheetMm sheet,
                      const PageFormat& format, const PagePainter& paint);

// Paints the page as an SVG drawing of the sheet's size in millimetres, text as text.
void PaintSvg(QFileDevice& file, const std::string& where, SheetMm sheet, const std::string& title,
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
    std::optional<PageFormat> format; // unset: the application's
    // The window's entities written as a drawing of their own (".dxf") instead of a page.
    bool excerpt = false;
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
