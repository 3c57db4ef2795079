#include "main_window/form1.h"
#include "path_editor/browse_panel.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "path_editor/side_by_side.h"
#include "platform/event_pump.h"
#include "platform/volumes.h"
#include "search/content_search.h"
#include "settings/failing_folder.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "widgets/window_geometry.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>

#include <optional>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

Form2 *editor()
{
    return loadedWindow<Form2>();
}

// Types the search text and presses "Suche starten"; returns the editor it opened.
Form2 *startEditor(Form1 &form, const QString &searchText)
{
    control<QLineEdit>(&form, "txt_textfind")->setText(searchText);
    press(&form, "Command3");
    return editor();
}

QStringList folderTexts(const Form2 *editor)
{
    return listTexts(control<QListView>(editor, "List1"));
}

} // namespace

class tst_Form2 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstStartClickOnlyOpensTheEditor();
    void editingTheList_data();
    void editingTheList();
    void okTakesTheChosenFolder_data();
    void okTakesTheChosenFolder();
    void latin1FolderIsChosenSavedAndSearched();
    void treeListsTheFoldersAPersonLooksFor();
    void choosingAVolume_data();
    void choosingAVolume();
    void sideBySide_data();
    void sideBySide();
    void suchenRunsBesideTheMainWindowThenCloses();
    void suchenWithoutSearchTextRunsNothing();
    void editorDuringARun_data();
    void editorDuringARun();
    void editorUnloadedDuringItsOwnRun_data();
    void editorUnloadedDuringItsOwnRun();
    void savingTheList_data();
    void savingTheList();
};

void tst_Form2::firstStartClickOnlyOpensTheEditor()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();

    Form2 *opened = startEditor(form, QStringLiteral("hub"));

    QVERIFY(opened && opened->isVisible());
    QCOMPARE(textOf(&form, "txt_textfind"), QStringLiteral("HUB"));
    QVERIFY(!control<QWidget>(&form, "Frame1")->isVisible());
    QCOMPARE(textOf(opened, "lbl_status"), QStringLiteral("Status"));
    QTRY_COMPARE(QApplication::focusWidget(), control<QWidget>(opened, "cmd_search"));

    // every click converts the text, and shows the same window
    QCOMPARE(startEditor(form, QStringLiteral("welle")), opened);
    QCOMPARE(textOf(&form, "txt_textfind"), QStringLiteral("WELLE"));
}

void tst_Form2::editingTheList_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("label9");

    const QString root = u"/"_s;
    const QString cad = u"/cad"_s;
    QTest::addRow("Enter twice adds twice")
        << u"type /cad, Enter, Enter"_s << QStringList{root, cad, cad} << QString();
    QTest::addRow("+ with an empty field adds nothing") << u"+"_s << QStringList{root} << QString();
    QTest::addRow("Enter with an empty field adds nothing")
        << u"Enter"_s << QStringList{root} << QString();
    QTest::addRow("- without a click removes nothing")
        << u"type /cad, +, -"_s << QStringList{root, cad} << QString();
    QTest::addRow("- twice after one click removes one")
        << u"type /cad, +, type /b, +, click 1, -, -"_s << QStringList{root, u"/b"_s} << QString();
    QTest::addRow("a click fills the field and the index")
        << u"type /cad, +, click 0, +"_s << QStringList{root, cad, root} << u"0"_s;
}

void tst_Form2::editingTheList()
{
    QFETCH(QString, steps);
    WindowFixture fixture;
    Form2 *opened = startEditor(fixture.form(), QString());
    auto *field = control<QLineEdit>(opened, "Text3");

    for (const QString &step : steps.split(u", "_s)) {
        if (step.startsWith(u"type ")) {
            field->clear();
            QTest::keyClicks(field, step.mid(5));
        } else if (step == u"Enter") {
            QTest::keyClick(field, Qt::Key_Return);
        } else if (step == u"+") {
            press(opened, "Command3");
        } else if (step == u"-") {
            press(opened, "Command4");
        } else {
            clickRow(control<QListView>(opened, "List1"), step.mid(6).toInt());
        }
    }

    QTEST(folderTexts(opened), "expected");
    QTEST(textOf(opened, "Label9"), "label9");
}

