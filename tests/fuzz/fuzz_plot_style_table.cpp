// libFuzzer target of the plot style table reader (.ctb and .stb, compressed or plain text): any
// bytes give a table or Error 13, never a crash, a hang or a leak; a table that reads resolves
// every colour to a valid pen.

#include <QColor>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/error.h"
#include "fuzz_support.h"
#include "render/plot_style_table.h"

namespace {

void CheckResult(const kw::render::StyleResult& result) {
    kw::fuzz::Require(result.color.isValid(), "a resolved colour is valid");
    kw::fuzz::Require(std::isfinite(result.lineweightMm) && result.lineweightMm >= 0.0,
                      "a resolved lineweight is a length");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The file's extension says which kind of table it must be: each is tried.
    for (const char* name : {"fuzz.ctb", "fuzz.stb"}) {
        try {
            const auto table = kw::render::PlotStyleTable::Parse(bytes, name);
            kw::fuzz::Require(!table.Styles().empty(), "a table that reads has styles");
            for (int aci = 1; aci <= 255; aci += 7)
                CheckResult(table.Resolve(QColor(10, 200, 30), aci, 0.25, ""));
            CheckResult(table.Resolve(QColor(255, 0, 0), 0, 0.5, "Normal"));
            for (const kw::render::PlotStyle& style : table.Styles())
                CheckResult(table.Resolve(QColor(0, 0, 255), 5, 0.13, style.name));
        } catch (const kw::Error& error) {
            kw::fuzz::Require(error.Number() == kw::errors::kTypeMismatch,
                              "a damaged table fails with Error 13");
        }
    }
    return 0;
}
