#pragma once

#include <cstdint>
#include <string>

namespace kw {

// Which drawings a run covers.
enum class PlotMode { CurrentDrawing, SelectedFiles, CurrentDrawingPart };

// How a frame is recognised in a drawing.
enum class FrameKind { BlockReference, PolylineLayer, ExternalReference };

// The twenty settings of a run, as the main window's controls hold them. Number fields keep the
// text of their box; the accessors below convert it the moment a run needs the value, because a
// run reads a text it cannot use (a frame length "abc") only when it gets to it.
struct PlotSettings {
    PlotMode mode = PlotMode::SelectedFiles;
    FrameKind frameKind = FrameKind::PolylineLayer;
    std::string frameLayer = "图框";
    std::string blockName = "RmTK";
    std::string xrefName = "tk_xref";
    bool rowsBottomUp = false;
    std::string printerName;
    std::string paperName;
    std::string styleTable;
    bool portrait = false;
    bool reversePlot = false;
    std::string frameLength = "380";  // millimetres on paper, as typed
    std::string pointAllowance = "0"; // millimetres on paper, as typed
    bool centerPlot = false;
    std::string offsetX = "5"; // millimetres, as typed
    std::string offsetY = "25";
    bool plotLineweights = true;
    bool plotStyles = true;
    bool hideObjects = false;
    std::string copies = "1";

    double FrameLengthMm() const;
    double PointAllowanceMm() const;
    double OffsetXMm() const;
    double OffsetYMm() const;
    // Throws Error 6 when the rounded value leaves the 16-bit range.
    std::int16_t Copies() const;
};

// The lenient text-to-number reading of every numeric box: blanks, tabs and line feeds anywhere
// are dropped, then the longest leading decimal number (or an &H / &O whole number) is read;
// a text without a number gives 0. Throws Error 6 when the number exceeds a double.
double LeadingNumber(const std::string& text);

// `copies` as a run reads it: LeadingNumber of the trimmed text, rounded half to even, in 16 bits.
std::int16_t CopiesFromText(const std::string& text);

// Rounds half to even and checks the signed 16-bit range (Error 6 outside it).
std::int16_t ToInt16(double value);

} // namespace kw
