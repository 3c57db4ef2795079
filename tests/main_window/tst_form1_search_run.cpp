#include "index/index_location.h"
#include "index/index_update.h"
#include "index/sqlite_store.h"
#include "main_window/command_line.h"
#include "main_window/form1.h"
#include "main_window/path_list_model.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "platform/event_pump.h"
#include "search/cfindfile.h"
#include "settings/settings_store.h"
#include "test_tree.h"
#include "unprivileged_user.h"
#include "widgets/throttled_event_pump.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QStringList sortedEntries(const Form1 &form, const char *listName)
{
    QStringList texts = listTexts(control<QListView>(&form, listName));
    texts.sort();
    return texts;
}

// The paths of these files of the tree, as a list shows them.
QStringList inTree(const TestTree &tree, const QByteArrayList &files)
{
    QStringList texts;
    for (const QByteArray &file : files)
        texts.append(QString::fromLocal8Bit(tree.path(file)));
    return texts;
}

QString status(const Form1 &form)
{
    return textOf(&form, "lblStatus");
}

QString outcome(bool anyHits)
{
    return anyHits ? u"Suche abgeschlossen"_s : u"keine Treffer"_s;
}

// Ticks the folders of the tree for a run over their assemblies.
void searchAssembliesIn(WindowFixture &fixture, const QByteArrayList &folders)
{
    control<QComboBox>(&fixture.form(), "com_krit")->setEditText(u"asm"_s);
    fixture.tick(folders);
}

enum class Interruption
{
    Stop,
    StopAndClickAgain,
    Enter, // a second start
    Edit,  // the search box, to another text
    Close,
    Exit,
};

void interrupt(Form1 &form, Interruption interruption)
{
    switch (interruption) {
    case Interruption::Stop:
        press(&form, "img_stop");
        break;
    case Interruption::StopAndClickAgain:
        press(&form, "img_stop");
        press(&form, "img_stop");
        break;
    case Interruption::Enter:
        QTest::keyClick(control<QLineEdit>(&form, "txt_textfind"), Qt::Key_Return);
        break;
    case Interruption::Edit:
        control<QLineEdit>(&form, "txt_textfind")->setText(u"4711"_s);
        break;
    case Interruption::Close:
        QVERIFY(!form.close());
        break;
    case Interruption::Exit:
        press(&form, "img_exit");
        break;
    }
}

} // namespace

class tst_Form1SearchRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileArgumentIsTakenFromTheCommandLine_data();
    void fileArgumentIsTakenFromTheCommandLine();
    void startWithFileArgumentSearchesTheCurrentFolder_data();
    void startWithFileArgumentSearchesTheCurrentFolder();
    void enterRunsOverTheTickedFolders_data();
    void enterRunsOverTheTickedFolders();
    void foldersThatCannotBeListedAreCounted_data();
    void foldersThatCannotBeListedAreCounted();
    void stopOrCloseEndsALargeFileAtItsNextBlock_data();
    void stopOrCloseEndsALargeFileAtItsNextBlock();
    void unreadableCandidateIsSkippedAndNamed();
    void finderErrorIsShownAndTheRunEndsCleanly();
    void moreCandidatesThanSixteenBitsHold();
    void indexedRunLooksLikeAScan_data();
    void indexedRunLooksLikeAScan();
    void statusSeenDuringARunIsTheNewest();
    void stopDuringTheContentPassLeavesNoDescriptorOpen();
    // last: its exit row ends the process's event loops, and no modal box opens after it
    void interruptedAtTheFirstCandidate_data();
    void interruptedAtTheFirstCandidate();
};

void tst_Form1SearchRun::fileArgumentIsTakenFromTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("fileArgument");
    QTest::addRow("none") << QStringList() << QString();
    QTest::addRow("empty") << QStringList{QString()} << QString();
    QTest::addRow("as the file manager passes it")
        << QStringList{u"/cad/4711.prt"_s} << u"/cad/4711.prt"_s;
    QTest::addRow("still in quotes") << QStringList{u"\"/cad/4711.prt\""_s} << u"/cad/4711.prt"_s;
    QTest::addRow("a lone quote") << QStringList{u"\""_s} << u"\""_s;
    QTest::addRow("split at a blank")
        << QStringList{u"/cad/teil"_s, u"neu.prt"_s} << u"/cad/teil neu.prt"_s;
}

