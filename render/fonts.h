#pragma once

#include <QFont>

#include <string>

#include "drawing/document.h"
#include "render/font_map.h"

namespace kw::render {

// The installed CJK font that every text without a usable font of its own falls back to, so
// that Chinese text is always readable: Noto on Linux, the fonts every Chinese Windows has
// there; the first of these the system has is taken.
inline constexpr const char* kFallbackFamily = "Noto Sans CJK SC";
inline constexpr const char* kFallbackFamilies[] = {
    kFallbackFamily, "Microsoft YaHei",    "SimSun",
    "SimHei",        "Source Han Sans SC", "WenQuanYi Micro Hei"};

// The fallback family this system has ("" when it has none of them).
QString FallbackFamily();

// Makes the TrueType and OpenType fonts of a folder (the Fonts folder beside the program) known
// to the painter, once per folder. Needs a QGuiApplication.
void AddFontFolder(const QString& folder);

// Fonts are laid out at this pixel size and scaled to the text height.
inline constexpr int kFontPixels = 100;

// The font a text style draws with: its TrueType family when the system has it, else the family
// the font map puts in its place, otherwise the CJK fallback (SHX shape fonts among them).
// `missing` (when given) gets the TrueType font the style names that the system lacks (its file,
// else its family), "" when there is none. Needs a QGuiApplication.
QFont StyleFont(const drawing::TextStyle* style, const FontMap* map = nullptr,
                std::string* missing = nullptr);

} // namespace kw::render
