#include "main_window/form1.h"
#include "settings/failing_folder.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "window_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <optional>

using namespace Qt::StringLiterals;

// The main window's start and close with settings that cannot be read or saved: the user is told,
// and what the user typed is kept.
class tst_SettingsAtStartAndClose : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void latin1ValuesSurviveAStartAndClose_data();
    void latin1ValuesSurviveAStartAndClose();
    void unreadableFileIsNamedAtStart();
    void unsavedValuesAreRescued_data();
    void unsavedValuesAreRescued();
};

namespace {

QString settingsFolder()
{
    return QFileInfo(SettingsFile::path()).path();
}

QString stateFolder()
{
    return qEnvironmentVariable("XDG_STATE_HOME") + u"/spurwerk"_s;
}

QStringList rescueFiles(const QString &folder)
{
    QStringList files;
    for (const QString &name : QDir(folder).entryList({u"spurwerk-gerettet-*.conf"_s}, QDir::Files))
        files.append(folder + u'/' + name);
    return files;
}

} // namespace

void tst_SettingsAtStartAndClose::latin1ValuesSurviveAStartAndClose_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QByteArray>("afterClose");

    // printf '[Optionen]\ntxt_note.Text=Ma\xdfe f\374r Welle\n'
    QTest::addRow("notes") << QByteArray("[Optionen]\ntxt_note.Text=Ma\337e f\374r Welle\n")
                           << u"Maße für Welle"_s << u"Suchtext"_s
                           << QByteArray("[Optionen]\nslider1.value=0\ntxt_note.Text=Ma\337e "
                                         "f\374r Welle\ntxt_textfind.Text=Suchtext\n");
    QTest::addRow("search text")
        << QByteArray("[Optionen]\nslider1.value=0\ntxt_note.Text=\ntxt_textfind.Text=Stra\337e\n")
        << u""_s << u"Straße"_s
        << QByteArray("[Optionen]\nslider1.value=0\ntxt_note.Text=\ntxt_textfind.Text=Stra\337e\n");
}

void tst_SettingsAtStartAndClose::latin1ValuesSurviveAStartAndClose()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, notes);
    QFETCH(QString, searchText);
    QFETCH(QByteArray, afterClose);

    WindowFixture fixture;
    SettingsFile::write(stored);
    Form1 &form = fixture.form();
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText(), notes);
    QCOMPARE(control<QLineEdit>(&form, "txt_textfind")->text(), searchText);
    QVERIFY(form.close());

    QCOMPARE(SettingsFile::read(), afterClose);
    QVERIFY(fixture.boxes.texts.isEmpty());
}

// Defaults, a message that names the file, and the file left as it is; a close without changes
// has nothing to rescue.
void tst_SettingsAtStartAndClose::unreadableFileIsNamedAtStart()
{
    WindowFixture fixture;
    const QByteArray broken("[Optionen\nslider1.value=37\ntxt_note.Text=wichtig\n");
    SettingsFile::write(broken);
    Form1 &form = fixture.form();

    QCOMPARE(fixture.boxes.texts.size(), 1);
    const QString told = fixture.boxes.texts.first();
    QVERIFY2(told.startsWith(u"Die Einstellungsdatei "_s + SettingsFile::path() +
                             u" konnte nicht gelesen werden: in Zeile 1 fehlt die schließende "
                             u"Klammer ].\n\nSpurwerk startet mit den Voreinstellungen und "
                             u"überschreibt diese Datei nicht."_s),
             qPrintable(told));
    QCOMPARE(control<QPlainTextEdit>(&form, "txt_note")->toPlainText(), u"Notizen"_s);
    QCOMPARE(control<QSlider>(&form, "Slider1")->value(), 0);

    QVERIFY(form.close());
    QCOMPARE(fixture.boxes.texts.size(), 1);
    QCOMPARE(SettingsFile::read(), broken);
    QVERIFY(rescueFiles(settingsFolder()).isEmpty());
    QVERIFY(rescueFiles(stateFolder()).isEmpty());
}

void tst_SettingsAtStartAndClose::unsavedValuesAreRescued_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("rescuedIn"); // "settings" or "state" folder, or "" for nowhere
    QTest::addColumn<bool>("byExitPicture");

    QTest::addRow("unreadable settings file") << u"unreadable"_s << u"settings"_s << false;
    QTest::addRow("full disk") << u"full"_s << u"state"_s << false;
    QTest::addRow("nowhere to write") << u"nowhere"_s << u""_s << false;
    QTest::addRow("other notes saved by another window meanwhile")
        << u"conflict"_s << u"settings"_s << false;
    // Last: once the exit picture has ended the process's event loops, no modal box opens again.
    QTest::addRow("read-only settings folder, exit picture")
        << u"read-only"_s << u"state"_s << true;
}

