#include "index/index_location.h"
#include "index/index_update.h"
#include "index/sqlite_store.h"
#include "index_fixture.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <functional>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// Holds the index as an update in exclusive locking mode would, until it goes.
class ExclusiveHolder
{
public:
    explicit ExclusiveHolder(const QByteArray &file)
    {
        sqlite3_open(file.constData(), &m_db);
        sqlite3_exec(m_db, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr, nullptr,
                     nullptr);
    }
    ~ExclusiveHolder()
    {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }

private:
    sqlite3 *m_db = nullptr;
};

void setVersion(const QByteArray &file, int version)
{
    sqlite3 *db = nullptr;
    sqlite3_open(file.constData(), &db);
    const QByteArray sql = "PRAGMA user_version=" + QByteArray::number(version);
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void execute(const QByteArray &file, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(file.constData(), &db);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void overwrite(const QByteArray &file, const QByteArray &bytes)
{
    QFile out(QFile::decodeName(file));
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(bytes);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

using Breaking = std::function<std::shared_ptr<void>(const QByteArray &file)>;

} // namespace

Q_DECLARE_METATYPE(Breaking)

class tst_BrokenIndex : public QObject
{
    Q_OBJECT

private slots:
    void scanAnswersAndUpdateRepairs_data();
    void scanAnswersAndUpdateRepairs();
};

void tst_BrokenIndex::scanAnswersAndUpdateRepairs_data()
{
    QTest::addColumn<Breaking>("breaking");
    QTest::addColumn<IndexReport::Reason>("reason");
    QTest::addColumn<bool>("rebuilt");
    QTest::addRow("missing") << Breaking([](const QByteArray &file) {
        QFile::remove(QFile::decodeName(file));
        return nullptr;
    }) << IndexReport::Reason::NoIndex
                             << false;
    QTest::addRow("random bytes") << Breaking([](const QByteArray &file) {
        overwrite(file, randomBytes(QFile(QFile::decodeName(file)).size()));
        return nullptr;
    }) << IndexReport::Reason::Damaged
                                  << true;
    QTest::addRow("cut short") << Breaking([](const QByteArray &file) {
        QFile::resize(QFile::decodeName(file), QFile(QFile::decodeName(file)).size() / 2);
        return nullptr;
    }) << IndexReport::Reason::Damaged
                               << true;
    QTest::addRow("from a newer version") << Breaking([](const QByteArray &file) {
        setVersion(file, SqliteStore::schemaVersion + 1);
        return nullptr;
    }) << IndexReport::Reason::Newer << true;
    QTest::addRow("from an older version") << Breaking([](const QByteArray &file) {
        setVersion(file, SqliteStore::schemaVersion - 1);
        return nullptr;
    }) << IndexReport::Reason::Damaged << true;
    QTest::addRow("a folder's record damaged, the file whole")
        << Breaking([](const QByteArray &file) {
               execute(file, "UPDATE records SET files = x'01ff'");
               return nullptr;
           })
        << IndexReport::Reason::Damaged << false;
    QTest::addRow("locked") << Breaking([](const QByteArray &file) {
        return std::make_shared<ExclusiveHolder>(file);
    }) << IndexReport::Reason::Locked
                            << false;
}

// Whatever became of the index, a run gives the scan's answer and says why the index was not
// used; the next update repairs or rebuilds it, and then the index answers again.
void tst_BrokenIndex::scanAnswersAndUpdateRepairs()
{
    QFETCH(Breaking, breaking);
    QFETCH(IndexReport::Reason, reason);
    QFETCH(bool, rebuilt);
    IndexFixture fixture;
    for (int i = 0; i < 200; ++i) {
        fixture.tree.addFile("f/teil_" + QByteArray::number(i) + ".asm",
                             randomBytes(500) + (i % 7 == 0 ? " WELLE_0815 " : " HUB_4 "));
    }
    fixture.update();
    const RunAnswer scanned = fixture.run(u"WELLE_0815"_s, false);
    QCOMPARE(scanned.hits.size(), 29);

    {
        const std::shared_ptr<void> broken = breaking(fixture.indexFile());
        IndexReport report;
        QCOMPARE(fixture.run(u"WELLE_0815"_s, true, &report), scanned);
        QCOMPARE(report.reason, reason);
    }

    QString rebuiltBecause;
    {
        const std::unique_ptr<SqliteStore> store =
            SqliteStore::openForUpdate(fixture.indexFile(), rebuiltBecause);
        IndexUpdate::Options options;
        options.unsettledMarginNs = 0;
        IndexUpdate(*store, options).update(canonicalFolder(fixture.tree.root()));
    }
    QCOMPARE(!rebuiltBecause.isEmpty(), rebuilt);
    IndexReport report;
    QCOMPARE(fixture.run(u"WELLE_0815"_s, true, &report), scanned);
    QCOMPARE(report.reason, IndexReport::Reason::Answered);
    // hits too: the runs tell that a file holds the text
    QCOMPARE(report.read, 0);
    QCOMPARE(report.answered, 200);
}

QTEST_GUILESS_MAIN(tst_BrokenIndex)
#include "tst_broken_index.moc"
