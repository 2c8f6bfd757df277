#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/characters.h"

namespace kw {

// The drawings a run over selected files plots: full paths, kept sorted as the system's sorted
// list box sorts (the user's locale, letter case ignored), with a multi-selection.
class DrawingList {
public:
    static constexpr int kMaxEntries = 32767; // positions are 16-bit

    DrawingList() = default;
    // Sorted by `collator` instead of the user's locale.
    explicit DrawingList(TextCollator collator) : m_collator(std::move(collator)) {}

    int Count() const { return static_cast<int>(m_entries.size()); }
    const std::string& Entry(int index) const { return m_entries.at(index); } // 0-based
    const std::vector<std::string>& Entries() const { return m_entries; }

    // Inserts at its sorted place (after entries that compare equal); returns the position.
    // Error 6 when the list is full.
    int Add(const std::string& path);
    // Whole text, character for character.
    bool Contains(const std::string& path) const;

    bool IsSelected(int index) const { return m_selected.at(index); }
    void SetSelected(int index, bool selected) { m_selected.at(index) = selected; }
    // Removes every selected entry, from the last position to the first.
    void RemoveSelected();
    void ClearList();

    // For the plot run: the first entry, and its removal. Error 9 on an empty list.
    const std::string& First() const;
    void RemoveFirst();

    int TopIndex() const { return m_topIndex; }
    void SetTopIndex(int index) { m_topIndex = index; }

private:
    TextCollator m_collator;
    std::vector<std::string> m_entries;
    std::vector<bool> m_selected;
    int m_topIndex = 0;
};

inline constexpr const char* kListTipHint = "双击删除单个列表，支持资源管理器拖放文件";
inline constexpr const char* kListTipInitial = "双击删除单个列表";
inline constexpr const char* kChooseFilesMessage = "请选择文件！";
inline constexpr int kDialogResultLimit = 32000;

// The paths an open dialog's result text names: the text itself for one file; for several, the
// folder joined with each name by a "\" (also after a drive root, as the dialog gives it).
std::vector<std::string> DialogCandidates(const std::string& resultText);

// Shows the open dialog through `showDialog` (nullopt when the user cancels) and adds every
// chosen path not already listed. A cancel or a result longer than kDialogResultLimit characters
// (UTF-16 code units, as the dialog counts them) shows "请选择文件！".
void AddFromDialog(DrawingList& list, const std::function<std::optional<std::string>()>& showDialog,
                   const std::function<void(const std::string&)>& showError);

// A dropped path is taken when it ends in "dwg" or "dxf", exactly so, in lower case.
bool IsDroppableDrawing(const std::string& path);
// Adds every droppable path, duplicates included; others are skipped silently.
void AddDropped(DrawingList& list, const std::vector<std::string>& paths);

// The row under the pointer (both in twips, halves rounded to even), counted from the top index.
int ListRowAt(double pointerYTwips, double lineHeightTwips, int topIndex);
// The tooltip for a pointer position: the entry under it, or the hint below the last entry.
std::string ListTip(const DrawingList& list, double pointerYTwips, double lineHeightTwips);

} // namespace kw
