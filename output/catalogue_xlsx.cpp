#include "output/catalogue_xlsx.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdlib>

#include "base/error.h"

namespace kw::output {
namespace {

// A cell that is a plain decimal number ("12", "2.25") goes in as a number.
bool AsNumber(const std::string& text, double& value) {
    if (text.empty() || text.size() > 15 ||
        text.find_first_not_of("0123456789.") != std::string::npos ||
        (text.size() > 1 && text[0] == '0' && text[1] != '.')) {
        return false; // "007" is a drawing number, not seven
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// Display width in the units of a column: CJK characters count twice.
double TextWidth(const std::string& text) {
    double width = 0.0;
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u & 0xC0) != 0x80) {
            width += u >= 0xE0 ? 2.0 : 1.0;
        }
    }
    return width;
}

} // namespace

void WriteCatalogueXlsx(const std::string& path,
                        const std::vector<std::vector<std::string>>& table) {
    lxw_workbook* workbook = workbook_new(path.c_str());
    if (workbook == nullptr) {
        throw Error(errors::kPathFileAccess, "cannot create the catalogue " + path);
    }
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, "图纸目录");
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    std::vector<double> widths;
    for (std::size_t r = 0; r < table.size(); ++r) {
        const auto& row = table[r];
        for (std::size_t c = 0; c < row.size(); ++c) {
            const auto rowIndex = static_cast<lxw_row_t>(r);
            const auto column = static_cast<lxw_col_t>(c);
            double number = 0.0;
            if (r > 0 && AsNumber(row[c], number)) {
                worksheet_write_number(sheet, rowIndex, column, number, nullptr);
            } else if (!row[c].empty()) {
                worksheet_write_string(sheet, rowIndex, column, row[c].c_str(),
                                       r == 0 || (c == 0 && row[c] == "合计") ? bold : nullptr);
            }
            widths.resize(std::max(widths.size(), c + 1), 6.0);
            widths[c] = std::clamp(TextWidth(row[c]) + 2.0, widths[c], 60.0);
        }
    }
    for (std::size_t c = 0; c < widths.size(); ++c) {
        worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), widths[c],
                             nullptr);
    }
    const lxw_error result = workbook_close(workbook);
    if (result != LXW_NO_ERROR) {
        throw Error(errors::kPathFileAccess,
                    "cannot write the catalogue " + path + ": " + lxw_strerror(result));
    }
}

} // namespace kw::output