void tst_Form2::okTakesTheChosenFolder_data()
{
    QTest::addColumn<bool>("chooseTop");
    QTest::addColumn<QByteArray>("expected");
    QTest::addRow("a sub-folder") << false << QByteArray("cad/teile/");
    // "/", unless the temporary folders lie on a file system of their own
    QTest::addRow("the top of its volume") << true << QByteArray();
}

void tst_Form2::okTakesTheChosenFolder()
{
    QFETCH(bool, chooseTop);
    QFETCH(QByteArray, expected);
    WindowFixture fixture;
    const QByteArray folder = fixture.tree.addFolder("cad/teile");
    QCOMPARE(::chdir(folder.constData()), 0);
    expected = chooseTop ? platform::volumeOf(folder, platform::mountedVolumes())
                         : fixture.tree.path(expected);
    if (!expected.endsWith('/'))
        expected += '/';
    Form2 *opened = startEditor(fixture.form(), QString());
    auto *panel = control<QWidget>(opened, "Frame2");

    press(opened, "cmd_brows");
    QVERIFY(panel->isVisible());
    // the tree opens at the working folder
    auto *tree = control<QTreeWidget>(panel, "Dir1");
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("teile"));
    if (chooseTop)
        tree->setCurrentItem(tree->topLevelItem(0));
    press(panel, "cmd_ok");

    QVERIFY(!panel->isVisible());
    QCOMPARE(textOf(opened, "Text3"), QString::fromLocal8Bit(expected));
}

// A folder whose name is Latin-1, as on old shares, goes the whole way as bytes.
void tst_Form2::latin1FolderIsChosenSavedAndSearched()
{
    WindowFixture fixture;
    const QByteArray folder = fixture.tree.addFolder("w\xe4rme");
    const QByteArray hit = fixture.tree.addFile("w\xe4rme/kessel.asm", "...HUB...");
    QCOMPARE(::chdir(folder.constData()), 0);
    Form1 &form = fixture.form();
    Form2 *opened = startEditor(form, QStringLiteral("hub"));

    press(opened, "cmd_brows");
    press(control<QWidget>(opened, "Frame2"), "cmd_ok");
    QTest::keyClick(control<QLineEdit>(opened, "Text3"), Qt::Key_Return);
    press(opened, "Command2");
    QVERIFY(fixture.boxes.texts.isEmpty());
    QVERIFY(!editor());

    press(&form, "Image1");
    FolderList &folders = editor()->folderList();
    QCOMPARE(folders.entryPath(1), folder + '/');
    folders.tick(1);
    press(editor(), "cmd_search");

    const auto *hits = control<QListView>(&form, "List2")->model();
    QCOMPARE(hits->rowCount(), 1);
    QCOMPARE(hits->index(0, 0).data(Qt::UserRole).toByteArray(), hit);
}

// Hidden folders, files and links that lead nowhere are left out; a link to a folder is a folder;
// the order is alphabetical whatever the case.
void tst_Form2::treeListsTheFoldersAPersonLooksFor()
{
    WindowFixture fixture;
    TestTree &tree = fixture.tree;
    for (const char *folder : {"cad/Zeta", "cad/alpha", "cad/.hidden", "cad/Beta"})
        tree.addFolder(folder);
    tree.addFile("cad/datei.asm", "HUB");
    tree.addSymlink("cad/link", "alpha");
    tree.addSymlink("cad/dangling", "nowhere");
    QCOMPARE(::chdir(tree.path("cad").constData()), 0);
    Form2 *opened = startEditor(fixture.form(), QString());

    press(opened, "cmd_brows");
    QTreeWidgetItem *cad = control<QTreeWidget>(opened, "Dir1")->currentItem();
    cad->setExpanded(true);

    QStringList children;
    for (int i = 0; i < cad->childCount(); ++i)
        children.append(cad->child(i)->text(0));
    QCOMPARE(children, (QStringList{u"alpha"_s, u"Beta"_s, u"link"_s, u"Zeta"_s}));
}

void tst_Form2::choosingAVolume_data()
{
    QTest::addColumn<QByteArray>("volume");
    QTest::addColumn<bool>("listable");
    QTest::addRow("a volume that can be listed") << QByteArray("cad") << true;
    // as an unplugged medium or a share that went away
    QTest::addRow("a volume that cannot be listed") << QByteArray("weg") << false;
}

