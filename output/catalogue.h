#pragma once

// The drawing catalogue (图纸目录): one row per plotted page in plotting order, configurable
// columns, and the totals of sheets per size and in A1 equivalents.

#include <map>
#include <string>
#include <vector>

#include "output/file_names.h"
#include "output/title_fields.h"

namespace kw::output {

// What the run knows of one plotted page.
struct PageEntry {
    std::string drawing; // the drawing's path
    int page = 0;        // the frame's number in its drawing, from 1
    int index = 0;       // the page's number in the run, from 1
    FrameBox frame;      // drawing units
    std::string sheet;   // "A1×1¼"; empty when the frame matched no sheet
    double a1Equivalents = 0.0;
    std::string scale; // "1:100"; empty when the frame matched no sheet
    std::string paper; // the canonical name of the paper it went on
    FieldValues fields;
    std::string name; // the page's file name without ".pdf", as the template made it
    std::string file; // the file written; empty for a printer
    std::string note; // what the log said of it (a fallback), empty when nothing
    std::string layout; // the layout the frame lies in: "Model" or a paper layout's name
};

// The columns a catalogue has unless told otherwise.
std::vector<std::string> DefaultCatalogueColumns();
// "序号,图号,图名" → its columns; blanks around names dropped, empty names skipped.
std::vector<std::string> ParseColumns(const std::string& text);

// The text of one cell: 序号 (index), 页码 (page), 图幅 (sheet), 比例 (the title block's, else
// the recognised scale), 文件 (the file's name), 图形 (the drawing's file name), 布局 (the
// layout: 模型 for model space, else the paper layout's name), any field.
std::string CellText(const PageEntry& entry, const std::string& column);

// The values a name template can use for a page.
NameValues NameValuesOf(const PageEntry& entry);

struct SheetTotal {
    std::string sheet; // "未识别" for frames that matched no sheet
    int count = 0;
    double a1Equivalents = 0.0;
};

struct CatalogueTotals {
    std::vector<SheetTotal> perSheet; // in order of first appearance
    int count = 0;
    double a1Equivalents = 0.0;
};

CatalogueTotals Totals(const std::vector<PageEntry>& pages);

// The catalogue as the rows of a table: the heading, one row per page, an empty row, then the
// totals ("合计" rows: size, sheets, A1 equivalents).
std::vector<std::vector<std::string>> CatalogueTable(const std::vector<PageEntry>& pages,
                                                     const std::vector<std::string>& columns);

// Writes the table as CSV: UTF-8 with a byte order mark (so spreadsheet programs read the
// Chinese), CR LF, fields quoted where they must be, a text that a spreadsheet would take for a
// formula (starting with = + - @, a tab or a carriage return, and no plain number) behind a
// leading "'". Throws kw::Error 75 naming the file.
void WriteCatalogueCsv(const std::string& path, const std::vector<std::vector<std::string>>& table);

// "12.5" with at most two decimals.
std::string A1Text(double value);

} // namespace kw::output
