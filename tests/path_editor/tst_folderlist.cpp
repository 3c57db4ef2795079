#include "path_editor/folder_list.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList texts(const FolderList &list)
{
    QStringList result;
    for (int position = 0; position < list.count(); ++position)
        result.append(list.entryText(position));
    return result;
}

bool anyTicked(const FolderList &list)
{
    for (int position = 0; position < list.count(); ++position) {
        if (list.isTicked(position))
            return true;
    }
    return false;
}

// Saves the entries, every one ticked.
void saveList(const QStringList &entries)
{
    FolderList list;
    for (const QString &entry : entries) {
        list.append(entry);
        list.tick(list.count() - 1);
    }
    SettingsStore store;
    list.save(store);
}

QStringList loadList()
{
    FolderList list;
    list.load(SettingsStore());
    return texts(list);
}

QStringList sortedStoredKeys()
{
    QStringList keys = SettingsFile::storedKeys();
    keys.sort();
    return keys;
}

} // namespace

class tst_FolderList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void load_data();
    void load();
    void saveWritesEveryEntryThenLastIndex_data();
    void saveWritesEveryEntryThenLastIndex();
    void unsavedAppendAndTickAreLost();
    void listBeyond16BitsRoundTrips();
    void folderNamesThatAreNotTextRoundTrip();
    void checkStateIsUserEditable();
    void positionsOutOfRangeChangeNothing();
};

void tst_FolderList::initTestCase()
{
    QVERIFY2(SettingsFile::isIsolated(), "XDG_CONFIG_HOME must point to a test location");
}

void tst_FolderList::init()
{
    SettingsFile::remove();
}

void tst_FolderList::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    const QString root = QStringLiteral("/");
    QTest::addRow("empty store") << QByteArray() << QStringList{root};
    QTest::addRow("ANZI -1") << QByteArray("[Optionen]\nANZI=-1\n0=/daten\n") << QStringList();
    QTest::addRow("ANZI 3 with keys 0 and 1")
        << QByteArray("[Optionen]\nANZI=3\n0=/daten\n1=/cad\n")
        << QStringList{QStringLiteral("/daten"), QStringLiteral("/cad"), root, root};
    QTest::addRow("ANZI not a number")
        << QByteArray("[Optionen]\nANZI=viele\n0=/daten\n") << QStringList();
    QTest::addRow("ANZI below -1")
        << QByteArray("[Optionen]\nANZI=-5\n0=/daten\n") << QStringList();
    QTest::addRow("ANZI far beyond the stored keys")
        << QByteArray("[Optionen]\nANZI=2000000000\n0=/daten\n") << QStringList();
    QTest::addRow("keys in other case, entries verbatim")
        << QByteArray("[optionen]\nanzi=2\n0=\" /mit Blank \"\n1=/cad/\n2=\n")
        << QStringList{QStringLiteral(" /mit Blank "), QStringLiteral("/cad/"), QString()};
}

void tst_FolderList::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);

    if (!content.isEmpty())
        SettingsFile::write(content);
    FolderList list;
    list.append(QStringLiteral("/vorher"));
    list.tick(0);
    QSignalSpy resets(&list, &FolderList::modelReset);

    list.load(SettingsStore());

    QCOMPARE(texts(list), expected);
    QVERIFY(!anyTicked(list));
    QCOMPARE(resets.count(), 1);
}

void tst_FolderList::saveWritesEveryEntryThenLastIndex_data()
{
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<QList<int>>("removed"); // from the loaded list, which is then saved again
    QTest::addColumn<QStringList>("stored"); // under the keys 0, 1, ...
    QTest::addColumn<QStringList>("loaded");

    QStringList twelve;
    for (int i = 0; i < 12; ++i)
        twelve.append(u"/cad/projekt%1"_s.arg(i));
    QTest::addRow("twelve entries") << twelve << QList<int>{} << twelve << twelve;
    QTest::addRow("an empty list")
        << QStringList{} << QList<int>{} << QStringList{} << QStringList{};
    // the keys beyond the last index keep their values, and are not read
    QTest::addRow("a shorter list leaves stale keys")
        << QStringList{u"/a"_s, u"/b"_s, u"/c"_s, u"/d"_s, u"/e"_s} << QList<int>{4, 1}
        << QStringList{u"/a"_s, u"/c"_s, u"/d"_s, u"/d"_s, u"/e"_s}
        << QStringList{u"/a"_s, u"/c"_s, u"/d"_s};
}

