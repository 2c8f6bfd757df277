#include "ui/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace kw::ui {

namespace {

constexpr double kTwipsPerInch = 1440.0;

QScreen* PrimaryScreen() {
    return QGuiApplication::primaryScreen();
}

double LogicalDpi(bool horizontal) {
    const QScreen* screen = PrimaryScreen();
    if (screen == nullptr) {
        return 96.0;
    }
    const double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    return dpi > 0.0 ? dpi : 96.0;
}

int Round(double value) {
    return static_cast<int>(std::lround(value));
}

} // namespace

double TwipsPerPixelX() {
    return kTwipsPerInch / LogicalDpi(true);
}
double TwipsPerPixelY() {
    return kTwipsPerInch / LogicalDpi(false);
}

int ToPixelsX(double twips) {
    return Round(twips / TwipsPerPixelX());
}
int ToPixelsY(double twips) {
    return Round(twips / TwipsPerPixelY());
}
double ToTwipsX(int pixels) {
    return pixels * TwipsPerPixelX();
}
double ToTwipsY(int pixels) {
    return pixels * TwipsPerPixelY();
}

QRect TwipsRect(double left, double top, double width, double height) {
    // Edges are converted rather than sizes, so that neighbouring controls never overlap or
    // leave a gap through rounding.
    const int x = ToPixelsX(left);
    const int y = ToPixelsY(top);
    return QRect(x, y, ToPixelsX(left + width) - x, ToPixelsY(top + height) - y);
}

void PlaceTwips(QWidget* widget, double left, double top, double width, double height) {
    widget->setGeometry(TwipsRect(left, top, width, height));
}

double ScreenWidthTwips() {
    const QScreen* screen = PrimaryScreen();
    return screen == nullptr ? 0.0 : ToTwipsX(screen->geometry().width());
}

double ScreenHeightTwips() {
    const QScreen* screen = PrimaryScreen();
    return screen == nullptr ? 0.0 : ToTwipsY(screen->geometry().height());
}

double WindowLeftTwips(const QWidget* window) {
    return ToTwipsX(window->frameGeometry().x());
}
double WindowTopTwips(const QWidget* window) {
    return ToTwipsY(window->frameGeometry().y());
}
double WindowWidthTwips(const QWidget* window) {
    return ToTwipsX(window->frameGeometry().width());
}
double WindowHeightTwips(const QWidget* window) {
    return ToTwipsY(window->frameGeometry().height());
}

void MoveWindowTwips(QWidget* window, double left, double top) {
    window->move(ToPixelsX(left), ToPixelsY(top));
}

} // namespace kw::ui
