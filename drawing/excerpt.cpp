#include "drawing/excerpt.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <set>

#include "base/error.h"
#include "drawing/detail/source_data.h"
#include "drawing/detail/tag_reader.h"

namespace kw::drawing {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

bool IsPointer(int code) {
    return code >= 330 && code <= 369;
}

// Records that belong to the entity before them in the file.
bool IsFollower(std::string_view type) {
    return type == "ATTRIB" || type == "VERTEX" || type == "SEQEND";
}

// Where another record refers to a handle, and what goes with the reference when its target goes.
struct Site {
    enum class Kind { Reactor, GroupMember, SortEntry, DictionaryEntry, EntityBody };
    Kind kind;
    std::size_t start; // the bytes that go: the tag, or the pair of tags of an entry
    std::size_t end;
    std::uint64_t target;
    std::uint32_t entity; // the layout entity whose record holds it, for EntityBody
};

// An object of the OBJECTS section, which goes with its owner.
struct ObjectRecord {
    std::size_t start = 0;
    std::size_t end = 0;
    std::uint64_t owner = 0;
    bool group = false;
    std::vector<std::uint64_t> members; // of a GROUP
};

} // namespace

Excerpts::Excerpts(const Document& document, std::size_t layoutIndex)
    : m_document(document), m_layoutIndex(layoutIndex) {
    const auto& source = detail::DocumentAccess::Source(document);
    if (source && !source->keepAll)
        throw Error(errors::kInvalidCall, "the drawing was read for plotting only, without the "
                                          "bytes a drawing of its frames is written from");
    if (!source || source->bytes.empty())
        throw Error(errors::kInvalidCall,
                    "the drawing was not read from a file: no drawing can be written from it");
    if (!document.damage.empty())
        throw Error(errors::kInvalidCall,
                    "the drawing is incomplete, so drawings of its frames would be too: " +
                        document.damage);
    if (layoutIndex >= document.layouts.size())
        throw Error(errors::kSubscriptOutOfRange, "no such layout");
    m_bytes = source->bytes;
    m_index = BuildLayoutIndex(document, document.layouts[layoutIndex]);
    Scan();
}

