#include "main_window/command_line.h"
#include "main_window/form1.h"
#include "main_window/path_list_model.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "platform/event_pump.h"
#include "platform/windows/throttled_event_pump.h"
#include "search/cfindfile.h"
#include "settings/settings_store.h"
#include "test_tree.h"
#include "unprivileged_user.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList entries(const Form1 &form, const char *listName)
{
    QStringList texts = listTexts(control<QListView>(&form, listName));
    texts.sort();
    return texts;
}

QString status(const Form1 &form)
{
    return control<QLabel>(&form, "lblStatus")->text();
}

// Ticks the folders for a run over their assemblies.
void searchAssembliesIn(Form1 &form, const QByteArrayList &folders)
{
    control<QComboBox>(&form, "com_krit")->setEditText(QStringLiteral("asm"));
    FolderList &list = loadedWindow<Form2>()->folderList();
    for (const QByteArray &folder : folders) {
        list.append(QString::fromLocal8Bit(folder));
        list.tick(list.count() - 1);
    }
}

void pressEnterWith(Form1 &form, const QString &text)
{
    auto *searchBox = control<QLineEdit>(&form, "txt_textfind");
    searchBox->setText(text);
    QTest::keyClick(searchBox, Qt::Key_Return);
}

} // namespace

class tst_SearchRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileArgumentIsTakenFromTheCommandLine_data();
    void fileArgumentIsTakenFromTheCommandLine();
    void startWithFileArgumentSearchesTheCurrentFolder_data();
    void startWithFileArgumentSearchesTheCurrentFolder();
    void enterRunsOverTheTickedFolders();
    void enterWithoutTickedFoldersShowsTheNotice();
    void foldersThatCannotBeListedAreCounted_data();
    void foldersThatCannotBeListedAreCounted();
    void startWithFileArgumentInAFolderThatCannotBeListed();
    void overlappingFoldersGiveEachHitOnce();
    void stopOrCloseEndsALargeFileAtItsNextBlock_data();
    void stopOrCloseEndsALargeFileAtItsNextBlock();
    void stopDuringTheWalk();
    void secondStopClickLetsTheContentPassFinish_data();
    void secondStopClickLetsTheContentPassFinish();
    void startDuringARunIsRefused();
    void unreadableCandidateIsSkippedAndNamed();
    void finderErrorIsShownAndTheRunEndsCleanly();
    void closingDuringARunStopsItThenSaves();
    void exitDuringARunEndsItWithoutANotice();
    void moreCandidatesThanSixteenBitsHold();
    void contentPassWithoutCandidatesLeavesBarAtZero();
    void statusSeenDuringARunIsTheNewest();
    void stopDuringTheContentPassLeavesNoDescriptorOpen();
};

void tst_SearchRun::fileArgumentIsTakenFromTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("fileArgument");
    QTest::addRow("none") << QStringList() << QString();
    QTest::addRow("empty") << QStringList{QString()} << QString();
    QTest::addRow("as the file manager passes it")
        << QStringList{QStringLiteral("/cad/4711.prt")} << QStringLiteral("/cad/4711.prt");
    QTest::addRow("still in quotes")
        << QStringList{QStringLiteral("\"/cad/4711.prt\"")} << QStringLiteral("/cad/4711.prt");
    QTest::addRow("a lone quote") << QStringList{QStringLiteral("\"")} << QStringLiteral("\"");
    QTest::addRow("split at a blank")
        << QStringList{QStringLiteral("/cad/teil"), QStringLiteral("neu.prt")}
        << QStringLiteral("/cad/teil neu.prt");
}

void tst_SearchRun::fileArgumentIsTakenFromTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QTEST(fileArgumentFromCommandLine(arguments), "fileArgument");
}

void tst_SearchRun::startWithFileArgumentSearchesTheCurrentFolder_data()
{
    QTest::addColumn<QByteArray>("folderName");
    QTest::addRow("plain name") << QByteArray("cad");
    // old shares hold such names, and QDir cannot carry them
    QTest::addRow("Latin-1 name") << QByteArray("w\xe4rme");
}

