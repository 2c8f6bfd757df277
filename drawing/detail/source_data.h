#pragma once

// What a Document keeps of its file: the bytes, how they are written, and where the tags that
// SaveDrawing may patch lie.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/detail/codepage.h"
#include "drawing/detail/memory.h"
#include "drawing/document.h"

namespace kw::drawing::detail {

// One tag of an AcDbPlotSettings subclass as it lies in the file.
struct TagSite {
    std::int32_t code = 0;
    std::size_t offset = 0; // of the group code
    std::size_t valueOffset = 0;
    std::size_t valueSize = 0; // ASCII: the value line without line end; binary: value bytes
};

// Where the plot settings of one layout lie, and what they were when read.
struct PlotSettingsSource {
    std::vector<TagSite> sites;   // file order
    std::size_t insertOffset = 0; // where a missing tag goes: the end of the subclass
    LayoutPlotSettings original;
};

struct SourceData {
    std::string_view bytes;       // the file, in `owned` or `buffer`
    std::string owned;            // bytes handed in as a string
    std::shared_ptr<char> buffer; // bytes read from a file (detail/memory.h)
    // Whether every byte stays for SaveDrawing. When not (a drawing read for plotting only), the
    // reader gives the memory of what it has read back as it goes, keeps the bytes of opaque
    // entities in `spans` (their tags are all there is of them), and drops the rest at the end.
    bool keepAll = true;
    std::map<std::size_t, std::string> spans; // entity offset → its bytes, when !keepAll
    std::size_t releasedUpTo = 0;             // bytes before this have been given back

    // The bytes of an entity's record (its own tags): a view of the file, a kept span, or empty
    // when they are not kept. `start` is where the record begins in the view.
    std::string_view EntityBytes(std::size_t offset, std::size_t size, std::size_t& start) const {
        if (keepAll) {
            start = offset;
            if (size == 0 || offset > bytes.size() || size > bytes.size() - offset)
                return {};
            return bytes.substr(0, offset + size);
        }
        start = 0;
        const auto it = spans.find(offset);
        return it == spans.end() ? std::string_view() : std::string_view(it->second);
    }

    // While reading for plotting only: keeps the bytes of an opaque entity's record.
    void KeepSpan(std::size_t offset, std::size_t size) {
        if (!keepAll && offset <= bytes.size() && size <= bytes.size() - offset)
            spans.emplace(offset, std::string(bytes.substr(offset, size)));
    }

    // While reading for plotting only: gives the memory of the bytes before `offset` back to the
    // system, a huge page at a time (nothing before `offset` is looked at again).
    void ReleaseBefore(std::size_t offset) {
        constexpr std::size_t kStep = std::size_t{2} << 20;
        if (keepAll || !buffer || offset < releasedUpTo + kStep)
            return;
        releasedUpTo += ReleasePages(buffer.get() + releasedUpTo, offset - releasedUpTo);
    }
    bool binary = false;
    bool oneByteCodes = false; // R12 binary
    bool crlf = false;
    std::unique_ptr<CodePage> codePage;
    // Indexed like Document::layouts; a layout without a LAYOUT object has none.
    std::vector<std::unique_ptr<PlotSettingsSource>> layoutPlots;
    // Loaded external references by resolved path (nullptr: could not be loaded), with the
    // depth guard for drawings that refer to each other.
    std::map<std::string, std::shared_ptr<const Document>> xrefs;
    int xrefDepth = 0;
};

struct DocumentAccess {
    static std::shared_ptr<SourceData>& Source(Document& document) { return document.m_source; }
    static const std::shared_ptr<SourceData>& Source(const Document& document) {
        return document.m_source;
    }
};

} // namespace kw::drawing::detail
