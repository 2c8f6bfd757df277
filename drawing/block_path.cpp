#include "drawing/block_path.h"

#include <algorithm>
#include <filesystem>

#include "drawing/detail/paths.h"

namespace kw::drawing {
namespace {

// Two loads of one file are the same drawing: compare the files, absolute and normal.
std::string NormalFile(const std::string& path) {
    if (path.empty())
        return "";
    std::error_code error;
    const std::filesystem::path file =
        std::filesystem::weakly_canonical(detail::PathFromUtf8(path), error);
    return error ? path : detail::Utf8FromPath(file);
}

} // namespace

BlockPath::BlockPath(const Document& root) {
    m_drawings.push_back({&root, NormalFile(root.path)});
}

std::size_t BlockPath::DrawingOf(const Document& owner) {
    for (std::size_t i = 0; i < m_drawings.size(); ++i)
        if (m_drawings[i].document == &owner)
            return i;
    m_drawings.push_back({&owner, NormalFile(owner.path)});
    return m_drawings.size() - 1;
}

void BlockPath::Report(const Block& block, const std::string& text) {
    if (m_reported.insert(&block).second)
        m_reports.push_back(text);
}

BlockPath::Scope::Scope(BlockPath& path, const Document& owner, const Block& block) : m_path(path) {
    const std::size_t drawing = path.DrawingOf(owner);
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t cycle = kNone;
    for (std::size_t i = 0; i < path.m_entries.size() && cycle == kNone; ++i)
        if (path.m_entries[i].block == &block)
            cycle = i;
    const std::size_t current = path.m_entries.empty() ? 0 : path.m_entries.back().drawing;
    const std::string& file = path.m_drawings[drawing].file;
    if (cycle == kNone && drawing != current && !file.empty()) {
        // Into another drawing: a second load of a file already on the path closes a loop of
        // external references.
        if (drawing != 0 && path.m_drawings[0].file == file)
            cycle = 0;
        for (std::size_t i = 0; i < path.m_entries.size() && cycle == kNone; ++i) {
            const std::size_t other = path.m_entries[i].drawing;
            if (other != drawing && path.m_drawings[other].file == file)
                cycle = i;
        }
    }
    if (cycle != kNone) {
        ++path.m_cutCount;
        if (drawing != current)
            path.Report(block, "drawing \"" + owner.path +
                                   "\" refers back to itself through external references: cut "
                                   "off where it is reached again");
        else
            path.Report(block, "block \"" + block.name +
                                   "\" is reached again inside itself: cut off there");
        return;
    }
    if (path.m_entries.size() >= kMaxDepth) {
        ++path.m_cutCount;
        path.Report(block, "blocks nested more than " + std::to_string(kMaxDepth) +
                               " levels deep: cut off at block \"" + block.name + "\"");
        return;
    }
    path.m_entries.push_back({&block, drawing});
    m_entered = true;
}

BlockPath::Scope::~Scope() {
    if (m_entered)
        m_path.m_entries.pop_back();
}

} // namespace kw::drawing
