// The main window: start-up, layout, panel rules, the drawing list and its files, help, the
// About window and exit.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QtTest>

#include "tests/ui/ui_test_support.h"
#include "ui/about_window.h"
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

QString Five(const kw::ui::MainWindow& w) {
    return QStringList{w.Text32->text(), w.Text2->text(), w.Text1->text(), w.Text3->text(),
                       w.Text4->text()}
        .join(QLatin1Char('|'));
}

// Every control of the main window: name, the group it sits in, caption or default text, and its
// place in twips (left, top, width, height) relative to that group.
struct ControlRow {
    const char* name;
    const char* group;
    const char* caption;
    int left, top, width, height;
};

const ControlRow kControls[] = {
    {"Frame1", "plotfrm", "初始化文件", 120, 120, 8055, 2895},
    {"List2", "Frame1", "", 120, 240, 7755, 1860},
    {"xpcmdbutton5", "Frame1", "  添加文件", 360, 2340, 1215, 375},
    {"xpcmdbutton7", "Frame1", "  删除选择", 1890, 2340, 1215, 375},
    {"xpcmdbutton6", "Frame1", "  删除全部", 3420, 2340, 1215, 375},
    {"xpcmdbutton8", "Frame1", "  保存列表", 4950, 2340, 1215, 375},
    {"xpcmdbutton9", "Frame1", "  读取列表", 6480, 2340, 1215, 375},
    {"Frame8", "plotfrm", "是否多文档", 120, 3120, 4695, 735},
    {"Option2", "Frame8", "选择文件", 360, 350, 1215, 255},
    {"Option1", "Frame8", "当前图形", 1680, 350, 1095, 255},
    {"Option3", "Frame8", "当前图形局部", 3000, 360, 1455, 255},
    {"Frame9", "plotfrm", "打印顺序（从左往右）", 4920, 3120, 3255, 735},
    {"Option6", "Frame9", "从上往下", 480, 350, 1935, 255},
    {"Option7", "Frame9", "从下往上", 1800, 350, 1215, 255},
    {"Frame2", "plotfrm", "打印机", 120, 3960, 4695, 1455},
    {"Label33", "Frame2", "打印机名称", 240, 255, 975, 255},
    {"Combo1", "Frame2", "", 1320, 240, 3255, 300},
    {"Label39", "Frame2", "图纸尺寸", 480, 615, 735, 255},
    {"Combo2", "Frame2", "", 1320, 600, 3255, 300},
    {"Label36", "Frame2", "样式表名称", 240, 1020, 975, 255},
    {"Combo3", "Frame2", "", 1320, 960, 3255, 300},
    {"Frame3", "plotfrm", "图纸方向", 4920, 3960, 3255, 735},
    {"Option4", "Frame3", "纵 向", 120, 350, 855, 255},
    {"Option5", "Frame3", "横 向", 1080, 350, 855, 255},
    {"Check5", "Frame3", "反向打印", 1920, 360, 1095, 255},
    {"Frame7", "plotfrm", "份数", 4920, 4800, 3255, 615},
    {"Label46", "Frame7", "打印份数", 600, 240, 855, 255},
    {"Text42", "Frame7", "1", 1560, 240, 855, 270},
    {"Frame10", "plotfrm", "图框类型", 120, 5520, 3135, 1455},
    {"Option9", "Frame10", "多段线，图层", 240, 360, 1515, 255},
    {"Text1", "Frame10", "图框", 1920, 360, 1095, 270},
    {"Option10", "Frame10", "块参照，名称", 240, 720, 1455, 255},
    {"Text3", "Frame10", "RmTK", 1920, 720, 1095, 270},
    {"Option8", "Frame10", "外部参照，名称", 240, 1080, 1575, 255},
    {"Text4", "Frame10", "tk_xref", 1920, 1080, 1095, 270},
    {"Frame4", "plotfrm", "图框大小", 3360, 5520, 2655, 1455},
    {"Label40", "Frame4", "标准图框打印长度", 240, 495, 1575, 255},
    {"Text32", "Frame4", "380", 1800, 480, 735, 270},
    {"Label2", "Frame4", "图框点坐标附加值", 240, 960, 1575, 240},
    {"Text2", "Frame4", "0", 1800, 960, 735, 270},
    {"Frame5", "plotfrm", "打印偏移", 6120, 5520, 2055, 1455},
    {"Check6", "Frame5", "居中打印", 240, 360, 1095, 255},
    {"Label35", "Frame5", "打印偏距X", 240, 720, 855, 255},
    {"Text34", "Frame5", "5", 1200, 705, 735, 270},
    {"Label34", "Frame5", "打印偏距Y", 240, 1080, 855, 255},
    {"Text33", "Frame5", "25", 1200, 1080, 735, 270},
    {"Frame6", "plotfrm", "打印选项", 8520, 5640, 2295, 1335},
    {"Check7", "Frame6", "打印对象线宽", 480, 240, 1575, 255},
    {"Check8", "Frame6", "打印样式 ", 480, 600, 1095, 255},
    {"Check9", "Frame6", "隐藏对象", 480, 960, 1095, 255},
    {"Command7", "plotfrm", "  获取打印机列表", 720, 7080, 1575, 375},
    {"xpcmdbutton1", "plotfrm", "  预 览", 3360, 7080, 1575, 375},
    {"Command5", "plotfrm", "  批量打印", 6000, 7080, 1575, 375},
    {"xpcmdbutton2", "plotfrm", "  更多软件", 720, 7560, 1575, 375},
    {"xpcmdbutton4", "plotfrm", "  帮 助", 3360, 7560, 1575, 375},
    {"xpcmdbutton3", "plotfrm", "  退 出", 6000, 7560, 1575, 375},
};

