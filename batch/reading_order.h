#pragma once

#include <string>
#include <vector>

#include "engine/frames.h"

namespace kw {

// How the pages of a drawing follow each other.
enum class ReadingOrder {
    Classic,       // the frame ordering of the desktop program, exactly (OrderFrames)
    Rows,          // rows grouped by overlapping vertical extents
    Columns,       // columns grouped by overlapping horizontal extents
    DrawingNumber, // by the title block's drawing number; by position until fields are read
};

struct OrderChoice {
    ReadingOrder order = ReadingOrder::Classic;
    bool bottomUp = false;    // rows from the bottom, or each column from its bottom
    bool rightToLeft = false; // within a row, or columns from the right
};

// Error 5 naming the option for an unknown name (classic, rows, columns, number).
ReadingOrder ParseReadingOrder(const std::string& name);

// The frames of one drawing in the chosen order. Classic left to right is OrderFrames itself;
// asking it for right to left means rows grouped by overlap, read from the right.
std::vector<FrameExtent> OrderFramesBy(std::vector<FrameExtent> frames, const OrderChoice& choice);

} // namespace kw
