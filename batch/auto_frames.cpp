#include "batch/auto_frames.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <unordered_set>

#include "batch/reading_order.h"
#include "drawing/document.h"
#include "drawing/extents.h"
#include "sheets/sheets.h"

namespace kw {
namespace {

using drawing::Entity;
using drawing::EntityType;

// Sizes match within 1.5 %: frames drawn from a template are exact, but hand-made ones lose a few
// millimetres to a thick border line drawn inside the sheet's edge (an A4 of 297 x 207). Every
// standard sheet differs from the next by far more.
constexpr double kSizeTolerance = 0.015;
// Two extents are the same, or one lies within the other, up to half a percent of the larger
// side: well under the 5 mm an inner border keeps from the sheet's edge.
constexpr double kPlaceTolerance = 0.005;

// An object of another application drawn by the graphics stored with it (not a table, which
// draws them only when its block is missing).
bool IsCustomObject(const Entity& entity) {
    const auto* opaque = std::get_if<drawing::OpaqueGeometry>(&entity.geometry);
    return opaque != nullptr && opaque->proxy != nullptr && opaque->dxfName != "ACAD_TABLE";
}

struct Rectangle {
    FrameExtent extent;
    std::string description;
    std::vector<const Entity*> parts;
};

bool Near(double a, double b, double scale) {
    return std::fabs(a - b) <= 1e-6 * std::max(1.0, scale);
}

// The extent of four corners when they form an axis-aligned rectangle of some size.
bool AsRectangle(std::vector<drawing::Vec3> corners, FrameExtent& extent) {
    if (corners.size() == 5 && Near(corners[0].x, corners[4].x, std::fabs(corners[0].x)) &&
        Near(corners[0].y, corners[4].y, std::fabs(corners[0].y))) {
        corners.pop_back();
    }
    if (corners.size() != 4) {
        return false;
    }
    extent = {corners[0].x, corners[0].y, corners[0].x, corners[0].y};
    for (const auto& c : corners) {
        extent.xMin = std::min(extent.xMin, c.x);
        extent.yMin = std::min(extent.yMin, c.y);
        extent.xMax = std::max(extent.xMax, c.x);
        extent.yMax = std::max(extent.yMax, c.y);
    }
    const double size = std::max(extent.Width(), extent.yMax - extent.yMin);
    if (size <= 0 || extent.yMax - extent.yMin <= 0) {
        return false;
    }
    // Each side runs along an axis: consecutive corners share x or y.
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& a = corners[i];
        const auto& b = corners[(i + 1) % 4];
        if (!Near(a.x, b.x, size) && !Near(a.y, b.y, size)) {
            return false;
        }
        const bool onCorner = (Near(a.x, extent.xMin, size) || Near(a.x, extent.xMax, size)) &&
                              (Near(a.y, extent.yMin, size) || Near(a.y, extent.yMax, size));
        if (!onCorner) {
            return false;
        }
    }
    return true;
}

bool PlainOcs(const Entity& entity) {
    return Near(entity.extrusion.z, 1.0, 1.0);
}

std::vector<Rectangle> Rectangles(const drawing::Document& document,
                                  const std::vector<Entity>& entities) {
    std::vector<Rectangle> found;
    struct Segment {
        double from, to, at;
        const Entity* entity;
    };
    std::vector<Segment> horizontal, vertical;
    for (const Entity& entity : entities) {
        if (entity.invisible) {
            continue;
        }
        FrameExtent extent;
        if (const auto* lw = std::get_if<drawing::LwPolylineGeometry>(&entity.geometry)) {
            std::vector<drawing::Vec3> corners;
            bool straight = true;
            for (const auto& vertex : lw->vertices) {
                corners.push_back({vertex.x, vertex.y, 0});
                straight = straight && vertex.bulge == 0.0;
            }
            const bool closed = lw->Closed() || corners.size() == 5;
            if (straight && closed && PlainOcs(entity) && AsRectangle(corners, extent)) {
                found.push_back({extent, "LWPOLYLINE on layer " + entity.layer, {&entity}});
            }
        } else if (const auto* pl = std::get_if<drawing::PolylineGeometry>(&entity.geometry)) {
            std::vector<drawing::Vec3> corners;
            // A 3D polyline counts where it lies flat (as custom objects draw their lines).
            const bool flat = std::all_of(
                pl->vertices.begin(), pl->vertices.end(), [&](const auto& vertex) {
                    return Near(vertex.location.z, pl->vertices.front().location.z, 1.0);
                });
            bool straight = (!pl->Is3d() || flat) && PlainOcs(entity);
            for (const auto& vertex : pl->vertices) {
                corners.push_back(vertex.location);
                straight = straight && vertex.bulge == 0.0;
            }
            const bool closed = pl->Closed() || corners.size() == 5;
            if (straight && closed && AsRectangle(corners, extent)) {
                found.push_back({extent, "POLYLINE on layer " + entity.layer, {&entity}});
            }
        } else if (const auto* line = std::get_if<drawing::LineGeometry>(&entity.geometry)) {
            const auto& a = line->start;
            const auto& b = line->end;
            const double length = std::hypot(b.x - a.x, b.y - a.y);
            if (length > 0 && Near(a.y, b.y, length)) {
                horizontal.push_back({std::min(a.x, b.x), std::max(a.x, b.x), a.y, &entity});
            } else if (length > 0 && Near(a.x, b.x, length)) {
                vertical.push_back({std::min(a.y, b.y), std::max(a.y, b.y), a.x, &entity});
            }
        } else if (const auto* insert = std::get_if<drawing::InsertGeometry>(&entity.geometry)) {
            const drawing::Box box = drawing::EntityExtents(document, entity);
            if (!box.IsEmpty()) {
                found.push_back({{box.min.x, box.min.y, box.max.x, box.max.y},
                                 "INSERT of block " + insert->blockName,
                                 {&entity}});
            }
        } else if (IsCustomObject(entity)) {
            // A frame an application draws as an object of its own: a sheet like a block.
            const drawing::Box box = drawing::EntityExtents(document, entity);
            if (!box.IsEmpty()) {
                found.push_back({{box.min.x, box.min.y, box.max.x, box.max.y},
                                 std::string(entity.DxfName()) + " on layer " + entity.layer,
                                 {&entity}});
            }
        }
    }
    // Four LINEs: two horizontal sides of the same span joined by two vertical ones.
    const auto key = [](double a, double b) {
        return std::make_pair(std::llround(a * 1000), std::llround(b * 1000));
    };
    std::map<std::pair<long long, long long>, std::vector<const Segment*>> bySpan;
    for (const Segment& side : horizontal) {
        bySpan[key(side.from, side.to)].push_back(&side);
    }
    std::map<std::tuple<long long, long long, long long>, const Segment*> verticalAt;
    for (const Segment& side : vertical) {
        const auto [from, to] = key(side.from, side.to);
        verticalAt.emplace(std::make_tuple(std::llround(side.at * 1000), from, to), &side);
    }
    for (const auto& [span, sides] : bySpan) {
        for (std::size_t i = 0; i < sides.size(); ++i) {
            for (std::size_t j = 0; j < sides.size(); ++j) {
                const Segment& bottom = *sides[i];
                const Segment& top = *sides[j];
                if (!(bottom.at < top.at)) {
                    continue;
                }
                const auto [from, to] = key(bottom.at, top.at);
                const auto left = verticalAt.find({span.first, from, to});
                const auto right = verticalAt.find({span.second, from, to});
                if (left == verticalAt.end() || right == verticalAt.end()) {
                    continue;
                }
                found.push_back(
                    {{bottom.from, bottom.at, bottom.to, top.at},
                     "4 LINEs on layer " + bottom.entity->layer,
                     {bottom.entity, top.entity, left->second->entity, right->second->entity}});
            }
        }
    }
    return found;
}

// The standard sheet and scale a size is closest to, empty when none is near enough. The closest
// wins: 4200 x 2970 is A3 at 1:10, not A1 at 1:5 (4205 x 2970).
std::string SheetOf(double width, double height) {
    const auto match = sheets::RecogniseSheet(width, height, std::nullopt, kSizeTolerance);
    if (!match) {
        return {};
    }
    return match->sheet.label + (width > height ? " landscape " : " portrait ") +
           sheets::ScaleText(match->scaleDenominator);
}

bool IsInsert(const Entity& entity) {
    return std::holds_alternative<drawing::InsertGeometry>(entity.geometry);
}

// Whether a block's content, or a custom object's graphics, draws more than rectangles.
bool ContentHoldsMore(const drawing::Document& document, const std::vector<Entity>& content) {
    std::unordered_set<const Entity*> border;
    for (const Rectangle& rectangle : Rectangles(document, content)) {
        for (const Entity* part : rectangle.parts) {
            if (!IsInsert(*part) && !IsCustomObject(*part)) {
                border.insert(part);
            }
        }
    }
    return std::any_of(content.begin(), content.end(),
                       [&](const Entity& e) { return !e.invisible && border.count(&e) == 0; });
}

// Whether a block reference or custom object taken for a frame draws more than the frame's
// border: attributes, or anything in its block (its graphics) but the rectangles of the border (a
// title block, the sheet's content). It is the sheet, so what it holds counts as what the frame
// holds.
bool SheetHoldsMore(const drawing::Document& document, const Entity& entity) {
    if (const auto* opaque = std::get_if<drawing::OpaqueGeometry>(&entity.geometry)) {
        return opaque->proxy && ContentHoldsMore(document, opaque->proxy->entities);
    }
    const auto& insert = std::get<drawing::InsertGeometry>(entity.geometry);
    for (const Entity& attribute : insert.attributes) {
        const auto* text = std::get_if<drawing::TextGeometry>(&attribute.geometry);
        if (!attribute.invisible && text != nullptr && !text->text.empty()) {
            return true;
        }
    }
    const drawing::Block* block = document.FindBlock(insert.blockName);
    return block != nullptr && ContentHoldsMore(document, block->entities);
}

bool Inside(const FrameExtent& inner, const FrameExtent& outer, double tolerance) {
    return inner.xMin >= outer.xMin - tolerance && inner.yMin >= outer.yMin - tolerance &&
           inner.xMax <= outer.xMax + tolerance && inner.yMax <= outer.yMax + tolerance;
}

bool Same(const FrameExtent& a, const FrameExtent& b, double tolerance) {
    return std::fabs(a.xMin - b.xMin) <= tolerance && std::fabs(a.yMin - b.yMin) <= tolerance &&
           std::fabs(a.xMax - b.xMax) <= tolerance && std::fabs(a.yMax - b.yMax) <= tolerance;
}

double Area(const FrameExtent& f) {
    return f.Width() * (f.yMax - f.yMin);
}

} // namespace