void Excerpts::Scan() {
    const auto& source = *detail::DocumentAccess::Source(m_document);
    const std::vector<Entity>& entities =
        m_document.LayoutEntities(m_document.layouts[m_layoutIndex]);
    m_records.assign(entities.size(), Range{});

    // The layout's entities in file order, and each one's handle.
    std::vector<std::pair<std::size_t, std::uint32_t>> byOffset;
    std::unordered_map<std::uint64_t, std::uint32_t> entityOf;
    for (std::uint32_t i = 0; i < entities.size(); ++i) {
        m_records[i] = {entities[i].source.offset, entities[i].source.offset};
        if (entities[i].source.size > 0)
            byOffset.emplace_back(entities[i].source.offset, i);
        if (entities[i].handle != 0)
            entityOf.emplace(entities[i].handle, i);
    }
    std::sort(byOffset.begin(), byOffset.end());

    std::size_t start = 0;
    if (source.binary)
        start = detail::kBinarySentinel.size();
    else if (m_bytes.substr(0, 3) == "\xEF\xBB\xBF")
        start = 3;
    detail::TagReader reader(m_bytes, source.binary, source.oneByteCodes, start);

    std::vector<Site> sites;
    std::unordered_map<std::uint64_t, ObjectRecord> objects;
    std::string_view section;
    bool sectionNameNext = false;

    // The record being read.
    std::size_t next = 0;         // in byOffset
    std::uint32_t open = kNone;   // the layout entity whose record (with followers) is open
    std::uint32_t owning = kNone; // the layout entity the current record belongs to
    std::string_view type;
    std::uint64_t handle = 0;
    std::uint64_t owner = 0;
    bool ownerSeen = false;
    std::string_view appGroup;   // the 102 group the tags are in, empty outside one
    std::size_t lastNameTag = 0; // of the last 3 in a dictionary
    std::size_t sortEntry = std::string_view::npos; // a draw-order entry's 331, until its 5
    std::uint64_t sortTarget = 0;
    std::optional<ObjectRecord> object;

    const auto endObject = [&](std::size_t at) {
        if (object && handle != 0) {
            object->end = at;
            object->owner = owner;
            objects[handle] = std::move(*object);
        }
        object.reset();
    };

    detail::RawTag tag;
    try {
        while (reader.Next(tag)) {
            if (tag.code == 0) {
                endObject(tag.offset);
                type = detail::TrimTagValue(tag.value);
                const bool starts = next < byOffset.size() && byOffset[next].first == tag.offset;
                if (open != kNone && (starts || !IsFollower(type))) {
                    m_records[open].end = tag.offset;
                    open = kNone;
                }
                if (starts) {
                    open = byOffset[next++].second;
                    m_records[open].start = tag.offset;
                }
                owning = open;
                handle = 0;
                owner = 0;
                ownerSeen = false;
                appGroup = {};
                sortEntry = std::string_view::npos;
                sectionNameNext = type == "SECTION";
                if (type == "ENDSEC")
                    section = {};
                if (section == "OBJECTS" && type != "ENDSEC") {
                    object.emplace();
                    object->start = tag.offset;
                    object->group = type == "GROUP";
                }
                continue;
            }
            if (sectionNameNext && tag.code == 2) {
                section = detail::TrimTagValue(tag.value);
                sectionNameNext = false;
                continue;
            }
            if ((tag.code == 5 || (tag.code == 105 && type == "DIMSTYLE")) && handle == 0) {
                handle = reader.Handle(tag);
                if (owning != kNone && handle != 0 && entityOf.find(handle) == entityOf.end())
                    entityOf.emplace(handle, owning); // an ATTRIB, VERTEX or SEQEND
                continue;
            }
            if (tag.code == 5 && sortEntry != std::string_view::npos) {
                sites.push_back({Site::Kind::SortEntry, sortEntry, tag.end, sortTarget, kNone});
                sortEntry = std::string_view::npos;
                continue;
            }
            if (tag.code == 102) {
                const std::string_view value = detail::TrimTagValue(tag.value);
                appGroup = !value.empty() && value.front() == '{' ? value : std::string_view();
                continue;
            }
            if (tag.code == 3) {
                lastNameTag = tag.offset;
                continue;
            }
            if (!IsPointer(tag.code))
                continue;
            const std::uint64_t target = reader.Handle(tag);
            if (!appGroup.empty()) {
                if (appGroup == "{ACAD_REACTORS" && target != 0)
                    sites.push_back({Site::Kind::Reactor, tag.offset, tag.end, target, kNone});
                continue;
            }
            if (tag.code == 330 && !ownerSeen) {
                owner = target;
                ownerSeen = true;
                continue;
            }
            if (target == 0)
                continue;
            if (type == "GROUP" && tag.code == 340) {
                sites.push_back({Site::Kind::GroupMember, tag.offset, tag.end, target, kNone});
                if (object)
                    object->members.push_back(target);
            } else if (type == "SORTENTSTABLE" && tag.code == 331) {
                sortEntry = tag.offset;
                sortTarget = target;
            } else if ((type == "DICTIONARY" || type == "ACDBDICTIONARYWDFLT") &&
                       (tag.code == 350 || tag.code == 360)) {
                sites.push_back({Site::Kind::DictionaryEntry, lastNameTag, tag.end, target, kNone});
            } else if (owning != kNone) {
                sites.push_back({Site::Kind::EntityBody, tag.offset, tag.end, target, owning});
            }
        }
    } catch (const detail::TagError&) {
        // The loader read the file whole; bytes that are no tags here end the scan where they are.
    }
    endObject(reader.Position());
    if (open != kNone)
        m_records[open].end = std::min(reader.Position(), m_bytes.size());

    // The entities an object goes with: its owner's, up the chain of owners; a group's when every
    // member is an entity of the layout. Empty: it stays whatever is left out.
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> rootsOf;
    std::set<std::uint64_t> resolving; // against owner chains that close on themselves
    const std::function<const std::vector<std::uint32_t>&(std::uint64_t)> roots =
        [&](std::uint64_t target) -> const std::vector<std::uint32_t>& {
        static const std::vector<std::uint32_t> kNoRoots;
        if (const auto entity = entityOf.find(target); entity != entityOf.end()) {
            auto [at, isNew] = rootsOf.try_emplace(target);
            if (isNew)
                at->second = {entity->second};
            return at->second;
        }
        if (const auto known = rootsOf.find(target); known != rootsOf.end())
            return known->second;
        const auto found = objects.find(target);
        if (found == objects.end() || !resolving.insert(target).second)
            return kNoRoots;
        std::vector<std::uint32_t> result;
        const ObjectRecord& record = found->second;
        if (record.group && !record.members.empty()) {
            for (const std::uint64_t member : record.members) {
                const auto& of = roots(member);
                if (of.empty()) {
                    result.clear();
                    break;
                }
                result.insert(result.end(), of.begin(), of.end());
            }
        } else if (record.owner != 0) {
            result = roots(record.owner);
        }
        resolving.erase(target);
        return rootsOf[target] = std::move(result);
    };

    for (const auto& [objectHandle, record] : objects) {
        const auto& of = roots(objectHandle);
        if (!of.empty())
            m_cuts.push_back({{record.start, record.end}, of});
    }
    for (const Site& site : sites) {
        if (site.kind == Site::Kind::EntityBody) {
            const auto entity = entityOf.find(site.target);
            if (entity != entityOf.end() && entity->second != site.entity)
                m_needs[site.entity].push_back(entity->second);
            continue;
        }
        const auto& of = roots(site.target);
        if (!of.empty())
            m_cuts.push_back({{site.start, site.end}, of});
    }
    std::sort(m_cuts.begin(), m_cuts.end(),
              [](const Cut& a, const Cut& b) { return a.bytes.start < b.bytes.start; });

    // Records that follow each other make one run; what lies between runs is always written.
    for (const auto& [offset, i] : byOffset) {
        const Range& record = m_records[i];
        if (record.end <= record.start)
            continue;
        if (!m_runs.empty() && m_runs.back().end == record.start)
            m_runs.back().end = record.end;
        else
            m_runs.push_back(record);
    }
}

