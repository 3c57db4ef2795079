#include "main_window/form1.h"
#include "notices/frm_info.h"
#include "window_fixture.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

namespace {

frm_info *openInfo(Form1 &form)
{
    press(&form, "img_info");
    return loadedWindow<frm_info>();
}

int loadedInfoWindows()
{
    int count = 0;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *info = qobject_cast<frm_info *>(window); info && !info->isUnloaded())
            ++count;
    }
    return count;
}

} // namespace

class tst_frm_info : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensFromTheMainWindowOnce();
    void helpTextKeepsItsExactLines();
    void linksHandTheirAddressesToTheDesktop();
    void everyControlIsReachable();
    void closePictureAndExitCloseIt();
};

void tst_frm_info::opensFromTheMainWindowOnce()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();

    frm_info *info = openInfo(form);
    QVERIFY(info && info->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(info));
    QVERIFY(!info->isModal() && !info->parentWidget());
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(info, "Text1"));

    QCOMPARE(openInfo(form), info);
    QCOMPARE(loadedInfoWindows(), 1);
}

// The help text word for word: nine lines, each ended (the last one too), lines 1 to 4 and 8 with
// a blank at their end. A carriage return would show as a mark of its own.
void tst_frm_info::helpTextKeepsItsExactLines()
{
    WindowFixture fixture;
    const QString shown = control<QPlainTextEdit>(openInfo(fixture.form()), "Text1")->toPlainText();
    const QStringList lines{
        QStringLiteral("Dieses Programm dient zum schnellen Auffinden von Dateien in denen der "
                       "eingegebene Name vorhanden ist. "),
        QStringLiteral(
            "Die gefundene Datei kann entweder mit einem Doppelklick aus dem Listenfeld "
            "heraus oder mit einem einfachen Klick auf den Knopf \"Aufrufen\" betrachtet "),
        QStringLiteral(
            "werden, insofern die Verknüpfung zum Programm systemweit festgelegt wurde. "),
        QStringLiteral(
            "Um nach einer Datei zu suchen geben Sie bitte zuerst im Feld \"Such-Eingabe\" "
            "den gesuchten Text oder einen Teil des Textes ein. "),
        QStringLiteral("Die Verwendung von Wildcards wie \"*\" oder \"?\" ist nicht erlaubt."),
        QStringLiteral(
            "Es ist möglich die Baugruppe zu einem Teil direkt aus dem Explorer heraus zu "
            "suchen. Die Suche bezieht sich dann auf das aktuelle Verzeichnis."),
        QStringLiteral("Vorgehensweise: rechte Maustaste, dann \"öffnen mit...\" und dann "
                       "spurwerk.exe auswählen."),
        QStringLiteral("Ein Doppelklick auf den Namen unter dem Listenfeld übernimmt den "
                       "Zeichnungsnamen in ein Notizfeld. Dort können die Texte über das "
                       "Kontextmenü der rechten Maustaste weiterverarbeitet werden. "),
        QStringLiteral("Der Autor übernimmt keine Haftung für Schäden die durch den Gebrauch des "
                       "Programms entstehen !"),
    };
    QCOMPARE(shown, lines.join(u'\n') + u'\n');
}

void tst_frm_info::linksHandTheirAddressesToTheDesktop()
{
    WindowFixture fixture;
    frm_info *info = openInfo(fixture.form());
    auto *homePage = control<QLabel>(info, "Label10");
    auto *mail = control<QLabel>(info, "Label11");
    QVERIFY(homePage->text().endsWith(u'/'));

    QTest::mouseClick(homePage, Qt::LeftButton);
    QTest::mouseClick(mail, Qt::LeftButton);
    QTest::mouseClick(control<QLabel>(info, "Label3"), Qt::LeftButton);

    QCOMPARE(fixture.opened, QList<QUrl>({QUrl(homePage->text() + QStringLiteral("index.html")),
                                          QUrl(QStringLiteral("mailto:") + mail->text())}));
    QVERIFY(fixture.boxes.texts.isEmpty());
}

void tst_frm_info::everyControlIsReachable()
{
    WindowFixture fixture;
    const frm_info *info = openInfo(fixture.form());
    for (const char *name :
         {"Label1", "Label6", "Text1", "Image4", "Label11", "Label10", "Image3", "Label3"}) {
        const auto *widget = control<QWidget>(info, name);
        QVERIFY2(widget && widget->isVisible(), name);
        // a label is read out by its text, everything else by its accessible name
        const auto *label = qobject_cast<const QLabel *>(widget);
        const bool named =
            !widget->accessibleName().isEmpty() || (label && !label->text().isEmpty());
        QVERIFY2(named, name);
    }
}

void tst_frm_info::closePictureAndExitCloseIt()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    press(openInfo(form), "Image3");
    QCOMPARE(loadedInfoWindows(), 0);

    frm_info *reopened = openInfo(form);
    QVERIFY(reopened && reopened->isVisible());
    control<QWidget>(&form, "Frame1")->show();
    press(&form, "img_exit");
    QCOMPARE(loadedInfoWindows(), 0);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(tst_frm_info)
#include "tst_frm_info.moc"