void tst_Form1SearchRun::fileArgumentIsTakenFromTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QTEST(fileArgumentFromCommandLine(arguments), "fileArgument");
}

void tst_Form1SearchRun::startWithFileArgumentSearchesTheCurrentFolder_data()
{
    QTest::addColumn<QByteArray>("folderName");
    QTest::addColumn<bool>("listable");
    QTest::addRow("plain name") << QByteArray("cad") << true;
    // old shares hold such names, and QDir cannot carry them
    QTest::addRow("Latin-1 name") << QByteArray("w\xe4rme") << true;
    // passable, so it can be the working folder, but not listable
    QTest::addRow("a folder that cannot be listed") << QByteArray("cad") << false;
}

void tst_Form1SearchRun::startWithFileArgumentSearchesTheCurrentFolder()
{
    QFETCH(QByteArray, folderName);
    QFETCH(bool, listable);
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    const QByteArray folder = tree.addFolder(folderName);
    tree.addFile(folderName + "/hub.prt.3", "part");
    tree.addFile(folderName + "/Gear.ASM.2", QByteArray(5000, 'x') + "HUB" + QByteArray(10, 'y'));
    tree.addFile(folderName + "/lower.asm", "only hub in lower case");
    tree.addFile(folderName + "/plan.drw.1", "HUB");
    tree.addFile(folderName + "/sub/deep.asm", "HUB");
    QCOMPARE(::chdir(folder.constData()), 0);
    std::optional<UnprivilegedUser> user;
    if (!listable) {
        QCOMPARE(::chmod(folder.constData(), 0311), 0);
        user.emplace(tree);
    }

    Form1 &form = fixture.form(fileArgumentFromCommandLine(
        {u"\""_s + QString::fromLocal8Bit(folder) + u"/hub.prt.3\""_s}));
    user.reset();

    QVERIFY(!form.isVisible());
    const auto *hits = control<QListView>(&form, "List2")->model();
    QCOMPARE(hits->rowCount(), listable ? 1 : 0);
    if (listable)
        QCOMPARE(hits->index(0, 0).data(PathListModel::PathBytesRole).toByteArray(),
                 folder + "/Gear.ASM.2");
    QCOMPARE(textOf(&form, "txt_textfind"), u"HUB"_s);
    QCOMPARE(control<QComboBox>(&form, "com_krit")->currentText(), u"asm"_s);
    QVERIFY(!control<QCheckBox>(&form, "chk_under")->isChecked());
    QCOMPARE(status(form), outcome(listable));
    QCOMPARE(textOf(&form, "Label6"), QString::number(hits->rowCount()));
    QCOMPARE(visibleWindow("frmSplash") != nullptr, !listable);
    if (!listable) {
        QCOMPARE(textOf(&form, "lbl_aktpfad"), u"1 Verzeichnis nicht lesbar"_s);
        QVERIFY(control<QLabel>(&form, "lbl_aktpfad")
                    ->toolTip()
                    .contains(QString::fromLocal8Bit(folder + '/')));
    }

    const FolderList &folders = loadedWindow<Form2>()->folderList();
    QCOMPARE(folders.count(), 2);
    QCOMPARE(folders.entryPath(1), folder);
    QVERIFY(folders.isTicked(1));
    QVERIFY(!folders.isTicked(0));

    QVERIFY(form.close());
    SettingsStore reread;
    QCOMPARE(reread.value(SettingsStore::Key::SearchText), u"HUB"_s);
    QCOMPARE(reread.folderLastIndex(), 0);
}

void tst_Form1SearchRun::enterRunsOverTheTickedFolders_data()
{
    QTest::addColumn<QByteArrayList>("ticked");
    QTest::addColumn<QByteArrayList>("candidates"); // in the order of their paths
    QTest::addColumn<QByteArrayList>("hits");       // the same
    QTest::addColumn<int>("bar");                   // 50 before the run

    const QByteArrayList assemblies{"a/deeper/three.asm.4", "a/one.asm", "a/two.asm"};
    const QByteArrayList hits{"a/deeper/three.asm.4", "a/one.asm"};
    QTest::addRow("a folder") << QByteArrayList{"a"} << assemblies << hits << 100;
    QTest::addRow("an empty folder")
        << QByteArrayList{"empty"} << QByteArrayList{} << QByteArrayList{} << 0;
    // no content pass: the bar keeps its value
    QTest::addRow("no folder") << QByteArrayList{} << QByteArrayList{} << QByteArrayList{} << 50;
}

