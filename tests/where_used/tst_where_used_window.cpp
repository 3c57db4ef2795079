#include "index/index_location.h"
#include "index/postgres_store.h"
#include "index/test_postgres.h"
#include "main_window/command_line.h"
#include "main_window/form1.h"
#include "main_window/where_used_start.h"
#include "path_editor/form2.h"
#include "search/cfindfile.h"
#include "settings/settings_store.h"
#include "unprivileged_user.h"
#include "where_used/folder_choice_dialog.h"
#include "where_used/where_used_export.h"
#include "where_used/where_used_graph.h"
#include "where_used/where_used_model.h"
#include "where_used/where_used_picture_view.h"
#include "where_used/where_used_window.h"
#include "where_used_tree.h"
#include "window_fixture.h"

#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTest>

using namespace Qt::StringLiterals;
#include <QTreeView>
#include <vector>

namespace {

// A part used by two assemblies, one of them in a drawing.
const QByteArrayList partFolder{"teile/hub.prt.2:HUB", "teile/rahmen.asm.3:HUB",
                                "teile/unter/motor.asm:HUB", "teile/rahmen.drw:RAHMEN"};

// Ctrl+Shift+V in the main window's search box, with the text typed into it.
void pressWhereUsedKeys(Form1 &form, const QString &text)
{
    auto *searchBox = control<QLineEdit>(&form, "txt_textfind");
    searchBox->setText(text);
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        qFatal("the main window did not become active");
    searchBox->setFocus();
    QTest::keyClick(searchBox, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
}

// "spurwerk --verwendung FILE" as the file manager starts it; no file: the option alone.
WhereUsedWindow *startedWith(const QByteArray &file, SettingsStore &store)
{
    std::vector<const char *> argv{"spurwerk", "--verwendung"};
    if (!file.isEmpty())
        argv.push_back(file.constData());
    const std::optional<QByteArray> argument =
        whereUsedFileArgument(static_cast<int>(argv.size()), argv.data());
    if (!argument)
        qFatal("--verwendung not taken");
    return showWhereUsedAlone(*argument, store);
}

QTreeView *treeOf(const QWidget *window)
{
    return control<QTreeView>(window, "tree");
}

WhereUsedWindow *searchedWindow()
{
    WhereUsedWindow *window = loadedWindow<WhereUsedWindow>();
    if (window && !QTest::qWaitFor([window] { return !window->isSearching(); }, 20000))
        qFatal("the where-used search did not end");
    return window;
}

// The texts of the root's rows and the rows below them, as the window shows them expanded.
QStringList shownRows(const QWidget *window)
{
    QStringList rows;
    const QAbstractItemModel *model = treeOf(window)->model();
    const QModelIndex root = model->index(0, 0);
    rows.append(root.data().toString());
    for (int row = 0; row < model->rowCount(root); ++row)
        rows.append(model->index(row, 0, root).data().toString());
    return rows;
}

// A part whose assemblies lie in a sibling folder, and their drawing in another.
const QByteArrayList officeTree{
    "cad/teile/welle_0815.prt.3:WELLE_0815", "cad/baugruppen/getriebe.asm.2:WELLE_0815",
    "cad/baugruppen/pumpe.asm.1:WELLE_0815", "cad/baugruppen/anlage.asm.1:GETRIEBE",
    "cad/zeichnungen/getriebe.drw.1:GETRIEBE"};

// Whether the row's expand arrow is drawn: the branch area left of its text is not all one colour.
bool showsExpandArrow(QTreeView *tree, const QModelIndex &row)
{
    const QImage shown = tree->viewport()->grab().toImage();
    const QRect text = tree->visualRect(row);
    const QRect branch(text.left() - tree->indentation(), text.top(), tree->indentation(),
                       text.height());
    for (int y = branch.top(); y <= branch.bottom(); ++y) {
        for (int x = branch.left(); x <= branch.right(); ++x) {
            if (shown.pixel(x, y) != shown.pixel(branch.topLeft()))
                return true;
        }
    }
    return false;
}

// A double-click on the row, as the window system delivers it: press, release, then the
// double-click.
void doubleClickRow(QTreeView *tree, const QModelIndex &row)
{
    const QPoint at = tree->visualRect(row).center();
    QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class tst_WhereUsedWindow : public QObject
{
    Q_OBJECT

private slots:
    void startFromTheFileManager();
    void badFileArgument_data();
    void badFileArgument();
    void startFromTheMainWindow_data();
    void startFromTheMainWindow();
    void contextMenuOnAHit();
    void foldersOfEachStart_data();
    void foldersOfEachStart();
    void otherFoldersChosen();
    void workingWithTheTree();
    void openFailureIsTold();
    void expandArrowsBeforeOpening();
    void stopEndsTheSearch();
};

// "spurwerk --verwendung FILE": the file's base name, in its folder and those below it.
void tst_WhereUsedWindow::startFromTheFileManager()
{
    WindowFixture fixture;
    fixture.tree.add(partFolder);
    fixture.tree.add({"anderswo/pumpe.asm:HUB"});
    QVERIFY(startedWith(fixture.tree.path("teile/hub.prt.2"), fixture.store()));
    const WhereUsedWindow *window = searchedWindow();
    QVERIFY(window->isVisible());
    QCOMPARE(shownRows(window), (QStringList{u"hub"_s, u"motor"_s, u"rahmen"_s}));
    QCOMPARE(textOf(window, "lblStatus"), QStringLiteral("3 Dateien in 1 Ebene verwenden HUB"));
    QVERIFY(fixture.boxes.texts.isEmpty());
}

void tst_WhereUsedWindow::badFileArgument_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");

    QTest::addRow("missing") << QByteArray("teile/fehlt.prt")
                             << QStringLiteral("Die Datei „ROOT/teile/fehlt.prt“ gibt es nicht.");
    QTest::addRow("in a folder that may not be entered")
        << QByteArray("gesperrt/hub.prt")
        << QStringLiteral("Die Datei „ROOT/gesperrt/hub.prt“ ist nicht erreichbar: ein "
                          "Verzeichnis auf ihrem Weg darf nicht gelesen werden.");
    QTest::addRow("no file at all")
        << QByteArray() << QStringLiteral("Es wurde keine Datei angegeben.");
    QTest::addRow("a folder") << QByteArray("teile")
                              << QStringLiteral("„ROOT/teile“ ist ein Verzeichnis, keine "
                                                "Teiledatei.");
    QTest::addRow("a name without letters or digits")
        << QByteArray("teile/--.prt")
        << QStringLiteral("Der Name „--“ enthält weder Buchstaben noch Ziffern: nach ihm wird "
                          "nicht gesucht.");
}

void tst_WhereUsedWindow::badFileArgument()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);

