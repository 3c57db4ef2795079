#include "platform/system_error.h"
#include "settings/failing_folder.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "test_tree.h"
#include "unprivileged_user.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QPoint>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <future>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using Key = SettingsStore::Key;
using namespace Qt::StringLiterals;

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void readingAloneCreatesNoFile();
    void valuesRoundTripThroughFile_data();
    void valuesRoundTripThroughFile();
    void writtenSpellingIsFoundByReadSpelling();
    void writeLeavesOneSpellingInStoredSection_data();
    void writeLeavesOneSpellingInStoredSection();
    void writesWhatQSettingsWrites_data();
    void writesWhatQSettingsWrites();
    void readsWhatQSettingsReads_data();
    void readsWhatQSettingsReads();
    void valuesNobodyChangedKeepTheirSpelling_data();
    void valuesNobodyChangedKeepTheirSpelling();
    void nothingChangedNothingWritten();
    void twoCopiesKeepEachOthersChanges_data();
    void twoCopiesKeepEachOthersChanges();
    void saveWaitsForAnothersSave();
    void symbolicLinkStaysOne_data();
    void symbolicLinkStaysOne();
    void convertedValue_data();
    void convertedValue();
    void brokenFileLeftAlone_data();
    void brokenFileLeftAlone();
    void oversizedFileRefusedUnread();
    void syncSaysWhyNothingWasWritten_data();
    void syncSaysWhyNothingWasWritten();
    void brokenFileBesideOursIsIgnored();
};

void tst_SettingsStore::initTestCase()
{
    QVERIFY2(SettingsFile::isIsolated(), "XDG_CONFIG_HOME must point to a test location");
}

void tst_SettingsStore::init()
{
    SettingsFile::remove();
}

void tst_SettingsStore::readingAloneCreatesNoFile()
{
    QVERIFY(SettingsStore().canSave());
    QVERIFY(!QFile::exists(SettingsFile::path()));
}

void tst_SettingsStore::valuesRoundTripThroughFile_data()
{
    QTest::addColumn<Key>("key");
    QTest::addColumn<QString>("value");

    QTest::addRow("notes with CR LF")
        << Key::Notes << QStringLiteral("4711\r\nWelle\r\n\r\nEnde\r\n");
    QTest::addRow("empty notes") << Key::Notes << QString();
    QTest::addRow("empty search text") << Key::SearchText << QString();
    QTest::addRow("blanks around") << Key::SearchText << QStringLiteral("  4711 ");
    QTest::addRow("tab and lone LF") << Key::Notes << QStringLiteral("a\tb\nc");
    QTest::addRow("comma, not a list") << Key::SearchText << QStringLiteral("a, b");
    QTest::addRow("equals and semicolon") << Key::Notes << QStringLiteral("x=1; y=2 ;");
    QTest::addRow("looks like a variant") << Key::Notes << QStringLiteral("@Variant(QPoint)");
    QTest::addRow("looks like bytes") << Key::Notes << QStringLiteral("@ByteArray(abc)");
    QTest::addRow("quotes and backslashes")
        << Key::Notes << QStringLiteral("C:\\Daten\\ \"neu\"\\");
    QTest::addRow("non-ASCII") << Key::Notes << QStringLiteral("Größe ä ö ü ß € 日本");
    QTest::addRow("number text kept verbatim") << Key::SliderValue << QStringLiteral("050");
}

void tst_SettingsStore::valuesRoundTripThroughFile()
{
    QFETCH(Key, key);
    QFETCH(QString, value);

    {
        SettingsStore store;
        store.setValue(key, value);
        QCOMPARE(store.value(key), value);
        QVERIFY(store.sync().saved());
    }
    const SettingsStore fresh;
    QCOMPARE(fresh.value(key), value);
}

void tst_SettingsStore::writtenSpellingIsFoundByReadSpelling()
{
    {
        SettingsStore store;
        store.setValue(Key::SliderValue, QStringLiteral("37"));
        QVERIFY(store.sync().saved());
    }
    QCOMPARE(SettingsFile::storedKeys(), QStringList{QStringLiteral("Optionen/slider1.value")});

    const SettingsStore fresh;
    QCOMPARE(fresh.value(Key::SliderValue), QStringLiteral("37"));
    QCOMPARE(fresh.sliderValue(), 37);
}

void tst_SettingsStore::writeLeavesOneSpellingInStoredSection_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expectedKeys");

    QTest::addRow("stored spelling differs from written one")
        << QByteArray("[optionen]\nSLIDER1.VALUE=37\nANZI=2\n")
        << QStringList{QStringLiteral("optionen/ANZI"), QStringLiteral("optionen/SLIDER1.VALUE")};
    QTest::addRow("two spellings in two sections")
        << QByteArray("[OPTIONEN]\nslider1.value=1\n[Optionen]\nSlider1.Value=2\n")
        << QStringList{QStringLiteral("OPTIONEN/slider1.value")};
    QTest::addRow("two spellings in one section")
        << QByteArray("[Optionen]\nslider1.Value=1\nslider1.value=2\n")
        << QStringList{QStringLiteral("Optionen/slider1.Value")};
}

