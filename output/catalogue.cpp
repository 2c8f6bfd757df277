#include "output/catalogue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "base/error.h"
#include "base/paths.h"

namespace kw::output {
namespace {

std::string FileNameOf(const std::string& path) {
    return Utf8FromPath(PathFromUtf8(path).filename());
}

std::string StemOf(const std::string& path) {
    return Utf8FromPath(PathFromUtf8(path).stem());
}

// Whether the text is a plain decimal number, maybe signed ("-12.5", "+3"): a spreadsheet reads
// it as that number, not as a formula.
bool IsSignedNumber(const std::string& text) {
    bool digits = false;
    int points = 0;
    for (std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits = true;
        } else if (text[i] == '.') {
            ++points;
        } else {
            return false;
        }
    }
    return digits && points <= 1;
}

std::string CsvField(const std::string& value) {
    // Title-block values come from drawings made by others: a text a spreadsheet would run as a
    // formula ("=HYPERLINK(...)", "+cmd|...", "@SUM(...)") is shown as text behind a quote.
    std::string text = value;
    if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos &&
        !IsSignedNumber(text)) {
        text.insert(0, 1, '\'');
    }
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

constexpr const char* kUnrecognised = "未识别";

} // namespace

std::vector<std::string> DefaultCatalogueColumns() {
    return {"序号", "图号", "图名", "图幅", "比例", "页码", "文件"};
}

std::vector<std::string> ParseColumns(const std::string& text) {
    std::vector<std::string> columns;
    std::istringstream in(text);
    for (std::string column; std::getline(in, column, ',');) {
        const auto first = column.find_first_not_of(" \t");
        const auto last = column.find_last_not_of(" \t");
        if (first != std::string::npos) {
            columns.push_back(column.substr(first, last - first + 1));
        }
    }
    return columns;
}

std::string A1Text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", std::round(value * 100.0) / 100.0);
    std::string result = text;
    while (result.back() == '0') {
        result.pop_back();
    }
    if (result.back() == '.') {
        result.pop_back();
    }
    return result;
}

NameValues NameValuesOf(const PageEntry& entry) {
    NameValues values(entry.fields.begin(), entry.fields.end());
    values["drawing"] = StemOf(entry.drawing);
    values["图形"] = values["drawing"];
    values["page"] = std::to_string(entry.page);
    values["页码"] = values["page"];
    values["index"] = std::to_string(entry.index);
    values["序号"] = values["index"];
    values["sheet"] = entry.sheet;
    values["图幅"] = entry.sheet;
    values["scale"] = entry.scale;
    if (values.find("比例") == values.end()) {
        values["比例"] = entry.scale;
    }
    values["layout"] = entry.layout;
    if (values.find("布局") == values.end()) {
        values["布局"] = entry.layout.empty() || entry.layout == "Model" ? "模型" : entry.layout;
    }
    return values;
}

std::string CellText(const PageEntry& entry, const std::string& column) {
    if (column == "文件") {
        return FileNameOf(entry.file);
    }
    if (column == "图形") {
        return FileNameOf(entry.drawing);
    }
    const NameValues values = NameValuesOf(entry);
    const auto found = values.find(column);
    return found == values.end() ? std::string() : found->second;
}

CatalogueTotals Totals(const std::vector<PageEntry>& pages) {
    CatalogueTotals totals;
    for (const PageEntry& page : pages) {
        const std::string sheet = page.sheet.empty() ? kUnrecognised : page.sheet;
        auto it = std::find_if(totals.perSheet.begin(), totals.perSheet.end(),
                               [&](const SheetTotal& t) { return t.sheet == sheet; });
        if (it == totals.perSheet.end()) {
            totals.perSheet.push_back({sheet, 0, 0.0});
            it = totals.perSheet.end() - 1;
        }
        ++it->count;
        it->a1Equivalents += page.a1Equivalents;
        ++totals.count;
        totals.a1Equivalents += page.a1Equivalents;
    }
    return totals;
}

std::vector<std::vector<std::string>> CatalogueTable(const std::vector<PageEntry>& pages,
                                                     const std::vector<std::string>& columns) {
    std::vector<std::vector<std::string>> table;
    table.push_back(columns);
    for (const PageEntry& page : pages) {
        std::vector<std::string> row;
        for (const std::string& column : columns) {
            row.push_back(CellText(page, column));
        }
        table.push_back(std::move(row));
    }
    table.push_back({});
    table.push_back({"合计", "图幅", "张数", "折合A1"});
    const CatalogueTotals totals = Totals(pages);
    for (const SheetTotal& total : totals.perSheet) {
        table.push_back(
            {"", total.sheet, std::to_string(total.count), A1Text(total.a1Equivalents)});
    }
    table.push_back({"", "共计", std::to_string(totals.count), A1Text(totals.a1Equivalents)});
    return table;
}

void WriteCatalogueCsv(const std::string& path,
                       const std::vector<std::vector<std::string>>& table) {
    std::string text = "\xEF\xBB\xBF";
    for (const auto& row : table) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            text += (i ? "," : "") + CsvField(row[i]);
        }
        text += "\r\n";
    }
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
        throw Error(errors::kPathFileAccess, "cannot write the catalogue " + path);
    }
}

} // namespace kw::output