    WindowFixture fixture;
    fixture.tree.add(partFolder);
    fixture.tree.add({"teile/--.prt:--", "gesperrt/hub.prt:HUB"});
    QVERIFY(QFile::setPermissions(QString::fromLocal8Bit(fixture.tree.path("gesperrt")), {}));
    const UnprivilegedUser user(fixture.tree);
    QVERIFY(!startedWith(file.isEmpty() ? file : fixture.tree.path(file), fixture.store()));
    QCOMPARE(fixture.boxes.texts,
             QStringList{message.replace(u"ROOT"_s, QString::fromLocal8Bit(fixture.tree.root()))});
    QVERIFY(!loadedWindow<WhereUsedWindow>());
}

// The shortcut asks for the search box's text over the ticked folders, or says why it cannot.
void tst_WhereUsedWindow::startFromTheMainWindow_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("inclSubfolders");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("message");

    QTest::addRow("name") << u"hub"_s << true << QStringList{u"HUB"_s, u"motor"_s, u"rahmen"_s}
                          << QString();
    QTest::addRow("without sub-folders")
        << u"HUB"_s << false << QStringList{u"HUB"_s, u"rahmen"_s} << QString();
    QTest::addRow("empty") << QString() << true << QStringList()
                           << QStringLiteral("Bitte geben Sie einen Teilenamen ein !");
    QTest::addRow("blank") << u"   "_s << true << QStringList()
                           << QStringLiteral("Bitte geben Sie einen Teilenamen ein !");
    QTest::addRow("no letters or digits")
        << u"*.*"_s << true << QStringList()
        << QStringLiteral("Der Name „*.*“ enthält weder Buchstaben noch Ziffern: nach ihm wird "
                          "nicht gesucht.");
}

