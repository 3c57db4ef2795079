#include "main_window/form1.h"
#include "notices/frm_info.h"
#include "window_fixture.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

namespace {

frm_info *openInfo(Form1 &form)
{
    control<QToolButton>(&form, "img_info")->click();
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
    Form1 &form = fixture.form();
    form.show();

    frm_info *info = openInfo(form);
    QVERIFY(info && info->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(info));
    QVERIFY(!info->isModal() && !info->parentWidget());
    QCOMPARE(info->windowTitle(), QStringLiteral("INFO"));
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(info, "Text1"));

    QCOMPARE(openInfo(form), info);
    QCOMPARE(loadedInfoWindows(), 1);
}

void tst_frm_info::helpTextKeepsItsExactLines()
{
    WindowFixture fixture;
    const frm_info *info = openInfo(fixture.form());
    const QString expected = QStringLiteral(
        "Dieses Programm dient zum schnellen Auffinden von Dateien in denen der eingegebene Name "
        "vorhanden ist. \r\n"
        "Die gefundene Datei kann entweder mit einem Doppelklick aus dem Listenfeld heraus oder "
        "mit einem einfachen Klick auf den Knopf \"Aufrufen\" betrachtet \r\n"
        "werden, insofern die Verknüpfung zum Programm systemweit festgelegt wurde. \r\n"
        "Um nach einer Datei zu suchen geben Sie bitte zuerst im Feld \"Such-Eingabe\" den "
        "gesuchten Text oder einen Teil des Textes ein. \r\n"
        "Die Verwendung von Wildcards wie \"*\" oder \"?\" ist nicht erlaubt.\r\n"
        "Es ist möglich die Baugruppe zu einem Teil direkt aus dem Explorer heraus zu suchen. "
        "Die Suche bezieht sich dann auf das aktuelle Verzeichnis.\r\n"
        "Vorgehensweise: rechte Maustaste, dann \"öffnen mit...\" und dann spurwerk.exe "
        "auswählen.\r\n"
        "Ein Doppelklick auf den Namen unter dem Listenfeld übernimmt den Zeichnungsnamen in ein "
        "Notizfeld. Dort können die Texte über das Kontextmenü der rechten Maustaste "
        "weiterverarbeitet werden. \r\n"
        "Der Autor übernimmt keine Haftung für Schäden die durch den Gebrauch des Programms "
        "entstehen !\r\n");
    QCOMPARE(control<QPlainTextEdit>(info, "Text1")
                 ->toPlainText()
                 .replace(u'\n', QStringLiteral("\r\n"))
                 .toUtf8(),
             expected.toUtf8());
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
    QCOMPARE(fixture.opened.first().host(), QStringLiteral("spurwerk.example.org"));
    QVERIFY(fixture.boxes.texts.isEmpty());
}

void tst_frm_info::everyControlIsReachable()
{
    WindowFixture fixture;
    const frm_info *info = openInfo(fixture.form());
    const QStringList names{QStringLiteral("Label1"),  QStringLiteral("Label6"),
                            QStringLiteral("Text1"),   QStringLiteral("Image4"),
                            QStringLiteral("Label11"), QStringLiteral("Label10"),
                            QStringLiteral("Image3"),  QStringLiteral("Label3")};
    for (const QString &name : names) {
        const auto *widget = info->findChild<QWidget *>(name);
        QVERIFY2(widget && widget->isVisible(), qPrintable(name));
        // a label is read out by its text, everything else by its accessible name
        const auto *label = qobject_cast<const QLabel *>(widget);
        const bool named =
            !widget->accessibleName().isEmpty() || (label && !label->text().isEmpty());
        QVERIFY2(named, qPrintable(name));
    }
}

void tst_frm_info::closePictureAndExitCloseIt()
{
    WindowFixture fixture;
    Form1 &form = fixture.form();
    form.show();
    control<QToolButton>(openInfo(form), "Image3")->click();
    QCOMPARE(loadedInfoWindows(), 0);

    frm_info *reopened = openInfo(form);
    QVERIFY(reopened && reopened->isVisible());
    control<QWidget>(&form, "Frame1")->show();
    control<QToolButton>(&form, "img_exit")->click();
    QCOMPARE(loadedInfoWindows(), 0);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(tst_frm_info)
#include "tst_frm_info.moc"
