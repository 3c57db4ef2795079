#include "main_window/form1.h"
#include "platform/display_text.h"
#include "unprivileged_user.h"
#include "widgets/desktop_opener.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QListView *hitList(const Form1 &form)
{
    return control<QListView>(&form, "List2");
}

void doubleClickEntry(const Form1 &form, int row)
{
    QListView *list = hitList(form);
    const QRect entry = list->visualRect(list->model()->index(row, 0));
    // as the window system delivers it: press, release, then the double-click
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, entry.center());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, entry.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, entry.center());
}

// Takes the user's steps, such as "click 1, purge, Aufrufen"; "remove 1" deletes the file of hit 1.
void take(const Form1 &form, const QString &steps, const QByteArrayList &hits)
{
    for (const QString &step : steps.split(u", "_s)) {
        const int row = step.section(u' ', -1).toInt();
        if (step.startsWith(u"click"))
            clickRow(hitList(form), row);
        else if (step.startsWith(u"double-click"))
            doubleClickEntry(form, row);
        else if (step.startsWith(u"remove"))
            QCOMPARE(::unlink(hits.at(row).constData()), 0);
        else if (step == u"purge")
            press(&form, "cmd_purge");
        else
            press(&form, "Command1");
    }
}

void setModificationTime(const QByteArray &path, qint64 seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
}

} // namespace

class tst_ResultListWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clickOnAnEntry_data();
    void clickOnAnEntry();
    void openingHandsTheFileToTheDesktop_data();
    void openingHandsTheFileToTheDesktop();
    void aRunHidesTheDetailsButKeepsTheChosenEntry();
    void purgeBlanksDuplicatesInTheList();
    void purgeDuringARunLetsTheRunFinish();
    void saveWritesWhatsfound_data();
    void saveWritesWhatsfound();
    void moreHitsThanSixteenBitsHold();
};

// Every run finds two files of the same name: hit 0 duplicates hit 1, and the purge empties it.

void tst_ResultListWindow::clickOnAnEntry_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("typeLine");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("timeShown");
    QTest::addRow("hit with revision") << QByteArray("hub.prt.3") << u"click 1"_s << u"hub"_s
                                       << u"Datentyp: .prt"_s << u"Rev.Nr. 3"_s << true;
    QTest::addRow("hit without revision") << QByteArray("hub.prt") << u"click 1"_s << u"hub"_s
                                          << u"Datentyp: .prt"_s << u"Rev.Nr. prt"_s << true;
    QTest::addRow("file removed since the run")
        << QByteArray("hub.asm.2") << u"remove 1, click 1"_s << u"hub"_s << u"Datentyp: .asm"_s
        << u"Rev.Nr. 2"_s << false;
    // the click on the emptied entry keeps hit 1's details
    QTest::addRow("purged entry keeps the details shown")
        << QByteArray("hub.prt.3") << u"click 1, purge, click 0"_s << u"hub"_s
        << u"Datentyp: .prt"_s << u"Liste gepurged"_s << true;
}

void tst_ResultListWindow::clickOnAnEntry()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, steps);
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    const QByteArrayList hits = fixture.searchHits({name, name});
    setModificationTime(hits.at(1), 1160000000);
    QVERIFY(!isShown(&form, "Label8") && !isShown(&form, "Command1"));

    take(form, steps, hits);

    const bool purged = steps.contains(u"purge");
    QCOMPARE(textOf(&form, "Label3"), purged ? QString() : QString::fromLocal8Bit(hits.at(1)));
    QTEST(textOf(&form, "Label8"), "baseName");
    QTEST(textOf(&form, "Label10"), "typeLine");
    QTEST(textOf(&form, "lblStatus"), "status");
    QFETCH(bool, timeShown);
    QCOMPARE(textOf(&form, "lbl_filetime"),
             timeShown ? QLocale().toString(QDateTime::fromSecsSinceEpoch(1160000000),
                                            QLocale::ShortFormat)
                       : QString());
    for (const char *shown : {"Command1", "Label8", "Frame1", "Label10", "lbl_filetime"})
        QVERIFY2(isShown(&form, shown), shown);
    QVERIFY(!isShown(&form, "Label3") && !isShown(&form, "Label9"));
}

