#include "main_window/form1.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "platform/display_text.h"
#include "platform/windows/desktop_opener.h"
#include "search/cfindfile.h"
#include "settings/settings_store.h"
#include "unprivileged_user.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void saveWritesWhatsfoundAndConfirms();
    void failedSaveSaysWhyAndKeepsTheOldFile();
    void moreHitsThanSixteenBitsHold();
};

void tst_ResultListWindow::clickOnAnEntry_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("before"); // what happens between the run and the click
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("typeLine");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("timeShown");
    QTest::addRow("hit with revision")
        << QByteArray("hub.prt.3") << QString() << QStringLiteral("hub")
        << QStringLiteral("Datentyp: .prt") << QStringLiteral("Rev.Nr. 3") << true;
    QTest::addRow("hit without revision")
        << QByteArray("hub.prt") << QString() << QStringLiteral("hub")
        << QStringLiteral("Datentyp: .prt") << QStringLiteral("Rev.Nr. prt") << true;
    QTest::addRow("file removed since the run")
        << QByteArray("hub.asm.2") << QStringLiteral("remove") << QStringLiteral("hub")
        << QStringLiteral("Datentyp: .asm") << QStringLiteral("Rev.Nr. 2") << false;
    // entry 1 duplicates entry 0, which the purge empties; the click on it keeps entry 1's details
    QTest::addRow("purged entry keeps the details shown")
        << QByteArray("hub.prt.3") << QStringLiteral("purge") << QStringLiteral("hub")
        << QStringLiteral("Datentyp: .prt") << QStringLiteral("Liste gepurged") << true;
}

void tst_ResultListWindow::clickOnAnEntry()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, before);
    WindowFixture fixture;
    Form1 &form = fixture.form();
    form.show();
    const QByteArrayList hits = fixture.searchHits({name, name});
    setModificationTime(hits.at(1), 1160000000);
    const QString fileTime =
        QLocale().toString(QDateTime::fromSecsSinceEpoch(1160000000), QLocale::ShortFormat);
    QVERIFY(!isShown(&form, "Label8") && !isShown(&form, "Command1"));

    if (before == QStringLiteral("remove"))
        QVERIFY(::unlink(hits.at(1).constData()) == 0);
    if (before == QStringLiteral("purge")) {
        clickRow(hitList(form), 1);
        press(&form, "cmd_purge");
        clickRow(hitList(form), 0);
        QCOMPARE(textOf(&form, "Label3"), QString());
    } else {
        clickRow(hitList(form), 1);
        QCOMPARE(textOf(&form, "Label3"), QString::fromLocal8Bit(hits.at(1)));
    }

    QTEST(textOf(&form, "Label8"), "baseName");
    QTEST(textOf(&form, "Label10"), "typeLine");
    QTEST(textOf(&form, "lblStatus"), "status");
    QFETCH(bool, timeShown);
    QCOMPARE(textOf(&form, "lbl_filetime"), timeShown ? fileTime : QString());
    for (const char *shown : {"Command1", "Label8", "Frame1", "Label10", "lbl_filetime"})
        QVERIFY2(isShown(&form, shown), shown);
    QVERIFY(!isShown(&form, "Label3") && !isShown(&form, "Label9"));
}

void tst_ResultListWindow::openingHandsTheFileToTheDesktop_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<bool>("aufrufenShown");
    QTest::addRow("double-click") << QByteArray("hub.prt.3") << QStringLiteral("double-click")
                                  << true << true;
    QTest::addRow("click, then Aufrufen")
        << QByteArray("hub.prt.3") << QStringLiteral("click, Aufrufen") << true << true;
    QTest::addRow("name not valid UTF-8")
        << QByteArray("w\xe4rme.prt") << QStringLiteral("double-click") << true << true;
    QTest::addRow("Aufrufen before any click")
        << QByteArray("hub.prt.3") << QStringLiteral("Aufrufen") << false << false;
    QTest::addRow("double-click on a purged entry")
        << QByteArray("hub.prt.3") << QStringLiteral("purge, double-click") << false << true;
    QTest::addRow("Aufrufen after a click on a purged entry")
        << QByteArray("hub.prt.3") << QStringLiteral("purge, click, Aufrufen") << false << false;
}

void tst_ResultListWindow::openingHandsTheFileToTheDesktop()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, how);
    QFETCH(bool, opened);
    WindowFixture fixture;
    Form1 &form = fixture.form();
    form.show();
    // the first of two duplicates, which the purge empties
    const QByteArray hit = fixture.searchHits({name, name}).first();

    for (const QString &step : how.split(QStringLiteral(", "))) {
        if (step == QStringLiteral("double-click"))
            doubleClickEntry(form, 0);
        else if (step == QStringLiteral("click"))
            clickRow(hitList(form), 0);
        else if (step == QStringLiteral("purge"))
            press(&form, "cmd_purge");
        else
            press(&form, "Command1");
    }

    QCOMPARE(fixture.opened, opened ? QList<QUrl>{platform::fileAddress(hit)} : QList<QUrl>{});
    QTEST(isShown(&form, "Command1"), "aufrufenShown");
}

