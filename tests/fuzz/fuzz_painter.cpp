// libFuzzer target of the painter: a drawing made of any bytes that loads is painted — each
// layout's extents into a small image, and the page its plot settings describe — and a few points
// are hit-tested, with no crash, hang or leak. Shape fonts come from the Fonts folder that
// tests/fuzz/fuzz.sh gives in KW_FUZZ_FONTS (its seed fonts), so their strokes are painted too.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "drawing/drawing.h"
#include "fuzz_support.h"
#include "render/hit_test.h"
#include "render/render.h"
#include "render/shx_font.h"

namespace {

constexpr int kImageSize = 48;
// Entities hit-tested per layout; the rest of a big drawing is only painted.
constexpr int kHitTested = 64;

std::shared_ptr<kw::render::FontLibrary> Fonts() {
    static const std::shared_ptr<kw::render::FontLibrary> fonts = [] {
        std::vector<std::string> folders;
        if (const char* folder = std::getenv("KW_FUZZ_FONTS"))
            folders.emplace_back(folder);
        return std::make_shared<kw::render::FontLibrary>(folders);
    }();
    return fonts;
}

void PaintLayout(const kw::drawing::Document& document, const kw::render::Renderer& renderer,
                 std::size_t index) {
    const kw::drawing::Layout& layout = document.layouts[index];
    kw::drawing::Box box;
    int tested = 0;
    for (const kw::drawing::Entity& entity : document.LayoutEntities(layout))
        box.Add(kw::drawing::EntityExtents(document, entity));
    if (box.IsEmpty() || !std::isfinite(box.min.x) || !std::isfinite(box.max.y))
        return;
    const double width = std::max(box.max.x - box.min.x, 1e-6);
    const double height = std::max(box.max.y - box.min.y, 1e-6);
    const QRectF window(box.min.x, box.min.y, width, height);
    if (!window.isValid() || !std::isfinite(window.width()) || !std::isfinite(window.height()))
        return;
    QImage image(kImageSize, kImageSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        const double scale = kImageSize / std::max(width, height);
        QTransform toDevice;
        toDevice.translate(0, kImageSize);
        toDevice.scale(scale, -scale);
        toDevice.translate(-box.min.x, -box.min.y);
        kw::render::PaintOptions options;
        options.lineweights = true;
        options.deviceUnitsPerMm = 1.0;
        renderer.PaintWindow(painter, index, window, toDevice, options);
    }
    // Points across the extents, a tenth of the extents wide: the pick box of a click.
    const QRectF pick(0, 0, width / 10, height / 10);
    for (const kw::drawing::Entity& entity : document.LayoutEntities(layout)) {
        if (++tested > kHitTested)
            break;
        for (int i = 0; i < 3; ++i) {
            QRectF at = pick;
            at.moveCenter(
                QPointF(box.min.x + width * (i + 1) / 4, box.min.y + height * (i + 1) / 4));
            (void)kw::render::EntityTouches(renderer, entity, at);
        }
        (void)kw::render::EntityInside(document, entity, window);
    }
    (void)renderer.EntitiesIn(index,
                              window.adjusted(width / 3, height / 3, -width / 3, -height / 3));
}

void PaintPlot(const kw::render::Renderer& renderer, const kw::drawing::Document& document,
               std::size_t index) {
    kw::render::PagePlacement placement;
    try {
        placement = kw::render::PlacePage(document.layouts[index].plotSettings);
    } catch (const kw::Error&) {
        return; // no paper, window or scale: the run says so and plots nothing
    }
    const double longer = std::max(placement.paperWidthMm, placement.paperHeightMm);
    if (!(longer > 0) || !std::isfinite(longer))
        return;
    const double unitsPerMm = kImageSize / longer;
    const int w = std::max(1, static_cast<int>(placement.paperWidthMm * unitsPerMm));
    const int h = std::max(1, static_cast<int>(placement.paperHeightMm * unitsPerMm));
    QImage page(w, h, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::white);
    QPainter painter(&page);
    kw::render::PaintOptions options;
    options.styleMode = kw::render::StyleMode::Monochrome;
    options.lineweights = true;
    options.deviceUnitsPerMm = unitsPerMm;
    renderer.PaintPage(painter, index, placement, unitsPerMm, options);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<kw::drawing::Document> document;
    try {
        // A name without a folder: external references are looked up in the current folder only.
        document = std::make_unique<kw::drawing::Document>(kw::drawing::LoadDrawingFromBytes(
            std::string(reinterpret_cast<const char*>(data), size), "fuzz.dxf"));
    } catch (const kw::drawing::DxfError&) {
        return 0;
    }
    const kw::render::Renderer renderer(*document, Fonts());
    // Model space and the first paper-space layouts: enough for every path through the painter.
    for (std::size_t index = 0; index < document->layouts.size() && index < 3; ++index) {
        PaintLayout(*document, renderer, index);
        PaintPlot(renderer, *document, index);
    }
    (void)renderer.Warnings();
    (void)Fonts()->TakeWarnings();
    return 0;
}
