#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kw::builtin {

// One paper the built-in CAD offers: the canonical name a layout stores, the Chinese name the
// paper list shows, and the sheet as it lies on the page, width across and height down.
struct PaperSize {
    std::string canonicalName;
    std::string displayName;
    double widthMm = 0.0;
    double heightMm = 0.0;

    bool IsPortrait() const { return heightMm > widthMm; }
};

// Every paper, each in both orientations: ISO A0-A4, ISO B0-B5, ANSI A-E, and the lengthened
// sheets of the Chinese drafting standard (A3x3 and the like). Built once from one table.
const std::vector<PaperSize>& AllPapers();

// The paper of a canonical name, letter case ignored (stored drawings differ in case).
std::optional<PaperSize> FindPaper(const std::string& canonicalName);

} // namespace kw::builtin
