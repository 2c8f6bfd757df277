#pragma once

// A static R-tree over the boxes of a space's entities, for window queries: a page costs time in
// proportion to what lies in its window, not to the drawing's size. Built once per layout by
// sort-tile-recursive packing; items are numbered by their position in the layout's entity list.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "drawing/document.h"
#include "drawing/geometry.h"

namespace kw::drawing {

class SpatialIndex {
public:
    struct Rect {
        double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
    };

    SpatialIndex() = default;
    // Item i is boxes[i]; empty boxes (entities without extents) are left out, except the items
    // `everywhere` names: endless ones (construction lines) that every window may meet.
    explicit SpatialIndex(const std::vector<Box>& boxes, std::vector<std::size_t> everywhere = {});

    // The items whose boxes meet the window (touching counts), in ascending order.
    std::vector<std::size_t> Query(const Rect& window) const;
    // The box of every item together; empty when there are none.
    Box Bounds() const;
    std::size_t Size() const { return m_itemCount + m_everywhere.size(); }

private:
    struct Node {
        Rect box;
        std::uint32_t first = 0; // first child node, or first entry of m_items for a leaf
        std::uint32_t count = 0;
        bool leaf = true;
    };

    std::vector<Node> m_nodes; // the root is the last node
    std::vector<std::uint32_t> m_items;
    std::vector<Rect> m_itemBoxes;
    std::vector<std::size_t> m_everywhere; // ascending
    std::size_t m_itemCount = 0;
};

// The index of a layout's entities by their world extents (block references expanded, as
// EntityExtents measures them; text and the shapes of complex linetypes by their InkBound).
SpatialIndex BuildLayoutIndex(const Document& document, const Layout& layout);

} // namespace kw::drawing
