#pragma once

// Extents measured by drawing: the front end draws an entity into a back end that only keeps the
// box of what it is given. Where the geometry is only known once drawn — text laid out in its
// font, the shapes and texts a complex linetype sets along a line — this is the box the page
// shows; drawing::EntityExtents stays the cheap geometric answer for everything else (and for
// code below render/, which estimates text from its height and characters).

#include "drawing/document.h"
#include "drawing/geometry.h"

namespace kw::render {

class Renderer;

// The box (drawing units) of everything the front end draws for a top-level entity of the
// renderer's drawing, as a screen shows it: strokes by their points (not their width), filled
// areas, dots, runs of characters by their ink, pictures by their corners, each within the clips
// in force. Empty when nothing is drawn (an invisible entity, a layer that is off, an endless
// line). Needs a QGuiApplication (fonts).
drawing::Box DrawnExtents(const Renderer& renderer, const drawing::Entity& entity);

// The box of an entity as the host CAD answers GetBoundingBox: drawn where
// drawing::ExtentsEstimated (for a linetype's shapes, together with the line's own geometry),
// drawing::EntityExtents elsewhere — and there too where nothing is drawn (a layer that is off) or
// where there is no QGuiApplication to lay text out with.
drawing::Box EntityBox(const Renderer& renderer, const drawing::Entity& entity);

} // namespace kw::render
