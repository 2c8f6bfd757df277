// The built-in CAD on screen: its window, the on-screen pick and the plot preview, driven with
// simulated mouse and keys on the offscreen platform.

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <functional>

#include "builtin/builtin_cad.h"
#include "builtin/cad_window.h"
#include "builtin/drawing_view.h"
#include "builtin/plot_preview.h"
#include "cad/cad_session.h"
#include "engine/frames.h"

using kw::builtin::CadWindow;
using kw::builtin::DrawingView;

namespace {

std::string Tags(std::initializer_list<std::pair<int, std::string>> tags) {
    std::string text;
    for (const auto& [code, value] : tags) {
        text += std::to_string(code) + "\n" + value + "\n";
    }
    return text;
}

std::string Line(double x0, double y0, double x1, double y1) {
    return Tags({{0, "LINE"},
                 {8, "0"},
                 {10, std::to_string(x0)},
                 {20, std::to_string(y0)},
                 {30, "0"},
                 {11, std::to_string(x1)},
                 {21, std::to_string(y1)},
                 {31, "0"}});
}

// Two horizontal lines (0,0)-(100,0) and (0,50)-(100,50), a circle of radius 20 about (200,25)
// and a 100 × 60 block reference FRAME at (300,0) whose block is four lines.
std::string PickDrawing() {
    std::string blocks = Tags({{0, "BLOCK"},
                               {8, "0"},
                               {2, "FRAME"},
                               {70, "0"},
                               {10, "0"},
                               {20, "0"},
                               {30, "0"},
                               {3, "FRAME"}});
    blocks += Line(0, 0, 100, 0) + Line(100, 0, 100, 60) + Line(100, 60, 0, 60) +
              Line(0, 60, 0, 0) + Tags({{0, "ENDBLK"}, {8, "0"}});
    std::string entities = Line(0, 0, 100, 0) + Line(0, 50, 100, 50);
    entities += Tags({{0, "CIRCLE"}, {8, "0"}, {10, "200"}, {20, "25"}, {30, "0"}, {40, "20"}});
    entities += Tags({{0, "INSERT"}, {8, "0"}, {2, "FRAME"}, {10, "300"}, {20, "0"}, {30, "0"}});
    return Tags({{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1009"}, {0, "ENDSEC"}}) +
           Tags({{0, "SECTION"}, {2, "BLOCKS"}}) + blocks + Tags({{0, "ENDSEC"}}) +
           Tags({{0, "SECTION"}, {2, "ENTITIES"}}) + entities + Tags({{0, "ENDSEC"}, {0, "EOF"}});
}

CadWindow* FindCadWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* cad = qobject_cast<CadWindow*>(window)) {
            return cad;
        }
    }
    return nullptr;
}

QDialog* FindPreview() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("PlotPreview") && window->isVisible()) {
            return qobject_cast<QDialog*>(window);
        }
    }
    return nullptr;
}

// A built-in CAD in a scratch folder, connected (and so visible) with the pick drawing open.
struct Fixture {
    Fixture() {
        std::ofstream(Path("pick.dxf").toStdString(), std::ios::binary) << PickDrawing();
        kw::builtin::BuiltinOptions options;
        options.programFolder = folder.path().toStdString();
        options.printers = [] { return std::vector<kw::builtin::SystemPrinter>{}; };
        options.plotFolder = folder.path().toStdString();
        backend = std::make_shared<kw::builtin::BuiltinBackend>(options);
        session =
            std::make_unique<kw::CadSession>([this] { return backend; }, [](const std::string&) {});
        session->Connect();
        document = session->Application()->Documents()->Open(Path("pick.dxf").toStdString());
    }
    ~Fixture() {
        session.reset();
        backend.reset(); // the window goes with the application
    }

    QString Path(const QString& name) const { return folder.filePath(name); }

