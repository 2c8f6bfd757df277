#pragma once

// File names are UTF-8 std::string throughout the program. On Windows a std::filesystem::path
// built from a plain string, or a plain string taken from one, is read in the ANSI code page,
// which cannot hold every name; so every path crosses between the two here.

#include <filesystem>
#include <string>
#include <string_view>

#include "base/characters.h"

namespace kw {

inline std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Whether the path ends in `extension` (".dwg"), the case of ASCII letters ignored: drawings come
// as .dwg, .DWG and .Dwg alike.
inline bool HasExtension(std::string_view path, std::string_view extension) {
    return path.size() >= extension.size() &&
           EqualsIgnoringAsciiCase(path.substr(path.size() - extension.size()), extension);
}

} // namespace kw
