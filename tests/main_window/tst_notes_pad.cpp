#include "main_window/form1.h"
#include "settings/settings_store.h"
#include "widgets/window_geometry.h"
#include "window_fixture.h"

#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

void storeNotes(const QString &notes)
{
    WindowFixture::storeSetting(SettingsStore::Key::Notes, notes);
}

QString storedNotes()
{
    return SettingsStore().value(SettingsStore::Key::Notes);
}

QListView *hitList(const Form1 &form)
{
    return control<QListView>(&form, "List2");
}

void doubleClickName(const Form1 &form)
{
    QTest::mouseDClick(control<QWidget>(&form, "Label8"), Qt::LeftButton);
}

QString withPaths(QString text, const QByteArrayList &paths)
{
    for (qsizetype i = 0; i < paths.size(); ++i)
        text.replace(QStringLiteral("<%1>").arg(i), QString::fromLocal8Bit(paths.at(i)));
    return text;
}

} // namespace

class tst_NotesPad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void notesKeptAfterAnAction_data();
    void notesKeptAfterAnAction();
    void widthToggle_data();
    void widthToggle();
    void keyboardStaysOutOfTheHiddenPad();
    void editedNotesOfManyLinesAreStoredLineByLine();
};

void tst_NotesPad::notesKeptAfterAnAction_data()
{
    QTest::addColumn<QString>("pad");
    QTest::addColumn<bool>("purgeFirst");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QList<int>>("marked"); // in the order the user marks them
    QTest::addColumn<QString>("notes");     // as stored, <i> for the path of hit i

    // hit 0 duplicates hit 2: the purge empties it
    QTest::addRow("name into an empty pad") << QString() << false << QStringLiteral("name")
                                            << QList<int>{} << QStringLiteral("\r\nnabe");
    QTest::addRow("name into notes") << QStringLiteral("Notizen") << false << QStringLiteral("name")
                                     << QList<int>{} << QStringLiteral("Notizen\r\nnabe");
    QTest::addRow("two marked into notes")
        << QStringLiteral("Notizen") << false << QStringLiteral("copy") << QList<int>{0, 2}
        << QStringLiteral("Notizen\r\n<0>\r\n<2>");
    QTest::addRow("three marked into an empty pad")
        << QString() << false << QStringLiteral("copy") << QList<int>{0, 1, 2}
        << QStringLiteral("<0>\r\n<1>\r\n<2>");
    QTest::addRow("marked from the bottom up: list order")
        << QString() << false << QStringLiteral("copy") << QList<int>{2, 0}
        << QStringLiteral("<0>\r\n<2>");
    QTest::addRow("nothing marked") << QStringLiteral("Notizen") << false << QStringLiteral("copy")
                                    << QList<int>{} << QStringLiteral("Notizen");
    QTest::addRow("purged entry into notes: an empty line")
        << QStringLiteral("Notizen") << true << QStringLiteral("copy") << QList<int>{0, 1}
        << QStringLiteral("Notizen\r\n\r\n<1>");
    QTest::addRow("purged entry into an empty pad: nothing")
        << QString() << true << QStringLiteral("copy") << QList<int>{0} << QString();
    QTest::addRow("purged entry, then another, into an empty pad")
        << QString() << true << QStringLiteral("copy") << QList<int>{0, 1} << QStringLiteral("<1>");
    QTest::addRow("one line each, across the pad's own lines")
        << QStringLiteral("eins\r\nzwei\r\n") << false << QStringLiteral("copy") << QList<int>{1}
        << QStringLiteral("eins\r\nzwei\r\n\r\n<1>");
    QTest::addRow("Notizblatt löschen") << QStringLiteral("Notizen") << false
                                        << QStringLiteral("clear") << QList<int>{} << QString();
}

void tst_NotesPad::notesKeptAfterAnAction()
{
    QFETCH(QString, pad);
    QFETCH(bool, purgeFirst);
    QFETCH(QString, action);
    QFETCH(QList<int>, marked);
    WindowFixture fixture;
    storeNotes(pad);
    Form1 &form = fixture.shownForm();
    const QByteArrayList hits = fixture.searchHits({"hub.prt.1", "nabe.asm", "hub.prt.1"});
    if (purgeFirst)
        press(&form, "cmd_purge");

    if (action == QStringLiteral("name")) {
        clickRow(hitList(form), 1);
        doubleClickName(form);
    } else if (action == QStringLiteral("clear")) {
        press(&form, "Command7");
    } else {
        for (int row : std::as_const(marked))
            hitList(form)->selectionModel()->select(hitList(form)->model()->index(row, 0),
                                                    QItemSelectionModel::Select);
        press(&form, "img_putlisttoinfo");
    }
    QVERIFY(form.close());

    QFETCH(QString, notes);
    QCOMPARE(storedNotes(), withPaths(notes, hits));
}