void tst_Form1SearchRun::enterRunsOverTheTickedFolders()
{
    QFETCH(QByteArrayList, ticked);
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    tree.addFile("a/one.asm", "holds Hub");
    tree.addFile("a/two.asm", "holds HUB");
    tree.addFile("a/deeper/three.asm.4", "Hub again");
    tree.addFile("b/four.drw", "Hub");
    tree.addSymlink("link", "a");
    tree.addFolder("empty");
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, ticked);
    control<QProgressBar>(&form, "PBar")->setValue(50);

    fixture.pressEnterWith(u"Hub"_s);

    QFETCH(QByteArrayList, candidates);
    QCOMPARE(sortedEntries(form, "List1"), inTree(tree, candidates));
    QFETCH(QByteArrayList, hits);
    QCOMPARE(sortedEntries(form, "List2"), inTree(tree, hits));
    QCOMPARE(listTexts(control<QListView>(&form, "List_temp")), inTree(tree, ticked));
    QCOMPARE(textOf(&form, "Label6"), QString::number(hits.size()));
    QCOMPARE(status(form), outcome(!hits.isEmpty()));
    QCOMPARE(visibleWindow("frmSplash") != nullptr, hits.isEmpty());
    QTEST(control<QProgressBar>(&form, "PBar")->value(), "bar");
    QVERIFY(isShown(&form, "List2"));
    QVERIFY(!isShown(&form, "Picture1") && !isShown(&form, "img_stop"));
}

void tst_Form1SearchRun::foldersThatCannotBeListedAreCounted_data()
{
    QTest::addColumn<QByteArrayList>("ticked");
    QTest::addColumn<QByteArrayList>("hits");
    QTest::addColumn<QString>("folderLine");
    QTest::addColumn<QByteArrayList>("named"); // in the folder line's tool tip
    QTest::addColumn<int>("notNamed");         // counted at the tool tip's end

    QTest::addRow("a locked sub-folder")
        << QByteArrayList{"a"} << QByteArrayList{"a/1.asm"} << u"1 Verzeichnis nicht lesbar"_s
        << QByteArrayList{"a/locked/"} << 0;
    QTest::addRow("with a file that cannot be read")
        << QByteArrayList{"b"} << QByteArrayList{}
        << u"1 Verzeichnis nicht lesbar – 1 Datei nicht lesbar"_s
        << QByteArrayList{"b/locked/", "b/locked.asm"} << 0;
    // a removed folder, or a path that names a file, is walked as the finder walks it
    QTest::addRow("ticked folders gone or not folders")
        << QByteArrayList{"weg", "datei.asm", "a"} << QByteArrayList{"a/1.asm"}
        << u"3 Verzeichnisse nicht lesbar"_s << QByteArrayList{"weg/", "datei.asm/", "a/locked/"}
        << 0;
    QByteArrayList manyGone{"a"};
    for (int i = 1; i <= 22; ++i)
        manyGone.append("weg" + QByteArray::number(i));
    QTest::addRow("more than the tool tip names")
        << manyGone << QByteArrayList{"a/1.asm"} << u"23 Verzeichnisse nicht lesbar"_s
        << QByteArrayList{"a/locked/", "weg19/"} << 3;
}