void tst_ResultListWindow::openingHandsTheFileToTheDesktop_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("opened"); // hit 0
    QTest::addColumn<bool>("aufrufenShown");
    QTest::addRow("double-click") << QByteArray("hub.prt.3") << u"double-click 0"_s << true << true;
    QTest::addRow("click, then Aufrufen")
        << QByteArray("hub.prt.3") << u"click 0, Aufrufen"_s << true << true;
    QTest::addRow("name not valid UTF-8")
        << QByteArray("w\xe4rme.prt") << u"double-click 0"_s << true << true;
    QTest::addRow("Aufrufen before any click")
        << QByteArray("hub.prt.3") << u"Aufrufen"_s << false << false;
    QTest::addRow("double-click on a purged entry")
        << QByteArray("hub.prt.3") << u"purge, double-click 0"_s << false << true;
    QTest::addRow("Aufrufen after a click on a purged entry")
        << QByteArray("hub.prt.3") << u"purge, click 0, Aufrufen"_s << false << false;
}

void tst_ResultListWindow::openingHandsTheFileToTheDesktop()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, steps);
    QFETCH(bool, opened);
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    const QByteArrayList hits = fixture.searchHits({name, name});

    take(form, steps, hits);

    QCOMPARE(fixture.opened,
             opened ? QList<QUrl>{platform::fileAddress(hits.at(0))} : QList<QUrl>{});
    QTEST(isShown(&form, "Command1"), "aufrufenShown");
}

void tst_ResultListWindow::aRunHidesTheDetailsButKeepsTheChosenEntry()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    const QByteArray chosen = fixture.searchHits({"hub.prt.3"}).first();
    clickRow(hitList(form), 0);

    fixture.searchHits({"nabe.asm"});

    for (const char *hidden : {"Label8", "Label10", "lbl_filetime"})
        QVERIFY2(!isShown(&form, hidden), hidden);
    QVERIFY(isShown(&form, "cmd_purge") && isShown(&form, "Frame1"));
    press(&form, "Command1");
    QCOMPARE(fixture.opened, QList<QUrl>{platform::fileAddress(chosen)});
}

void tst_ResultListWindow::purgeBlanksDuplicatesInTheList()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    const QByteArrayList hits = fixture.searchHits({"hub.prt.3", "nabe.asm", "hub.prt.03"});
    QListView *list = hitList(form);
    list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select);
    QVERIFY(rowCount(&form, "List_temp") > 0);

    press(&form, "cmd_purge");

    QCOMPARE(listTexts(list), QStringList({QString(), QString::fromLocal8Bit(hits.at(1)),
                                           QString::fromLocal8Bit(hits.at(2))}));
    QVERIFY(list->selectionModel()->isRowSelected(0));
    QCOMPARE(rowCount(&form, "List_temp"), 0);
    QCOMPARE(textOf(&form, "lblStatus"), u"Liste gepurged"_s);
}

// The purge empties List_temp, whose folders the run is still walking.
void tst_ResultListWindow::purgeDuringARunLetsTheRunFinish()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    atFirstCandidate(form, [&form] { press(&form, "cmd_purge"); });

    const QByteArrayList hits = fixture.searchHits({"hub.prt.1", "nabe.prt", "welle.prt"});

    QCOMPARE(rowCount(&form, "List2"), hits.size());
    QCOMPARE(textOf(&form, "lblStatus"), u"Suche abgeschlossen"_s);
}

void tst_ResultListWindow::saveWritesWhatsfound_data()
{
    QTest::addColumn<QByteArray>("folderName"); // the working folder
    QTest::addColumn<bool>("writable");
    QTest::addRow("written, in a folder named in Latin-1") << QByteArray("w\xe4rme") << true;
    QTest::addRow("a folder that refuses writes keeps the old file")
        << QByteArray("locked") << false;
}

