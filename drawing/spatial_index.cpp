#include "drawing/spatial_index.h"

#include <algorithm>
#include <cmath>

#include "drawing/extents.h"

namespace kw::drawing {
namespace {

constexpr std::size_t kFanout = 16;

bool Meets(const SpatialIndex::Rect& a, const SpatialIndex::Rect& b) {
    return a.minX <= b.maxX && b.minX <= a.maxX && a.minY <= b.maxY && b.minY <= a.maxY;
}

SpatialIndex::Rect Union(const SpatialIndex::Rect& a, const SpatialIndex::Rect& b) {
    return {std::min(a.minX, b.minX), std::min(a.minY, b.minY), std::max(a.maxX, b.maxX),
            std::max(a.maxY, b.maxY)};
}

// Sort-tile-recursive order of `ids` by the centres of `boxes`: vertical slices by x, each slice
// by y, so that every run of kFanout ids is a compact tile.
template <typename Box2>
void TileOrder(std::vector<std::uint32_t>& ids, const std::vector<Box2>& boxes) {
    auto cx = [&](std::uint32_t i) { return boxes[i].minX + boxes[i].maxX; };
    auto cy = [&](std::uint32_t i) { return boxes[i].minY + boxes[i].maxY; };
    std::sort(ids.begin(), ids.end(), [&](auto a, auto b) { return cx(a) < cx(b); });
    const std::size_t leaves = (ids.size() + kFanout - 1) / kFanout;
    const auto slices = static_cast<std::size_t>(std::ceil(std::sqrt(double(leaves))));
    const std::size_t perSlice = slices * kFanout;
    for (std::size_t start = 0; start < ids.size(); start += perSlice) {
        const auto end = ids.begin() + std::min(ids.size(), start + perSlice);
        std::sort(ids.begin() + start, end, [&](auto a, auto b) { return cy(a) < cy(b); });
    }
}

} // namespace

SpatialIndex::SpatialIndex(const std::vector<Box>& boxes, std::vector<std::size_t> everywhere)
    : m_everywhere(std::move(everywhere)) {
    std::sort(m_everywhere.begin(), m_everywhere.end());
    m_itemBoxes.reserve(boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Box& b = boxes[i];
        m_itemBoxes.push_back({b.min.x, b.min.y, b.max.x, b.max.y});
        if (!b.IsEmpty() && std::isfinite(b.min.x) && std::isfinite(b.min.y) &&
            std::isfinite(b.max.x) && std::isfinite(b.max.y))
            m_items.push_back(static_cast<std::uint32_t>(i));
    }
    m_itemCount = m_items.size();
    if (m_items.empty())
        return;
    TileOrder(m_items, m_itemBoxes);
    // Leaves over runs of items, then levels of nodes over runs of the level below.
    std::vector<std::uint32_t> level;
    for (std::size_t start = 0; start < m_items.size(); start += kFanout) {
        Node leaf;
        leaf.first = static_cast<std::uint32_t>(start);
        leaf.count = static_cast<std::uint32_t>(std::min(kFanout, m_items.size() - start));
        leaf.box = m_itemBoxes[m_items[start]];
        for (std::uint32_t k = 1; k < leaf.count; ++k)
            leaf.box = Union(leaf.box, m_itemBoxes[m_items[start + k]]);
        level.push_back(static_cast<std::uint32_t>(m_nodes.size()));
        m_nodes.push_back(leaf);
    }
    while (level.size() > 1) {
        std::vector<Rect> nodeBoxes(m_nodes.size());
        for (std::uint32_t id : level)
            nodeBoxes[id] = m_nodes[id].box;
        TileOrder(level, nodeBoxes);
        // Children of one parent must be contiguous: copy each run to the end of m_nodes.
        std::vector<std::uint32_t> next;
        for (std::size_t start = 0; start < level.size(); start += kFanout) {
            const std::size_t count = std::min(kFanout, level.size() - start);
            Node parent;
            parent.leaf = false;
            parent.first = static_cast<std::uint32_t>(m_nodes.size());
            parent.count = static_cast<std::uint32_t>(count);
            parent.box = m_nodes[level[start]].box;
            for (std::size_t k = 0; k < count; ++k) {
                const Node child = m_nodes[level[start + k]];
                parent.box = Union(parent.box, child.box);
                m_nodes.push_back(child);
            }
            next.push_back(static_cast<std::uint32_t>(m_nodes.size()));
            m_nodes.push_back(parent);
        }
        level = std::move(next);
    }
    // The root is the last node pushed.
}

std::vector<std::size_t> SpatialIndex::Query(const Rect& window) const {
    std::vector<std::size_t> found;
    if (m_nodes.empty())
        return m_everywhere;
    std::vector<std::uint32_t> stack{static_cast<std::uint32_t>(m_nodes.size() - 1)};
    while (!stack.empty()) {
        const Node& node = m_nodes[stack.back()];
        stack.pop_back();
        if (!Meets(node.box, window))
            continue;
        for (std::uint32_t k = 0; k < node.count; ++k) {
            if (node.leaf) {
                const std::uint32_t item = m_items[node.first + k];
                if (Meets(m_itemBoxes[item], window))
                    found.push_back(item);
            } else {
                stack.push_back(node.first + k);
            }
        }
    }
    if (!m_everywhere.empty())
        found.insert(found.end(), m_everywhere.begin(), m_everywhere.end());
    std::sort(found.begin(), found.end());
    return found;
}

Box SpatialIndex::Bounds() const {
    Box box;
    if (!m_nodes.empty()) {
        const Rect& r = m_nodes.back().box;
        box.Add(Vec3{r.minX, r.minY, 0});
        box.Add(Vec3{r.maxX, r.maxY, 0});
    }
    return box;
}

SpatialIndex BuildLayoutIndex(const Document& document, const Layout& layout) {
    const std::vector<Entity>& entities = document.LayoutEntities(layout);
    std::vector<Box> boxes;
    boxes.reserve(entities.size());
    std::vector<std::size_t> everywhere;
    for (const Entity& entity : entities) {
        // Construction lines have no box: whatever window is painted, they may cross it.
        if (entity.type == EntityType::XLine || entity.type == EntityType::Ray) {
            everywhere.push_back(boxes.size());
            boxes.emplace_back();
            continue;
        }
        // A spline lies within the hull of its control points; the index needs no more, and the
        // exact box costs far more than painting the spline does.
        const auto* spline = std::get_if<SplineGeometry>(&entity.geometry);
        if (spline && !spline->controlPoints.empty()) {
            Box box;
            for (const Vec3& point : spline->controlPoints)
                box.Add(point);
            boxes.push_back(box);
            continue;
        }
        // A viewport shows model space within its rectangle on the paper.
        if (const auto* viewport = std::get_if<ViewportGeometry>(&entity.geometry)) {
            Box box;
            box.Add(viewport->center - Vec3{viewport->width / 2, viewport->height / 2, 0});
            box.Add(viewport->center + Vec3{viewport->width / 2, viewport->height / 2, 0});
            boxes.push_back(box);
            continue;
        }
        // Text is estimated from its characters, not laid out in its font: a window that meets
        // only the end of its ink must still find it.
        boxes.push_back(InkBound(document, entity, EntityExtents(document, entity)));
    }
    return SpatialIndex(boxes, std::move(everywhere));
}

} // namespace kw::drawing
