#pragma once

// Compiled shape fonts (.shx): regular shape fonts, unicode fonts and big fonts, read from their
// bytes and turned into strokes. Plain standard C++ so that the parser is tested on its own; a
// damaged file is reported as "not loaded" with a reason, never thrown.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/warnings.h"
#include "render/font_map.h"

namespace kw::render {

struct ShxPoint {
    double x = 0.0;
    double y = 0.0;
};

inline bool operator==(const ShxPoint& a, const ShxPoint& b) {
    return a.x == b.x && a.y == b.y;
}

// One character: polylines drawn with the pen down, and where the pen stands after it (x along
// the baseline). Units are the font's own unless a function says otherwise; y up.
struct ShxGlyph {
    std::vector<std::vector<ShxPoint>> strokes;
    double advance = 0.0;
};

enum class ShxKind : std::uint8_t {
    Shapes,  // "AutoCAD-86 shapes 1.0/1.1": one-byte codes of the drawing's code page
    Unifont, // "AutoCAD-86 unifont 1.0": Unicode code points
    Bigfont, // "AutoCAD-86 bigfont 1.0": double-byte codes behind escape (lead) bytes
};

class ShxFont {
public:
    // A font that is not loaded; Error says why.
    ShxFont() = default;

    // Parses a compiled font. Never throws: a file that is no shape font, or is cut short,
    // gives a font that is not loaded.
    static ShxFont Parse(std::string_view bytes);
    // Reads and parses a file.
    static ShxFont Load(const std::string& path);

    bool Loaded() const { return m_error.empty() && !m_shapes.empty(); }
    // Why the font is not loaded ("" when it is).
    const std::string& Error() const { return m_error; }
    ShxKind Kind() const { return m_kind; }
    // The name in the font's information shape (its description, not the file name).
    const std::string& Name() const { return m_name; }

    // Height of a capital letter above the baseline and depth of descenders below it, in font
    // units. The text height of a style maps to Above.
    double Above() const { return m_above; }
    double Below() const { return m_below; }
    // A big font's character cell width (its information shape), 0 when it gives none.
    double CellWidth() const { return m_cellWidth; }

    // Whether `byte` starts a double-byte code (big fonts only).
    bool IsLeadByte(unsigned char byte) const;

    bool HasShape(std::uint32_t code) const { return m_shapes.count(code) != 0; }
    std::size_t ShapeCount() const { return m_shapes.size(); }

    // The strokes of a shape in font units; nothing when the font has no such shape. Damaged
    // shape bytes draw what they can: the interpreter stops at the end of the bytes, at a
    // subshape nested too deep or referring back to itself, and after a bounded number of
    // steps.
    std::optional<ShxGlyph> Glyph(std::uint32_t code) const;

private:
    friend class ShxInterpreter;
    static ShxFont Failed(std::string reason);

    ShxKind m_kind = ShxKind::Shapes;
    std::string m_error = "no font";
    std::string m_name;
    double m_above = 0.0;
    double m_below = 0.0;
    double m_cellWidth = 0.0;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> m_leadRanges;
    // Shape number → its definition bytes (name stripped, terminating 0 kept when present).
    std::unordered_map<std::uint32_t, std::string> m_shapes;
};

// The fonts of one text style: its font (regular or unicode) and its big font, either possibly
// missing. Glyphs come in units of the text height: a capital letter of the font is 1.0 high,
// the baseline at y = 0.
class ShxTextFont {
public:
    // `codePage` is the DXF name of the code page the big font indexes by (its double-byte
    // codes); a Chinese big font uses ANSI_936 (GBK).
    ShxTextFont(std::shared_ptr<const ShxFont> font, std::shared_ptr<const ShxFont> bigFont,
                std::string codePage = "ANSI_936");
    ~ShxTextFont();
    ShxTextFont(const ShxTextFont&) = delete;
    ShxTextFont& operator=(const ShxTextFont&) = delete;

    // The glyph of a Unicode code point: a double-byte character from the big font first, then
    // the font. Nothing when neither has it. Safe to call from several threads.
    std::optional<ShxGlyph> Glyph(char32_t codePoint) const;

