#include "render/font_map.h"

#include <filesystem>

#include "base/characters.h"
#include "base/error.h"
#include "base/paths.h"
#include "base/text_file.h"

namespace kw::render {
namespace {

// The key a shape font is found by: its file name in lower case, ".shx" added to a bare name.
std::string ShapeKey(const std::string& fileName) {
    std::string name = fileName;
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    name = AsciiLower(name);
    if (!name.empty() && name.find('.') == std::string::npos)
        name += ".shx";
    return name;
}

std::string WithoutComment(const std::string& line) {
    const auto mark = line.find_first_of(";#");
    return TrimWhitespace(mark == std::string::npos ? line : line.substr(0, mark));
}

} // namespace

std::string FontMap::ShapeFontFor(const std::string& fileName, bool bigFont) const {
    const std::string key = ShapeKey(fileName);
    if (key.empty())
        return {};
    const auto named = shapeFonts.find(key);
    if (named != shapeFonts.end())
        return named->second;
    return bigFont ? defaultBigFont : defaultFont;
}

std::string FontMap::FamilyFor(const std::string& familyOrFile) const {
    const auto found = families.find(AsciiLower(TrimWhitespace(familyOrFile)));
    return found == families.end() ? std::string() : found->second;
}

FontMapFile ParseFontMap(const std::string& text, const std::string& name) {
    enum class Section { Shx, BigFont, TrueType, Unknown };
    FontMapFile file;
    Section section = Section::Shx;
    int number = 0;
    const auto problem = [&](const std::string& what) {
        file.problems.push_back(name + ", line " + std::to_string(number) + ": " + what);
    };
    for (const std::string& raw : SplitLines(text)) {
        ++number;
        std::string line = WithoutComment(raw);
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line = TrimWhitespace(line.substr(3));
        if (line.empty())
            continue;
        if (line.front() == '[') {
            const std::string title =
                AsciiLower(TrimWhitespace(line.substr(1, line.find(']') - 1)));
            section = title == "shx"        ? Section::Shx
                      : title == "bigfont"  ? Section::BigFont
                      : title == "truetype" ? Section::TrueType
                                            : Section::Unknown;
            if (section == Section::Unknown || line.back() != ']')
                problem("unknown section " + line +
                        " (the sections are [Shx], [BigFont] and "
                        "[TrueType]); its lines are left out");
            continue;
        }
        if (section == Section::Unknown)
            continue;
        const auto equals = line.find('=');
        const std::string key =
            equals == std::string::npos ? "" : TrimWhitespace(line.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? "" : TrimWhitespace(line.substr(equals + 1));
        if (key.empty() || value.empty()) {
            problem("\"" + line + "\" is no FONT=REPLACEMENT");
            continue;
        }
        if (section == Section::TrueType) {
            file.map.families[AsciiLower(key)] = value;
        } else if (key == "*.shx" || key == "*") {
            (section == Section::BigFont ? file.map.defaultBigFont : file.map.defaultFont) = value;
        } else {
            file.map.shapeFonts[ShapeKey(key)] = value;
        }
    }
    return file;
}

FontMapFile ReadFontMap(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(PathFromUtf8(path), error))
        return {};
    std::vector<std::string> lines;
    try {
        lines = ReadTextLines(path);
    } catch (const Error& failure) {
        return {{}, {path + ": " + failure.Description()}};
    }
    std::string text;
    for (const std::string& line : lines)
        text += line + '\n';
    return ParseFontMap(text, path);
}

} // namespace kw::render
