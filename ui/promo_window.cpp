#include "ui/promo_window.h"

#include <QCursor>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>

#include "ui/maker.h"
#include "ui/platform/desktop.h"
#include "ui/twips.h"

namespace kw::ui {

namespace {

constexpr double kStripTwips = 40.0;   // what stays on the screen of a hidden window
constexpr double kOverlapTwips = 10.0; // how far a shown window reaches past the edge
constexpr int kEdgePixels = 4;

// Left + width as the window system's single-precision properties add them.
bool ReachesRightEdge(double left, double width, double edge) {
    const float sum = static_cast<float>(left) + static_cast<float>(width);
    return sum >= static_cast<float>(edge);
}

QPixmap ButtonPicture(bool close) {
    QPixmap picture(29, 29);
    picture.fill(QColor(197, 210, 240));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 60, 120), 3));
    if (close) {
        painter.drawLine(8, 8, 21, 21);
        painter.drawLine(21, 8, 8, 21);
    } else {
        painter.drawLine(7, 20, 22, 20);
    }
    return picture;
}

} // namespace

std::optional<AutoHideMove> AutoHideDecide(const AutoHideInput& in) {
    if (in.minimised) {
        return std::nullopt;
    }
    const int right = in.outerPx.x() + in.outerPx.width();
    const int bottom = in.outerPx.y() + in.outerPx.height();
    const bool inside = in.outerPx.x() < in.pointerPx.x() && in.pointerPx.x() < right &&
                        in.outerPx.y() < in.pointerPx.y() && in.pointerPx.y() < bottom;
    AutoHideMove move;
    if (!inside) {
        if (in.outerPx.y() <= kEdgePixels) {
            move.topTwips = kStripTwips - in.heightTwips;
        } else if (in.outerPx.x() <= kEdgePixels) {
            move.leftTwips = kStripTwips - in.widthTwips;
        } else if (ReachesRightEdge(in.leftTwips, in.widthTwips, in.screenWidthTwips - 4.0)) {
            move.leftTwips = in.screenWidthTwips - kStripTwips;
        } else {
            return std::nullopt;
        }
        return move;
    }
    if (in.topTwips < 0.0) {
        move.topTwips = -kOverlapTwips;
    } else if (in.leftTwips < 0.0) {
        move.leftTwips = -kOverlapTwips;
    } else if (ReachesRightEdge(in.leftTwips, in.widthTwips, in.screenWidthTwips)) {
        move.leftTwips = in.screenWidthTwips - in.widthTwips + kOverlapTwips;
    } else {
        return std::nullopt;
    }
    move.show = true;
    return move;
}

PromoWindow::PromoWindow(const char* name, DockEdge edge, QUrl page,
                         const PageViewFactory& makeView, Shell& shell)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_edge(edge), m_page(std::move(page)),
      m_shell(shell), m_pointer([] { return QCursor::pos(); }) {
    setObjectName(QString::fromLatin1(name));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("休息一下，马上回来！"));
    setWindowIcon(ProgramIcon());
    setFixedSize(TwipsRect(0, 0, 1965, 9135).size());
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(197, 210, 240));
    setPalette(background);
    setAutoFillBackground(true);

    // The pictures and the label lie on the window's own surface, beneath the page view.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ButtonPicture(false));
    PlaceTwips(Image1, 1155, 600, 435, 435);
    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(ButtonPicture(true));
    PlaceTwips(Image2, 1680, 600, 435, 435);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 0, 8760, 495, 420);
    for (QLabel* control : {Image1, Image2, Label1}) {
        control->installEventFilter(this);
    }

    WebBrowser1 = makeView(this);
    WebBrowser1->Widget()->setObjectName(QStringLiteral("WebBrowser1"));
    PlaceTwips(WebBrowser1->Widget(), -100, -200, 2400, 9690);
    WebBrowser1->Widget()->raise();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(5000);
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2_Timer(); });

    Form_Load();
}

void PromoWindow::Form_Load() {
    CenterForm1();
    MakeTopmost(this);
    WebBrowser1->Navigate(m_page);
    Timer2->start();
}

void PromoWindow::CenterForm1() {
    const double left =
        m_edge == DockEdge::Right ? ScreenWidthTwips() - WindowWidthTwips(this) : 0.0;
    const double top = (ScreenHeightTwips() - WindowHeightTwips(this)) / 3.0;
    MoveWindowTwips(this, left, top);
}

void PromoWindow::Timer2_Timer() {
    if (!Timer1->isActive()) {
        Timer1->start(1);
    }
}

void PromoWindow::Timer1_Timer() {
    AutoHideStep();
}

void PromoWindow::AutoHideStep() {
    AutoHideInput input;
    input.pointerPx = m_pointer();
    input.outerPx = frameGeometry();
    input.minimised = isMinimized();
    input.leftTwips = WindowLeftTwips(this);
    input.topTwips = WindowTopTwips(this);
    input.widthTwips = WindowWidthTwips(this);
    input.heightTwips = WindowHeightTwips(this);
    input.screenWidthTwips = ScreenWidthTwips();
    const std::optional<AutoHideMove> move = AutoHideDecide(input);
    if (!move) {
        return;
    }
    MoveWindowTwips(this, move->leftTwips.value_or(input.leftTwips),
                    move->topTwips.value_or(input.topTwips));
    if (move->show) {
        show();
        raise();
    }
}

bool PromoWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && watched == Image1) {
        Image1_Click();
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && watched == Image2) {
        Image2_Click();
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick && watched == Label1) {
        Label1_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PromoWindow::Image1_Click() {
    showMinimized();
}
void PromoWindow::Image2_Click() {
    m_shell.EndProgram();
}
void PromoWindow::Label1_DblClick() {
    close();
}

namespace {

QUrl PageAddress(const QString& pagesFolder, const char* page) {
    return QUrl::fromLocalFile(QDir(pagesFolder).absoluteFilePath(QString::fromLatin1(page)));
}

} // namespace

adfrm::adfrm(const QString& pagesFolder, const PageViewFactory& makeView, Shell& shell)
    : PromoWindow("adfrm", DockEdge::Right, PageAddress(pagesFolder, maker::kRightPage), makeView,
                  shell) {}

ad1frm::ad1frm(const QString& pagesFolder, const PageViewFactory& makeView, Shell& shell)
    : PromoWindow("ad1frm", DockEdge::Left, PageAddress(pagesFolder, maker::kLeftPage), makeView,
                  shell) {}

void ShowPromotionWindows(const QString& pagesFolder, const PageViewFactory& makeView,
                          Shell& shell) {
    (new adfrm(pagesFolder, makeView, shell))->show();
    (new ad1frm(pagesFolder, makeView, shell))->show();
}

} // namespace kw::ui