void tst_SearchRun::startWithFileArgumentSearchesTheCurrentFolder()
{
    QFETCH(QByteArray, folderName);
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    const QByteArray folder = tree.addFolder(folderName);
    tree.addFile(folderName + "/hub.prt.3", "part");
    tree.addFile(folderName + "/Gear.ASM.2", QByteArray(5000, 'x') + "HUB" + QByteArray(10, 'y'));
    tree.addFile(folderName + "/lower.asm", "only hub in lower case");
    tree.addFile(folderName + "/plan.drw.1", "HUB");
    tree.addFile(folderName + "/sub/deep.asm", "HUB");
    QCOMPARE(::chdir(folder.constData()), 0);

    Form1 &form = fixture.form(fileArgumentFromCommandLine(
        {QStringLiteral("\"") + QString::fromLocal8Bit(folder) + QStringLiteral("/hub.prt.3\"")}));

    QVERIFY(!form.isVisible());
    const auto *hits = control<QListView>(&form, "List2")->model();
    QCOMPARE(hits->rowCount(), 1);
    QCOMPARE(hits->index(0, 0).data(PathListModel::PathBytesRole).toByteArray(),
             folder + "/Gear.ASM.2");
    QCOMPARE(control<QLineEdit>(&form, "txt_textfind")->text(), QStringLiteral("HUB"));
    QCOMPARE(control<QComboBox>(&form, "com_krit")->currentText(), QStringLiteral("asm"));
    QVERIFY(!control<QCheckBox>(&form, "chk_under")->isChecked());
    QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
    QCOMPARE(control<QLabel>(&form, "Label6")->text(), QStringLiteral("1"));

    const FolderList &folders = loadedWindow<Form2>()->folderList();
    QCOMPARE(folders.count(), 2);
    QCOMPARE(folders.entryPath(1), folder);
    QVERIFY(folders.isTicked(1));
    QVERIFY(!folders.isTicked(0));

    QVERIFY(form.close());
    SettingsStore reread;
    QCOMPARE(reread.value(SettingsStore::Key::SearchText), QStringLiteral("HUB"));
    QCOMPARE(reread.folderLastIndex(), 0);
}

void tst_SearchRun::enterRunsOverTheTickedFolders()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    tree.addFile("a/one.asm", "holds Hub");
    tree.addFile("a/two.asm", "holds HUB");
    tree.addFile("a/deeper/three.asm.4", "Hub again");
    tree.addFile("b/four.drw", "Hub");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});

    pressEnterWith(form, QStringLiteral("Hub"));

    QCOMPARE(entries(form, "List2"),
             QStringList({QString::fromLocal8Bit(tree.path("a/deeper/three.asm.4")),
                          QString::fromLocal8Bit(tree.path("a/one.asm"))}));
    QCOMPARE(rowCount(&form, "List1"), 3);
    QCOMPARE(entries(form, "List_temp"), QStringList{QString::fromLocal8Bit(tree.path("a"))});
    QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
    QCOMPARE(control<QProgressBar>(&form, "PBar")->value(), 100);
    QVERIFY(control<QWidget>(&form, "List2")->isVisible());
    QVERIFY(!control<QWidget>(&form, "Picture1")->isVisible());
    QVERIFY(!control<QWidget>(&form, "img_stop")->isVisible());
    QVERIFY(!visibleWindow("frmSplash"));
}

void tst_SearchRun::enterWithoutTickedFoldersShowsTheNotice()
{
    WindowFixture fixture;
    Form1 &form = fixture.form();
    form.show();

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(rowCount(&form, "List2"), 0);
    QCOMPARE(status(form), QStringLiteral("keine Treffer"));
    QCOMPARE(control<QLabel>(&form, "Label6")->text(), QStringLiteral("0"));
    QVERIFY(visibleWindow("frmSplash"));
}

void tst_SearchRun::foldersThatCannotBeListedAreCounted_data()
{
    QTest::addColumn<QByteArrayList>("ticked");
    QTest::addColumn<QByteArrayList>("hits");
    QTest::addColumn<QString>("folderLine");
    QTest::addColumn<QByteArrayList>("named"); // in the folder line's tool tip

    QTest::addRow("a locked sub-folder")
        << QByteArrayList{"a"} << QByteArrayList{"a/1.asm"}
        << QStringLiteral("1 Verzeichnis nicht lesbar") << QByteArrayList{"a/locked/"};
    QTest::addRow("with a file that cannot be read")
        << QByteArrayList{"b"} << QByteArrayList{}
        << QStringLiteral("1 Verzeichnis nicht lesbar – 1 Datei nicht lesbar")
        << QByteArrayList{"b/locked/", "b/locked.asm"};
    // a removed folder, or a path that names a file, is walked as the finder walks it
    QTest::addRow("ticked folders gone or not folders")
        << QByteArrayList{"weg", "datei.asm", "a"} << QByteArrayList{"a/1.asm"}
        << QStringLiteral("3 Verzeichnisse nicht lesbar")
        << QByteArrayList{"weg/", "datei.asm/", "a/locked/"};
}

