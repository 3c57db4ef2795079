#pragma once

#include <QHash>
#include <QPixmap>
#include <QRect>
#include <QScrollArea>
#include <QSet>

class QLabel;

// The where-used picture: fitted into its pane, or zoomed with Ctrl and the wheel; a click on a
// file's box names the file, and the boxes of the marked files are framed.
class WhereUsedPictureView : public QScrollArea
{
    Q_OBJECT

public:
    explicit WhereUsedPictureView(QWidget *parent = nullptr);

    // boxes: each file's box in the drawing's pixels, the part's under -1
    void setDrawing(const QPixmap &drawing, const QHash<qsizetype, QRect> &boxes);
    // A text instead of a drawing.
    void setText(const QString &text);
    void clear();
    void markFiles(const QSet<qsizetype> &files);
    // "Einpassen": the whole drawing in the pane.
    void fit();
    // the drawing's size on the screen against its own; fitted: at most 1
    double scale() const;

signals:
    void fileClicked(qsizetype file);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showDrawing();

    QLabel *m_picture;
    // as Graphviz drew it, before it is scaled
    QPixmap m_drawing;
    QHash<qsizetype, QRect> m_boxes;
    QSet<qsizetype> m_marked;
    // 0: fitted into the pane
    double m_zoom = 0;
};
