#include "notices/frmsplash.h"

#include "widgets/controls.h"
#include "widgets/twips.h"
#include "widgets/window_geometry.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace {

const QColor noticeYellow(255, 255, 128);

QLabel *noticeText(QWidget *parent, const QString &text, bool bold)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    label->setFont(controls::sansFont(8.25, bold));
    return label;
}

} // namespace

frmSplash::frmSplash()
    : Form(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAccessibleName(QStringLiteral("Es wurden keine Dateien gefunden !"));
    setFixedSize(twipsToPixels(3825), twipsToPixels(2355));
    controls::setBackground(this, noticeYellow);

    Label1 = controls::place(
        noticeText(this, QStringLiteral("Es wurden keine Dateien gefunden !"), true), "Label1", 120,
        240, 3615, 255);
    Label2 = controls::place(
        noticeText(this, QStringLiteral("Versuchen Sie eventuell die Eingabe zu optimieren !"),
                   false),
        "Label2", 240, 600, 3255, 555);
    Label3 = controls::place(noticeText(this,
                                        QStringLiteral("Zum Schliessen dieser Dialogbox klicken "
                                                       "Sie in die Box oder drücken Sie eine "
                                                       "Taste !"),
                                        true),
                             "Label3", 360, 1500, 3135, 615);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    // a coarse timer may fire up to 5 % early, and the notice promises four seconds
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::CloseNotice);

    Form_Load();
}

void frmSplash::Form_Load()
{
    window_geometry::centreOnScreen(this);
    Timer1->start(closeAfterMs);
}

void frmSplash::CloseNotice()
{
    unload();
}

void frmSplash::mousePressEvent(QMouseEvent *)
{
    CloseNotice();
}

// A fixed border without a title bar: no window manager draws such a frame, so the notice does.
void frmSplash::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void frmSplash::keyPressEvent(QKeyEvent *event)
{
    if (event->text().isEmpty())
        return Form::keyPressEvent(event);
    CloseNotice();
}