std::vector<FrameExtent> AutoFrames::FramesOf(const std::string& layout) const {
    std::vector<FrameExtent> frames;
    for (const FrameCandidate& candidate : candidates) {
        if (candidate.rejection == Rejection::None && candidate.layout == layout) {
            frames.push_back(candidate.extent);
        }
    }
    return frames;
}

std::string RejectionText(const FrameCandidate& candidate) {
    switch (candidate.rejection) {
    case Rejection::None:
        return {};
    case Rejection::NestedIn:
        return candidate.other > 0 ? "nested in frame " + std::to_string(candidate.other)
                                   : "nested in an empty frame";
    case Rejection::DuplicateOf:
        return candidate.other > 0 ? "duplicate of frame " + std::to_string(candidate.other)
                                   : "duplicate of an empty frame";
    case Rejection::NoStandardSize:
        return "no standard size";
    case Rejection::Empty:
        return "empty";
    }
    return {};
}

AutoFrames FindAutoFrames(const drawing::Document& document, const OrderChoice& order) {
    AutoFrames result;
    result.activeLayout = document.ActiveLayout().name;
    std::vector<FrameCandidate> rejected;
    int page = 0;
    // The current layout first: its frames are the ones a run plots.
    std::vector<const drawing::Layout*> layouts{&document.ActiveLayout()};
    for (const drawing::Layout& layout : document.layouts) {
        if (&layout != layouts.front()) {
            layouts.push_back(&layout);
        }
    }
    for (const drawing::Layout* current : layouts) {
        const drawing::Layout& layout = *current;
        const std::vector<Entity>& entities = document.LayoutEntities(layout);
        std::vector<Rectangle> rectangles = Rectangles(document, entities);
        if (rectangles.empty()) {
            continue;
        }
        std::vector<FrameCandidate> candidates;
        for (const Rectangle& rectangle : rectangles) {
            FrameCandidate candidate;
            candidate.extent = rectangle.extent;
            candidate.layout = layout.name;
            candidate.description = rectangle.description;
            candidate.sheet =
                SheetOf(rectangle.extent.Width(), rectangle.extent.yMax - rectangle.extent.yMin);
            candidates.push_back(candidate);
        }
        // Larger first, so that a frame is settled before what lies inside it; equal sizes in
        // drawing order, so that the first of two duplicates is the frame.
        std::vector<std::size_t> bySize(candidates.size());
        for (std::size_t i = 0; i < bySize.size(); ++i) {
            bySize[i] = i;
        }
        std::stable_sort(bySize.begin(), bySize.end(), [&](std::size_t a, std::size_t b) {
            return Area(candidates[a].extent) > Area(candidates[b].extent) * (1 + 1e-9);
        });
        std::vector<std::size_t> frames;
        for (const std::size_t i : bySize) {
            FrameCandidate& candidate = candidates[i];
            const double tolerance =
                kPlaceTolerance *
                std::max(candidate.extent.Width(), candidate.extent.yMax - candidate.extent.yMin);
            for (const std::size_t f : frames) {
                if (Same(candidate.extent, candidates[f].extent, tolerance)) {
                    candidate.rejection = Rejection::DuplicateOf;
                } else if (Inside(candidate.extent, candidates[f].extent, tolerance)) {
                    candidate.rejection = Rejection::NestedIn;
                } else {
                    continue;
                }
                candidate.other = static_cast<int>(f); // a page once frames are numbered
                break;
            }
            if (candidate.rejection == Rejection::None) {
                if (candidate.sheet.empty()) {
                    candidate.rejection = Rejection::NoStandardSize;
                } else {
                    frames.push_back(i);
                }
            }
        }
        // A frame with nothing inside but its own lines and what is rejected within it.
        std::unordered_set<const Entity*> own;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (candidates[i].rejection != Rejection::NoStandardSize) {
                own.insert(rectangles[i].parts.begin(), rectangles[i].parts.end());
            }
        }
        std::vector<drawing::Box> boxes;
        for (const Entity& entity : entities) {
            if (own.count(&entity) != 0 || entity.invisible) {
                boxes.emplace_back();
                continue;
            }
            boxes.push_back(drawing::EntityExtents(document, entity));
        }
        for (const std::size_t f : frames) {
            const FrameExtent& extent = candidates[f].extent;
            const Entity& drawn = *rectangles[f].parts.front();
            const bool holdsSomething =
                ((IsInsert(drawn) || IsCustomObject(drawn)) && SheetHoldsMore(document, drawn)) ||
                std::any_of(boxes.begin(), boxes.end(), [&](const auto& box) {
                    return !box.IsEmpty() && box.max.x > extent.xMin && box.min.x < extent.xMax &&
                           box.max.y > extent.yMin && box.min.y < extent.yMax;
                });
            if (!holdsSomething) {
                candidates[f].rejection = Rejection::Empty;
            }
        }
        // Pages: the frames in reading order.
        std::vector<FrameExtent> extents;
        for (const std::size_t f : frames) {
            if (candidates[f].rejection == Rejection::None) {
                extents.push_back(candidates[f].extent);
            }
        }
        std::map<std::size_t, int> pageOf;
        if (!extents.empty()) {
            for (const FrameExtent& ordered : OrderFramesBy(extents, order)) {
                for (const std::size_t f : frames) {
                    if (candidates[f].rejection == Rejection::None &&
                        candidates[f].extent == ordered && pageOf.count(f) == 0) {
                        pageOf[f] = ++page;
                        candidates[f].page = page;
                        result.candidates.push_back(candidates[f]);
                        break;
                    }
                }
            }
        }
        for (FrameCandidate& candidate : candidates) {
            if (candidate.rejection == Rejection::None) {
                continue;
            }
            if (candidate.rejection == Rejection::NestedIn ||
                candidate.rejection == Rejection::DuplicateOf) {
                const std::size_t f = static_cast<std::size_t>(candidate.other);
                // Inside an empty frame: said of the frame itself.
                candidate.other = pageOf.count(f) != 0 ? pageOf[f] : 0;
            }
            rejected.push_back(candidate);
        }
    }
    result.candidates.insert(result.candidates.end(), rejected.begin(), rejected.end());
    return result;
}

} // namespace kw
