// The catalog commands and the runs started from the main window's buttons, against the
// substitute CAD: what the windows show before, during and after.

#include <QApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QtTest>

#include "engine/plot_run.h"
#include "tests/ui/ui_test_support.h"

using kw::test::CadScript;
using kw::test::DocumentScript;
using kw::test::EntityScript;
using kw::test::MainWindowFixture;

namespace {

CadScript TwoDrawings() {
    CadScript script;
    DocumentScript framed;
    framed.entities = {EntityScript::Rectangle("图框", 0, 0, 420, 297),
                       EntityScript::Rectangle("图框", 500, 0, 920, 297)};
    script.files["/d/1.dwg"] = framed;
    script.files["/d/2.dwg"] = DocumentScript{};
    script.files["/d/open.dwg"] = framed;
    script.activeDocument = "/d/open.dwg";
    return script;
}

void DropDrawings(kw::ui::MainWindow& w, const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.List2->viewport(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.List2->viewport(), &drop);
}

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items.append(combo->itemText(i));
    }
    return items;
}

// The CAD application's main window, which the runs bring to the front by its title; the
// built-in CAD lives in the program's own process like this.
struct CadWindow {
    explicit CadWindow(const CadScript& script) {
        window.setWindowTitle(QString::fromStdString(script.caption));
        window.show();
    }
    QWidget window;
};

} // namespace

class RunsTest : public QObject {
    Q_OBJECT
private slots:
    void GetPrinterListFillsTheListsKeepingTextsAndUnlocksRuns();
    void ChoosePrinterShowsDisplayNamesAndAppliesItsRecord();
    void ConnectFailureShowsItsPlainMessage();
    void SelectedFilesRunHidesMainShowsProgressAndReturnsOnDoubleClick();
    void FailingRunShowsOneMessageAndKeepsTheLastPageText();
    void PartRunWithoutCadWindowReportsFiveAndGivesMainWindowBack();
    void PreviewKeepsMainWindowAndList();
    void AnErrorBoxOverATopmostWindowStaysOnTopOfIt();
};

void RunsTest::GetPrinterListFillsTheListsKeepingTextsAndUnlocksRuns() {
    MainWindowFixture f(TwoDrawings());
    auto& w = f.Open();
    w.Combo2->setEditText(QStringLiteral("typed paper"));
    w.Command7->click();
    QCOMPARE(Items(w.Combo1), (QStringList{"DWF6 ePlot.pc3", "Office Plotter"}));
    QCOMPARE(Items(w.Combo2),
             (QStringList{"ISO_A4_(210.00_x_297.00_MM)", "ISO_A3_(420.00_x_297.00_MM)"}));
    QCOMPARE(Items(w.Combo3), (QStringList{"acad.ctb", "monochrome.ctb"}));
    // No command selects an entry: the boxes keep their texts.
    QVERIFY(w.Combo1->currentText().isEmpty());
    QCOMPARE(w.Combo2->currentText(), QStringLiteral("typed paper"));
    QVERIFY(w.Command5->isEnabled() && w.xpcmdbutton1->isEnabled());
    QCOMPARE(f.cad->CallsStartingWith("Document.SendCommand").size(), std::size_t{1});
    QVERIFY(f.prompts.errors.isEmpty());
}

