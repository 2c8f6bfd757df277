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
