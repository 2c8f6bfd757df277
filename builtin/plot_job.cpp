#include <QGuiApplication>
#include <QPainter>

#include <filesystem>

#include "base/paths.h"
#include "builtin/builtin_objects.h"
#include "builtin/plot_output.h"
#include "builtin/plot_preview.h"
#include "render/render.h"

namespace kw::builtin {

PlottedPage PlotActiveLayout(DocumentState& document, const PageDestination& destination) {
    document.CheckOpen();
    const auto app = document.App();
    const std::size_t layoutIndex = document.drawing.ActiveLayoutIndex();
    const drawing::LayoutPlotSettings& settings =
        document.drawing.layouts.at(layoutIndex).plotSettings;
    const std::string device = settings.configName;
    try {
        // Text on a page needs the font database of a GUI application; without one Qt would end
        // the process.
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
            Fail(errors::kFailed,
                 "PlotToDevice: plotting needs the program's GUI application (fonts)");
        }
        if (!app->devices.HasDevice(device)) {
            Fail(errors::kInvalidPrinter, "PlotToDevice: there is no device \"" + device + "\"");
        }
        render::PagePlacement placement;
        try {
            placement = render::PlacePage(settings);
        } catch (const Error& failure) {
            Fail(errors::kInvalidArgument, "PlotToDevice: " + failure.Description());
        }

        // The same options as the preview's: the page plots as it was shown.
        const render::PaintOptions options = PageOptions(settings, StyleFolders(app->options));
        const render::Renderer& renderer = document.Renderer();
        const PagePainter paint = [&](QPainter& painter, double unitsPerMm) {
            render::PaintOptions page = options;
            page.deviceUnitsPerMm = unitsPerMm;
            renderer.PaintPage(painter, layoutIndex, placement, unitsPerMm, page);
        };

        const int page = document.pagesPlotted + 1;
        const std::string stem = Utf8FromPath(PathFromUtf8(document.name).stem());
        std::string title = PageFileName(stem, page);
        title.resize(title.size() - 4); // without ".pdf"
        const SheetMm sheet{placement.paperWidthMm, placement.paperHeightMm};

        PlottedPage written;
        written.device = device;
        written.copies = destination.copies;
        const std::string folder =
            PdfFolder(destination.folder.empty() ? app->options.plotFolder : destination.folder,
                      document.path);
        if (device == kPdfDevice && !destination.name.empty()) {
            written.file = WriteNamedPage(folder, destination.name, sheet, destination.name,
                                             paint, app->options.imageDpi);
        } else if (device == kPdfDevice) {
            written.file =
                WritePage(folder, stem, page, sheet, title, paint, app->options.imageDpi);
        } else {
            PrintPage(device, sheet, destination.copies, title, paint);
        }
        document.pagesPlotted = page;
        document.ReportRenderWarnings();
        return written;
    } catch (const CadError& failure) {
        // The run shows its message by number; the drawing window's command line says what
        // went wrong and where.
        app->commandLine.push_back("打印失败：" + failure.Description());
        throw;
    }
}

} // namespace kw::builtin