// Ticks are never stored: the keys are the entries' and the last index, and nothing loads ticked.
void tst_FolderList::saveWritesEveryEntryThenLastIndex()
{
    QFETCH(QStringList, saved);
    QFETCH(QList<int>, removed);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, loaded);
    saveList(saved);
    if (!removed.isEmpty()) {
        FolderList list;
        SettingsStore store;
        list.load(store);
        for (int position : std::as_const(removed))
            list.remove(position);
        list.save(store);
    }

    QStringList keys{u"Optionen/ANZI"_s};
    for (qsizetype i = 0; i < stored.size(); ++i) {
        keys.append(u"Optionen/%1"_s.arg(i));
        QCOMPARE(SettingsFile::storedValue(keys.last()), stored.at(i));
    }
    keys.sort();
    QCOMPARE(sortedStoredKeys(), keys);
    QCOMPARE(SettingsFile::storedValue(u"Optionen/ANZI"_s), QString::number(loaded.size() - 1));
    FolderList reloaded;
    reloaded.load(SettingsStore());
    QCOMPARE(texts(reloaded), loaded);
    QVERIFY(!anyTicked(reloaded));
}

void tst_FolderList::unsavedAppendAndTickAreLost()
{
    saveList({u"/daten"_s});
    {
        FolderList list;
        list.load(SettingsStore());
        list.append(u"/arbeit"_s);
        list.tick(1);
        QCOMPARE(list.count(), 2);
        QVERIFY(list.isTicked(1));
    }
    QCOMPARE(loadList(), QStringList{u"/daten"_s});
}

void tst_FolderList::listBeyond16BitsRoundTrips()
{
    const int count = 40000;
    QStringList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i)
        entries.append(QStringLiteral("/cad/%1").arg(i));
    saveList(entries);

    QCOMPARE(SettingsFile::storedValue(QStringLiteral("Optionen/ANZI")), QStringLiteral("39999"));
    QCOMPARE(loadList(), entries);
}

void tst_FolderList::folderNamesThatAreNotTextRoundTrip()
{
    const QByteArray latin1("/mnt/cad/w\xe4rme");
    const QByteArray utf8("/mnt/cad/w\xc3\xa4rme");
    {
        FolderList list;
        list.appendPath(latin1);
        list.appendPath(utf8);
        SettingsStore store;
        QVERIFY(list.save(store).saved());
    }
    // text stays plain text in the file, other bytes stand there as they are
    QCOMPARE(SettingsFile::storedValue(QStringLiteral("Optionen/1")), QString::fromUtf8(utf8));
    QVERIFY(SettingsFile::read().contains("\n0=" + latin1 + '\n'));

    FolderList reloaded;
    reloaded.load(SettingsStore());
    QCOMPARE(reloaded.entryPath(0), latin1);
    QCOMPARE(reloaded.entryPath(1), utf8);
    QCOMPARE(reloaded.entryText(1), QStringLiteral("/mnt/cad/wärme"));

    // the last version stored such names as bytes: they load, and a save keeps them so
    const QByteArray lastVersion("[Optionen]\n0=@ByteArray(/mnt/cad/w\\xe4rme)\nANZI=0\n");
    SettingsFile::write(lastVersion);
    SettingsStore store;
    reloaded.load(store);
    QCOMPARE(reloaded.entryPath(0), latin1);
    QVERIFY(reloaded.save(store).saved());
    QCOMPARE(SettingsFile::read(), lastVersion);
}

void tst_FolderList::checkStateIsUserEditable()
{
    FolderList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    list.append(QStringLiteral("/daten"));
    list.append(QStringLiteral("/cad"));
    const QModelIndex second = list.index(1);

    QCOMPARE(second.data(Qt::DisplayRole).toString(), QStringLiteral("/cad"));
    QCOMPARE(second.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(list.flags(second).testFlag(Qt::ItemIsUserCheckable));
    QVERIFY(!list.flags(second).testFlag(Qt::ItemIsEditable));

    QSignalSpy changes(&list, &FolderList::dataChanged);
    QVERIFY(list.setData(second, QVariant::fromValue(Qt::Checked), Qt::CheckStateRole));
    QVERIFY(list.isTicked(1));
    QVERIFY(!list.isTicked(0));
    QCOMPARE(second.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).value<QModelIndex>(), second);

    QVERIFY(list.setData(second, int(Qt::Unchecked), Qt::CheckStateRole));
    QVERIFY(!list.isTicked(1));
    QVERIFY(!list.setData(second, QStringLiteral("/anders"), Qt::EditRole));
    QCOMPARE(list.entryText(1), QStringLiteral("/cad"));
}

void tst_FolderList::positionsOutOfRangeChangeNothing()
{
    FolderList list;
    list.append(QStringLiteral("/daten"));
    QSignalSpy changes(&list, &FolderList::dataChanged);
    QSignalSpy removals(&list, &FolderList::rowsRemoved);

    list.tick(1);
    list.tick(-1);
    list.remove(1);
    list.remove(-1);

    QCOMPARE(list.entryText(1), QString());
    QVERIFY(!list.isTicked(-1));
    QCOMPARE(texts(list), QStringList{QStringLiteral("/daten")});
    QCOMPARE(changes.count(), 0);
    QCOMPARE(removals.count(), 0);
}

QTEST_GUILESS_MAIN(tst_FolderList)
#include "tst_folderlist.moc"