// The walk passes over a folder it cannot list and goes on, but the run counts it where the user
// sees it, with the files that could not be read: a run that missed hits must not pass for a
// complete one, with hits or without.
void tst_SearchRun::foldersThatCannotBeListedAreCounted()
{
    QFETCH(QByteArrayList, ticked);
    QFETCH(QByteArrayList, hits);
    QFETCH(QByteArrayList, named);
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    tree.addFile("a/1.asm", "HUB");
    tree.addFile("a/locked/2.asm", "HUB");
    tree.addFile("b/locked/3.asm", "HUB");
    tree.addFile("datei.asm", "HUB");
    QCOMPARE(::chmod(tree.addFile("b/locked.asm", "HUB").constData(), 0), 0);
    for (const char *folder : {"a/locked", "b/locked"})
        QCOMPARE(::chmod(tree.path(folder).constData(), 0700), 0);
    Form1 &form = fixture.form();
    form.show();
    QByteArrayList folders;
    for (const QByteArray &folder : std::as_const(ticked))
        folders.append(tree.path(folder));
    searchAssembliesIn(form, folders);
    {
        const UnprivilegedUser user(tree);
        pressEnterWith(form, QStringLiteral("HUB"));
    }

    QStringList expectedHits;
    for (const QByteArray &hit : std::as_const(hits))
        expectedHits.append(QString::fromLocal8Bit(tree.path(hit)));
    QCOMPARE(entries(form, "List2"), expectedHits);
    QCOMPARE(status(form), hits.isEmpty() ? QStringLiteral("keine Treffer")
                                          : QStringLiteral("Suche abgeschlossen"));
    auto *folderLine = control<QLabel>(&form, "lbl_aktpfad");
    QTEST(folderLine->text(), "folderLine");
    QVERIFY(folderLine->fontMetrics().horizontalAdvance(folderLine->text()) <= folderLine->width());
    for (const QByteArray &name : std::as_const(named))
        QVERIFY2(folderLine->toolTip().contains(QString::fromLocal8Bit(tree.path(name))),
                 qPrintable(folderLine->toolTip()));
    QVERIFY(folderLine->toolTip().contains(QString::fromLocal8Bit(std::strerror(EACCES))));
    QVERIFY(fixture.boxes.texts.isEmpty());
}

void tst_SearchRun::startWithFileArgumentInAFolderThatCannotBeListed()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    const QByteArray folder = tree.addFolder("cad");
    tree.addFile("cad/gear.asm", "4711");
    // passable, so it can be the working folder, but not listable
    QCOMPARE(::chmod(folder.constData(), 0311), 0);
    QCOMPARE(::chdir(folder.constData()), 0);
    const UnprivilegedUser user(tree);

    Form1 &form = fixture.form(QStringLiteral("/cad/4711.prt"));

    QCOMPARE(rowCount(&form, "List2"), 0);
    QCOMPARE(status(form), QStringLiteral("keine Treffer"));
    QVERIFY(visibleWindow("frmSplash"));
    auto *folderLine = control<QLabel>(&form, "lbl_aktpfad");
    QCOMPARE(folderLine->text(), QStringLiteral("1 Verzeichnis nicht lesbar"));
    QVERIFY(folderLine->toolTip().contains(QString::fromLocal8Bit(folder + '/')));
}

// A run walks every folder once, however many ticked folders and links lead to it, so every hit
// is listed and searched once.
void tst_SearchRun::overlappingFoldersGiveEachHitOnce()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    const QByteArray top = tree.addFile("a/1.asm", "HUB");
    const QByteArray inner = tree.addFile("a/sub/2.asm", "HUB");
    tree.addSymlink("link", "a");
    Form1 &form = fixture.form();
    searchAssembliesIn(form,
                       {tree.path("a/sub"), tree.path("a"), tree.path("link"), tree.path("a")});

    pressEnterWith(form, QStringLiteral("HUB"));

    const QStringList once{QString::fromLocal8Bit(top), QString::fromLocal8Bit(inner)};
    QCOMPARE(entries(form, "List1"), once);
    QCOMPARE(entries(form, "List2"), once);
    QCOMPARE(rowCount(&form, "List_temp"), 4);
    QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
}

enum class Interruption
{
    Stop,
    StopAndClickAgain,
    Close,
};

