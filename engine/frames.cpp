#include "engine/frames.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string_view>
#include <utility>

#include "base/characters.h"
#include "base/error.h"

namespace kw {
namespace {

// Entities kept while a selection set is enumerated; the extents are built afterwards.
struct KeptFrame {
    std::shared_ptr<CadEntity> polyline; // set for polyline frames
    FrameExtent box;                     // bounding box of a block or external reference
};

KeptFrame KeepFrame(const std::shared_ptr<CadEntity>& entity, FrameKind kind) {
    KeptFrame kept;
    if (kind == FrameKind::PolylineLayer) {
        kept.polyline = entity;
    } else {
        Point minPoint, maxPoint;
        entity->GetBoundingBox(minPoint, maxPoint);
        kept.box = {minPoint.x, minPoint.y, maxPoint.x, maxPoint.y};
    }
    return kept;
}

std::vector<FrameExtent> BuildExtents(const std::vector<KeptFrame>& kept) {
    std::vector<FrameExtent> frames;
    frames.reserve(kept.size());
    for (const auto& frame : kept)
        frames.push_back(frame.polyline ? PolylineExtent(frame.polyline->Coordinates())
                                        : frame.box);
    return frames;
}

// The host holds only so many selection sets per session; a set left behind by every run
// would make repeated runs on an open drawing fail, so the set is deleted however discovery
// ends: found, failed pick, failing entity. Removing it is housekeeping: a failure here must
// not cost the user the frames already found, nor replace the failure being reported.
class SelectionSetGuard {
public:
    explicit SelectionSetGuard(std::shared_ptr<CadSelectionSet> set) : m_set(std::move(set)) {}
    ~SelectionSetGuard() {
        try {
            m_set->Delete();
        } catch (const std::exception&) {
        }
    }
    SelectionSetGuard(const SelectionSetGuard&) = delete;
    SelectionSetGuard& operator=(const SelectionSetGuard&) = delete;

