#pragma once

#include <QToolButton>

// A picture used as a button: no frame, no keyboard focus, and its tool tip as accessible name so
// screen readers and automation can reach and press it.
class PictureButton : public QToolButton
{
    Q_OBJECT

public:
    PictureButton(const QString &iconResource, const QString &toolTip, QWidget *parent);
};