void tst_SettingsStore::writeLeavesOneSpellingInStoredSection()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expectedKeys);

    SettingsFile::write(content);
    {
        SettingsStore store;
        store.setValue(Key::SliderValue, QStringLiteral("50"));
        QCOMPARE(store.value(Key::SliderValue), QStringLiteral("50"));
        QVERIFY(store.sync().saved());
    }
    QStringList keys = SettingsFile::storedKeys();
    keys.sort();
    QCOMPARE(keys, expectedKeys);
    const QString sliderKey =
        keys.filter(QStringLiteral("slider1.value"), Qt::CaseInsensitive).at(0);
    QCOMPARE(SettingsFile::storedValue(sliderKey), QStringLiteral("50"));

    const SettingsStore fresh;
    QCOMPARE(fresh.sliderValue(), 50);
}

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What QSettings reads under the key in a file of these bytes, a list joined as the store joins it.
QString qsettingsText(const QByteArray &content, const QString &key)
{
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("copy.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    const QVariant value = QSettings(path, QSettings::IniFormat).value(key);
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1String(", "))
                                                    : value.toString();
}

} // namespace

void tst_SettingsStore::writesWhatQSettingsWrites_data()
{
    QTest::addColumn<QVariantMap>("before"); // written by QSettings, as earlier versions did
    QTest::addColumn<QString>("slider");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QStringList>("folders"); // saved as the editor saves, unless empty

    const QVariantMap none;
    const QStringList noFolders;
    QTest::addRow("first close") << none << u"0"_s << u"Suchtext"_s << u"Notizen"_s << noFolders;
    QTest::addRow("line breaks, tabs, beyond Latin-1")
        << none << u"37"_s << u"Größe € 日本"_s << u"Welle\r\n\tNabe 😀\r\n\r\nEnde\n"_s
        << noFolders;
    QTest::addRow("blanks around, separators")
        << none << u"100"_s << u"  4711 "_s << u"a, b; c=d ;"_s << noFolders;
    QTest::addRow("quotes, backslashes")
        << none << u"1"_s << u"C:\\Daten\\ \"neu\"\\"_s << u"\\x41\\0"_s << noFolders;
    QTest::addRow("leading @") << none << u"@@1"_s << u"@ByteArray(abc)"_s << u"@Variant(QPoint)"_s
                               << noFolders;
    QTest::addRow("control characters, hex digits after them")
        << none << u"2"_s << QStringLiteral("\033[0m\001fz\177") << QStringLiteral("a\00212")
        << noFolders;
    QTest::addRow("null characters") << none << u"3"_s << QString(QChar::Null)
                                     << QStringLiteral("a") + QChar::Null + u"12b"_s << noFolders;
    QTest::addRow("empty and blank values") << none << u""_s << u" "_s << u""_s << noFolders;
    QTest::addRow("folder list") << none << u"0"_s << u"hub"_s << u"Notizen"_s
                                 << QStringList{u"/cad/projekt"_s, u" /mit Blank "_s,
                                                u"C:\\Daten"_s, u"/mnt/wärme"_s, u"/a,b=c"_s};
    QTest::addRow("an earlier version's file")
        << QVariantMap{{u"Optionen/ANZI"_s, u"1"_s},
                       {u"Optionen/0"_s, u"/cad"_s},
                       {u"Optionen/1"_s, u"/daten"_s},
                       {u"Optionen/slider1.value"_s, u"37"_s},
                       {u"Optionen/txt_textfind.Text"_s, u"hub"_s},
                       {u"Optionen/txt_note.Text"_s, u"alt\r\n"_s}}
        << u"50"_s << u"hub"_s << u"neu\r\n"_s << QStringList{u"/cad"_s, u"/daten"_s, u"/arbeit"_s};
    QTest::addRow("other sections and keys of every kind")
        << QVariantMap{{u"Andere/liste"_s, QStringList{u"a"_s, u"b c"_s}},
                       {u"Andere/bytes"_s, QByteArray("\xe4\0x\\\"", 6)},
                       {u"Andere/punkt"_s, QPoint(1, 2)},
                       {u"Andere/zeit"_s, QDateTime(QDate(2026, 12, 7), QTime(15, 30), Qt::UTC)},
                       {u"Andere/zahl"_s, 42},
                       {u"oben"_s, u"ohne Abschnitt"_s},
                       {u"General/x"_s, u"ein Abschnitt namens General"_s},
                       {u"Andere/a b"_s, u"Blank im Namen"_s},
                       {u"Andere/wärme"_s, u"Umlaut im Namen"_s},
                       {u"Andere/x/y"_s, u"Unterschlüssel"_s},
                       {u"Optionen/fremd"_s, u"bleibt"_s},
                       {u"optionen/klein"_s, u"andere Schreibung"_s}}
        << u"5"_s << u"Suchtext"_s << u"Notizen"_s << noFolders;
}

