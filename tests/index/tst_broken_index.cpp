#include "index/file_signature.h"
#include "index/index_format.h"
#include "index/index_location.h"
#include "index/index_update.h"
#include "index/sqlite_store.h"
#include "index_fixture.h"

#include "test_postgres.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <functional>
#include <libpq-fe.h>
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

// A folder's record as its store holds it, read and written past the store's own code: the
// SQLite file, or the office index's server.
class RawRecords
{
public:
    explicit RawRecords(const IndexFixture &fixture)
        : m_file(fixture.indexFile())
        , m_server(fixture.server)
    {}

    QByteArray read(const QByteArray &folder) const
    {
        if (!m_server.isEmpty()) {
            const QByteArray answer =
                onServer("SELECT files FROM spurwerk_records WHERE folder = $1", folder);
            return answer;
        }
        sqlite3 *db = nullptr;
        sqlite3_open(m_file.constData(), &db);
        sqlite3_stmt *query = nullptr;
        sqlite3_prepare_v2(db, "SELECT files FROM records WHERE folder = ?1", -1, &query, nullptr);
        sqlite3_bind_blob(query, 1, folder.constData(), int(folder.size()), SQLITE_TRANSIENT);
        QByteArray record;
        if (sqlite3_step(query) == SQLITE_ROW) {
            record = QByteArray(static_cast<const char *>(sqlite3_column_blob(query, 0)),
                                sqlite3_column_bytes(query, 0));
        }
        sqlite3_finalize(query);
        sqlite3_close(db);
        return record;
    }
    void write(const QByteArray &folder, const QByteArray &record) const
    {
        if (!m_server.isEmpty()) {
            onServer("UPDATE spurwerk_records SET files = $2 WHERE folder = $1", folder, record);
            return;
        }
        sqlite3 *db = nullptr;
        sqlite3_open(m_file.constData(), &db);
        sqlite3_stmt *update = nullptr;
        sqlite3_prepare_v2(db, "UPDATE records SET files = ?2 WHERE folder = ?1", -1, &update,
                           nullptr);
        sqlite3_bind_blob(update, 1, folder.constData(), int(folder.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(update, 2, record.constData(), int(record.size()), SQLITE_TRANSIENT);
        sqlite3_step(update);
        sqlite3_finalize(update);
        sqlite3_close(db);
    }

private:
    // The statement with its two parameters in binary, and the first column of its first row.
    QByteArray onServer(const char *sql, const QByteArray &first,
                        const QByteArray &second = {}) const
    {
        PGconn *db = PQconnectdb(m_server.constData());
        const char *values[] = {first.constData(), second.constData()};
        const int lengths[] = {int(first.size()), int(second.size())};
        const int binary[] = {1, 1};
        PGresult *result =
            PQexecParams(db, sql, second.isNull() ? 1 : 2, nullptr, values, lengths, binary, 1);
        QByteArray answer;
        if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0)
            answer = QByteArray(PQgetvalue(result, 0, 0), PQgetlength(result, 0, 0));
        PQclear(result);
        PQfinish(db);
        return answer;
    }

    QByteArray m_file;
    QByteArray m_server;
};

// Changes a record's bytes; other: the record of another folder.
using Damage = std::function<QByteArray(QByteArray record, const QByteArray &other)>;

// The record with the byte at offset changed.
QByteArray flipped(QByteArray record, qsizetype offset)
{
    record[offset] = char(record[offset] ^ 0x01);
    return record;
}

QByteArrayList sorted(QByteArrayList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

Q_DECLARE_METATYPE(Breaking)
Q_DECLARE_METATYPE(Damage)

class tst_BrokenIndex : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scanAnswersAndUpdateRepairs_data();
    void scanAnswersAndUpdateRepairs();
    void damagedRecordGivesTheScansAnswer_data();
    void damagedRecordGivesTheScansAnswer();

private:
    TestPostgres m_server;
    bool m_serverStarted = false;
};

void tst_BrokenIndex::initTestCase()
{
    m_serverStarted = m_server.start();
    if (!m_serverStarted)
        qWarning() << "the office index's rows are skipped:" << m_server.problem();
}

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
        setVersion(file, IndexFormat::sqliteSchema + 1);
        return nullptr;
    }) << IndexReport::Reason::Newer << true;
    QTest::addRow("from an older version") << Breaking([](const QByteArray &file) {
        setVersion(file, IndexFormat::sqliteSchemaLowestRead - 1);
        return nullptr;
    }) << IndexReport::Reason::Damaged << true;
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

