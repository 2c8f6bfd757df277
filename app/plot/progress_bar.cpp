#include "app/plot/progress_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

std::string ProgressBar::RateText(int pages, double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f 页/秒", seconds > 0 ? pages / seconds : 0.0);
    return text;
}

std::string ProgressBar::RemainingText(int done, int total, double seconds) {
    if (done <= 0 || done >= total) {
        return {};
    }
    const long left = std::lround(seconds / done * (total - done));
    char text[32];
    if (left >= 3600) {
        std::snprintf(text, sizeof text, "剩余 %ld:%02ld:%02ld", left / 3600, left / 60 % 60,
                      left % 60);
    } else {
        std::snprintf(text, sizeof text, "剩余 %ld:%02ld", left / 60, left % 60);
    }
    return text;
}

void ProgressBar::Draw() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const int filled = m_drawings > 0 ? m_done * kWidth / m_drawings : kWidth;
    m_terminal << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
               << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << m_done
               << '/' << m_drawings << " 图形  " << m_pages << " 页  "
               << RateText(m_pages, seconds);
    const std::string left = RemainingText(m_done, m_drawings, seconds);
    if (!left.empty()) {
        m_terminal << "  " << left;
    }
    m_terminal << "\033[K" << std::flush;
    m_shown = true;
}

} // namespace kw