    // Runs SelectOnScreen into a new set while `user` acts in the window; returns the picked
    // entities' bounding boxes' lower-left x (each identifies one entity of the pick drawing).
    std::vector<double> Pick(const std::function<void(DrawingView&)>& user) {
        auto set = document->SelectionSets()->Add("pick" + std::to_string(++picks));
        QTimer::singleShot(0, [&] {
            CadWindow* window = FindCadWindow();
            if (window == nullptr || !window->View()->Picking()) {
                failure = QStringLiteral("no pick under way");
                return;
            }
            if (!QTest::qWaitForWindowExposed(window)) {
                failure = QStringLiteral("the window is not shown");
            }
            user(*window->View());
            if (window->View()->Picking()) {
                failure = QStringLiteral("the pick did not end");
                window->View()->EndPick(false);
            }
        });
        set->SelectOnScreen();
        std::vector<double> picked;
        for (std::int32_t i = 0; i < set->Count(); ++i) {
            kw::Point low, high;
            set->Item(i)->GetBoundingBox(low, high);
            picked.push_back(low.x);
        }
        return picked;
    }

    QTemporaryDir folder;
    std::shared_ptr<kw::builtin::BuiltinBackend> backend;
    std::unique_ptr<kw::CadSession> session;
    std::shared_ptr<kw::CadDocument> document;
    QString failure;
    int picks = 0;
};

QPoint At(const DrawingView& view, double x, double y) {
    return view.DrawingToScreen().map(QPointF(x, y)).toPoint();
}

void Click(DrawingView& view, QPoint at, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseMove(&view, at);
    QTest::mousePress(&view, button, modifiers, at);
    QTest::mouseRelease(&view, button, modifiers, at);
}

void Drag(DrawingView& view, QPoint from, QPoint to) {
    QTest::mousePress(&view, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), view.mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
}

} // namespace

class CadWindowTest : public QObject {
    Q_OBJECT

private slots:
    void WindowCarriesTheCaptionAndShowsTheCommandLine();
    void ClickPicksWhatLiesUnderThePickBoxOnly();
    void WindowPicksWhatLiesInsideCrossingWhatItTouches();
    void EscCancelsThePickAndRightClickEndsIt();
    void PickedEntitiesAreHighlighted();
    void PickBoxOverAnEntityOutlinesItBeforeTheClick();
    void PreviewShowsThePageModallyUntilEsc();
    void PreviewWithoutPageSettingsFailsBeforeShowing();
};

void CadWindowTest::WindowCarriesTheCaptionAndShowsTheCommandLine() {
    Fixture f;
    CadWindow* window = FindCadWindow();
    QVERIFY(window != nullptr);
    QVERIFY(window->isVisible());
    auto app = f.session->Application();
    QCOMPARE(window->windowTitle(), QString::fromStdString(app->Caption()));
    QVERIFY(window->windowTitle().endsWith(QStringLiteral("[pick.dxf]")));

    // Opening from the File menu's code path makes that drawing the active one and the title.
    const QString second = f.Path(QStringLiteral("second.dxf"));
    QVERIFY(QFile::copy(f.Path(QStringLiteral("pick.dxf")), second));
    QVERIFY(window->OpenDrawing(second));
    QCOMPARE(app->Caption(), std::string(kw::builtin::kWindowTitle) + " - [second.dxf]");
    QCOMPARE(window->windowTitle(), QString::fromStdString(app->Caption()));
    QVERIFY(window->View()->Drawing() != nullptr);

    // Closing the drawing goes back to the one before it.
    app->ActiveDocument()->Close(false);
    QVERIFY(window->windowTitle().endsWith(QStringLiteral("[pick.dxf]")));

    // Prompts appear on the command line, one line each, without their CR LF.
    f.document->Utility()->Prompt(kw::kPickPrompt);
    const QString lines = window->CommandLine()->toPlainText();
    QVERIFY(
        lines.endsWith(QStringLiteral("====== 选择含图框的对象，不是图框的对象将自动忽略 ======")));

    app->PutVisible(false);
    QVERIFY(!window->isVisible());
}

