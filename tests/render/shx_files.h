#pragma once

// Shape font files built byte by byte for the tests (no font file of any vendor is used): regular,
// unicode and big fonts from a list of shapes.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace kw::render::shx_files {

using Shapes = std::vector<std::pair<std::uint16_t, std::string>>;

// Spec bytes from small numbers; negative values are stored as signed bytes.
inline std::string B(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(static_cast<unsigned char>(v & 0xFF));
    return out;
}

inline std::string Name(const char* name) {
    return std::string(name) + '\0';
}

inline void U16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

inline void U32(std::string& out, std::uint32_t v) {
    U16(out, v & 0xFFFF);
    U16(out, v >> 16);
}

// A regular font: header, first/last/count, the index, then each shape's name and bytes.
inline std::string RegularFont(const Shapes& shapes) {
    std::string out = "AutoCAD-86 shapes 1.0\r\n\x1A";
    U16(out, 0);
    U16(out, shapes.empty() ? 0 : shapes.back().first);
    U16(out, static_cast<unsigned>(shapes.size()));
    for (const auto& [code, bytes] : shapes) {
        U16(out, code);
        U16(out, static_cast<unsigned>(bytes.size()));
    }
    for (const auto& shape : shapes)
        out += shape.second;
    return out;
}

// A unicode font: the count (information shape included), the information shape, then each
// shape with its code and length in front.
inline std::string Unifont(const std::string& info, const Shapes& shapes) {
    std::string out = "AutoCAD-86 unifont 1.0\r\n\x1A";
    U32(out, static_cast<std::uint32_t>(shapes.size() + 1));
    U16(out, static_cast<unsigned>(info.size()));
    out += info;
    for (const auto& [code, bytes] : shapes) {
        U16(out, code);
        U16(out, static_cast<unsigned>(bytes.size()));
        out += bytes;
    }
    return out;
}

// A big font with one escape range 0x81-0xFE and an index with an empty slot in it.
inline std::string BigFont(const Shapes& shapes) {
    std::string out = "AutoCAD-86 bigfont 1.0\r\n\x1A";
    const unsigned entries = static_cast<unsigned>(shapes.size() + 1);
    U16(out, entries);
    U16(out, static_cast<unsigned>(shapes.size()));
    U16(out, 1);
    U16(out, 0x81);
    U16(out, 0xFE);
    std::uint32_t offset = static_cast<std::uint32_t>(out.size() + 8 * entries);
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        if (k == 1) { // an empty slot
            U16(out, 0);
            U16(out, 0);
            U32(out, 0);
        }
        U16(out, shapes[k].first);
        U16(out, static_cast<unsigned>(shapes[k].second.size()));
        U32(out, offset);
        offset += static_cast<std::uint32_t>(shapes[k].second.size());
    }
    for (const auto& shape : shapes)
        out += shape.second;
    return out;
}

} // namespace kw::render::shx_files
