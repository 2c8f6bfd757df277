#pragma once

// Colours of a drawing: the AutoCAD Color Index palette, true colours, and what a plot style
// table makes of them.

#include <QColor>

#include <cstdint>

#include "render/render.h"

namespace kw::render {

// The RGB of an ACI index 1..255 (0 and 256 have none: black is returned).
QColor AciColor(int index);

// The colour a plot style table plots for a drawn colour.
QColor StyledColor(const QColor& drawn, StyleMode mode);

} // namespace kw::render
