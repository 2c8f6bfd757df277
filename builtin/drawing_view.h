#pragma once

// The drawing area of the built-in CAD's window: one layout of a drawing on a dark background,
// painted by render::Renderer, with pan (middle button, or left button outside a pick), zoom about
// the cursor with the wheel and zoom extents (double-click of the middle button). In a pick it
// works as a CAD's object selection: a click picks what lies under the pick box, a window dragged
// or clicked left to right picks what lies wholly inside it, right to left (crossing) what it
// touches; Shift takes picked entities out again; Enter, Space or the right button end the pick,
// Esc cancels it.

#include <QImage>
#include <QPointF>
#include <QPolygonF>
#include <QTimer>
#include <QTransform>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "drawing/entities.h"

namespace kw::builtin {

class DocumentState;

class DrawingView : public QWidget {
    Q_OBJECT

public:
    // Half the side of the pick box, in pixels.
    static constexpr int kPickBoxPx = 5;

    explicit DrawingView(QWidget* parent = nullptr);
    ~DrawingView() override;

    // Shows a layout of a drawing (nothing for null) and zooms to its extents when first painted
    // or picked in. The view keeps the drawing alive while it shows it.
    void SetDrawing(std::shared_ptr<DocumentState> document, std::size_t layoutIndex);
    const std::shared_ptr<DocumentState>& Drawing() const { return m_document; }
    std::size_t LayoutIndex() const { return m_layoutIndex; }

    void ZoomExtents();
    // Zooms by `factor` keeping the drawing point under `anchor` (pixels) where it is.
    void ZoomAbout(QPointF anchor, double factor);
    // Drawing units → pixels of the widget (y down).
    QTransform DrawingToScreen() const;
    QTransform ScreenToDrawing() const;

    void BeginPick();
    // Ends the pick: accepted keeps what was picked, cancelled drops it. Emits PickEnded.
    void EndPick(bool accepted);
    bool Picking() const { return m_picking; }
    // What the pick holds so far (during a pick, highlighted) or held when it ended (after it).
    const std::vector<const drawing::Entity*>& Picked() const { return m_picked; }

signals:
    // The pick ended: accepted (Enter, Space, right button) or cancelled (Esc).
    void PickEnded(bool accepted);
    // A line for the command line ("找到 1 个").
    void Message(const QString& text);
    // Where the mouse points, in drawing units.
    void CursorMoved(QPointF drawingPoint);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The picture must be painted again (drawing, highlight or size changed).
    void Invalidate();
    // The view was panned or zoomed: the picture follows at once, the drawing after kSettleMs.
    void Moved();
    // Centres m_fitted in the view and follows it on resizing.
    void FitExtents();
    // Fits a drawing just shown: to the extents its file gives, else to those measured.
    void FitIfPending();
    void RenderCache();
    // The entity a click would pick now, outlined over the picture; null for none.
    void Hover(const drawing::Entity* entity);
    // The topmost pickable entity under the pick box around `at`, or null.
    const drawing::Entity* EntityAt(QPointF at) const;
    // Ends a selection window from corner `from` to `to` (pixels).
    void SelectWindow(QPointF from, QPointF to, bool remove);
    void Take(const std::vector<const drawing::Entity*>& found, bool remove);
    bool Pickable(const drawing::Entity& entity) const;

    std::shared_ptr<DocumentState> m_document;
    std::size_t m_layoutIndex = 0;
    QPointF m_center;                // the drawing point at the widget's centre
    double m_scale = 1.0;            // pixels per drawing unit
    bool m_followExtents = true;     // zoom extents again on resizing, until the user zooms or pans
    std::optional<QRectF> m_extents; // of the layout shown, measured once
    QRectF m_fitted{0, 0, 420, 297}; // what the view was fitted to: measured or saved extents
    bool m_fitPending = false;

    QImage m_cache; // the painted drawing; overlays go on top of it
    bool m_cacheValid = false;
    QTransform m_cacheTransform; // DrawingToScreen() when the picture was made
    QTimer m_settle;

    std::optional<QPointF> m_panFrom;
    std::optional<QPointF> m_mouse;

    bool m_picking = false;
    std::optional<QPointF> m_firstCorner;
    std::vector<const drawing::Entity*> m_picked;
    const drawing::Entity* m_hover = nullptr;
    std::vector<QPolygonF> m_hoverOutline; // drawing units
};

} // namespace kw::builtin
