#include "cad/builtin/paper_sizes.h"

#include <algorithm>
#include <cstdio>

namespace kw::builtin {
namespace {

enum class Unit { Mm, Inch };

// A sheet in its portrait form (short side first). `family` makes the canonical name's prefix,
// `label` the sheet's name in both names.
struct SheetRow {
    const char* family;      // ISO, ANSI, GB
    const char* label;       // A4, B, A3x3
    const char* displayHead; // how the paper list names the family ("ISO", "ANSI", "加长")
    const char* displayLabel;
    double shortSide;
    double longSide;
    Unit unit;
};

// The one paper table. Lengthened sheets: the first and second choice of the Chinese drafting
// standard (short side of the base sheet kept, long side multiplied).
constexpr SheetRow kSheets[] = {
    {"ISO", "A0", "ISO", "A0", 841, 1189, Unit::Mm},
    {"ISO", "A1", "ISO", "A1", 594, 841, Unit::Mm},
    {"ISO", "A2", "ISO", "A2", 420, 594, Unit::Mm},
    {"ISO", "A3", "ISO", "A3", 297, 420, Unit::Mm},
    {"ISO", "A4", "ISO", "A4", 210, 297, Unit::Mm},
    {"ISO", "B0", "ISO", "B0", 1000, 1414, Unit::Mm},
    {"ISO", "B1", "ISO", "B1", 707, 1000, Unit::Mm},
    {"ISO", "B2", "ISO", "B2", 500, 707, Unit::Mm},
    {"ISO", "B3", "ISO", "B3", 353, 500, Unit::Mm},
    {"ISO", "B4", "ISO", "B4", 250, 353, Unit::Mm},
    {"ISO", "B5", "ISO", "B5", 176, 250, Unit::Mm},
    {"ANSI", "A", "ANSI", "A", 8.5, 11, Unit::Inch},
    {"ANSI", "B", "ANSI", "B", 11, 17, Unit::Inch},
    {"ANSI", "C", "ANSI", "C", 17, 22, Unit::Inch},
    {"ANSI", "D", "ANSI", "D", 22, 34, Unit::Inch},
    {"ANSI", "E", "ANSI", "E", 34, 44, Unit::Inch},
    {"GB", "A3x3", "加长", "A3×3", 420, 891, Unit::Mm},
    {"GB", "A3x4", "加长", "A3×4", 420, 1189, Unit::Mm},
    {"GB", "A4x3", "加长", "A4×3", 297, 630, Unit::Mm},
    {"GB", "A4x4", "加长", "A4×4", 297, 841, Unit::Mm},
    {"GB", "A4x5", "加长", "A4×5", 297, 1051, Unit::Mm},
    {"GB", "A0x2", "加长", "A0×2", 1189, 1682, Unit::Mm},
    {"GB", "A0x3", "加长", "A0×3", 1189, 2523, Unit::Mm},
    {"GB", "A1x3", "加长", "A1×3", 841, 1783, Unit::Mm},
    {"GB", "A1x4", "加长", "A1×4", 841, 2378, Unit::Mm},
    {"GB", "A2x3", "加长", "A2×3", 594, 1261, Unit::Mm},
    {"GB", "A2x4", "加长", "A2×4", 594, 1682, Unit::Mm},
    {"GB", "A2x5", "加长", "A2×5", 594, 2102, Unit::Mm},
    {"GB", "A3x5", "加长", "A3×5", 420, 1486, Unit::Mm},
    {"GB", "A3x6", "加长", "A3×6", 420, 1783, Unit::Mm},
    {"GB", "A3x7", "加长", "A3×7", 420, 2080, Unit::Mm},
    {"GB", "A4x6", "加长", "A4×6", 297, 1261, Unit::Mm},
    {"GB", "A4x7", "加长", "A4×7", 297, 1471, Unit::Mm},
    {"GB", "A4x8", "加长", "A4×8", 297, 1682, Unit::Mm},
    {"GB", "A4x9", "加长", "A4×9", 297, 1892, Unit::Mm},
};

constexpr double kMmPerInch = 25.4;

PaperSize MakePaper(const SheetRow& row, bool portrait) {
    const double across = portrait ? row.shortSide : row.longSide;
    const double down = portrait ? row.longSide : row.shortSide;
    const bool inches = row.unit == Unit::Inch;
    char dims[64];
    std::snprintf(dims, sizeof dims, "%.2f_x_%.2f_%s", across, down, inches ? "Inches" : "MM");
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.2f x %.2f %s", across, down, inches ? "英寸" : "毫米");

    PaperSize paper;
    paper.canonicalName = std::string(row.family) + "_" + row.label + "_(" + dims + ")";
    paper.displayName = std::string(row.displayHead) + " " + row.displayLabel +
                        (portrait ? " 纵向 (" : " 横向 (") + shown + ")";
    const double scale = inches ? kMmPerInch : 1.0;
    paper.widthMm = across * scale;
    paper.heightMm = down * scale;
    return paper;
}

std::vector<PaperSize> BuildPapers() {
    std::vector<PaperSize> papers;
    for (const SheetRow& row : kSheets) {
        papers.push_back(MakePaper(row, false));
        papers.push_back(MakePaper(row, true));
    }
    return papers;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

const std::vector<PaperSize>& AllPapers() {
    static const std::vector<PaperSize> papers = BuildPapers();
    return papers;
}

std::optional<PaperSize> FindPaper(const std::string& canonicalName) {
    for (const PaperSize& paper : AllPapers()) {
        if (SameIgnoringCase(paper.canonicalName, canonicalName)) {
            return paper;
        }
    }
    return std::nullopt;
}

} // namespace kw::builtin
