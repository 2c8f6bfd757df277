// render_extents: paints the model space of a drawing, zoomed to its extents, monochrome on white
// with hairline lines, into a PNG image of the given size on its longer side; prints the extents
// (xmin ymin xmax ymax, drawing units) and the image size, so that another renderer can be given
// the same window. Used by bench/fidelity/run.py.
//
// A second line names the entities of the model space drawn from their proxy graphics (custom
// objects), by handle in hex: "proxies 2A3 2A4 ...", or "proxies" alone when there are none.
// With --only-proxies only those entities are painted, in the window of the whole model space, so
// that the picture registers with the one of the whole drawing.
//
//   render_extents DRAWING.dxf OUT.png [PIXELS] [--fonts DIR] [--only-proxies]

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "drawing/drawing.h"
#include "drawing/extents.h"
#include "render/render.h"
#include "render/shx_font.h"

namespace {

bool HasProxyGraphics(const kw::drawing::Entity& entity) {
    const auto* opaque = std::get_if<kw::drawing::OpaqueGeometry>(&entity.geometry);
    return opaque != nullptr && opaque->proxy != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: render_extents DRAWING.dxf OUT.png [PIXELS] [--fonts DIR] "
                     "[--only-proxies]\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    int pixels = 1000;
    bool onlyProxies = false;
    std::vector<std::string> fontFolders;
    for (int i = 3; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--fonts" && i + 1 < argc) {
            fontFolders.push_back(argv[++i]);
        } else if (argument == "--only-proxies") {
            onlyProxies = true;
        } else {
            pixels = std::max(16, std::atoi(argv[i]));
        }
    }
    try {
        kw::drawing::Document document = kw::drawing::LoadDrawing(argv[1]);
        std::size_t model = 0;
        for (std::size_t i = 0; i < document.layouts.size(); ++i) {
            if (document.layouts[i].isModel) {
                model = i;
                break;
            }
        }
        if (document.layouts.empty() ||
            document.layouts[model].blockIndex == kw::drawing::Layout::kNoBlock) {
            std::cerr << "no model space\n";
            return 3;
        }
        std::vector<kw::drawing::Entity>& entities =
            document.blocks[document.layouts[model].blockIndex].entities;
        kw::drawing::Box extents;
        std::string proxies = "proxies";
        for (const kw::drawing::Entity& entity : entities) {
            extents.Add(kw::drawing::EntityExtents(document, entity));
            if (HasProxyGraphics(entity)) {
                char handle[24];
                std::snprintf(handle, sizeof handle, " %llX",
                              static_cast<unsigned long long>(entity.handle));
                proxies += handle;
            }
        }
        const double width = extents.max.x - extents.min.x;
        const double height = extents.max.y - extents.min.y;
        if (extents.IsEmpty() || !(std::max(width, height) > 0) || !std::isfinite(width) ||
            !std::isfinite(height)) {
            std::cerr << "no visible extents\n";
            return 3;
        }
        // A margin of 2 % on each side, so lines on the extents are not cut in half.
        const double margin = 0.02 * std::max(width, height);
        const QRectF window(extents.min.x - margin, extents.min.y - margin, width + 2 * margin,
                            height + 2 * margin);
        const double scale = pixels / std::max(window.width(), window.height());
        const int imageWidth = std::max(1, static_cast<int>(std::lround(window.width() * scale)));
        const int imageHeight = std::max(1, static_cast<int>(std::lround(window.height() * scale)));
        QImage image(imageWidth, imageHeight, QImage::Format_RGB32);
        image.fill(Qt::white);

        // The window stays the whole model space's; only what is painted in it changes.
        if (onlyProxies) {
            std::erase_if(entities, [](const kw::drawing::Entity& entity) {
                return !HasProxyGraphics(entity);
            });
        }

        std::shared_ptr<kw::render::FontLibrary> fonts;
        if (!fontFolders.empty()) {
            fonts = std::make_shared<kw::render::FontLibrary>(fontFolders);
        }
        kw::render::Renderer renderer(document, fonts);
        kw::render::PaintOptions options;
        options.styleMode = kw::render::StyleMode::Monochrome;
        // Drawing units → pixels, y down.
        const QTransform toImage(scale, 0, 0, -scale, -window.left() * scale,
                                 window.bottom() * scale);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        renderer.PaintWindow(painter, model, window, toImage, options);
        painter.end();
        if (!image.save(QString::fromStdString(argv[2]))) {
            std::cerr << "cannot write " << argv[2] << '\n';
            return 1;
        }
        std::printf("%.17g %.17g %.17g %.17g %d %d\n", window.left(), window.top(), window.right(),
                    window.bottom(), imageWidth, imageHeight);
        std::printf("%s\n", proxies.c_str());
        return 0;
    } catch (const std::exception& failure) {
        std::cerr << failure.what() << '\n';
        return 1;
    }
}
