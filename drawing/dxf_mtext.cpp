// The columns of multiline text. Three writers, three places: release 2018 keeps them on the
// MTEXT (75 ... 50) and, as the host writes it, in an embedded object (101) with codes of its own;
// releases 2007 to 2013 keep them in the MTEXT's "ACAD" extended data and put the text of
// columns 2, 3, ... into MTEXTs of their own that the first one lists.

#include "drawing/detail/dxf_loader.h"
#include "drawing/detail/group_table.h"

namespace kw::drawing::detail {
namespace {

// More columns than a sheet could show; counts and lists from the file stop here.
constexpr std::size_t kMaxColumns = 1000;

void AddHeight(MTextColumns& columns, double height) {
    if (columns.heights.size() < kMaxColumns)
        columns.heights.push_back(height);
}

} // namespace

std::shared_ptr<const MTextColumns> Loader::ReadMTextColumns(const std::vector<RawTag>& rec,
                                                             double& definedHeight) {
    auto columns = std::make_shared<MTextColumns>();
    bool found = false;
    enum class Part { Entity, Own, Embedded, Xdata, OtherXdata } part = Part::Entity;
    // In the extended data each value follows a 1070 that names its code.
    enum class Block { None, Info, Links, Height } block = Block::None;
    int key = -1;
    std::size_t heightsLeft = 0;
    AppGroups groups; // of the entity's own data
    // What the entity's own codes and the extended data's keys name alike. On the entity a width
    // or gutter counts only after the column type: 48 is the linetype scale of any entity too.
    auto setColumnField = [&](int code, const RawTag& t, bool afterType) {
        switch (code) {
        case 75:
            columns->type = Short(t);
            found = true;
            return true;
        case 76:
            columns->count = Short(t);
            return true;
        case 78:
            columns->flowReversed = Integer(t) != 0;
            return true;
        case 79:
            columns->autoHeight = Integer(t) != 0;
            return true;
        case 48:
            if (found || !afterType)
                columns->width = Real(t);
            return true;
        case 49:
            if (found || !afterType)
                columns->gutter = Real(t);
            return true;
        default:
            return false;
        }
    };
    for (const RawTag& t : rec) {
        const int c = t.code;
        if ((part == Part::Entity || part == Part::Own) && groups.Skip(t))
            continue;
        if (c == 100 && part != Part::Xdata && part != Part::OtherXdata) {
            part = Trim(t.value) == "AcDbMText" ? Part::Own : Part::Entity;
            continue;
        }
        if (c == 101) {
            part = Part::Embedded;
            continue;
        }
        if (c == 1001) {
            part = Trim(t.value) == "ACAD" ? Part::Xdata : Part::OtherXdata;
            block = Block::None;
            continue;
        }
        switch (part) {
        case Part::Entity:
        case Part::OtherXdata:
            break;
        case Part::Own:
            if (setColumnField(c, t, true))
                break;
            if (c == 50 && found)
                AddHeight(*columns, Real(t));
            break;
        case Part::Embedded:
            switch (c) {
            case 41:
                if (Real(t) > 0.0)
                    definedHeight = Real(t);
                break;
            case 44:
                columns->width = Real(t);
                break;
            case 45:
                columns->gutter = Real(t);
                break;
            case 46:
                AddHeight(*columns, Real(t));
                break;
            case 71:
                columns->type = Short(t);
                found = true;
                break;
            case 72:
                columns->count = Short(t);
                break;
            case 73:
                columns->autoHeight = Integer(t) != 0;
                break;
            case 74:
                columns->flowReversed = Integer(t) != 0;
                break;
            default:
                break;
            }
            break;
        case Part::Xdata: {
            if (c == 1000) {
                const std::string_view v = Trim(t.value);
                block = v == "ACAD_MTEXT_COLUMN_INFO_BEGIN"      ? Block::Info
                        : v == "ACAD_MTEXT_COLUMNS_BEGIN"        ? Block::Links
                        : v == "ACAD_MTEXT_DEFINED_HEIGHT_BEGIN" ? Block::Height
                                                                 : Block::None;
                key = -1;
                heightsLeft = 0;
                continue;
            }
            if (block == Block::None)
                continue;
            if (block == Block::Links) {
                if (c == 1005 && columns->linked.size() < kMaxColumns)
                    columns->linked.push_back(tags.Handle(t));
                continue;
            }
            if (heightsLeft > 0 && c == 1040) {
                AddHeight(*columns, Real(t));
                --heightsLeft;
                continue;
            }
            if (key < 0) {
                if (c == 1070)
                    key = Short(t);
                continue;
            }
            const int code = key;
            key = -1;
            if (block == Block::Height) {
                if (code == 46 && c == 1040)
                    definedHeight = Real(t);
                continue;
            }
            if (setColumnField(code, t, false))
                break;
            if (code == 50) // the number of heights that follow
                heightsLeft = static_cast<std::size_t>(std::clamp<std::int64_t>(
                    Integer(t), 0, static_cast<std::int64_t>(kMaxColumns)));
            break;
        }
        }
    }
    if (!found || columns->type <= 0)
        return nullptr;
    columns->count = static_cast<std::int16_t>(
        std::clamp<int>(columns->count, 0, static_cast<int>(kMaxColumns)));
    if (!(columns->width >= 0.0))
        columns->width = 0.0;
    if (!(columns->gutter >= 0.0))
        columns->gutter = 0.0;
    return columns;
}

void Loader::JoinMTextColumns(std::vector<Entity>& entities) {
    std::unordered_map<std::uint64_t, std::size_t> byHandle;
    for (std::size_t i = 0; i < entities.size(); ++i) {
        const Entity& e = entities[i];
        if (e.type != EntityType::MText || e.handle == 0)
            continue;
        const auto& g = std::get<MTextGeometry>(e.geometry);
        if (!g.columns || g.columns->linked.empty())
            continue;
        if (byHandle.empty())
            for (std::size_t j = 0; j < entities.size(); ++j)
                if (entities[j].type == EntityType::MText && entities[j].handle != 0)
                    byHandle.emplace(entities[j].handle, j);
        auto& main = std::get<MTextGeometry>(entities[i].geometry);
        for (const std::uint64_t handle : main.columns->linked) {
            const auto it = byHandle.find(handle);
            if (it == byHandle.end() || it->second == i)
                continue;
            auto& column = std::get<MTextGeometry>(entities[it->second].geometry);
            // A column links to one text only; a damaged file may list it twice or in a ring.
            if (column.linkedColumn || (column.columns && !column.columns->linked.empty()))
                continue;
            column.linkedColumn = true;
            if (column.text.empty())
                continue; // dynamic columns: the text flows on from the first
            if (main.text.size() < 2 || main.text.compare(main.text.size() - 2, 2, "\\N") != 0)
                main.text += "\\N";
            main.text += column.text;
        }
    }
}

} // namespace kw::drawing::detail
