// The desktop program over the built-in CAD, driven through its buttons on the offscreen
// platform: the CAD window found by its title, a drawing opened from the CAD's File menu, and the
// runs in every scope with the pick and the preview answered as a user would.

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "builtin/builtin_cad.h"
#include "builtin/cad_window.h"
#include "builtin/drawing_view.h"
#include "builtin/plot_preview.h"
#include "cad/cad_session.h"
#include "tests/ui/ui_test_support.h"
#include "ui/output_options_window.h"
#include "ui/platform/desktop.h"
#include "ui/progress_window.h"

using kw::builtin::CadWindow;
using kw::builtin::DrawingView;

namespace {

// Three A3 frames (420 × 297) side by side at x 0, 500 and 1000, written 3rd, 1st, 2nd.
const char* const kFrames = "frames_r2018_utf8.dxf";

CadWindow* FindCadWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* cad = qobject_cast<CadWindow*>(window)) {
            return cad;
        }
    }
    return nullptr;
}

template <typename T> T* FindVisible() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(window); found != nullptr && found->isVisible()) {
            return found;
        }
    }
    return nullptr;
}

// Plays the user while a command runs: picks a window around the given drawing rectangle when
// the CAD asks for objects, and looks at the preview and closes it with Esc. What it saw is kept.
class User : public QObject {
public:
    User() {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] { Look(); });
        m_timer.start();
    }

    QRectF pickAround;
    QStringList seen;             // "pick", "preview", in order
    std::vector<QRectF> previews; // the plot window (drawing units) of each preview

private:
    void Look() {
        if (m_busy) {
            return;
        }
        m_busy = true;
        CadWindow* cad = FindCadWindow();
        if (cad != nullptr && cad->View()->Picking()) {
            seen.append(QStringLiteral("pick"));
            DrawingView& view = *cad->View();
            const QTransform toScreen = view.DrawingToScreen();
            const QPoint from = toScreen.map(pickAround.bottomLeft()).toPoint();
            const QPoint to = toScreen.map(pickAround.topRight()).toPoint();
            QTest::mouseClick(&view, Qt::LeftButton, {}, from);
            QTest::mouseClick(&view, Qt::LeftButton, {}, to);
            QTest::keyClick(&view, Qt::Key_Return);
        } else if (auto* preview = FindVisible<kw::builtin::PlotPreviewDialog>()) {
            seen.append(QStringLiteral("preview"));
            previews.push_back(preview->View()->Placement().windowDrawing);
            QTest::keyClick(preview, Qt::Key_Escape);
        }
        m_busy = false;
    }

    QTimer m_timer;
    bool m_busy = false;
};

// The desktop program's main window over a real built-in CAD, its program folder and the
// drawings in a temporary folder.
struct DesktopFixture {
    DesktopFixture() {
        QDir program(folder.path());
        program.mkpath(QStringLiteral("TEMPLATE"));
        QFile::copy(QStringLiteral(KW_CAD_TEMPLATE), program.filePath("TEMPLATE/acad.dwt"));
        program.mkpath(QStringLiteral("drawings"));
        drawing = program.filePath(QStringLiteral("drawings/") + kFrames);
        QFile::copy(QStringLiteral(KW_DRAWING_TESTDATA "/frames/") + kFrames, drawing);
        QFile::setPermissions(drawing, QFile::permissions(drawing) | QFileDevice::WriteOwner);

        kw::builtin::BuiltinOptions options;
        options.programFolder = folder.path().toStdString();
        options.printers = [] { return std::vector<kw::builtin::SystemPrinter>{}; };
        options.plotFolder = program.filePath(QStringLiteral("out")).toStdString();
        backend = std::make_shared<kw::builtin::BuiltinBackend>(options);
        session = std::make_unique<kw::CadSession>(
            [this] { return backend; },
            [this](const std::string& text) { messages.append(QString::fromStdString(text)); });
        window = std::make_unique<kw::ui::MainWindow>(
            kw::ui::MainWindowServices{*session, prompts, shell, folder.path(), [] {}});
        window->show();
    }
    ~DesktopFixture() {
        window.reset();
        session.reset();
        backend.reset();
    }

    // Get printer list, then the PDF device, an A3 sheet and a style table, as a user chooses.
    void ChooseDevice() {
        window->Command7->click();
        const int pdf = window->Combo1->findText(QStringLiteral("Kestrelwick PDF"));
        QVERIFY(pdf >= 0);
        window->Combo1->setCurrentIndex(pdf);
        emit window->Combo1->activated(pdf);
        const int a3 = window->Combo2->findText(QStringLiteral("A3"), Qt::MatchContains);
        QVERIFY(a3 >= 0);
        window->Combo2->setCurrentIndex(a3);
        window->Combo3->setCurrentIndex(window->Combo3->findText(QStringLiteral("acad.ctb")));
        QVERIFY(prompts.errors.isEmpty());
    }

