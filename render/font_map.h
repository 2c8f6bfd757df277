#pragma once

// The office's font substitution table, FontMap.ini in the settings folder: which shape font
// draws for one that is not installed, the defaults for any other, and which TrueType family
// stands for a family the system does not have.
//
//   [Shx]
//   tssdeng.shx=gbenor.shx   ; a style's font or big font of this name, when it is missing
//   *.shx=gbenor.shx         ; a style's font that is missing and not named above
//   [BigFont]
//   *.shx=gbcbig.shx         ; a style's big font that is missing and not named above
//   [TrueType]
//   仿宋_GB2312=FangSong      ; a family (or a font file: simfang.ttf) → an installed family
//
// Names are compared without regard to ASCII case; ".shx" is assumed for a shape font named
// without an extension. Lines before the first section belong to [Shx]; ';' and '#' start
// comments.

#include <map>
#include <string>
#include <vector>

namespace kw::render {

inline constexpr const char* kFontMapFileName = "FontMap.ini";

struct FontMap {
    std::map<std::string, std::string> shapeFonts; // lower-case file name → file name
    std::string defaultFont;                       // [Shx] *.shx
    std::string defaultBigFont;                    // [BigFont] *.shx
    std::map<std::string, std::string> families;   // lower-case family or file → family

    // The shape font that draws for `fileName` (its folder ignored) when it is missing: its own
    // entry, else the default of its kind; "" for none.
    std::string ShapeFontFor(const std::string& fileName, bool bigFont) const;
    // The family that stands for a family or font file; "" for none.
    std::string FamilyFor(const std::string& familyOrFile) const;

    bool operator==(const FontMap&) const = default;
};

struct FontMapFile {
    FontMap map;
    // Lines that say nothing the table understands, as "FontMap.ini, line 3: ...".
    std::vector<std::string> problems;
};

// The table of a file's text; `name` goes in front of each problem.
FontMapFile ParseFontMap(const std::string& text, const std::string& name = kFontMapFileName);

// Reads the file (UTF-8 or GB18030). A file that is not there is an empty table; one that cannot
// be read is an empty table with the reason as its problem.
FontMapFile ReadFontMap(const std::string& path);

} // namespace kw::render