void tst_Form2::choosingAVolume()
{
    QFETCH(QByteArray, volume);
    QFETCH(bool, listable);
    WindowFixture fixture;
    fixture.tree.addFolder("cad/teile");
    volume = fixture.tree.path(volume);
    fixture.form();
    auto *panel = editor()->findChild<BrowsePanel *>();
    panel->setVolumes({"/", volume});
    auto *drives = control<QComboBox>(panel, "Drive1");
    auto *tree = control<QTreeWidget>(panel, "Dir1");
    const QString shown = tree->currentItem()->text(0);
    QCOMPARE(drives->currentIndex(), 0);

    drives->setCurrentIndex(1);

    QCOMPARE(drives->currentIndex(), listable ? 1 : 0);
    QCOMPARE(tree->currentItem()->text(0), listable ? QString::fromLocal8Bit(volume) : shown);
    QVERIFY(fixture.boxes.texts.isEmpty());
}

void tst_Form2::sideBySide_data()
{
    QTest::addColumn<int>("mainLeft");
    QTest::addColumn<int>("screenRight");
    QTest::addColumn<int>("placedMainLeft");

    // a main window 9735 wide, an editor 5805 wide
    QTest::addRow("both fit") << 1000 << 19200 << 1000;
    QTest::addRow("exactly fit") << 3660 << 19200 << 3660;
    QTest::addRow("the editor would pass the screen's edge") << 8000 << 19200 << 3660;
    QTest::addRow("on a screen right of another") << 20000 << 38400 << 20000;
    QTest::addRow("passing that screen's edge") << 30000 << 38400 << 22860;
}

void tst_Form2::sideBySide()
{
    QFETCH(int, mainLeft);
    QFETCH(int, screenRight);
    QFETCH(int, placedMainLeft);
    const SideBySide placed = ::sideBySide(mainLeft, 9735, 5805, screenRight);
    QCOMPARE(placed.mainLeft, placedMainLeft);
    QCOMPARE(placed.editorLeft, placedMainLeft + 9735);
}

// The way every office colleague starts a run: type, "Suche starten", add and tick a folder,
// "Suchen".
void tst_Form2::suchenRunsBesideTheMainWindowThenCloses()
{
    using namespace window_geometry;
    WindowFixture fixture;
    const QByteArray hit = fixture.tree.addFile("cad/getriebe.asm", "xx HUB yy");
    fixture.tree.addFile("cad/rahmen.asm", "nothing");
    Form1 &form = fixture.shownForm();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    setOuterLeft(&form, screenRight(&form) - outerWidth(&form) - 1500);
    Form2 *opened = startEditor(form, QStringLiteral("hub"));
    QVERIFY(QTest::qWaitForWindowExposed(opened));
    QTest::keyClicks(control<QLineEdit>(opened, "Text3"),
                     QString::fromLocal8Bit(fixture.tree.path("cad")));
    QTest::keyClick(control<QLineEdit>(opened, "Text3"), Qt::Key_Return);
    opened->folderList().tick(1);

    struct
    {
        QRect main, editor;
        QString status;
        bool searchEnabled = true, startEnabled = true;
    } during;
    atFirstCandidate(form, [&] {
        during.main = QRect(outerLeft(&form), outerTop(&form), outerWidth(&form), 0);
        during.editor = QRect(outerLeft(opened), outerTop(opened), outerWidth(opened), 0);
        during.status = textOf(opened, "lbl_status");
        during.searchEnabled = control<QWidget>(opened, "cmd_search")->isEnabled();
        during.startEnabled = control<QWidget>(&form, "Command3")->isEnabled();
    });
    press(opened, "cmd_search");

    QCOMPARE(during.editor.left(), during.main.left() + during.main.width());
    QCOMPARE(during.editor.top(), during.main.top());
    QCOMPARE(during.editor.left() + during.editor.width(), screenRight(&form));
    QCOMPARE(during.status, QStringLiteral("suche..."));
    QVERIFY(!during.searchEnabled);
    QVERIFY(!during.startEnabled);

    QCOMPARE(listTexts(control<QListView>(&form, "List2")),
             QStringList{QString::fromLocal8Bit(hit)});
    QVERIFY(!editor());
    QVERIFY(!visibleWindow("Form2"));
    QVERIFY(control<QWidget>(&form, "Command3")->isEnabled());
}

