#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <string>

class QWidget;

namespace kw::ui {

// Left = (screen width - window width) / 2, top = (screen height - window height) / 3, in twips;
// the size does not change.
void CenterForm(QWidget* window);

// Keeps the window above every window that is not itself topmost.
void MakeTopmost(QWidget* window);

// Brings the top-level window with this exact title to the front. The program's own windows
// come first (the built-in CAD runs in this process); Error 5 when no window has the title.
void BringWindowToFront(const std::string& title);

// The button font: "宋体" 9 pt, backed by an installed Simplified Chinese font so that the
// captions never turn into boxes where 宋体 is missing.
QFont ButtonFont();
// The first installed font family that holds Simplified Chinese, empty when there is none.
QString ChineseFontFamily();

// The window icon of the program's windows (a sheet with its title block), in each of these
// sizes; the desktop entry's icons are these pictures too.
inline constexpr int kProgramIconSizes[] = {32, 48, 64, 128, 256};
QIcon ProgramIcon();
// The icon's picture, `size` pixels square.
QPixmap ProgramIconPixmap(int size);

// Requests to the desktop: addresses, the help file, the end of the program. Failures are
// ignored as the shell reports them itself.
class Shell {
public:
    virtual ~Shell() = default;
    // A web address or a "mailto:" address, opened with the default handler.
    virtual void OpenAddress(QWidget* owner, const QString& address) = 0;
    // The compiled help file at its default topic; elsewhere than on Windows, the HTML pages it
    // is compiled from, in the program's help window.
    virtual void OpenHelp(QWidget* owner, const QString& helpFile) = 0;
    // Ends the program at once: every window closes, nothing is saved.
    virtual void EndProgram() = 0;
};

class DesktopShell : public Shell {
public:
    void OpenAddress(QWidget* owner, const QString& address) override;
    void OpenHelp(QWidget* owner, const QString& helpFile) override;
    void EndProgram() override;
};

} // namespace kw::ui