// The walk passes over a folder it cannot list and goes on, but the run counts it where the user
// sees it, with the files that could not be read: a run that missed hits must not pass for a
// complete one, with hits or without.
void tst_Form1SearchRun::foldersThatCannotBeListedAreCounted()
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
        QCOMPARE(::chmod(tree.path(folder).constData(), 0), 0);
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, ticked);
    {
        const UnprivilegedUser user(tree);
        fixture.pressEnterWith(u"HUB"_s);
    }

    QCOMPARE(sortedEntries(form, "List2"), inTree(tree, hits));
    QCOMPARE(status(form), outcome(!hits.isEmpty()));
    auto *folderLine = control<QLabel>(&form, "lbl_aktpfad");
    QTEST(folderLine->text(), "folderLine");
    QVERIFY(folderLine->fontMetrics().horizontalAdvance(folderLine->text()) <= folderLine->width());
    for (const QString &path : inTree(tree, named))
        QVERIFY2(folderLine->toolTip().contains(path), qPrintable(folderLine->toolTip()));
    QFETCH(int, notNamed);
    QCOMPARE(folderLine->toolTip().section(u'\n', -1).startsWith(u"… und "_s), notNamed > 0);
    if (notNamed > 0)
        QVERIFY(folderLine->toolTip().endsWith(u"\n… und %1 weitere"_s.arg(notNamed)));
    QVERIFY(folderLine->toolTip().contains(QString::fromLocal8Bit(std::strerror(EACCES))));
    QVERIFY(fixture.boxes.texts.isEmpty());
}

void tst_Form1SearchRun::stopOrCloseEndsALargeFileAtItsNextBlock_data()
{
    QTest::addColumn<Interruption>("interruption");
    QTest::addColumn<int>("hits");
    QTest::addColumn<bool>("searchedToTheEnd");

    // the second click takes the stop back, and the pass goes on where it was
    QTest::addRow("stop, then a second click") << Interruption::StopAndClickAgain << 1 << true;
    QTest::addRow("close") << Interruption::Close << 0 << false;
}

// A large file must not keep the window waiting once the user has stopped the run or closed the
// window: the file's search ends after the block during which that happened, and the file counts
// as not searched.
void tst_Form1SearchRun::stopOrCloseEndsALargeFileAtItsNextBlock()
{
    QFETCH(Interruption, interruption);
    constexpr qint64 size = qint64(1) << 30;
    constexpr int interruptAtBlock = 100;
    WindowFixture fixture;
    // the text at the very end: the file holds it, but only a search to the end finds it
    fixture.tree.addSparseFile("a/big.asm", size, size - 3, "HUB");
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, {"a"});
    int blocks = 0;
    platform::setPendingEventsHandler([&] {
        if (form.statusText().startsWith(u"Suche l"_s) && ++blocks == interruptAtBlock)
            interrupt(form, interruption);
    });

    fixture.pressEnterWith(u"HUB"_s);
    platform::installThrottledEventPump();

    QTEST(rowCount(&form, "List2"), "hits");
    QFETCH(bool, searchedToTheEnd);
    QCOMPARE(blocks, searchedToTheEnd ? int(size / 4096) : interruptAtBlock);
    QVERIFY(!textOf(&form, "lbl_aktpfad").contains(u"nicht lesbar"));
    if (interruption == Interruption::StopAndClickAgain)
        QCOMPARE(status(form), u"Suche abgeschlossen"_s);
    if (interruption == Interruption::Close)
        QTRY_VERIFY(!form.isVisible());
}

void tst_Form1SearchRun::unreadableCandidateIsSkippedAndNamed()
{
    WindowFixture fixture;
    const QByteArray kept = fixture.tree.addFile("a/kept.asm", "HUB");
    const QByteArray gone = fixture.tree.addFile("a/gone.asm", "HUB");
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, {"a"});
    connect(form.findChild<cFindFile *>(), &cFindFile::MatchFound, &form,
            [gone](const QByteArray &name) {
                if (name == "gone.asm")
                    QFile::remove(QString::fromLocal8Bit(gone));
            });

    fixture.pressEnterWith(u"HUB"_s);

    QCOMPARE(sortedEntries(form, "List2"), QStringList{QString::fromLocal8Bit(kept)});
    QCOMPARE(status(form), u"Suche abgeschlossen"_s);
    // the note stands in the folder line, where the narrow window shows it in full
    auto *folderLine = control<QLabel>(&form, "lbl_aktpfad");
    QCOMPARE(folderLine->text(), u"1 Datei nicht lesbar"_s);
    QVERIFY(folderLine->fontMetrics().horizontalAdvance(folderLine->text()) <= folderLine->width());
    QVERIFY(folderLine->mapTo(&form, QPoint(folderLine->width(), 0)).x() <= form.width());
    QVERIFY(folderLine->toolTip().contains(QString::fromLocal8Bit(gone)));
}