void tst_Form2::suchenWithoutSearchTextRunsNothing()
{
    WindowFixture fixture;
    Form1 &form = fixture.form();
    const QPointer<Form2> opened = startEditor(form, QString());
    opened->folderList().tick(0);

    press(opened, "cmd_search");

    QVERIFY(!control<QWidget>(&form, "Frame1")->isVisible());
    QCOMPARE(rowCount(&form, "List1"), 0);
    QVERIFY(opened->isUnloaded() && !opened->isVisible());
    QCOMPARE(textOf(opened, "lbl_status"), QStringLiteral("suche..."));
    QTRY_VERIFY(opened.isNull());
}

void tst_Form2::editorDuringARun_data()
{
    QTest::addColumn<bool>("inContentPass"); // or at the walk's first candidate
    QTest::addColumn<bool>("loadAfresh");
    QTest::addColumn<QString>("pressed"); // the main window's button that shows the editor, or
                                          // "Suchen" in the editor shown by "Image1"
    QTest::addColumn<bool>("searchEnabled");
    // loaded during the content pass, "Suchen" stays disabled until the editor is loaded again
    QTest::addRow("loaded afresh in the content pass") << true << true << u"Image1"_s << false;
    QTest::addRow("only shown in the content pass") << true << false << u"Image1"_s << true;
    // a start during a run is refused whole
    QTest::addRow("Suche starten") << false << false << u"Command3"_s << true;
    QTest::addRow("Suchen in an editor loaded afresh") << false << true << u"Suchen"_s << true;
}

void tst_Form2::editorDuringARun()
{
    QFETCH(bool, inContentPass);
    QFETCH(bool, loadAfresh);
    QFETCH(QString, pressed);
    WindowFixture fixture;
    fixture.tree.addFile("a/1.asm", "hub");
    fixture.tree.addFile("a/2.asm", "hub");
    fixture.tree.addFile("a/3.asm", QByteArray(4 * 4096, 'x') + "hub");
    Form1 &form = fixture.shownForm();
    fixture.tick({"a"});
    bool acted = false;
    bool enabled = false;
    const auto act = [&] {
        if (std::exchange(acted, true))
            return;
        if (loadAfresh)
            editor()->unload();
        press(&form, pressed == u"Command3" ? "Command3" : "Image1");
        enabled = control<QWidget>(editor(), "cmd_search")->isEnabled();
        if (pressed == u"Suchen")
            press(editor(), "cmd_search");
    };
    if (inContentPass) {
        platform::setPendingEventsHandler([&] {
            QCoreApplication::processEvents();
            if (form.statusText().startsWith(contentSearchStatusStart))
                act();
        });
    } else {
        atFirstCandidate(form, act);
    }

    // Enter runs with the text as typed; a second start would upper-case it in mid-run
    fixture.pressEnterWith(u"hub"_s);

    QVERIFY(acted);
    QTEST(enabled, "searchEnabled");
    QTEST(control<QWidget>(editor(), "cmd_search")->isEnabled(), "searchEnabled");
    QCOMPARE(textOf(&form, "txt_textfind"), u"hub"_s);
    QCOMPARE(rowCount(&form, "List1"), 3);
    QCOMPARE(rowCount(&form, "List2"), 3);
    QCOMPARE(textOf(&form, "lblStatus"), u"Suche abgeschlossen"_s);
    QVERIFY(editor()->isVisible());
    QCOMPARE(textOf(editor(), "lbl_status"), u"Status"_s);
}

void tst_Form2::editorUnloadedDuringItsOwnRun_data()
{
    QTest::addColumn<bool>("save");
    QTest::addRow("Eingaben abspeichern") << true;
    QTest::addRow("close box") << false;
}