// Every value is written as QSettings writes it, into a file QSettings wrote before.
void tst_SettingsStore::writesWhatQSettingsWrites()
{
    QFETCH(QVariantMap, before);
    QFETCH(QString, slider);
    QFETCH(QString, searchText);
    QFETCH(QString, notes);
    QFETCH(QStringList, folders);

    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("spurwerk.conf"));
    {
        QSettings earlier(path, QSettings::IniFormat);
        for (auto value = before.cbegin(); value != before.cend(); ++value)
            earlier.setValue(value.key(), value.value());
    }
    if (!before.isEmpty())
        SettingsFile::write(contentsOf(path));
    {
        QSettings settings(path, QSettings::IniFormat);
        for (int i = 0; i < folders.size(); ++i)
            settings.setValue(QStringLiteral("Optionen/%1").arg(i), folders.at(i));
        if (!folders.isEmpty())
            settings.setValue(QStringLiteral("Optionen/ANZI"), QString::number(folders.size() - 1));
        settings.setValue(QStringLiteral("Optionen/slider1.value"), slider);
        settings.setValue(QStringLiteral("Optionen/txt_textfind.Text"), searchText);
        settings.setValue(QStringLiteral("Optionen/txt_note.Text"), notes);
    }

    SettingsStore store;
    for (int i = 0; i < folders.size(); ++i)
        store.setFolderEntry(i, folders.at(i).toUtf8());
    if (!folders.isEmpty())
        store.setValue(Key::FolderLastIndex, QString::number(folders.size() - 1));
    store.setValue(Key::SliderValue, slider);
    store.setValue(Key::SearchText, searchText);
    store.setValue(Key::Notes, notes);
    QVERIFY(store.sync().saved());

    QCOMPARE(SettingsFile::read(), contentsOf(path));
}

void tst_SettingsStore::readsWhatQSettingsReads_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Key>("key");
    QTest::addColumn<QString>("expected");
    // QSettings reads it alike; not so where letter case does not matter and where bytes that are
    // not UTF-8 are kept
    QTest::addColumn<bool>("asQSettings");

    QTest::addRow("section and key in other case")
        << QByteArray("[optionen]\nSLIDER1.VALUE=37\n") << Key::SliderValue << u"37"_s << false;
    QTest::addRow("upper-case section") << QByteArray("[OPTIONEN]\nTxt_TextFind.text=Welle\n")
                                        << Key::SearchText << u"Welle"_s << false;
    QTest::addRow("lower-case ANZI")
        << QByteArray("[Optionen]\nanzi=4\n") << Key::FolderLastIndex << u"4"_s << false;
    QTest::addRow("empty value is not missing")
        << QByteArray("[Optionen]\ntxt_note.text=\n") << Key::Notes << QString() << false;
    QTest::addRow("unquoted commas read as one text")
        << QByteArray("[Optionen]\ntxt_textfind.Text=4711, 4712\n") << Key::SearchText
        << u"4711, 4712"_s << false;
    QTest::addRow("other section ignored")
        << QByteArray("[Andere]\nslider1.value=37\n") << Key::SliderValue << u"0"_s << false;

    const auto notes = [](const QByteArray &spelt) {
        return "[Optionen]\ntxt_note.Text=" + spelt + '\n';
    };
    QTest::addRow("escapes") << notes("a\\r\\nb\\t\\\\\\\"\\x41\\101\\?\\'") << Key::Notes
                             << u"a\r\nb\t\\\"AA?'"_s << true;
    QTest::addRow("hex escape takes every hex digit")
        << notes("\\x4142g") << Key::Notes << u"\u4142g"_s << true;
    QTest::addRow("null escape") << notes("a\\0") << Key::Notes << QStringLiteral("a") + QChar::Null
                                 << true;
    QTest::addRow("unknown escape dropped") << notes("a\\qb\\x") << Key::Notes << u"ab"_s << true;
    QTest::addRow("quotes keep separators and blanks")
        << notes("\" a, b; c=d \"") << Key::Notes << u" a, b; c=d "_s << true;
    QTest::addRow("blanks outside quotes dropped")
        << notes(" \t a b \t ") << Key::Notes << u"a b"_s << true;
    QTest::addRow("blank before an escape at the end kept")
        << notes("a \\x20") << Key::Notes << u"a  "_s << true;
    QTest::addRow("unquoted commas make a list")
        << notes("4711,  4712 ,x") << Key::Notes << u"4711, 4712, x"_s << true;
    QTest::addRow("doubled @") << notes("@@Variant(x)") << Key::Notes << u"@Variant(x)"_s << true;
    QTest::addRow("bytes") << notes("@ByteArray(Gr\\xc3\\xb6\\xc3\\x9f\\x65)") << Key::Notes
                           << u"Größe"_s << true;
    QTest::addRow("null characters") << notes("@String(a\\0\\x31)") << Key::Notes
                                     << QStringLiteral("a") + QChar::Null + u"1"_s << true;
    QTest::addRow("comment after the value")
        << notes("Welle ; Kommentar") << Key::Notes << u"Welle"_s << true;
    QTest::addRow("line continued after a backslash")
        << notes("Wel\\\r\nle") << Key::Notes << u"Welle"_s << true;
    QTest::addRow("line break inside quotes")
        << notes("\"Wel\nle\"") << Key::Notes << u"Wel\nle"_s << true;
    QTest::addRow("UTF-8") << notes("Ma\303\237e") << Key::Notes << u"Maße"_s << true;
    QTest::addRow("CR LF lines, comments, other sections")
        << QByteArray("; Kommentar\r\n[Andere]\r\ntxt_note.Text=falsch\r\n[Optionen]\r\n"
                      "; noch einer\r\ntxt_note.Text=richtig\r\n")
        << Key::Notes << u"richtig"_s << true;
    QTest::addRow("byte order mark")
        << "\xef\xbb\xbf" + notes("Welle") << Key::Notes << u"Welle"_s << true;
    QTest::addRow("byte order mark in the first plain bytes")
        << notes("\\n\357\273\277a\357\273\277") << Key::Notes << u"\na\ufeff"_s << true;
    QTest::addRow("key name with escapes")
        << QByteArray("[Optionen]\ntxt%5Fnote.T%65xt=x\n") << Key::Notes << u"x"_s << true;
    QTest::addRow("last of two equal keys") << notes("erste") + "txt_note.Text=zweite\n"
                                            << Key::Notes << u"zweite"_s << true;
    QTest::addRow("Latin-1") << notes("Ma\337e f\374r Welle") << Key::Notes << u"Maße für Welle"_s
                             << false;
    QTest::addRow("Latin-1 with escapes")
        << notes("Ma\337e\\r\\n\\x263a") << Key::Notes << u"Maße\r\n\u263a"_s << false;
}

