#include "notices/frm_info.h"

#include "widgets/clickable_label.h"
#include "widgets/controls.h"
#include "widgets/desktop_opener.h"
#include "widgets/picture_button.h"
#include "widgets/twips.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QUrl>

namespace {

const QString authorMail = QStringLiteral("spurwerk@example.org");
const QString homePage = QStringLiteral("https://spurwerk.example.org/");
const QColor linkBlue(0, 0, 255);
const QColor authorGrey(128, 128, 128);

// Nine lines, each ended by CR LF; lines 1, 2, 3, 4 and 8 end with a blank, and line 2 breaks in
// the middle of its sentence.
const QString helpText = QStringLiteral(
    "Dieses Programm dient zum schnellen Auffinden von Dateien in denen der eingegebene Name "
    "vorhanden ist. \r\n"
    "Die gefundene Datei kann entweder mit einem Doppelklick aus dem Listenfeld heraus oder mit "
    "einem einfachen Klick auf den Knopf \"Aufrufen\" betrachtet \r\n"
    "werden, insofern die Verknüpfung zum Programm systemweit festgelegt wurde. \r\n"
    "Um nach einer Datei zu suchen geben Sie bitte zuerst im Feld \"Such-Eingabe\" den gesuchten "
    "Text oder einen Teil des Textes ein. \r\n"
    "Die Verwendung von Wildcards wie \"*\" oder \"?\" ist nicht erlaubt.\r\n"
    "Es ist möglich die Baugruppe zu einem Teil direkt aus dem Explorer heraus zu suchen. Die "
    "Suche bezieht sich dann auf das aktuelle Verzeichnis.\r\n"
    "Vorgehensweise: rechte Maustaste, dann \"öffnen mit...\" und dann spurwerk.exe "
    "auswählen.\r\n"
    "Ein Doppelklick auf den Namen unter dem Listenfeld übernimmt den Zeichnungsnamen in ein "
    "Notizfeld. Dort können die Texte über das Kontextmenü der rechten Maustaste "
    "weiterverarbeitet werden. \r\n"
    "Der Autor übernimmt keine Haftung für Schäden die durch den Gebrauch des Programms "
    "entstehen !\r\n");

ClickableLabel *link(const QString &text, QWidget *parent)
{
    auto *label = new ClickableLabel(text, parent);
    controls::setTextColour(label, linkBlue);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

frm_info::frm_info()
{
    setObjectName(QStringLiteral("frm_info"));
    setWindowTitle(QStringLiteral("INFO"));
    setWindowIcon(QIcon(QStringLiteral(":/images/info.png")));
    setFont(controls::sansFont());
    resize(twipsToPixels(6195), twipsToPixels(4605));

    Label1 = controls::place(new QLabel(QStringLiteral("Spurwerk 2.3"), this), "Label1", 120, 0,
                             3195, 375);
    Label1->setFont(controls::sansFont(12, true));
    Label6 =
        controls::place(new QLabel(QStringLiteral("Details:"), this), "Label6", 120, 360, 855, 255);
    Text1 = controls::place(new QPlainTextEdit(this), "Text1", 120, 600, 5895, 2835);
    Text1->setPlainText(helpText);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setTabChangesFocus(true);
    Text1->setAccessibleName(Label6->text());
    Image4 = controls::place(new QLabel(this), "Image4", 120, 3420, 1500, 1185);
    Image4->setPixmap(QPixmap(QStringLiteral(":/images/info_picture.png")));
    Image4->setAccessibleName(Label1->text());
    Label11 = controls::place(link(authorMail, this), "Label11", 4140, 3540, 1815, 255);
    connect(Label11, &ClickableLabel::clicked, this, &frm_info::Label11_Click);
    Label10 = controls::place(link(homePage, this), "Label10", 3240, 3780, 2835, 255);
    connect(Label10, &ClickableLabel::clicked, this, &frm_info::Label10_Click);
    Image3 = controls::place(new PictureButton(QStringLiteral(":/images/close_info.png"),
                                               QStringLiteral("INFO-Formular verlassen"), this),
                             "Image3", 5580, 4080, 480, 480);
    connect(Image3, &QToolButton::clicked, this, &frm_info::Image3_Click);
    Label3 = controls::place(new ClickableLabel(QStringLiteral(" Spurwerk-Team 31.05.2006"), this),
                             "Label3", 1680, 4320, 2055, 255);
    controls::setTextColour(Label3, authorGrey);
    Label3->setCursor(Qt::PointingHandCursor);
    connect(Label3, &ClickableLabel::clicked, this, &frm_info::Label3_Click);

    Text1->setFocus();
}

void frm_info::Image3_Click()
{
    unload();
}

void frm_info::Label10_Click()
{
    platform::openOnDesktop(QUrl(Label10->text() + QStringLiteral("index.html")));
}

void frm_info::Label11_Click()
{
    platform::openOnDesktop(QUrl(QStringLiteral("mailto:") + Label11->text()));
}

// The links and the picture show from the start; the author line keeps its old duty anyway.
void frm_info::Label3_Click()
{
    Label11->show();
    Label10->show();
    Image4->show();
}