void tst_Form1SearchRun::finderErrorIsShownAndTheRunEndsCleanly()
{
    WindowFixture fixture;
    fixture.tree.addFile("a/x.txt");
    fixture.tree.addFile("a/y.txt");
    fixture.tree.addFile("a/z.asm", "HUB");
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, {"a"});
    control<QComboBox>(&form, "com_krit")->setEditText(u"drw"_s);
    platform::setPendingEventsHandler([] { throw std::runtime_error("listing failed"); });

    fixture.pressEnterWith(u"HUB"_s);
    platform::installThrottledEventPump();

    QCOMPARE(fixture.boxes.texts, QStringList{u"Fehler bei sStartSearch"_s});
    QVERIFY(!form.isSearchRunning());
    QVERIFY(!isShown(&form, "img_stop"));
    QVERIFY(!QGuiApplication::overrideCursor());

    control<QComboBox>(&form, "com_krit")->setEditText(u"asm"_s);
    fixture.pressEnterWith(u"HUB"_s);
    QCOMPARE(rowCount(&form, "List2"), 1);
}

void tst_Form1SearchRun::indexedRunLooksLikeAScan_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("map"); // SPURWERK_INDEX_MAP
    QTest::addColumn<QString>("note");
    QTest::addRow("answered") << u"Hubwelle"_s << QByteArray() << u"0 von 3 Dateien gelesen"_s;
    QTest::addRow("too short")
        << u"Hub"_s << QByteArray()
        << u"Index nicht verwendet: Suchtext zu kurz oder mit Zeichen außerhalb des Index"_s;
    QTest::addRow("an office index mapping not valid")
        << u"Hubwelle"_s << QByteArray("/srv/cad")
        << u"Büro-Index nicht verwendet: Verzeichniszuordnung ungültig (SPURWERK_INDEX_MAP: "
           "\"/srv/cad\" is no SERVER=LOCAL pair: it has no \"=\"); Index vom"_s;
}

// With an index of the folders the window shows what a run that reads every file shows, but for
// the folder line, which tells what the index did.
void tst_Form1SearchRun::indexedRunLooksLikeAScan()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, map);
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    WindowFixture fixture;
    fixture.tree.addFile("a/one.asm", "holds Hubwelle");
    fixture.tree.addFile("a/two.asm", "holds HUBWELLE");
    fixture.tree.addFile("a/deeper/three.asm.4", "nothing");
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, {"a"});
    const auto shown = [&] {
        return QStringList{sortedEntries(form, "List1").join(u' '),
                           sortedEntries(form, "List2").join(u' '), textOf(&form, "Label6"),
                           status(form),
                           QString::number(control<QProgressBar>(&form, "PBar")->value())};
    };
    fixture.pressEnterWith(text);
    const QStringList scanned = shown();
    const QString scannedFolderLine = textOf(&form, "lbl_aktpfad");

    {
        SqliteStore store(indexFile(), SqliteStore::Mode::Write);
        IndexUpdate::Options options;
        options.unsettledMarginNs = 0;
        IndexUpdate(store, options).update(canonicalFolder(fixture.tree.root()));
    }
    qputenv("SPURWERK_INDEX_MAP", map);
    fixture.pressEnterWith(text);
    QCOMPARE(shown(), scanned);
    QVERIFY(!scannedFolderLine.contains(u"Index"));
    QFETCH(QString, note);
    QVERIFY2(textOf(&form, "lbl_aktpfad").contains(note), qPrintable(textOf(&form, "lbl_aktpfad")));
    qunsetenv("SPURWERK_INDEX_MAP");
    qunsetenv("XDG_CACHE_HOME");
}

void tst_Form1SearchRun::moreCandidatesThanSixteenBitsHold()
{
    constexpr int files = 33000;
    WindowFixture fixture;
    for (int i = 0; i < files; ++i)
        fixture.tree.addFile("a/part" + QByteArray::number(i) + ".asm",
                             i == files - 1 ? "HUB" : "");
    Form1 &form = fixture.form();
    searchAssembliesIn(fixture, {"a"});

    fixture.pressEnterWith(u"HUB"_s);

    QCOMPARE(rowCount(&form, "List1"), files);
    QCOMPARE(sortedEntries(form, "List2"), inTree(fixture.tree, {"a/part32999.asm"}));
    QCOMPARE(status(form), u"Suche abgeschlossen"_s);
}