void tst_SettingsStore::readsWhatQSettingsReads()
{
    QFETCH(QByteArray, content);
    QFETCH(Key, key);
    QFETCH(QString, expected);
    QFETCH(bool, asQSettings);

    SettingsFile::write(content);
    const SettingsStore store;
    QVERIFY2(store.canSave(), qPrintable(store.readProblem()));
    QCOMPARE(store.value(key), expected);
    if (asQSettings)
        QCOMPARE(qsettingsText(content, QStringLiteral("Optionen/txt_note.Text")), expected);
}

void tst_SettingsStore::valuesNobodyChangedKeepTheirSpelling_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("searchText"); // what the close writes back, after the slider
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("Latin-1 notes as printf wrote them")
        << QByteArray("[Optionen]\ntxt_note.Text=Ma\337e f\374r Welle\n") << u"Suchtext"_s
        << u"Maße für Welle"_s
        << QByteArray("[Optionen]\nslider1.value=5\ntxt_note.Text=Ma\337e f\374r Welle\n"
                      "txt_textfind.Text=Suchtext\n");
    QTest::addRow("Latin-1 search text kept, notes edited")
        << QByteArray("[Optionen]\ntxt_note.Text=alt\ntxt_textfind.Text=Stra\337e\n") << u"Straße"_s
        << u"Größe"_s
        << QByteArray("[Optionen]\nslider1.value=5\ntxt_note.Text=Gr\303\266\303\237e\n"
                      "txt_textfind.Text=Stra\337e\n");
    QTest::addRow("Latin-1 search text edited")
        << QByteArray("[Optionen]\ntxt_textfind.Text=Stra\337e\n") << u"Straße 2"_s << u"Notizen"_s
        << QByteArray("[Optionen]\nslider1.value=5\ntxt_note.Text=Notizen\n"
                      "txt_textfind.Text=Stra\303\237e 2\n");
    QTest::addRow("hand-written spelling kept, comment not")
        << QByteArray("[Optionen]\ntxt_note.Text =  \\127elle  ; Kommentar\n") << u"Suchtext"_s
        << u"Welle"_s
        << QByteArray("[Optionen]\nslider1.value=5\ntxt_note.Text=\\127elle\n"
                      "txt_textfind.Text=Suchtext\n");
}

// A close writes back every value; those the user did not change keep their bytes.
void tst_SettingsStore::valuesNobodyChangedKeepTheirSpelling()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, searchText);
    QFETCH(QString, notes);
    QFETCH(QByteArray, expected);

    SettingsFile::write(content);
    SettingsStore store;
    store.setValue(Key::SliderValue, QStringLiteral("5"));
    store.setValue(Key::SearchText, searchText);
    store.setValue(Key::Notes, notes);
    QVERIFY(store.sync().saved());

    QCOMPARE(SettingsFile::read(), expected);
    const SettingsStore reread;
    QCOMPARE(reread.value(Key::SearchText), searchText);
    QCOMPARE(reread.value(Key::Notes), notes);
}

// Values set as they were are no change: nothing is written, not even to a folder that would
// refuse it, and what only the file held (comments) stays.
void tst_SettingsStore::nothingChangedNothingWritten()
{
    const QByteArray content("; von Hand\n[Optionen]\nslider1.value = "
                             "37\ntxt_note.Text=Ma\337e\ntxt_textfind.Text=\"4711\"\n");
    SettingsFile::write(content);
    SettingsStore store;
    {
        const FailingFolder folder(QFileInfo(SettingsFile::path()).path(),
                                   FailingFolder::Kind::ReadOnly);
        if (!folder.unavailable().isEmpty())
            QSKIP(qPrintable(folder.unavailable()));
        store.setValue(Key::SliderValue, QString::number(store.sliderValue()));
        store.setValue(Key::SearchText, store.value(Key::SearchText));
        store.setValue(Key::Notes, store.value(Key::Notes));
        QVERIFY(store.sync().saved());
    }
    QCOMPARE(SettingsFile::read(), content);
}

