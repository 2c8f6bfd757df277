#include "builtin/plot_preview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <exception>

#include "builtin/builtin_objects.h"
#include "render/plot_style_table.h"

namespace kw::builtin {
namespace {

const QColor kDesk(118, 122, 128);
// Room around the fitted sheet, pixels.
constexpr double kFitMarginPx = 24.0;

QString Number(double value) {
    return QString::number(value, 'g', 6);
}

} // namespace

render::PaintOptions PageOptions(const drawing::LayoutPlotSettings& settings,
                                 const std::vector<std::string>& styleFolders) {
    namespace pf = drawing::plot_flags;
    render::PaintOptions options;
    if ((settings.flags & pf::kPlotPlotStyles) != 0) {
        options.styleMode = render::StyleModeOfTable(settings.styleSheet);
        // A table the folders no longer hold plots as its name says, like an unknown one.
        const auto table = FindStyleTable(settings.styleSheet, styleFolders);
        if (table && !table->path.empty()) {
            options.styleTable = std::make_shared<const render::PlotStyleTable>(
                render::PlotStyleTable::Load(table->path));
        }
    }
    options.lineweights = (settings.flags & pf::kPrintLineweights) != 0;
    options.background = Qt::white;
    return options;
}

PageView::PageView(std::shared_ptr<DocumentState> document, std::size_t layoutIndex,
                   render::PagePlacement placement, render::PaintOptions options, QWidget* parent)
    : QWidget(parent), m_document(std::move(document)), m_layoutIndex(layoutIndex),
      m_placement(std::move(placement)), m_options(std::move(options)) {
    setObjectName(QStringLiteral("PageView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
    setCursor(Qt::OpenHandCursor);
}

QRectF PageView::SheetRect() const {
    return QRectF(m_sheetTopLeft.toPoint(),
                  QSizeF(m_placement.paperWidthMm * m_zoom, m_placement.paperHeightMm * m_zoom));
}

QTransform PageView::PageToScreen() const {
    QTransform t;
    const QPoint corner = m_sheetTopLeft.toPoint(); // whole pixels, as the page is painted
    t.translate(corner.x(), corner.y() + m_placement.paperHeightMm * m_zoom);
    t.scale(m_zoom, -m_zoom);
    return t;
}

void PageView::FitSheet() {
    const double w = std::max(m_placement.paperWidthMm, 1e-6);
    const double h = std::max(m_placement.paperHeightMm, 1e-6);
    m_zoom = std::max(
        1e-3, std::min((width() - 2 * kFitMarginPx) / w, (height() - 2 * kFitMarginPx) / h));
    m_sheetTopLeft = QPointF((width() - w * m_zoom) / 2.0, (height() - h * m_zoom) / 2.0);
    m_fitted = true;
    update();
}

void PageView::ZoomAbout(QPointF anchor, double factor) {
    const double zoom = std::clamp(m_zoom * factor, 0.05, 2000.0);
    // The paper point under the anchor stays there.
    m_sheetTopLeft = anchor - (anchor - m_sheetTopLeft) * (zoom / m_zoom);
    m_zoom = zoom;
    m_fitted = false;
    update();
}

void PageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kDesk);
    const QRectF sheet = SheetRect();
    painter.fillRect(sheet.translated(4, 4), QColor(0, 0, 0, 90)); // shadow
    painter.fillRect(sheet, Qt::white);

    painter.save();
    painter.setClipRect(sheet);
    // The page is painted with the sheet's corner at the origin. The shift to where the sheet
    // lies goes into the view transformation, which the painter keeps under any world transform
    // it sets (text does).
    const QPoint corner = sheet.topLeft().toPoint();
    painter.setViewport(QRect(corner, size()));
    painter.setWindow(QRect(QPoint(0, 0), size()));
    painter.setRenderHint(QPainter::Antialiasing);
    render::PaintOptions options = m_options;
    options.deviceUnitsPerMm = m_zoom;
    QString failed;
    try {
        if (m_document && !m_document->closed) {
            m_document->Renderer().PaintPage(painter, m_layoutIndex, m_placement, m_zoom, options);
            m_document->ReportRenderWarnings();
        }
    } catch (const std::exception& failure) {
        failed = QString::fromUtf8(failure.what()); // nothing may leave through the event loop
    }
    painter.restore();
    if (!failed.isEmpty()) {
        painter.setPen(Qt::red);
        painter.drawText(sheet.adjusted(8, 8, -8, -8), Qt::AlignLeft | Qt::AlignTop, failed);
    }

    // The printable area: what lies outside it the device cannot reach.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(90, 90, 90), 1, Qt::DashLine));
    painter.drawRect(PageToScreen().mapRect(m_placement.printableMm));
    painter.setPen(QPen(QColor(40, 40, 40), 1));
    painter.drawRect(sheet);
}

void PageView::resizeEvent(QResizeEvent*) {
    if (m_fitted) {
        FitSheet();
    }
}

void PageView::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0.0) {
        ZoomAbout(event->position(), std::pow(1.25, notches));
    }
    event->accept();
}

void PageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
        m_dragFrom = event->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void PageView::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragFrom) {
        m_sheetTopLeft += event->position() - *m_dragFrom;
        m_dragFrom = event->position();
        m_fitted = false;
        update();
    }
}

void PageView::mouseReleaseEvent(QMouseEvent*) {
    m_dragFrom.reset();
    setCursor(Qt::OpenHandCursor);
}

void PageView::mouseDoubleClickEvent(QMouseEvent*) {
    FitSheet();
}

PlotPreviewDialog::PlotPreviewDialog(std::shared_ptr<DocumentState> document,
                                     std::size_t layoutIndex, QWidget* parent)
    : QDialog(parent), m_view(nullptr) {
    setObjectName(QStringLiteral("PlotPreview"));
    setWindowTitle(QStringLiteral("打印预览"));
    setModal(true);
    const drawing::LayoutPlotSettings& settings =
        document->drawing.layouts.at(layoutIndex).plotSettings;
    render::PagePlacement placement = render::PlacePage(settings);
    m_view = new PageView(document, layoutIndex, placement,
                          PageOptions(settings, StyleFolders(document->App()->options)), this);

    auto* fit = new QPushButton(QStringLiteral("整页"), this);
    fit->setObjectName(QStringLiteral("FitButton"));
    fit->setAutoDefault(false);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("CloseButton"));
    close->setAutoDefault(false);
    const double scale = settings.customScaleDrawing / settings.customScalePaper;
    auto* info = new QLabel(QStringLiteral("%1    %2 × %3 毫米    比例 1 : %4")
                                .arg(QString::fromStdString(settings.canonicalMediaName),
                                     Number(placement.paperWidthMm),
                                     Number(placement.paperHeightMm), Number(scale)),
                            this);
    info->setObjectName(QStringLiteral("PageInfo"));
    connect(fit, &QPushButton::clicked, m_view, &PageView::FitSheet);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* bar = new QHBoxLayout;
    bar->addWidget(info, 1);
    bar->addWidget(fit);
    bar->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_view, 1);
    layout->addLayout(bar);
    resize(900, 680);
}

} // namespace kw::builtin