void CadWindowTest::ClickPicksWhatLiesUnderThePickBoxOnly() {
    Fixture f;
    const auto picked = f.Pick([](DrawingView& view) {
        Click(view, At(view, 50, 0));   // on the first line
        Click(view, At(view, 350, 60)); // on the frame's top edge
        Click(view, At(view, 50, 0));   // the first line again: no second entry
        QTest::keyClick(&view, Qt::Key_Return);
    });
    QCOMPARE(f.failure, QString());
    QCOMPARE(picked, (std::vector<double>{0, 300}));

    // Inside the circle and inside the frame nothing is drawn: those clicks start a window,
    // and the second click of that window, left to right, holds nothing either.
    const auto none = f.Pick([](DrawingView& view) {
        Click(view, At(view, 200, 25));
        QVERIFY(view.Picked().empty());
        Click(view, At(view, 340, 30));
        QVERIFY(view.Picked().empty());
        QTest::keyClick(&view, Qt::Key_Space);
    });
    QCOMPARE(f.failure, QString());
    QVERIFY(none.empty());

    // Shift takes a picked entity out again.
    const auto shifted = f.Pick([](DrawingView& view) {
        Click(view, At(view, 50, 50));
        Click(view, At(view, 180, 25));
        Click(view, At(view, 50, 50), Qt::LeftButton, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_Enter);
    });
    QCOMPARE(f.failure, QString());
    QCOMPARE(shifted, (std::vector<double>{180}));
    const std::vector<std::string> lines = f.backend->Application()->CommandLine();
    QVERIFY(std::find(lines.begin(), lines.end(), "找到 1 个，总计 1 个") != lines.end());
}

void CadWindowTest::WindowPicksWhatLiesInsideCrossingWhatItTouches() {
    Fixture f;
    // Left to right around both lines and half the circle: the lines only.
    const auto window = f.Pick([](DrawingView& view) {
        Drag(view, At(view, -10, -10), At(view, 200, 70));
        QTest::keyClick(&view, Qt::Key_Return);
    });
    QCOMPARE(f.failure, QString());
    QCOMPARE(window, (std::vector<double>{0, 0}));

    // Right to left over the circle's left half and the frame's left edge, clicked corner by
    // corner: both, the lines left of it not.
    const auto crossing = f.Pick([](DrawingView& view) {
        Click(view, At(view, 310, 70));
        Click(view, At(view, 150, -10));
        QTest::keyClick(&view, Qt::Key_Return);
    });
    QCOMPARE(f.failure, QString());
    QCOMPARE(crossing, (std::vector<double>{180, 300}));

    // A crossing that only enters the frame's empty inside touches nothing.
    const auto inside = f.Pick([](DrawingView& view) {
        Drag(view, At(view, 380, 40), At(view, 320, 20));
        QTest::keyClick(&view, Qt::Key_Return);
    });
    QCOMPARE(f.failure, QString());
    QVERIFY(inside.empty());
}

void CadWindowTest::EscCancelsThePickAndRightClickEndsIt() {
    Fixture f;
    const auto cancelled = f.Pick([](DrawingView& view) {
        Click(view, At(view, 50, 0));
        QCOMPARE(view.Picked().size(), std::size_t{1});
        QTest::keyClick(&view, Qt::Key_Escape);
    });
    QCOMPARE(f.failure, QString());
    QVERIFY(cancelled.empty());
    QCOMPARE(f.backend->Application()->CommandLine().back(), std::string("*取消*"));

    const auto ended = f.Pick([](DrawingView& view) {
        Click(view, At(view, 50, 50));
        Click(view, At(view, 500, 500), Qt::RightButton);
    });
    QCOMPARE(f.failure, QString());
    QCOMPARE(ended, (std::vector<double>{0}));
}

void CadWindowTest::PickedEntitiesAreHighlighted() {
    Fixture f;
    f.Pick([](DrawingView& view) {
        const QPoint on = At(view, 25, 50);
        const QImage before = view.grab().toImage();
        Click(view, on);
        QTest::mouseMove(&view, At(view, 500, 500)); // cursor and pick box away from the line
        const QImage after = view.grab().toImage();
        // Somewhere along the picked line the picture changed; elsewhere it did not.
        bool changed = false;
        for (int dx = -2; dx <= 2 && !changed; ++dx) {
            for (int dy = -2; dy <= 2 && !changed; ++dy) {
                const QPoint p = on + QPoint(dx, dy);
                changed = before.pixel(p) != after.pixel(p);
            }
        }
        QVERIFY(changed);
        const QPoint empty = At(view, 250, 40);
        QCOMPARE(before.pixel(empty), after.pixel(empty));
        QTest::keyClick(&view, Qt::Key_Return);
    });
    QCOMPARE(f.failure, QString());
}

