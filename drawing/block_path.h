#pragma once

// The guard of every walk through block references. Measuring and painting follow INSERTs,
// DIMENSIONs (whose picture is an anonymous block) and external references into their blocks, and
// a damaged or hostile drawing can make a block reach itself: a DIMENSION whose block is
// *Model_Space, a block that inserts itself or its parent, two drawings that refer to each other.
// A depth bound alone does not help there: two such references in one block make 2^depth work.
//
// BlockPath is the chain of blocks the walk is inside, outermost first. A walk enters a block
// through a BlockPath::Scope and follows the reference only when the scope says it entered: a
// block already on the path is cut off where it is reached again (the rest of the walk goes on),
// and so is the block past kMaxDepth. Each cut-off is reported once per block in Reports(). With
// the cut-offs, what a block holds no longer depends on how deep the walk is, so a walk may keep
// what it found inside a block, in the block's own coordinates, and reuse it (see CutCount for when
// that is safe).
//
//     BlockPath path(document);
//     ...
//     BlockPath::Scope scope(path, document, *block);
//     if (scope.Entered())
//         WalkBlock(*block, transform);      // its references make scopes of their own
//
// A BlockPath is for one walk on one thread; it may be kept across walks over the same document
// to report each cut-off only once.

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "drawing/document.h"

namespace kw::drawing {

class BlockPath {
public:
    // Blocks nested deeper than this are cut off (the host CAD stops far earlier in practice).
    static constexpr std::size_t kMaxDepth = 32;

    // A walk through `root`: its own file counts as on the path, so an external reference back
    // to it is a cycle too.
    explicit BlockPath(const Document& root);

    // Enters `block` of `owner` (the drawing it belongs to: the root document, or the drawing of
    // an external reference when `block` is that drawing's model space) for the scope's lifetime.
    class Scope {
    public:
        Scope(BlockPath& path, const Document& owner, const Block& block);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

        // Whether the block was entered; when not, the reference must not be followed.
        bool Entered() const { return m_entered; }

    private:
        BlockPath& m_path;
        bool m_entered = false;
    };

    // Blocks on the path now.
    std::size_t Depth() const { return m_entries.size(); }
    // Cut-offs so far, each counted every time it is met. What a walk found inside a block while
    // this did not change is the same wherever the block is reached from; once something inside
    // was cut off, it depends on the blocks above (a block of a cycle reached from the other end
    // of the cycle holds less).
    std::size_t CutCount() const { return m_cutCount; }
    // One line per block cut off so far, in the order met, each block once.
    const std::vector<std::string>& Reports() const { return m_reports; }

private:
    struct Entry {
        const Block* block;
        std::size_t drawing; // index in m_drawings
    };
    struct Drawing {
        const Document* document;
        std::string file; // the file, made absolute and normal; "" when the document has none
    };

    std::size_t DrawingOf(const Document& owner);
    void Report(const Block& block, const std::string& text);

    std::vector<Entry> m_entries;
    std::vector<Drawing> m_drawings; // the root first
    std::vector<std::string> m_reports;
    std::unordered_set<const Block*> m_reported;
    std::size_t m_cutCount = 0;
};

} // namespace kw::drawing
