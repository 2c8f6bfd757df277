// The main window: start-up, layout, panel rules, the drawing list and its files, help, the
// About window and exit.

#include <QApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QtTest>

#include "tests/ui/ui_test_support.h"
#include "ui/aboutfrm.h"
#include "ui/maker.h"
#include "ui/twips.h"

using kw::test::MainWindowFixture;

namespace {

QStringList Entries(const QListWidget* list) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) {
        entries.append(list->item(i)->text());
    }
    return entries;
}

void Drop(QListWidget* list, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
}

void MoveOver(QListWidget* list, int y) {
    QMouseEvent move(QEvent::MouseMove, QPointF(20, y),
                     list->viewport()->mapToGlobal(QPointF(20, y)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
}

QString Five(const kw::ui::plotfrm& w) {
    return QStringList{w.Text32->text(), w.Text2->text(), w.Text1->text(), w.Text3->text(),
                       w.Text4->text()}
        .join(QLatin1Char('|'));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void StartupWithoutSettingsFileShowsDefaultsAndLocksRuns();
    void StartupReadsFiveValuesAndPrinterRecords();
    void StartupFailureFallsBackToDefaultsSilently();
    void ControlsSitAtTheirTwipsPlacesAndFrame6IsReachableByTab();
    void ScopeOptionsSwitchTheListGroup();
    void CentringAndPlotStylesRules();
    void DropAddsDrawingsSortedAndTooltipFollowsRows();
    void RemoveByDoubleClickSelectionAndAll();
    void AddFromDialogJoinsFolderAndNamesAndReportsCancel();
    void ListFileRoundTripThroughTheDialogs();
    void ListFileCancelMessages();
    void HelpOpensTheFileBesideTheProgramAndExitEnds();
    void MoreSoftwareOpensSiteThenAboutWithItsLinks();
};

void MainWindowTest::StartupWithoutSettingsFileShowsDefaultsAndLocksRuns() {
    int promotions = 0;
    MainWindowFixture f({}, [&] { ++promotions; });
    auto& w = f.Open();
    QCOMPARE(promotions, 1);
    QCOMPARE(w.windowTitle(), QStringLiteral("Kestrelwick V3.3"));
    QCOMPARE(Five(w), QStringLiteral("380|0|图框|RmTK|tk_xref"));
    QVERIFY(!w.Command5->isEnabled());
    QVERIFY(!w.xpcmdbutton1->isEnabled());
    QVERIFY(w.Command7->isEnabled());
    QCOMPARE(w.List2->count(), 0);
    QCOMPARE(w.Combo1->count(), 0);
    QVERIFY(w.Combo1->currentText().isEmpty());
    QCOMPARE(w.HelpFile(), f.FilePath(QStringLiteral("Kestrelwick.chm")));

    // The design state: the settings a run would read without the user touching anything.
    const kw::PlotSettings s = w.Settings();
    QCOMPARE(s.mode, kw::PlotMode::SelectedFiles);
    QCOMPARE(s.frameKind, kw::FrameKind::PolylineLayer);
    QVERIFY(!s.rowsBottomUp && !s.portrait && !s.reversePlot && !s.centerPlot);
    QVERIFY(s.plotLineweights && s.plotStyles && !s.hideObjects);
    QCOMPARE(s.offsetX, std::string("5"));
    QCOMPARE(s.offsetY, std::string("25"));
    QCOMPARE(s.copies, std::string("1"));
    QVERIFY(!w.Check7->isEnabled());
    QCOMPARE(w.Check8->text(), QStringLiteral("打印样式 "));
    QCOMPARE(w.Command7->text(), QStringLiteral("  获取打印机列表"));
    QCOMPARE(w.List2->toolTip(), QStringLiteral("双击删除单个列表"));
    QCOMPARE(w.xpcmdbutton5->toolTip(), QStringLiteral("支持资源管理器拖放文件！"));
}

void MainWindowTest::StartupReadsFiveValuesAndPrinterRecords() {
    MainWindowFixture f;
    kw::test::WriteLines(
        f.FilePath(QStringLiteral("Kestrelwick.ini")),
        {"420", "1.5", "TK层", "TKBLOCK", "tk_x2", "Office Plotter", "7", "30", "True"});
    auto& w = f.Open();
    QCOMPARE(Five(w), QStringLiteral("420|1.5|TK层|TKBLOCK|tk_x2"));
    QCOMPARE(w.Printers().RecordCount(), 1);
    QCOMPARE(w.Printers().records[0].offsetY, std::string("30"));
    // Stored offsets wait for Choose printer: the boxes keep their design values.
    QCOMPARE(w.Text34->text(), QStringLiteral("5"));
}

void MainWindowTest::StartupFailureFallsBackToDefaultsSilently() {
    {
        // A malformed settings file (a printer record cut short).
        MainWindowFixture f;
        kw::test::WriteLines(f.FilePath(QStringLiteral("Kestrelwick.ini")),
                             {"420", "1.5", "TK", "B", "X", "Office Plotter", "7"});
        auto& w = f.Open();
        QCOMPARE(Five(w), QStringLiteral("380|0|图框|RmTK|tk_xref"));
        QCOMPARE(w.Printers().RecordCount(), 0);
        QVERIFY(f.prompts.errors.isEmpty());
    }
    {
        // A promotional window that cannot be shown abandons the rest, settings file included.
        MainWindowFixture f({}, [] { throw std::runtime_error("no window"); });
        kw::test::WriteLines(f.FilePath(QStringLiteral("Kestrelwick.ini")),
                             {"420", "1.5", "TK", "B", "X"});
        auto& w = f.Open();
        QCOMPARE(Five(w), QStringLiteral("380|0|图框|RmTK|tk_xref"));
        QVERIFY(f.prompts.errors.isEmpty());
        QVERIFY(f.prompts.messages.isEmpty());
    }
}

void MainWindowTest::ControlsSitAtTheirTwipsPlacesAndFrame6IsReachableByTab() {
    using kw::ui::TwipsRect;
    MainWindowFixture f;
    auto& w = f.Open();
    QCOMPARE(w.size(), TwipsRect(0, 0, 8310, 8100).size());
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(w.Text32->geometry(), TwipsRect(1800, 480, 735, 270));
    QCOMPARE(w.Text32->parentWidget(), w.Frame4);
    QCOMPARE(w.Command5->geometry(), TwipsRect(6000, 7080, 1575, 375));
    QCOMPARE(w.xpcmdbutton9->geometry(), TwipsRect(6480, 2340, 1215, 375));
    QCOMPARE(w.xpcmdbutton9->parentWidget(), w.Frame1);
    QCOMPARE(w.List2->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(w.Combo1->isEditable() && w.Combo2->isEditable() && w.Combo3->isEditable());

    // Frame6 lies wholly beyond the right edge, yet Tab reaches Check8 in it.
    QVERIFY(w.Frame6->geometry().left() >= w.width());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Command5->setEnabled(true);
    bool reached = false;
    QWidget* focus = w.Text32;
    for (int i = 0; i < 100 && !reached; ++i) {
        focus = focus->nextInFocusChain();
        reached = focus == w.Check8;
    }
    QVERIFY(reached);
    w.Check8->setFocus();
    QTest::keyClick(w.Check8, Qt::Key_Space);
    QVERIFY(!w.Check8->isChecked());
    QVERIFY(w.Check7->isEnabled());

    const QFont font = w.Command5->font();
    QVERIFY(font.families().contains(QStringLiteral("宋体")));
    QCOMPARE(font.pointSizeF(), 9.0);
    QVERIFY(!kw::ui::ChineseFontFamily().isEmpty());
}

void MainWindowTest::ScopeOptionsSwitchTheListGroup() {
    MainWindowFixture f;
    auto& w = f.Open();
    const QList<QWidget*> group{w.Frame1,       w.xpcmdbutton5, w.xpcmdbutton6, w.xpcmdbutton7,
                                w.xpcmdbutton8, w.xpcmdbutton9, w.List2};
    const auto allEnabled = [&](bool enabled) {
        for (QWidget* control : group) {
            if (control->isEnabled() != enabled) {
                return false;
            }
        }
        return true;
    };
    Drop(w.List2, {QUrl::fromLocalFile(QStringLiteral("/d/a.dwg"))});
    w.Option1->click();
    QVERIFY(allEnabled(false));
    QCOMPARE(w.Settings().mode, kw::PlotMode::CurrentDrawing);
    w.Option3->click();
    QVERIFY(allEnabled(false));
    QCOMPARE(w.Settings().mode, kw::PlotMode::CurrentDrawingPart);
    w.Option2->click();
    QVERIFY(allEnabled(true));
    QCOMPARE(w.List2->count(), 1); // the list kept its entries
    w.Option2->click();            // already selected: no change
    QVERIFY(allEnabled(true));
}

void MainWindowTest::CentringAndPlotStylesRules() {
    MainWindowFixture f;
    auto& w = f.Open();
    w.Check6->click();
    QVERIFY(!w.Text33->isEnabled() && !w.Text34->isEnabled());
    QCOMPARE(w.Text33->text(), QStringLiteral("25"));
    QCOMPARE(w.Text34->text(), QStringLiteral("5"));
    QVERIFY(w.Settings().centerPlot);
    w.Check6->click();
    QVERIFY(w.Text33->isEnabled() && w.Text34->isEnabled());

    // Plot styles off: lineweights stay on but become the user's to clear.
    w.Check8->click();
    QVERIFY(w.Check7->isEnabled() && w.Check7->isChecked());
    w.Check7->click();
    QVERIFY(!w.Settings().plotLineweights);
    // Plot styles on again force lineweights on and lock them.
    w.Check8->click();
    QVERIFY(w.Check7->isChecked() && !w.Check7->isEnabled());
    QVERIFY(w.Settings().plotLineweights && w.Settings().plotStyles);
}

void MainWindowTest::DropAddsDrawingsSortedAndTooltipFollowsRows() {
    MainWindowFixture f;
    auto& w = f.Open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Drop(w.List2, {QUrl::fromLocalFile(QStringLiteral("/d/b.dwg")),
                   QUrl::fromLocalFile(QStringLiteral("/d/B.DWG")),
                   QUrl::fromLocalFile(QStringLiteral("/d/c.txt")),
                   QUrl(QStringLiteral("https://www.quillmere.example/x.dwg")),
                   QUrl::fromLocalFile(QStringLiteral("/d/A.dxf")),
                   QUrl::fromLocalFile(QStringLiteral("/d/b.dwg"))});
    QCOMPARE(Entries(w.List2), (QStringList{"/d/A.dxf", "/d/b.dwg", "/d/b.dwg"}));
    QCOMPARE(w.Drawings().Count(), 3);

    const int row = w.List2->visualItemRect(w.List2->item(0)).height();
    QVERIFY(row > 0);
    MoveOver(w.List2, row + row / 2); // the second row
    QCOMPARE(w.List2->toolTip(), QStringLiteral("/d/b.dwg"));
    MoveOver(w.List2, row / 2);
    QCOMPARE(w.List2->toolTip(), QStringLiteral("/d/A.dxf"));
    MoveOver(w.List2, row * 5);
    QCOMPARE(w.List2->toolTip(), QStringLiteral("双击删除单个列表，支持资源管理器拖放文件"));
}

void MainWindowTest::RemoveByDoubleClickSelectionAndAll() {
    MainWindowFixture f;
    auto& w = f.Open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QList<QUrl> urls;
    for (const char* name : {"/d/1.dwg", "/d/2.dwg", "/d/3.dwg", "/d/4.dwg", "/d/5.dwg"}) {
        urls.append(QUrl::fromLocalFile(QString::fromLatin1(name)));
    }
    Drop(w.List2, urls);

    const QRect second = w.List2->visualItemRect(w.List2->item(1));
    QTest::mouseDClick(w.List2->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(Entries(w.List2), (QStringList{"/d/1.dwg", "/d/3.dwg", "/d/4.dwg", "/d/5.dwg"}));

    w.List2->clearSelection();
    w.List2->item(0)->setSelected(true);
    w.List2->item(3)->setSelected(true);
    w.xpcmdbutton7->click();
    QCOMPARE(Entries(w.List2), (QStringList{"/d/3.dwg", "/d/4.dwg"}));
    QCOMPARE(w.Drawings().Count(), 2);

    w.xpcmdbutton6->click();
    QCOMPARE(w.List2->count(), 0);
    QCOMPARE(w.Drawings().Count(), 0);
}

void MainWindowTest::AddFromDialogJoinsFolderAndNamesAndReportsCancel() {
    MainWindowFixture f;
    auto& w = f.Open();
    f.prompts.openAnswers.push_back(QStringList{"/plans/c.dwg", "/plans/a.dwg", "/plans/B.dwg"});
    f.prompts.openAnswers.push_back(QStringList{"/plans/a.dwg"}); // already listed: skipped
    f.prompts.openAnswers.push_back(QStringList{"/plans/A.dwg"}); // other case: added
    f.prompts.openAnswers.push_back(std::nullopt);                // cancelled
    for (int i = 0; i < 4; ++i) {
        w.xpcmdbutton5->click();
    }
    QCOMPARE(Entries(w.List2),
             (QStringList{"/plans/a.dwg", "/plans/A.dwg", "/plans/B.dwg", "/plans/c.dwg"}));
    QCOMPARE(f.prompts.openTitles.value(0), QStringLiteral("Select File(s)..."));
    QCOMPARE(f.prompts.openFilters.value(0), QStringLiteral("图形 (*.dwg)"));
    QCOMPARE(f.prompts.errors, QStringList{QStringLiteral("请选择文件！")});
}

void MainWindowTest::ListFileRoundTripThroughTheDialogs() {
    MainWindowFixture f;
    auto& w = f.Open();
    Drop(w.List2, {QUrl::fromLocalFile(QStringLiteral("/d/图纸b.dwg")),
                   QUrl::fromLocalFile(QStringLiteral("/d/a.dwg")),
                   QUrl::fromLocalFile(QStringLiteral("/d/c.dwg"))});
    const QString listFile = f.FilePath(QStringLiteral("list.txt"));
    f.prompts.fileAnswers.push_back(listFile);
    w.xpcmdbutton8->click();
    QVERIFY(f.prompts.errors.isEmpty());
    const QByteArray bytes = kw::test::ReadBytes(listFile);
    QCOMPARE(bytes, QByteArray("/d/a.dwg\r\n/d/c.dwg\r\n/d/\xcd\xbc\xd6\xbd"
                               "b.dwg\r\n"));
    QCOMPARE(f.prompts.fileCalls[0].kind, kw::ui::FileDialogKind::Save);
    QCOMPARE(f.prompts.fileCalls[0].title, QStringLiteral("保存列表文件"));
    QCOMPARE(f.prompts.fileCalls[0].filters,
             (QStringList{"列表文件(*.txt)", "所有文件（*.*) (*)"}));

    // Read it back: the dialog opens with the name last chosen.
    w.xpcmdbutton6->click();
    kw::test::WriteLines(listFile, {"/d/z.dwg", "", "/d/a.dwg", "/d/a.dwg"});
    f.prompts.fileAnswers.push_back(listFile);
    w.xpcmdbutton9->click();
    QCOMPARE(f.prompts.fileCalls[1].kind, kw::ui::FileDialogKind::Open);
    QCOMPARE(f.prompts.fileCalls[1].title, QStringLiteral("读取列表文件"));
    QCOMPARE(f.prompts.fileCalls[1].fileName, listFile);
    QCOMPARE(Entries(w.List2), (QStringList{"", "/d/a.dwg", "/d/a.dwg", "/d/z.dwg"}));
}

void MainWindowTest::ListFileCancelMessages() {
    MainWindowFixture f;
    auto& w = f.Open();
    Drop(w.List2, {QUrl::fromLocalFile(QStringLiteral("/d/a.dwg"))});
    f.prompts.fileAnswers.push_back(std::nullopt);
    w.xpcmdbutton8->click();
    f.prompts.fileAnswers.push_back(std::nullopt);
    w.xpcmdbutton9->click();
    f.prompts.fileAnswers.push_back(f.FilePath(QStringLiteral("missing.txt")));
    w.xpcmdbutton9->click();
    QCOMPARE(f.prompts.errors,
             (QStringList{"保存文件被取消！", "读取文件被取消！", "数据文件格式有误或操作不当！"}));
    // A cancelled or failed read no longer throws the list away.
    QCOMPARE(Entries(w.List2), QStringList{QStringLiteral("/d/a.dwg")});
}

void MainWindowTest::HelpOpensTheFileBesideTheProgramAndExitEnds() {
    MainWindowFixture f;
    auto& w = f.Open();
    w.xpcmdbutton4->click();
    QCOMPARE(f.shell.helpFiles, QStringList{f.FilePath(QStringLiteral("Kestrelwick.chm"))});
    QCOMPARE(f.prompts.errors.size(), 0);
    w.xpcmdbutton3->click();
    QCOMPARE(f.shell.ends, 1);
}

void MainWindowTest::MoreSoftwareOpensSiteThenAboutWithItsLinks() {
    MainWindowFixture f;
    auto& w = f.Open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QStringList seenBeforeAbout;
    QString caption;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<kw::ui::aboutfrm*>(QApplication::activeModalWidget());
        QVERIFY(about != nullptr);
        seenBeforeAbout = f.shell.addresses;
        caption = about->windowTitle();
        QTest::mouseClick(about->lblBGHeadInfo1, Qt::LeftButton);
        QTest::mouseClick(about->picBGHeadIcon, Qt::LeftButton);
        QTest::mouseClick(about->picBGHead, Qt::LeftButton);
        QTest::mouseClick(about->Label4, Qt::LeftButton);
        QTest::mouseClick(about->lblHomepage, Qt::LeftButton);
        QTest::mouseClick(about->Label9, Qt::LeftButton); // no action of its own
        about->Command1->click();
    });
    w.xpcmdbutton2->click();
    const QString site = QString::fromUtf8(kw::ui::maker::kWebSite);
    QCOMPARE(seenBeforeAbout, QStringList{site});
    QCOMPARE(caption, QStringLiteral("Quillmere"));
    QCOMPARE(f.shell.addresses, (QStringList{site, site, site, site, site,
                                             QStringLiteral("mailto:") +
                                                 QString::fromUtf8(kw::ui::maker::kAuthorMail)}));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
