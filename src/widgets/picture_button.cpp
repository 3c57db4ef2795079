#include "widgets/picture_button.h"

PictureButton::PictureButton(const QString &iconResource, const QString &toolTip, QWidget *parent)
    : QToolButton(parent)
{
    setIcon(QIcon(iconResource));
    setIconSize(QSize(32, 32));
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setToolTip(toolTip);
    setAccessibleName(toolTip.isEmpty() ? iconResource : toolTip);
}
