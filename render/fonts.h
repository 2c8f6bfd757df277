#pragma once

#include <QFont>

#include "drawing/document.h"

namespace kw::render {

// The installed CJK font that every text without a usable font of its own falls back to, so
// that Chinese text is always readable.
inline constexpr const char* kFallbackFamily = "Noto Sans CJK SC";

// Fonts are laid out at this pixel size and scaled to the text height.
inline constexpr int kFontPixels = 100;

// The font a text style draws with: its TrueType family when the system has it, otherwise the
// CJK fallback (SHX shape fonts among them). Needs a QGuiApplication.
QFont StyleFont(const drawing::TextStyle* style);

} // namespace kw::render
