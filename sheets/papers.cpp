#include "sheets/papers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>

namespace kw::sheets {
namespace {

constexpr double kMmPerInch = 25.4;

// "ISO A3 横向 (420.00 x 297.00 毫米)", "加长 A1×1¼ 纵向 (594.00 x 1051.00 毫米)".
Paper MakePaper(const Sheet& sheet) {
    const double unit = sheet.inches ? kMmPerInch : 1.0;
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.2f x %.2f %s", sheet.widthMm / unit,
                  sheet.heightMm / unit, sheet.inches ? "英寸" : "毫米");
    const std::string head = sheet.family == "GB" ? "加长" : sheet.family;
    return {sheet.CanonicalName(),
            head + " " + sheet.name + (sheet.IsPortrait() ? " 纵向 (" : " 横向 (") + shown + ")",
            sheet.widthMm, sheet.heightMm};
}

std::vector<Paper> BuildPapers() {
    std::vector<Paper> papers;
    auto add = [&](const Sheet& sheet) {
        papers.push_back(MakePaper(sheet));
        papers.push_back(MakePaper(sheet.Turned()));
    };
    // The paper list shows the ISO sheets, then ANSI, then the lengthened ones.
    for (const Sheet& sheet : StandardSheets()) {
        if (sheet.family == "ISO") {
            add(sheet);
        }
    }
    for (const Sheet& sheet : AnsiSheets()) {
        add(sheet);
    }
    for (const Sheet& sheet : StandardSheets()) {
        if (sheet.family != "ISO") {
            add(sheet);
        }
    }
    return papers;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return Lower(x) == Lower(y); });
}

bool SameMm(double a, double b) {
    return std::abs(a - b) <= 0.5;
}

} // namespace

const std::vector<Paper>& AllPapers() {
    static const std::vector<Paper> papers = BuildPapers();
    return papers;
}

std::optional<Paper> FindPaper(const std::string& canonicalName) {
    for (const Paper& paper : AllPapers()) {
        if (SameIgnoringCase(paper.canonicalName, canonicalName)) {
            return paper;
        }
    }
    return std::nullopt;
}

std::optional<Paper> PaperFromCanonicalName(const std::string& canonicalName) {
    if (auto paper = FindPaper(canonicalName)) {
        return paper;
    }
    static const std::regex pattern(
        R"(\(([0-9]+(?:\.[0-9]+)?)_x_([0-9]+(?:\.[0-9]+)?)_(MM|Inches|mm|inches)\))");
    std::smatch parts;
    if (!std::regex_search(canonicalName, parts, pattern)) {
        return std::nullopt;
    }
    const double unit = Lower(parts[3].str()[0]) == 'i' ? kMmPerInch : 1.0;
    Paper paper{canonicalName, canonicalName, std::stod(parts[1].str()) * unit,
                std::stod(parts[2].str()) * unit};
    if (!(paper.widthMm > 0.0) || !(paper.heightMm > 0.0)) {
        return std::nullopt;
    }
    return paper;
}

std::optional<PaperChoice> ChoosePaper(const std::vector<std::string>& canonicalNames,
                                       const Sheet& sheet) {
    std::vector<Paper> papers;
    for (const std::string& name : canonicalNames) {
        if (auto paper = PaperFromCanonicalName(name)) {
            paper->canonicalName = name; // as the device spells it
            papers.push_back(*paper);
        }
    }
    if (papers.empty()) {
        return std::nullopt;
    }
    auto holds = [&](const Paper& p, bool turned) {
        const double w = turned ? sheet.heightMm : sheet.widthMm;
        const double h = turned ? sheet.widthMm : sheet.heightMm;
        return p.widthMm + 0.5 >= w && p.heightMm + 0.5 >= h;
    };
    for (const Paper& p : papers) {
        if (SameMm(p.widthMm, sheet.widthMm) && SameMm(p.heightMm, sheet.heightMm)) {
            return PaperChoice{p, true, false, 1.0};
        }
    }
    for (const Paper& p : papers) {
        if (SameMm(p.widthMm, sheet.heightMm) && SameMm(p.heightMm, sheet.widthMm)) {
            return PaperChoice{p, true, true, 1.0};
        }
    }
    // The smallest paper that holds the sheet; of equal areas the one not needing a turn.
    std::optional<PaperChoice> best;
    double bestArea = 0.0;
    for (const Paper& p : papers) {
        for (const bool turned : {false, true}) {
            if (!holds(p, turned)) {
                continue;
            }
            const double area = p.widthMm * p.heightMm;
            if (!best || area < bestArea - 1.0 ||
                (std::abs(area - bestArea) <= 1.0 && !turned && best->turned)) {
                best = PaperChoice{p, false, turned, 1.0};
                bestArea = area;
            }
        }
    }
    if (best) {
        return best;
    }
    // Nothing holds it: the paper that takes it largest, scaled down to fit.
    for (const Paper& p : papers) {
        for (const bool turned : {false, true}) {
            const double w = turned ? sheet.heightMm : sheet.widthMm;
            const double h = turned ? sheet.widthMm : sheet.heightMm;
            const double factor = std::min(p.widthMm / w, p.heightMm / h);
            if (!best || factor > best->fitFactor + 1e-9) {
                best = PaperChoice{p, false, turned, factor};
            }
        }
    }
    return best;
}

} // namespace kw::sheets