    QTemporaryDir folder;
    QString drawing;
    std::shared_ptr<kw::builtin::BuiltinBackend> backend;
    std::unique_ptr<kw::CadSession> session;
    QStringList messages;
    kw::test::ScriptedPrompts prompts;
    kw::test::RecordingShell shell;
    std::unique_ptr<kw::ui::MainWindow> window;
};

} // namespace

class DesktopRunsTest : public QObject {
    Q_OBJECT

private slots:
    void CadWindowIsFoundByItsTitleAndOpensDrawingsFromItsMenu();
    void PreviewInEveryScopeShowsTheFirstFrameFound();
    void PlotInEveryScopeWritesOnePdfPerFrame();
    void EveryLayoutIsPlottedFromItselfWhenTheOutputOptionsSaySo();
    void ThePageFormatOfTheOutputOptionsWritesPictures();
};

void DesktopRunsTest::CadWindowIsFoundByItsTitleAndOpensDrawingsFromItsMenu() {
    DesktopFixture f;
    f.ChooseDevice();
    CadWindow* cad = FindCadWindow();
    QVERIFY(cad != nullptr);
    QVERIFY(cad->isVisible());

    // File → Open, answered as the user answers the file dialog.
    QString dialogTitle;
    cad->SetOpenPrompt([&](QWidget*, const QString& title, const QString&, const QString&) {
        dialogTitle = title;
        return f.drawing;
    });
    cad->findChild<QAction*>(QStringLiteral("FileOpen"))->trigger();
    QCOMPARE(dialogTitle, QStringLiteral("选择文件"));
    const std::string caption = f.session->Application()->Caption();
    QCOMPARE(caption, std::string(kw::builtin::kWindowTitle) + " - [" + kFrames + "]");
    QCOMPARE(cad->windowTitle(), QString::fromStdString(caption));
    kw::ui::BringWindowToFront(caption); // Error 5 when no window carries the title
    QVERIFY_EXCEPTION_THROWN(
        kw::ui::BringWindowToFront(std::string(kw::builtin::kWindowTitle) + " - [Drawing1.dxf]"),
        kw::Error);
}

void DesktopRunsTest::PreviewInEveryScopeShowsTheFirstFrameFound() {
    DesktopFixture f;
    f.ChooseDevice();
    User user;
    user.pickAround = QRectF(QPointF(480, -20), QPointF(940, 320)); // the second frame

    // The drawing open in the CAD: the first frame the selection delivers, the third one.
    QVERIFY(FindCadWindow()->OpenDrawing(f.drawing));
    f.window->Option1->click();
    f.window->xpcmdbutton1->click();
    QCOMPARE(f.prompts.errors, QStringList());
    QCOMPARE(user.seen, QStringList{QStringLiteral("preview")});
    QCOMPARE(user.previews.back().center().x(), 1210.0);
    QVERIFY(f.window->isVisible());

    // Part of it: the frame picked with a window.
    f.window->Option3->click();
    f.window->xpcmdbutton1->click();
    QCOMPARE(f.prompts.errors, QStringList());
    QCOMPARE(user.seen, (QStringList{"preview", "pick", "preview"}));
    QCOMPARE(user.previews.back().center().x(), 710.0);
    QCOMPARE(user.previews.back().width(), 420.0);

    // The first file of the list: opened, previewed, saved and closed; the list stays.
    f.session->Application()->ActiveDocument()->Close(false);
    f.window->Option2->click();
    f.prompts.openAnswers.push_back(QStringList{f.drawing});
    f.window->xpcmdbutton5->click();
    QCOMPARE(f.window->List2->count(), 1);
    const QDateTime before = QFileInfo(f.drawing).lastModified();
    f.window->xpcmdbutton1->click();
    QCOMPARE(f.prompts.errors, QStringList());
    QCOMPARE(user.seen, (QStringList{"preview", "pick", "preview", "preview"}));
    QCOMPARE(user.previews.back().center().x(), 1210.0);
    QCOMPARE(f.window->List2->count(), 1);
    QVERIFY(QFileInfo(f.drawing).lastModified() >= before);
    // The drawing was closed: the blank drawing from the template is the active one.
    QVERIFY(f.session->Application()->Caption().find(kFrames) == std::string::npos);
}

namespace {

QStringList PdfFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
}

// The progress window's end: its completion text, then a double-click gives the main window back.
void FinishRun(kw::ui::MainWindow& window) {
    kw::ui::ProgressWindow* progress = window.Progress();
    QVERIFY(progress != nullptr);
    QCOMPARE(progress->Label1->text(), QStringLiteral("图纸打印完成 双击窗口返回"));
    QTest::mouseDClick(progress->Label1, Qt::LeftButton);
    QTRY_VERIFY(window.Progress() == nullptr);
    QVERIFY(window.isVisible());
}

} // namespace