void tst_ResultListWindow::aRunHidesTheDetailsButKeepsTheChosenEntry()
{
    WindowFixture fixture;
    Form1 &form = fixture.form();
    form.show();
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
    Form1 &form = fixture.form();
    form.show();
    const QByteArrayList hits = fixture.searchHits({"hub.prt.3", "nabe.asm", "hub.prt.03"});
    QListView *list = hitList(form);
    list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select);
    QVERIFY(!listTexts(control<QListView>(&form, "List_temp")).isEmpty());

    press(&form, "cmd_purge");

    QCOMPARE(listTexts(list), QStringList({QString(), QString::fromLocal8Bit(hits.at(1)),
                                           QString::fromLocal8Bit(hits.at(2))}));
    QVERIFY(list->selectionModel()->isRowSelected(0));
    QCOMPARE(listTexts(control<QListView>(&form, "List_temp")), QStringList());
    QCOMPARE(textOf(&form, "lblStatus"), QStringLiteral("Liste gepurged"));
}

// The purge empties List_temp, whose folders the run is still walking.
void tst_ResultListWindow::purgeDuringARunLetsTheRunFinish()
{
    WindowFixture fixture;
    Form1 &form = fixture.form();
    form.show();
    auto *purge = control<QPushButton>(&form, "cmd_purge");
    QObject::connect(form.findChild<cFindFile *>(), &cFindFile::MatchFound, purge,
                     &QPushButton::click, Qt::SingleShotConnection);

    const QByteArrayList hits = fixture.searchHits({"hub.prt.1", "nabe.prt", "welle.prt"});

    QCOMPARE(listTexts(hitList(form)).size(), hits.size());
    QCOMPARE(textOf(&form, "lblStatus"), QStringLiteral("Suche abgeschlossen"));
}

void tst_ResultListWindow::saveWritesWhatsfoundAndConfirms()
{
    WindowFixture fixture;
    const QByteArray folder = fixture.tree.addFolder("w\xe4rme");
    QVERIFY(::chdir(folder.constData()) == 0);
    Form1 &form = fixture.form();
    form.show();
    const QByteArrayList hits = fixture.searchHits({"hub.prt.3", "Stück.asm", "hub.prt.3"});
    press(&form, "cmd_purge");
    control<QLineEdit>(&form, "txt_textfind")->setText(QStringLiteral("geändert"));
    control<QComboBox>(&form, "com_krit")->setEditText(QStringLiteral("prt"));

    press(&form, "cmd_savefile");
    press(&form, "cmd_savefile");

    const QByteArray path = folder + "/whatsfound.txt";
    QCOMPARE(contentsOf(QStringLiteral("whatsfound.txt")),
             QStringLiteral("Datei: geändert\r\n").toLocal8Bit() +
                 "ist vorhanden in Dateien den Typs : prt\r\n"
                 "------Auflistung der Dateien:------\r\n"
                 "-----------------------------------\r\n"
                 "\r\n" +
                 hits.at(1) + "\r\n" + hits.at(2) + "\r\n");
    const QString confirmation =
        QStringLiteral("Ergebnis gespeichert in ") + platform::displayText(path);
    QCOMPARE(fixture.boxes.texts, QStringList({confirmation, confirmation}));
}

void tst_ResultListWindow::failedSaveSaysWhyAndKeepsTheOldFile()
{
    WindowFixture fixture;
    const QByteArray folder = fixture.tree.addFolder("locked");
    const QByteArray old = fixture.tree.addFile("locked/whatsfound.txt", "old\r\n");
    QVERIFY(::chmod(old.constData(), 0666) == 0 && ::chmod(folder.constData(), 0555) == 0);
    QVERIFY(::chdir(folder.constData()) == 0);
    Form1 &form = fixture.form();
    fixture.searchHits({"hub.prt.3"});

    {
        const UnprivilegedUser user(fixture.tree);
        press(&form, "cmd_savefile");
    }

    QCOMPARE(fixture.boxes.texts.size(), 1);
    QVERIFY2(fixture.boxes.texts.first().startsWith(
                 QStringLiteral("Das Ergebnis konnte nicht in %1 gespeichert werden: ")
                     .arg(QString::fromLocal8Bit(old))),
             qPrintable(fixture.boxes.texts.first()));
    QCOMPARE(contentsOf(QFile::decodeName(old)), QByteArray("old\r\n"));
    QCOMPARE(QDir(QFile::decodeName(folder)).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("whatsfound.txt")});
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
    QVERIFY(::chdir(fixture.tree.root().constData()) == 0);
    Form1 &form = fixture.form();
    FolderList &folders = loadedWindow<Form2>()->folderList();
    for (const char *folder : {"a", "b"}) {
        folders.appendPath(fixture.tree.path(folder));
        folders.tick(folders.count() - 1);
    }
    auto *searchBox = control<QLineEdit>(&form, "txt_textfind");
    searchBox->setText(QStringLiteral("HUB"));
    QTest::keyClick(searchBox, Qt::Key_Return);
    QCOMPARE(hitList(form)->model()->rowCount(), 2 * pairs);

    hitList(form)->selectAll();
    control<QToolButton>(&form, "img_putlisttoinfo")->click();
    press(&form, "cmd_purge");
    press(&form, "cmd_savefile");

    const QStringList hits = listTexts(hitList(form));
    QCOMPARE(hits.count(QString()), pairs);
    QVERIFY(hits.last().endsWith(QStringLiteral(".asm")));
    const QByteArrayList lines = contentsOf(QStringLiteral("whatsfound.txt")).split('\n');
    QCOMPARE(lines.size(), 4 + 2 * pairs + 1);
    QCOMPARE(lines.count("\r"), pairs);
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText().count(u'\n'), 2 * pairs);
}

QTEST_MAIN(tst_ResultListWindow)
#include "tst_result_list_window.moc"
