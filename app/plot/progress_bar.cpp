#include "app/plot/progress_bar.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace kw {

namespace {
constexpr int kWidth = 30;
}

void ProgressBar::SetDrawingsDone(int done) {
    m_done = std::clamp(done, 0, m_drawings);
}

void ProgressBar::AddPage() {
    ++m_pages;
}

void ProgressBar::Clear() {
    if (m_shown) {
        m_terminal << "\r\033[K" << std::flush;
        m_shown = false;
    }
}

void ProgressBar::Draw() {
    const int filled = m_drawings > 0 ? m_done * kWidth / m_drawings : kWidth;
    m_terminal << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
               << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << m_done
               << '/' << m_drawings << " 图形  " << m_pages << " 页\033[K" << std::flush;
    m_shown = true;
}

} // namespace kw