void tst_SearchRun::stopOrCloseEndsALargeFileAtItsNextBlock_data()
{
    QTest::addColumn<Interruption>("interruption");
    QTest::addColumn<int>("hits");
    QTest::addColumn<bool>("searchedToTheEnd");

    QTest::addRow("stop") << Interruption::Stop << 0 << false;
    // the second click takes the stop back, and the pass goes on where it was
    QTest::addRow("stop, then a second click") << Interruption::StopAndClickAgain << 1 << true;
    // the exit image stops the run the same way, and ends the event loops for good
    QTest::addRow("close") << Interruption::Close << 0 << false;
}

// A large file must not keep the window waiting once the user has stopped the run or closed the
// window: the file's search ends after the block during which that happened, and the file counts
// as not searched.
void tst_SearchRun::stopOrCloseEndsALargeFileAtItsNextBlock()
{
    QFETCH(Interruption, interruption);
    constexpr qint64 size = qint64(1) << 30;
    constexpr int interruptAtBlock = 100;
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    // the text at the very end: the file holds it, but only a search to the end finds it
    tree.addSparseFile("a/big.asm", size, size - 3, "HUB");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    auto *stop = control<QToolButton>(&form, "img_stop");
    int blocks = 0;
    platform::setPendingEventsHandler([&] {
        if (!form.statusText().startsWith(QStringLiteral("Suche l")) ||
            ++blocks != interruptAtBlock)
            return;
        switch (interruption) {
        case Interruption::Stop:
            stop->click();
            break;
        case Interruption::StopAndClickAgain:
            stop->click();
            stop->click();
            break;
        case Interruption::Close:
            QVERIFY(!form.close());
            break;
        }
    });

    pressEnterWith(form, QStringLiteral("HUB"));
    platform::installThrottledEventPump();

    QTEST(rowCount(&form, "List2"), "hits");
    QFETCH(bool, searchedToTheEnd);
    QCOMPARE(blocks, searchedToTheEnd ? int(size / 4096) : interruptAtBlock);
    QVERIFY(!control<QLabel>(&form, "lbl_aktpfad")->text().contains(u"nicht lesbar"));
    if (interruption == Interruption::Stop)
        QCOMPARE(status(form), QStringLiteral("Suche abgebrochen"));
    if (interruption == Interruption::StopAndClickAgain)
        QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
    if (interruption == Interruption::Close)
        QTRY_VERIFY(!form.isVisible());
}

void tst_SearchRun::stopDuringTheWalk()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    for (const char *name : {"a/1.asm", "a/2.asm", "a/sub/3.asm", "b/4.asm", "b/sub/5.asm"})
        tree.addFile(name, "HUB");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a"), tree.path("b")});
    auto *stop = control<QToolButton>(&form, "img_stop");
    atFirstCandidate(form, [stop] { stop->click(); });

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(fixture.boxes.texts, QStringList{QStringLiteral("Die Suche wurde abgebrochen !")});
    // both folders report their own matches, and neither walk enters a sub-folder
    QCOMPARE(entries(form, "List1"), QStringList({QString::fromLocal8Bit(tree.path("a/1.asm")),
                                                  QString::fromLocal8Bit(tree.path("a/2.asm")),
                                                  QString::fromLocal8Bit(tree.path("b/4.asm"))}));
    QCOMPARE(rowCount(&form, "List2"), 1);
    QCOMPARE(status(form), QStringLiteral("Suche abgebrochen"));
    QCOMPARE(control<QLabel>(&form, "lbl_stop")->text(), QStringLiteral("1"));
    QVERIFY(!control<QWidget>(&form, "img_stop")->isVisible());
}

void tst_SearchRun::secondStopClickLetsTheContentPassFinish_data()
{
    QTest::addColumn<QByteArrayList>("files");
    QTest::addColumn<int>("candidates");
    QTest::addColumn<QString>("folderLine");
    // the walk stays stopped: a run that left a folder out must not pass for a complete one
    QTest::addRow("a sub-folder left out")
        << QByteArrayList{"a/1.asm", "a/2.asm", "a/sub/3.asm"} << 2
        << QStringLiteral("unvollständig: Unterverzeichnisse ausgelassen");
    QTest::addRow("nothing left to walk") << QByteArrayList{"a/1.asm", "a/2.asm"} << 2 << QString();
}