    // The width of a line of UTF-8 text in text heights; characters without a glyph count as
    // StandInAdvance has them, else as `missingAdvance`.
    double Advance(std::string_view utf8, double missingAdvance = 1.0) const;

    // The room a character without a glyph takes, in text heights, as the style's fonts would
    // give it were they installed: a big font's full-width cell for a double-byte character of
    // the code page (CJK), the Latin shape fonts' advance for ASCII; nothing for the rest.
    std::optional<double> StandInAdvance(char32_t codePoint) const;
    // Whether a character takes a big font's cell: double-byte in the code page, or CJK.
    bool FullWidth(char32_t codePoint) const;

    const ShxFont* Font() const { return m_font.get(); }
    const ShxFont* BigFont() const { return m_bigFont.get(); }

private:
    std::optional<ShxGlyph> Lookup(char32_t codePoint) const;
    std::optional<std::uint32_t> DoubleByteCode(char32_t codePoint) const;
    // The character's bytes in the code page ("" when it has none).
    std::string Encoded(char32_t codePoint) const;

    std::shared_ptr<const ShxFont> m_font;
    std::shared_ptr<const ShxFont> m_bigFont;
    struct Encoder;
    std::unique_ptr<Encoder> m_encoder;
    mutable std::mutex m_mutex;
    mutable std::unordered_map<char32_t, std::optional<ShxGlyph>> m_cache;
};

// Shape fonts found by file name in the folders the user configured (a Fonts folder beside the
// program, --fonts folders, the desktop program's setting), each loaded once. A font that is
// missing or unreadable is named once in Warnings; the font map says which font draws in its
// place, and every font drawn by another is noted once as a substitution.
class FontLibrary {
public:
    // `standIn`: the family that draws text whose fonts are all missing, for the substitutions.
    explicit FontLibrary(std::vector<std::string> folders, FontMap map = {},
                         std::string standIn = {});
    ~FontLibrary();
    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;

    const std::vector<std::string>& Folders() const { return m_folders; }

    // The font a style names ("gbenor.shx", "GBCBIG", a path whose folder is ignored), matched
    // case-insensitively against the files of the folders in their order; ".shx" is assumed
    // when the name has no extension. Null when it is not there or does not load.
    std::shared_ptr<const ShxFont> Find(const std::string& fileName);

    // The text font of a style's font and big font names, each missing one replaced as the
    // font map says; null when the style's font is no shape font. When neither font loads, a
    // font without shapes that keeps their spacing (StandInAdvance). Built once per pair.
    std::shared_ptr<const ShxTextFont> TextFont(const std::string& fontFile,
                                                const std::string& bigFontFile);

    // Warnings not yet taken ("font not found: gbcbig.shx"), each font named once per library.
    std::vector<std::string> TakeWarnings();

    const FontMap& Map() const { return m_map; }

    // Notes that `font` (a file or family a drawing names) is drawn with `replacement`; each
    // font once per library.
    void NoteSubstitution(const std::string& font, const std::string& replacement);
    // Substitutions not yet taken, as "gbenor.shx → Noto Sans CJK SC", in the order met.
    std::vector<std::string> TakeSubstitutions();

private:
    std::string PathOf(const std::string& lowerName);
    // The style's font or big font, or the one the map puts in its place (noted).
    std::shared_ptr<const ShxFont> Resolve(const std::string& fileName, bool bigFont);

    std::vector<std::string> m_folders;
    std::mutex m_mutex;
    bool m_listed = false;
    std::map<std::string, std::string> m_files; // lower-case file name → path, first folder wins
    std::map<std::string, std::shared_ptr<const ShxFont>> m_fonts;
    std::map<std::pair<std::string, std::string>, std::shared_ptr<const ShxTextFont>> m_textFonts;
    Warnings m_warnings;
    FontMap m_map;
    std::string m_standIn;
    std::set<std::string> m_substituted;      // lower-case fonts noted so far
    std::vector<std::string> m_substitutions; // not yet taken
};

// Whether a style's font file names a shape font (".shx", or no extension at all).
bool IsShapeFontFile(const std::string& fileName);

} // namespace kw::render
