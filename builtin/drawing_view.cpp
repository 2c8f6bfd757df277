#include "builtin/drawing_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>
#include <vector>

#include "builtin/builtin_objects.h"
#include "drawing/extents.h"
#include "render/drawn_extents.h"
#include "render/hit_test.h"
#include "render/render.h"

namespace kw::builtin {
namespace {

const QColor kBackground(33, 40, 48);
// A press that moves this far (pixels) before its release is a drag, not a click.
constexpr double kDragPx = 4.0;
// Room left around the extents by zoom extents, as a share of the view.
constexpr double kExtentsMargin = 0.04;

// After a pan or zoom step the picture is redrawn once the view has been still this long; until
// then the last picture is moved and scaled, so that dragging and wheeling stay smooth on drawings
// that take seconds to paint whole.
constexpr int kSettleMs = 150;

// The extents that the file says the model space has, when they look sound. A CAD writes them on
// every save; measuring a large drawing's entities instead takes seconds.
std::optional<QRectF> SavedExtents(const drawing::Document& document, std::size_t layoutIndex) {
    if (layoutIndex >= document.layouts.size() || !document.layouts[layoutIndex].isModel ||
        document.FindHeader("$EXTMIN") == nullptr || document.FindHeader("$EXTMAX") == nullptr) {
        return std::nullopt;
    }
    const drawing::Vec3 low = document.HeaderPoint("$EXTMIN");
    const drawing::Vec3 high = document.HeaderPoint("$EXTMAX");
    for (double value : {low.x, low.y, high.x, high.y}) {
        if (!std::isfinite(value) || std::abs(value) >= 1e19) { // 1e20: nothing drawn yet
            return std::nullopt;
        }
    }
    if (!(low.x <= high.x && low.y <= high.y)) {
        return std::nullopt;
    }
    return QRectF(QPointF(low.x, low.y), QPointF(high.x, high.y));
}

bool Within(const drawing::Box& inner, const drawing::Box& outer) {
    return !outer.IsEmpty() && inner.min.x >= outer.min.x && inner.min.y >= outer.min.y &&
           inner.max.x <= outer.max.x && inner.max.y <= outer.max.y;
}

// The box of what the layout draws. Text and the shapes of complex linetypes are measured as the
// painter draws them, but only those that may reach past the geometry of everything else: in a
// large drawing most texts lie well inside it.
QRectF Extents(const render::Renderer& renderer, std::size_t layoutIndex) {
    const drawing::Document& document = renderer.Document();
    drawing::Box box;
    std::vector<std::pair<const drawing::Entity*, drawing::Box>> estimated;
    if (layoutIndex < document.layouts.size()) {
        for (const drawing::Entity& entity :
             document.LayoutEntities(document.layouts[layoutIndex])) {
            if (entity.type == drawing::EntityType::Viewport) {
                continue;
            }
            const drawing::Box extents = drawing::EntityExtents(document, entity);
            if (!drawing::ExtentsEstimated(document, entity)) {
                box.Add(extents);
            } else if (drawing::Box ink = drawing::InkBound(document, entity, extents);
                       !Within(ink, box)) {
                // Kept only while it lies outside what has been measured so far: in a large
                // drawing a few hundred of a hundred thousand texts.
                estimated.emplace_back(&entity, ink);
            }
        }
    }
    for (const auto& [entity, ink] : estimated) {
        if (!Within(ink, box)) {
            box.Add(render::EntityBox(renderer, *entity));
        }
    }
    if (box.IsEmpty()) {
        return QRectF(0, 0, 420, 297); // an empty drawing: an A3 sheet's worth of room
    }
    return QRectF(QPointF(box.min.x, box.min.y), QPointF(box.max.x, box.max.y));
}

} // namespace

DrawingView::DrawingView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DrawingView"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &DrawingView::Invalidate);
}

DrawingView::~DrawingView() = default;

