#pragma once

#include <QListWidget>
#include <QStringList>

namespace kw::ui {

// The list box of the drawing list: multi-selection, takes files dropped from the file manager,
// reports the pointer's height while it moves over the entries.
class DrawingListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DrawingListBox(QWidget* parent);

signals:
    // The local paths of a drop, in the order the drop lists them.
    void FilesDropped(const QStringList& paths);
    // Pointer position in the list's own coordinates, pixels.
    void PointerMoved(int y);
    // A double-click anywhere on the list, after it has selected the entry under the pointer.
    void DoubleClicked();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// The local file paths a drop carries; other addresses are left out.
QStringList DroppedPaths(const QMimeData* data);

} // namespace kw::ui