namespace {

// What a copy of the program changes before its close: "slider", "text" and "notes" as the main
// window writes them, "folders" (entries joined by "|") as the path editor saves its list.
using Changes = QMap<QString, QString>;

// shown: the values as the copy's windows show them since its start
void closeLikeTheMainWindow(SettingsStore &store, const Changes &shown, const Changes &changes)
{
    if (changes.contains(u"folders"_s)) {
        const QStringList folders = changes.value(u"folders"_s).split(u'|');
        for (int i = 0; i < folders.size(); ++i)
            store.setFolderEntry(i, folders.at(i).toUtf8());
        store.setValue(Key::FolderLastIndex, QString::number(folders.size() - 1));
    }
    store.setValue(Key::SliderValue, changes.value(u"slider"_s, shown.value(u"slider"_s)));
    store.setValue(Key::SearchText, changes.value(u"text"_s, shown.value(u"text"_s)));
    store.setValue(Key::Notes, changes.value(u"notes"_s, shown.value(u"notes"_s)));
}

Changes storedChanges(const SettingsStore &store)
{
    QStringList folders;
    for (int i = 0; i <= store.folderLastIndex(); ++i)
        folders.append(QString::fromUtf8(store.folderEntry(i)));
    return {{u"slider"_s, store.value(Key::SliderValue)},
            {u"text"_s, store.value(Key::SearchText)},
            {u"notes"_s, store.value(Key::Notes)},
            {u"folders"_s, folders.join(u'|')}};
}

} // namespace

void tst_SettingsStore::twoCopiesKeepEachOthersChanges_data()
{
    QTest::addColumn<Changes>("first");  // saved first
    QTest::addColumn<Changes>("second"); // read before the first saved, saved after it
    QTest::addColumn<Changes>("stored");
    QTest::addColumn<QStringList>("conflicting"); // of the second's save

    const Changes before{{u"slider"_s, u"10"_s},
                         {u"text"_s, u"HUB"_s},
                         {u"notes"_s, u"alt"_s},
                         {u"folders"_s, u"/x|/y"_s}};
    const auto with = [&before](const Changes &changes) {
        Changes all = before;
        all.insert(changes);
        return all;
    };
    QTest::addRow("notes in one, search text in the other")
        << Changes{{u"notes"_s, u"neu"_s}} << Changes{{u"text"_s, u"4711"_s}}
        << with({{u"notes"_s, u"neu"_s}, {u"text"_s, u"4711"_s}}) << QStringList();
    QTest::addRow("the same change in both")
        << Changes{{u"notes"_s, u"gleich"_s}} << Changes{{u"notes"_s, u"gleich"_s}}
        << with({{u"notes"_s, u"gleich"_s}}) << QStringList();
    QTest::addRow("different notes in both")
        << Changes{{u"notes"_s, u"erste"_s}, {u"slider"_s, u"20"_s}}
        << Changes{{u"notes"_s, u"zweite"_s}, {u"text"_s, u"4711"_s}}
        << with({{u"notes"_s, u"erste"_s}, {u"slider"_s, u"20"_s}, {u"text"_s, u"4711"_s}})
        << QStringList{u"die Notizen"_s};
    QTest::addRow("folder list in one, notes in the other")
        << Changes{{u"folders"_s, u"/a|/b|/c"_s}} << Changes{{u"notes"_s, u"neu"_s}}
        << with({{u"folders"_s, u"/a|/b|/c"_s}, {u"notes"_s, u"neu"_s}}) << QStringList();
    // Key by key the two lists do not meet, but a mix of them is a list nobody saved.
    QTest::addRow("one list longer, the other's first entry changed")
        << Changes{{u"folders"_s, u"/x|/y|/z"_s}} << Changes{{u"folders"_s, u"/w|/y"_s}}
        << with({{u"folders"_s, u"/x|/y|/z"_s}}) << QStringList{u"die Liste der Verzeichnisse"_s};
}

