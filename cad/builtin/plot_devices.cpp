#include "cad/builtin/plot_devices.h"

#include <algorithm>
#include <cmath>

namespace kw::builtin {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

// Print systems round sheet sizes to whole points; a millimetre is close enough.
bool SameSheet(const PaperSize& paper, const std::pair<double, double>& sheet) {
    auto near = [](double a, double b) { return std::abs(a - b) <= 1.0; };
    return (near(paper.widthMm, sheet.first) && near(paper.heightMm, sheet.second)) ||
           (near(paper.widthMm, sheet.second) && near(paper.heightMm, sheet.first));
}

} // namespace

const std::vector<StyleTable>& AllStyleTables() {
    static const std::vector<StyleTable> tables = {
        {"acad.ctb", StyleTableKind::ColorDependent},
        {"acad.stb", StyleTableKind::Named},
        {"grayscale.ctb", StyleTableKind::ColorDependent},
        {"monochrome.ctb", StyleTableKind::ColorDependent},
        {"monochrome.stb", StyleTableKind::Named},
    };
    return tables;
}

std::optional<StyleTable> FindStyleTable(const std::string& name) {
    for (const StyleTable& table : AllStyleTables()) {
        if (SameIgnoringCase(table.name, name)) {
            return table;
        }
    }
    return std::nullopt;
}

void DeviceCatalog::Refresh() {
    m_printers = m_source ? m_source() : std::vector<SystemPrinter>{};
    // A printer named like the PDF device would be unreachable; the PDF device wins.
    std::erase_if(m_printers, [](const SystemPrinter& p) { return p.name == kPdfDevice; });
    m_loaded = true;
}

const std::vector<SystemPrinter>& DeviceCatalog::Printers() {
    if (!m_loaded) {
        Refresh();
    }
    return m_printers;
}

std::vector<std::string> DeviceCatalog::DeviceNames() {
    std::vector<std::string> names{kPdfDevice};
    for (const SystemPrinter& printer : Printers()) {
        names.push_back(printer.name);
    }
    return names;
}

bool DeviceCatalog::HasDevice(const std::string& name) {
    if (name == kPdfDevice) {
        return true;
    }
    const auto& printers = Printers();
    return std::any_of(printers.begin(), printers.end(),
                       [&](const SystemPrinter& p) { return p.name == name; });
}

std::vector<PaperSize> DeviceCatalog::Papers(const std::string& deviceName) {
    const auto& printers = Printers();
    const auto printer = std::find_if(printers.begin(), printers.end(),
                                      [&](const SystemPrinter& p) { return p.name == deviceName; });
    if (printer == printers.end() || printer->sheetsMm.empty()) {
        return AllPapers();
    }
    std::vector<PaperSize> papers;
    for (const PaperSize& paper : AllPapers()) {
        if (std::any_of(printer->sheetsMm.begin(), printer->sheetsMm.end(),
                        [&](const auto& sheet) { return SameSheet(paper, sheet); })) {
            papers.push_back(paper);
        }
    }
    return papers.empty() ? AllPapers() : papers;
}

} // namespace kw::builtin