void tst_WhereUsedWindow::startFromTheMainWindow()
{
    QFETCH(QString, text);
    QFETCH(bool, inclSubfolders);
    QFETCH(QStringList, rows);
    QFETCH(QString, message);

    WindowFixture fixture;
    fixture.tree.add(partFolder);
    fixture.tick({"teile"});
    Form1 &form = fixture.shownForm();
    if (!inclSubfolders)
        press(&form, "chk_under");
    pressWhereUsedKeys(form, text);
    const WhereUsedWindow *window = searchedWindow();
    if (!message.isEmpty()) {
        QCOMPARE(fixture.boxes.texts, QStringList{message});
        QVERIFY(!window);
        return;
    }
    QVERIFY(window && window->isVisible());
    QCOMPARE(shownRows(window), rows);
}

// "Verwendungsnachweis…" in a hit's context menu asks for the hit's base name.
void tst_WhereUsedWindow::contextMenuOnAHit()
{
    WindowFixture fixture;
    fixture.tree.add(partFolder);
    fixture.tick({"teile"});
    Form1 &form = fixture.shownForm();
    fixture.pressEnterWith(QStringLiteral("HUB"));
    auto *hits = control<QListView>(&form, "List2");
    const int rahmen = static_cast<int>(
        listTexts(hits).indexOf(QString::fromLocal8Bit(fixture.tree.path("teile/rahmen.asm.3"))));
    QVERIFY(rahmen >= 0);
    QTimer::singleShot(0, &form, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            qFatal("no context menu");
        menu->actions().constLast()->trigger();
        menu->close();
    });
    emit hits->customContextMenuRequested(
        hits->visualRect(hits->model()->index(rahmen, 0)).center());
    const WhereUsedWindow *window = searchedWindow();
    QVERIFY(window);
    QCOMPARE(shownRows(window), (QStringList{u"RAHMEN"_s, u"rahmen"_s}));
}

// Double-click opens a file, the marked rows go to the notes pad, the text export is the tree.
void tst_WhereUsedWindow::workingWithTheTree()
{
    WindowFixture fixture;
    fixture.tree.add(partFolder);
    fixture.tick({"teile"});
    Form1 &form = fixture.shownForm();
    pressWhereUsedKeys(form, QStringLiteral("HUB"));
    WhereUsedWindow *window = searchedWindow();
    QVERIFY(window);
    window->setExportFolder(fixture.tree.path("teile"));

    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTreeView *tree = treeOf(window);
    const QModelIndex root = tree->model()->index(0, 0);
    const QModelIndex motor = tree->model()->index(0, 0, root);
    doubleClickRow(tree, motor);
    QCOMPARE(fixture.opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromLocal8Bit(
                                 fixture.tree.path("teile/unter/motor.asm")))});
    // a double-click opens a row with rows below it without closing it
    const QModelIndex rahmen = tree->model()->index(1, 0, root);
    QVERIFY(tree->isExpanded(rahmen));
    doubleClickRow(tree, rahmen);
    QCOMPARE(fixture.opened.size(), 2);
    QVERIFY(tree->isExpanded(rahmen));
    tree->clearSelection();

    tree->selectionModel()->select(motor, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    tree->selectionModel()->select(tree->model()->index(1, 0, root),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             QString::fromLocal8Bit(fixture.tree.path("teile/unter/motor.asm") + '\n' +
                                    fixture.tree.path("teile/rahmen.asm.3")));
    press(window, "toNotes");
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText(),
             u"Notizen\n"_s +
                 QString::fromLocal8Bit(fixture.tree.path("teile/unter/motor.asm") + '\n' +
                                        fixture.tree.path("teile/rahmen.asm.3")));

    // a box clicked in the picture marks its file's row, opening the rows above it
    tree->collapseAll();
    qsizetype drawing = 0;
    while (window->graph().file(drawing).fileName != u"rahmen.drw"_s)
        ++drawing;
    emit window->findChild<WhereUsedPictureView *>()->fileClicked(drawing);
    QCOMPARE(tree->currentIndex().data(WhereUsedModel::PathBytesRole).toByteArray(),
             fixture.tree.path("teile/rahmen.drw"));
    QVERIFY(tree->isExpanded(tree->currentIndex().parent()));
    tree->clearSelection();

    // the filter leaves the rows whose name holds the text, with those above them
    control<QLineEdit>(window, "filter")->setText(u"MOT"_s);
    QVERIFY(!tree->isRowHidden(0, root));
    QVERIFY(tree->isRowHidden(1, root));
    control<QLineEdit>(window, "filter")->clear();
    QVERIFY(!tree->isRowHidden(1, root));

    press(window, "saveText");
    const QByteArray saved = fixture.tree.path("teile/Verwendung_HUB.txt");
    QCOMPARE(fixture.boxes.texts,
             QStringList{QStringLiteral("Gespeichert in ") + QString::fromLocal8Bit(saved)});
    QCOMPARE(contentsOf(QString::fromLocal8Bit(saved)),
             whereUsedText(*searchedGraph(fixture.tree, QStringLiteral("HUB")), false,
                           window->searchedFolders()));

    // the notes pad is saved as the main window closes: the tree's lines could go nowhere after
    form.close();
    QVERIFY(!loadedWindow<WhereUsedWindow>());
}

