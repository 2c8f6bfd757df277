#include "app/plot/console_run_host.h"

#include <ctime>
#include <ostream>

namespace kw {

void ConsoleRunHost::SetProgressLabel(ProgressLabel label, const std::string& text) {
    if (m_bar != nullptr) {
        m_bar->Clear();
    }
    switch (label) {
    case ProgressLabel::Status:
        m_out << text << '\n';
        break;
    case ProgressLabel::StartTime:
        m_out << "开始时间 " << text << '\n';
        break;
    case ProgressLabel::EndTime:
        m_out << "结束时间 " << text << '\n';
        break;
    }
    m_out.flush();
    if (m_bar != nullptr) {
        // The run takes drawings off the list once they are done.
        if (m_drawingsAtStart < 0) {
            m_drawingsAtStart = m_drawings.Count();
        }
        m_bar->SetDrawingsDone(m_drawingsAtStart - m_drawings.Count());
        m_bar->Draw();
    }
}

void ConsoleRunHost::ShowError(const std::string& text) {
    m_failed = true;
    m_errorText = text;
    if (m_bar != nullptr) {
        m_bar->Clear();
    }
    m_err << text << std::endl;
}

std::string ConsoleRunHost::TimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

} // namespace kw
