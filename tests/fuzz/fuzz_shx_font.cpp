// libFuzzer target of the shape font reader (.shx: shapes, unifont, big font): any bytes give a
// font or a reason, never a crash or a hang; every glyph of a font that loads is drawn with
// finite points, alone and as the regular and big font of a text style.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "fuzz_support.h"
#include "render/shx_font.h"

namespace {

void CheckGlyph(const std::optional<kw::render::ShxGlyph>& glyph) {
    if (!glyph)
        return;
    kw::fuzz::Require(std::isfinite(glyph->advance), "a glyph advances by a finite length");
    for (const auto& stroke : glyph->strokes)
        for (const kw::render::ShxPoint& point : stroke)
            kw::fuzz::Require(std::isfinite(point.x) && std::isfinite(point.y),
                              "a glyph's points are finite");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto font = std::make_shared<kw::render::ShxFont>(kw::render::ShxFont::Parse(bytes));
    kw::fuzz::Require(font->Loaded() == font->Error().empty() || font->ShapeCount() == 0,
                      "a font is loaded or says why not");
    if (!font->Loaded())
        return 0;
    kw::fuzz::Require(std::isfinite(font->Above()) && std::isfinite(font->Below()),
                      "a font's height is finite");
    // Shape numbers of regular fonts are bytes, of big fonts double-byte codes, of unicode
    // fonts code points: the first few hundred present in the low planes are drawn.
    int drawn = 0;
    for (std::uint32_t code = 0; code < 0x10000 && drawn < 300; ++code) {
        if (font->HasShape(code)) {
            CheckGlyph(font->Glyph(code));
            ++drawn;
        }
    }
    for (std::uint32_t code = 0; code < 256; ++code)
        (void)font->IsLeadByte(static_cast<unsigned char>(code));
    const kw::render::ShxTextFont asFont(font, nullptr);
    const kw::render::ShxTextFont asBoth(font, font);
    for (const char32_t c : std::u32string_view(U"A1a%\u00b0\u4e2d\u6587\uff21"))
        CheckGlyph(asBoth.Glyph(c));
    kw::fuzz::Require(std::isfinite(asFont.Advance("Ab 12 \xe4\xb8\xad")), "finite advance");
    kw::fuzz::Require(std::isfinite(asBoth.Advance("\xe5\x9b\xbe\xe5\x8f\xb7 A-1")),
                      "finite advance");
    return 0;
}
