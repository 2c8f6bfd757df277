// The window "输出选项": reached from the drawing list's context menu, stored in the settings file
// in a form earlier releases still read, and applied by the next run.

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QtTest>

#include "base/text_file.h"
#include "tests/ui/ui_test_support.h"
#include "ui/output_options_window.h"

using kw::test::CadScript;
using kw::test::DocumentScript;
using kw::test::EntityScript;
using kw::test::MainWindowFixture;

namespace {

// Answers the output options window once it is up.
void AnswerOutputWindow(const std::function<void(kw::ui::OutputOptionsWindow&)>& answer) {
    QTimer::singleShot(0, [answer] {
        auto* window = qobject_cast<kw::ui::OutputOptionsWindow*>(QApplication::activeModalWidget());
        QVERIFY(window != nullptr);
        answer(*window);
    });
}

} // namespace

class OutputOptionsTest : public QObject {
    Q_OBJECT
private slots:
    void ContextMenuOfTheDrawingListOffersTheWindow();
    void OptionsAreStoredSoThatEarlierReleasesStillReadTheFile();
    void AWrongScaleKeepsTheWindowOpenWithItsReason();
    void ARunPutsEachFrameOnItsSheetAtItsScale();
};

void OutputOptionsTest::ContextMenuOfTheDrawingListOffersTheWindow() {
    MainWindowFixture f;
    auto& w = f.Open();
    QStringList actions;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        for (QAction* action : menu->actions()) {
            actions.append(action->objectName() + "|" + action->text());
        }
        menu->close();
    });
    emit w.List2->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(actions, QStringList{"OutputOptions|输出选项..."});
}

void OutputOptionsTest::OptionsAreStoredSoThatEarlierReleasesStillReadTheFile() {
    MainWindowFixture f;
    const QStringList earlier = {"380", "0",  "图框", "RmTK", "tk_xref", "Office Plotter",
                                 "7",   "30", "True"};
    kw::test::WriteLines(f.FilePath(QStringLiteral("Kestrelwick.ini")), earlier);
    auto& w = f.Open();
    QCOMPARE(w.OutputOptions(), kw::output::OutputOptions());
    const QString pdfFolder = f.FilePath(QStringLiteral("pdf"));
    QVERIFY(QDir().mkpath(pdfFolder));
    AnswerOutputWindow([&](kw::ui::OutputOptionsWindow& window) {
        QCOMPARE(window.windowTitle(), QStringLiteral("输出选项"));
        window.ComboPaper->setCurrentIndex(1);
        window.TextName->setText(QStringLiteral("{图号}_{图名}"));
        window.ComboMerge->setCurrentIndex(2);
        window.CheckXlsx->setChecked(true);
        window.TextFolder->setText(pdfFolder);
        window.TextStamp->setText(QStringLiteral("{drawing} {page}/{pages} {user}"));
        window.ComboStampCorner->setCurrentIndex(1);

        QVERIFY(!window.TextLayouts->isEnabled());
        window.ComboLayouts->setCurrentIndex(3);
        window.TextLayouts->setText(QStringLiteral(" 立面,Layout2 "));
        window.Buttons->button(QDialogButtonBox::Ok)->click();
    });
    w.OpenOutputOptions();
    const kw::output::OutputOptions options = w.OutputOptions();
    QCOMPARE(options.stamp, std::string("{drawing} {page}/{pages} {user}"));
    QCOMPARE(options.stampCorner, kw::output::StampCorner::BottomRight);

    QCOMPARE(options.layouts, std::string("立面,Layout2"));
    QVERIFY(!options.wholeLayouts);
    QCOMPARE(options.paper, kw::output::PaperMode::Auto);
    QCOMPARE(options.nameTemplate, std::string("{图号}_{图名}"));
    QCOMPARE(options.merge, kw::output::MergeMode::Run);
    QVERIFY(options.catalogueXlsx && !options.catalogueCsv);
    QCOMPARE(QString::fromStdString(options.folder), pdfFolder);

    const std::vector<std::string> lines =
        kw::ReadTextLines(f.FilePath(QStringLiteral("Kestrelwick.ini")).toStdString());
    // The earlier nine lines as they were, then whole four-line groups an earlier release takes
    // for printer records: its rule of five lines and at most 100 records holds.
    QVERIFY(lines.size() > 9);
    for (int i = 0; i < earlier.size(); ++i) {
        QCOMPARE(QString::fromStdString(lines[i]), earlier[i]);
    }
    QCOMPARE((lines.size() - 5) % 4, std::size_t{0});
    QVERIFY((lines.size() - 5) / 4 <= 100);
    QCOMPARE(lines[9], std::string(kw::kOptionGroupName));

    // A new main window reads them back, and keeps the printer's record.
    f.window.reset();
    auto& again = f.Open();
    QCOMPARE(again.OutputOptions(), options);
    QCOMPARE(again.Printers().RecordCount(), std::int16_t{1});

    // Frames that are no sheet on pages of their own size: the third paper choice, kept as such.
    AnswerOutputWindow([&](kw::ui::OutputOptionsWindow& window) {
        QCOMPARE(window.ComboPaper->currentIndex(), 1);
        window.ComboPaper->setCurrentIndex(2);
        window.Buttons->button(QDialogButtonBox::Ok)->click();
    });
    again.OpenOutputOptions();
    QCOMPARE(again.OutputOptions().paper, kw::output::PaperMode::Frame);
    f.window.reset();
    auto& third = f.Open();
    QCOMPARE(third.OutputOptions().paper, kw::output::PaperMode::Frame);

    // A drawing of each frame instead of its page, which merging cannot go with.
    QString reason;
    AnswerOutputWindow([&](kw::ui::OutputOptionsWindow& window) {
        window.CheckSplit->setChecked(true);
        window.Buttons->button(QDialogButtonBox::Ok)->click();
        reason = window.LabelProblem->text();
        window.ComboMerge->setCurrentIndex(0);
        window.Buttons->button(QDialogButtonBox::Ok)->click();
    });
    third.OpenOutputOptions();
    QCOMPARE(reason, QStringLiteral("拆图写出的是图纸，没有可合并的 PDF"));
    QVERIFY(third.OutputOptions().split);
    f.window.reset();
    QVERIFY(f.Open().OutputOptions().split);
}

