#pragma once

#include <string>
#include <vector>

#include "batch/reading_order.h"
#include "engine/frames.h"

namespace kw {
namespace drawing {
class Document;
}

// Why a candidate is no frame. Frame numbers are page numbers, from 1 over the whole drawing.
enum class Rejection { None, NestedIn, DuplicateOf, NoStandardSize, Empty };

// One closed rectangle or block reference that could be a frame.
struct FrameCandidate {
    FrameExtent extent;
    std::string layout; // "Model" or the paper layout's name
    std::string
        description;   // "LWPOLYLINE on layer 图框", "INSERT of block A3", "4 LINEs on layer 0"
    std::string sheet; // "A3 landscape 1:1", empty when the size is none of the standard ones
    Rejection rejection = Rejection::None;
    int other = 0; // the frame it is nested in or a duplicate of
    int page = 0;  // its page when it is a frame
};

struct AutoFrames {
    // Every candidate: frames in page order first (the current layout's, then those of the other
    // layouts in tab order, each layout's in the reading order asked for), then the rejected in
    // drawing order.
    std::vector<FrameCandidate> candidates;
    // The layout the drawing was saved with as the current one: where its windows are plotted.
    std::string activeLayout;
    // Why the drawing is incomplete when it was read to recover what it holds; empty when whole.
    std::string damage;
    // The frames of one layout in page order.
    std::vector<FrameExtent> FramesOf(const std::string& layout) const;
};

// Frames found without configuration: closed rectangles (LWPOLYLINE, 2D POLYLINE, four LINEs),
// block references and custom objects drawn by their stored graphics (a frame an application
// draws as an object of its own) whose size is a standard sheet at a standard scale; inner borders,
// title-block cells, duplicates, frames nested in frames and frames around nothing are left out.
AutoFrames FindAutoFrames(const drawing::Document& document, const OrderChoice& order);

// "nested in frame 2", "duplicate of frame 1", "no standard size", "empty".
std::string RejectionText(const FrameCandidate& candidate);

} // namespace kw
