#pragma once

// The papers of the devices: those the built-in CAD offers, made from the table of sheets, and
// which of a device's papers a sheet is plotted on.

#include <optional>
#include <string>
#include <vector>

#include "sheets/sheets.h"

namespace kw::sheets {

// One paper a device offers: the canonical name a layout stores, the Chinese name the paper list
// shows, and the sheet as it lies on the page, width across and height down.
struct Paper {
    std::string canonicalName;
    std::string displayName;
    double widthMm = 0.0;
    double heightMm = 0.0;

    bool IsPortrait() const { return heightMm > widthMm; }
};

// Every paper of the built-in CAD, each in both orientations: the standard sheets and ANSI A-E.
const std::vector<Paper>& AllPapers();

// The paper of a canonical name, letter case ignored (stored drawings differ in case).
std::optional<Paper> FindPaper(const std::string& canonicalName);

// The paper a canonical name stands for: one of the table, else one whose name carries its size
// in a "(W_x_H_MM)" or "(W_x_H_Inches)" part, as the host's custom papers do ("Letter_(8.50_x_
// 11.00_Inches)"); nullopt when neither. The display name is the canonical one then.
std::optional<Paper> PaperFromCanonicalName(const std::string& canonicalName);

// Which paper of a device a sheet goes on and how.
struct PaperChoice {
    Paper paper;
    bool exact = false;     // the paper is the sheet (±0.5 mm)
    bool turned = false;    // the content is turned a quarter to fit the paper's orientation
    double fitFactor = 1.0; // < 1 when the sheet had to be scaled down to fit
};

// The paper for a sheet: the one that is the sheet, else the smallest that holds it (preferring
// one of the sheet's own orientation, so the content stays upright without turning), else the
// largest, with the sheet scaled down to fit. Nullopt when no paper carries a size.
std::optional<PaperChoice> ChoosePaper(const std::vector<std::string>& canonicalNames,
                                       const Sheet& sheet);

} // namespace kw::sheets