// Each start covers the folders the issue names; the assemblies beside the part's folder are
// found wherever those folders hold them.
void tst_WhereUsedWindow::foldersOfEachStart_data()
{
    QTest::addColumn<QString>("start");
    // folders ticked in the editor, or the saved list (ROOT/ is the tree's)
    QTest::addColumn<QByteArrayList>("folders");
    QTest::addColumn<bool>("inclSubfolders");
    QTest::addColumn<QByteArrayList>("searched");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QStringList>("rows");

    const QStringList used{u"welle_0815"_s, u"getriebe"_s, u"pumpe"_s};
    QTest::addRow("after a run, the editor closed")
        << u"run"_s << QByteArrayList{"cad"} << true << QByteArrayList{"cad"} << QStringList()
        << QStringList{u"WELLE_0815"_s, u"getriebe"_s, u"pumpe"_s};
    QTest::addRow("after a run without sub-folders")
        << u"run"_s << QByteArrayList{"cad/teile", "cad/baugruppen"} << false
        << QByteArrayList{"cad/teile", "cad/baugruppen"} << QStringList()
        << QStringList{u"WELLE_0815"_s, u"getriebe"_s, u"pumpe"_s};
    QTest::addRow("before a run, the ticked folders")
        << u"ticked"_s << QByteArrayList{"cad/baugruppen"} << true
        << QByteArrayList{"cad/baugruppen"} << QStringList()
        << QStringList{u"WELLE_0815"_s, u"getriebe"_s, u"pumpe"_s};
    QTest::addRow("before a run, nothing ticked")
        << u"ticked"_s << QByteArrayList() << true << QByteArrayList() << QStringList()
        << QStringList{u"WELLE_0815"_s};
    QTest::addRow("--verwendung, the saved list without the root, the part's folder added")
        << u"file"_s << QByteArrayList{"/", "ROOT/cad/baugruppen", "ROOT/cad/alt"} << true
        << QByteArrayList{"cad/teile/", "cad/baugruppen"}
        << QStringList{u"„/“ ausgelassen: es würde den ganzen Rechner durchsuchen"_s,
                       u"„ROOT/cad/alt“ nicht gefunden"_s}
        << used;
    QTest::addRow("--verwendung, a saved folder that may not be read")
        << u"locked"_s << QByteArrayList{"ROOT/gesperrt", "ROOT/cad/baugruppen"} << true
        << QByteArrayList{"cad/teile/", "cad/baugruppen"}
        << QStringList{u"„ROOT/gesperrt“ darf nicht gelesen werden"_s} << used;
    QTest::addRow("--verwendung, a saved folder that holds the part")
        << u"file"_s << QByteArrayList{"ROOT/cad"} << true << QByteArrayList{"cad"} << QStringList()
        << used;
    QTest::addRow("--verwendung, the office index watches the part's parent")
        << u"office"_s << QByteArrayList() << true << QByteArrayList{"cad"} << QStringList()
        << used;
    QTest::addRow("--verwendung, an empty list")
        << u"file"_s << QByteArrayList() << true << QByteArrayList{"cad/teile/"}
        << QStringList{u"Nur das Verzeichnis der Datei und seine Unterverzeichnisse wurden "
                       u"durchsucht: die Verzeichnisliste nennt kein anderes"_s}
        << QStringList{u"welle_0815"_s};
}

