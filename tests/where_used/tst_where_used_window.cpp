#include "main_window/command_line.h"
#include "main_window/form1.h"
#include "main_window/where_used_start.h"
#include "search/cfindfile.h"
#include "settings/settings_store.h"
#include "where_used/where_used_export.h"
#include "where_used/where_used_graph.h"
#include "where_used/where_used_window.h"
#include "where_used_tree.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
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
    void workingWithTheTree();
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
    fixture.tree.add({"teile/--.prt:--"});
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
    // as the window system delivers it: press, release, then the double-click
    const QPoint motorRow = tree->visualRect(motor).center();
    QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, motorRow);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, motorRow);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, motorRow);
    QCOMPARE(fixture.opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromLocal8Bit(
                                 fixture.tree.path("teile/unter/motor.asm")))});

    tree->selectionModel()->select(motor, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    tree->selectionModel()->select(tree->model()->index(1, 0, root),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    press(window, "toNotes");
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText(),
             u"Notizen\n"_s +
                 QString::fromLocal8Bit(fixture.tree.path("teile/unter/motor.asm") + '\n' +
                                        fixture.tree.path("teile/rahmen.asm.3")));

    press(window, "saveText");
    const QByteArray saved = fixture.tree.path("teile/Verwendung_HUB.txt");
    QCOMPARE(fixture.boxes.texts,
             QStringList{QStringLiteral("Gespeichert in ") + QString::fromLocal8Bit(saved)});
    QCOMPARE(contentsOf(QString::fromLocal8Bit(saved)),
             whereUsedText(*searchedGraph(fixture.tree, QStringLiteral("HUB")), false));

    // the notes pad is saved as the main window closes: the tree's lines could go nowhere after
    form.close();
    QVERIFY(!loadedWindow<WhereUsedWindow>());
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