void tst_BrokenIndex::damagedRecordGivesTheScansAnswer_data()
{
    QTest::addColumn<bool>("office");
    QTest::addColumn<Damage>("damage");
    const QList<std::pair<const char *, Damage>> damages{
        {"the header's count of files",
         [](QByteArray record, const QByteArray &) {
             // the layout byte and the checksum come before it
             return flipped(record, 9);
         }},
        {"a name",
         [](QByteArray record, const QByteArray &) {
             return flipped(record, record.indexOf("teil_2.asm") + 5);
         }},
        {"a signature",
         [](QByteArray record, const QByteArray &) {
             // the size follows the name
             return flipped(record, record.indexOf("teil_2.asm") + 10);
         }},
        {"the runs",
         [](QByteArray record, const QByteArray &) {
             return flipped(record, record.indexOf("WELLE_0815") + 9);
         }},
        {"cut short", [](QByteArray record, const QByteArray &) { return record.chopped(7); }},
        {"another folder's record in its place",
         [](QByteArray, const QByteArray &other) { return other; }},
    };
    for (const bool office : {false, true}) {
        for (const auto &[name, damage] : damages)
            QTest::addRow("%s, %s", office ? "office index" : "desktop index", name)
                << office << damage;
    }
}

// A record whose bytes were changed answers nothing, whatever the store's own checks say: its
// folder's files are read, by an indexed run and from the index alone, every level, and the run
// tells of it; the next update writes the record anew.
void tst_BrokenIndex::damagedRecordGivesTheScansAnswer()
{
    QFETCH(bool, office);
    QFETCH(Damage, damage);
    IndexFixture fixture;
    if (office) {
        if (!m_serverStarted)
            QSKIP("no PostgreSQL server");
        fixture.server = m_server.newDatabase();
        QVERIFY2(!fixture.server.isEmpty(), qPrintable(m_server.problem()));
    }
    // the same names in both folders; only those of "a" hold the text, those of "b" use a
    // file that holds it (the second level)
    for (int i = 0; i < 6; ++i) {
        const QByteArray name = "teil_" + QByteArray::number(i) + ".asm";
        fixture.tree.addFile("a/" + name, randomBytes(300) + (i % 2 == 0 ? " WELLE_0815 " : " "));
        fixture.tree.addFile("b/" + name, randomBytes(300) + " HUB_4 TEIL_0 ");
    }
    // every file settled when recorded: the damage varies here, not the clock's tick, which
    // would leave a file written in the update's tick unanswered from the index alone
    const qint64 written = fileClockNs();
    QTRY_VERIFY(fileClockNs() > written);
    fixture.update();
    const QByteArray root = canonicalFolder(fixture.tree.root());
    const RawRecords records(fixture);
    const QByteArray record = records.read(root + "/a");
    QVERIFY(!record.isEmpty());
    records.write(root + "/a", damage(record, records.read(root + "/b")));

    for (const int levels : {1, 2}) {
        const RunAnswer scanned = fixture.run(u"WELLE_0815"_s, false, nullptr, levels);
        QCOMPARE(scanned.hits.size() > 3, levels > 1);
        IndexReport report;
        QCOMPARE(fixture.run(u"WELLE_0815"_s, true, &report, levels), scanned);
        QCOMPARE(report.reason, IndexReport::Reason::Answered);
        QCOMPARE(report.damagedFolders, 1);
        QVERIFY(report.read >= 6);
        IndexReport alone;
        QCOMPARE(sorted(fixture.answerAlone(u"WELLE_0815"_s, levels, false, &alone).hits),
                 sorted(scanned.hits));
        QCOMPARE(alone.damagedFolders, 1);
    }

    fixture.update();
    IndexReport report;
    QCOMPARE(fixture.run(u"WELLE_0815"_s, true, &report), fixture.run(u"WELLE_0815"_s, false));
    QCOMPARE(report.damagedFolders, 0);
    QCOMPARE(report.read, 0);
}

QTEST_GUILESS_MAIN(tst_BrokenIndex)
#include "tst_broken_index.moc"
