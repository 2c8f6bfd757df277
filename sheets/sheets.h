#pragma once

// Drawing sheets: the standard sheets of the drafting standards, the usual drawing scales, and
// which sheet a frame is drawn as at which scale. The one table of sheets: frame finding, the
// papers of the devices, the plot at true scale and the catalogue all read it.

#include <optional>
#include <string>
#include <vector>

namespace kw::sheets {

// A sheet as it lies: width across, height down, millimetres.
struct Sheet {
    std::string name;   // "A3", "A1×1¼", "A3×3", "B" (ANSI)
    std::string label;  // the same in ASCII for paper names: "A3", "A1x1.25", "A3x3"
    std::string family; // "ISO", "GB" (lengthened sheets), "ANSI"
    double widthMm = 0.0;
    double heightMm = 0.0;
    bool inches = false; // the sheet's sides are whole or half inches (ANSI)

    bool IsPortrait() const { return heightMm > widthMm; }
    // The sheet turned a quarter: sides swapped.
    Sheet Turned() const;
    // The canonical paper name in the form the papers of the CAD use:
    // "ISO_A3_(420.00_x_297.00_MM)", "GB_A1x1.25_(1051.00_x_594.00_MM)",
    // "ANSI_B_(17.00_x_11.00_Inches)".
    std::string CanonicalName() const;
    // The sheet's area in A1 sheets (594 × 841 mm).
    double A1Equivalents() const;
};

// The area of an A1 sheet, the unit the catalogue totals sheets in.
inline constexpr double kA1AreaMm2 = 594.0 * 841.0;

// Every standard drafting sheet in its landscape form (long side across): A0-A4 and B0-B5, the
// lengthened sheets of the mechanical drafting standard (A0×2 … A4×9) and those of the building
// drafting standard (a quarter of the long side at a time: A1×1¼ …). A size both standards list
// appears once, under its mechanical name.
const std::vector<Sheet>& StandardSheets();

// The ANSI sheets A-E (inches), landscape: papers a device offers, no drafting sheets.
const std::vector<Sheet>& AnsiSheets();

// The usual drawing scales 1:N: the reductions ascending, then the enlargements.
const std::vector<double>& ScaleSeries();

// A frame recognised as a sheet at 1:`scaleDenominator` (paper millimetres per drawing unit
// = 1 / scaleDenominator); the sheet keeps the frame's orientation.
struct SheetMatch {
    Sheet sheet;
    double scaleDenominator = 1.0;
    double errorFraction = 0.0; // the larger relative difference of the two sides
};

// The sheet and scale a frame of `widthUnits` × `heightUnits` is drawn as: among every standard
// sheet and every scale of the series (or only `forcedDenominator` when given), the pair whose
// sides differ least from the frame's, when both differ by no more than `tolerance` (a
// fraction). Ties go to the scale that comes first in the series, then to the sheet listed first.
std::optional<SheetMatch> RecogniseSheet(double widthUnits, double heightUnits,
                                         std::optional<double> forcedDenominator = std::nullopt,
                                         double tolerance = 0.01);

// The `count` scales of the series that bring the frame nearest to some sheet, however far,
// nearest first: what the title block of a frame that matches no sheet is looked for at.
std::vector<double> NearestScales(double widthUnits, double heightUnits, std::size_t count);

// "1:100"; "2:1" for enlargements; denominators that are not whole keep two decimals.
std::string ScaleText(double denominator);

// Reads "1:N", "N" or "auto" (nullopt); throws Error 5 for anything else.
std::optional<double> ParseScale(const std::string& text);

} // namespace kw::sheets
