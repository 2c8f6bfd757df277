#pragma once

// What a text entity says, as plain characters: MTEXT formatting codes taken out and its
// paragraphs split, the %% codes of TEXT replaced by their characters. Std only.

#include <string>
#include <vector>

namespace kw::render {

// The lines of an MTEXT's text: \P and line feeds break lines, \~ is a no-break space, \S a^b;
// becomes a/b, {}, \f, \H, \W, \Q, \T, \A, \C, \c, \L, \l, \O, \o, \K, \k and the like are left
// out; \\, \{ and \} are the characters themselves.
std::vector<std::string> MTextLines(const std::string& text);

// A TEXT's string with %%c (⌀), %%d (°), %%p (±), %%% and %%nnn replaced, and the underline and
// overline toggles %%u, %%o left out.
std::string PlainText(const std::string& text);

} // namespace kw::render