void DrawingView::SetDrawing(std::shared_ptr<DocumentState> document, std::size_t layoutIndex) {
    const bool same = document == m_document && layoutIndex == m_layoutIndex;
    m_document = std::move(document);
    m_layoutIndex = layoutIndex;
    if (!same) {
        m_picked.clear();
        m_extents.reset();
        // Fitted when first needed: a run opens drawing after drawing while nobody looks, and
        // measuring a large one takes seconds.
        m_fitPending = true;
        Invalidate();
    }
}

void DrawingView::FitIfPending() {
    if (!m_fitPending) {
        return;
    }
    m_fitPending = false;
    const std::optional<QRectF> saved =
        m_document ? SavedExtents(m_document->drawing, m_layoutIndex) : std::nullopt;
    if (saved) {
        m_fitted = *saved;
        FitExtents();
    } else {
        ZoomExtents();
    }
}

QTransform DrawingView::DrawingToScreen() const {
    QTransform t;
    t.translate(width() / 2.0, height() / 2.0);
    t.scale(m_scale, -m_scale);
    t.translate(-m_center.x(), -m_center.y());
    return t;
}

QTransform DrawingView::ScreenToDrawing() const {
    return DrawingToScreen().inverted();
}

void DrawingView::ZoomExtents() {
    m_fitPending = false;
    if (m_document && !m_extents) {
        m_extents = Extents(m_document->Renderer(), m_layoutIndex);
    }
    m_fitted = m_extents.value_or(QRectF(0, 0, 420, 297));
    FitExtents();
}

void DrawingView::FitExtents() {
    const QRectF extents = m_fitted;
    m_center = extents.center();
    const double w = std::max(extents.width(), 1e-9);
    const double h = std::max(extents.height(), 1e-9);
    const double room = 1.0 - 2.0 * kExtentsMargin;
    m_scale = std::min(width() * room / w, height() * room / h);
    if (!(m_scale > 0.0) || !std::isfinite(m_scale)) {
        m_scale = 1.0;
    }
    m_followExtents = true;
    Invalidate();
}

void DrawingView::ZoomAbout(QPointF anchor, double factor) {
    FitIfPending();
    const double scale = std::clamp(m_scale * factor, 1e-12, 1e12);
    const QPointF fixed = ScreenToDrawing().map(anchor);
    m_scale = scale;
    // Move the centre so that `fixed` lands under the anchor again.
    const QPointF moved = DrawingToScreen().map(fixed);
    const QPointF shift = anchor - moved;
    m_center -= QPointF(shift.x() / m_scale, -shift.y() / m_scale);
    m_followExtents = false;
    Moved();
}

void DrawingView::Moved() {
    if (!m_cacheValid) {
        update();
        return;
    }
    m_settle.start();
    update();
}

void DrawingView::Invalidate() {
    m_settle.stop();
    m_cacheValid = false;
    update();
}

void DrawingView::RenderCache() {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (m_cache.size() != pixels) {
        m_cache = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    }
    m_cache.setDevicePixelRatio(ratio);
    m_cache.fill(kBackground);
    m_cacheValid = true;
    m_cacheTransform = DrawingToScreen();
    if (!m_document || m_document->closed) {
        return;
    }
    QPainter painter(&m_cache);
    painter.setRenderHint(QPainter::Antialiasing);
    render::PaintOptions options;
    options.background = kBackground;
    if (m_picking) {
        options.highlighted.insert(m_picked.begin(), m_picked.end());
    }
    const QRectF window = ScreenToDrawing().mapRect(QRectF(rect()));
    try {
        m_document->Renderer().PaintWindow(painter, m_layoutIndex, window, DrawingToScreen(),
                                           options);
        m_document->ReportRenderWarnings();
    } catch (const std::exception& failure) {
        // Nothing may leave through the event loop; the view stays as far as it got.
        painter.setPen(Qt::red);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromUtf8(failure.what()));
    }
}

