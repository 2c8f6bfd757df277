// Help on systems without a viewer of the compiled help file: the guide's pages beside the
// desktop program (KW_DESKTOP_FOLDER, where the build puts them) in the program's help window.

#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "ui/help_window.h"
#include "ui/platform/desktop.h"

using kw::ui::HelpWindow;

namespace {

QList<HelpWindow*> HelpWindows() {
    QList<HelpWindow*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* help = qobject_cast<HelpWindow*>(widget); help != nullptr && help->isVisible()) {
            windows.append(help);
        }
    }
    return windows;
}

} // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT
private slots:
    void HelpShowsTheGuidesIndexPageInOneWindow();
    void NoGuideNoWindow();
};

void HelpWindowTest::HelpShowsTheGuidesIndexPageInOneWindow() {
#ifdef _WIN32
    QSKIP("Windows opens the compiled help file in its own viewer");
#else
    const QDir program(QStringLiteral(KW_DESKTOP_FOLDER));
    const QString helpFile = program.filePath(QStringLiteral("Kestrelwick.chm"));
    const QUrl index = QUrl::fromLocalFile(program.filePath(QStringLiteral("help/index.html")));
    QWidget owner;
    kw::ui::DesktopShell shell;
    shell.OpenHelp(&owner, helpFile);

    QCOMPARE(HelpWindows().size(), 1);
    HelpWindow* window = HelpWindows().front();
    QTextBrowser* browser = window->Browser();
    QCOMPARE(browser->source(), index);
    QCOMPARE(browser->documentTitle(), QStringLiteral("Kestrelwick 使用说明"));
    QCOMPARE(window->windowTitle(), browser->documentTitle());
    QVERIFY(browser->toPlainText().contains(QStringLiteral("快速上手")));

    // The pages it links to are shipped with it; 后退 and 目录 lead back.
    browser->setSource(QUrl(QStringLiteral("printer.html")));
    QCOMPARE(browser->documentTitle(), QStringLiteral("获取打印机列表与选择打印机"));
    QCOMPARE(window->windowTitle(), browser->documentTitle());
    auto* back = window->findChild<QPushButton*>(QStringLiteral("HelpBack"));
    QVERIFY(back != nullptr && back->isEnabled());
    back->click();
    QCOMPARE(browser->source(), index);
    browser->setSource(QUrl(QStringLiteral("messages.html")));
    QCOMPARE(browser->documentTitle(), QStringLiteral("提示信息的含义"));

    // Help again: the same window, at the first page.
    shell.OpenHelp(&owner, helpFile);
    QCOMPARE(HelpWindows(), QList<HelpWindow*>{window});
    QCOMPARE(browser->source(), index);
#endif
}

void HelpWindowTest::NoGuideNoWindow() {
    QTemporaryDir empty;
    QVERIFY(kw::ui::HelpGuidePage(empty.filePath(QStringLiteral("Kestrelwick.chm"))).isEmpty());
    QVERIFY(kw::ui::ShowHelpGuide(nullptr, empty.filePath(QStringLiteral("Kestrelwick.chm"))) ==
            nullptr);
}

QTEST_MAIN(HelpWindowTest)
#include "help_window_test.moc"