void tst_NotesPad::widthToggle_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("actions");
    QTest::addColumn<int>("width"); // 0: as it was
    QTest::addColumn<QString>("caption");
    QTest::addRow("button widens")
        << QStringLiteral("narrow") << QStringLiteral("button") << 15345 << QStringLiteral("<<");
    QTest::addRow("button twice narrows again")
        << QStringLiteral("narrow") << QStringLiteral("button button") << 9735
        << QStringLiteral(">>");
    QTest::addRow("dragged to 12000: button narrows")
        << QStringLiteral("12000") << QStringLiteral("button") << 9735 << QStringLiteral(">>");
    QTest::addRow("name widens, caption stays")
        << QStringLiteral("narrow") << QStringLiteral("name") << 15345 << QStringLiteral(">>");
    QTest::addRow("name, then one click narrows")
        << QStringLiteral("narrow") << QStringLiteral("name button") << 9735
        << QStringLiteral(">>");
    QTest::addRow("maximised: button does nothing")
        << QStringLiteral("maximised") << QStringLiteral("button") << 0 << QStringLiteral(">>");
    QTest::addRow("maximised: name does not resize")
        << QStringLiteral("maximised") << QStringLiteral("name") << 0 << QStringLiteral(">>");
}

void tst_NotesPad::widthToggle()
{
    QFETCH(QString, start);
    QFETCH(QString, actions);
    WindowFixture fixture;
    storeNotes(QStringLiteral("Notizen"));
    Form1 &form = fixture.shownForm();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    fixture.searchHits({"welle.prt.2"});
    clickRow(hitList(form), 0);
    if (start == QStringLiteral("maximised"))
        form.setWindowState(Qt::WindowMaximized);
    else if (start != QStringLiteral("narrow"))
        window_geometry::setOuterWidth(&form, start.toInt());
    const QRect before = form.frameGeometry();

    for (const QString &action : actions.split(u' ')) {
        if (action == QStringLiteral("button"))
            press(&form, "cmd_opennote");
        else
            doubleClickName(form);
    }

    QFETCH(int, width);
    if (width == 0) {
        QCOMPARE(form.frameGeometry(), before);
    } else {
        QCOMPARE(window_geometry::outerWidth(&form), width);
        // the offscreen screen is narrower than the wide window: its right edge meets the
        // screen's, its left edge lies beyond the screen's
        if (width == 15345 && before.width() < form.frameGeometry().width())
            QCOMPARE(form.frameGeometry().right(), form.screen()->geometry().right());
    }
    QTEST(control<QPushButton>(&form, "cmd_opennote")->text(), "caption");
    const int names = actions.count(QStringLiteral("name"));
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText(),
             QStringLiteral("Notizen") + QStringLiteral("\nwelle").repeated(names));
}

// Started anew, Tab three times and "xy" once put three tabs and "xy" into the hidden pad.
void tst_NotesPad::keyboardStaysOutOfTheHiddenPad()
{
    WindowFixture fixture;
    Form1 &form = fixture.shownForm();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("xy"));
    auto *pad = control<QPlainTextEdit>(&form, "txt_note");
    pad->setFocus();
    QTest::keyClick(pad, Qt::Key_Tab);

    QCOMPARE(QApplication::focusWidget(), control<QWidget>(&form, "Command7"));
    QVERIFY(form.close());
    QCOMPARE(storedNotes(), QStringLiteral("Notizen"));
}

// Stored lines are held in paragraphs of several lines; edits across them keep every line.
void tst_NotesPad::editedNotesOfManyLinesAreStoredLineByLine()
{
    WindowFixture fixture;
    QStringList lines;
    for (int i = 1; i <= 100; ++i)
        lines.append(QStringLiteral("Zeile %1").arg(i));
    storeNotes(lines.join(QStringLiteral("\r\n")));
    Form1 &form = fixture.form();
    auto *pad = control<QPlainTextEdit>(&form, "txt_note");
    QCOMPARE(pad->toPlainText(), lines.join(u'\n'));

    QTextCursor cursor = pad->textCursor();
    const auto endOfLine = [&](int line) {
        cursor.setPosition(int(lines.mid(0, line).join(u'\n').size()));
        pad->setTextCursor(cursor);
    };
    endOfLine(40);
    QTest::keyClick(pad, Qt::Key_Return);
    QTest::keyClicks(pad, QStringLiteral("neu"));
    lines.insert(40, QStringLiteral("neu"));
    endOfLine(32);
    QTest::keyClick(pad, Qt::Key_Delete);
    lines[31] += lines.takeAt(32);
    endOfLine(10);
    QTest::keyClick(pad, Qt::Key_Return, Qt::ShiftModifier);
    lines.insert(10, QString());
    QVERIFY(form.close());

    QCOMPARE(storedNotes(), lines.join(QStringLiteral("\r\n")));
}

QTEST_MAIN(tst_NotesPad)
#include "tst_notes_pad.moc"
