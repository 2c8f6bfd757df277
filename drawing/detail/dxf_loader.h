#pragma once

// The DXF reader's state while it reads one file: the tag stream, the decoded names, the entities
// read so far. Its sections and tables are read in dxf_reader.cpp, its entities built in
// dxf_entities.cpp. Internal to drawing/.

#include "base/error.h"
#include "drawing/detail/codepage.h"
#include "drawing/detail/memory.h"
#include "drawing/detail/paths.h"
#include "drawing/detail/plot_fields.h"
#include "drawing/detail/source_data.h"
#include "drawing/detail/tag_reader.h"
#include "drawing/dxf_io.h"
#include "drawing/table_layout.h"
#include "drawing/text.h"
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace kw::drawing::detail {

inline std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

inline std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

inline void MoveInto(std::vector<Entity>& to, std::vector<Entity>& from) {
    if (to.empty()) {
        to.swap(from);
        return;
    }
    to.reserve(to.size() + from.size());
    for (Entity& e : from)
        to.push_back(std::move(e));
}

// Sets axis (code / 10 - 1) of a point from an x/y/z group code.
inline void SetAxis(Vec3& p, int code, double value) {
    switch ((code % 100) / 10) {
    case 1:
        p.x = value;
        break;
    case 2:
        p.y = value;
        break;
    case 3:
        p.z = value;
        break;
    default:
        break;
    }
}

struct Loader {
    Loader(Document& document, SourceData& source, std::string name, std::size_t start)
        : doc(document), src(source), fileName(std::move(name)),
          tags(source.bytes, source.binary, source.oneByteCodes, start) {}

    Document& doc;
    SourceData& src;
    std::string fileName;
    TagReader tags;
    const CodePage* codePage = nullptr;
    std::vector<RawTag> record;       // the tags of the record being read (reused)
    std::vector<RawTag> vertexRecord; // a VERTEX / ATTRIB after its owner
    // Decoded names by their raw bytes; the keys are copies, because the file's bytes may be
    // given back while it is read (SourceData::ReleaseBefore).
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };
    std::unordered_map<std::string, std::string, NameHash, std::equal_to<>> names;
    std::vector<Entity> modelEntities;                       // from the ENTITIES section
    std::vector<Entity> paperEntities;

    struct PendingLayout {
        Layout layout;
        std::unique_ptr<PlotSettingsSource> plot;
        std::size_t order = 0;
    };
    std::vector<PendingLayout> pendingLayouts;

    // The first fault that leaves the drawing incomplete: the file cut off, a section, table or
    // block that is not closed, no ENTITIES section. Such a file is refused unless the caller
    // asked to recover what it holds.
    struct Damage {
        std::uint32_t line = 0; // 0 in a binary file
        std::size_t offset = 0;
        std::string reason;
    };
    std::optional<Damage> damage;
    std::string_view openSection; // the section being read, empty between sections
    std::string openTable;        // the table whose ENDTAB has not come yet
    std::string openBlock;        // the block whose ENDBLK has not come yet
    bool tableOpen = false;
    bool blockOpen = false;
    bool sawEntities = false;

    void Damaged(const RawTag& at, std::string reason) {
        if (!damage)
            damage = Damage{at.line, at.offset, std::move(reason)};
    }
    // What is still open where the file stops: the innermost structure first.
    std::string OpenStructure() const {
        if (blockOpen)
            return "inside the block \"" + openBlock + "\": ENDBLK expected";
        if (tableOpen)
            return "inside the " + openTable + " table: ENDTAB expected";
        if (!openSection.empty())
            return "inside the " + std::string(openSection) + " section: ENDSEC expected";
        return "without EOF";
    }

    void Warn(const RawTag& at, const std::string& text) {
        if (at.line > 0)
            doc.warnings.Add("line " + std::to_string(at.line) + ": " + text);
        else
            doc.warnings.Add("byte offset " + std::to_string(at.offset) + ": " + text);
    }

    std::string Text(const RawTag& tag) const { return codePage->Decode(tag.value); }

    const std::string& Name(const RawTag& tag) {
        const auto it = names.find(tag.value);
        if (it != names.end())
            return it->second;
        return names.emplace(std::string(tag.value), codePage->Decode(tag.value)).first->second;
    }

    // The value as text: strings decoded, numbers in their decimal form.
    std::string ValueText(const RawTag& tag) {
        if (!src.binary) {
            if (KindOfCode(tag.code) == ValueKind::String)
                return Text(tag);
            return std::string(Trim(tag.value));
        }
        switch (KindOfCode(tag.code)) {
        case ValueKind::String:
            return Text(tag);
        case ValueKind::Double:
            return FormatDouble(tags.Double(tag));
        case ValueKind::Binary: {
            static const char kHex[] = "0123456789ABCDEF";
            std::string hex;
            for (const char c : tag.value) {
                hex.push_back(kHex[static_cast<unsigned char>(c) >> 4]);
                hex.push_back(kHex[static_cast<unsigned char>(c) & 15]);
            }
            return hex;
        }
        default:
            return std::to_string(tags.Int(tag));
        }
    }

    double Real(const RawTag& tag) {
        const double value = tags.Double(tag);
        if (tags.BadNumber()) {
            tags.ClearBadNumber();
            Warn(tag, "number expected for group code " + std::to_string(tag.code) + ", found \"" +
                          std::string(tag.value.substr(0, 40)) + "\"; 0 used");
            return 0.0;
        }
        return std::isfinite(value) ? value : 0.0;
    }

    std::int64_t Integer(const RawTag& tag) {
        const std::int64_t value = tags.Int(tag);
        if (tags.BadNumber()) {
            tags.ClearBadNumber();
            Warn(tag, "integer expected for group code " + std::to_string(tag.code) + ", found \"" +
                          std::string(tag.value.substr(0, 40)) + "\"; 0 used");
        }
        return value;
    }
    std::int16_t Short(const RawTag& tag) {
        return static_cast<std::int16_t>(std::clamp<std::int64_t>(Integer(tag), -32768, 32767));
    }

    static bool IsStructure(const RawTag& tag, std::string_view name) {
        return tag.code == 0 && Trim(tag.value) == name;
    }

    // Reads the tags after a group-0 tag up to the next group 0 (which is pushed back).
    void ReadRecord(std::vector<RawTag>& out) {
        out.clear();
        RawTag tag;
        while (tags.Next(tag)) {
            if (tag.code == 0) {
                tags.PushBack(tag);
                return;
            }
            out.push_back(tag);
        }
    }

    std::size_t RecordEnd(const RawTag& head, const std::vector<RawTag>& rec) const {
        return rec.empty() ? head.end : rec.back().end;
    }

    // --- entities ----------------------------------------------------------------------------

    void BuildEntity(const RawTag& head, const std::vector<RawTag>& rec, Entity& e);
    // The number of records (group 0) up to the end of the block or section ahead, read with a
    // reader of its own: the entity vectors get their final size at once, because a growing
    // vector holds its old and new storage together and would double the peak memory.
    std::size_t CountRecords(bool inBlock) const {
        TagReader counter = tags;
        RawTag tag;
        std::size_t count = 0;
        try {
            while (counter.Next(tag)) {
                if (tag.code != 0)
                    continue;
                const std::string_view type = Trim(tag.value);
                if (type == "ENDSEC" || type == "SECTION" || type == "EOF" ||
                    (inBlock && (type == "ENDBLK" || type == "BLOCK")))
                    break;
                ++count;
            }
        } catch (const TagError&) {
        }
        return count;
    }
    // Reads entities up to the end of the block or section: each is built in the place slot()
    // gives and then handed to done(entity).
    template <typename Slot, typename Done>
    void ReadEntityList(Slot&& slot, Done&& done, bool inBlock);

    // --- sections ----------------------------------------------------------------------------

    void ReadHeader();
    void ReadTables(bool orphan);
    void ReadBlocks();
    void ReadEntities();
    void ReadObjects();
    void SkipSection();
    // Ends a section: ENDSEC consumed, or a SECTION/EOF pushed back with a warning.
    bool SectionEnds(const RawTag& tag) {
        if (IsStructure(tag, "ENDSEC")) {
            openSection = {};
            return true;
        }
        if (IsStructure(tag, "SECTION") || IsStructure(tag, "EOF")) {
            Warn(tag, "ENDSEC missing before " + std::string(Trim(tag.value)));
            Damaged(tag, "the " + std::string(openSection) + " section is not closed: ENDSEC " +
                             "expected, found " + std::string(Trim(tag.value)));
            openSection = {};
            tags.PushBack(tag);
            return true;
        }
        return false;
    }

    void ParseLayer(const std::vector<RawTag>& rec);
    void ParseLinetype(const std::vector<RawTag>& rec);
    void ParseStyle(const std::vector<RawTag>& rec);
    void ParseBlockRecord(const std::vector<RawTag>& rec);
    void ParseLayout(const RawTag& head, const std::vector<RawTag>& rec, bool isLayout);
    void ParseImageDefinition(const std::vector<RawTag>& rec);
    void ParseDictionary(const std::vector<RawTag>& rec);
    std::vector<std::pair<std::uint64_t, std::string>> dictionaryEntries;
    std::set<std::uint64_t> placeholders;
    std::shared_ptr<const MLeaderGeometry> ReadMLeader(const std::vector<RawTag>& rec);
    std::shared_ptr<const MLineGeometry> ReadMLine(const std::vector<RawTag>& rec);
    void ParseMLineStyle(const std::vector<RawTag>& rec);
    // Table styles by handle, for the tables laid out from their own data (PlaceTables).
    std::unordered_map<std::uint64_t, TableStyle> tableStyles;
    void ParseTableStyle(const std::vector<RawTag>& rec);
    // Each table draws as its block; without one, as its stored graphics, or else as laid out
    // from its own data.
    void PlaceTables();
    // An MTEXT's columns, from its own tags, its embedded object or its extended data; null
    // without columns. Sets the defined height where only the extended data gives it.
    std::shared_ptr<const MTextColumns> ReadMTextColumns(const std::vector<RawTag>& rec,
                                                         double& definedHeight);
    // Moves the text of MTEXTs that continue another's columns into that one (dxf_mtext.cpp).
    void JoinMTextColumns(std::vector<Entity>& entities);

    void Run();
    void Finish();
    // Where the data ends: the last line of an ASCII file, the size of a binary one.
    RawTag EndOfData() const;
};

} // namespace kw::drawing::detail
