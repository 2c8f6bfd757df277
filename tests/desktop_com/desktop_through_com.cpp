// The installed desktop program against the fake host CAD, used as a drafter uses it: Get printer
// list, a printer, a paper and a style table chosen from what the host offers, then a whole run in
// each of the three scopes — drawings dropped on the list (选择文件), the drawing open in the host
// (当前图形), frames picked in it (当前图形局部). What the host was asked to do is read back from
// the fake's log, so COM is exercised through the real windows rather than through the engine
// alone. tools/windows/test-installer.sh copies this program into the installed folder and runs
// it there under Wine with the fake registered. Prints "ok - …" or "FAIL - …" per check.

#include <windows.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/desktop/desktop_app.h"
#include "engine/plot_run.h"
#include "tests/com/fake_host.h"
#include "ui/progress_window.h"
#include "ui/main_window.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char* kTemplate = "C:\\Program Files\\Fake CAD\\TEMPLATE\\acad.dwt";

class Checks {
public:
    void Check(bool passed, const std::string& name, const std::string& detail = {}) {
        std::printf("%s - %s\n", passed ? "ok" : "FAIL", name.c_str());
        if (!passed && !detail.empty()) {
            std::printf("  %s\n", detail.c_str());
        }
        std::fflush(stdout);
        m_failed += passed ? 0 : 1;
    }
    // Lines as the host logged them against the lines expected, shown when they differ.
    void Equal(const Lines& actual, const Lines& expected, const std::string& name) {
        std::string detail;
        if (actual != expected) {
            detail = "logged:";
            for (const auto& line : actual) {
                detail += "\n    " + line;
            }
            detail += "\n  expected:";
            for (const auto& line : expected) {
                detail += "\n    " + line;
            }
        }
        Check(actual == expected, name, detail);
    }
    int Failed() const { return m_failed; }

private:
    int m_failed = 0;
};

void Wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Notes and closes every modal window that opens while a command runs: a run that goes well
// shows none, and nothing may wait for a user who is not there.
class BoxWatcher : public QObject {
public:
    BoxWatcher() {
        m_timer.setInterval(100);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            const auto* box = qobject_cast<QMessageBox*>(dialog);
            seen.push_back((dialog->windowTitle() + QStringLiteral(": ") +
                            (box != nullptr ? box->text() : QString()))
                               .toStdString());
            dialog->reject();
        });
        m_timer.start();
    }
    std::string Seen() const {
        std::string text;
        for (const auto& line : seen) {
            text += (text.empty() ? "" : " | ") + line;
        }
        return text;
    }
    Lines seen;

private:
    QTimer m_timer;
};

std::string Window(double x0, double y0, double x1, double y1) {
    const auto number = [](double value) { return QString::number(value).toStdString(); };
    return "Layout:Model.SetWindowToPlot([" + number(x0) + "," + number(y0) + "], [" + number(x1) +
           "," + number(y1) + "])";
}

// An A3 frame (420 × 297) on the frame layer, and the window it is plotted by.
void AddFrame(kw::test::FakeHost& host, const std::string& path, double x, double y,
              const std::string& layer = "图框") {
    host.AddPolyline(path, layer, {x, y, x + 420, y, x + 420, y + 297, x, y + 297});
}

std::string Native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

// Drops files on the drawing list as the Explorer does.
void DropFiles(kw::ui::MainWindow& window, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files) {
        urls.append(QUrl::fromLocalFile(file));
    }
    data.setUrls(urls);
    QWidget* target = window.List2->viewport();
    const QPointF where(target->width() / 2.0, target->height() / 2.0);
    QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

