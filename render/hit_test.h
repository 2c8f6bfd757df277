#pragma once

// Geometric tests behind picking on screen: whether what an entity draws meets a rectangle (a
// pick box, a crossing window) or lies wholly inside one (a selection window). Extents alone would
// pick a frame's block reference with a click anywhere inside the frame; these follow the lines
// the painter's front end draws, as picking draws them: lines continuous, hatches without a fill
// by their boundary, texts by their boxes, a viewport by its border.

#include <QPolygonF>
#include <QRectF>

#include <vector>

#include "drawing/document.h"

namespace kw::render {
class Renderer;
}

namespace kw::render {

// Whether any line, arc, curve, filled area or text box of `entity` (of the renderer's drawing)
// meets `window` (drawing units, y up). Block references, dimensions and external references are
// followed into their content; curves are flattened finely enough for the window's size.
bool EntityTouches(const Renderer& renderer, const drawing::Entity& entity, const QRectF& window);

// Whether the whole entity lies inside `window` (its extents do). An entity without extents
// never does.
bool EntityInside(const drawing::Document& document, const drawing::Entity& entity,
                  const QRectF& window);

// What the entity draws as polylines in drawing units (curves flattened to `tolerance`, filled
// areas and text by their outlines, endless lines across `window`): for drawing a highlight over
// a finished picture.
std::vector<QPolygonF> EntityOutline(const Renderer& renderer, const drawing::Entity& entity,
                                     double tolerance, const QRectF& window);

} // namespace kw::render
