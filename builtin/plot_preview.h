#pragma once

// The plot preview: the page that a layout's plot settings make, painted by the same code as the
// plot itself, on a sheet of the paper's size with its printable area outlined. The wheel zooms
// about the cursor, a drag pans, a double-click fits the sheet again; Esc or "关闭" closes.

#include <QDialog>
#include <QPointF>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/render.h"

class QLabel;

namespace kw::builtin {

class DocumentState;

// Where on the sheet things are drawn: what the plot would put on the page.
class PageView : public QWidget {
    Q_OBJECT

public:
    PageView(std::shared_ptr<DocumentState> document, std::size_t layoutIndex,
             render::PagePlacement placement, render::PaintOptions options,
             QWidget* parent = nullptr);

    void FitSheet();
    void ZoomAbout(QPointF anchor, double factor);
    // Pixels per millimetre of paper.
    double Zoom() const { return m_zoom; }
    // The sheet on the widget, in pixels.
    QRectF SheetRect() const;
    // Page millimetres (y up) → pixels of the widget.
    QTransform PageToScreen() const;
    const render::PagePlacement& Placement() const { return m_placement; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::shared_ptr<DocumentState> m_document;
    std::size_t m_layoutIndex;
    render::PagePlacement m_placement;
    render::PaintOptions m_options;
    double m_zoom = 1.0;    // pixels per millimetre
    QPointF m_sheetTopLeft; // pixels
    bool m_fitted = true;   // follows the window's size until the user zooms or pans
    std::optional<QPointF> m_dragFrom;
};

class PlotPreviewDialog : public QDialog {
    Q_OBJECT

public:
    // Fails (Error 5, from render::PlacePage) when the layout's settings give no page.
    PlotPreviewDialog(std::shared_ptr<DocumentState> document, std::size_t layoutIndex,
                      QWidget* parent = nullptr);

    PageView* View() const { return m_view; }

private:
    PageView* m_view;
};

// The painting options that a layout's plot settings ask for on paper. A plot style table named
// by a file in `styleFolders` (StyleFolders) is read from it; a damaged one fails (Error 13).
render::PaintOptions PageOptions(const drawing::LayoutPlotSettings& settings,
                                 const std::vector<std::string>& styleFolders = {});

} // namespace kw::builtin
