#include <QFileDevice>
#include <QGuiApplication>
#include <QPainter>

#include <filesystem>

#include "base/paths.h"
#include "builtin/builtin_objects.h"
#include "builtin/plot_output.h"
#include "builtin/plot_preview.h"
#include "drawing/excerpt.h"
#include "render/render.h"

namespace kw::builtin {
namespace {

// The plot window of the active layout as a drawing of its own: the entities that lie in or cross
// it, with everything of the drawing they may need, named as its page would be with ".dxf".
PlottedPage WriteExcerpt(DocumentState& document, const PageDestination& destination) {
    const auto app = document.App();
    const std::size_t layoutIndex = document.drawing.ActiveLayoutIndex();
    const drawing::LayoutPlotSettings& settings =
        document.drawing.layouts.at(layoutIndex).plotSettings;
    if (!document.excerpts || document.excerptLayout != layoutIndex) {
        try {
            document.excerpts = std::make_unique<drawing::Excerpts>(document.drawing, layoutIndex);
            document.excerptLayout = layoutIndex;
        } catch (const Error& failure) {
            Fail(errors::kFailed, "PlotToDevice: " + document.name + ": " + failure.Description());
        }
    }
    const std::vector<std::size_t> kept =
        document.excerpts->EntitiesIn({std::min(settings.windowMinX, settings.windowMaxX),
                                       std::min(settings.windowMinY, settings.windowMaxY),
                                       std::max(settings.windowMinX, settings.windowMaxX),
                                       std::max(settings.windowMinY, settings.windowMaxY)});
    const FileFiller fill = [&](QFileDevice& file, const std::string& where) {
        document.excerpts->Write(kept, [&](std::string_view piece) {
            file.write(piece.data(), static_cast<qint64>(piece.size()));
        });
        if (file.error() != QFileDevice::NoError || !file.flush()) {
            Fail(errors::kWriteFault,
                 "cannot write the drawing " + where + ": " + file.errorString().toStdString());
        }
    };
    const int page = document.pagesPlotted + 1;
    const std::string folder = PdfFolder(
        destination.folder.empty() ? app->options.plotFolder : destination.folder, document.path);
    PlottedPage written;
    written.device = settings.configName;
    written.file = destination.name.empty()
                       ? WriteNumberedFile(folder, Utf8FromPath(PathFromUtf8(document.name).stem()),
                                           page, ".dxf", fill)
                       : WriteNamedFile(folder, destination.name, ".dxf", fill);
    document.pagesPlotted = page;
    return written;
}

} // namespace

PlottedPage PlotActiveLayout(DocumentState& document, const PageDestination& destination) {
    document.CheckOpen();
    if (destination.excerpt) {
        try {
            return WriteExcerpt(document, destination);
        } catch (const CadError& failure) {
            document.App()->commandLine.push_back("写出图纸失败：" + failure.Description());
            throw;
        }
    }
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
