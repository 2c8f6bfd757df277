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
