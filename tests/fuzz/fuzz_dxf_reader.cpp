// libFuzzer target of the DXF reader: any bytes must load or fail with DxfError — no crash, no
// hang, no leak — and what loads must measure, select and save back to the same bytes.
// Built with -DKW_FUZZ=ON by clang; tests/fuzz/fuzz.sh runs it for a bounded time.

#include <cstddef>
#include <cstdint>
#include <string>

#include "drawing/drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        // A name without a folder: external references are looked up in the current folder only.
        // Incomplete files are read to recover them, as --recover does, so that what they hold
        // is measured and saved too.
        const kw::drawing::Document document =
            kw::drawing::LoadDrawingFromBytes(bytes, "fuzz.dxf", {.recover = true});
        for (const kw::drawing::Layout& layout : document.layouts)
            for (const kw::drawing::Entity& entity : document.LayoutEntities(layout))
                (void)kw::drawing::EntityExtents(document, entity);
        (void)kw::drawing::SelectAll(document, {{0, "LWPOLYLINE,INSERT"}, {8, "*"}});
        if (kw::drawing::SaveDrawingToBytes(document) != bytes)
            __builtin_trap(); // an unchanged drawing must save byte for byte
    } catch (const kw::drawing::DxfError&) {
    }
    return 0;
}
