#pragma once

// Reading and writing DXF files: ASCII and binary, releases R12 to 2018 and older, code pages.

#include <string>
#include <string_view>

#include "drawing/document.h"
#include "drawing/dxf_error.h"

namespace kw::drawing {

// Reads a DXF drawing. The file is read whole and kept in the Document for SaveDrawing. Recoverable
// damage is repaired and noted in Document::warnings. Throws DxfError (file name and line/offset)
// for a file that is missing, unreadable, not DXF (a DWG, a text file) or broken beyond repair.
Document LoadDrawing(const std::string& path);

// As LoadDrawing, from bytes in memory; `name` stands for the file name in messages and is the
// Document::path (xrefs are looked up relative to it).
Document LoadDrawingFromBytes(std::string bytes, const std::string& name);

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