void DrawingView::paintEvent(QPaintEvent*) {
    FitIfPending();
    if (!m_cacheValid) {
        RenderCache();
    }
    QPainter painter(this);
    const QTransform now = DrawingToScreen();
    if (now == m_cacheTransform) {
        painter.drawImage(QPointF(0, 0), m_cache);
    } else {
        // Moved or zoomed since the picture was made: show it where it now lies until the view
        // settles and it is redrawn.
        painter.fillRect(rect(), kBackground);
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setTransform(m_cacheTransform.inverted() * now);
        painter.drawImage(QPointF(0, 0), m_cache);
        painter.restore();
    }
    if (m_firstCorner && m_mouse) {
        // Left to right: a window (solid, blue); right to left: crossing (dashed, green).
        const bool crossing = m_mouse->x() < m_firstCorner->x();
        const QRectF band = QRectF(*m_firstCorner, *m_mouse).normalized();
        painter.setBrush(crossing ? QColor(60, 200, 90, 60) : QColor(60, 120, 255, 60));
        QPen pen(Qt::white, 1, crossing ? Qt::DashLine : Qt::SolidLine);
        painter.setPen(pen);
        painter.drawRect(band);
    }
    if (m_picking && m_hover != nullptr && !m_firstCorner) {
        // Rollover: what a click would pick stands out under the pick box.
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(
            QPen(QColor(110, 170, 255, 170), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (const QPolygonF& line : m_hoverOutline) {
            painter.drawPolyline(now.map(line));
        }
        painter.restore();
    }
    if (m_picking && m_mouse) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(230, 230, 230), 1));
        const QPointF at = *m_mouse;
        painter.drawLine(QPointF(0, at.y()), QPointF(width(), at.y()));
        painter.drawLine(QPointF(at.x(), 0), QPointF(at.x(), height()));
        if (!m_firstCorner) {
            painter.drawRect(
                QRectF(at.x() - kPickBoxPx, at.y() - kPickBoxPx, 2 * kPickBoxPx, 2 * kPickBoxPx));
        }
    }
}

void DrawingView::resizeEvent(QResizeEvent*) {
    if (m_followExtents && !m_fitPending) {
        FitExtents();
    } else {
        Invalidate();
    }
}

void DrawingView::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0.0) {
        ZoomAbout(event->position(), std::pow(1.25, notches));
    }
    event->accept();
}

void DrawingView::mousePressEvent(QMouseEvent* event) {
    FitIfPending();
    const QPointF at = event->position();
    m_mouse = at;
    if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && !m_picking)) {
        m_panFrom = at;
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (!m_picking) {
        return;
    }
    const bool remove = event->modifiers().testFlag(Qt::ShiftModifier);
    if (event->button() == Qt::RightButton) {
        EndPick(true);
        return;
    }
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (m_firstCorner) {
        const QPointF from = *m_firstCorner;
        m_firstCorner.reset();
        SelectWindow(from, at, remove);
        return;
    }
    if (const drawing::Entity* entity = EntityAt(at)) {
        Take({entity}, remove);
        return;
    }
    m_firstCorner = at; // empty space: the first corner of a window
    update();
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (m_panFrom) {
        const QPointF shift = at - *m_panFrom;
        m_panFrom = at;
        m_followExtents = false;
        m_center -= QPointF(shift.x() / m_scale, -shift.y() / m_scale);
        Moved();
    }
    m_mouse = at;
    if (m_picking) {
        Hover(m_firstCorner || m_panFrom ? nullptr : EntityAt(at));
        update();
    }
    emit CursorMoved(ScreenToDrawing().map(at));
}

void DrawingView::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    m_mouse = at;
    if (m_panFrom && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
        m_panFrom.reset();
        setCursor(m_picking ? Qt::BlankCursor : Qt::ArrowCursor);
        return;
    }
    // Press, drag and release makes a window as well as click and click does.
    if (m_picking && event->button() == Qt::LeftButton && m_firstCorner) {
        const QPointF d = at - *m_firstCorner;
        if (std::abs(d.x()) + std::abs(d.y()) > kDragPx) {
            const QPointF from = *m_firstCorner;
            m_firstCorner.reset();
            SelectWindow(from, at, event->modifiers().testFlag(Qt::ShiftModifier));
        }
    }
}

void DrawingView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        ZoomExtents();
        return;
    }
    mousePressEvent(event); // a quick second click in a pick is a click of its own
}

