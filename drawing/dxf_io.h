#pragma once

// Reading and writing DXF files: ASCII and binary, releases R12 to 2018 and older, code pages.

#include <cstdint>
#include <string>
#include <string_view>

#include "drawing/document.h"
#include "drawing/dxf_error.h"

namespace kw::drawing {

// What a load keeps of the file's bytes.
enum class KeepBytes : std::uint8_t {
    // Every byte, so that SaveDrawing writes the file back with only the changed plot settings.
    ForSave,
    // Only what reading the drawing needs later: for a drawing that is plotted, listed or
    // measured and never saved. The memory of the bytes is given back while they are read, so
    // the peak is about the model's size rather than the model's plus the file's. The tags of
    // opaque entities are kept (EntityTags, and filters on their codes); those of the other
    // entities are not, so a filter on a code the model does not hold (anything but 0, 5, 6, 8,
    // 39, 48, 60, 62, 67, 100, 370, 410, and 2 and 66 of block references) finds none of them.
    // SaveDrawing fails with Error 5.
    ForReading,
};

struct LoadOptions {
    // Load what an incomplete file holds (cut off; a section, table or block not closed; no
    // ENTITIES section) instead of refusing it; Document::damage then says what is wrong.
    bool recover = false;
    KeepBytes keep = KeepBytes::ForSave;
};

// Reads a DXF drawing. The file is read whole and, unless options.keep says otherwise, kept in the
// Document for SaveDrawing. Damage that loses no more than the damaged record is repaired and
// noted in Document::warnings. Throws DxfError 13 (file name and line/offset) for a file that is
// not DXF (a DWG, a text file), broken beyond repair or incomplete (unless options.recover),
// 53/70/75 for one missing or unreadable.
Document LoadDrawing(const std::string& path, const LoadOptions& options = {});

// As LoadDrawing, from bytes in memory; `name` stands for the file name in messages and is the
// Document::path (xrefs are looked up relative to it).
Document LoadDrawingFromBytes(std::string bytes, const std::string& name,
                              const LoadOptions& options = {});

// Writes the drawing to path: the original bytes, with every plot setting that differs from the
// file patched in place (in the file's own encoding, code page and line ends) — nothing else
// changes, so saving an unchanged drawing writes the identical file. Writes through a temporary
// file in the same folder that replaces the target, so a failure leaves the old file intact.
// Throws DxfError 70/75/76 when the file cannot be written.
void SaveDrawing(const Document& document, const std::string& path);

// The bytes SaveDrawing would write.
std::string SaveDrawingToBytes(const Document& document);

// Whether the bytes start like a DXF file (ASCII group code 0 / comment, or the binary sentinel).
bool LooksLikeDxf(std::string_view bytes);

} // namespace kw::drawing
