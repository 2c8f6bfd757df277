#pragma once

#include <QRect>

class QWidget;

namespace kw::ui {

// Window geometry is kept in twips (1/1440 inch), as the layout tables give it. 15 twips make
// one pixel at 96 dpi; at other resolutions the factor follows the screen's logical dpi. This is
// the only place where twips become pixels or back.
double TwipsPerPixelX();
double TwipsPerPixelY();

int ToPixelsX(double twips);
int ToPixelsY(double twips);
double ToTwipsX(int pixels);
double ToTwipsY(int pixels);

// left, top, width, height in twips to a pixel rectangle.
QRect TwipsRect(double left, double top, double width, double height);

// Places a widget at a twips rectangle relative to its parent.
void PlaceTwips(QWidget* widget, double left, double top, double width, double height);

// The primary screen's size in twips.
double ScreenWidthTwips();
double ScreenHeightTwips();

// Window position and size in twips, as the window system reports them (outer rectangle).
double WindowLeftTwips(const QWidget* window);
double WindowTopTwips(const QWidget* window);
double WindowWidthTwips(const QWidget* window);
double WindowHeightTwips(const QWidget* window);
void MoveWindowTwips(QWidget* window, double left, double top);

} // namespace kw::ui
