#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/drawing_list.h"

namespace kw {

inline constexpr const char* kListFileFilter = "列表文件(*.txt)|*.txt|所有文件（*.*)|*.*";
inline constexpr const char* kSaveListTitle = "保存列表文件";
inline constexpr const char* kReadListTitle = "读取列表文件";

// The file dialog and message box the list-file commands use.
struct ListFileUi {
    // Shows the dialog with the given title; nullopt when the user cancels.
    std::function<std::optional<std::string>(const std::string& title)> choosePath;
    std::function<void(const std::string& text)> showError;
};

// One path per line, CR LF after each, GBK text. Throws Error.
void WriteListFile(const std::string& path, const DrawingList& list);
std::vector<std::string> ReadListFile(const std::string& path);

// The save command: asks for a file, writes it atomically, reports a failure in one message.
void SaveListFile(const DrawingList& list, const ListFileUi& ui);
// The read command: asks for a file and replaces the list with its lines only when the whole
// file was read; a cancel or a failed read leaves the list as it was.
void LoadListFile(DrawingList& list, const ListFileUi& ui);

} // namespace kw