void OutputOptionsTest::AWrongScaleKeepsTheWindowOpenWithItsReason() {
    MainWindowFixture f;
    auto& w = f.Open();
    QString reason;
    bool stillOpen = false;
    AnswerOutputWindow([&](kw::ui::OutputOptionsWindow& window) {
        window.ComboPaper->setCurrentIndex(1);
        window.TextScale->setText(QStringLiteral("1/100"));
        window.Buttons->button(QDialogButtonBox::Ok)->click();
        reason = window.LabelProblem->text();
        stillOpen = window.isVisible();
        window.Buttons->button(QDialogButtonBox::Cancel)->click();
    });
    w.OpenOutputOptions();
    QCOMPARE(reason, QStringLiteral("比例应为 auto 或 1:N"));
    QVERIFY(stillOpen);
    QCOMPARE(w.OutputOptions(), kw::output::OutputOptions());

    // A PDF folder that is not there: the pages would have nowhere to go.
    const QString missing = f.FilePath(QStringLiteral("no such folder"));
    AnswerOutputWindow([&](kw::ui::OutputOptionsWindow& window) {
        window.TextFolder->setText(missing);
        window.Buttons->button(QDialogButtonBox::Ok)->click();
        reason = window.LabelProblem->text();
        stillOpen = window.isVisible();
        window.Buttons->button(QDialogButtonBox::Cancel)->click();
    });
    w.OpenOutputOptions();
    QCOMPARE(reason, QStringLiteral("PDF 文件夹不存在：") + missing);
    QVERIFY(stillOpen);
    QCOMPARE(w.OutputOptions(), kw::output::OutputOptions());
}

void OutputOptionsTest::ARunPutsEachFrameOnItsSheetAtItsScale() {
    CadScript script;
    DocumentScript drawing;
    drawing.entities = {EntityScript::Rectangle("图框", 0, 0, 42000, 29700),
                        EntityScript::Rectangle("图框", 50000, 0, 50500, 300)};
    script.files["/d/1.dwg"] = drawing;
    // The CAD's main window, which the run brings to the front by its title.
    QWidget cadWindow;
    cadWindow.setWindowTitle(QString::fromStdString(script.caption));
    cadWindow.show();
    MainWindowFixture f(script);
    auto& w = f.Open();
    w.show();
    AnswerOutputWindow([](kw::ui::OutputOptionsWindow& window) {
        window.ComboPaper->setCurrentIndex(1);
        window.Buttons->button(QDialogButtonBox::Ok)->click();
    });
    w.OpenOutputOptions();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/d/1.dwg"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.List2->viewport(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.List2->viewport(), &drop);
    w.Command7->click();
    w.Combo1->setCurrentIndex(1);
    emit w.Combo1->activated(1);
    w.Command5->click();
    QVERIFY2(f.prompts.errors.isEmpty(), qPrintable(f.prompts.errors.join("; ")));
    // The A3 at 1:100 on the printer's A3 at 1:100, centred; the 500 × 300 frame is no sheet and
    // keeps the frame-length rule (380 mm for its width) on the panel's paper.
    const auto scales = f.cad->CallsStartingWith("Layout.SetCustomScale");
    QCOMPARE(scales.size(), std::size_t{2});
    QCOMPARE(scales[0], std::string("Layout.SetCustomScale=1,100"));
    QCOMPARE(scales[1], std::string("Layout.SetCustomScale=380,500"));
    const auto papers = f.cad->CallsStartingWith("Layout.CanonicalMediaName");
    QVERIFY(std::find(papers.begin(), papers.end(),
                      "Layout.CanonicalMediaName=ISO_A3_(420.00_x_297.00_MM)") != papers.end());
}

QTEST_MAIN(OutputOptionsTest)
#include "output_options_test.moc"