// Two copies of the program on one settings file: each writes only what it changed, into the
// file as the other left it; where both changed a value, the first save stands and the second
// copy's value goes to the rescue file.
void tst_SettingsStore::twoCopiesKeepEachOthersChanges()
{
    QFETCH(Changes, first);
    QFETCH(Changes, second);
    QFETCH(Changes, stored);
    QFETCH(QStringList, conflicting);

    SettingsFile::write("[Optionen]\nANZI=1\n0=/x\n1=/y\nslider1.value=10\ntxt_note.Text=alt\n"
                        "txt_textfind.Text=HUB\n[Andere]\nbleibt=ja\n");
    SettingsStore firstCopy;
    SettingsStore secondCopy;
    const Changes shown = storedChanges(secondCopy);
    closeLikeTheMainWindow(firstCopy, shown, first);
    QVERIFY(firstCopy.sync().saved());
    closeLikeTheMainWindow(secondCopy, shown, second);
    const SaveResult result = secondCopy.sync();

    QCOMPARE(result.conflicting, conflicting);
    QCOMPARE(result.saved(), conflicting.isEmpty());
    QCOMPARE(storedChanges(SettingsStore()), stored);
    QCOMPARE(SettingsFile::storedValue(u"Andere/bleibt"_s), u"ja"_s);
    if (conflicting.isEmpty()) {
        // Its windows still show what they showed: closing them again changes nothing.
        const QByteArray saved = SettingsFile::read();
        closeLikeTheMainWindow(secondCopy, shown, second);
        QVERIFY(secondCopy.sync().saved());
        QCOMPARE(SettingsFile::read(), saved);
        return;
    }
    QVERIFY(result.reason().contains(SettingsFile::path()));
    const RescueResult rescued = secondCopy.rescue();
    QVERIFY2(!rescued.fileName.isEmpty(), qPrintable(rescued.failure));
    const auto removeRescue = qScopeGuard([&] { QFile::remove(rescued.fileName); });
    // The rescue file is the settings file as the second copy would have saved it.
    SettingsFile::write(contentsOf(rescued.fileName));
    Changes secondsVersion = stored;
    secondsVersion.insert(second);
    QCOMPARE(storedChanges(SettingsStore()), secondsVersion);
}

// A save waits for another's to end before it reads the file to merge into.
void tst_SettingsStore::saveWaitsForAnothersSave()
{
    SettingsFile::write("[Optionen]\ntxt_note.Text=alt\n");
    SettingsStore store;
    store.setValue(Key::SearchText, u"4711"_s);
    QLockFile othersSave(SettingsFile::path() + u".lock"_s);
    QVERIFY(othersSave.tryLock(0));
    std::future<SaveResult> saved =
        std::async(std::launch::async, [&store] { return store.sync(); });
    // it cannot end while the lock is held; unlocked, it would end in a millisecond
    QVERIFY(saved.wait_for(std::chrono::milliseconds(200)) == std::future_status::timeout);
    SettingsFile::write("[Optionen]\ntxt_note.Text=von der anderen\n");
    othersSave.unlock();

    QVERIFY(saved.get().saved());
    const SettingsStore reread;
    QCOMPARE(reread.value(Key::Notes), u"von der anderen"_s);
    QCOMPARE(reread.value(Key::SearchText), u"4711"_s);
}

void tst_SettingsStore::symbolicLinkStaysOne_data()
{
    QTest::addColumn<QByteArray>("kept"); // what the file the link leads to holds; empty: none yet
    QTest::addRow("to a file") << QByteArray("[Optionen]\nANZI=-1\n");
    QTest::addRow("to a file not made yet") << QByteArray();
}

void tst_SettingsStore::symbolicLinkStaysOne()
{
    QFETCH(QByteArray, kept);
    TestTree tree;
    const QByteArray keptFile = kept.isEmpty() ? tree.addFolder("dotfiles") + "/spurwerk.conf"
                                               : tree.addFile("dotfiles/spurwerk.conf", kept);
    QDir().mkpath(QFileInfo(SettingsFile::path()).path());
    QVERIFY(QFile::link(QFile::decodeName(keptFile), SettingsFile::path()));

    SettingsStore store;
    QVERIFY(store.canSave());
    store.setValue(Key::SliderValue, QStringLiteral("37"));
    QVERIFY(store.sync().saved());

    QVERIFY(QFileInfo(SettingsFile::path()).isSymLink());
    QCOMPARE(contentsOf(QFile::decodeName(keptFile)),
             kept.isEmpty() ? QByteArray("[Optionen]\nslider1.value=37\n")
                            : QByteArray("[Optionen]\nANZI=-1\nslider1.value=37\n"));
}

void tst_SettingsStore::convertedValue_data()
{
    QTest::addColumn<Key>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");

    // a whole number 0 to 100, else 0
    const Key s = Key::SliderValue;
    QTest::addRow("slider 50") << s << u"50"_s << 50;
    QTest::addRow("slider lowest") << s << u"0"_s << 0;
    QTest::addRow("slider highest") << s << u"100"_s << 100;
    QTest::addRow("slider above range") << s << u"101"_s << 0;
    QTest::addRow("slider negative") << s << u"-1"_s << 0;
    QTest::addRow("slider not a number") << s << u"abc"_s << 0;
    QTest::addRow("slider empty") << s << QString() << 0;
    QTest::addRow("slider fraction") << s << u"37.5"_s << 0;
    QTest::addRow("slider trailing text") << s << u"37abc"_s << 0;
    QTest::addRow("slider hexadecimal") << s << u"0x10"_s << 0;
    QTest::addRow("slider beyond 32 bits") << s << u"4294967346"_s << 0;
    QTest::addRow("slider blanks around") << s << u" 42 "_s << 42;
    QTest::addRow("slider plus sign") << s << u"+5"_s << 5;
    QTest::addRow("slider leading zeros") << s << u"007"_s << 7;
    // the last entry's index, else -1 (an empty list)
    const Key f = Key::FolderLastIndex;
    QTest::addRow("folders, empty list") << f << u"-1"_s << -1;
    QTest::addRow("folders, one entry") << f << u"0"_s << 0;
    QTest::addRow("folders, twelve entries") << f << u"11"_s << 11;
    QTest::addRow("folders, 16-bit limit") << f << u"32767"_s << 32767;
    QTest::addRow("folders, beyond 16 bits without entries") << f << u"32768"_s << -1;
    QTest::addRow("folders, beyond 32 bits") << f << u"2147483648"_s << -1;
    QTest::addRow("folders, below -1") << f << u"-2"_s << -1;
    QTest::addRow("folders, 16-bit minimum") << f << u"-32768"_s << -1;
    QTest::addRow("folders, not a number") << f << u"viele"_s << -1;
    QTest::addRow("folders, empty") << f << QString() << -1;
    QTest::addRow("folders, blanks around") << f << u" 3 "_s << 3;
}