void tst_WhereUsedWindow::foldersOfEachStart()
{
    QFETCH(QString, start);
    QFETCH(QByteArrayList, folders);
    QFETCH(bool, inclSubfolders);
    QFETCH(QByteArrayList, searched);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, rows);

    WindowFixture fixture;
    fixture.tree.add(officeTree);
    const QByteArray root = fixture.tree.root();
    TestPostgres server;
    if (start == u"office") {
        if (!server.start())
            QSKIP(qPrintable(server.problem()));
        const QByteArray database = server.newDatabase();
        PostgresStore(database, PostgresStore::Mode::Write)
            .putWatch(canonicalFolder(fixture.tree.path("cad")), true);
        qputenv("SPURWERK_INDEX_DB", database);
        start = u"file"_s;
    }
    const auto noOfficeIndex = qScopeGuard([] { qunsetenv("SPURWERK_INDEX_DB"); });
    std::optional<UnprivilegedUser> user;
    if (start == u"locked") {
        fixture.tree.add({"gesperrt/alt.asm:WELLE_0815"});
        QVERIFY(QFile::setPermissions(QString::fromLocal8Bit(fixture.tree.path("gesperrt")), {}));
        user.emplace(fixture.tree);
        start = u"file"_s;
    }
    if (start == u"file") {
        SettingsStore &store = fixture.store();
        for (qsizetype entry = 0; entry < folders.size(); ++entry)
            store.setFolderEntry(int(entry), QByteArray(folders.at(entry)).replace("ROOT", root));
        store.setValue(SettingsStore::Key::FolderLastIndex, QString::number(folders.size() - 1));
        QVERIFY(startedWith(fixture.tree.path("cad/teile/welle_0815.prt.3"), store));
    } else {
        Form1 &form = fixture.shownForm();
        fixture.tick(folders);
        if (!inclSubfolders)
            press(&form, "chk_under");
        if (start == u"run") {
            // "Suche starten", then the editor's "Suchen", which closes the editor and its ticks
            control<QLineEdit>(&form, "txt_textfind")->setText(u"welle_0815"_s);
            press(&form, "Command3");
            press(loadedWindow<Form2>(), "cmd_search");
            QTRY_VERIFY(!loadedWindow<Form2>());
            QVERIFY(rowCount(&form, "List2") > 0);
            // a later change of the box changes the next run, not the last one's folders
            press(&form, "chk_under");
        }
        pressWhereUsedKeys(form, u"welle_0815"_s);
    }
    WhereUsedWindow *window = searchedWindow();
    QVERIFY(window);
    user.reset();
    QByteArrayList expected;
    for (const QByteArray &folder : std::as_const(searched))
        expected.append(fixture.tree.path(folder));
    QCOMPARE(window->searchedFolders().folders, expected);
    QCOMPARE(window->searchedFolders().inclSubfolders, inclSubfolders);
    for (QString &note : notes)
        note.replace(u"ROOT"_s, QString::fromLocal8Bit(root));
    QCOMPARE(window->searchedFolders().notes, notes);
    const QString toolTip = control<QLabel>(window, "lblFolders")->toolTip();
    for (const QByteArray &folder : std::as_const(expected))
        QVERIFY2(toolTip.contains(QString::fromLocal8Bit(folder)), qPrintable(toolTip));
    if (expected.isEmpty())
        QVERIFY(textOf(window, "lblStatus").startsWith(u"Es ist kein Suchpfad angehakt"_s));
    else
        QCOMPARE(shownRows(window), rows);
    QVERIFY(fixture.boxes.texts.isEmpty());
}

// "Verzeichnisse wählen…", one level up from the part's folder: the answer is searched again
// there and finds the assemblies beside it.
void tst_WhereUsedWindow::otherFoldersChosen()
{
    WindowFixture fixture;
    fixture.tree.add(officeTree);
    fixture.tick({"cad/teile"});
    pressWhereUsedKeys(fixture.shownForm(), u"welle_0815"_s);
    WhereUsedWindow *window = searchedWindow();
    QCOMPARE(shownRows(window), QStringList{u"WELLE_0815"_s});

    press(window, "chooseFolders");
    auto *dialog = window->findChild<FolderChoiceDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    auto *folders = control<QListWidget>(dialog, "folderChoice");
    // the folder searched first, ticked, then the editor's list
    QCOMPARE(folders->item(0)->text(), QString::fromLocal8Bit(fixture.tree.path("cad/teile")));
    QCOMPARE(folders->item(0)->checkState(), Qt::Checked);
    folders->setCurrentRow(0);
    press(dialog, "levelUp");
    press(dialog, "search");
    QVERIFY(searchedWindow());
    QCOMPARE(window->searchedFolders().folders, QByteArrayList{fixture.tree.path("cad/")});
    QCOMPARE(shownRows(window), (QStringList{u"WELLE_0815"_s, u"getriebe"_s, u"pumpe"_s}));
}

