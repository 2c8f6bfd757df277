#include "ui/progress_window.h"

#include <QCloseEvent>
#include <QMouseEvent>

#include "ui/platform/desktop.h"
#include "ui/twips.h"

namespace kw::ui {

ProgressWindow::ProgressWindow(std::function<void()> returnToMain)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint),
      m_returnToMain(std::move(returnToMain)) {
    setObjectName(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(TwipsRect(0, 0, 3900, 1140).size());

    Label1 = MakeLabel("Label1", "正在打印第   页  共   页", 840, 120, 2160, 180);
    Label2 = MakeLabel("Label2", "开始时间：", 840, 480, 900, 180);
    Label3 = MakeLabel("Label3", "", 1920, 480, 90, 180);
    Label4 = MakeLabel("Label4", "结束时间：", 840, 840, 900, 180);
    Label5 = MakeLabel("Label5", "", 1920, 840, 90, 180);

    Form_Load();
}

QLabel* ProgressWindow::MakeLabel(const char* name, const char* caption, double left, double top,
                         double width, double height) {
    auto* label = new QLabel(QString::fromUtf8(caption), this);
    label->setObjectName(QString::fromLatin1(name));
    PlaceTwips(label, left, top, width, height);
    label->installEventFilter(this);
    if (!label->text().isEmpty()) {
        label->adjustSize();
    }
    return label;
}

void ProgressWindow::Form_Load() {
    MakeTopmost(this);
    CenterForm(this);
}

void ProgressWindow::SetLabel(ProgressLabel label, const QString& text) {
    QLabel* target = label == ProgressLabel::Status      ? Label1
                     : label == ProgressLabel::StartTime ? Label3
                                                         : Label5;
    target->setText(text);
    // The labels grow to the right from their left edge to fit their text.
    target->adjustSize();
}

void ProgressWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    Form_DblClick();
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == Label1) {
            Label1_DblClick();
        } else if (watched == Label2) {
            Label2_DblClick();
        } else if (watched == Label3) {
            Label3_DblClick();
        } else if (watched == Label4) {
            Label4_DblClick();
        } else if (watched == Label5) {
            Label5_DblClick();
        } else {
            return QWidget::eventFilter(watched, event);
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ProgressWindow::Form_DblClick() {
    CloseAndReturn();
}
void ProgressWindow::Label1_DblClick() {
    CloseAndReturn();
}
void ProgressWindow::Label2_DblClick() {
    CloseAndReturn();
}
void ProgressWindow::Label3_DblClick() {
    CloseAndReturn();
}
void ProgressWindow::Label4_DblClick() {
    CloseAndReturn();
}
void ProgressWindow::Label5_DblClick() {
    CloseAndReturn();
}

void ProgressWindow::CloseAndReturn() {
    close();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    // However the window goes (double-click, or the window system's close command), the main
    // window comes back: otherwise the program would be left without a visible window.
    event->accept();
    if (!m_returned) {
        m_returned = true;
        if (m_returnToMain) {
            m_returnToMain();
        }
    }
}

} // namespace kw::ui
