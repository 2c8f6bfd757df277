#pragma once

// Drawing sheets: which standard sheet a frame is drawn as, at which drawing scale, and which
// paper of a device takes it. Standard C++ only.

#include <optional>
#include <string>
#include <vector>

namespace kw::output {

// A sheet as it lies: width across, height down, millimetres.
struct Sheet {
    std::string name;  // "A3", "A1×1¼", "A3×3"
    std::string label; // the same in ASCII for paper names: "A3", "A1x1.25", "A3x3"
    double widthMm = 0.0;
    double heightMm = 0.0;

    bool IsPortrait() const { return heightMm > widthMm; }
    // The canonical paper name in the form the papers of the CAD use:
    // "ISO_A3_(420.00_x_297.00_MM)", "GB_A1x1.25_(1051.00_x_594.00_MM)".
    std::string CanonicalName() const;
    // The sheet's area in A1 sheets (594 × 841 mm).
    double A1Equivalents() const;
};

// Every standard sheet in its landscape form (long side across): A0-A4 and B0-B5, the lengthened
// sheets of the mechanical drafting standard (A0×2 … A4×9) and those of the building drafting
// standard (a quarter of the long side at a time: A1×1¼ …).
const std::vector<Sheet>& StandardSheets();

// The usual drawing scales 1:N: the reductions ascending, then the enlargements.
const std::vector<double>& ScaleSeries();

// A frame recognised as a sheet at 1:`scaleDenominator` (paper millimetres per drawing unit
// = 1 / scaleDenominator); the sheet keeps the frame's orientation.
struct SheetMatch {
    Sheet sheet;
    double scaleDenominator = 1.0;
    double errorFraction = 0.0; // the larger relative difference of the two sides
};

// The sheet and scale a frame of `widthUnits` × `heightUnits` is drawn as: among every sheet and
// every scale of the series (or only `forcedDenominator` when given), the pair whose sides differ
// least from the frame's, when both differ by no more than `tolerance` (a fraction). Ties go to
// the scale that comes first in the series.
std::optional<SheetMatch> RecogniseSheet(double widthUnits, double heightUnits,
                                         std::optional<double> forcedDenominator = std::nullopt,
                                         double tolerance = 0.01);

// The `count` scales of the series that bring the frame nearest to some sheet, however far,
// nearest first: what the title block of a frame that matches no sheet is looked for at.
std::vector<double> NearestScales(double widthUnits, double heightUnits, std::size_t count);

// "1:100"; "2:1" for enlargements; denominators that are not whole keep two decimals.
std::string ScaleText(double denominator);

// Reads "1:N", "N" or "auto" (nullopt); throws std::invalid_argument for anything else.
std::optional<double> ParseScale(const std::string& text);

// A paper a device offers, with its size read from its canonical name.
struct DevicePaper {
    std::string canonicalName;
    double widthMm = 0.0;
    double heightMm = 0.0;
};

// The size in a canonical paper name's "(W_x_H_MM)" or "(W_x_H_Inches)" part; nullopt when the
// name carries none.
std::optional<DevicePaper> PaperFromCanonicalName(const std::string& canonicalName);

// Which paper of a device a sheet goes on and how.
struct PaperChoice {
    DevicePaper paper;
    bool exact = false;     // the paper is the sheet (±0.5 mm)
    bool turned = false;    // the content is turned a quarter to fit the paper's orientation
    double fitFactor = 1.0; // < 1 when the sheet had to be scaled down to fit
};

// The paper for a sheet: the one that is the sheet, else the smallest that holds it (preferring
// one of the sheet's own orientation, so the content stays upright without turning), else the
// largest, with the sheet scaled down to fit. Nullopt when no paper carries a size.
std::optional<PaperChoice> ChoosePaper(const std::vector<std::string>& canonicalNames,
                                       const Sheet& sheet);

} // namespace kw::output