// The labels that change per entry and per block are painted once per pass of the event loop:
// after each pass they must show the newest status, and the outcome text must stay.
void tst_Form1SearchRun::statusSeenDuringARunIsTheNewest()
{
    WindowFixture fixture;
    fixture.tree.addFile("a/1.asm", QByteArray(4 * 4096 - 3, 'x') + "HUB");
    fixture.tree.addFile("a/2.asm", "no part here");
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, {"a"});
    QStringList seen;
    bool statusAgrees = true;
    platform::setPendingEventsHandler([&] {
        QCoreApplication::processEvents();
        statusAgrees = statusAgrees && form.statusText() == status(form);
        if (seen.isEmpty() || seen.last() != status(form))
            seen.append(status(form));
    });

    fixture.pressEnterWith(u"HUB"_s);
    platform::installThrottledEventPump();
    QCoreApplication::processEvents();

    QVERIFY(statusAgrees);
    const auto at = [&seen](const char *text) { return seen.indexOf(QString::fromUtf8(text)); };
    QVERIFY2(at("1") >= 0 && at("1") < at("2"), qPrintable(seen.join(u'|')));
    for (const char *text : {"Suche läuft... 25%", "Suche läuft... 50%", "Suche läuft... 100%"})
        QVERIFY2(at(text) > at("2"), qPrintable(seen.join(u'|')));
    QCOMPARE(status(form), u"Suche abgeschlossen"_s);
    QCOMPARE(form.statusText(), u"Suche abgeschlossen"_s);
    const QStringList candidates = listTexts(control<QListView>(&form, "List1"));
    QCOMPARE(textOf(&form, "lbl_aktpfad"), candidates.last());
}

// The files come from the disk, so the content pass reads ahead when the stop comes.
void tst_Form1SearchRun::stopDuringTheContentPassLeavesNoDescriptorOpen()
{
    WindowFixture fixture;
    QByteArrayList files;
    for (int i = 0; i < 30; ++i)
        files.append(
            fixture.tree.addFile("a/" + QByteArray::number(i) + ".asm", QByteArray(200000, 'x')));
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, {"a"});
    // a whole run first, so that what the window keeps open for good is open before counting
    fixture.pressEnterWith(u"HUB"_s);
    for (const QByteArray &file : std::as_const(files))
        evictFromMemory(file);
    const int before = openDescriptorCount();
    int contentSteps = 0;
    platform::setPendingEventsHandler([&] {
        if (form.statusText().startsWith(u"Suche l"_s) && ++contentSteps == 60)
            press(&form, "img_stop");
    });

    fixture.pressEnterWith(u"HUB"_s);
    platform::installThrottledEventPump();

    QCOMPARE(status(form), u"Suche abgebrochen"_s);
    QVERIFY(contentSteps >= 60);
    QCOMPARE(openDescriptorCount(), before);
}

