#pragma once

// One page as a plot loop hands it to a CAD that takes whole jobs: everything the host's layout
// members would be told one by one, typed, and where the page is to go. What the CAD wrote comes
// back as the result.

#include <cstdint>
#include <optional>
#include <string>

namespace kw {

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// A paper by its canonical name, with its size where the run knows it (a sheet of its own
// choosing), so that a device making pages of any size need not read the size back from the name.
struct JobPaper {
    std::string canonicalName;
    double widthMm = 0.0; // 0 when not known
    double heightMm = 0.0;
};

// The corner of the paper a plot stamp goes in.
enum class StampCorner { BottomLeft, BottomRight, TopLeft, TopRight };

// A line of text printed in a corner of the paper, outside the plotted window (who plotted what
// and when), as the host's plot stamp is.
struct PlotStamp {
    std::string text;
    StampCorner corner = StampCorner::BottomLeft;
};

// The file a device that writes files makes of a page.
enum class PageFileKind { Pdf, Png, Tiff, Svg };
struct PageFormat {
    PageFileKind kind = PageFileKind::Pdf;
    int dpi = 300;           // PNG, TIFF: dots per inch
    bool monochrome = false; // PNG, TIFF: one bit per dot, black wherever there is ink
    // ".pdf", ".png", ".tif", ".svg"
    std::string Extension() const;
    // "pdf", "png", "tiff", "svg" and back (Error 5 for another name; "tif" is "tiff").
    std::string Name() const;
    static PageFileKind KindNamed(const std::string& name);
    bool operator==(const PageFormat&) const = default;
};

struct PlotJob {
    // The layout plotted as its own page setup stands (paper, plot area, scale, placement, plot
    // style table), as a publish of whole layouts plots it: of the job only the copies, the name,
    // the folder and the stamp count.
    bool ownPageSetup = false;
    // The paper; unset keeps the layout's paper.
    std::optional<JobPaper> paper;
    Point lowerLeft; // the window, drawing units
    Point upperRight;
    std::int32_t rotation = 0; // 0..3 = 0, 90, 180, 270 degrees
    bool lineweights = false;
    bool plotStyles = false;
    bool hidden = false;
    // The scale: paperMm millimetres on paper for drawingUnits units of the drawing.
    double paperMm = 1.0;
    double drawingUnits = 1.0;
    // Centred on the paper, or placed with its lower-left corner at originMm.
    bool centered = false;
    Point originMm;
    std::int16_t copies = 1;
    // For a device that writes files: the page's name without its extension, and the folder it
    // goes into. Empty for the device's own rule.
    std::string pageName;
    std::string folder;
    // For a device that stamps pages itself; unset for none.
    std::optional<PlotStamp> stamp;
    // For a device that writes files: what it writes; unset for its own setting (PDF).
    std::optional<PageFormat> format;
    // Instead of a page, the entities that lie in or cross the window as a drawing of their own
    // (a DXF named as the page would be), for a CAD that writes drawings; the scale, paper and
    // options then only stay on the layout.
    bool excerpt = false;
};

// What a device made of a job.
struct PlottedPage {
    std::string device;
    std::string file; // the file written; empty for a printer
    int copies = 1;
    std::string paper; // the canonical name of the paper, where the device says
    std::string note; // what the device has to say of the page (a stamp with no room); or empty
};

// The typed side of a CAD's plotting: a CAD that offers it takes each page as one job.
class CadJobPlotter {
public:
    virtual ~CadJobPlotter() = default;
    // Sets the active layout's plot configuration to the job (a save keeps it, as the layout's
    // members would) and plots it as its own job. Throws CadError as the members would.
    virtual PlottedPage Plot(const PlotJob& job) = 0;
};

} // namespace kw
