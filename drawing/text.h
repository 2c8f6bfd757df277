#pragma once

// Text helpers for drawing strings.

#include <string>
#include <string_view>

namespace kw::drawing {

// MTEXT content without its formatting codes: \P becomes a line feed, {\fArial|b0;...} groups,
// \H, \W, \C, \A, \Q, \T, \L/\l, \O/\o, \K/\k, \S a^b; (stacked as "a/b") and the braces are
// removed, \~ becomes a space, \\ \{ \} their character. Input is the decoded UTF-8 text.
std::string PlainMText(std::string_view text);

// DXF caret escapes decoded: ^J line feed, ^I tab, ^M carriage return (^@.._ the control
// characters), "^ " a caret.
std::string DecodeCaret(std::string_view text);

// Letter case folded for comparison (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic).
std::string FoldCase(std::string_view utf8);

} // namespace kw::drawing
