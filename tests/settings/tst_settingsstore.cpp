#include "settings/failing_folder.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>

using Key = SettingsStore::Key;

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void emptyStoreGivesDefaults();
    void valuesRoundTripThroughFile_data();
    void valuesRoundTripThroughFile();
    void writtenSpellingIsFoundByReadSpelling();
    void handWrittenFileMatchedWithoutCase_data();
    void handWrittenFileMatchedWithoutCase();
    void writeLeavesOneSpellingInStoredSection_data();
    void writeLeavesOneSpellingInStoredSection();
    void sliderValue_data();
    void sliderValue();
    void folderLastIndex_data();
    void folderLastIndex();
    void unreadableFileLeftAlone_data();
    void unreadableFileLeftAlone();
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

void tst_SettingsStore::emptyStoreGivesDefaults()
{
    {
        const SettingsStore store;
        QVERIFY(store.canSave());
        QCOMPARE(store.value(Key::SliderValue), QStringLiteral("0"));
        QCOMPARE(store.value(Key::SearchText), QStringLiteral("Suchtext"));
        QCOMPARE(store.value(Key::Notes), QStringLiteral("Notizen"));
        QCOMPARE(store.value(Key::FolderLastIndex), QStringLiteral("0"));
        QCOMPARE(store.folderEntry(0), QByteArray("/"));
        QCOMPARE(store.sliderValue(), 0);
        QCOMPARE(store.folderLastIndex(), 0);
    }
    QVERIFY2(!QFile::exists(SettingsFile::path()), "reading alone must not create the file");
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
    }
    const SettingsStore fresh;
    QCOMPARE(fresh.value(key), value);
}

void tst_SettingsStore::writtenSpellingIsFoundByReadSpelling()
{
    {
        SettingsStore store;
        store.setValue(Key::SliderValue, QStringLiteral("37"));
    }
    QCOMPARE(SettingsFile::storedKeys(), QStringList{QStringLiteral("Optionen/slider1.value")});

    const SettingsStore fresh;
    QCOMPARE(fresh.value(Key::SliderValue), QStringLiteral("37"));
    QCOMPARE(fresh.sliderValue(), 37);
}

void tst_SettingsStore::handWrittenFileMatchedWithoutCase_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Key>("key");
    QTest::addColumn<QString>("expected");

    QTest::addRow("section and key in other case")
        << QByteArray("[optionen]\nSLIDER1.VALUE=37\n") << Key::SliderValue << QStringLiteral("37");
    QTest::addRow("upper-case section") << QByteArray("[OPTIONEN]\nTxt_TextFind.text=Welle\n")
                                        << Key::SearchText << QStringLiteral("Welle");
    QTest::addRow("lower-case ANZI")
        << QByteArray("[Optionen]\nanzi=4\n") << Key::FolderLastIndex << QStringLiteral("4");
    QTest::addRow("empty value is not missing")
        << QByteArray("[Optionen]\ntxt_note.text=\n") << Key::Notes << QString();
    QTest::addRow("unquoted commas read as one text")
        << QByteArray("[Optionen]\ntxt_textfind.Text=4711, 4712\n") << Key::SearchText
        << QStringLiteral("4711, 4712");
    QTest::addRow("other section ignored")
        << QByteArray("[Andere]\nslider1.value=37\n") << Key::SliderValue << QStringLiteral("0");
}

void tst_SettingsStore::handWrittenFileMatchedWithoutCase()
{
    QFETCH(QByteArray, content);
    QFETCH(Key, key);
    QFETCH(QString, expected);

    SettingsFile::write(content);
    const SettingsStore store;
    QVERIFY(store.canSave());
    QCOMPARE(store.value(key), expected);
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

void tst_SettingsStore::sliderValue_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");

    QTest::addRow("50") << QStringLiteral("50") << 50;
    QTest::addRow("lowest") << QStringLiteral("0") << 0;
    QTest::addRow("highest") << QStringLiteral("100") << 100;
    QTest::addRow("above range") << QStringLiteral("101") << 0;
    QTest::addRow("negative") << QStringLiteral("-1") << 0;
    QTest::addRow("not a number") << QStringLiteral("abc") << 0;
    QTest::addRow("empty") << QString() << 0;
    QTest::addRow("fraction") << QStringLiteral("37.5") << 0;
    QTest::addRow("trailing text") << QStringLiteral("37abc") << 0;
    QTest::addRow("hexadecimal") << QStringLiteral("0x10") << 0;
    QTest::addRow("beyond 32 bits") << QStringLiteral("4294967346") << 0;
    QTest::addRow("blanks around") << QStringLiteral(" 42 ") << 42;
    QTest::addRow("plus sign") << QStringLiteral("+5") << 5;
    QTest::addRow("leading zeros") << QStringLiteral("007") << 7;
}

