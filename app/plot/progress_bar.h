#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

namespace kw {

// One line on a terminal that a run redraws in place: the share of drawings done, the pages
// plotted so far, pages per second and the time left. Anything else written to the same
// terminal clears it first.
class ProgressBar {
public:
    ProgressBar(std::ostream& terminal, int drawings)
        : m_terminal(terminal), m_drawings(drawings), m_start(std::chrono::steady_clock::now()) {}

    void SetDrawingsDone(int done);
    void AddPage();
    // Takes the bar off the line, so that the next text starts at its beginning.
    void Clear();
    void Draw();

    // "2.5 页/秒"
    static std::string RateText(int pages, double seconds);
    // "剩余 1:05" from the drawings done so far; empty before the first is done.
    static std::string RemainingText(int done, int total, double seconds);

private:
    std::ostream& m_terminal;
    int m_drawings;
    int m_done = 0;
    int m_pages = 0;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace kw
