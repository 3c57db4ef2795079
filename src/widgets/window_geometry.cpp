#include "widgets/window_geometry.h"

#include "widgets/twips.h"

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

// A window manager frames a window only once it is shown, so an outer size set before comes out as
// the client size, and centring is off by the frame. Until the frame is known, this remembers the
// outer size asked for and whether the window was centred (and not placed elsewhere since), and
// puts both right when the frame arrives; then it goes.
class UnframedWindow : public QObject
{
public:
    // The one that remembers for the window, if any.
    static UnframedWindow *find(const QWidget *window)
    {
        for (QObject *child : window->children()) {
            if (auto *unframed = dynamic_cast<UnframedWindow *>(child))
                return unframed;
        }
        return nullptr;
    }

    // Made on first use; none once the window system has framed the window and the corrections
    // were made.
    static UnframedWindow *of(QWidget *window)
    {
        if (UnframedWindow *unframed = find(window))
            return unframed;
        return frameExtent(window).isNull() ? new UnframedWindow(window) : nullptr;
    }

    void outerWidthSet(int twips) { m_outerWidth = twips; }
    void outerHeightSet(int twips) { m_outerHeight = twips; }
    void centred() { m_centred = true; }
    void placed() { m_centred = false; }

protected:
    // The frame arrives with no event of its own; a framed window is painted soon after.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (watched == m_window && !m_framed &&
            (type == QEvent::Paint || type == QEvent::Move || type == QEvent::Resize) &&
            !frameExtent(m_window).isNull()) {
            m_framed = true;
            QMetaObject::invokeMethod(this, &UnframedWindow::framed, Qt::QueuedConnection);
        }
        return false;
    }

private:
    explicit UnframedWindow(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
    }

    void framed()
    {
        if (m_window->windowState() == Qt::WindowNoState) {
            const QSize frame = frameExtent(m_window);
            const QSize outer = m_window->frameGeometry().size();
            const int width = m_outerWidth >= 0 ? twipsToPixels(m_outerWidth) : outer.width();
            const int height = m_outerHeight >= 0 ? twipsToPixels(m_outerHeight) : outer.height();
            m_window->resize(width - frame.width(), height - frame.height());
            if (m_centred)
                placeInMiddle(m_window);
        }
        deleteLater();
    }

    QWidget *m_window;
    int m_outerWidth = -1;
    int m_outerHeight = -1;
    bool m_centred = false;
    bool m_framed = false;
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

int outerTop(const QWidget *window)
{
    return pixelsToTwips(window->frameGeometry().top());
}

void setOuterWidth(QWidget *window, int twips)
{
    window->resize(twipsToPixels(twips) - frameExtent(window).width(), window->height());
    if (UnframedWindow *unframed = UnframedWindow::of(window))
        unframed->outerWidthSet(twips);
}

void setOuterHeight(QWidget *window, int twips)
{
    window->resize(window->width(), twipsToPixels(twips) - frameExtent(window).height());
    if (UnframedWindow *unframed = UnframedWindow::of(window))
        unframed->outerHeightSet(twips);
}

// Only a centring asked for before is to be forgotten: with nothing remembered yet, there is
// nothing to correct.
void setOuterLeft(QWidget *window, int twips)
{
    window->move(twipsToPixels(twips), window->frameGeometry().top());
    if (UnframedWindow *unframed = UnframedWindow::find(window))
        unframed->placed();
}

void setOuterTop(QWidget *window, int twips)
{
    window->move(window->frameGeometry().left(), twipsToPixels(twips));
    if (UnframedWindow *unframed = UnframedWindow::find(window))
        unframed->placed();
}

int screenRight(const QWidget *window)
{
    const QRect screen = screenRect(window);
    return pixelsToTwips(screen.left() + screen.width());
}

void keepRightEdgeOnScreen(QWidget *window)
{
    const QRect screen = screenRect(window);
    const QRect outer = window->frameGeometry();
    if (outer.left() + outer.width() > screen.left() + screen.width())
        window->move(screen.left() + screen.width() - outer.width(), outer.top());
}

void centreOnScreen(QWidget *window)
{
    placeInMiddle(window);
    if (UnframedWindow *unframed = UnframedWindow::of(window))
        unframed->centred();
}

} // namespace window_geometry