// What a control shows as its caption or text.
QString Caption(const QWidget* control) {
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
        return group->title();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return edit->text();
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
        return combo->currentText();
    }
    return {};
}

// Records, in order, the controls whose enabled state changed.
class EnabledChanges : public QObject {
public:
    explicit EnabledChanges(const QList<QWidget*>& controls) {
        for (QWidget* control : controls) {
            control->installEventFilter(this);
        }
    }
    QStringList names;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) {
            names.append(watched->objectName());
        }
        return false;
    }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void StartupWithoutSettingsFileShowsDefaultsAndLocksRuns();
    void StartupReadsFiveValuesAndPrinterRecords();
    void StartupFailureFallsBackToDefaultsSilently();
    void EveryControlHasItsCaptionAndTwipsPlace();
    void ControlsSitAtTheirTwipsPlacesAndFrame6IsReachableByTab();
    void MainProgressAndAboutWindowsAreCentredAThirdDown();
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

void MainWindowTest::EveryControlHasItsCaptionAndTwipsPlace() {
    using kw::ui::TwipsRect;
    MainWindowFixture f;
    auto& w = f.Open();
    // The window itself, then its 56 controls.
    QCOMPARE(w.windowTitle(), QStringLiteral("Kestrelwick V3.3"));
    QCOMPARE(w.size(), TwipsRect(0, 0, 8310, 8100).size());
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(std::size(kControls), std::size_t{56});
    QSet<QString> names;
    for (const ControlRow& row : kControls) {
        const QString name = QString::fromLatin1(row.name);
        names.insert(name);
        auto* control = w.findChild<QWidget*>(name);
        QVERIFY2(control != nullptr, row.name);
        QVERIFY2(control->parentWidget()->objectName() == QString::fromLatin1(row.group), row.name);
        QVERIFY2(Caption(control) == QString::fromUtf8(row.caption),
                 qPrintable(name + QStringLiteral(": \"") + Caption(control) + QLatin1Char('"')));
        QVERIFY2(control->geometry() == TwipsRect(row.left, row.top, row.width, row.height),
                 row.name);
    }
    QCOMPARE(names.size(), 56);
}

void MainWindowTest::ControlsSitAtTheirTwipsPlacesAndFrame6IsReachableByTab() {
    MainWindowFixture f;
    auto& w = f.Open();
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

void MainWindowTest::MainProgressAndAboutWindowsAreCentredAThirdDown() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const auto expected = [&](const QWidget* window) {
        const QSize size = window->frameGeometry().size();
        return QPoint(qRound((screen.width() - size.width()) / 2.0),
                      qRound((screen.height() - size.height()) / 3.0));
    };
    MainWindowFixture f;
    auto& w = f.Open();
    QCOMPARE(w.frameGeometry().topLeft(), expected(&w));
    kw::RunHost& host = w;
    host.ShowProgress();
    QVERIFY(w.Progress() != nullptr);
    QCOMPARE(w.Progress()->frameGeometry().topLeft(), expected(w.Progress()));
    QCOMPARE(w.Progress()->size(), kw::ui::TwipsRect(0, 0, 3900, 1140).size());
    kw::ui::AboutWindow about(f.shell, &w);
    QCOMPARE(about.frameGeometry().topLeft(), expected(&about));
}

void MainWindowTest::ScopeOptionsSwitchTheListGroup() {
    MainWindowFixture f;
    auto& w = f.Open();
    const QList<QWidget*> group{w.Frame1,       w.xpcmdbutton5, w.xpcmdbutton6, w.xpcmdbutton7,
                                w.xpcmdbutton8, w.xpcmdbutton9, w.List2};
    // Each control's own flag, not the state it takes from its group: every one is switched.
    const auto allEnabled = [&](bool enabled) {
        for (QWidget* control : group) {
            if (control->testAttribute(Qt::WA_Disabled) == enabled) {
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
    EnabledChanges changes(group);
    w.Option2->click();
    QVERIFY(allEnabled(true));
    // Switched on group first, then each control in turn (each was off on its own account).
    QCOMPARE(changes.names, (QStringList{"Frame1", "xpcmdbutton5", "xpcmdbutton6", "xpcmdbutton7",
                                         "xpcmdbutton8", "xpcmdbutton9", "List2"}));
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
        auto* about = qobject_cast<kw::ui::AboutWindow*>(QApplication::activeModalWidget());
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