// A file the desktop has no application for is named in a message, from the where-used window
// and from the main window's hits alike.
void tst_WhereUsedWindow::openFailureIsTold()
{
    WindowFixture fixture;
    fixture.tree.add(partFolder);
    fixture.tick({"teile"});
    fixture.desktopFails = true;
    Form1 &form = fixture.shownForm();
    fixture.pressEnterWith(QStringLiteral("HUB"));
    const QString failed = u"„%1“ konnte nicht geöffnet werden: der Desktop hat kein Programm "
                           u"dafür, oder es ließ sich nicht starten."_s;
    auto *hits = control<QListView>(&form, "List2");
    const QString first = hits->model()->index(0, 0).data().toString();
    clickRow(hits, 0);
    press(&form, "Command1");
    QTRY_COMPARE(fixture.boxes.texts, QStringList{failed.arg(first)});

    pressWhereUsedKeys(form, QStringLiteral("HUB"));
    WhereUsedWindow *window = searchedWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTreeView *tree = treeOf(window);
    const QModelIndex motor = tree->model()->index(0, 0, tree->model()->index(0, 0));
    doubleClickRow(tree, motor);
    QTRY_COMPARE(fixture.boxes.texts.size(), 2);
    QCOMPARE(fixture.boxes.texts.at(1),
             failed.arg(QString::fromLocal8Bit(fixture.tree.path("teile/unter/motor.asm"))));
}

// In a tree too large to be shown open, a row with rows below shows its arrow before it is
// opened, though the level below was searched after the row was shown.
void tst_WhereUsedWindow::expandArrowsBeforeOpening()
{
    WindowFixture fixture;
    QByteArrayList files{"a/anlage.asm:TEIL_0", "a/welle.prt:WELLE"};
    for (int i = 0; i < 45; ++i)
        files.append("a/teil_" + QByteArray::number(i) + ".asm:WELLE");
    fixture.tree.add(files);
    fixture.tick({"a"});
    pressWhereUsedKeys(fixture.shownForm(), QStringLiteral("WELLE"));
    WhereUsedWindow *window = loadedWindow<WhereUsedWindow>();
    QTreeView *tree = treeOf(window);
    // the rows of level 1 are laid out before level 2 is searched, as in a large tree
    QObject::connect(window, &WhereUsedWindow::levelShown, tree,
                     [tree] { tree->viewport()->grab(); });
    QVERIFY(searchedWindow());
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QModelIndex root = tree->model()->index(0, 0);
    QCOMPARE(tree->model()->index(0, 0, root).data().toString(), u"teil_0"_s);
    QVERIFY(!tree->isExpanded(tree->model()->index(0, 0, root)));
    QVERIFY(showsExpandArrow(tree, tree->model()->index(0, 0, root)));
    QVERIFY(!showsExpandArrow(tree, tree->model()->index(1, 0, root)));

    press(window, "expandAll");
    QVERIFY(tree->isExpanded(tree->model()->index(0, 0, root)));
    press(window, "collapseAll");
    QVERIFY(!tree->isExpanded(tree->model()->index(0, 0, root)));
    QVERIFY(tree->isExpanded(root));
}

void tst_WhereUsedWindow::stopEndsTheSearch()
{
    WindowFixture fixture;
    fixture.tree.add(partFolder);
    fixture.tick({"teile"});
    Form1 &form = fixture.shownForm();
    pressWhereUsedKeys(form, QStringLiteral("HUB"));
    WhereUsedWindow *window = loadedWindow<WhereUsedWindow>();
    QVERIFY(window);
    QObject::connect(window->findChild<cFindFile *>(), &cFindFile::MatchFound, window,
                     [window] { press(window, "stop"); });
    QTRY_VERIFY(!window->isSearching());
    QVERIFY2(textOf(window, "lblStatus").startsWith(QStringLiteral("Suche abgebrochen: ")),
             qPrintable(textOf(window, "lblStatus")));
}

QTEST_MAIN(tst_WhereUsedWindow)
#include "tst_where_used_window.moc"