// The file replaces an old one, or the old one stays whole, and the user is told either way.
void tst_ResultListWindow::saveWritesWhatsfound()
{
    QFETCH(QByteArray, folderName);
    QFETCH(bool, writable);
    WindowFixture fixture;
    const QByteArray folder = fixture.tree.addFolder(folderName);
    const QByteArray path = fixture.tree.addFile(folderName + "/whatsfound.txt", "old\r\n");
    QCOMPARE(::chmod(path.constData(), 0666), 0);
    QCOMPARE(::chmod(folder.constData(), writable ? 0777 : 0555), 0);
    QCOMPARE(::chdir(folder.constData()), 0);
    Form1 &form = fixture.shownForm();
    const QByteArrayList hits = fixture.searchHits({"hub.prt.3", "Stück.asm", "hub.prt.3"});
    press(&form, "cmd_purge");
    control<QLineEdit>(&form, "txt_textfind")->setText(u"geändert"_s);
    control<QComboBox>(&form, "com_krit")->setEditText(u"prt"_s);

    {
        const UnprivilegedUser user(fixture.tree);
        press(&form, "cmd_savefile");
        press(&form, "cmd_savefile");
    }

    // a failure adds why
    const QString told = writable ? u"Ergebnis gespeichert in "_s + platform::displayText(path)
                                  : u"Das Ergebnis konnte nicht in %1 gespeichert werden: "_s.arg(
                                        platform::displayText(path));
    QCOMPARE(fixture.boxes.texts.size(), 2);
    for (const QString &text : std::as_const(fixture.boxes.texts))
        QVERIFY2(writable ? text == told : text.startsWith(told), qPrintable(text));
    QCOMPARE(contentsOf(u"whatsfound.txt"_s),
             writable ? u"Datei: geändert\r\n"_s.toLocal8Bit() +
                            "ist vorhanden in Dateien den Typs : prt\r\n"
                            "------Auflistung der Dateien:------\r\n"
                            "-----------------------------------\r\n"
                            "\r\n" +
                            hits.at(1) + "\r\n" + hits.at(2) + "\r\n"
                      : QByteArray("old\r\n"));
    QCOMPARE(QDir(u"."_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"whatsfound.txt"_s});
}

// Purge, save and notes handle every entry of a list longer than 16-bit positions reach.
void tst_ResultListWindow::moreHitsThanSixteenBitsHold()
{
    constexpr int pairs = 16500;
    WindowFixture fixture;
    for (int i = 0; i < pairs; ++i) {
        const QByteArray name = "part" + QByteArray::number(i) + ".asm";
        fixture.tree.addFile("a/" + name, "HUB");
        fixture.tree.addFile("b/" + name, "HUB");
    }
    QCOMPARE(::chdir(fixture.tree.root().constData()), 0);
    Form1 &form = fixture.form();
    fixture.tick({"a", "b"});
    fixture.pressEnterWith(u"HUB"_s);
    QCOMPARE(rowCount(&form, "List2"), 2 * pairs);

    hitList(form)->selectAll();
    press(&form, "img_putlisttoinfo");
    press(&form, "cmd_purge");
    press(&form, "cmd_savefile");

    const QStringList hits = listTexts(hitList(form));
    QCOMPARE(hits.count(QString()), pairs);
    QVERIFY(hits.last().endsWith(u".asm"_s));
    const QByteArrayList lines = contentsOf(u"whatsfound.txt"_s).split('\n');
    QCOMPARE(lines.size(), 4 + 2 * pairs + 1);
    QCOMPARE(lines.count("\r"), pairs);
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText().count(u'\n'), 2 * pairs);
}

QTEST_MAIN(tst_ResultListWindow)
#include "tst_result_list_window.moc"