void tst_SettingsStore::convertedValue()
{
    QFETCH(Key, key);
    QFETCH(QString, stored);

    SettingsStore store;
    store.setValue(key, stored);
    QTEST(key == Key::SliderValue ? store.sliderValue() : store.folderLastIndex(), "expected");
}

namespace {

QByteArray randomBytes()
{
    QRandomGenerator random(4711);
    QByteArray bytes(4096, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return bytes;
}

} // namespace

void tst_SettingsStore::brokenFileLeftAlone_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a folder in its place
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("told");

    const QByteArray settings("[Optionen]\nslider1.value=37\ntxt_note.Text=wichtig\n");
    QTest::addRow("section without closing bracket")
        << QByteArray("[Optionen\nslider1.value=37\n") << true
        << u"in Zeile 1 fehlt die schließende Klammer ]"_s;
    QTest::addRow("a line that is no setting")
        << settings + "kaputt\n"
        << true << u"Zeile 4 ist weder ein Abschnitt noch Name=Wert"_s;
    QTest::addRow("no section header") << QByteArray("slider1.value=37\ntxt_note.Text=wichtig\n")
                                       << true << u"sie enthält keinen Abschnitt wie [Optionen]"_s;
    QTest::addRow("comments only")
        << QByteArray("; wichtig\n") << true << u"sie enthält keinen Abschnitt wie [Optionen]"_s;
    QTest::addRow("cut off inside quotes")
        << settings + "txt_textfind.Text=\"4711\n"
        << true << u"sie endet mitten in dem Wert, der in Zeile 4 beginnt"_s;
    QTest::addRow("cut off after a backslash")
        << settings + "txt_textfind.Text=4711\\" << true
        << u"sie endet mitten in dem Wert, der in Zeile 4 beginnt"_s;
    QTest::addRow("null byte") << QByteArrayLiteral("[Optionen]\nslider1.value=37\0\n") << true
                               << u"sie enthält in Zeile 2 Steuerzeichen und ist keine Textdatei"_s;
    QTest::addRow("UTF-16") << QByteArrayLiteral("\xff\xfe[\0O\0]\0\n\0") << true
                            << u"sie enthält in Zeile 1 Steuerzeichen und ist keine Textdatei"_s;
    QTest::addRow("random bytes") << randomBytes() << true
                                  << u"Steuerzeichen und ist keine Textdatei"_s;
    QTest::addRow("folder in its place")
        << QByteArray() << true << u"an ihrer Stelle steht ein Ordner"_s;
    QTest::addRow("no read permission") << settings << false << platform::systemErrorText(EACCES);
}

