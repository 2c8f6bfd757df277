#include "settings/drawing_list.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

#include "base/error.h"

namespace kw {
namespace {

long RoundHalfEven(double value) {
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return static_cast<long>(rounded);
}

} // namespace

int DrawingList::Add(const std::string& path) {
    if (Count() >= kMaxEntries)
        throw Error(errors::kOverflow, "Overflow");
    const auto place = std::upper_bound(
        m_entries.begin(), m_entries.end(), path,
        [this](const std::string& a, const std::string& b) { return m_collator.Less(a, b); });
    const auto index = place - m_entries.begin();
    m_entries.insert(place, path);
    m_selected.insert(m_selected.begin() + index, false);
    return static_cast<int>(index);
}

bool DrawingList::Contains(const std::string& path) const {
    return std::find(m_entries.begin(), m_entries.end(), path) != m_entries.end();
}

void DrawingList::RemoveSelected() {
    for (int i = Count() - 1; i >= 0; --i) {
        if (m_selected[static_cast<std::size_t>(i)]) {
            m_entries.erase(m_entries.begin() + i);
            m_selected.erase(m_selected.begin() + i);
        }
    }
    m_topIndex = std::clamp(m_topIndex, 0, std::max(0, Count() - 1));
}

void DrawingList::ClearList() {
    m_entries.clear();
    m_selected.clear();
    m_topIndex = 0;
}

const std::string& DrawingList::First() const {
    if (m_entries.empty())
        throw Error(errors::kSubscriptOutOfRange, "Subscript out of range");
    return m_entries.front();
}

void DrawingList::RemoveFirst() {
    if (m_entries.empty())
        throw Error(errors::kSubscriptOutOfRange, "Subscript out of range");
    m_entries.erase(m_entries.begin());
    m_selected.erase(m_selected.begin());
    m_topIndex = std::clamp(m_topIndex, 0, std::max(0, Count() - 1));
}

std::vector<std::string> DialogCandidates(const std::string& resultText) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto nul = resultText.find('\0', start);
        parts.push_back(resultText.substr(start, nul == std::string::npos ? nul : nul - start));
        if (nul == std::string::npos)
            break;
        start = nul + 1;
    }
    if (parts.size() == 1)
        return {resultText};
    // A POSIX folder (the desktop program outside Windows) takes "/"; a Windows folder takes "\\",
    // also after a drive root.
    const bool posix = !parts[0].empty() && parts[0].front() == '/';
    const std::string separator = !posix ? "\\" : parts[0].back() == '/' ? "" : "/";
    std::vector<std::string> candidates;
    for (std::size_t i = 1; i < parts.size(); ++i)
        if (!parts[i].empty())
            candidates.push_back(parts[0] + separator + parts[i]);
    return candidates;
}

void AddFromDialog(DrawingList& list, const std::function<std::optional<std::string>()>& showDialog,
                   const std::function<void(const std::string&)>& showError) {
    try {
        const std::optional<std::string> result = showDialog();
        if (!result || Utf16Length(*result) > static_cast<std::size_t>(kDialogResultLimit)) {
            showError(kChooseFilesMessage);
            return;
        }
        for (const auto& candidate : DialogCandidates(*result))
            if (!list.Contains(candidate))
                list.Add(candidate);
    } catch (const Error&) {
        showError(kChooseFilesMessage);
    }
}

bool IsDroppableDrawing(const std::string& path) {
    if (path.size() < 3)
        return false;
    const std::string suffix = path.substr(path.size() - 3);
    return suffix == "dwg" || suffix == "dxf";
}

void AddDropped(DrawingList& list, const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        if (!IsDroppableDrawing(path))
            continue;
        try {
            list.Add(path);
        } catch (const Error&) {
            // A path that cannot be added is skipped; the drop goes on.
        }
    }
}

int ListRowAt(double pointerYTwips, double lineHeightTwips, int topIndex) {
    const long y = RoundHalfEven(pointerYTwips);
    const long h = RoundHalfEven(lineHeightTwips);
    if (h <= 0)
        return -1; // no measurable line: no row under the pointer
    return static_cast<int>(y / h) + topIndex;
}

std::string ListTip(const DrawingList& list, double pointerYTwips, double lineHeightTwips) {
    const int row = ListRowAt(pointerYTwips, lineHeightTwips, list.TopIndex());
    if (row >= 0 && row < list.Count())
        return list.Entry(row);
    return kListTipHint;
}

} // namespace kw
