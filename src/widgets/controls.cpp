#include "widgets/controls.h"

#include "widgets/twips.h"

#include <QColor>
#include <QFrame>
#include <QPalette>
#include <QProgressBar>
#include <QWidget>

#include <initializer_list>

namespace controls {

void setObjectNameAndGeometry(QWidget *control, const char *name, int left, int top, int width,
                              int height)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(twipsRect(left, top, width, height));
}

namespace {

void fillWith(QWidget *widget, const QColor &colour,
              std::initializer_list<QPalette::ColorRole> roles)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorRole role : roles)
        palette.setColor(role, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

void setBackground(QWidget *control, const QColor &colour)
{
    fillWith(control, colour, {QPalette::Window, QPalette::Base});
}

void setAreaColour(QWidget *area, const QColor &colour)
{
    fillWith(area, colour, {QPalette::Window});
}

QFrame *line(QWidget *parent, const char *name, int x1, int y1, int x2, int y2)
{
    auto *line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    if (y1 == y2) {
        line->setFrameShape(QFrame::HLine);
        line->setGeometry(twipsToPixels(x1), twipsToPixels(y1), twipsToPixels(x2 - x1) + 1, 1);
    } else {
        line->setFrameShape(QFrame::VLine);
        line->setGeometry(twipsToPixels(x1), twipsToPixels(y1), 1, twipsToPixels(y2 - y1) + 1);
    }
    return line;
}

void setTextColour(QWidget *control, const QColor &colour)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    control->setPalette(palette);
}

namespace {

QFont font(const QStringList &families, double pointSize, bool bold)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace

QFont sansFont(double pointSize, bool bold)
{
    return font({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                 QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")},
                pointSize, bold);
}

QFont serifFont(double pointSize, bool bold)
{
    return font({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                 QStringLiteral("DejaVu Serif")},
                pointSize, bold);
}

void setProgressPaintedLater(QProgressBar *bar, qint64 index, qint64 count)
{
    if (count <= 0)
        return;
    bar->setUpdatesEnabled(false);
    bar->setValue(static_cast<int>((index + 1) * 100 / count));
    bar->setUpdatesEnabled(true);
}

} // namespace controls
