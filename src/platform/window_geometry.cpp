#include "platform/window_geometry.h"

#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace window_geometry {

namespace {

// The frame's share of the outer size; zero until the window system has framed the window.
QSize frameExtent(const QWidget *window)
{
    return window->frameGeometry().size() - window->size();
}

QRect screenRect(const QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen->geometry();
}

} // namespace

int outerWidth(const QWidget *window)
{
    return pixelsToTwips(window->frameGeometry().width());
}

int outerHeight(const QWidget *window)
{
    return pixelsToTwips(window->frameGeometry().height());
}

int outerLeft(const QWidget *window)
{
    return pixelsToTwips(window->frameGeometry().left());
}

void setOuterWidth(QWidget *window, int twips)
{
    window->resize(twipsToPixels(twips) - frameExtent(window).width(), window->height());
}

void setOuterHeight(QWidget *window, int twips)
{
    window->resize(window->width(), twipsToPixels(twips) - frameExtent(window).height());
}

void setOuterLeft(QWidget *window, int twips)
{
    window->move(twipsToPixels(twips), window->frameGeometry().top());
}

void setOuterTop(QWidget *window, int twips)
{
    window->move(window->frameGeometry().left(), twipsToPixels(twips));
}

int screenWidth(const QWidget *window)
{
    return pixelsToTwips(screenRect(window).width());
}

int screenHeight(const QWidget *window)
{
    return pixelsToTwips(screenRect(window).height());
}

void centreOnScreen(QWidget *window)
{
    const QRect screen = screenRect(window);
    const QSize outer = window->frameGeometry().size();
    window->move(screen.left() + (screen.width() - outer.width()) / 2,
                 screen.top() + (screen.height() - outer.height()) / 2);
}

} // namespace window_geometry