void RunsTest::ChoosePrinterShowsDisplayNamesAndAppliesItsRecord() {
    MainWindowFixture f(TwoDrawings());
    kw::test::WriteLines(
        f.FilePath(QStringLiteral("Kestrelwick.ini")),
        {"380", "0", "图框", "RmTK", "tk_xref", "Office Plotter", "7", "30", "True"});
    auto& w = f.Open();
    w.Command7->click();
    w.Combo1->setCurrentIndex(1);
    emit w.Combo1->activated(1);
    QCOMPARE(w.Combo1->currentText(), QStringLiteral("Office Plotter"));
    QCOMPARE(Items(w.Combo2),
             (QStringList{"ISO A4 (210.00 x 297.00 毫米)", "ISO A3 (420.00 x 297.00 毫米)"}));
    QCOMPARE(w.Papers().PaperCount(), 2);
    QCOMPARE(w.Text34->text(), QStringLiteral("7"));
    QCOMPARE(w.Text33->text(), QStringLiteral("30"));
    QVERIFY(w.Option4->isChecked());
    QVERIFY(w.Settings().portrait);
    QCOMPARE(f.cad->CallsStartingWith("Layout.ConfigName").back(),
             std::string("Layout.ConfigName=Office Plotter"));

    // A device without a record leaves offsets and orientation alone.
    w.Text34->setText(QStringLiteral("9"));
    w.Combo1->setCurrentIndex(0);
    emit w.Combo1->activated(0);
    QCOMPARE(w.Text34->text(), QStringLiteral("9"));
    QVERIFY(w.Option4->isChecked());
    QVERIFY(f.prompts.errors.isEmpty());
}

void RunsTest::ConnectFailureShowsItsPlainMessage() {
    CadScript script;
    script.running = false;
    script.canStart = false;
    MainWindowFixture f(script);
    auto& w = f.Open();
    w.Command7->click();
    QCOMPARE(f.connectMessages, QStringList{QString::fromStdString(script.startFailure)});
    QVERIFY(!w.Command5->isEnabled());
}

