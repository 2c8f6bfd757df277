#pragma once

#include <iosfwd>

namespace kw {

// One line on a terminal that a run redraws in place: the share of drawings done and the pages
// plotted so far. Anything else written to the same terminal clears it first.
class ProgressBar {
public:
    ProgressBar(std::ostream& terminal, int drawings)
        : m_terminal(terminal), m_drawings(drawings) {}

    void SetDrawingsDone(int done);
    void AddPage();
    // Takes the bar off the line, so that the next text starts at its beginning.
    void Clear();
    void Draw();

private:
    std::ostream& m_terminal;
    int m_drawings;
    int m_done = 0;
    int m_pages = 0;
    bool m_shown = false;
};

} // namespace kw
