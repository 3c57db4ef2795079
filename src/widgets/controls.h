#pragma once

#include <QFont>
#include <QString>

class QColor;
class QFrame;
class QProgressBar;
class QWidget;

namespace controls {

// Names the control for automation, places it at a rectangle given in twips and returns it.
template<typename Control>
Control *place(Control *control, const char *name, int left, int top, int width, int height);

void setObjectNameAndGeometry(QWidget *control, const char *name, int left, int top, int width,
                              int height);
void setBackground(QWidget *control, const QColor &colour);
// Colours a window or a frame, but not the fields and lists inside it.
void setAreaColour(QWidget *area, const QColor &colour);
// A horizontal or vertical line of one pixel from (x1, y1) to (x2, y2), in twips.
QFrame *line(QWidget *parent, const char *name, int x1, int y1, int x2, int y2);
void setTextColour(QWidget *control, const QColor &colour);
// Shows file index of count on the bar. QProgressBar repaints the window at once on every visible
// step; the painting is left to the next pass of the event loop, like every other control of a
// run.
void setProgressPaintedLater(QProgressBar *bar, qint64 index, qint64 count);

// The classic desktop faces the windows were laid out for, with metric-compatible stand-ins.
QFont sansFont(double pointSize = 8.25, bool bold = false);
QFont serifFont(double pointSize = 8.25, bool bold = false);

template<typename Control>
Control *place(Control *control, const char *name, int left, int top, int width, int height)
{
    setObjectNameAndGeometry(control, name, left, top, width, height);
    return control;
}

} // namespace controls