void tst_SettingsStore::sliderValue()
{
    QFETCH(QString, stored);
    QFETCH(int, expected);

    SettingsStore store;
    store.setValue(Key::SliderValue, stored);
    QCOMPARE(store.sliderValue(), expected);
}

void tst_SettingsStore::folderLastIndex_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");

    QTest::addRow("empty list") << QStringLiteral("-1") << -1;
    QTest::addRow("one entry") << QStringLiteral("0") << 0;
    QTest::addRow("twelve entries") << QStringLiteral("11") << 11;
    QTest::addRow("16-bit limit") << QStringLiteral("32767") << 32767;
    QTest::addRow("beyond 16 bits without entries") << QStringLiteral("32768") << -1;
    QTest::addRow("beyond 32 bits") << QStringLiteral("2147483648") << -1;
    QTest::addRow("below -1") << QStringLiteral("-2") << -1;
    QTest::addRow("16-bit minimum") << QStringLiteral("-32768") << -1;
    QTest::addRow("not a number") << QStringLiteral("viele") << -1;
    QTest::addRow("empty") << QString() << -1;
    QTest::addRow("blanks around") << QStringLiteral(" 3 ") << 3;
}

void tst_SettingsStore::folderLastIndex()
{
    QFETCH(QString, stored);
    QFETCH(int, expected);

    SettingsStore store;
    store.setValue(Key::FolderLastIndex, stored);
    QCOMPARE(store.folderLastIndex(), expected);
}

void tst_SettingsStore::unreadableFileLeftAlone_data()
{
    QTest::addColumn<QString>("kind");

    QTest::addRow("section without closing bracket") << QStringLiteral("unparsable");
    QTest::addRow("directory in its place") << QStringLiteral("directory");
    QTest::addRow("no read permission") << QStringLiteral("unreadable");
}

void tst_SettingsStore::unreadableFileLeftAlone()
{
    QFETCH(QString, kind);

    const QByteArray content("[Optionen\nslider1.value=37\ntxt_note.Text=wichtig\n");
    if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(SettingsFile::path()));
    } else {
        SettingsFile::write(content);
    }
    if (kind == QLatin1String("unreadable")) {
        QVERIFY(QFile::setPermissions(SettingsFile::path(), QFileDevice::WriteOwner));
        QFile probe(SettingsFile::path());
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("permission bits do not stop this user from reading");
    }

    // A second store in the same process must come to the same verdict.
    for (int storeMade = 0; storeMade < 2; ++storeMade) {
        SettingsStore store;
        QVERIFY(!store.canSave());
        QCOMPARE(store.sliderValue(), 0);
        QCOMPARE(store.value(Key::Notes), QStringLiteral("Notizen"));

        store.setValue(Key::Notes, QStringLiteral("neu"));
        store.setFolderEntry(0, "/daten");
        const SaveResult result = store.sync();
        QCOMPARE(result.outcome, SaveResult::Outcome::Refused);
        QVERIFY(result.reason().contains(SettingsFile::path()));
        QCOMPARE(store.value(Key::Notes), QStringLiteral("neu"));
        QCOMPARE(store.folderEntry(0), QByteArray("/daten"));
    }

    if (kind == QLatin1String("directory")) {
        QVERIFY(QFileInfo(SettingsFile::path()).isDir());
        QVERIFY(QDir(SettingsFile::path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
    } else {
        QVERIFY(QFile::setPermissions(SettingsFile::path(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(SettingsFile::read(), content);
    }
}

void tst_SettingsStore::syncSaysWhyNothingWasWritten_data()
{
    QTest::addColumn<FailingFolder::Kind>("kind");
    QTest::addColumn<QList<int>>("errors");

    // read-only permission bits for a user, a read-only file system for root
    QTest::addRow("read-only folder") << FailingFolder::Kind::ReadOnly << QList<int>{EACCES, EROFS};
    QTest::addRow("full disk") << FailingFolder::Kind::Full << QList<int>{ENOSPC};
}

void tst_SettingsStore::syncSaysWhyNothingWasWritten()
{
    QFETCH(FailingFolder::Kind, kind);
    QFETCH(QList<int>, errors);

    SettingsStore store;
    store.setValue(Key::SearchText, QStringLiteral("4711"));
    {
        const FailingFolder folder(QFileInfo(SettingsFile::path()).path(), kind);
        if (!folder.unavailable().isEmpty())
            QSKIP(qPrintable(folder.unavailable()));

        const SaveResult result = store.sync();
        QCOMPARE(result.outcome, SaveResult::Outcome::NotWritten);
        QVERIFY2(errors.contains(result.error), qPrintable(result.reason()));
        QCOMPARE(result.fileName, SettingsFile::path());
        QVERIFY(result.reason().contains(SettingsFile::path()));
        QCOMPARE(store.value(Key::SearchText), QStringLiteral("4711"));
    }
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
    }
    QCOMPARE(SettingsStore().sliderValue(), 12);
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