std::vector<std::size_t> Excerpts::EntitiesIn(const SpatialIndex::Rect& window) const {
    std::vector<std::size_t> found = m_index.Query(window);
    std::vector<bool> chosen(m_records.size(), false);
    for (const std::size_t i : found)
        chosen[i] = true;
    for (std::size_t k = 0; k < found.size(); ++k) {
        const auto needs = m_needs.find(static_cast<std::uint32_t>(found[k]));
        if (needs == m_needs.end())
            continue;
        for (const std::uint32_t other : needs->second) {
            if (!chosen[other]) {
                chosen[other] = true;
                found.push_back(other);
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool Excerpts::AllLeftOut(const Cut& cut, const std::vector<bool>& keep) const {
    return std::none_of(cut.roots.begin(), cut.roots.end(),
                        [&](std::uint32_t root) { return keep[root]; });
}

void Excerpts::Write(const std::vector<std::size_t>& kept,
                     const std::function<void(std::string_view)>& write) const {
    std::vector<bool> keep(m_records.size(), false);
    std::vector<Range> pieces; // what is written before the cuts: kept records, bytes between runs
    for (const std::size_t i : kept) {
        if (i < keep.size() && !keep[i]) {
            keep[i] = true;
            if (m_records[i].end > m_records[i].start)
                pieces.push_back(m_records[i]);
        }
    }
    std::size_t pos = 0;
    for (const Range& run : m_runs) {
        pieces.push_back({pos, run.start});
        pos = run.end;
    }
    pieces.push_back({pos, m_bytes.size()});
    std::sort(pieces.begin(), pieces.end(),
              [](const Range& a, const Range& b) { return a.start < b.start; });

    std::vector<Range> cuts;
    for (const Cut& cut : m_cuts)
        if (AllLeftOut(cut, keep))
            cuts.push_back(cut.bytes);
    auto cut = cuts.begin();
    for (const Range& piece : pieces) {
        std::size_t from = piece.start;
        while (cut != cuts.end() && cut->end <= from)
            ++cut;
        for (auto c = cut; c != cuts.end() && c->start < piece.end; ++c) {
            if (c->start > from)
                write(m_bytes.substr(from, c->start - from));
            from = std::max(from, c->end);
        }
        if (from < piece.end)
            write(m_bytes.substr(from, piece.end - from));
    }
}

} // namespace kw::drawing
