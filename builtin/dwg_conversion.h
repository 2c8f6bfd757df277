#pragma once

// DWG drawings in the built-in CAD: the DWG converter (dwg2dxf/kw-dwg2dxf.mjs, LibreDWG run by
// Node.js) turns a .dwg into a DXF in a cache folder, keyed by the DWG's content, and drawing/
// reads that. The converter is a program of its own, run with a time and a memory limit; LibreDWG
// is never linked into Kestrelwick.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/document.h"

namespace kw::builtin {

struct DwgConverterOptions {
    // The Node.js program; empty: "node", then "nodejs", looked up in PATH.
    std::string node;
    // The converter script; empty: dwg2dxf/kw-dwg2dxf.mjs in the program's folder (or in an
    // installed program's data folder).
    std::string script;
    // Where converted drawings are kept; empty: $XDG_CACHE_HOME/Kestrelwick/dwg, else
    // ~/.cache/Kestrelwick/dwg (%LOCALAPPDATA%\Kestrelwick\dwg on Windows).
    std::string cacheFolder;
    int timeLimitSeconds = 300;
    std::int64_t memoryLimitMb = 4096; // resident memory of the converter process
};

// "2000 (AC1015)" for a DWG whose file starts with AC1015; the bare version string for one this
// program does not know; "" when the bytes do not start like a DWG file.
std::string DwgReleaseName(std::string_view header);

// The DXF converted from `dwgPath`: taken from the cache when a DWG of the same content was
// converted before (by the same converter), converted into it otherwise. Throws CadError with a
// description that names the file, its DWG release and what to do.
std::string ConvertDwg(const std::string& dwgPath, const DwgConverterOptions& options,
                       const std::string& programFolder);

// Reads a DWG drawing through its converted DXF. The document's path is the DWG's, so that
// external references resolve from the DWG's folder. The converted file's bytes are kept only
// with `keepBytes` (drawings of single frames are written from them; the DWG never is).
drawing::Document LoadDwgDrawing(const std::string& dwgPath, const DwgConverterOptions& options,
                                 const std::string& programFolder, bool keepBytes = false);

// Points every external reference of `document` that resolves to a DWG file at that file's
// converted DXF (in memory only: saving writes plot settings alone). A reference whose DWG cannot
// be converted stays as it is and is measured as a missing drawing; each such failure is added to
// `failures`, one description each.
void ConvertDwgXrefs(drawing::Document& document, const DwgConverterOptions& options,
                     const std::string& programFolder, std::vector<std::string>& failures);

} // namespace kw::builtin
