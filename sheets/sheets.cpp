#include "sheets/sheets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "base/error.h"

namespace kw::sheets {
namespace {

constexpr double kMmPerInch = 25.4;

// A base sheet, portrait: short side, long side.
struct Base {
    const char* name;
    double shortMm;
    double longMm;
};

constexpr Base kBases[] = {
    {"A0", 841, 1189}, {"A1", 594, 841},   {"A2", 420, 594},  {"A3", 297, 420},
    {"A4", 210, 297},  {"B0", 1000, 1414}, {"B1", 707, 1000}, {"B2", 500, 707},
    {"B3", 353, 500},  {"B4", 250, 353},   {"B5", 176, 250},
};

// Mechanical drafting: the short side of a larger base sheet kept, the long side a multiple of
// the base's short side (A3×3 is 420 × 891).
struct Lengthened {
    const char* base;
    int times;
    double shortMm;
    double longMm;
};

constexpr Lengthened kMechanical[] = {
    {"A3", 3, 420, 891},  {"A3", 4, 420, 1189},  {"A4", 3, 297, 630},   {"A4", 4, 297, 841},
    {"A4", 5, 297, 1051}, {"A0", 2, 1189, 1682}, {"A0", 3, 1189, 2523}, {"A1", 3, 841, 1783},
    {"A1", 4, 841, 2378}, {"A2", 3, 594, 1261},  {"A2", 4, 594, 1682},  {"A2", 5, 594, 2102},
    {"A3", 5, 420, 1486}, {"A3", 6, 420, 1783},  {"A3", 7, 420, 2080},  {"A4", 6, 297, 1261},
    {"A4", 7, 297, 1471}, {"A4", 8, 297, 1682},  {"A4", 9, 297, 1892},
};

// Building drafting: the long side lengthened in eighths (A0) or quarters of itself; the values
// are those of the standard's table, which rounds to whole millimetres.
struct BuildingRow {
    const char* base;
    double shortMm;
    double longMm;
    int eighths; // the lengthened side in eighths of the base's long side
};

constexpr BuildingRow kBuilding[] = {
    {"A0", 841, 1486, 10}, {"A0", 841, 1635, 11}, {"A0", 841, 1783, 12}, {"A0", 841, 1932, 13},
    {"A0", 841, 2080, 14}, {"A0", 841, 2230, 15}, {"A0", 841, 2378, 16}, {"A1", 594, 1051, 10},
    {"A1", 594, 1261, 12}, {"A1", 594, 1471, 14}, {"A1", 594, 1682, 16}, {"A1", 594, 1892, 18},
    {"A1", 594, 2102, 20}, {"A2", 420, 743, 10},  {"A2", 420, 891, 12},  {"A2", 420, 1041, 14},
    {"A2", 420, 1189, 16}, {"A2", 420, 1338, 18}, {"A2", 420, 1486, 20}, {"A2", 420, 1635, 22},
    {"A2", 420, 1783, 24}, {"A2", 420, 1932, 26}, {"A2", 420, 2080, 28}, {"A3", 297, 630, 12},
    {"A3", 297, 841, 16},  {"A3", 297, 1051, 20}, {"A3", 297, 1261, 24}, {"A3", 297, 1471, 28},
    {"A3", 297, 1682, 32}, {"A3", 297, 1892, 36},
};

// "1¼", "2", "1⅜" for a count of eighths.
std::string Eighths(int eighths) {
    static const char* const kFractions[] = {"", "⅛", "¼", "⅜", "½", "⅝", "¾", "⅞"};
    const int whole = eighths / 8;
    return std::to_string(whole) + kFractions[eighths % 8];
}

std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::vector<Sheet> BuildSheets() {
    std::vector<Sheet> sheets;
    for (const Base& base : kBases) {
        sheets.push_back({base.name, base.name, "ISO", base.longMm, base.shortMm});
    }
    for (const Lengthened& row : kMechanical) {
        const std::string times = std::to_string(row.times);
        sheets.push_back({std::string(row.base) + "×" + times, std::string(row.base) + "x" + times,
                          "GB", row.longMm, row.shortMm});
    }
    for (const BuildingRow& row : kBuilding) {
        // Many building sizes are mechanical ones too (A3×2 is A4×4, 297 × 841): such a sheet
        // keeps its mechanical name, so that each size has one name.
        const bool listed = std::any_of(sheets.begin(), sheets.end(), [&](const Sheet& s) {
            return s.widthMm == row.longMm && s.heightMm == row.shortMm;
        });
        if (listed) {
            continue;
        }
        sheets.push_back({std::string(row.base) + "×" + Eighths(row.eighths),
                          std::string(row.base) + "x" + Decimal(row.eighths / 8.0), "GB",
                          row.longMm, row.shortMm});
    }
    return sheets;
}

double RelativeDifference(double measured, double expected) {
    return std::abs(measured - expected) / expected;
}

} // namespace

Sheet Sheet::Turned() const {
    Sheet turned = *this;
    std::swap(turned.widthMm, turned.heightMm);
    return turned;
}

std::string Sheet::CanonicalName() const {
    const double unit = inches ? kMmPerInch : 1.0;
    char dims[64];
    std::snprintf(dims, sizeof dims, "(%.2f_x_%.2f_%s)", widthMm / unit, heightMm / unit,
                  inches ? "Inches" : "MM");
    return family + "_" + label + "_" + dims;
}

double Sheet::A1Equivalents() const {
    return widthMm * heightMm / kA1AreaMm2;
}

const std::vector<Sheet>& StandardSheets() {
    static const std::vector<Sheet> sheets = BuildSheets();
    return sheets;
}

const std::vector<Sheet>& AnsiSheets() {
    static const std::vector<Sheet> sheets = [] {
        constexpr struct {
            const char* name;
            double shortIn, longIn;
        } kAnsi[] = {{"A", 8.5, 11}, {"B", 11, 17}, {"C", 17, 22}, {"D", 22, 34}, {"E", 34, 44}};
        std::vector<Sheet> made;
        for (const auto& row : kAnsi) {
            made.push_back({row.name, row.name, "ANSI", row.longIn * kMmPerInch,
                            row.shortIn * kMmPerInch, true});
        }
        return made;
    }();
    return sheets;
}

const std::vector<double>& ScaleSeries() {
    // The reductions drafting offices use, then the enlargements 2:1, 5:1, 10:1: an equally good
    // fit goes to the scale tried first (an A4 drawn 1:1 is also an A2 at 2:1). Each scale more
    // is one more way for a frame to be taken for another sheet (900 × 630 at 1:100 would be A0
    // at 1:75 within 1 %), so the series stays short.
    static const std::vector<double> series = {1,   2,   5,   10,   20,   25,   50,  100, 150,
                                               200, 250, 500, 1000, 2000, 5000, 0.5, 0.2, 0.1};
    return series;
}

std::optional<SheetMatch> RecogniseSheet(double widthUnits, double heightUnits,
                                         std::optional<double> forcedDenominator,
                                         double tolerance) {
    if (!(widthUnits > 0.0) || !(heightUnits > 0.0) || !std::isfinite(widthUnits) ||
        !std::isfinite(heightUnits)) {
        return std::nullopt;
    }
    const bool portrait = heightUnits > widthUnits;
    std::vector<double> scales =
        forcedDenominator ? std::vector<double>{*forcedDenominator} : ScaleSeries();
    std::optional<SheetMatch> best;
    for (const double n : scales) {
        const double across = widthUnits / n;
        const double down = heightUnits / n;
        for (const Sheet& landscape : StandardSheets()) {
            const Sheet sheet = portrait ? landscape.Turned() : landscape;
            const double error = std::max(RelativeDifference(across, sheet.widthMm),
                                          RelativeDifference(down, sheet.heightMm));
            // Strictly smaller: a tie stays with the scale tried first.
            if (error <= tolerance && (!best || error < best->errorFraction - 1e-12)) {
                best = SheetMatch{sheet, n, error};
            }
        }
    }
    return best;
}

std::vector<double> NearestScales(double widthUnits, double heightUnits, std::size_t count) {
    std::vector<std::pair<double, double>> byError; // error, scale
    for (const double n : ScaleSeries()) {
        if (const auto match = RecogniseSheet(widthUnits, heightUnits, n, 1e9)) {
            byError.emplace_back(match->errorFraction, n);
        }
    }
    std::sort(byError.begin(), byError.end());
    std::vector<double> scales;
    for (std::size_t i = 0; i < byError.size() && i < count; ++i) {
        scales.push_back(byError[i].second);
    }
    return scales;
}

std::string ScaleText(double denominator) {
    if (denominator < 1.0 && denominator > 0.0) {
        return Decimal(std::round(100.0 / denominator) / 100.0) + ":1";
    }
    return "1:" + Decimal(std::round(denominator * 100.0) / 100.0);
}

std::optional<double> ParseScale(const std::string& text) {
    if (text == "auto" || text.empty()) {
        return std::nullopt;
    }
    static const std::regex pattern(
        R"(^\s*(?:([0-9]+(?:\.[0-9]+)?)\s*:\s*)?([0-9]+(?:\.[0-9]+)?)\s*$)");
    std::smatch parts;
    if (!std::regex_match(text, parts, pattern)) {
        throw Error(errors::kInvalidCall, "expected auto or 1:N, got \"" + text + "\"");
    }
    // strtod, not stod: a number too long for a double reads as infinity or zero, refused below,
    // where stod would throw out_of_range past every caller.
    const double paper = parts[1].matched ? std::strtod(parts[1].str().c_str(), nullptr) : 1.0;
    const double drawing = std::strtod(parts[2].str().c_str(), nullptr);
    if (!(paper > 0.0) || !(drawing > 0.0) || !std::isfinite(drawing / paper)) {
        throw Error(errors::kInvalidCall,
                    "a scale needs two positive numbers, got \"" + text + "\"");
    }
    return drawing / paper;
}

} // namespace kw::sheets