void tst_SettingsAtStartAndClose::unsavedValuesAreRescued()
{
    QFETCH(QString, cause);
    QFETCH(QString, rescuedIn);
    QFETCH(bool, byExitPicture);

    WindowFixture fixture;
    const QByteArray broken("[Optionen]\nkaputt\n");
    if (cause == u"unreadable")
        SettingsFile::write(broken);
    Form1 &form = fixture.shownForm();
    if (cause == u"conflict") {
        SettingsStore otherWindow;
        otherWindow.setValue(SettingsStore::Key::Notes, u"von der anderen"_s);
        QVERIFY(otherWindow.sync().saved());
    }
    std::optional<FailingFolder> settingsRefuse;
    std::optional<FailingFolder> stateRefuses;
    if (cause != u"unreadable" && cause != u"conflict") {
        settingsRefuse.emplace(settingsFolder(), cause == u"full" ? FailingFolder::Kind::Full
                                                                  : FailingFolder::Kind::ReadOnly);
        if (!settingsRefuse->unavailable().isEmpty())
            QSKIP(qPrintable(settingsRefuse->unavailable()));
    }
    if (cause == u"nowhere")
        stateRefuses.emplace(stateFolder(), FailingFolder::Kind::ReadOnly);

    control<QPlainTextEdit>(&form, "txt_note")->setPlainText(u"erste Zeile\nzweite ; [Zeile]"_s);
    control<QLineEdit>(&form, "txt_textfind")->setText(u"4711"_s);
    control<QSlider>(&form, "Slider1")->setValue(37);
    if (byExitPicture) {
        control<QWidget>(&form, "Frame1")->show();
        control<QToolButton>(&form, "img_exit")->click();
    } else {
        QVERIFY(form.close());
    }
    settingsRefuse.reset();
    stateRefuses.reset();

    QVERIFY(!fixture.boxes.texts.isEmpty());
    const QString told = fixture.boxes.texts.last();
    const QString headline =
        cause == u"conflict"
            ? u"Nicht alle Einstellungen wurden gespeichert.\n\nEin anderes Spurwerk-Fenster hat "
              u"inzwischen die Notizen in der Einstellungsdatei "_s
            : u"Die Einstellungen wurden nicht gespeichert.\n\nDie Einstellungsdatei "_s;
    QVERIFY2(told.startsWith(headline + SettingsFile::path()), qPrintable(told));
    const QStringList rescued = rescueFiles(settingsFolder()) + rescueFiles(stateFolder());
    if (rescuedIn.isEmpty()) {
        QVERIFY2(told.contains(u"Auch eine Sicherungsdatei ließ sich nicht anlegen"_s) &&
                     told.endsWith(u"Notizen, Suchtext und Fenstergröße dieser Sitzung gehen "
                                   u"verloren."_s),
                 qPrintable(told));
        QVERIFY(rescued.isEmpty());
        return;
    }
    QCOMPARE(rescued.size(), 1);
    QCOMPARE(QFileInfo(rescued.first()).path(),
             rescuedIn == u"settings" ? settingsFolder() : stateFolder());
    QVERIFY2(told.contains(rescued.first()), qPrintable(told));
    if (cause == u"unreadable")
        QCOMPARE(SettingsFile::read(), broken);
    if (cause == u"conflict") {
        // the other window's notes stay, beside what only this one changed
        const SettingsStore saved;
        QCOMPARE(saved.value(SettingsStore::Key::Notes), u"von der anderen"_s);
        QCOMPARE(saved.value(SettingsStore::Key::SearchText), u"4711"_s);
    }

    // The notes can be read at its top, and the file can take the settings file's place.
    const QByteArray rescue = contentsOf(rescued.first());
    QVERIFY(rescue.startsWith("; Spurwerk konnte diese Einstellungen nicht in " +
                              SettingsFile::path().toUtf8() + " speichern.\n"));
    QVERIFY(rescue.contains("\n; Notizen:\n; erste Zeile\n; zweite ; [Zeile]\n"));
    SettingsFile::remove();
    SettingsFile::write(rescue);
    const SettingsStore putInPlace;
    QVERIFY2(putInPlace.canSave(), qPrintable(putInPlace.readProblem()));
    QCOMPARE(putInPlace.value(SettingsStore::Key::Notes), u"erste Zeile\r\nzweite ; [Zeile]"_s);
    QCOMPARE(putInPlace.value(SettingsStore::Key::SearchText), u"4711"_s);
    QCOMPARE(putInPlace.sliderValue(), 37);
}

QTEST_MAIN(tst_SettingsAtStartAndClose)
#include "tst_settings_at_start_and_close.moc"