// Such a file is left as it is: the store runs on defaults and keeps what is set in memory.
void tst_SettingsStore::brokenFileLeftAlone()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, readable);
    QFETCH(QString, told);

    if (content.isEmpty())
        QVERIFY(QDir().mkpath(SettingsFile::path()));
    else
        SettingsFile::write(content);
    const TestTree tree;
    std::optional<UnprivilegedUser> user;
    if (!readable) {
        QCOMPARE(::chmod(QFile::encodeName(SettingsFile::path()).constData(), 0200), 0);
        user.emplace(tree);
    }

    // A second store in the same process must come to the same verdict.
    for (int storeMade = 0; storeMade < 2; ++storeMade) {
        SettingsStore store;
        QVERIFY(!store.canSave());
        QVERIFY2(store.readProblem().contains(SettingsFile::path() + u" konnte nicht gelesen "
                                                                     u"werden: "_s) &&
                     store.readProblem().contains(told),
                 qPrintable(store.readProblem()));
        QCOMPARE(store.sliderValue(), 0);
        QCOMPARE(store.value(Key::Notes), QStringLiteral("Notizen"));
        QVERIFY(store.sync().saved()); // nothing the user changed yet

        store.setValue(Key::Notes, QStringLiteral("neu"));
        store.setFolderEntry(0, "/daten");
        const SaveResult result = store.sync();
        QCOMPARE(result.outcome, SaveResult::Outcome::Refused);
        QVERIFY(result.reason().contains(SettingsFile::path()));
        QCOMPARE(store.value(Key::Notes), QStringLiteral("neu"));
        QCOMPARE(store.folderEntry(0), QByteArray("/daten"));
    }

    user.reset();
    if (!readable) // so that its owner reads it back
        QCOMPARE(::chmod(QFile::encodeName(SettingsFile::path()).constData(), 0600), 0);
    if (content.isEmpty()) {
        QVERIFY(QFileInfo(SettingsFile::path()).isDir());
        QVERIFY(QDir(SettingsFile::path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
    } else {
        QCOMPARE(SettingsFile::read(), content);
    }
}

// A file far larger than any settings file (here 4 GiB, sparse) is refused by its size, before
// its bytes fill the memory.
void tst_SettingsStore::oversizedFileRefusedUnread()
{
    const QByteArray content("[Optionen]\ntxt_note.Text=wichtig\n");
    SettingsFile::write(content);
    constexpr qint64 size = qint64(4) << 30;
    QCOMPARE(::truncate(QFile::encodeName(SettingsFile::path()).constData(), size), 0);

    SettingsStore store;
    QVERIFY(!store.canSave());
    QVERIFY2(store.readProblem().contains(u"sie ist mit 4096 MB zu groß für eine "
                                          u"Einstellungsdatei (höchstens 128 MB)"_s),
             qPrintable(store.readProblem()));
    store.setValue(Key::Notes, u"neu"_s);
    QCOMPARE(store.sync().outcome, SaveResult::Outcome::Refused);
    QCOMPARE(QFileInfo(SettingsFile::path()).size(), size);
}

void tst_SettingsStore::syncSaysWhyNothingWasWritten_data()
{
    QTest::addColumn<QString>("refusing"); // what refuses the write
    QTest::addColumn<FailingFolder::Kind>("kind");
    QTest::addColumn<QList<int>>("errors");

    // read-only permission bits for a user, a read-only file system for root
    QTest::addRow("read-only folder")
        << u"folder"_s << FailingFolder::Kind::ReadOnly << QList<int>{EACCES, EROFS};
    QTest::addRow("full disk") << u"folder"_s << FailingFolder::Kind::Full << QList<int>{ENOSPC};
    QTest::addRow("no folder and a read-only parent")
        << u"parent"_s << FailingFolder::Kind::ReadOnly << QList<int>{EACCES, EROFS};
    QTest::addRow("read-only file")
        << u"file"_s << FailingFolder::Kind::ReadOnly << QList<int>{EACCES};
}

void tst_SettingsStore::syncSaysWhyNothingWasWritten()
{
    QFETCH(QString, refusing);
    QFETCH(FailingFolder::Kind, kind);
    QFETCH(QList<int>, errors);

    const QString folder = QFileInfo(SettingsFile::path()).path();
    if (refusing == QLatin1String("parent"))
        QDir(folder).removeRecursively();
    if (refusing == QLatin1String("file"))
        SettingsFile::write("[Optionen]\ntxt_textfind.Text=alt\n");
    SettingsStore store;
    store.setValue(Key::SearchText, QStringLiteral("4711"));
    {
        const TestTree tree;
        std::optional<FailingFolder> failing;
        std::optional<UnprivilegedUser> user;
        if (refusing == QLatin1String("file")) {
            QCOMPARE(::chmod(QFile::encodeName(SettingsFile::path()).constData(), 0444), 0);
            user.emplace(tree);
        } else {
            failing.emplace(refusing == QLatin1String("parent") ? QFileInfo(folder).path() : folder,
                            kind);
            if (!failing->unavailable().isEmpty())
                QSKIP(qPrintable(failing->unavailable()));
        }

        const SaveResult result = store.sync();
        QCOMPARE(result.outcome, SaveResult::Outcome::NotWritten);
        QVERIFY2(errors.contains(result.error), qPrintable(result.reason()));
        QCOMPARE(result.fileName, SettingsFile::path());
        QVERIFY(result.reason().contains(SettingsFile::path()));
        QCOMPARE(store.value(Key::SearchText), QStringLiteral("4711"));
    }
    if (refusing == QLatin1String("file"))
        QCOMPARE(::chmod(QFile::encodeName(SettingsFile::path()).constData(), 0644), 0);
    // What was not written is written by the next sync once the folder takes it.
    QVERIFY(store.sync().saved());
    QCOMPARE(SettingsFile::storedValue(QStringLiteral("Optionen/txt_textfind.Text")),
             QStringLiteral("4711"));
}

void tst_SettingsStore::brokenFileBesideOursIsIgnored()
{
    const QString organisationFile =
        QFileInfo(SettingsFile::path()).dir().filePath(QStringLiteral("../spurwerk.conf"));
    const auto removeOrganisationFile = qScopeGuard([&] { QFile::remove(organisationFile); });
    QDir().mkpath(QFileInfo(SettingsFile::path()).path());
    QFile file(organisationFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Optionen\nslider1.value=99\n");
    file.close();

    {
        SettingsStore store;
        QVERIFY(store.canSave());
        QCOMPARE(store.sliderValue(), 0);
        store.setValue(Key::SliderValue, QStringLiteral("12"));
        QVERIFY(store.sync().saved());
    }
    QCOMPARE(SettingsStore().sliderValue(), 12);
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
