// view_paint: what the built-in CAD's drawing window costs on a large drawing. Opens the drawing
// in the built-in CAD (offscreen), shows its window at 1000 × 720 and times: the first picture at
// zoom extents (the spatial index and the extents are built then), a repaint of the whole
// drawing, a repaint zoomed in on one sheet's worth, a click of the pick box and a crossing
// window over that sheet. Prints one line per measurement and the peak memory.
//
//   QT_QPA_PLATFORM=offscreen view_paint DRAWING.dxf

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "builtin/builtin_cad.h"
#include "builtin/cad_window.h"
#include "builtin/drawing_view.h"

namespace {

double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

double PeakMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

kw::builtin::CadWindow* FindCadWindow() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* cad = qobject_cast<kw::builtin::CadWindow*>(window))
            return cad;
    return nullptr;
}

void Press(QWidget& widget, QPointF at, Qt::MouseButton button) {
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget.mapToGlobal(at), button,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
}

} // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: view_paint DRAWING.dxf\n");
        return 2;
    }
    kw::builtin::BuiltinOptions options;
    options.printers = [] { return std::vector<kw::builtin::SystemPrinter>{}; };
    kw::builtin::BuiltinApplication app(options);

    auto start = std::chrono::steady_clock::now();
    auto document = app.Documents()->Open(argv[1]);
    std::printf("open (read the file)\t%.0f ms\n", Milliseconds(start));

    start = std::chrono::steady_clock::now();
    app.PutVisible(true);
    kw::builtin::CadWindow* window = FindCadWindow();
    window->resize(1000, 720);
    std::printf("window shown\t%.0f ms\n", Milliseconds(start));

    kw::builtin::DrawingView& view = *window->View();
    start = std::chrono::steady_clock::now();
    view.ZoomExtents();
    view.grab();
    std::printf("first picture at the extents (measured, index built)\t%.0f ms\n",
                Milliseconds(start));

    // A wheel step shows the last picture scaled at once; the drawing is painted again once the
    // view has settled.
    auto settled = [&](const char* what, double factor) {
        auto t = std::chrono::steady_clock::now();
        view.ZoomAbout(view.rect().center(), factor);
        view.grab();
        std::printf("%s, picture follows\t%.1f ms\n", what, Milliseconds(t));
        QThread::msleep(300);
        t = std::chrono::steady_clock::now();
        QApplication::processEvents(); // the settle timer, and the paint it asks for
        view.grab();
        std::printf("%s, drawing painted\t%.0f ms\n", what, Milliseconds(t));
    };
    settled("zoom step at the extents", 1.25);
    settled("zoomed in 30x", 30.0 / 1.25); // about one sheet across

    auto set = document->SelectionSets()->Add("bench");
    QMetaObject::invokeMethod(
        &view,
        [&] {
            auto t = std::chrono::steady_clock::now();
            Press(view, view.rect().center(), Qt::LeftButton);
            std::printf("pick box click\t%.1f ms\n", Milliseconds(t));
            if (view.Picked().empty()) // the click started a window: close it far away
                Press(view, QPointF(1, 1), Qt::LeftButton);
            t = std::chrono::steady_clock::now();
            Press(view, QPointF(view.width() - 5, view.height() - 5), Qt::LeftButton);
            Press(view, QPointF(5, 5), Qt::LeftButton);
            std::printf("crossing over the view\t%.0f ms (%zu picked)\n", Milliseconds(t),
                        view.Picked().size());
            view.EndPick(true);
        },
        Qt::QueuedConnection);
    set->SelectOnScreen();
    std::printf("peak memory\t%.0f MiB\n", PeakMiB());
    return 0;
}
