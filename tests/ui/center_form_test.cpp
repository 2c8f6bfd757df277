// CenterForm under a real window manager (tools/with-window-manager.sh): the window's outer
// frame, caption included, is what lies half-way across and a third of the way down the screen.
// The offscreen platform of the other window tests has no frames, so it cannot tell inner and
// outer size apart.

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include "ui/platform/desktop.h"

class CenterFormTest : public QObject {
    Q_OBJECT
private slots:
    void PlacesTheFramedWindowHalfAcrossAndAThirdDown();
};

void CenterFormTest::PlacesTheFramedWindowHalfAcrossAndAThirdDown() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        QSKIP("needs an X display with a window manager");
    }
    QWidget window;
    window.setWindowTitle(QStringLiteral("CenterForm"));
    window.setFixedSize(554, 540);
    window.move(0, 0);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The window manager frames the window shortly after it is mapped.
    QTRY_VERIFY_WITH_TIMEOUT(window.frameGeometry().height() > window.height() + 10, 5000);

    kw::ui::CenterForm(&window);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize outer = window.frameGeometry().size();
    const QPoint expected(qRound((screen.width() - outer.width()) / 2.0),
                          qRound((screen.height() - outer.height()) / 3.0));
    // Within a pixel: the place goes through twips and back.
    QTRY_VERIFY_WITH_TIMEOUT((window.frameGeometry().topLeft() - expected).manhattanLength() <= 1,
                             5000);
    const QPoint inner(qRound((screen.width() - window.width()) / 2.0),
                       qRound((screen.height() - window.height()) / 3.0));
    QVERIFY2((window.frameGeometry().topLeft() - inner).manhattanLength() > 2,
             "the frame must be measured, not only the client area");
}

QTEST_MAIN(CenterFormTest)
#include "center_form_test.moc"