// The run "Suchen" starts runs inside the editor's click handler; the window must go from the
// screen at once, but must not be destroyed under that handler.
void tst_Form2::editorUnloadedDuringItsOwnRun()
{
    QFETCH(bool, save);
    WindowFixture fixture;
    for (const char *name : {"a/1.asm", "a/2.asm", "a/3.asm"})
        fixture.tree.addFile(name, "HUB");
    Form1 &form = fixture.shownForm();
    const QPointer<Form2> opened = startEditor(form, QStringLiteral("HUB"));
    fixture.tick({"a"});
    // every pass of the run processes events, as a long run does, so that the click posted
    // below, as the user's arrives, runs in the middle of it
    platform::setPendingEventsHandler([] { QCoreApplication::processEvents(); });
    bool goneAtOnce = false;
    const auto unload = [&] {
        if (save)
            press(opened, "Command2");
        else
            opened->close();
        goneAtOnce = opened->isUnloaded() && !opened->isVisible();
    };
    atFirstCandidate(form,
                     [&] { QMetaObject::invokeMethod(opened, unload, Qt::QueuedConnection); });

    press(opened, "cmd_search");

    QVERIFY(goneAtOnce);
    QVERIFY2(!opened.isNull(), "destroyed while its handler ran");
    QCOMPARE(rowCount(&form, "List2"), 3);
    QTRY_VERIFY(opened.isNull());
    QCOMPARE(SettingsStore().folderLastIndex(), save ? 1 : 0);
}

void tst_Form2::savingTheList_data()
{
    QTest::addColumn<QString>("refusal"); // empty when the save goes through
    QTest::addRow("saved") << QString();
    QTest::addRow("settings file that could not be read") << QStringLiteral("unreadable");
    QTest::addRow("read-only settings folder") << QStringLiteral("read-only");
    QTest::addRow("another window's list saved meanwhile") << QStringLiteral("conflict");
}

void tst_Form2::savingTheList()
{
    QFETCH(QString, refusal);
    WindowFixture fixture;
    const QByteArray broken("[Optionen\nANZI=0\n");
    if (refusal == u"unreadable")
        SettingsFile::write(broken);
    Form1 &form = fixture.form();
    std::optional<FailingFolder> readOnly;
    if (refusal == u"read-only") {
        readOnly.emplace(QFileInfo(SettingsFile::path()).path(), FailingFolder::Kind::ReadOnly);
        if (!readOnly->unavailable().isEmpty())
            QSKIP(qPrintable(readOnly->unavailable()));
    }
    if (refusal == u"conflict") {
        SettingsStore otherWindow;
        otherWindow.setFolderEntry(0, "/andere");
        otherWindow.setValue(SettingsStore::Key::FolderLastIndex, QStringLiteral("0"));
        QVERIFY(otherWindow.sync().saved());
    }
    const QPointer<Form2> opened = startEditor(form, QString());
    QTest::keyClicks(control<QLineEdit>(opened, "Text3"), QStringLiteral("/cad/"));
    press(opened, "Command3");

    press(opened, "Command2");

    QCOMPARE(textOf(&form, "Label1"), QStringLiteral("/cad/"));
    if (refusal.isEmpty()) {
        QVERIFY(fixture.boxes.texts.isEmpty());
        QVERIFY(opened->isUnloaded());
        QCOMPARE(SettingsStore().folderEntry(1), QByteArray("/cad/"));
        return;
    }
    // The edits are not lost: the window stays, with its list, and says why (after the start's
    // message about a file that could not be read).
    QCOMPARE(fixture.boxes.texts.size(), refusal == u"unreadable" ? 2 : 1);
    QVERIFY(fixture.boxes.texts.last().startsWith(
        QStringLiteral("Die Liste der Verzeichnisse wurde nicht gespeichert.")));
    QVERIFY(fixture.boxes.texts.last().contains(SettingsFile::path()));
    QVERIFY(!opened->isUnloaded() && opened->isVisible());
    QCOMPARE(folderTexts(opened), (QStringList{QStringLiteral("/"), QStringLiteral("/cad/")}));
    readOnly.reset();
    if (refusal == u"unreadable") {
        QCOMPARE(SettingsFile::read(), broken);
    } else if (refusal == u"conflict") {
        // the other window's list stays until a second save replaces it, as the message says
        QCOMPARE(SettingsStore().folderEntry(0), QByteArray("/andere"));
        QVERIFY(fixture.boxes.texts.last().endsWith(
            QStringLiteral("„Eingaben abspeichern“ ersetzt dessen Liste durch diese.")));
        press(opened, "Command2");
        QVERIFY(opened->isUnloaded());
        QCOMPARE(SettingsStore().folderEntry(1), QByteArray("/cad/"));
    } else {
        QVERIFY(!QFileInfo::exists(SettingsFile::path()));
    }
}

QTEST_MAIN(tst_Form2)
#include "tst_form2.moc"
