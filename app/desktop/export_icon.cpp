// Writes the program's icon as PNG pictures for the desktop entry, one per size:
// FOLDER/<size>x<size>/apps/kestrelwick.png, as the icon theme's folders are laid out.

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/platform/desktop.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrelwick-icon FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const int size : kw::ui::kProgramIconSizes) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = root.filePath(folder + QStringLiteral("/kestrelwick.png"));
        if (!root.mkpath(folder) || !kw::ui::ProgramIconPixmap(size).save(file, "PNG")) {
            std::fprintf(stderr, "kestrelwick-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
