#include "ui/drawing_list_box.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace kw::ui {

DrawingListBox::DrawingListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

QStringList DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths.append(QDir::toNativeSeparators(url.toLocalFile()));
        }
    }
    return paths;
}

void DrawingListBox::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void DrawingListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void DrawingListBox::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedPaths(event->mimeData());
    event->acceptProposedAction();
    emit FilesDropped(paths);
}

void DrawingListBox::mouseMoveEvent(QMouseEvent* event) {
    emit PointerMoved(event->position().toPoint().y());
    QListWidget::mouseMoveEvent(event);
}

void DrawingListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    emit DoubleClicked();
}

} // namespace kw::ui
