#include <QFileDevice>
#include <QGuiApplication>
#include <QFontMetricsF>
#include <QPainter>

#include <filesystem>

#include "base/paths.h"
#include "builtin/builtin_objects.h"
#include "builtin/plot_output.h"
#include "builtin/plot_preview.h"
#include "drawing/excerpt.h"
#include "drawing/extents.h"
#include "render/render.h"

namespace kw::builtin {
namespace {

// A plot stamp as it lies on the page: the lower-left corner of its line (page millimetres, y
// up) and its font's size.
struct StampPlace {
    QPointF lowerLeftMm;
    double emMm = 0.0;
    QFont font;
};

// The font stamps are printed in, at 100 device units to the em.
QFont StampFont() {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(100);
    return font;
}

// Where the stamp goes in its corner of the paper, within the printable area and clear of the
// plotted window (where the frame and all its content lie); smaller when the margin is narrow,
// nothing when it has no room even so.
std::optional<StampPlace> PlaceStamp(const render::PagePlacement& placement,
                                     const std::string& text, StampCorner corner) {
    constexpr double kInsetMm = 1.5; // from the edge of the printable area
    constexpr double kGapMm = 1.0;   // from the plotted window
    const QFont font = StampFont();
    const QFontMetricsF metrics(font);
    const double advance = metrics.horizontalAdvance(QString::fromStdString(text)) / 100.0;
    const double lineHeight = (metrics.ascent() + metrics.descent()) / 100.0;
    const QRectF printable = placement.printableMm.normalized();
    const QRectF keepClear =
        placement.windowOnPageMm.normalized().adjusted(-kGapMm, -kGapMm, kGapMm, kGapMm);
    for (const double em : {2.5, 2.0, 1.6}) {
        const double w = advance * em;
        const double h = lineHeight * em;
        const bool left = corner == StampCorner::BottomLeft || corner == StampCorner::TopLeft;
        const bool bottom = corner == StampCorner::BottomLeft || corner == StampCorner::BottomRight;
        const double x = left ? printable.left() + kInsetMm : printable.right() - kInsetMm - w;
        const double y = bottom ? printable.top() + kInsetMm : printable.bottom() - kInsetMm - h;
        const QRectF box(x, y, w, h);
        if (printable.contains(box) && !box.intersects(keepClear)) {
            return StampPlace{box.topLeft(), em, font};
        }
    }
    return std::nullopt;
}

void PaintStamp(QPainter& painter, const render::PagePlacement& placement, double unitsPerMm,
                const std::string& text, const StampPlace& place) {
    const QFontMetricsF metrics(place.font);
    const QPointF baseline =
        render::PageToDevice(placement, unitsPerMm)
            .map(place.lowerLeftMm + QPointF(0, metrics.descent() / 100.0 * place.emMm));
    painter.save();
    painter.resetTransform();
    painter.setClipping(false);
    painter.translate(baseline);
    painter.scale(place.emMm * unitsPerMm / 100.0, place.emMm * unitsPerMm / 100.0);
    painter.setFont(place.font);
    painter.setPen(QPen(Qt::black));
    painter.drawText(QPointF(0, 0), QString::fromStdString(text));
    painter.restore();
}

// The plot window of the active layout as a drawing of its own: the entities that lie in or cross
// it, with everything of the drawing they may need, named as its page would be with ".dxf".
PlottedPage WriteExcerpt(DocumentState& document, const PageDestination& destination) {
    const auto app = document.App();
    const std::size_t layoutIndex = document.activeLayout;
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

// What the layout's entities cover, drawing units; empty for a layout with nothing in it.
drawing::Box LayoutExtents(const drawing::Document& drawing, const drawing::Layout& layout) {
    drawing::Box box;
    for (const drawing::Entity& entity : drawing.LayoutEntities(layout)) {
        if (!entity.invisible) {
            box.Add(drawing::EntityExtents(drawing, entity));
        }
    }
    return box;
}

} // namespace

drawing::LayoutPlotSettings PlotAreaAsWindow(const drawing::Document& drawing,
                                             std::size_t layoutIndex) {
    namespace pf = drawing::plot_flags;
    const drawing::Layout& layout = drawing.layouts.at(layoutIndex);
    drawing::LayoutPlotSettings s = layout.plotSettings;
    constexpr std::int16_t kDisplay = 0, kExtents = 1, kLimits = 2, kWindow = 4, kLayout = 5;
    if (s.plotType == kWindow) {
        return s;
    }
    const double printableW = std::max(0.0, s.paperWidthMm - s.marginLeftMm - s.marginRightMm);
    const double printableH = std::max(0.0, s.paperHeightMm - s.marginBottomMm - s.marginTopMm);
    const bool quarter = s.plotRotation % 2 != 0;
    const bool toFit = (s.flags & pf::kUseStandardScale) != 0 && s.standardScaleType == 0;
    drawing::Box area;
    if (s.plotType == kLayout && !layout.isModel) {
        // The layout's paper: paper-space 0,0 lies on the printable area's lower-left corner.
        double scale = (s.flags & pf::kUseStandardScale) != 0
                           ? s.standardScaleFactor
                           : s.customScalePaper / s.customScaleDrawing;
        if (s.paperUnits == 0) {
            scale *= 25.4;
        }
        if (toFit || !(scale > 0.0) || !std::isfinite(scale)) {
            scale = 1.0;
        }
        area.Add(drawing::Vec3{0.0, 0.0, 0.0});
        area.Add(drawing::Vec3{(quarter ? printableH : printableW) / scale,
                               (quarter ? printableW : printableH) / scale, 0.0});
    } else if (s.plotType == kLimits || (s.plotType == kLayout && layout.isModel)) {
        const drawing::Vec3 low =
            layout.isModel ? drawing.HeaderPoint("$LIMMIN", {0, 0, 0}) : layout.limitsMin;
        const drawing::Vec3 high =
            layout.isModel ? drawing.HeaderPoint("$LIMMAX", {420, 297, 0}) : layout.limitsMax;
        area.Add(low);
        area.Add(high);
    }
    if (area.IsEmpty() || !(area.max.x > area.min.x) || !(area.max.y > area.min.y)) {
        // Extents, and what only a screen has (the display, a named view), as extents.
        static_cast<void>(kDisplay);
        static_cast<void>(kExtents);
        area = LayoutExtents(drawing, layout);
    }
    if (area.IsEmpty()) {
        return s; // nothing to plot: PlacePage says the window is empty
    }
    s.plotType = kWindow;
    s.windowMinX = area.min.x;
    s.windowMinY = area.min.y;
    s.windowMaxX = area.max.x;
    s.windowMaxY = area.max.y;
    if (toFit) {
        const double w = area.max.x - area.min.x;
        const double h = area.max.y - area.min.y;
        const double fit = std::min((quarter ? printableH : printableW) / w,
                                    (quarter ? printableW : printableH) / h);
        s.flags = static_cast<std::int16_t>(s.flags & ~pf::kUseStandardScale);
        s.paperUnits = 1;
        s.customScalePaper = fit;
        s.customScaleDrawing = 1.0;
    }
    return s;
}

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
    const std::size_t layoutIndex = document.activeLayout;
    const drawing::LayoutPlotSettings settings = PlotAreaAsWindow(document.drawing, layoutIndex);
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
        std::optional<StampPlace> stamp;
        std::string stampNote;
        if (destination.stamp && !destination.stamp->text.empty()) {
            stamp = PlaceStamp(placement, destination.stamp->text, destination.stamp->corner);
            if (!stamp) {
                stampNote = "图框外没有地方放打印戳记，未加戳记";
            }
        }
        const PagePainter paint = [&](QPainter& painter, double unitsPerMm) {
            render::PaintOptions page = options;
            page.deviceUnitsPerMm = unitsPerMm;
            renderer.PaintPage(painter, layoutIndex, placement, unitsPerMm, page);
            if (stamp) {
                PaintStamp(painter, placement, unitsPerMm, destination.stamp->text, *stamp);
            }
        };

        const int page = document.pagesPlotted + 1;
        const std::string stem = Utf8FromPath(PathFromUtf8(document.name).stem());
        std::string title = PageFileName(stem, page);
        title.resize(title.size() - 4); // without ".pdf"
        const SheetMm sheet{placement.paperWidthMm, placement.paperHeightMm};

        PlottedPage written;
        written.device = device;
        written.paper = settings.canonicalMediaName;
        written.copies = destination.copies;
        written.note = stampNote;
        const std::string folder =
            PdfFolder(destination.folder.empty() ? app->options.plotFolder : destination.folder,
                      document.path);
        const PageFormat format = destination.format.value_or(app->options.pageFormat);
        if (device == kPdfDevice && !Writes(format)) {
            Fail(errors::kInvalidArgument, "PlotToDevice: this build of the program writes no " +
                                               format.Name() + " files");
        }
        if (device == kPdfDevice && !destination.name.empty()) {
            written.file =
                WriteNamedPage(folder, destination.name, sheet, destination.name, paint, format);
        } else if (device == kPdfDevice) {
            written.file = WritePage(folder, stem, page, sheet, title, paint, format);
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
