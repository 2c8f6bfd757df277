#include "drawing/entities.h"

#include <algorithm>

namespace kw::drawing {

double MTextColumns::Height(std::size_t index, double definedHeight) const {
    if (type == 2 && !autoHeight && index < heights.size())
        return std::max(0.0, heights[index]);
    return std::max(0.0, definedHeight);
}

std::string_view DxfNameOf(EntityType type) {
    switch (type) {
    case EntityType::Unknown:
        return "";
    case EntityType::Line:
        return "LINE";
    case EntityType::Point:
        return "POINT";
    case EntityType::Circle:
        return "CIRCLE";
    case EntityType::Arc:
        return "ARC";
    case EntityType::Ellipse:
        return "ELLIPSE";
    case EntityType::LwPolyline:
        return "LWPOLYLINE";
    case EntityType::Polyline:
        return "POLYLINE";
    case EntityType::Spline:
        return "SPLINE";
    case EntityType::Text:
        return "TEXT";
    case EntityType::MText:
        return "MTEXT";
    case EntityType::Attrib:
        return "ATTRIB";
    case EntityType::AttDef:
        return "ATTDEF";
    case EntityType::Insert:
        return "INSERT";
    case EntityType::Dimension:
        return "DIMENSION";
    case EntityType::Hatch:
        return "HATCH";
    case EntityType::Solid:
        return "SOLID";
    case EntityType::Trace:
        return "TRACE";
    case EntityType::Face3d:
        return "3DFACE";
    case EntityType::Leader:
        return "LEADER";
    case EntityType::Viewport:
        return "VIEWPORT";
    case EntityType::XLine:
        return "XLINE";
    case EntityType::Ray:
        return "RAY";
    }
    return "";
}

std::string_view Entity::DxfName() const {
    if (type == EntityType::Unknown) {
        if (const auto* opaque = std::get_if<OpaqueGeometry>(&geometry))
            return opaque->dxfName;
        return "";
    }
    return DxfNameOf(type);
}

std::vector<Vec3> RasterGeometry::Outline() const {
    // Pixel coordinates (x right, y down from the top) → WCS.
    const auto at = [&](double x, double y) {
        return insertion + u * (x + 0.5) + v * (heightPx - 0.5 - y);
    };
    if (clipping && clip.size() == 2) {
        const Vec3 a = clip[0], b = clip[1];
        return {at(a.x, a.y), at(b.x, a.y), at(b.x, b.y), at(a.x, b.y)};
    }
    if (clipping && clip.size() > 2) {
        std::vector<Vec3> outline;
        outline.reserve(clip.size());
        for (const Vec3& p : clip)
            outline.push_back(at(p.x, p.y));
        return outline;
    }
    return {insertion, insertion + u * widthPx, insertion + u * widthPx + v * heightPx,
            insertion + v * heightPx};
}

} // namespace kw::drawing
