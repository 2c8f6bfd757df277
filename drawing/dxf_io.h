#pragma once

// Reading and writing DXF files: ASCII and binary, releases R12 to 2018 and older, code pages.

#include <string>
#include <string_view>

#include "drawing/document.h"
#include "drawing/dxf_error.h"

namespace kw::drawing {

struct LoadOptions {
    // Load what an incomplete file holds (cut off; a section, table or block not closed; no
    // ENTITIES section) instead of refusing it; Document::damage then says what is wrong.
    bool recover = false;
};

// Reads a DXF drawing. The file is read whole and kept in the Document for SaveDrawing. Damage
// that loses no more than the damaged record is repaired and noted in Document::warnings. Throws
// DxfError 13 (file name and line/offset) for a file that is not DXF (a DWG, a text file), broken
// beyond repair or incomplete (unless options.recover), 53/70/75 for one missing or unreadable.
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
