#pragma once

// A table laid out from its own data, for a table whose anonymous block is missing (a drawing
// converted from DWG, or written by a program that leaves the block out): the grid's lines and
// each cell's text, as the table and its style (TABLESTYLE) store them.
//
// The grid runs from the insertion point along the table's direction, rows downwards (upwards
// when the style says so). A merged cell covers the cells its spans give; no line crosses it.
// Texts are multiline texts placed in their cells by their alignment, inside the style's margins
// and as wide as the cell between them. What is not laid out: block cells, per-edge border
// visibility and colours, and fills; every border is drawn in the table's colour.

#include <cstdint>
#include <memory>
#include <string>

#include "drawing/entities.h"

namespace kw::drawing {

// What a TABLESTYLE gives a table: margins, flow, and a text style, height, alignment and colour
// for data, title and header cells. The defaults are those of the metric Standard style.
struct TableStyle {
    struct Cells {
        std::string textStyle = "Standard"; // 7
        double height = 4.5;                // 140
        std::int16_t alignment = 2;         // 170: 1 top left ... 9 bottom right
        std::int16_t color = kColorByBlock; // 62
    };
    bool flowsUp = false;          // 70: 1 rows grow upwards
    double horizontalMargin = 1.5; // 40
    double verticalMargin = 1.5;   // 41
    bool titleSuppressed = false;  // 280 (its second)
    bool headerSuppressed = false; // 281
    Cells data;
    Cells title{"Standard", 6.0, 5, kColorByBlock};
    Cells header{"Standard", 4.5, 5, kColorByBlock};
};

// The lines and texts of `table` placed at `insertion` (WCS), as content drawn like a block's at
// the identity (layer 0, BYBLOCK properties take the table's own); null when the grid is empty.
std::shared_ptr<const ProxyGraphics> LayOutTable(const TableContent& table, const TableStyle& style,
                                                 const Vec3& insertion);

} // namespace kw::drawing
