#include "ui/platform/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include "base/error.h"
#include "ui/help_window.h"
#include "ui/twips.h"

#ifdef _WIN32
#include "ui/platform/win32_services.h"
#endif

namespace kw::ui {

void CenterForm(QWidget* window) {
    const double left = (ScreenWidthTwips() - WindowWidthTwips(window)) / 2.0;
    const double top = (ScreenHeightTwips() - WindowHeightTwips(window)) / 3.0;
    MoveWindowTwips(window, left, top);
}

void MakeTopmost(QWidget* window) {
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        window->raise();
        return;
    }
    const bool shown = window->isVisible();
    const QRect geometry = window->geometry();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    window->setGeometry(geometry);
    if (shown) {
        // Changing the flags of a shown window takes it off the screen.
        window->show();
    }
#ifdef _WIN32
    win32::MakeTopmost(reinterpret_cast<win32::WindowHandle>(window->winId()), geometry.x(),
                       geometry.y(), geometry.width(), geometry.height());
#endif
}

void BringWindowToFront(const std::string& title) {
    const QString wanted = QString::fromStdString(title);
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->title() != wanted) {
            continue;
        }
        if (window->isVisible()) {
            if (window->windowStates().testFlag(Qt::WindowMinimized)) {
                window->showNormal();
            }
            window->raise();
            window->requestActivate();
        }
        return;
    }
    // The host CAD is another process: its window is found through the window system.
#ifdef _WIN32
    if (win32::BringWindowToFront(title))
        return;
#endif
    throw Error(errors::kInvalidCall, "Invalid procedure call or argument");
}

QString ChineseFontFamily() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
        for (const char* preferred :
             {"宋体", "SimSun", "NSimSun", "Noto Serif CJK SC", "Noto Sans CJK SC",
              "Source Han Serif SC", "WenQuanYi Micro Hei", "AR PL UMing CN"}) {
            if (installed.contains(QString::fromUtf8(preferred), Qt::CaseInsensitive)) {
                return QString::fromUtf8(preferred);
            }
        }
        return installed.isEmpty() ? QString() : installed.front();
    }();
    return family;
}

QFont ButtonFont() {
    QFont font;
    QStringList families{QStringLiteral("宋体"), QStringLiteral("SimSun")};
    const QString chinese = ChineseFontFamily();
    if (!chinese.isEmpty() && !families.contains(chinese)) {
        families.append(chinese);
    }
    font.setFamilies(families);
    font.setPointSizeF(9.0);
    return font;
}

QPixmap ProgramIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    // Drawn on a grid of 32 x 32 whatever the size, so the 32-pixel icon stays pixel-exact.
    painter.scale(size / 32.0, size / 32.0);
    // A drawing sheet with its title block, in the sixteen basic colours.
    painter.setPen(QColor(0, 0, 128));
    painter.setBrush(Qt::white);
    painter.drawRect(2, 5, 27, 21);
    painter.setPen(QColor(128, 0, 0));
    painter.drawRect(4, 7, 23, 17);
    painter.setBrush(QColor(0, 128, 128));
    painter.drawRect(17, 19, 10, 5);
    painter.setPen(QPen(QColor(0, 0, 255), 2));
    painter.drawLine(6, 20, 14, 10);
    painter.drawLine(14, 10, 20, 14);
    painter.end();
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : kProgramIconSizes) {
        icon.addPixmap(ProgramIconPixmap(size));
    }
    return icon;
}

void DesktopShell::OpenAddress([[maybe_unused]] QWidget* owner, const QString& address) {
#ifdef _WIN32
    win32::OpenAddress(owner ? reinterpret_cast<win32::WindowHandle>(owner->winId()) : nullptr,
                       address.toStdString());
#else
    QDesktopServices::openUrl(QUrl(address));
#endif
}

void DesktopShell::OpenHelp(QWidget* owner, const QString& helpFile) {
#ifdef _WIN32
    win32::ShowHelp(owner ? reinterpret_cast<win32::WindowHandle>(owner->winId()) : nullptr,
                    helpFile.toStdString());
#else
    // No program here opens the compiled help file: the program shows the pages it is made from.
    if (ShowHelpGuide(owner, helpFile) == nullptr) {
        QMessageBox::critical(owner, QStringLiteral("错误"),
                              QStringLiteral("找不到帮助文件：") +
                                  QDir::toNativeSeparators(HelpGuideFolder(helpFile)));
    }
#endif
}

void DesktopShell::EndProgram() {
    // Leaves every event loop, nested ones included; main() then destroys the windows.
    QCoreApplication::exit(0);
}

} // namespace kw::ui
