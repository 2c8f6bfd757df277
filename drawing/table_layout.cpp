#include "drawing/table_layout.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

namespace kw::drawing {

namespace {

bool Finite(double v) {
    return std::isfinite(v);
}

// The table's own axes: u along a row, v across it (upwards), both in the drawing's plane.
struct Frame {
    Vec3 origin;
    Vec3 u{1, 0, 0};
    Vec3 v{0, 1, 0};
    Vec3 At(double x, double y) const { return origin + u * x + v * y; }
};

Entity Part(EntityType type) {
    Entity e;
    e.type = type;
    e.color = kColorByBlock;
    e.linetype = "BYBLOCK";
    e.lineweight = kLineweightByBlock;
    return e;
}

// The style with the table's own overrides.
TableStyle Overridden(TableStyle style, const TableContent& table) {
    if (table.horizontalMargin >= 0)
        style.horizontalMargin = table.horizontalMargin;
    if (table.verticalMargin >= 0)
        style.verticalMargin = table.verticalMargin;
    if (table.flow == 0 || table.flow == 1)
        style.flowsUp = table.flow == 1;
    TableStyle::Cells* kinds[] = {&style.data, &style.title, &style.header};
    for (std::size_t k = 0; k < 3; ++k) {
        if (!table.textStyles[k].empty())
            kinds[k]->textStyle = table.textStyles[k];
        if (table.heights[k] > 0)
            kinds[k]->height = table.heights[k];
        if (table.alignments[k] >= 1 && table.alignments[k] <= 9)
            kinds[k]->alignment = table.alignments[k];
        if (table.colors[k] >= 0 && table.colors[k] <= 256)
            kinds[k]->color = table.colors[k];
    }
    return style;
}

} // namespace

std::shared_ptr<const ProxyGraphics> LayOutTable(const TableContent& table,
                                                 const TableStyle& tableStyle,
                                                 const Vec3& insertion) {
    const TableStyle style = Overridden(tableStyle, table);
    const std::size_t rows = table.rowHeights.size();
    const std::size_t columns = table.columnWidths.size();
    // A schedule has hundreds of cells; a grid of more than a million comes from a damaged file.
    constexpr std::size_t kMaxCells = std::size_t{1} << 20;
    if (rows == 0 || columns == 0 || rows > kMaxCells / columns)
        return nullptr;
    // Where each row and column starts, from the insertion point.
    std::vector<double> x(columns + 1, 0.0), y(rows + 1, 0.0);
    for (std::size_t c = 0; c < columns; ++c)
        x[c + 1] = x[c] + table.columnWidths[c];
    const double flow = style.flowsUp ? 1.0 : -1.0;
    for (std::size_t r = 0; r < rows; ++r)
        y[r + 1] = y[r] + flow * table.rowHeights[r];
    if (!Finite(x[columns]) || !Finite(y[rows]))
        return nullptr;

    Frame frame;
    frame.origin = insertion;
    const double length = std::hypot(table.direction.x, table.direction.y);
    if (Finite(length) && length > 1e-12) {
        frame.u = {table.direction.x / length, table.direction.y / length, 0};
        frame.v = {-frame.u.y, frame.u.x, 0};
    }

    // Which cell each place of the grid belongs to: its own, or the merged cell covering it.
    std::vector<std::size_t> owner(rows * columns);
    std::iota(owner.begin(), owner.end(), std::size_t{0});
    // Merged cells do not overlap; where a damaged file says they do, the first keeps its place,
    // and a merge stops at a place already taken, so the work stays that of the grid.
    const std::size_t stored = std::min(table.cells.size(), rows * columns);
    // The rows and columns a cell's spans reach, within the grid: [r0, r1) × [c0, c1).
    struct Reach {
        std::size_t r0, c0, r1, c1;
    };
    const auto reach = [&](std::size_t k) {
        const TableContent::Cell& cell = table.cells[k];
        const std::size_t r0 = k / columns, c0 = k % columns;
        return Reach{r0, c0, std::min(rows, r0 + static_cast<std::size_t>(cell.rowSpan)),
                     std::min(columns, c0 + static_cast<std::size_t>(cell.columnSpan))};
    };
    for (std::size_t k = 0; k < stored; ++k) {
        const TableContent::Cell& cell = table.cells[k];
        if ((cell.columnSpan <= 1 && cell.rowSpan <= 1) || owner[k] != k)
            continue; // a single cell, or inside another merged cell
        auto [r0, c0, r1, c1] = reach(k);
        for (std::size_t r = r0; r < r1; ++r) {
            for (std::size_t c = c0; c < c1; ++c) {
                std::size_t& place = owner[r * columns + c];
                if (place != r * columns + c && place != k) {
                    c1 = c; // taken: the merge is no wider than what is free
                    break;
                }
                place = k;
            }
            if (c1 == c0)
                break; // nor taller
        }
    }
    const auto ownerAt = [&](std::size_t r, std::size_t c) { return owner[r * columns + c]; };

    auto graphics = std::make_shared<ProxyGraphics>();
    const auto line = [&](Vec3 a, Vec3 b) {
        Entity e = Part(EntityType::Line);
        e.geometry = LineGeometry{a, b};
        graphics->entities.push_back(std::move(e));
    };
    // The grid: a line between two places of different cells, runs of them joined.
    for (std::size_t r = 0; r <= rows; ++r) {
        std::size_t start = columns;
        for (std::size_t c = 0; c <= columns; ++c) {
            const bool drawn = c < columns && (r == 0 || r == rows ||
                                               ownerAt(r - 1, c) != ownerAt(r, c));
            if (drawn && start == columns)
                start = c;
            if (!drawn && start != columns) {
                line(frame.At(x[start], y[r]), frame.At(x[c], y[r]));
                start = columns;
            }
        }
    }
    for (std::size_t c = 0; c <= columns; ++c) {
        std::size_t start = rows;
        for (std::size_t r = 0; r <= rows; ++r) {
            const bool drawn = r < rows && (c == 0 || c == columns ||
                                            ownerAt(r, c - 1) != ownerAt(r, c));
            if (drawn && start == rows)
                start = r;
            if (!drawn && start != rows) {
                line(frame.At(x[c], y[start]), frame.At(x[c], y[r]));
                start = rows;
            }
        }
    }

    // The texts, each in its cell (or the whole of its merged cell).
    const std::size_t titleRow = style.titleSuppressed ? rows : 0;
    const std::size_t headerRow = style.headerSuppressed ? rows : (style.titleSuppressed ? 0 : 1);
    for (std::size_t k = 0; k < stored; ++k) {
        const TableContent::Cell& cell = table.cells[k];
        if (cell.text.empty() || owner[k] != k)
            continue;
        const auto [r0, c0, r1, c1] = reach(k);
        const TableStyle::Cells& kind = r0 == titleRow    ? style.title
                                        : r0 == headerRow ? style.header
                                                          : style.data;
        const double height = cell.height > 0 ? cell.height : kind.height;
        const std::int16_t alignment =
            cell.alignment >= 1 && cell.alignment <= 9 ? cell.alignment : kind.alignment;
        const int across = (alignment - 1) % 3, down = (alignment - 1) / 3;
        const double left = x[c0] + style.horizontalMargin, right = x[c1] - style.horizontalMargin;
        const double top = std::max(y[r0], y[r1]) - style.verticalMargin;
        const double bottom = std::min(y[r0], y[r1]) + style.verticalMargin;
        const double px = across == 0 ? left : across == 1 ? (x[c0] + x[c1]) / 2 : right;
        const double py = down == 0 ? top : down == 1 ? (y[r0] + y[r1]) / 2 : bottom;

        MTextGeometry text;
        text.text = cell.text;
        text.style = cell.style.empty() ? kind.textStyle : cell.style;
        text.insertion = frame.At(px, py);
        const double turn = Finite(cell.rotation) ? cell.rotation : 0.0;
        text.xDirection = frame.u * std::cos(turn) + frame.v * std::sin(turn);
        text.height = height;
        text.referenceWidth = std::max(0.0, right - left);
        text.attachment = alignment;
        Entity e = Part(EntityType::MText);
        e.color = cell.color >= 0 && cell.color <= 256 ? cell.color : kind.color;
        e.geometry = std::move(text);
        graphics->entities.push_back(std::move(e));
    }
    return graphics;
}

} // namespace kw::drawing
