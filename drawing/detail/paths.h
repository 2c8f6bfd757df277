#pragma once

// File names are UTF-8 std::string throughout the program; on Windows a std::filesystem::path
// built from a plain string would read it in the ANSI code page, so every path goes through here.

#include <filesystem>
#include <string>

namespace kw::drawing::detail {

inline std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace kw::drawing::detail