void DesktopRunsTest::PlotInEveryScopeWritesOnePdfPerFrame() {
    DesktopFixture f;
    f.ChooseDevice();
    User user;
    user.pickAround = QRectF(QPointF(480, -20), QPointF(940, 320)); // the second frame
    const QString out = QDir(f.folder.path()).filePath(QStringLiteral("out"));

    // The drawing open in the CAD: every frame, one page each.
    QVERIFY(FindCadWindow()->OpenDrawing(f.drawing));
    f.window->Option1->click();
    f.window->Command5->click();
    QCOMPARE(f.prompts.errors, QStringList());
    QVERIFY(user.seen.isEmpty());
    QCOMPARE(PdfFiles(out).size(), 3);
    FinishRun(*f.window);

    // Part of it: the one frame picked.
    f.window->Option3->click();
    f.window->Command5->click();
    QCOMPARE(f.prompts.errors, QStringList());
    QCOMPARE(user.seen, QStringList{QStringLiteral("pick")});
    QCOMPARE(PdfFiles(out).size(), 4);
    FinishRun(*f.window);

    // The list of files: opened, plotted, saved, closed and taken off the list.
    f.session->Application()->ActiveDocument()->Close(false);
    f.window->Option2->click();
    f.prompts.openAnswers.push_back(QStringList{f.drawing});
    f.window->xpcmdbutton5->click();
    f.window->Command5->click();
    QCOMPARE(f.prompts.errors, QStringList());
    QCOMPARE(f.window->List2->count(), 0);
    FinishRun(*f.window);
    const QStringList files = PdfFiles(out);
    QCOMPARE(files.size(), 7);
    for (const QString& file : files) {
        QVERIFY2(file.startsWith(QStringLiteral("frames_r2018_utf8-")), qPrintable(file));
        QFile pdf(QDir(out).filePath(file));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
    }
    QVERIFY(f.session->Application()->Caption().find(kFrames) == std::string::npos);
}

namespace {

// Answers the output options window with `choose`, then plots the layouts fixture as the current
// drawing; the folder the pages went to.
QString PlotLayoutsDrawing(DesktopFixture& f,
                           const std::function<void(kw::ui::OutputOptionsWindow&)>& choose) {
    const QString drawing = QDir(f.folder.path()).filePath(QStringLiteral("drawings/layouts.dxf"));
    if (!QFile::copy(QStringLiteral(KW_DRAWING_TESTDATA "/frames/layouts_r2013.dxf"), drawing)) {
        return {};
    }
    QTimer::singleShot(0, [&choose] {
        auto* options =
            qobject_cast<kw::ui::OutputOptionsWindow*>(QApplication::activeModalWidget());
        if (options == nullptr) {
            return;
        }
        choose(*options);
        options->Buttons->button(QDialogButtonBox::Ok)->click();
    });
    f.window->OpenOutputOptions();
    if (!FindCadWindow()->OpenDrawing(drawing)) {
        return {};
    }
    f.window->Option1->click();
    f.window->Command5->click();
    return QDir(f.folder.path()).filePath(QStringLiteral("out"));
}

} // namespace

// Model space's two frames, Layout1's frame from paper space and Layout2, which has none, whole on
// its own page setup's A2.
void DesktopRunsTest::EveryLayoutIsPlottedFromItselfWhenTheOutputOptionsSaySo() {
    DesktopFixture f;
    f.ChooseDevice();
    const QString out = PlotLayoutsDrawing(f, [](kw::ui::OutputOptionsWindow& options) {
        options.ComboLayouts->setCurrentIndex(2);
        options.CheckWholeLayouts->setChecked(true);
    });
    QVERIFY(!out.isEmpty());
    QCOMPARE(f.window->OutputOptions().layouts, std::string("all"));
    QCOMPARE(f.prompts.errors, QStringList());
    QCOMPARE(PdfFiles(out), (QStringList{"layouts-001.pdf", "layouts-002.pdf", "layouts-003.pdf",
                                         "layouts-004.pdf"}));
    FinishRun(*f.window);
}

// The desktop's choice of page format reaches the device: each frame a one-bit TIFF picture of
// the dots per inch chosen, under the page's name.
void DesktopRunsTest::ThePageFormatOfTheOutputOptionsWritesPictures() {
    DesktopFixture f;
    f.ChooseDevice();
    const QString folder = PlotLayoutsDrawing(f, [](kw::ui::OutputOptionsWindow& options) {
        options.ComboFormat->setCurrentIndex(2);
        options.SpinDpi->setValue(50);
        options.CheckMonochrome->setChecked(true);
    });
    QVERIFY(!folder.isEmpty());
    QCOMPARE(f.window->OutputOptions().pageFormat, std::string("tiff"));
    QCOMPARE(f.prompts.errors, QStringList());
    const QDir out(folder);
    const QStringList pictures = out.entryList({QStringLiteral("*.tif")}, QDir::Files, QDir::Name);
    QCOMPARE(pictures, (QStringList{"layouts-001.tif", "layouts-002.tif", "layouts-003.tif"}));
    QVERIFY(out.entryList({QStringLiteral("*.pdf")}, QDir::Files).isEmpty());
    const QImage first(out.filePath(pictures.front()));
    QCOMPARE(first.depth(), 1);
    QCOMPARE(first.dotsPerMeterX(), qRound(50 / 0.0254));
    FinishRun(*f.window);
}

QTEST_MAIN(DesktopRunsTest)
#include "desktop_runs_test.moc"
