#pragma once

// One PDF made of many: the plotted pages in order, a bookmark for each, and the document's
// title and creator. Qt's PDF writer has no outlines; qpdf copies the pages as they are (no
// re-rendering, the text stays text) and writes the outline tree.

#include <string>
#include <vector>

namespace kw::output {

struct MergePage {
    std::string file;     // a PDF file, every page of which is taken
    std::string bookmark; // the outline entry that opens its first page
};

struct MergeInfo {
    std::string title;
    std::string creator = "Kestrelwick";
};

// Writes the pages into `path` (replacing nothing: the caller picks a free name) through a
// temporary file beside it, so that a failed merge leaves no half file. Throws kw::Error 75
// naming the file that failed and qpdf's reason.
void MergePdf(const std::vector<MergePage>& pages, const MergeInfo& info, const std::string& path);

} // namespace kw::output
