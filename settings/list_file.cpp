#include "settings/list_file.h"

#include "base/error.h"
#include "base/text_file.h"

namespace kw {
namespace {

constexpr const char* kSaveCancelled = "保存文件被取消！";
constexpr const char* kReadCancelled = "读取文件被取消！";
constexpr const char* kBadListFile = "数据文件格式有误或操作不当！";

bool IsPathAccessError(const Error& error) {
    return error.Number() == errors::kPathFileAccess;
}

} // namespace

void WriteListFile(const std::string& path, const DrawingList& list) {
    WriteTextLines(path, list.Entries());
}

std::vector<std::string> ReadListFile(const std::string& path) {
    return ReadTextLines(path);
}

void SaveListFile(const DrawingList& list, const ListFileUi& ui) {
    const std::optional<std::string> path = ui.choosePath(kSaveListTitle);
    if (!path) {
        ui.showError(kSaveCancelled);
        return;
    }
    try {
        WriteListFile(*path, list);
    } catch (const Error& error) {
        ui.showError(IsPathAccessError(error) ? kSaveCancelled : kBadListFile);
    }
}

void LoadListFile(DrawingList& list, const ListFileUi& ui) {
    const std::optional<std::string> path = ui.choosePath(kReadListTitle);
    if (!path) {
        ui.showError(kReadCancelled);
        return;
    }
    try {
        DrawingList loaded = list; // sorted as the list is
        loaded.ClearList();
        for (const auto& line : ReadListFile(*path))
            loaded.Add(line);
        list = std::move(loaded);
    } catch (const Error& error) {
        ui.showError(IsPathAccessError(error) ? kReadCancelled : kBadListFile);
    }
}

} // namespace kw
