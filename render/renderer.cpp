#include "render/render.h"

#include <QGuiApplication>

#include <stdexcept>

#include "render/detail/pass.h"

namespace kw::render {

using detail::Pass;
using drawing::Entity;

Renderer::Renderer(const drawing::Document& document, std::shared_ptr<FontLibrary> fonts)
    : m_state(std::make_unique<State>(document, std::move(fonts))) {}
Renderer::~Renderer() = default;

const drawing::Document& Renderer::Document() const {
    return m_state->document;
}

std::vector<std::string> Renderer::Warnings() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->warnings.All();
}

std::vector<const Entity*> Renderer::EntitiesIn(std::size_t layoutIndex,
                                                const QRectF& window) const {
    const auto& document = m_state->document;
    const auto& entities = document.LayoutEntities(document.layouts.at(layoutIndex));
    const QRectF w = window.normalized();
    const auto found =
        m_state->Index(layoutIndex).Query({w.left(), w.top(), w.right(), w.bottom()});
    std::vector<const Entity*> result;
    result.reserve(found.size());
    for (std::size_t i : found)
        result.push_back(&entities[i]);
    return result;
}

namespace {

void PaintEntities(const Renderer& renderer, QPainter& painter, std::size_t layoutIndex,
                   const QRectF& window, const QTransform& toDevice, const QPolygonF& clip,
                   const PaintOptions& options, bool plotting) {
    painter.save();
    painter.setClipRegion(QRegion(), Qt::NoClip);
    QPainterPath clipPath;
    clipPath.addPolygon(clip);
    clipPath.closeSubpath();
    painter.setClipPath(clipPath);
    painter.setRenderHint(QPainter::Antialiasing, true);
    PainterCanvas canvas(painter);
    renderer.Draw(canvas, layoutIndex, window, toDevice, options, plotting);
    painter.restore();
}

} // namespace

void Renderer::Draw(Canvas& canvas, std::size_t layoutIndex, const QRectF& windowDrawing,
                    const QTransform& drawingToDevice, const PaintOptions& options,
                    bool plotting) const {
    if (!QGuiApplication::instance())
        throw std::logic_error("painting needs a QGuiApplication (fonts)");
    Pass pass(*m_state, canvas, drawingToDevice, options, plotting);
    pass.SetLayout(m_state->document, layoutIndex);
    pass.SetWindow(windowDrawing);
    for (const Entity* entity : EntitiesIn(layoutIndex, windowDrawing))
        pass.TopLevel(m_state->document, *entity);
}

void Renderer::DrawEntity(Canvas& canvas, const drawing::Entity& entity,
                          const QTransform& drawingToDevice, const PaintOptions& options,
                          const QRectF& windowDrawing) const {
    if (!QGuiApplication::instance())
        throw std::logic_error("painting needs a QGuiApplication (fonts)");
    Pass pass(*m_state, canvas, drawingToDevice, options, false);
    pass.SetWindow(windowDrawing);
    pass.TopLevel(m_state->document, entity);
}

void Renderer::PaintWindow(QPainter& painter, std::size_t layoutIndex, const QRectF& window,
                           const QTransform& toDevice, const PaintOptions& options) const {
    const QPolygonF clip = toDevice.map(QPolygonF(window.normalized()));
    PaintEntities(*this, painter, layoutIndex, window, toDevice, clip, options, false);
}

void Renderer::PaintPage(QPainter& painter, std::size_t layoutIndex, const PagePlacement& placement,
                         double deviceUnitsPerMm, const PaintOptions& options) const {
    PaintOptions pageOptions = options;
    pageOptions.deviceUnitsPerMm = deviceUnitsPerMm;
    const QTransform pageToDevice = PageToDevice(placement, deviceUnitsPerMm);
    const QTransform toDevice = placement.drawingToPage * pageToDevice;
    // Clipped to the window as it lies on the sheet, and to the sheet's printable area.
    const QRectF onSheet = placement.windowOnPageMm.intersected(placement.printableMm);
    const QPolygonF clip = pageToDevice.map(QPolygonF(onSheet));
    PaintEntities(*this, painter, layoutIndex, placement.windowDrawing, toDevice, clip, pageOptions,
                  true);
}

} // namespace kw::render
