#include <cmath>

#include "builtin/builtin_objects.h"
#include "drawing/extents.h"
#include "render/drawn_extents.h"

namespace kw::builtin {
namespace {

using drawing::EntityType;

// The host's codes (AcEntityName) for the types the drawing model keeps.
std::int32_t DimensionCode(const drawing::DimensionGeometry& dimension) {
    switch (dimension.dimensionType & 0x0F) {
    case 0:
        return 15; // rotated (linear)
    case 1:
        return 9; // aligned
    case 2:
        return 10; // angular
    case 3:
        return 12; // diametric
    case 4:
        return 14; // radial
    case 5:
        return 41; // three-point angular
    case 6:
        return 13; // ordinate
    default:
        return 15;
    }
}

std::int32_t OpaqueCode(const std::string& dxfName) {
    static const std::map<std::string, std::int32_t> codes = {
        {"3DSOLID", 3}, {"IMAGE", 26},     {"RAY", 27},   {"REGION", 28},
        {"SHAPE", 29},  {"TOLERANCE", 33}, {"XLINE", 36}, {"MLINE", 40},
    };
    const auto found = codes.find(dxfName);
    return found == codes.end() ? 0 : found->second;
}

class BuiltinEntity : public CadEntity {
public:
    BuiltinEntity(std::shared_ptr<DocumentState> state, const drawing::Entity* entity)
        : m_state(std::move(state)), m_entity(entity) {}

    std::int32_t EntityType() override {
        m_state->CheckOpen();
        return EntityTypeCode(m_state->drawing, *m_entity);
    }

    std::string Layer() override {
        m_state->CheckOpen();
        return m_entity->layer;
    }

    // Block references answer with their block's name; other entities have no Name.
    std::string Name() override {
        m_state->CheckOpen();
        if (const auto* insert = std::get_if<drawing::InsertGeometry>(&m_entity->geometry)) {
            return insert->blockName;
        }
        Fail(errors::kMemberNotFound, std::string(m_entity->DxfName()) + " has no member Name");
    }

    void GetBoundingBox(Point& minPoint, Point& maxPoint) override {
        m_state->CheckOpen();
        // Text and the shapes of complex linetypes are measured as the painter draws them, the
        // rest by their geometry (the painter is not made for a drawing that has no need of it).
        const drawing::Box box = drawing::ExtentsEstimated(m_state->drawing, *m_entity)
                                     ? render::EntityBox(m_state->Renderer(), *m_entity)
                                     : drawing::EntityExtents(m_state->drawing, *m_entity);
        if (box.IsEmpty() || !std::isfinite(box.min.x) || !std::isfinite(box.max.x)) {
            Fail(errors::kFailed,
                 std::string(m_entity->DxfName()) + " has no extents (nothing to measure)");
        }
        minPoint = {box.min.x, box.min.y};
        maxPoint = {box.max.x, box.max.y};
    }

    // A lightweight polyline gives x, y per vertex in its own coordinate system; an old-style
    // polyline x, y, z.
    std::vector<double> Coordinates() override {
        m_state->CheckOpen();
        std::vector<double> coordinates;
        if (const auto* lw = std::get_if<drawing::LwPolylineGeometry>(&m_entity->geometry)) {
            for (const auto& vertex : lw->vertices) {
                coordinates.push_back(vertex.x);
                coordinates.push_back(vertex.y);
            }
            return coordinates;
        }
        if (const auto* heavy = std::get_if<drawing::PolylineGeometry>(&m_entity->geometry)) {
            for (const auto& vertex : heavy->vertices) {
                if ((vertex.flags & 128) != 0 && (heavy->flags & 64) != 0) {
                    continue; // a face record of a polyface mesh has no location
                }
                coordinates.push_back(vertex.location.x);
                coordinates.push_back(vertex.location.y);
                coordinates.push_back(vertex.location.z);
            }
            return coordinates;
        }
        Fail(errors::kMemberNotFound,
             std::string(m_entity->DxfName()) + " has no member Coordinates");
    }

private:
    std::shared_ptr<DocumentState> m_state;
    const drawing::Entity* m_entity;
};

} // namespace

std::int32_t EntityTypeCode(const drawing::Document& document, const drawing::Entity& entity) {
    switch (entity.type) {
    case EntityType::Line:
        return 19;
    case EntityType::Point:
        return 22;
    case EntityType::Circle:
        return 8;
    case EntityType::Arc:
        return 4;
    case EntityType::Ellipse:
        return 16;
    case EntityType::LwPolyline:
        return entity_types::kLightweightPolyline;
    case EntityType::Polyline: {
        const auto& polyline = std::get<drawing::PolylineGeometry>(entity.geometry);
        if (polyline.flags & 64) {
            return 39; // polyface mesh
        }
        if (polyline.flags & 16) {
            return 25; // polygon mesh
        }
        return (polyline.flags & 8) ? 2 : 23; // 3D polyline : 2D polyline
    }
    case EntityType::Spline:
        return 31;
    case EntityType::Text:
        return 32;
    case EntityType::MText:
        return 21;
    case EntityType::Attrib:
        return 6; // attribute reference
    case EntityType::AttDef:
        return 5; // attribute definition
    case EntityType::Insert: {
        const auto& insert = std::get<drawing::InsertGeometry>(entity.geometry);
        const drawing::Block* block = document.FindBlock(insert.blockName);
        if (block != nullptr && block->IsXref()) {
            return entity_types::kExternalReference;
        }
        if (insert.columns > 1 || insert.rows > 1) {
            return 38; // array of block references
        }
        return entity_types::kBlockReference;
    }
    case EntityType::Dimension:
        return DimensionCode(std::get<drawing::DimensionGeometry>(entity.geometry));
    case EntityType::Hatch:
        return 17;
    case EntityType::Solid:
        return 30;
    case EntityType::Trace:
        return 34;
    case EntityType::Face3d:
        return 1;
    case EntityType::Leader:
        return 18;
    case EntityType::Viewport:
        return 35;
    case EntityType::XLine:
        return 36;
    case EntityType::Ray:
        return 27;
    case EntityType::Unknown:
        return OpaqueCode(std::string(entity.DxfName()));
    }
    return 0;
}

std::shared_ptr<CadEntity> MakeEntity(std::shared_ptr<DocumentState> state,
                                      const drawing::Entity* entity) {
    return std::make_shared<BuiltinEntity>(std::move(state), entity);
}

} // namespace kw::builtin
