#pragma once

// Plot style table files as the tests write them: the table's text, zlib-compressed behind the
// header line, the codec's name and the three little-endian words.

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace kw::test {

inline void AppendWord(std::string& bytes, std::uint32_t word) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>((word >> (8 * i)) & 0xFF));
}

// `version` is "CTBVER1" or "STBVER1"; the text is stored with its closing NUL, as tables are.
inline std::string CompressedTable(const std::string& version, std::string text) {
    text.push_back('\0');
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string compressed(size, '\0');
    if (compress(reinterpret_cast<Bytef*>(compressed.data()), &size,
                 reinterpret_cast<const Bytef*>(text.data()),
                 static_cast<uLong>(text.size())) != Z_OK)
        throw std::runtime_error("zlib could not compress the table");
    compressed.resize(size);
    std::string bytes = "PIAFILEVERSION_2.0," + version + ",compress\r\npmzlibcodec";
    AppendWord(bytes, static_cast<std::uint32_t>(
                          adler32(1, reinterpret_cast<const Bytef*>(compressed.data()),
                                  static_cast<uInt>(compressed.size()))));
    AppendWord(bytes, static_cast<std::uint32_t>(text.size()));
    AppendWord(bytes, static_cast<std::uint32_t>(compressed.size()));
    return bytes + compressed;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A colour-dependent table in which ACI 1 plots blue (0, 0, 255), screened to 50 %, 1.00 mm wide
// (index 20 of the standard lineweights) with butt ends and bevelled joins; every other colour
// keeps the object's colour and lineweight.
inline std::string BlueAci1Text() {
    return "description=\"ACI 1 in blue\n"
           "aci_table_available=TRUE\n"
           "scale_factor=1.0\n"
           "apply_factor=FALSE\n"
           "plot_style{\n"
           " 0{\n"
           "  name=\"Color_1\n"
           "  color=-1040187137\n"
           "  mode_color=-1040187137\n"
           "  color_policy=1\n"
           "  screen=50\n"
           "  linetype=31\n"
           "  lineweight=20\n"
           "  end_style=0\n"
           "  join_style=1\n"
           " }\n"
           "}\n";
}

} // namespace kw::test
