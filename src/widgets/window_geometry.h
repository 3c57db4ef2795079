#pragma once

class QWidget;

// Outer window geometry in twips: frame included, as the window system reports it.
namespace window_geometry {

int outerWidth(const QWidget *window);
int outerHeight(const QWidget *window);
int outerLeft(const QWidget *window);
int outerTop(const QWidget *window);
void setOuterWidth(QWidget *window, int twips);
void setOuterHeight(QWidget *window, int twips);
void setOuterLeft(QWidget *window, int twips);
void setOuterTop(QWidget *window, int twips);
// The right edge of the window's screen, which need not start at 0 beside another screen.
int screenRight(const QWidget *window);
// Moves the window left until its outer right edge meets its screen's right edge, if it passes it;
// on a screen narrower than the window the left edge goes past the screen's left edge.
void keepRightEdgeOnScreen(QWidget *window);
// Places the window's outer rectangle in the middle of its screen.
void centreOnScreen(QWidget *window);

} // namespace window_geometry
