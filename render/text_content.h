#pragma once

// What a text entity says, as plain characters: MTEXT formatting codes taken out and its
// paragraphs split, the %% codes of TEXT replaced by their characters. Std only.

#include <cstdint>
#include <string>
#include <vector>

namespace kw::render {

// How a piece of MTEXT looks, as its inline codes set it. Unset values (negative, empty) take the
// entity's own.
struct MTextFormat {
    double height = -1.0;     // \H: absolute height; a relative one is resolved when parsed
    double heightFactor = 1;  // \H...x relative to the entity's height, until an absolute \H
    double widthFactor = 1.0; // \W
    double obliqueDeg = 0.0;  // \Q
    double tracking = 1.0;    // \T: spacing between characters, 1 = normal
    int verticalAlign = 0;    // \A: 0 bottom (baseline), 1 centre, 2 top
    std::string family;       // \f family (TrueType) or \F file (shape font); "" = the style's
    bool bold = false;
    bool italic = false;
    int aci = -1;          // \C: 1..255, 0 BYBLOCK, 256 BYLAYER; -1 = the entity's colour
    std::int32_t rgb = -1; // \c: 0x00RRGGBB
    bool underline = false, overline = false, strike = false; // \L \O \K
    // \pq: the paragraph's alignment, 'l' left, 'c' centre, 'r' right, 'j' justified (drawn
    // left), 'd' distributed; 0 = as the attachment point says.
    char paragraphAlign = 0;

    bool operator==(const MTextFormat&) const = default;
};

// One piece of a paragraph: text in one format, or a stacked fraction (\S).
struct MTextPiece {
    std::string text;
    MTextFormat format;
    bool stacked = false;
    std::string upper, lower; // of a stack
    char stackKind = '/';     // '/' bar, '#' diagonal, '^' tolerance (no bar)
    bool columnBreak = false; // \N: the paragraph it opens starts the next column
};

using MTextParagraph = std::vector<MTextPiece>;

// An MTEXT's text split into paragraphs of formatted pieces. {} groups restore the format they
// opened with; %% codes are replaced as in PlainText. A column break (\N) opens a paragraph whose
// first piece says so.
std::vector<MTextParagraph> ParseMText(const std::string& text);

// The lines of an MTEXT's text: \P and line feeds break lines, \~ is a no-break space, \S a^b;
// becomes a/b, {}, \f, \H, \W, \Q, \T, \A, \C, \c, \L, \l, \O, \o, \K, \k and the like are left
// out; \\, \{ and \} are the characters themselves.
std::vector<std::string> MTextLines(const std::string& text);

// A TEXT's string with %%c (⌀), %%d (°), %%p (±), %%% and %%nnn replaced, and the underline and
// overline toggles %%u, %%o left out.
std::string PlainText(const std::string& text);

} // namespace kw::render
