// The promotional windows: docking, the auto-hide steps at the screen edges, their pictures and
// label.

#include <QScreen>
#include <QtTest>

#include "tests/ui/ui_test_support.h"
#include "ui/promo_window.h"
#include "ui/twips.h"

using kw::ui::AutoHideDecide;
using kw::ui::AutoHideInput;

namespace {

// A 1965 x 9135-twip window at 15 twips a pixel on a 1024 x 768 screen.
AutoHideInput At(int leftPx, int topPx, QPoint pointer) {
    AutoHideInput in;
    in.pointerPx = pointer;
    in.outerPx = QRect(leftPx, topPx, 131, 609);
    in.leftTwips = leftPx * 15.0;
    in.topTwips = topPx * 15.0;
    in.widthTwips = 1965;
    in.heightTwips = 9135;
    in.screenWidthTwips = 1024 * 15.0;
    return in;
}

kw::ui::PageViewFactory RecordingViews() {
    return [](QWidget* parent) { return new kw::test::RecordingPageView(parent); };
}

} // namespace

class PromoWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void RightEdgeHidesToAStripAndComesBackPastTheEdge();
    void LeftEdgeAndTopEdge();
    void MiddleOfScreenBorderLineAndMinimisedAreLeftAlone();
    void WindowsDockLoadTheirPagesAndStartTheTimers();
    void StepsMoveTheRealWindow();
    void PicturesAndLabel();
};

void PromoWindowsTest::RightEdgeHidesToAStripAndComesBackPastTheEdge() {
    const QPoint away(500, 300);
    // Docked flush right: pointer elsewhere hides it to a 40-twip strip.
    auto hide = AutoHideDecide(At(1024 - 131, 100, away));
    QVERIFY(hide && hide->leftTwips && !hide->topTwips && !hide->show);
    QCOMPARE(*hide->leftTwips, 1024 * 15.0 - 40);
    // Within 4 twips of the edge still counts as touching it; further in does not.
    AutoHideInput near = At(1024 - 131, 100, away);
    near.leftTwips -= 4;
    QVERIFY(AutoHideDecide(near).has_value());
    near.leftTwips -= 1;
    QVERIFY(!AutoHideDecide(near).has_value());
    // Pointer on the strip brings it back, 10 twips past the edge, and to the front.
    AutoHideInput strip = At(1021, 100, QPoint(1022, 300));
    strip.leftTwips = 1024 * 15.0 - 40;
    auto show = AutoHideDecide(strip);
    QVERIFY(show && show->leftTwips && show->show);
    QCOMPARE(*show->leftTwips, 1024 * 15.0 - 1965 + 10);
}

void PromoWindowsTest::LeftEdgeAndTopEdge() {
    const QPoint away(500, 300);
    auto hide = AutoHideDecide(At(0, 100, away));
    QVERIFY(hide && hide->leftTwips);
    QCOMPARE(*hide->leftTwips, 40.0 - 1965);
    AutoHideInput strip = At(-128, 100, QPoint(1, 300));
    strip.leftTwips = 40.0 - 1965;
    auto show = AutoHideDecide(strip);
    QVERIFY(show && show->leftTwips && show->show);
    QCOMPARE(*show->leftTwips, -10.0);

    // The top edge wins over a side: a window in the top-left corner hides upwards.
    auto up = AutoHideDecide(At(0, 3, away));
    QVERIFY(up && up->topTwips && !up->leftTwips);
    QCOMPARE(*up->topTwips, 40.0 - 9135);
    AutoHideInput top = At(300, -606, QPoint(350, 1));
    top.topTwips = 40.0 - 9135;
    auto down = AutoHideDecide(top);
    QVERIFY(down && down->topTwips && down->show);
    QCOMPARE(*down->topTwips, -10.0);
}