// After a run: the progress window says the run finished, and a double-click on it gives the main
// window back.
void FinishRun(Checks& checks, kw::ui::MainWindow& window, const std::string& scope) {
    kw::ui::ProgressWindow* progress = window.Progress();
    checks.Check(progress != nullptr && progress->isVisible() &&
                     progress->Label1->text() == QString::fromUtf8(kw::kRunFinished),
                 scope + ": the progress window says \"" + kw::kRunFinished + "\"",
                 progress != nullptr ? progress->Label1->text().toStdString() : "no window");
    checks.Check(!window.isVisible(), scope + ": the main window stays hidden until then");
    if (progress != nullptr) {
        const QPointF centre(progress->width() / 2.0, progress->height() / 2.0);
        QMouseEvent click(QEvent::MouseButtonDblClick, centre, progress->mapToGlobal(centre),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(progress, &click);
        Wait(300);
    }
    checks.Check(window.isVisible() && window.Progress() == nullptr,
                 scope + ": a double-click on the progress window gives the main window back");
}

int Drive(kw::ui::MainWindow& window) {
    Checks checks;
    BoxWatcher boxes;
    // The host as COM starts it for a user: the local server registered under the host's ProgID.
    CLSID hostClass{};
    IDispatch* started = nullptr;
    if (FAILED(CLSIDFromProgID(L"AutoCAD.Application", &hostClass)) ||
        FAILED(CoCreateInstance(hostClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&started)))) {
        checks.Check(false, "the fake host is registered and starts");
        return 1;
    }
    kw::test::FakeHost host(started);
    started->Release();

    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/图纸-XXXXXX"));
    const auto drawing = [&](const char* name) {
        const QString path = folder.filePath(QString::fromUtf8(name));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return path;
    };
    const QString first = drawing("一层平面.dwg");
    const QString second = drawing("二层平面.dwg");
    const QString current = drawing("总图.dwg");
    const QString part = drawing("局部.dwg");
    // Frames are added right to left: the order on the page comes from the program.
    host.AddDrawing(Native(first));
    AddFrame(host, Native(first), 500, 0);
    AddFrame(host, Native(first), 0, 0);
    host.AddDrawing(Native(second));
    AddFrame(host, Native(second), 0, 0);
    host.AddDrawing(Native(current));
    for (const double y : {0.0, 1000.0}) {
        AddFrame(host, Native(current), 500, y);
        AddFrame(host, Native(current), 0, y);
    }
    host.AddDrawing(Native(part));
    AddFrame(host, Native(part), 2000, 0);
    AddFrame(host, Native(part), 1000, 0, "0"); // not on the frame layer: picked, not plotted
    AddFrame(host, Native(part), 0, 0);

    // Settings as a user types them.
    window.Option9->setChecked(true);
    window.Text1->setText(QStringLiteral("图框"));
    window.Text32->setText(QStringLiteral("380"));
    window.Text2->setText(QStringLiteral("0"));
    window.Option6->setChecked(true);

    // Get printer list, then the host's PDF device, an A3 sheet and a style table.
    window.Command7->click();
    const int device = window.Combo1->findText(QStringLiteral("DWG To PDF.pc3"));
    checks.Check(device >= 0, "获取打印机列表 lists the host's plot devices",
                 std::to_string(window.Combo1->count()) + " devices");
    if (device < 0) {
        return 1;
    }
    window.Combo1->setCurrentIndex(device);
    emit window.Combo1->activated(device);
    const int a3 = window.Combo2->findText(QStringLiteral("A3"), Qt::MatchContains);
    const int style = window.Combo3->findText(QStringLiteral("acad.ctb"));
    checks.Check(a3 >= 0 && style >= 0, "the device's papers and the style tables are offered");
    window.Combo2->setCurrentIndex(std::max(a3, 0));
    window.Combo3->setCurrentIndex(std::max(style, 0));
    checks.Check(boxes.seen.empty(), "the catalogues come without a message", boxes.Seen());

    // 选择文件: two drawings dropped on the list, each opened, plotted frame by frame, closed.
    host.ClearLog();
    boxes.seen.clear();
    DropFiles(window, {first, second});
    checks.Check(window.List2->count() == 2, "选择文件: the dropped drawings are listed");
    window.Option2->setChecked(true);
    window.Command5->click();
    checks.Check(boxes.seen.empty(), "选择文件: the run shows no message", boxes.Seen());
    checks.Equal(host.Log("Documents."),
                 {"Documents.Add(\"" + std::string(kTemplate) + "\")",
                  "Documents.Open(\"" + Native(first) + "\")",
                  "Documents.Open(\"" + Native(second) + "\")"},
                 "选择文件: the host opens each listed drawing in turn");
    checks.Equal(host.Log("Layout:Model.SetWindowToPlot"),
                 {Window(0, 0, 420, 297), Window(500, 0, 920, 297), Window(0, 0, 420, 297)},
                 "选择文件: every frame is plotted, left to right");
    checks.Equal(host.Log("Plot.PlotToDevice"), Lines(3, "Plot.PlotToDevice"),
                 "选择文件: three pages go to the device");
    const Lines config = host.Log("Layout:Model.ConfigName");
    const Lines media = host.Log("Layout:Model.CanonicalMediaName");
    checks.Check(!config.empty() && config.front() == "Layout:Model.ConfigName = \"DWG To PDF.pc3\"" &&
                     !media.empty() &&
                     media.front() ==
                         "Layout:Model.CanonicalMediaName = \"ISO_A3_(420.00_x_297.00_MM)\"",
                 "选择文件: the chosen device and paper reach the host");
    checks.Equal(host.Log("Document.Close"), Lines(2, "Document.Close(True)"),
                 "选择文件: each drawing is saved and closed after its frames");
    checks.Check(window.List2->count() == 0, "选择文件: the list is empty after the run");
    FinishRun(checks, window, "选择文件");

    // 当前图形: the drawing the user has open in the host, two rows from the top down.
    host.Open(Native(current));
    host.ClearLog();
    boxes.seen.clear();
    window.Option1->setChecked(true);
    window.Command5->click();
    checks.Check(boxes.seen.empty(), "当前图形: the run shows no message", boxes.Seen());
    checks.Equal(host.Log("Layout:Model.SetWindowToPlot"),
                 {Window(0, 1000, 420, 1297), Window(500, 1000, 920, 1297), Window(0, 0, 420, 297),
                  Window(500, 0, 920, 297)},
                 "当前图形: the frames of the open drawing are plotted in reading order");
    checks.Equal(host.Log("Plot.PlotToDevice"), Lines(4, "Plot.PlotToDevice"),
                 "当前图形: four pages go to the device");
    checks.Check(host.Log("Documents.").empty() && host.Log("Document.Close").empty(),
                 "当前图形: no drawing is opened or closed");
    FinishRun(checks, window, "当前图形");

    // 当前图形局部: the user picks in the host (the fake's user picks everything); what is not a
    // frame by the rule is left out.
    host.Open(Native(part));
    host.ClearLog();
    boxes.seen.clear();
    window.Option3->setChecked(true);
    window.Command5->click();
    checks.Check(boxes.seen.empty(), "当前图形局部: the run shows no message", boxes.Seen());
    checks.Check(host.Log("SelectionSet.SelectOnScreen").size() == 1 &&
                     host.Log("Utility.Prompt").size() == 1,
                 "当前图形局部: the host prompts the user and lets them pick on screen");
    checks.Equal(host.Log("Layout:Model.SetWindowToPlot"),
                 {Window(0, 0, 420, 297), Window(2000, 0, 2420, 297)},
                 "当前图形局部: the picked frames are plotted, the other object is not");
    checks.Equal(host.Log("Plot.PlotToDevice"), Lines(2, "Plot.PlotToDevice"),
                 "当前图形局部: two pages go to the device");
    checks.Check(host.SelectionSetCount() == 0, "当前图形局部: no selection set is left behind");
    FinishRun(checks, window, "当前图形局部");

    host.Control().Call("FakeQuit");
    return checks.Failed() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    int failed = 1;
    const int result = kw::app::RunDesktop(argc, argv, [&](kw::ui::MainWindow& window) {
        // The promotional windows come up first; the user starts once the program is shown.
        Wait(1000);
        failed = Drive(window);
        QCoreApplication::exit(0);
    });
    return result == 0 ? failed : 1;
}
