// DXF reading: sections, tables, blocks and layouts out of the tag stream (entities are built in
// dxf_entities.cpp).

#include "base/error.h"
#include "drawing/detail/codepage.h"
#include "drawing/detail/dxf_loader.h"
#include "drawing/detail/group_table.h"
#include "drawing/detail/memory.h"
#include "drawing/detail/paths.h"
#include "drawing/detail/plot_fields.h"
#include "drawing/detail/source_data.h"
#include "drawing/detail/tag_reader.h"
#include "drawing/dxf_io.h"
#include "drawing/text.h"
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <unordered_map>

namespace kw::drawing {
namespace detail {

// ------------------------------------------------------------------------------------------------

void Loader::ReadHeader() {
    RawTag tag;
    HeaderVariable* current = nullptr;
    while (tags.Next(tag)) {
        if (tag.code == 0) {
            if (SectionEnds(tag))
                return;
            Warn(tag, "unexpected " + std::string(Trim(tag.value)) + " in HEADER");
            continue;
        }
        if (tag.code == 9) {
            doc.header.push_back({std::string(Trim(Text(tag))), {}});
            current = &doc.header.back();
            continue;
        }
        if (current)
            current->values.push_back({static_cast<std::int16_t>(tag.code), ValueText(tag)});
    }
}

void Loader::SkipSection() {
    RawTag tag;
    while (tags.Next(tag))
        if (tag.code == 0 && SectionEnds(tag))
            return;
}

namespace {

using LayerGroups = Groups<Layer>;
constexpr GroupTable<Layer> kLayerGroups{
    LayerGroups::Name<&Layer::name>(2),
    LayerGroups::Handle<&Layer::handle>(5),
    // A negative colour is a layer that is off.
    LayerGroups::Call<[](Loader& loader, const RawTag& t, Layer& layer) {
        const std::int16_t color = loader.Short(t);
        layer.on = color >= 0;
        layer.color = static_cast<std::int16_t>(color < 0 ? -color : color);
    }>(62),
    LayerGroups::Int32<&Layer::trueColor>(420),
    LayerGroups::Name<&Layer::linetype>(6),
    LayerGroups::Short<&Layer::flags>(70),
    LayerGroups::Short<&Layer::lineweight>(370),
    LayerGroups::Flag<&Layer::plot>(290),
    LayerGroups::Handle<&Layer::plotStyle>(390),
};

// The shape or text of a linetype's dash: 74 opens it after its dash (49), the codes up to the
// next 49 fill it.
using ShapeGroups = Groups<LinetypeShape>;
constexpr GroupTable<LinetypeShape> kLinetypeShapeGroups{
    ShapeGroups::Short<&LinetypeShape::shapeNumber>(75),
    ShapeGroups::Handle<&LinetypeShape::style>(340),
    ShapeGroups::Real<&LinetypeShape::scale>(46),
    ShapeGroups::Real<&LinetypeShape::rotationDeg>(50),
    ShapeGroups::Real<&LinetypeShape::offsetX>(44),
    ShapeGroups::Real<&LinetypeShape::offsetY>(45),
    ShapeGroups::Text<&LinetypeShape::text>(9),
};

struct LinetypeReading : Linetype {
    LinetypeShape* shape = nullptr; // of the dash just read
};

void ReadShapeField(Loader& loader, const RawTag& t, LinetypeReading& r) {
    if (r.shape)
        kLinetypeShapeGroups.Read(loader, &t, &t + 1, *r.shape);
}

using LinetypeGroups = Groups<LinetypeReading>;
constexpr GroupTable<LinetypeReading> kLinetypeGroups{
    LinetypeGroups::Name<&Linetype::name>(2),
    LinetypeGroups::Handle<&Linetype::handle>(5),
    LinetypeGroups::Text<&Linetype::description>(3),
    LinetypeGroups::Real<&Linetype::patternLength>(40),
    LinetypeGroups::Call<[](Loader& loader, const RawTag& t, LinetypeReading& r) {
        r.dashes.push_back(loader.Real(t));
        r.shape = nullptr;
    }>(49),
    LinetypeGroups::Call<[](Loader& loader, const RawTag& t, LinetypeReading& r) {
        const std::int16_t flags = loader.Short(t);
        r.shape = nullptr;
        if ((flags & 6) != 0 && !r.dashes.empty() &&
            (r.shapes.empty() || r.shapes.back().dash + 1 < r.dashes.size())) {
            r.shape = &r.shapes.emplace_back();
            r.shape->dash = r.dashes.size() - 1;
            r.shape->flags = flags;
        }
    }>(74),
    LinetypeGroups::Call<ReadShapeField>(75),
    LinetypeGroups::Call<ReadShapeField>(340),
    LinetypeGroups::Call<ReadShapeField>(46),
    LinetypeGroups::Call<ReadShapeField>(50),
    LinetypeGroups::Call<ReadShapeField>(44),
    LinetypeGroups::Call<ReadShapeField>(45),
    LinetypeGroups::Call<ReadShapeField>(9),
};

using StyleGroups = Groups<TextStyle>;
constexpr GroupTable<TextStyle> kStyleGroups{
    StyleGroups::Name<&TextStyle::name>(2),         StyleGroups::Handle<&TextStyle::handle>(5),
    StyleGroups::Short<&TextStyle::flags>(70),      StyleGroups::Real<&TextStyle::fixedHeight>(40),
    StyleGroups::Real<&TextStyle::widthFactor>(41), StyleGroups::Real<&TextStyle::obliqueDeg>(50),
    StyleGroups::Short<&TextStyle::generation>(71), StyleGroups::Text<&TextStyle::fontFile>(3),
    StyleGroups::Text<&TextStyle::bigFontFile>(4),
};

using BlockRecordGroups = Groups<BlockRecord>;
constexpr GroupTable<BlockRecord> kBlockRecordGroups{
    BlockRecordGroups::Name<&BlockRecord::name>(2),
    BlockRecordGroups::Handle<&BlockRecord::handle>(5),
    BlockRecordGroups::Handle<&BlockRecord::layoutHandle>(340),
    BlockRecordGroups::Short<&BlockRecord::insertUnits>(70),
};

struct BlockReading : Block {
    std::string altName; // 3, the name where 2 is empty
    bool ownerSeen = false;
};

using BlockGroups = Groups<BlockReading>;
constexpr GroupTable<BlockReading> kBlockGroups{
    BlockGroups::Name<&Block::name>(2),
    BlockGroups::Name<&BlockReading::altName>(3),
    BlockGroups::Handle<&Block::handle>(5),
    // The owner, its BLOCK_RECORD, comes first.
    BlockGroups::Call<[](Loader& loader, const RawTag& t, BlockReading& r) {
        if (!r.ownerSeen)
            r.recordHandle = loader.tags.Handle(t);
        r.ownerSeen = true;
    }>(330),
    BlockGroups::Name<&Block::layer>(8),
    BlockGroups::Short<&Block::flags>(70),
    BlockGroups::Point<&Block::basePoint>(10),
    BlockGroups::Text<&Block::xrefPath>(1),
    BlockGroups::Text<&Block::description>(4),
};

// A VERTEX of a POLYLINE.
using VertexGroups = Groups<Polyline3dVertex>;
constexpr GroupTable<Polyline3dVertex> kVertexGroups{
    VertexGroups::Point<&Polyline3dVertex::location>(10),
    VertexGroups::Real<&Polyline3dVertex::startWidth>(40),
    VertexGroups::Real<&Polyline3dVertex::endWidth>(41),
    VertexGroups::Real<&Polyline3dVertex::bulge>(42),
    VertexGroups::Short<&Polyline3dVertex::flags>(70),
};

// AcDbLayout: the layout's own data (its plot settings are read by kPlotFields).
using LayoutGroups = Groups<Layout>;
constexpr GroupTable<Layout> kLayoutGroups{
    LayoutGroups::Text<&Layout::name>(1),
    LayoutGroups::Short<&Layout::tabOrder>(71),
    LayoutGroups::Real<&Layout::limitsMin, &Vec3::x>(10),
    LayoutGroups::Real<&Layout::limitsMin, &Vec3::y>(20),
    LayoutGroups::Real<&Layout::limitsMax, &Vec3::x>(11),
    LayoutGroups::Real<&Layout::limitsMax, &Vec3::y>(21),
    LayoutGroups::Point<&Layout::insertionBase>(12),
    LayoutGroups::Point<&Layout::extentsMin>(14),
    LayoutGroups::Point<&Layout::extentsMax>(15),
    LayoutGroups::Handle<&Layout::blockRecordHandle>(330),
};

// Calls read(tag) for each tag of one application's extended data (1001 app … up to the next
// application).
template <typename Read>
void ForEachXdata(const std::vector<RawTag>& rec, std::string_view app, Read&& read) {
    bool inApp = false;
    for (const RawTag& t : rec) {
        if (t.code == 1001)
            inApp = Trim(t.value) == app;
        else if (inApp)
            read(t);
    }
}

} // namespace

void Loader::ParseLayer(const std::vector<RawTag>& rec) {
    Layer layer;
    ReadGroups(*this, rec, kLayerGroups, layer);
    ForEachXdata(rec, "AcCmTransparency", [&](const RawTag& t) {
        if (t.code == 1071)
            layer.transparency = static_cast<std::int32_t>(Integer(t));
    });
    doc.layers.push_back(std::move(layer));
}

void Loader::ParseLinetype(const std::vector<RawTag>& rec) {
    LinetypeReading linetype;
    ReadGroups(*this, rec, kLinetypeGroups, linetype);
    doc.linetypes.push_back(static_cast<Linetype&&>(linetype));
}

void Loader::ParseStyle(const std::vector<RawTag>& rec) {
    TextStyle style;
    ReadGroups(*this, rec, kStyleGroups, style);
    // The TrueType family of the style, where the writer gives it.
    ForEachXdata(rec, "ACAD", [&](const RawTag& t) {
        if (t.code == 1000 && style.fontFamily.empty())
            style.fontFamily = Text(t);
    });
    doc.textStyles.push_back(std::move(style));
}

void Loader::ParseBlockRecord(const std::vector<RawTag>& rec) {
    BlockRecord record;
    ReadGroups(*this, rec, kBlockRecordGroups, record);
    doc.blockRecords.push_back(std::move(record));
}

void Loader::ReadTables(bool orphan) {
    RawTag head;
    while (tags.Next(head)) {
        if (head.code != 0) {
            Warn(head,
                 "group code " + std::to_string(head.code) + " where a table entry should start");
            continue;
        }
        const std::string_view type = Trim(head.value);
        const bool sectionEnds = type == "SECTION" || type == "EOF" || type == "ENDSEC";
        if (tableOpen && (sectionEnds || type == "TABLE")) {
            Damaged(head, "the " + openTable + " table is not closed: ENDTAB expected, found " +
                              std::string(type));
            tableOpen = false;
        }
        if (orphan && sectionEnds) {
            tags.PushBack(head);
            return;
        }
        if (SectionEnds(head))
            return;
        ReadRecord(record);
        if (type == "TABLE") {
            tableOpen = true;
            openTable = "unnamed";
            for (const RawTag& t : record)
                if (t.code == 2) {
                    openTable = std::string(Trim(Text(t)));
                    break;
                }
        } else if (type == "ENDTAB") {
            tableOpen = false;
        }
        if (type == "LAYER")
            ParseLayer(record);
        else if (type == "LTYPE")
            ParseLinetype(record);
        else if (type == "STYLE")
            ParseStyle(record);
        else if (type == "BLOCK_RECORD")
            ParseBlockRecord(record);
    }
}

void Loader::ReadBlocks() {
    RawTag head;
    while (tags.Next(head)) {
        if (head.code != 0) {
            Warn(head, "group code " + std::to_string(head.code) + " where a block should start");
            continue;
        }
        if (SectionEnds(head))
            return;
        const std::string_view type = Trim(head.value);
        ReadRecord(record);
        if (type == "ENDBLK") {
            blockOpen = false;
            continue;
        }
        if (type != "BLOCK") {
            Warn(head, std::string(type) + " outside a block definition skipped");
            continue;
        }
        BlockReading block;
        ReadGroups(*this, record, kBlockGroups, block);
        if (block.name.empty())
            block.name = block.altName;
        if (block.name.empty())
            Warn(head, "block without a name; its entities are kept but cannot be referenced");
        doc.blocks.push_back(static_cast<Block&&>(block));
        blockOpen = true;
        openBlock = doc.blocks.back().name;
        std::vector<Entity>& entities = doc.blocks.back().entities;
        entities.reserve(CountRecords(true));
        detail::AdviseHugePages(entities.data(), entities.capacity() * sizeof(Entity));
        ReadEntityList([&]() -> Entity& { return entities.emplace_back(); }, [](Entity&) {}, true);
    }
}

void Loader::ReadEntities() {
    modelEntities.reserve(CountRecords(false));
    detail::AdviseHugePages(modelEntities.data(), modelEntities.capacity() * sizeof(Entity));
    // Entities are built in place in the model vector; the few of paper space move over.
    ReadEntityList([&]() -> Entity& { return modelEntities.emplace_back(); },
                   [&](Entity& e) {
                       if (e.paperSpace) {
                           paperEntities.push_back(std::move(e));
                           modelEntities.pop_back();
                       }
                   },
                   false);
    RawTag tag;
    if (tags.Next(tag) && !SectionEnds(tag))
        tags.PushBack(tag);
}

template <typename Slot, typename Done>
void Loader::ReadEntityList(Slot&& slot, Done&& done, bool inBlock) {
    RawTag head;
    while (tags.Next(head)) {
        if (head.code != 0) {
            Warn(head, "group code " + std::to_string(head.code) + " where an entity should start");
            continue;
        }
        const std::string_view type = Trim(head.value);
        if (type == "ENDSEC" || type == "SECTION" || type == "EOF" ||
            (inBlock && (type == "ENDBLK" || type == "BLOCK"))) {
            if (inBlock && type != "ENDBLK") {
                Warn(head, "ENDBLK missing before " + std::string(type));
                Damaged(head, "the block \"" + openBlock +
                                  "\" is not closed: ENDBLK expected, found " + std::string(type));
                blockOpen = false;
            }
            tags.PushBack(head);
            return;
        }
        src.ReleaseBefore(head.offset);
        ReadRecord(record);
        if (type == "SEQEND" || type == "VERTEX" || type == "ATTRIB" || type == "ENDBLK" ||
            type == "BLOCK") {
            Warn(head, std::string(type) + " without its owner skipped");
            continue;
        }
        Entity& e = slot();
        BuildEntity(head, record, e);
        e.source.size = static_cast<std::uint32_t>(RecordEnd(head, record) - head.offset);
        if (e.type == EntityType::Unknown)
            src.KeepSpan(head.offset, e.source.size);
        if (e.type == EntityType::Polyline) {
            auto& polyline = std::get<PolylineGeometry>(e.geometry);
            RawTag next;
            while (tags.Next(next)) {
                const std::string_view nextType = next.code == 0 ? Trim(next.value) : "";
                if (nextType == "VERTEX") {
                    ReadRecord(vertexRecord);
                    Polyline3dVertex vertex;
                    ReadGroups(*this, vertexRecord, kVertexGroups, vertex);
                    polyline.vertices.push_back(vertex);
                    continue;
                }
                if (nextType == "SEQEND")
                    ReadRecord(vertexRecord);
                else
                    tags.PushBack(next);
                break;
            }
        } else if (e.type == EntityType::Insert) {
            auto& insert = std::get<InsertGeometry>(e.geometry);
            RawTag next;
            bool any = false;
            while (tags.Next(next)) {
                const std::string_view nextType = next.code == 0 ? Trim(next.value) : "";
                if (nextType == "ATTRIB") {
                    ReadRecord(vertexRecord);
                    Entity attribute;
                    BuildEntity(next, vertexRecord, attribute);
                    attribute.source.size =
                        static_cast<std::uint32_t>(RecordEnd(next, vertexRecord) - next.offset);
                    insert.attributes.push_back(std::move(attribute));
                    any = true;
                    continue;
                }
                if (nextType == "SEQEND" && any)
                    ReadRecord(vertexRecord);
                else
                    tags.PushBack(next);
                break;
            }
        }
        done(e);
    }
}

// ------------------------------------------------------------------------------------------------

void Loader::ParseLayout(const RawTag& head, const std::vector<RawTag>& rec, bool isLayout) {
    PendingLayout pending;
    pending.plot = std::make_unique<detail::PlotSettingsSource>();
    Layout& layout = pending.layout;
    LayoutPlotSettings& plot = layout.plotSettings;
    std::string_view subclass;
    AppGroups groups;
    bool plotRegion = false;
    bool sawPlotRegion = false;
    for (const RawTag& t : rec) {
        const int c = t.code;
        if (groups.Skip(t))
            continue;
        if (c == 1001)
            break;
        if (c == 100) {
            if (plotRegion)
                pending.plot->insertOffset = t.offset;
            subclass = Trim(t.value);
            plotRegion = subclass == "AcDbPlotSettings";
            sawPlotRegion = sawPlotRegion || plotRegion;
            if (plotRegion)
                pending.plot->insertOffset = t.end;
            continue;
        }
        if (c == 5) {
            layout.handle = tags.Handle(t);
            continue;
        }
        if (plotRegion) {
            pending.plot->insertOffset = t.end;
            const detail::PlotField* field = detail::FindPlotField(c);
            if (!field)
                continue;
            pending.plot->sites.push_back({c, t.offset, t.valueOffset, t.value.size()});
            if (field->text)
                plot.*field->text = Text(t);
            else if (field->real)
                plot.*field->real = tags.Double(t);
            else
                plot.*field->integer = Short(t);
            tags.ClearBadNumber();
        } else if (subclass == "AcDbLayout") {
            kLayoutGroups.Read(*this, &t, &t + 1, layout);
        }
    }
    if (!sawPlotRegion) {
        Warn(head, "LAYOUT/PLOTSETTINGS object without AcDbPlotSettings data");
        pending.plot.reset();
    } else {
        pending.plot->original = plot;
    }
    if (!isLayout) {
        doc.pageSetups.push_back({layout.handle, plot});
        return;
    }
    pending.order = pendingLayouts.size();
    pendingLayouts.push_back(std::move(pending));
}

void Loader::ParseImageDefinition(const std::vector<RawTag>& rec) {
    std::uint64_t handle = 0;
    std::string file;
    for (const RawTag& t : rec) {
        if (t.code == 5 && handle == 0)
            handle = tags.Handle(t);
        else if (t.code == 1 && file.empty())
            file = Text(t);
    }
    if (handle != 0 && !file.empty())
        doc.imageFiles.emplace(handle, std::move(file));
}

void Loader::ParseDictionary(const std::vector<RawTag>& rec) {
    std::string name;
    for (const RawTag& t : rec) {
        if (t.code == 3)
            name = Text(t);
        else if ((t.code == 350 || t.code == 360) && !name.empty()) {
            dictionaryEntries.emplace_back(tags.Handle(t), std::move(name));
            name.clear();
        }
    }
}

void Loader::ReadObjects() {
    RawTag head;
    while (tags.Next(head)) {
        if (head.code != 0)
            continue;
        if (SectionEnds(head))
            break;
        const std::string_view type = Trim(head.value);
        ReadRecord(record);
        if (type == "LAYOUT")
            ParseLayout(head, record, true);
        else if (type == "PLOTSETTINGS")
            ParseLayout(head, record, false);
        else if (type == "IMAGEDEF")
            ParseImageDefinition(record);
        else if (type == "MLINESTYLE")
            ParseMLineStyle(record);
        else if (type == "TABLESTYLE")
            ParseTableStyle(record);
        else if (type == "DICTIONARY" || type == "ACDBDICTIONARYWDFLT")
            ParseDictionary(record);
        else if (type == "ACDBPLACEHOLDER")
            for (const RawTag& t : record)
                if (t.code == 5) {
                    placeholders.insert(tags.Handle(t));
                    break;
                }
    }
    // The names of the plot style name dictionary stand for placeholders; whatever else a
    // dictionary names is not a plot style.
    for (auto& [handle, name] : dictionaryEntries)
        if (placeholders.count(handle) != 0)
            doc.plotStyleNames.emplace(handle, std::move(name));
    dictionaryEntries.clear();
}

// The style's own groups (after AcDbTableStyle), then a text style, height, alignment and colour
// for each kind of cell from each 7 on: data, title, header.
void Loader::ParseTableStyle(const std::vector<RawTag>& rec) {
    TableStyle style;
    std::uint64_t handle = 0;
    bool own = false;
    int kinds = 0;   // the cell kinds begun
    int flags280 = 0; // the first 280 is the version, the second says whether the title shows
    TableStyle::Cells* cells = nullptr;
    for (const RawTag& t : rec) {
        if (t.code == 5 && handle == 0)
            handle = tags.Handle(t);
        if (t.code == 100) {
            own = Trim(t.value) == "AcDbTableStyle";
            continue;
        }
        if (!own)
            continue;
        if (t.code == 7) {
            cells = kinds == 0 ? &style.data : kinds == 1 ? &style.title
                    : kinds == 2 ? &style.header : nullptr;
            ++kinds;
            if (cells)
                cells->textStyle = Name(t);
            continue;
        }
        if (cells) {
            if (t.code == 140) {
                const double height = Real(t);
                if (height > 0)
                    cells->height = height;
            } else if (t.code == 170) {
                const std::int16_t alignment = Short(t);
                if (alignment >= 1 && alignment <= 9)
                    cells->alignment = alignment;
            } else if (t.code == 62) {
                cells->color = std::clamp<std::int16_t>(Short(t), 0, 256);
            }
            continue;
        }
        if (kinds > 0)
            continue;
        switch (t.code) {
        case 70:
            style.flowsUp = Short(t) == 1;
            break;
        case 40:
            style.horizontalMargin = std::max(0.0, Real(t));
            break;
        case 41:
            style.verticalMargin = std::max(0.0, Real(t));
            break;
        case 280:
            if (++flags280 == 2)
                style.titleSuppressed = Short(t) != 0;
            break;
        case 281:
            style.headerSuppressed = Short(t) != 0;
            break;
        default:
            break;
        }
    }
    if (handle != 0)
        tableStyles[handle] = std::move(style);
}

void Loader::PlaceTables() {
    // A block that draws: an empty one (as some writers leave) is no table's drawing.
    std::set<std::string> blockNames;
    for (const Block& block : doc.blocks)
        if (!block.entities.empty())
            blockNames.insert(FoldCase(block.name));
    const TableStyle standard;
    for (Block& block : doc.blocks)
        for (Entity& e : block.entities) {
            auto* g = std::get_if<OpaqueGeometry>(&e.geometry);
            if (!g || g->dxfName != "ACAD_TABLE")
                continue;
            if (!g->blockName.empty() && blockNames.count(FoldCase(g->blockName)) != 0) {
                g->proxy.reset();
                continue;
            }
            if (g->proxy || !g->table)
                continue;
            const auto style = tableStyles.find(g->table->styleHandle);
            g->proxy = LayOutTable(*g->table, style == tableStyles.end() ? standard : style->second,
                                   g->insertion);
        }
}

// ------------------------------------------------------------------------------------------------

void Loader::Finish() {
    // Where the layouts' entities live.
    auto findBlock = [&](std::string_view name) -> std::size_t {
        const std::string folded = FoldCase(name);
        for (std::size_t i = 0; i < doc.blocks.size(); ++i)
            if (FoldCase(doc.blocks[i].name) == folded)
                return i;
        return Layout::kNoBlock;
    };
    std::size_t model = findBlock("*Model_Space");
    if (model == Layout::kNoBlock)
        model = findBlock("$MODEL_SPACE");
    if (model == Layout::kNoBlock) {
        Block block;
        block.name = "*Model_Space";
        doc.blocks.push_back(std::move(block));
        model = doc.blocks.size() - 1;
    }
    std::size_t paper = findBlock("*Paper_Space");
    if (paper == Layout::kNoBlock)
        paper = findBlock("$PAPER_SPACE");
    if (paper == Layout::kNoBlock && !paperEntities.empty()) {
        Block block;
        block.name = "*Paper_Space";
        doc.blocks.push_back(std::move(block));
        paper = doc.blocks.size() - 1;
    }
    MoveInto(doc.blocks[model].entities, modelEntities);
    if (paper != Layout::kNoBlock)
        MoveInto(doc.blocks[paper].entities, paperEntities);
    modelEntities = {};
    paperEntities = {};
    for (Block& block : doc.blocks)
        JoinMTextColumns(block.entities);
    PlaceTables();

    // Layouts: Model first, then the paper-space layouts in tab order.
    std::unordered_map<std::uint64_t, std::size_t> blockByRecord;
    for (std::size_t i = 0; i < doc.blocks.size(); ++i)
        if (doc.blocks[i].recordHandle != 0)
            blockByRecord.emplace(doc.blocks[i].recordHandle, i);
    for (const BlockRecord& record : doc.blockRecords)
        if (record.handle != 0 && !blockByRecord.count(record.handle)) {
            const std::size_t index = findBlock(record.name);
            if (index != Layout::kNoBlock)
                blockByRecord.emplace(record.handle, index);
        }
    std::vector<PendingLayout> layouts;
    std::vector<bool> blockUsed(doc.blocks.size(), false);
    PendingLayout* modelLayout = nullptr;
    for (PendingLayout& pending : pendingLayouts) {
        Layout& layout = pending.layout;
        std::size_t index = Layout::kNoBlock;
        if (layout.blockRecordHandle != 0) {
            const auto it = blockByRecord.find(layout.blockRecordHandle);
            if (it != blockByRecord.end())
                index = it->second;
        }
        if (index == Layout::kNoBlock && layout.handle != 0)
            for (const BlockRecord& record : doc.blockRecords)
                if (record.layoutHandle == layout.handle) {
                    index = findBlock(record.name);
                    break;
                }
        const bool isModel =
            index == model || (index == Layout::kNoBlock && FoldCase(layout.name) == "model");
        if (isModel) {
            if (modelLayout) {
                doc.warnings.Add("a second model-space LAYOUT \"" + layout.name + "\" ignored");
                continue;
            }
            index = model;
        }
        if (index == Layout::kNoBlock)
            doc.warnings.Add("layout \"" + layout.name +
                             "\" refers to a missing block; it has no entities");
        else if (blockUsed[index] && !isModel) {
            doc.warnings.Add("layout \"" + layout.name +
                             "\" shares its block with another layout; ignored");
            continue;
        }
        if (index != Layout::kNoBlock)
            blockUsed[index] = true;
        layout.blockIndex = index;
        layout.isModel = isModel;
        layouts.push_back(std::move(pending));
        if (isModel)
            modelLayout = &layouts.back();
    }
    // A paper space with entities but no layout of its own still gets one.
    const bool anyModel = std::any_of(layouts.begin(), layouts.end(),
                                      [](const PendingLayout& p) { return p.layout.isModel; });
    if (!anyModel) {
        PendingLayout pending;
        pending.layout.name = "Model";
        pending.layout.isModel = true;
        pending.layout.blockIndex = model;
        pending.layout.plotSettings.flags = plot_flags::kModelType;
        layouts.push_back(std::move(pending));
    }
    if (paper != Layout::kNoBlock && !blockUsed[paper] && !doc.blocks[paper].entities.empty()) {
        PendingLayout pending;
        pending.layout.name = "Layout1";
        pending.layout.tabOrder = 1;
        pending.layout.blockIndex = paper;
        layouts.push_back(std::move(pending));
    }
    std::stable_sort(layouts.begin(), layouts.end(),
                     [](const PendingLayout& a, const PendingLayout& b) {
                         if (a.layout.isModel != b.layout.isModel)
                             return a.layout.isModel;
                         return a.layout.tabOrder < b.layout.tabOrder;
                     });
    for (PendingLayout& pending : layouts) {
        doc.layouts.push_back(std::move(pending.layout));
        src.layoutPlots.push_back(std::move(pending.plot));
    }
    doc.RebuildIndexes();
}

void Loader::Run() {
    RawTag tag;
    int sections = 0;
    bool strayWarned = false;
    bool stopped = false;
    try {
        while (tags.Next(tag)) {
            if (tag.code == 999)
                continue;
            if (IsStructure(tag, "EOF"))
                break;
            if (IsStructure(tag, "SECTION")) {
                RawTag nameTag;
                if (!tags.Next(nameTag))
                    break;
                if (nameTag.code != 2) {
                    Warn(nameTag, "section without a name skipped");
                    tags.PushBack(nameTag);
                    SkipSection();
                    continue;
                }
                ++sections;
                tags.EnableResync();
                const std::string_view name = Trim(nameTag.value);
                openSection = name;
                sawEntities = sawEntities || name == "ENTITIES";
                if (name == "HEADER")
                    ReadHeader();
                else if (name == "TABLES")
                    ReadTables(false);
                else if (name == "BLOCKS")
                    ReadBlocks();
                else if (name == "ENTITIES")
                    ReadEntities();
                else if (name == "OBJECTS")
                    ReadObjects();
                else
                    SkipSection();
                continue;
            }
            if (IsStructure(tag, "TABLE")) {
                ++sections;
                Warn(tag, "TABLE outside the TABLES section read as a table");
                tags.PushBack(tag);
                ReadTables(true);
                continue;
            }
            if (!strayWarned) {
                Warn(tag, "tags outside any section skipped");
                strayWarned = true;
            }
        }
    } catch (const detail::TagError& error) {
        if (sections == 0)
            throw;
        stopped = true;
        const RawTag at{0, {}, error.offset, error.offset, error.offset, error.line};
        Warn(at, error.reason + "; the rest of the file is ignored");
        Damaged(at, error.reason + " " + OpenStructure() + "; the rest of the file cannot be read");
    }
    for (const detail::TagError& skipped : tags.Skipped()) {
        const RawTag at{0, {}, skipped.offset, skipped.offset, skipped.offset, skipped.line};
        Warn(at, skipped.reason);
        // A line skipped to the next entity costs that entity; one after which no entity
        // follows costs the rest of the file.
        if (skipped.reason.ends_with("the rest of the file is ignored"))
            Damaged(at, skipped.reason + " " + OpenStructure());
    }
    if (sections == 0)
        throw detail::TagError{0, 0, "no DXF section found: not a DXF file"};
    if (!tags.SawEof() && !stopped) {
        doc.warnings.Add("the file ends without EOF; it may be cut off");
        Damaged(EndOfData(), "the file ends " + OpenStructure());
    }
    if (!sawEntities)
        Damaged(EndOfData(), "the file has no ENTITIES section");
    Finish();
}

RawTag Loader::EndOfData() const {
    const std::string_view bytes = src.bytes;
    RawTag at{};
    at.offset = bytes.size();
    if (!src.binary) {
        // The last line of the file, the one it ends in.
        at.line = static_cast<std::uint32_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        if (!bytes.empty() && bytes.back() != '\n')
            ++at.line;
    }
    return at;
}

// The version and code page, looked up before reading so that header strings decode right.
void Prescan(const detail::SourceData& src, std::string& version, std::string& codePage) {
    try {
        TagReader reader(src.bytes, src.binary, src.oneByteCodes, 0);
        RawTag tag;
        std::string_view pending;
        int count = 0;
        while (reader.Next(tag) && ++count < 200000) {
            if (tag.code == 9) {
                pending = Trim(tag.value);
                continue;
            }
            if (tag.code == 0 && Trim(tag.value) == "ENDSEC")
                break;
            if (pending == "$ACADVER" && tag.code == 1)
                version = std::string(Trim(tag.value));
            else if (pending == "$DWGCODEPAGE" && tag.code == 3)
                codePage = std::string(Trim(tag.value));
            pending = {};
            if (!version.empty() && !codePage.empty())
                break;
        }
    } catch (const detail::TagError&) {
        // The real pass reports it.
    }
}

bool IsDwg(std::string_view bytes) {
    if (bytes.size() < 6 || bytes.compare(0, 2, "AC") != 0)
        return false;
    // "AC1015" and the like followed by binary data, or the old "AC2.xx"/"MC0.0".
    for (std::size_t i = 2; i < 6; ++i)
        if (!(std::isdigit(static_cast<unsigned char>(bytes[i])) || bytes[i] == '.'))
            return false;
    return bytes.size() <= 6 || bytes[6] == '\0' || static_cast<unsigned char>(bytes[6]) < 0x20;
}

} // namespace detail

using detail::BaseName;
using detail::IsDwg;
using detail::Loader;
using detail::Prescan;
using detail::RawTag;
using detail::TagReader;
using detail::Trim;

// ------------------------------------------------------------------------------------------------

bool LooksLikeDxf(std::string_view bytes) {
    if (bytes.substr(0, detail::kBinarySentinel.size()) == detail::kBinarySentinel)
        return true;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    try {
        TagReader reader(bytes.substr(0, std::min<std::size_t>(bytes.size(), 4096)), false, false,
                         0);
        RawTag tag;
        return reader.Next(tag) && (tag.code == 0 || tag.code == 999);
    } catch (const detail::TagError&) {
        return false;
    }
}

namespace {

Document LoadSource(std::shared_ptr<detail::SourceData> source, const std::string& name,
                    const LoadOptions& options) {
    Document doc;
    doc.path = name;
    const std::string shownName = BaseName(name);
    std::string_view data = source->bytes;
    if (data.empty())
        throw DxfError(errors::kTypeMismatch, shownName, 0, 0, "the file is empty");
    if (IsDwg(data))
        throw DxfError(errors::kTypeMismatch, shownName, 0, 0,
                       "this is a DWG drawing, not DXF; save it as DXF in the CAD application");
    std::size_t start = 0;
    if (data.substr(0, detail::kBinarySentinel.size()) == detail::kBinarySentinel) {
        source->binary = true;
        start = detail::kBinarySentinel.size();
        // R12 writes one-byte group codes: the first tag (0, SECTION) is then 00 'S'.
        source->oneByteCodes = data.size() > start + 1 && data[start + 1] != '\0';
    } else {
        if (data.substr(0, 3) == "\xEF\xBB\xBF")
            start = 3;
        const std::size_t nl = data.find('\n');
        source->crlf = nl != std::string_view::npos && nl > 0 && data[nl - 1] == '\r';
    }
    doc.format.binary = source->binary;
    doc.format.crlf = source->crlf;

    std::string version, codePageName;
    Prescan(*source, version, codePageName);
    doc.format.acadVersion = version;
    doc.format.codePage = codePageName;
    const bool utf8 =
        version.size() == 6 && version.compare(0, 3, "AC1") == 0 && version >= "AC1021";
    source->codePage = std::make_unique<detail::CodePage>(codePageName, utf8);

    Loader loader(doc, *source, shownName, start);
    loader.codePage = source->codePage.get();
    try {
        loader.Run();
    } catch (const detail::TagError& error) {
        const std::string reason = error.reason.rfind("no DXF section", 0) == 0
                                       ? error.reason
                                       : "not a readable DXF file: " + error.reason;
        throw DxfError(errors::kTypeMismatch, shownName, error.line, error.offset, reason);
    } catch (const std::bad_alloc&) {
        throw DxfError(errors::kTypeMismatch, shownName, 0, 0,
                       "not enough memory to read the drawing");
    }
    if (loader.damage) {
        const DxfError damaged(errors::kTypeMismatch, shownName, loader.damage->line,
                               loader.damage->offset,
                               loader.damage->reason + "; the drawing is incomplete (cut off or "
                                                       "damaged)");
        if (!options.recover)
            throw damaged;
        doc.damage = damaged.Description();
    }
    if (!source->keepAll) {
        // What is not given back yet (what follows the entities) goes now.
        source->buffer.reset();
        source->owned.clear();
        source->owned.shrink_to_fit();
        source->bytes = {};
    }
    detail::DocumentAccess::Source(doc) = std::move(source);
    return doc;
}

} // namespace

Document LoadDrawingFromBytes(std::string bytes, const std::string& name,
                              const LoadOptions& options) {
    auto source = std::make_shared<detail::SourceData>();
    source->owned = std::move(bytes);
    source->bytes = source->owned;
    return LoadSource(std::move(source), name, options);
}

Document LoadDrawing(const std::string& path, const LoadOptions& options) {
    const std::string shownName = BaseName(path);
    std::ifstream file(detail::PathFromUtf8(path), std::ios::binary);
    if (!file) {
        const int code = errno;
        std::error_code ec;
        const bool exists = std::filesystem::exists(detail::PathFromUtf8(path), ec);
        if (!exists)
            throw DxfError(errors::kFileNotFound, shownName, 0, 0, "file not found");
        if (code == EACCES)
            throw DxfError(errors::kPermissionDenied, shownName, 0, 0, "permission denied");
        throw DxfError(errors::kPathFileAccess, shownName, 0, 0,
                       std::string("cannot open the file: ") + std::strerror(code));
    }
    // Read whole, into a buffer that is not zero-filled first: the one copy of the file.
    auto source = std::make_shared<detail::SourceData>();
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    if (end < 0)
        throw DxfError(errors::kPathFileAccess, shownName, 0, 0, "cannot read the file");
    const auto size = static_cast<std::size_t>(end);
    file.seekg(0, std::ios::beg);
    source->buffer = detail::AllocateLarge(size);
    if (size > 0 && !file.read(source->buffer.get(), static_cast<std::streamsize>(size)))
        throw DxfError(errors::kPathFileAccess, shownName, 0, 0, "cannot read the file");
    source->bytes = std::string_view(source->buffer.get(), size);
    source->keepAll = options.keep == KeepBytes::ForSave;
    return LoadSource(std::move(source), path, options);
}

} // namespace kw::drawing