#pragma once

// What a multiline draws: its elements as polylines, its caps, miters and fill (WCS). Measuring,
// picking and painting all take their line work from here.

#include <cstddef>
#include <vector>

#include "drawing/document.h"

namespace kw::drawing {

// The style a multiline is drawn in: the one its 340 names, else the one its 2 names, else the
// drawing's STANDARD, else MLineStyle::Standard(). Never a style without elements.
const MLineStyle& MLineStyleOf(const Document& document, const MLineGeometry& mline);

struct MLinePiece {
    std::vector<Vec3> points; // WCS; a closed element repeats its first point at the end
    std::size_t element = 0;  // the style element whose colour and linetype it takes
};

struct MLineShape {
    std::vector<MLinePiece> pieces;
    // The filled area as rings (even-odd: a closed multiline fills the band between two rings);
    // empty when the style does not fill.
    std::vector<std::vector<Vec3>> fill;
};

// The line work of a multiline in its style. A multiline with fewer than two vertices has none.
MLineShape ShapeOfMLine(const MLineGeometry& mline, const MLineStyle& style, Vec3 extrusion);

} // namespace kw::drawing