void CadWindowTest::PickBoxOverAnEntityOutlinesItBeforeTheClick() {
    Fixture f;
    f.Pick([](DrawingView& view) {
        const QPoint away = At(view, 250, 40);
        const QPoint line = At(view, 25, 50);
        QTest::mouseMove(&view, away);
        const QImage before = view.grab().toImage();
        QTest::mouseMove(&view, line + QPoint(0, 2)); // the pick box rests on the line
        const QImage over = view.grab().toImage();
        // Along the line away from the crosshair, the outline shows.
        const QPoint along = At(view, 75, 50);
        QVERIFY(before.pixel(along) != over.pixel(along));
        QVERIFY(view.Picked().empty());
        QTest::mouseMove(&view, away);
        QCOMPARE(view.grab().toImage().pixel(along), before.pixel(along));
        QTest::keyClick(&view, Qt::Key_Escape);
    });
    QCOMPARE(f.failure, QString());
}

void CadWindowTest::PreviewShowsThePageModallyUntilEsc() {
    Fixture f;
    auto layout = f.document->ActiveLayout();
    layout->PutConfigName("Kestrelwick PDF");
    layout->RefreshPlotDeviceInfo();
    layout->PutCanonicalMediaName("ISO_A3_(420.00_x_297.00_MM)");
    layout->PutPaperUnits(1);
    layout->SetWindowToPlot({-5, -5}, {405, 65});
    layout->PutPlotType(4);
    layout->SetCustomScale(1, 1);
    layout->PutCenterPlot(true);

    QString failure = QStringLiteral("no preview shown");
    QTimer::singleShot(0, [&] {
        QDialog* dialog = FindPreview();
        if (dialog == nullptr) {
            return;
        }
        failure.clear();
        auto* preview = dynamic_cast<kw::builtin::PlotPreviewDialog*>(dialog);
        if (!dialog->isModal() || preview == nullptr) {
            failure = QStringLiteral("not a modal preview");
        } else {
            if (!QTest::qWaitForWindowExposed(dialog)) {
                failure = QStringLiteral("the preview is not shown");
            }
            kw::builtin::PageView* view = preview->View();
            const QRectF sheet = view->SheetRect();
            if (std::abs(sheet.width() / sheet.height() - 420.0 / 297.0) > 0.01) {
                failure = QStringLiteral("the sheet is not A3 landscape");
            }
            // The drawing, centred at full size, puts line work on the white sheet.
            const QImage page = view->grab().toImage();
            bool inked = false;
            for (int x = int(sheet.left()) + 2; x < int(sheet.right()) - 2 && !inked; ++x) {
                for (int y = int(sheet.top()) + 2; y < int(sheet.bottom()) - 2 && !inked; ++y) {
                    inked = page.pixelColor(x, y).lightness() < 230;
                }
            }
            if (!inked) {
                failure = QStringLiteral("nothing drawn on the sheet");
            }
            const double zoom = view->Zoom();
            QWheelEvent wheel(QPointF(view->rect().center()), view->mapToGlobal(QPointF(10, 10)),
                              QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(view, &wheel);
            if (!(view->Zoom() > zoom)) {
                failure = QStringLiteral("the wheel does not zoom");
            }
            const QPointF before = view->SheetRect().topLeft();
            QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
            QMouseEvent move(QEvent::MouseMove, QPointF(130, 120),
                             view->mapToGlobal(QPointF(130, 120)), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(view, &move);
            QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(130, 120));
            if (view->SheetRect().topLeft() - before != QPointF(30, 20)) {
                failure = QStringLiteral("a drag does not pan");
            }
        }
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    f.document->Plot()->DisplayPlotPreview(1);
    QCOMPARE(failure, QString());
    QVERIFY(FindPreview() == nullptr);
}

void CadWindowTest::PreviewWithoutPageSettingsFailsBeforeShowing() {
    Fixture f;
    bool shown = false;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (QDialog* dialog = FindPreview()) {
            shown = true;
            dialog->reject();
        }
    });
    timer.start();
    try {
        f.document->Plot()->DisplayPlotPreview(1); // no paper, no window
        QFAIL("the preview went on without a page");
    } catch (const kw::CadError& failure) {
        QCOMPARE(failure.Number(), kw::errors::kInvalidArgument);
        QVERIFY(failure.Description().rfind("DisplayPlotPreview: ", 0) == 0);
    }
    QVERIFY(!shown);
}

QTEST_MAIN(CadWindowTest)
#include "cad_window_test.moc"