void DrawingView::keyPressEvent(QKeyEvent* event) {
    if (!m_picking) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        EndPick(true);
        break;
    case Qt::Key_Escape:
        EndPick(false);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void DrawingView::leaveEvent(QEvent*) {
    m_mouse.reset();
    Hover(nullptr);
    update();
}

void DrawingView::Hover(const drawing::Entity* entity) {
    if (entity == m_hover) {
        return;
    }
    m_hover = entity;
    m_hoverOutline.clear();
    if (entity != nullptr && m_document) {
        // Half a pixel at the scale of the moment: the outline lies on the drawn lines.
        m_hoverOutline = render::EntityOutline(m_document->Renderer(), *entity, 0.5 / m_scale,
                                               ScreenToDrawing().mapRect(QRectF(rect())));
    }
}

void DrawingView::BeginPick() {
    FitIfPending();
    m_picked.clear();
    m_firstCorner.reset();
    m_picking = true;
    emit Message(QStringLiteral("选择对象:"));
    setCursor(Qt::BlankCursor); // the crosshair and pick box are drawn instead
    setFocus(Qt::OtherFocusReason);
    Invalidate();
}

void DrawingView::EndPick(bool accepted) {
    if (!m_picking) {
        return;
    }
    m_picking = false;
    m_firstCorner.reset();
    Hover(nullptr);
    if (!accepted) {
        m_picked.clear();
        emit Message(QStringLiteral("*取消*"));
    }
    unsetCursor();
    Invalidate();
    emit PickEnded(accepted);
}

bool DrawingView::Pickable(const drawing::Entity& entity) const {
    if (entity.invisible || entity.type == drawing::EntityType::Viewport) {
        return false;
    }
    const drawing::Layer* layer = m_document->drawing.FindLayer(entity.layer);
    return layer == nullptr || (layer->on && !layer->Frozen());
}

const drawing::Entity* DrawingView::EntityAt(QPointF at) const {
    if (!m_document || m_document->closed) {
        return nullptr;
    }
    const QRectF box(at.x() - kPickBoxPx, at.y() - kPickBoxPx, 2 * kPickBoxPx, 2 * kPickBoxPx);
    const QRectF window = ScreenToDrawing().mapRect(box);
    const auto candidates = m_document->Renderer().EntitiesIn(m_layoutIndex, window);
    // The last drawn lies on top.
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
        if (Pickable(**it) && render::EntityTouches(m_document->Renderer(), **it, window)) {
            return *it;
        }
    }
    return nullptr;
}

void DrawingView::SelectWindow(QPointF from, QPointF to, bool remove) {
    if (!m_document || m_document->closed) {
        return;
    }
    const bool crossing = to.x() < from.x();
    const QRectF window = ScreenToDrawing().mapRect(QRectF(from, to).normalized());
    std::vector<const drawing::Entity*> found;
    for (const drawing::Entity* entity : m_document->Renderer().EntitiesIn(m_layoutIndex, window)) {
        if (!Pickable(*entity)) {
            continue;
        }
        const drawing::Document& document = m_document->drawing;
        if (render::EntityInside(document, *entity, window) ||
            (crossing && render::EntityTouches(m_document->Renderer(), *entity, window))) {
            found.push_back(entity);
        }
    }
    Take(found, remove);
}

void DrawingView::Take(const std::vector<const drawing::Entity*>& found, bool remove) {
    std::size_t changed = 0;
    for (const drawing::Entity* entity : found) {
        const auto at = std::find(m_picked.begin(), m_picked.end(), entity);
        if (remove && at != m_picked.end()) {
            m_picked.erase(at);
            ++changed;
        } else if (!remove && at == m_picked.end()) {
            m_picked.push_back(entity);
            ++changed;
        }
    }
    QString text = remove ? QStringLiteral("删除 %1 个").arg(changed)
                          : QStringLiteral("找到 %1 个").arg(found.size());
    if (!remove && changed != found.size()) {
        text += QStringLiteral("（%1 个重复）").arg(found.size() - changed);
    }
    text += QStringLiteral("，总计 %1 个").arg(m_picked.size());
    emit Message(text);
    Invalidate();
}

} // namespace kw::builtin