void tst_SearchRun::secondStopClickLetsTheContentPassFinish()
{
    QFETCH(QByteArrayList, files);
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    for (const QByteArray &name : files)
        tree.addFile(name, "HUB");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    auto *stop = control<QToolButton>(&form, "img_stop");
    atFirstCandidate(form, [stop] {
        stop->click();
        stop->click();
    });

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(fixture.boxes.texts.size(), 1);
    QTEST(rowCount(&form, "List1"), "candidates");
    QTEST(rowCount(&form, "List2"), "candidates");
    QCOMPARE(control<QLabel>(&form, "lbl_stop")->text(), QStringLiteral("0"));
    QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
    QFETCH(QString, folderLine);
    if (!folderLine.isEmpty())
        QCOMPARE(control<QLabel>(&form, "lbl_aktpfad")->text(), folderLine);
    else
        QVERIFY(!control<QLabel>(&form, "lbl_aktpfad")->text().contains(u"unvollständig"));
}

void tst_SearchRun::startDuringARunIsRefused()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    for (const char *name : {"a/1.asm", "a/2.asm", "a/sub/3.asm"})
        tree.addFile(name, "HUB");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    auto *searchBox = control<QLineEdit>(&form, "txt_textfind");
    connect(form.findChild<cFindFile *>(), &cFindFile::MatchFound, &form,
            [searchBox] { QTest::keyClick(searchBox, Qt::Key_Return); });

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(rowCount(&form, "List1"), 3);
    QCOMPARE(rowCount(&form, "List2"), 3);
    QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
    QVERIFY(!form.isSearchRunning());
}

void tst_SearchRun::unreadableCandidateIsSkippedAndNamed()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    const QByteArray kept = tree.addFile("a/kept.asm", "HUB");
    const QByteArray gone = tree.addFile("a/gone.asm", "HUB");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    connect(form.findChild<cFindFile *>(), &cFindFile::MatchFound, &form,
            [gone](const QByteArray &name) {
                if (name == "gone.asm")
                    QFile::remove(QString::fromLocal8Bit(gone));
            });

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(entries(form, "List2"), QStringList{QString::fromLocal8Bit(kept)});
    QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
    // the note stands in the folder line, where the narrow window shows it in full
    auto *folderLine = control<QLabel>(&form, "lbl_aktpfad");
    QCOMPARE(folderLine->text(), QStringLiteral("1 Datei nicht lesbar"));
    QVERIFY(folderLine->fontMetrics().horizontalAdvance(folderLine->text()) <= folderLine->width());
    QVERIFY(folderLine->mapTo(&form, QPoint(folderLine->width(), 0)).x() <= form.width());
    QVERIFY(folderLine->toolTip().contains(QString::fromLocal8Bit(gone)));
}

void tst_SearchRun::finderErrorIsShownAndTheRunEndsCleanly()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    tree.addFile("a/x.txt");
    tree.addFile("a/y.txt");
    tree.addFile("a/z.asm", "HUB");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    control<QComboBox>(&form, "com_krit")->setEditText(QStringLiteral("drw"));
    platform::setPendingEventsHandler([] { throw std::runtime_error("listing failed"); });

    pressEnterWith(form, QStringLiteral("HUB"));
    platform::installThrottledEventPump();

    QCOMPARE(fixture.boxes.texts, QStringList{QStringLiteral("Fehler bei sStartSearch")});
    QVERIFY(!form.isSearchRunning());
    QVERIFY(!control<QWidget>(&form, "img_stop")->isVisible());
    QVERIFY(!QGuiApplication::overrideCursor());

    control<QComboBox>(&form, "com_krit")->setEditText(QStringLiteral("asm"));
    pressEnterWith(form, QStringLiteral("HUB"));
    QCOMPARE(rowCount(&form, "List2"), 1);
}

void tst_SearchRun::closingDuringARunStopsItThenSaves()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    for (const char *name : {"a/1.asm", "a/2.asm", "a/3.asm"})
        tree.addFile(name, "HUB");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    atFirstCandidate(form, [&form] { QVERIFY(!form.close()); });

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(rowCount(&form, "List2"), 1);
    QTRY_VERIFY(!form.isVisible());
    SettingsStore reread;
    QCOMPARE(reread.value(SettingsStore::Key::SearchText), QStringLiteral("HUB"));
}