void tst_Form1SearchRun::interruptedAtTheFirstCandidate_data()
{
    QTest::addColumn<QByteArrayList>("ticked");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<Interruption>("interruption");
    QTest::addColumn<QByteArrayList>("candidates"); // in the order of their paths
    QTest::addColumn<int>("hits");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("stopLabel");
    QTest::addColumn<QString>("folderLine"); // empty: no note that the run is incomplete

    const QString stopped = u"Suche abgebrochen"_s;
    const QString done = u"Suche abgeschlossen"_s;
    // every folder reports its own matches, no walk enters a sub-folder, one candidate is searched
    QTest::addRow("stop") << QByteArrayList{"a", "b"} << u"HUB"_s << Interruption::Stop
                          << QByteArrayList{"a/1.asm", "a/2.asm", "b/4.asm"} << 1 << stopped
                          << u"1"_s << QString();
    // the second click lets the content pass finish, but the walk stays stopped: a run that left
    // a folder out must not pass for a complete one
    QTest::addRow("stop, a second click, a sub-folder left out")
        << QByteArrayList{"a"} << u"HUB"_s << Interruption::StopAndClickAgain
        << QByteArrayList{"a/1.asm", "a/2.asm"} << 2 << done << u"0"_s
        << u"unvollständig: Unterverzeichnisse ausgelassen"_s;
    QTest::addRow("stop, a second click, nothing left to walk")
        << QByteArrayList{"c"} << u"HUB"_s << Interruption::StopAndClickAgain
        << QByteArrayList{"c/1.asm", "c/2.asm"} << 2 << done << u"0"_s << QString();
    QTest::addRow("a second start is refused")
        << QByteArrayList{"a"} << u"HUB"_s << Interruption::Enter
        << QByteArrayList{"a/1.asm", "a/2.asm", "a/sub/3.asm"} << 3 << done << u"0"_s << QString();
    // one hit list holds one search: the text is taken when the run starts
    QTest::addRow("the search box edited")
        << QByteArrayList{"c"} << u"HUB"_s << Interruption::Edit
        << QByteArrayList{"c/1.asm", "c/2.asm"} << 2 << done << u"0"_s << QString();
    // the window closes once the run has wound down, and saves
    QTest::addRow("close") << QByteArrayList{"c"} << u"HUB"_s << Interruption::Close
                           << QByteArrayList{"c/1.asm", "c/2.asm"} << 1 << stopped << u"1"_s
                           << QString();
    // nor does a close keep the process alive for the notice
    QTest::addRow("close, nothing found")
        << QByteArrayList{"c"} << u"4711"_s << Interruption::Close
        << QByteArrayList{"c/1.asm", "c/2.asm"} << 0 << stopped << u"1"_s << QString();
    // every window closes at once, and no notice shows though nothing was found
    QTest::addRow("exit") << QByteArrayList{"c"} << u"4711"_s << Interruption::Exit
                          << QByteArrayList{"c/1.asm", "c/2.asm"} << 0 << stopped << u"1"_s
                          << QString();
}

void tst_Form1SearchRun::interruptedAtTheFirstCandidate()
{
    QFETCH(QByteArrayList, ticked);
    QFETCH(QString, searchText);
    QFETCH(Interruption, interruption);
    WindowFixture fixture;
    for (const char *file :
         {"a/1.asm", "a/2.asm", "a/sub/3.asm", "b/4.asm", "b/sub/5.asm", "c/1.asm", "c/2.asm"})
        fixture.tree.addFile(file, "HUB");
    Form1 &form = fixture.shownForm();
    searchAssembliesIn(fixture, ticked);
    atFirstCandidate(form, [&] { interrupt(form, interruption); });

    fixture.pressEnterWith(searchText);

    const bool closes = interruption == Interruption::Close || interruption == Interruption::Exit;
    if (interruption == Interruption::Exit)
        QVERIFY(!form.isVisible());
    QFETCH(QByteArrayList, candidates);
    QCOMPARE(sortedEntries(form, "List1"), inTree(fixture.tree, candidates));
    QTEST(rowCount(&form, "List2"), "hits");
    QTEST(status(form), "status");
    QTEST(textOf(&form, "lbl_stop"), "stopLabel");
    const bool stopClicked =
        interruption == Interruption::Stop || interruption == Interruption::StopAndClickAgain;
    QCOMPARE(fixture.boxes.texts,
             stopClicked ? QStringList{u"Die Suche wurde abgebrochen !"_s} : QStringList());
    QFETCH(QString, folderLine);
    if (!folderLine.isEmpty())
        QCOMPARE(textOf(&form, "lbl_aktpfad"), folderLine);
    else
        QVERIFY(!textOf(&form, "lbl_aktpfad").contains(u"unvollständig"));
    QVERIFY(!form.isSearchRunning());
    QVERIFY(!isShown(&form, "img_stop"));
    QVERIFY(!visibleWindow("frmSplash"));
    QTRY_COMPARE(form.isVisible(), !closes);
    if (closes)
        QCOMPARE(SettingsStore().value(SettingsStore::Key::SearchText), searchText);
    if (interruption == Interruption::Edit)
        QCOMPARE(textOf(&form, "txt_textfind"), u"4711"_s);
}

QTEST_MAIN(tst_Form1SearchRun)
#include "tst_form1_search_run.moc"
