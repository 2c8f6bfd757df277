#pragma once

#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

#include "ui/page_view.h"

namespace kw::ui {

class Shell;

// What one auto-hide step looks at: the window's outer rectangle in pixels for the pointer and
// edge tests, its position and size in twips for everything it sets.
struct AutoHideInput {
    QPoint pointerPx;
    QRect outerPx;
    bool minimised = false;
    double leftTwips = 0.0;
    double topTwips = 0.0;
    double widthTwips = 0.0;
    double heightTwips = 0.0;
    double screenWidthTwips = 0.0;
};

// Where a step puts the window (twips); `show` brings it to the front afterwards.
struct AutoHideMove {
    std::optional<double> leftTwips;
    std::optional<double> topTwips;
    bool show = false;
};

// Slides a docked window off the screen, leaving a 40-twip strip, while the pointer is elsewhere,
// and back in (10 twips past the edge) when the pointer comes onto it. Nothing when minimised or
// away from every edge.
std::optional<AutoHideMove> AutoHideDecide(const AutoHideInput& input);

enum class DockEdge { Left, Right };

// A narrow, borderless, topmost window at a screen edge showing one of the maker's pages.
class PromoWindow : public QWidget {
    Q_OBJECT
public:
    PromoWindow(const char* name, DockEdge edge, QUrl page, const PageViewFactory& makeView,
                Shell& shell);

    // Where the pointer is, in screen pixels; replaceable so that tests can steer it.
    void SetPointerSource(std::function<QPoint()> pointer) { m_pointer = std::move(pointer); }

    void AutoHideStep();

    PageView* WebBrowser1;
    QLabel* Image1;
    QLabel* Image2;
    QLabel* Label1;
    QTimer* Timer1;
    QTimer* Timer2;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void CenterForm1();
    void Timer1_Timer();
    void Timer2_Timer();
    void Image1_Click();
    void Image2_Click();
    void Label1_DblClick();

    DockEdge m_edge;
    QUrl m_page;
    Shell& m_shell;
    std::function<QPoint()> m_pointer;
};

// Docks at the right edge.
class adfrm : public PromoWindow {
    Q_OBJECT
public:
    adfrm(const QString& pagesFolder, const PageViewFactory& makeView, Shell& shell);
};

// Docks at the left edge.
class ad1frm : public PromoWindow {
    Q_OBJECT
public:
    ad1frm(const QString& pagesFolder, const PageViewFactory& makeView, Shell& shell);
};

// Start-up step: shows adfrm, then ad1frm, both modeless; each closes and deletes itself.
void ShowPromotionWindows(const QString& pagesFolder, const PageViewFactory& makeView,
                          Shell& shell);

} // namespace kw::ui
