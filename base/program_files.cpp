#include "base/program_files.h"

#include <filesystem>
#include <system_error>

namespace kw {
namespace {

namespace fs = std::filesystem;

fs::path PathFromUtf8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The data folder of an installed program, normalised ("/usr/share/kestrelwick"); empty when
// there is none.
std::string DataFolder(const std::string& programFolder) {
    if (programFolder.empty()) {
        return {};
    }
    const fs::path folder =
        (PathFromUtf8(programFolder) / PathFromUtf8(kInstalledDataFolder)).lexically_normal();
    std::error_code error;
    return fs::is_directory(folder, error) ? Utf8(folder) : std::string();
}

} // namespace

std::vector<std::string> ProgramFileFolders(const std::string& programFolder) {
    std::vector<std::string> folders{programFolder.empty() ? std::string(".") : programFolder};
    if (std::string data = DataFolder(programFolder); !data.empty()) {
        folders.push_back(std::move(data));
    }
    return folders;
}

std::string ProgramFileFolder(const std::string& programFolder, const std::string& name) {
    for (const std::string& folder : ProgramFileFolders(programFolder)) {
        std::error_code error;
        if (fs::exists(PathFromUtf8(folder) / PathFromUtf8(name).make_preferred(), error)) {
            return folder;
        }
    }
    return programFolder;
}

std::string ProgramFilePath(const std::string& programFolder, const std::string& name) {
    const std::string folder = ProgramFileFolder(programFolder, name);
    return Utf8(PathFromUtf8(folder.empty() ? "." : folder) / PathFromUtf8(name).make_preferred());
}

bool IsInstalledProgram(const std::string& programFolder) {
    return !DataFolder(programFolder).empty();
}

} // namespace kw
