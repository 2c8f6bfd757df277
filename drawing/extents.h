#pragma once

// Extents of entities in world coordinates, with block references expanded: insertion point,
// scale (mirroring included), rotation, extrusion, column/row arrays and the block's base point,
// nested up to BlockPath::kMaxDepth levels. External references are loaded on first use (see
// ResolveXref). A block reached again on its own path (through INSERT, DIMENSION or external
// references) is cut off there (drawing/block_path.h), and each block is measured once in its own
// coordinates, so the work stays linear in the drawing's size.
//
// Exact for lines, points, circles, arcs, ellipses, polylines with bulges, solids, faces, leaders
// and hatch boundaries under any transform (a transformed arc is measured as the elliptical arc it
// becomes). Splines are evaluated (de Boor), not hulled: the extreme points are found by sampling
// every knot span and refining, so the box is exact to about 1e-9 of the spline's size. Text is
// approximated from its height, width factor and character count (see drawing/README.md): a CJK
// character is one height wide, any other 0.6 height; the box is rotated and obliqued with the
// text. Invisible entities (60 = 1) and non-constant ATTDEFs inside a block do not count; viewports
// and opaque entities have no extents, except tables (their block), images and wipeouts (their
// clip outline).

#include <memory>
#include <string>

#include "drawing/block_path.h"
#include "drawing/document.h"
#include "drawing/geometry.h"

namespace kw::drawing {

// The world box of an entity of `document` (empty Box when it has no extents).
Box EntityExtents(const Document& document, const Entity& entity);

// The same with a transform applied first (what a block reference does to its content).
Box EntityExtents(const Document& document, const Entity& entity, const Transform& transform);

// The box of all entities of a block, in the block's own coordinates transformed by `transform`.
Box BlockExtents(const Document& document, const Block& block,
                 const Transform& transform = Transform::Identity());

// The same walking on `path` (at depth 0, made for `document`): its Reports() then tell which
// blocks were cut off, each once however many entities are measured with it.
Box EntityExtents(const Document& document, const Entity& entity, const Transform& transform,
                  BlockPath& path);
Box BlockExtents(const Document& document, const Block& block, const Transform& transform,
                 BlockPath& path);

// Whether EntityExtents estimates what only drawing tells: the box of text of every kind (its
// width from its characters, not from its font) and the shapes and texts a complex linetype sets
// beside an entity's line (left out). The painter measures these by drawing them
// (render/drawn_extents.h).
bool ExtentsEstimated(const Document& document, const Entity& entity);

// A box that the entity's drawing stays within, from its `extents` (EntityExtents): for what
// ExtentsEstimated, grown by what the estimate may miss (a font up to twice as wide as the
// estimate, descenders, the linetype's shapes and texts); `extents` for the rest.
Box InkBound(const Document& document, const Entity& entity, const Box& extents);

// The transform of one instance of a block reference (column c, row r of an array): block
// coordinates → WCS, base point, scale, rotation, array offset, insertion point and extrusion.
Transform InsertTransform(const Entity& insert, const Block* block, int column = 0, int row = 0);

// The drawing an external-reference block refers to, loaded on first use and cached in the host
// document (so measuring one document from several threads at once needs a lock); nullptr when
// the block is no xref or the file cannot be found or read. Drawings that refer to each other
// stop after 8 levels. The path is tried relative to the host drawing's folder (never to the
// current folder) or, when absolute, as given, then as the bare file name in the host's folder;
// for a ".dwg" path a ".dxf" file of the same name counts.
std::shared_ptr<const Document> ResolveXref(const Document& host, const Block& block);

// The file an xref path resolves to, by the rule above; "" when no candidate exists.
std::string FindXrefFile(const std::string& hostPath, const std::string& xrefPath);

} // namespace kw::drawing
