// render_extents: paints the model space of a drawing, zoomed to its extents, monochrome on white
// with hairline lines, into a PNG image of the given size on its longer side; prints the extents
// (xmin ymin xmax ymax, drawing units) and the image size, so that another renderer can be given
// the same window. Used by bench/fidelity/run.py.
//
//   render_extents DRAWING.dxf OUT.png [PIXELS] [--fonts DIR]

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "drawing/drawing.h"
#include "drawing/extents.h"
#include "render/render.h"
#include "render/shx_font.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: render_extents DRAWING.dxf OUT.png [PIXELS] [--fonts DIR]\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    int pixels = 1000;
    std::vector<std::string> fontFolders;
    for (int i = 3; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--fonts" && i + 1 < argc) {
            fontFolders.push_back(argv[++i]);
        } else {
            pixels = std::max(16, std::atoi(argv[i]));
        }
    }
    try {
        const kw::drawing::Document document = kw::drawing::LoadDrawing(argv[1]);
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
        kw::drawing::Box extents;
        for (const kw::drawing::Entity& entity :
             document.blocks[document.layouts[model].blockIndex].entities) {
            extents.Add(kw::drawing::EntityExtents(document, entity));
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
        return 0;
    } catch (const std::exception& failure) {
        std::cerr << failure.what() << '\n';
        return 1;
    }
}
