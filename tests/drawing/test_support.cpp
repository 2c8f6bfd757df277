#include "test_support.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace kw::drawing::test {

std::string Fixture(const std::string& relative) {
    return std::string(KW_DRAWING_TESTDATA) + "/" + relative;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> AllFixtures() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(KW_DRAWING_TESTDATA)) {
        if (!entry.is_regular_file())
            continue;
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".dxf" || extension == ".dxfb" || extension == ".dwg")
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string T(int code, const std::string& value) {
    return std::to_string(code) + "\n" + value + "\n";
}

std::string T(int code, double value) {
    return T(code, Shortest(value));
}

Document FromTags(const std::string& entities, const std::string& blocks, const std::string& name) {
    std::string text =
        T(0, "SECTION") + T(2, "HEADER") + T(9, "$ACADVER") + T(1, "AC1009") + T(0, "ENDSEC");
    text += T(0, "SECTION") + T(2, "BLOCKS") + blocks + T(0, "ENDSEC");
    text += T(0, "SECTION") + T(2, "ENTITIES") + entities + T(0, "ENDSEC") + T(0, "EOF");
    return LoadDrawingFromBytes(text, name);
}

std::string MLineTags(const std::string& styleName, const std::string& styleHandle, double scale,
                      int justification, int flags, const std::vector<MLineVertexTags>& vertices,
                      const std::string& extra) {
    const std::size_t elements = vertices.empty() ? 0 : vertices.front().parameters.size();
    std::string tags = T(0, "MLINE") + T(8, "0") + extra + T(100, "AcDbMline") + T(2, styleName) +
                       (styleHandle.empty() ? "" : T(340, styleHandle)) + T(40, scale) +
                       T(70, std::to_string(justification)) + T(71, std::to_string(flags)) +
                       T(72, std::to_string(vertices.size())) + T(73, std::to_string(elements));
    if (!vertices.empty())
        tags += T(10, vertices.front().x) + T(20, vertices.front().y) + T(30, 0.0);
    tags += T(210, 0.0) + T(220, 0.0) + T(230, 1.0);
    for (const MLineVertexTags& v : vertices) {
        tags += T(11, v.x) + T(21, v.y) + T(31, 0.0) + T(12, v.dx) + T(22, v.dy) + T(32, 0.0) +
                T(13, v.mx) + T(23, v.my) + T(33, 0.0);
        for (const std::vector<double>& parameters : v.parameters) {
            tags += T(74, std::to_string(parameters.size()));
            for (double p : parameters)
                tags += T(41, p);
            tags += T(75, "0");
        }
    }
    return tags;
}

Document FromSections(const std::string& tables, const std::string& entities,
                      const std::string& objects) {
    std::string text =
        T(0, "SECTION") + T(2, "HEADER") + T(9, "$ACADVER") + T(1, "AC1015") + T(0, "ENDSEC");
    text += T(0, "SECTION") + T(2, "TABLES") + tables + T(0, "ENDSEC");
    text += T(0, "SECTION") + T(2, "ENTITIES") + entities + T(0, "ENDSEC");
    text += T(0, "SECTION") + T(2, "OBJECTS") + objects + T(0, "ENDSEC") + T(0, "EOF");
    return LoadDrawingFromBytes(text, "memory.dxf");
}

std::string Shortest(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

TempFolder::TempFolder() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    m_path = (base / ("kw_drawing_test_" + std::to_string(random()))).string();
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

} // namespace kw::drawing::test