void RunsTest::SelectedFilesRunHidesMainShowsProgressAndReturnsOnDoubleClick() {
    const CadScript script = TwoDrawings();
    CadWindow cadWindow(script);
    MainWindowFixture f(script);
    auto& w = f.Open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DropDrawings(w, {"/d/2.dwg", "/d/1.dwg"});
    w.Command7->click();
    w.Command5->click();

    QVERIFY(f.prompts.errors.isEmpty());
    QVERIFY(w.isHidden());
    kw::ui::ProgressWindow* progress = w.Progress();
    QVERIFY(progress != nullptr);
    QVERIFY(progress->isVisible());
    QVERIFY(progress->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(progress->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(progress->Label1->text(), QStringLiteral("图纸打印完成 双击窗口返回"));
    QVERIFY(!progress->Label3->text().isEmpty());
    QVERIFY(!progress->Label5->text().isEmpty());
    QCOMPARE(progress->Label2->text(), QStringLiteral("开始时间："));
    // The labels grew to hold their texts.
    QVERIFY(progress->Label1->width() >= progress->Label1->sizeHint().width());
    // Both drawings were opened, saved, closed and taken off the list.
    QCOMPARE(f.cad->Saved(), (std::vector<std::string>{"/d/1.dwg", "/d/2.dwg"}));
    QCOMPARE(f.cad->CallsStartingWith("Plot.PlotToDevice").size(), std::size_t{2});
    QCOMPARE(w.List2->count(), 0);
    QVERIFY(QFile::exists(f.FilePath(QStringLiteral("Kestrelwick.ini"))));

    // A double-click on a label closes the progress window and gives the main window back.
    QTest::mouseDClick(progress->Label3, Qt::LeftButton);
    QTRY_VERIFY(w.Progress() == nullptr);
    QVERIFY(w.isVisible());

    // The next run's progress window starts from its load captions.
    kw::RunHost& host = w;
    host.ShowProgress();
    QVERIFY(w.Progress() != nullptr);
    QCOMPARE(w.Progress()->Label1->text(), QStringLiteral("正在打印第   页  共   页"));
    QVERIFY(w.Progress()->Label3->text().isEmpty());
}

void RunsTest::FailingRunShowsOneMessageAndKeepsTheLastPageText() {
    CadScript script = TwoDrawings();
    script.failures["Document.Close"] = {kw::errors::kCannotSave, "open elsewhere", 2};
    CadWindow cadWindow(script);
    MainWindowFixture f(script);
    auto& w = f.Open();
    w.show();
    DropDrawings(w, {"/d/1.dwg", "/d/2.dwg"});
    w.Command7->click();
    w.Command5->click();

    QCOMPARE(f.prompts.errors, QStringList{QStringLiteral("文件已打开，不能保存！")});
    kw::ui::ProgressWindow* progress = w.Progress();
    QVERIFY(progress != nullptr);
    // The box belongs to the progress window, which stays on top: owned by the hidden main
    // window it would open beneath it.
    QCOMPARE(f.prompts.errorOwners.size(), std::size_t{1});
    QVERIFY(f.prompts.errorOwners[0] == progress);
    QCOMPARE(progress->Label1->text(), QString::fromStdString(kw::PageText(2, 2)));
    QCOMPARE(progress->Label1->text(), QStringLiteral("正在打印第 2 页   共 2 页"));
    QVERIFY(progress->Label5->text().isEmpty());
    QVERIFY(w.isHidden());
    // The failing drawing stays first in the list.
    QCOMPARE(w.List2->count(), 1);
    QCOMPARE(w.List2->item(0)->text(), QStringLiteral("/d/2.dwg"));

    QTest::mouseDClick(progress, Qt::LeftButton);
    QTRY_VERIFY(w.Progress() == nullptr);
    QVERIFY(w.isVisible());
}

void RunsTest::PartRunWithoutCadWindowReportsFiveAndGivesMainWindowBack() {
    MainWindowFixture f(TwoDrawings()); // no window carries the CAD caption
    auto& w = f.Open();
    w.show();
    w.Command7->click();
    w.Option3->click();
    w.Command5->click();
    QCOMPARE(f.prompts.errors, QStringList{QStringLiteral("操作不当或其它未知错误：5")});
    QVERIFY(f.prompts.errorOwners.at(0) == &w);
    QVERIFY(w.isVisible());
    QVERIFY(w.Progress() == nullptr);
}

void RunsTest::PreviewKeepsMainWindowAndList() {
    const CadScript script = TwoDrawings();
    CadWindow cadWindow(script);
    MainWindowFixture f(script);
    auto& w = f.Open();
    w.show();
    DropDrawings(w, {"/d/1.dwg", "/d/2.dwg"});
    w.Command7->click();
    w.xpcmdbutton1->click();
    QVERIFY(f.prompts.errors.isEmpty());
    QVERIFY(w.isVisible());
    QVERIFY(w.Progress() == nullptr);
    QCOMPARE(f.cad->CallsStartingWith("Plot.DisplayPlotPreview").size(), std::size_t{1});
    QCOMPARE(w.List2->count(), 2);
}

void RunsTest::AnErrorBoxOverATopmostWindowStaysOnTopOfIt() {
    QWidget progress;
    progress.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    progress.show();
    QWidget main;
    struct Seen {
        bool shown = false;
        bool topmost = false;
        QWidget* parent = nullptr;
    };
    // Closes the box the prompt shows (it waits for OK), noting how it stands.
    const auto answer = [](Seen& seen) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, timer, [timer, &seen] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box != nullptr && box->isVisible()) {
                    seen = {true, box->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                            box->parentWidget()};
                    box->accept();
                    timer->deleteLater();
                    return;
                }
            }
        });
        timer->start(10);
    };
    Seen overProgress, overMain;
    kw::ui::QtPrompts prompts;
    answer(overProgress);
    prompts.Error(&progress, QStringLiteral("操作不当或其它未知错误：53"));
    answer(overMain);
    prompts.Message(&main, QStringLiteral("Kestrelwick"), QStringLiteral("text"));
    QVERIFY(overProgress.shown && overMain.shown);
    QVERIFY(overProgress.topmost);
    QVERIFY(overProgress.parent == &progress);
    QVERIFY(!overMain.topmost);
}

QTEST_MAIN(RunsTest)
#include "runs_test.moc"
