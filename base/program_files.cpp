#include "base/program_files.h"

#include <filesystem>
#include <system_error>

#include "base/paths.h"

namespace kw {
namespace {

namespace fs = std::filesystem;

// The data folder of an installed program, normalised ("/usr/share/kestrelwick"); empty when
// there is none.
std::string DataFolder(const std::string& programFolder) {
    if (programFolder.empty()) {
        return {};
    }
    const fs::path folder =
        (PathFromUtf8(programFolder) / PathFromUtf8(kInstalledDataFolder)).lexically_normal();
    std::error_code error;
    return fs::is_directory(folder, error) ? Utf8FromPath(folder) : std::string();
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
    return Utf8FromPath(PathFromUtf8(folder.empty() ? "." : folder) /
                        PathFromUtf8(name).make_preferred());
}

bool IsInstalledProgram(const std::string& programFolder) {
    std::error_code error;
    return !DataFolder(programFolder).empty() ||
           fs::is_regular_file(PathFromUtf8(programFolder) / kInstalledMarker, error);
}

} // namespace kw