void tst_SearchRun::exitDuringARunEndsItWithoutANotice()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    for (const char *name : {"a/1.asm", "a/2.asm", "a/3.asm"})
        tree.addFile(name, "no part");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    auto *exit = control<QToolButton>(&form, "img_exit");
    atFirstCandidate(form, [exit] { exit->click(); });

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(rowCount(&form, "List1"), 3);
    QVERIFY(!form.isVisible());
    QVERIFY(!visibleWindow("frmSplash"));
    SettingsStore reread;
    QCOMPARE(reread.value(SettingsStore::Key::SearchText), QStringLiteral("HUB"));
}

void tst_SearchRun::moreCandidatesThanSixteenBitsHold()
{
    constexpr int files = 33000;
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    for (int i = 0; i < files; ++i)
        tree.addFile("a/part" + QByteArray::number(i) + ".asm", i == files - 1 ? "HUB" : "");
    Form1 &form = fixture.form();
    searchAssembliesIn(form, {tree.path("a")});

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(rowCount(&form, "List1"), files);
    QCOMPARE(entries(form, "List2"),
             QStringList{QString::fromLocal8Bit(tree.path("a/part32999.asm"))});
    QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
}

void tst_SearchRun::contentPassWithoutCandidatesLeavesBarAtZero()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    tree.addFolder("empty");
    Form1 &form = fixture.form();
    searchAssembliesIn(form, {tree.path("empty")});
    control<QProgressBar>(&form, "PBar")->setValue(50);

    pressEnterWith(form, QStringLiteral("HUB"));

    QCOMPARE(control<QProgressBar>(&form, "PBar")->value(), 0);
    QCOMPARE(status(form), QStringLiteral("keine Treffer"));
}

// The labels that change per entry and per block are painted once per pass of the event loop:
// after each pass they must show the newest status, and the outcome text must stay.
void tst_SearchRun::statusSeenDuringARunIsTheNewest()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    tree.addFile("a/1.asm", QByteArray(4 * 4096 - 3, 'x') + "HUB");
    tree.addFile("a/2.asm", "no part here");
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    QStringList seen;
    bool statusAgrees = true;
    platform::setPendingEventsHandler([&] {
        QCoreApplication::processEvents();
        statusAgrees = statusAgrees && form.statusText() == status(form);
        if (seen.isEmpty() || seen.last() != status(form))
            seen.append(status(form));
    });

    pressEnterWith(form, QStringLiteral("HUB"));
    platform::installThrottledEventPump();
    QCoreApplication::processEvents();

    QVERIFY(statusAgrees);
    const auto at = [&seen](const char *text) { return seen.indexOf(QString::fromUtf8(text)); };
    QVERIFY2(at("1") >= 0 && at("1") < at("2"), qPrintable(seen.join(u'|')));
    for (const char *text : {"Suche läuft... 25%", "Suche läuft... 50%", "Suche läuft... 100%"})
        QVERIFY2(at(text) > at("2"), qPrintable(seen.join(u'|')));
    QCOMPARE(status(form), QStringLiteral("Suche abgeschlossen"));
    QCOMPARE(form.statusText(), QStringLiteral("Suche abgeschlossen"));
    const auto *candidates = control<QListView>(&form, "List1")->model();
    QCOMPARE(control<QLabel>(&form, "lbl_aktpfad")->text(),
             candidates->index(candidates->rowCount() - 1, 0).data().toString());
}

// The files come from the disk, so the content pass reads ahead when the stop comes.
void tst_SearchRun::stopDuringTheContentPassLeavesNoDescriptorOpen()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    QByteArrayList files;
    for (int i = 0; i < 30; ++i)
        files.append(tree.addFile("a/" + QByteArray::number(i) + ".asm", QByteArray(200000, 'x')));
    Form1 &form = fixture.form();
    form.show();
    searchAssembliesIn(form, {tree.path("a")});
    // a whole run first, so that what the window keeps open for good is open before counting
    pressEnterWith(form, QStringLiteral("HUB"));
    for (const QByteArray &file : std::as_const(files))
        evictFromMemory(file);
    const int before = openDescriptorCount();
    auto *stop = control<QToolButton>(&form, "img_stop");
    int contentSteps = 0;
    platform::setPendingEventsHandler([&] {
        if (form.statusText().startsWith(QStringLiteral("Suche l")) && ++contentSteps == 60)
            stop->click();
    });

    pressEnterWith(form, QStringLiteral("HUB"));
    platform::installThrottledEventPump();

    QCOMPARE(status(form), QStringLiteral("Suche abgebrochen"));
    QVERIFY(contentSteps >= 60);
    QCOMPARE(openDescriptorCount(), before);
}

QTEST_MAIN(tst_SearchRun)
#include "tst_search_run.moc"