    CadSelectionSet* operator->() const { return m_set.get(); }

private:
    std::shared_ptr<CadSelectionSet> m_set;
};

std::vector<FrameExtent> SelectFrames(CadDocument& document, FrameKind kind,
                                      const std::vector<FilterEntry>& filter) {
    const SelectionSetGuard set(document.SelectionSets()->Add(NewSelectionSetName()));
    set->Select(5, filter);
    std::vector<KeptFrame> kept;
    const std::int32_t count = set->Count();
    for (std::int32_t i = 0; i < count; ++i)
        kept.push_back(KeepFrame(set->Item(i), kind));
    return BuildExtents(kept);
}

} // namespace

std::vector<FilterEntry> FrameFilter(const PlotSettings& settings) {
    switch (settings.frameKind) {
    case FrameKind::PolylineLayer:
        return {{0, "LWPOLYLINE"}, {8, settings.frameLayer}};
    case FrameKind::BlockReference:
        return {{100, "AcDbBlockReference"}, {2, settings.blockName}};
    case FrameKind::ExternalReference:
        break;
    }
    // The host matches subclass markers without regard to case; this one has always been sent so.
    return {{100, "AcdbExternalReference"}, {2, settings.xrefName}};
}

bool IsPickedFrame(CadEntity& entity, const PlotSettings& settings) {
    const std::int32_t type = entity.EntityType();
    switch (settings.frameKind) {
    case FrameKind::PolylineLayer:
        return type == entity_types::kLightweightPolyline && entity.Layer() == settings.frameLayer;
    case FrameKind::BlockReference:
        return type == entity_types::kBlockReference &&
               UpperCase(entity.Name()) == UpperCase(settings.blockName);
    case FrameKind::ExternalReference:
        break;
    }
    return type == entity_types::kExternalReference &&
           UpperCase(entity.Name()) == UpperCase(settings.xrefName);
}

std::string LiteralPattern(const std::string& text) {
    std::string pattern;
    for (const char c : text) {
        if (std::string_view("#@.*?~[]-,`").find(c) != std::string_view::npos) {
            pattern += '`';
        }
        pattern += c;
    }
    return pattern;
}

std::vector<FrameExtent> FindFramesIn(CadDocument& document, const PlotSettings& settings,
                                      const std::string& layout) {
    std::vector<FilterEntry> filter = FrameFilter(settings);
    filter.push_back({410, LiteralPattern(layout)});
    return SelectFrames(document, settings.frameKind, filter);
}

std::vector<FrameExtent> FindFrames(CadDocument& document, const PlotSettings& settings) {
    return SelectFrames(document, settings.frameKind, FrameFilter(settings));
}

std::vector<FrameExtent> PickFrames(CadDocument& document, CadUtility& utility,
                                    const PlotSettings& settings) {
    const SelectionSetGuard set(document.SelectionSets()->Add(NewSelectionSetName()));
    utility.Prompt(kPickPrompt);
    set->SelectOnScreen();
    std::vector<KeptFrame> kept;
    const std::int32_t count = set->Count();
    for (std::int32_t i = 0; i < count; ++i) {
        auto entity = set->Item(i);
        if (IsPickedFrame(*entity, settings))
            kept.push_back(KeepFrame(entity, settings.frameKind));
    }
    return BuildExtents(kept);
}

FrameExtent PolylineExtent(const std::vector<double>& coordinates) {
    FrameExtent extent{1.0e20, 1.0e20, -1.0e20, -1.0e20};
    for (std::size_t j = 0; j < coordinates.size(); j += 2) {
        if (j + 1 >= coordinates.size())
            throw Error(errors::kSubscriptOutOfRange, "Subscript out of range");
        const double x = coordinates[j];
        const double y = coordinates[j + 1];
        if (x > extent.xMax)
            extent.xMax = x;
        if (x < extent.xMin)
            extent.xMin = x;
        if (y > extent.yMax)
            extent.yMax = y;
        if (y < extent.yMin)
            extent.yMin = y;
    }
    return extent;
}

std::string NewSelectionSetName() {
    // Reseeded from the clock for every name, with a counter so that two names asked for within
    // one clock tick still differ.
    static std::atomic<unsigned> counter{0};
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::seed_seq seed{static_cast<unsigned>(ticks), static_cast<unsigned>(ticks >> 32),
                       counter.fetch_add(1)};
    std::mt19937 generator(seed);
    float value = std::generate_canonical<float, 24>(generator);
    if (value >= 1.0f)
        value = 0.0f;
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
    return text;
}

std::vector<FrameExtent> OrderFrames(std::vector<FrameExtent> frames, bool rowsBottomUp) {
    const std::size_t n = frames.size();
    if (n > 32767)
        throw Error(errors::kOverflow, "Overflow");
    if (n == 0)
        return frames;

    // Selection sort by yMin: equal keys end up where this procedure leaves them.
    for (std::size_t i = 0; i + 1 < n; ++i) {
        std::size_t k = i;
        for (std::size_t j = i + 1; j < n; ++j)
            if (frames[j].yMin < frames[k].yMin)
                k = j;
        if (k != i)
            std::swap(frames[i], frames[k]);
    }

    struct FrameRow {
        std::size_t first;
        std::size_t last;
    };
    std::vector<FrameRow> rows{{0, 0}};
    for (std::size_t i = 1; i < n; ++i) {
        if (frames[i].yMin > frames[i - 1].yMax) {
            rows.back().last = i - 1;
            rows.push_back({i, i});
        }
    }
    rows.back().last = n - 1;

    for (const auto& row : rows) {
        for (std::size_t i = row.first; i < row.last; ++i) {
            std::size_t k = i;
            for (std::size_t j = i + 1; j <= row.last; ++j)
                if (frames[j].xMin < frames[k].xMin)
                    k = j;
            if (k != i)
                std::swap(frames[i], frames[k]);
        }
    }

    std::vector<FrameExtent> ordered;
    ordered.reserve(n);
    auto appendRow = [&](const FrameRow& row) {
        for (std::size_t i = row.first; i <= row.last; ++i)
            ordered.push_back(frames[i]);
    };
    if (rowsBottomUp)
        for (auto row = rows.begin(); row != rows.end(); ++row)
            appendRow(*row);
    else
        for (auto row = rows.rbegin(); row != rows.rend(); ++row)
            appendRow(*row);
    return ordered;
}

} // namespace kw
