#include "platform/window_geometry.h"

#include "platform/twips.h"

#include <QEvent>
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

void placeInMiddle(QWidget *window);

// A window manager frames a window only once it is shown, so outer sizes set before come out as
// client sizes. This remembers the outer size asked for and, when the frame changes, sets the
// client size again so that the outer size stays as asked; a window that was centred before its
// frame was known is centred again.
class FrameWatcher : public QObject
{
public:
    static FrameWatcher *of(QWidget *window)
    {
        for (QObject *child : window->children()) {
            if (auto *watcher = dynamic_cast<FrameWatcher *>(child))
                return watcher;
        }
        return new FrameWatcher(window);
    }

    void outerWidthSet(int twips)
    {
        m_outerWidth = twips;
        m_frame = frameExtent(m_window);
    }
    void outerHeightSet(int twips)
    {
        m_outerHeight = twips;
        m_frame = frameExtent(m_window);
    }
    void centred()
    {
        m_centred = true;
        m_frame = frameExtent(m_window);
    }

protected:
    // The frame arrives with no event of its own; a framed window is painted soon after.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (watched == m_window && !m_pending &&
            (type == QEvent::Paint || type == QEvent::Move || type == QEvent::Resize) &&
            frameExtent(m_window) != m_frame) {
            m_pending = true;
            QMetaObject::invokeMethod(this, &FrameWatcher::frameChanged, Qt::QueuedConnection);
        }
        return false;
    }

private:
    explicit FrameWatcher(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
    }

    void frameChanged()
    {
        m_pending = false;
        const QSize frame = frameExtent(m_window);
        const QSize outer = m_window->frameGeometry().size();
        const int width = m_outerWidth >= 0 ? twipsToPixels(m_outerWidth) : outer.width();
        const int height = m_outerHeight >= 0 ? twipsToPixels(m_outerHeight) : outer.height();
        m_frame = frame;
        m_window->resize(width - frame.width(), height - frame.height());
        if (m_centred)
            placeInMiddle(m_window);
        m_centred = false;
    }

    QWidget *m_window;
    QSize m_frame;
    int m_outerWidth = -1;
    int m_outerHeight = -1;
    bool m_centred = false;
    bool m_pending = false;
};

QRect screenRect(const QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen->geometry();
}

void placeInMiddle(QWidget *window)
{
    const QRect screen = screenRect(window);
    const QSize outer = window->frameGeometry().size();
    window->move(screen.left() + (screen.width() - outer.width()) / 2,
                 screen.top() + (screen.height() - outer.height()) / 2);
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
    FrameWatcher::of(window)->outerWidthSet(twips);
}

void setOuterHeight(QWidget *window, int twips)
{
    window->resize(window->width(), twipsToPixels(twips) - frameExtent(window).height());
    FrameWatcher::of(window)->outerHeightSet(twips);
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
    placeInMiddle(window);
    FrameWatcher::of(window)->centred();
}

} // namespace window_geometry
