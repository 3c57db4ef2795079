#include "where_used/where_used_picture_view.h"

#include "widgets/controls.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double zoomStep = 1.25;
constexpr double smallestZoom = 0.05;
constexpr double largestZoom = 8;

} // namespace

WhereUsedPictureView::WhereUsedPictureView(QWidget *parent)
    : QScrollArea(parent)
    , m_picture(new QLabel)
{
    setObjectName(QStringLiteral("pictureArea"));
    setAccessibleName(QStringLiteral("Bild der Verwendung"));
    controls::setBackground(this, Qt::white);
    m_picture->setObjectName(QStringLiteral("picture"));
    m_picture->setAccessibleName(accessibleName());
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->installEventFilter(this);
    setWidget(m_picture);
    setWidgetResizable(true);
}

void WhereUsedPictureView::setDrawing(const QPixmap &drawing, const QHash<qsizetype, QRect> &boxes)
{
    m_drawing = drawing;
    m_boxes = boxes;
    m_marked.clear();
    showDrawing();
}

void WhereUsedPictureView::setText(const QString &text)
{
    m_drawing = QPixmap();
    m_boxes.clear();
    m_picture->setText(text);
}

void WhereUsedPictureView::clear()
{
    m_drawing = QPixmap();
    m_boxes.clear();
    m_picture->clear();
}

void WhereUsedPictureView::markFiles(const QSet<qsizetype> &files)
{
    if (files == m_marked)
        return;
    m_marked = files;
    showDrawing();
}

void WhereUsedPictureView::fit()
{
    m_zoom = 0;
    showDrawing();
}

double WhereUsedPictureView::scale() const
{
    if (m_zoom > 0 || m_drawing.isNull())
        return m_zoom > 0 ? m_zoom : 1;
    const QSize room = viewport()->size();
    return std::min({1.0, double(room.width()) / m_drawing.width(),
                     double(room.height()) / m_drawing.height()});
}

void WhereUsedPictureView::showDrawing()
{
    if (m_drawing.isNull())
        return;
    QPixmap shown = m_drawing;
    if (!m_marked.isEmpty()) {
        QPainter painter(&shown);
        painter.setPen(QPen(QColor(0, 90, 220), 3));
        for (const qsizetype file : std::as_const(m_marked)) {
            if (const auto box = m_boxes.constFind(file); box != m_boxes.cend())
                painter.drawRect(box->adjusted(-2, -2, 2, 2));
        }
    }
    const double factor = scale();
    if (factor != 1)
        shown =
            shown.scaled(m_drawing.size() * factor, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_picture->setPixmap(shown);
}

void WhereUsedPictureView::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    if (m_zoom == 0)
        showDrawing();
}

void WhereUsedPictureView::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier) || m_drawing.isNull()) {
        QScrollArea::wheelEvent(event);
        return;
    }
    const double steps = event->angleDelta().y() / 120.0;
    m_zoom = std::clamp(scale() * std::pow(zoomStep, steps), smallestZoom, largestZoom);
    showDrawing();
    event->accept();
}

// The label shows the drawing in its middle; a click there is mapped back to the drawing's
// pixels.
bool WhereUsedPictureView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_picture || event->type() != QEvent::MouseButtonPress || m_drawing.isNull())
        return QScrollArea::eventFilter(watched, event);
    const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
    const double factor = scale();
    const QSize shown = m_drawing.size() * factor;
    const QPoint corner((m_picture->width() - shown.width()) / 2,
                        (m_picture->height() - shown.height()) / 2);
    const QPointF inDrawing = QPointF(at - corner) / factor;
    for (auto box = m_boxes.cbegin(); box != m_boxes.cend(); ++box) {
        if (QRectF(box.value()).contains(inDrawing)) {
            emit fileClicked(box.key());
            return true;
        }
    }
    return QScrollArea::eventFilter(watched, event);
}
