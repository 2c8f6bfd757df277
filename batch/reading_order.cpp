#include "batch/reading_order.h"

#include <algorithm>
#include <numeric>

#include "base/error.h"

namespace kw {
namespace {

// One axis of a frame: the extent across the lines (rows: vertical) and along them.
struct Span {
    double low = 0.0;
    double high = 0.0;
    double Size() const { return high - low; }
    double Centre() const { return (low + high) / 2; }
};

// Frames join a line while they overlap its band by at least half the height of the lower of
// the two (the frame, the line's smallest frame). Half rather than any overlap keeps staggered
// rows apart: a frame reaching a little into the row above does not pull the rows together,
// while a small frame standing beside a large one in the same row joins it.
std::vector<std::vector<std::size_t>> GroupLines(const std::vector<Span>& across) {
    std::vector<std::size_t> byCentre(across.size());
    std::iota(byCentre.begin(), byCentre.end(), 0);
    // From the high end (the top row, the rightmost column); ties keep discovery order.
    std::stable_sort(byCentre.begin(), byCentre.end(), [&](std::size_t a, std::size_t b) {
        return across[a].Centre() > across[b].Centre();
    });
    std::vector<std::vector<std::size_t>> lines;
    Span band;
    double smallest = 0.0;
    for (const std::size_t i : byCentre) {
        const Span& span = across[i];
        const double overlap = std::min(span.high, band.high) - std::max(span.low, band.low);
        const double needed = std::min(span.Size(), smallest) / 2;
        if (!lines.empty() && overlap >= needed && overlap >= 0.0) {
            lines.back().push_back(i);
            band.low = std::min(band.low, span.low);
            band.high = std::max(band.high, span.high);
            smallest = std::min(smallest, span.Size());
        } else {
            lines.push_back({i});
            band = span;
            smallest = span.Size();
        }
    }
    return lines;
}

std::vector<FrameExtent> OrderByLines(const std::vector<FrameExtent>& frames, bool rows,
                                      bool bottomUp, bool rightToLeft) {
    std::vector<Span> across;
    std::vector<Span> along;
    for (const FrameExtent& f : frames) {
        across.push_back(rows ? Span{f.yMin, f.yMax} : Span{f.xMin, f.xMax});
        along.push_back(rows ? Span{f.xMin, f.xMax} : Span{f.yMin, f.yMax});
    }
    std::vector<std::vector<std::size_t>> lines = GroupLines(across);
    // Lines come top row first, or rightmost column first.
    const bool reverseLines = rows ? bottomUp : !rightToLeft;
    if (reverseLines) {
        std::reverse(lines.begin(), lines.end());
    }
    // Along a row: left to right unless right to left; along a column: top down unless bottom up.
    const bool ascending = rows ? !rightToLeft : bottomUp;
    std::vector<FrameExtent> ordered;
    ordered.reserve(frames.size());
    for (std::vector<std::size_t>& line : lines) {
        std::stable_sort(line.begin(), line.end(), [&](std::size_t a, std::size_t b) {
            const double keyA = ascending ? along[a].low : -along[a].high;
            const double keyB = ascending ? along[b].low : -along[b].high;
            if (keyA != keyB) {
                return keyA < keyB;
            }
            // Frames one above the other in a row: the upper first (the left in a column).
            return rows ? across[a].high > across[b].high : across[a].low < across[b].low;
        });
        for (const std::size_t i : line) {
            ordered.push_back(frames[i]);
        }
    }
    return ordered;
}

} // namespace

ReadingOrder ParseReadingOrder(const std::string& name) {
    if (name == "classic") {
        return ReadingOrder::Classic;
    }
    if (name == "rows") {
        return ReadingOrder::Rows;
    }
    if (name == "columns") {
        return ReadingOrder::Columns;
    }
    if (name == "number") {
        return ReadingOrder::DrawingNumber;
    }
    throw Error(errors::kInvalidCall,
                "--order: expected classic, rows, columns or number, got \"" + name + "\"");
}

std::vector<FrameExtent> OrderFramesBy(std::vector<FrameExtent> frames, const OrderChoice& choice) {
    if (frames.empty()) {
        return frames;
    }
    switch (choice.order) {
    case ReadingOrder::Classic:
    case ReadingOrder::DrawingNumber:
        if (!choice.rightToLeft) {
            return OrderFrames(std::move(frames), choice.bottomUp);
        }
        return OrderByLines(frames, true, choice.bottomUp, true);
    case ReadingOrder::Rows:
        return OrderByLines(frames, true, choice.bottomUp, choice.rightToLeft);
    case ReadingOrder::Columns:
        return OrderByLines(frames, false, choice.bottomUp, choice.rightToLeft);
    }
    return frames;
}

} // namespace kw
