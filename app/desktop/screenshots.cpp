// Starts the desktop program as usual and saves pictures of its windows into the folder named by
// the first argument: the whole screen, the main window, the progress window during a run and
// the About window. tools/screenshot.sh runs it under a virtual display.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "app/desktop/desktop_app.h"
#include "engine/plot_run.h"
#include "ui/about_window.h"
#include "ui/platform/desktop.h"
#include "ui/main_window.h"

namespace {

void Wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window as the screen shows it, frame and caption included.
bool SaveWindow(const QWidget* window, const QString& file) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect frame = window->frameGeometry();
    const QPixmap picture =
        screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const bool saved = picture.save(file);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(file));
    return saved;
}

bool SaveScreen(const QString& file) {
    const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(file);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(file));
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool allSaved = true;
    const int result = kw::app::RunDesktop(argc, argv, [&](kw::ui::MainWindow& mainWindow) {
        QDir().mkpath(folder);
        const QDir out(folder);
        // Time for the window manager and the promotional pages, taken before the promotional
        // windows hide themselves (five seconds after start).
        Wait(3500);
        allSaved &= SaveScreen(out.filePath(QStringLiteral("screen.png")));
        allSaved &= SaveWindow(&mainWindow, out.filePath(QStringLiteral("main-window.png")));

        // Get printer list and Choose printer against whatever CAD this build drives. A message
        // box (no CAD available, a failure) is pictured and closed, so nothing waits for a user.
        const auto answerMessages = [&](const char* name) {
            QTimer::singleShot(1500, [&out, name] {
                if (QWidget* box = QApplication::activeModalWidget()) {
                    SaveWindow(box, out.filePath(QString::fromLatin1(name)));
                    box->close();
                }
            });
        };
        answerMessages("get-printer-list-message.png");
        mainWindow.Command7->click();
        if (mainWindow.Combo1->count() > 0) {
            answerMessages("choose-printer-message.png");
            mainWindow.Combo1->setCurrentIndex(0);
            emit mainWindow.Combo1->activated(0);
        }
        Wait(500);
        allSaved &=
            SaveWindow(&mainWindow, out.filePath(QStringLiteral("main-window-catalogs.png")));

        // The progress window as a run over selected files shows it.
        kw::RunHost& host = mainWindow;
        host.ShowProgress();
        host.HideMainWindow();
        host.SetProgressLabel(kw::ProgressLabel::StartTime, host.TimeOfDay());
        host.SetProgressLabel(kw::ProgressLabel::Status, kw::PageText(3, 12));
        host.RepaintProgress();
        Wait(1500);
        allSaved &=
            SaveWindow(mainWindow.Progress(), out.filePath(QStringLiteral("form3.png")));
        host.SetProgressLabel(kw::ProgressLabel::Status, kw::kRunFinished);
        host.SetProgressLabel(kw::ProgressLabel::EndTime, host.TimeOfDay());
        Wait(1000);
        allSaved &=
            SaveWindow(mainWindow.Progress(), out.filePath(QStringLiteral("form3-done.png")));
        mainWindow.Progress()->close();
        Wait(1000);

        kw::ui::DesktopShell shell;
        kw::ui::AboutWindow about(shell, &mainWindow);
        about.show();
        Wait(1500);
        allSaved &= SaveWindow(&about, out.filePath(QStringLiteral("about.png")));
        about.close();
        QCoreApplication::exit(0);
    });
    return result == 0 && allSaved ? 0 : 1;
}
