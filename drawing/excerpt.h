#pragma once

// Excerpts of a drawing: the file's own bytes with only some entities of one layout kept, so that
// one frame of a sheet set becomes a drawing of its own. Tables, blocks, styles, layouts and
// objects stay as they are, in the file's release, encoding and code page; what refers to an
// entity left out is left out with it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "drawing/document.h"
#include "drawing/spatial_index.h"

namespace kw::drawing {

class Excerpts {
public:
    // Prepares excerpts of the entities of `document.layouts[layoutIndex]` with one pass over the
    // file. Throws Error 5 for a drawing read without its bytes (KeepBytes::ForReading), one that
    // is incomplete (loaded to recover) or one not read from a file. `document` must outlive this.
    Excerpts(const Document& document, std::size_t layoutIndex);

    // The layout's entities (indices into its entity list, ascending) that lie in or cross the
    // window (spatial index, touching counts), with those they cannot be written without: the
    // boundary of an associative hatch, the annotation of a leader, wherever they lie.
    std::vector<std::size_t> EntitiesIn(const SpatialIndex::Rect& window) const;

    // Hands the excerpt to `write` piece by piece: the file's bytes without the layout's entities
    // not in `kept` (indices, any order), without the objects they own (extension dictionaries and
    // what those hold, image reactors), their entries in groups, draw-order tables and reactor
    // lists, and without groups that had only such members. Everything else is byte for byte.
    void Write(const std::vector<std::size_t>& kept,
               const std::function<void(std::string_view)>& write) const;

private:
    struct Range {
        std::size_t start = 0;
        std::size_t end = 0;
    };
    // Bytes that go when none of `roots` (layout entities) is kept. `roots` empty: never.
    struct Cut {
        Range bytes;
        std::vector<std::uint32_t> roots;
    };

    void Scan();
    bool AllLeftOut(const Cut& cut, const std::vector<bool>& keep) const;

    const Document& m_document;
    std::size_t m_layoutIndex;
    std::string_view m_bytes;
    SpatialIndex m_index;
    std::vector<Range> m_records; // per entity of the layout: its record with ATTRIBs, VERTEXes
    std::vector<Range> m_runs;    // records that follow each other, in file order
    std::vector<Cut> m_cuts;      // by start
    // Entity → the other entities of the layout it refers to (hatch boundaries, annotations).
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> m_needs;
};

} // namespace kw::drawing
