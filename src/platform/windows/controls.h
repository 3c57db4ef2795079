#pragma once

#include <QFont>
#include <QString>

class QColor;
class QWidget;

namespace controls {

// Names the control for automation, places it at a rectangle given in twips and returns it.
template<typename Control>
Control *place(Control *control, const char *name, int left, int top, int width, int height);

void setObjectNameAndGeometry(QWidget *control, const char *name, int left, int top, int width,
                              int height);
void setBackground(QWidget *control, const QColor &colour);
void setTextColour(QWidget *control, const QColor &colour);

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
