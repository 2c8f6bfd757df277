// plot_pages: plots every frame of a drawing as its own A3 PDF page with the painter alone (load,
// select the LWPOLYLINE frames on a layer, window = frame + 5 mm, frame width = 380 mm, centred),
// for measuring the painter apart from the CAD object model and the run. Prints the load time,
// the index time (first page), the time per page and the peak memory.
//
//   plot_pages DRAWING.dxf OUTPUT_DIR [LAYER]

#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "drawing/drawing.h"
#include "render/render.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Resident memory in MiB (Linux), 0 elsewhere: the peak (VmHWM) or the present (VmRSS).
double MemoryMiB(const char* field = "VmHWM:") {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: plot_pages DRAWING.dxf OUTPUT_DIR [LAYER]\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const std::string layer = argc > 3 ? argv[3] : "图框";
    const auto start = std::chrono::steady_clock::now();
    const kw::drawing::Document document = kw::drawing::LoadDrawing(argv[1]);
    const double loaded = Seconds(start);
    std::fprintf(stderr, "after loading: %.0f MiB, peak %.0f MiB\n", MemoryMiB("VmRSS:"), MemoryMiB());
    const auto frames = kw::drawing::SelectAll(document, {{0, "LWPOLYLINE"}, {8, layer}});
    kw::render::Renderer renderer(document);
    const std::size_t layoutIndex = 0;
    double first = 0.0, slowest = 0.0, firstCpu = 0.0;
    std::size_t entitiesAfterFirst = 0;
    const auto pagesStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    int page = 0;
    for (const kw::drawing::Entity* frame : frames) {
        const auto pageStart = std::chrono::steady_clock::now();
        const kw::drawing::Box box = kw::drawing::EntityExtents(document, *frame);
        const double width = box.max.x - box.min.x;
        if (!(width > 0))
            continue;
        const double d = 5.0 / 380.0 * width;
        kw::drawing::LayoutPlotSettings s;
        s.paperWidthMm = 420;
        s.paperHeightMm = 297;
        s.paperUnits = 1;
        s.windowMinX = box.min.x - d;
        s.windowMinY = box.min.y - d;
        s.windowMaxX = box.max.x + d;
        s.windowMaxY = box.max.y + d;
        s.customScalePaper = 380;
        s.customScaleDrawing = width;
        s.flags = kw::drawing::plot_flags::kPlotCentered;
        const auto placement = kw::render::PlacePage(s);
        if (page > 0)
            entitiesAfterFirst += renderer.EntitiesIn(layoutIndex, placement.windowDrawing).size();
        char name[32];
        std::snprintf(name, sizeof name, "/page-%03d.pdf", ++page);
        QPdfWriter pdf(QString::fromStdString(std::string(argv[2]) + name));
        pdf.setPageLayout(QPageLayout(QPageSize(QSizeF(420, 297), QPageSize::Millimeter),
                                      QPageLayout::Portrait, QMarginsF()));
        pdf.setResolution(1200);
        QPainter painter(&pdf);
        renderer.PaintPage(painter, layoutIndex, placement, 1200 / 25.4, {});
        painter.end();
        const double took = Seconds(pageStart);
        if (page == 1) {
            first = took;
            firstCpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        }
        else
            slowest = std::max(slowest, took);
    }
    const double pages = Seconds(pagesStart);
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    // Wall time measures the machine's load too; the CPU time of the process does not.
    const int rest = std::max(page - 1, 1);
    std::printf("load %.3f s, %d pages in %.3f s (first page with the index %.3f s, then %.1f ms "
                "per page, %.1f ms CPU, slowest %.1f ms; %zu entities per page), peak %.0f MiB\n",
                loaded, page, pages, first, page > 1 ? (pages - first) / rest * 1000 : 0.0,
                page > 1 ? (cpu - firstCpu) / rest * 1000 : 0.0, slowest * 1000,
                entitiesAfterFirst / rest, MemoryMiB());
    return 0;
}