void PromoWindowsTest::MiddleOfScreenBorderLineAndMinimisedAreLeftAlone() {
    QVERIFY(!AutoHideDecide(At(400, 100, QPoint(10, 10))).has_value());
    QVERIFY(!AutoHideDecide(At(400, 100, QPoint(450, 300))).has_value());
    // On the border line counts as outside: a left-docked window hides.
    QVERIFY(AutoHideDecide(At(0, 100, QPoint(0, 300))).has_value());
    AutoHideInput minimised = At(0, 100, QPoint(900, 300));
    minimised.minimised = true;
    QVERIFY(!AutoHideDecide(minimised).has_value());
}

void PromoWindowsTest::WindowsDockLoadTheirPagesAndStartTheTimers() {
    kw::test::RecordingShell shell;
    kw::ui::adfrm right(QStringLiteral("/opt/kw/pages"), RecordingViews(), shell);
    kw::ui::ad1frm left(QStringLiteral("/opt/kw/pages"), RecordingViews(), shell);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(right.frameGeometry().right(), screen.right());
    QCOMPARE(left.frameGeometry().left(), 0);
    QCOMPARE(right.windowTitle(), QStringLiteral("休息一下，马上回来！"));
    QVERIFY(right.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(right.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(right.size(), kw::ui::TwipsRect(0, 0, 1965, 9135).size());

    auto* rightView = static_cast<kw::test::RecordingPageView*>(right.WebBrowser1);
    auto* leftView = static_cast<kw::test::RecordingPageView*>(left.WebBrowser1);
    QCOMPARE(rightView->addresses, QList<QUrl>{QUrl::fromLocalFile("/opt/kw/pages/ad.html")});
    QCOMPARE(leftView->addresses, QList<QUrl>{QUrl::fromLocalFile("/opt/kw/pages/ad1.html")});
    // The view overhangs the window and covers the pictures.
    QCOMPARE(rightView->geometry(), kw::ui::TwipsRect(-100, -200, 2400, 9690));

    QVERIFY(right.Timer2->isActive());
    QCOMPARE(right.Timer2->interval(), 5000);
    QVERIFY(!right.Timer1->isActive());
    QMetaObject::invokeMethod(right.Timer2, "timeout", Qt::DirectConnection);
    QVERIFY(right.Timer1->isActive());
    QCOMPARE(right.Timer1->interval(), 1);
}

void PromoWindowsTest::StepsMoveTheRealWindow() {
    kw::test::RecordingShell shell;
    kw::ui::adfrm right(QStringLiteral("/opt/kw/pages"), RecordingViews(), shell);
    right.show();
    QVERIFY(QTest::qWaitForWindowExposed(&right));
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    QPoint pointer(10, 10);
    right.SetPointerSource([&] { return pointer; });
    right.AutoHideStep();
    QCOMPARE(right.frameGeometry().left(), kw::ui::ToPixelsX(kw::ui::ScreenWidthTwips() - 40));
    pointer = QPoint(screenWidth - 1, right.frameGeometry().center().y());
    right.AutoHideStep();
    QCOMPARE(right.frameGeometry().left(),
             kw::ui::ToPixelsX(kw::ui::ScreenWidthTwips() - 1965 + 10));
    pointer = QPoint(10, 10);
    right.AutoHideStep();
    QVERIFY(right.frameGeometry().left() >= screenWidth - 3);
}

void PromoWindowsTest::PicturesAndLabel() {
    kw::test::RecordingShell shell;
    auto* right = new kw::ui::adfrm(QStringLiteral("/opt/kw/pages"), RecordingViews(), shell);
    QPointer<QWidget> guard(right);
    right->show();
    QVERIFY(QTest::qWaitForWindowExposed(right));
    QTest::mouseClick(right->Image2, Qt::LeftButton);
    QCOMPARE(shell.ends, 1);
    QTest::mouseClick(right->Image1, Qt::LeftButton);
    QTRY_VERIFY(right->isMinimized());
    QTest::mouseDClick(right->Label1, Qt::LeftButton);
    QTRY_VERIFY(guard.isNull()); // closed and gone; the program goes on
}

QTEST_MAIN(PromoWindowsTest)
#include "promo_windows_test.moc"
