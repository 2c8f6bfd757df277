#pragma once

// Advance widths that text in a shape font keeps when the font itself is not there, so that the
// stand-in font takes the same room: a title block's text stays inside its cells, right-aligned
// text keeps its right edge.

#include <optional>

namespace kw::render {

// The advance of a printable ASCII character in a Latin shape font, in text heights (a capital
// letter is 1.0 high); nothing for any other character.
std::optional<double> ShxLatinAdvance(char32_t codePoint);

// The advance of a character in a big font's full-width cell, in text heights.
inline constexpr double kShxFullWidthAdvance = 1.0;

} // namespace kw::render
