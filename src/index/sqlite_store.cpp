#include "index/sqlite_store.h"

#include "index/index_format.h"
#include "index/index_location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <sqlite3.h>

namespace {

const char schema[] = R"(
CREATE TABLE folders(path BLOB PRIMARY KEY, updated INTEGER NOT NULL, complete INTEGER NOT NULL,
                     files INTEGER NOT NULL, bytes INTEGER NOT NULL);
CREATE TABLE records(folder BLOB PRIMARY KEY, files BLOB NOT NULL);
)";
IndexError::Problem problemOf(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return IndexError::Problem::Locked;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return IndexError::Problem::Damaged;
    case SQLITE_FULL:
        return IndexError::Problem::DiskFull;
    case SQLITE_CANTOPEN:
        return IndexError::Problem::Missing;
    default:
        return IndexError::Problem::Failed;
    }
}

} // namespace

class SqliteStore::Statement
{
public:
    Statement(SqliteStore &store, const char *sql)
        : m_store(store)
    {
        const int code = sqlite3_prepare_v2(store.m_db, sql, -1, &m_statement, nullptr);
        if (code != SQLITE_OK)
            store.fail(code);
    }
    ~Statement() { sqlite3_finalize(m_statement); }

    Statement &bind(int index, qint64 value)
    {
        sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    Statement &bindBlob(int index, const QByteArray &value)
    {
        sqlite3_bind_blob(m_statement, index, value.constData(), int(value.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    // False when there is no further row.
    bool step()
    {
        const int code = sqlite3_step(m_statement);
        if (code == SQLITE_ROW)
            return true;
        sqlite3_reset(m_statement);
        if (code != SQLITE_DONE)
            m_store.fail(code);
        return false;
    }
    void run()
    {
        while (step()) {
        }
    }
    // Ends a query before its last row.
    void reset() { sqlite3_reset(m_statement); }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    QByteArray blob(int column) const
    {
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    }

private:
    SqliteStore &m_store;
    sqlite3_stmt *m_statement = nullptr;
};

SqliteStore::SqliteStore(const QByteArray &file, Mode mode)
    : m_file(file)
{
    if (mode == Mode::Write)
        QDir().mkpath(QFileInfo(QFile::decodeName(file)).path());
    const int flags = SQLITE_OPEN_READWRITE | (mode == Mode::Write ? SQLITE_OPEN_CREATE : 0);
    const int code = sqlite3_open_v2(file.constData(), &m_db, flags, nullptr);
    if (code != SQLITE_OK) {
        const QString detail = QString::fromUtf8(sqlite3_errstr(code));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw IndexError(mode == Mode::Read ? IndexError::Problem::Missing : problemOf(code),
                         detail);
    }
    try {
        setUp(mode);
    } catch (const IndexError &) {
        sqlite3_close(m_db);
        throw;
    }
}

void SqliteStore::setUp(Mode mode)
{
    // A search must not wait for an update; an update waits a while for a checkpoint.
    sqlite3_busy_timeout(m_db, mode == Mode::Read ? 200 : 5000);
    Statement version(*this, "PRAGMA user_version");
    version.step();
    const qint64 found = version.integer(0);
    version.reset();
    if (found > IndexFormat::sqliteSchema)
        throw IndexError(IndexError::Problem::Newer, QStringLiteral("layout %1").arg(found));
    if (found == 0 && mode == Mode::Read)
        throw IndexError(IndexError::Problem::Damaged, QStringLiteral("no tables"));
    // an older layout is of no use: the update builds the index anew
    if (found != 0 && found < IndexFormat::sqliteSchemaLowestRead) {
        throw IndexError(IndexError::Problem::Damaged,
                         QStringLiteral("layout %1 of an older version").arg(found));
    }
    if (mode == Mode::Read) {
        // one snapshot for the whole search, which also spares each look-up its own locking
        execute("BEGIN");
        m_inBatch = true;
    }
    if (mode == Mode::Write) {
        execute("PRAGMA journal_mode=WAL");
        execute("PRAGMA synchronous=NORMAL");
        // an update writes much: a larger cache, and the WAL is copied back at its end
        execute("PRAGMA cache_size=-65536");
        execute("PRAGMA wal_autocheckpoint=10000");
        if (found == 0) {
            execute("BEGIN IMMEDIATE");
            execute(schema);
            execute(("PRAGMA user_version=" + QByteArray::number(IndexFormat::sqliteSchema))
                        .constData());
            execute("COMMIT");
        }
    }
}

SqliteStore::~SqliteStore()
{
    m_filesIn.reset();
    m_putFiles.reset();
    m_dropFiles.reset();
    if (m_inBatch)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
}

void SqliteStore::fail(int code)
{
    throw IndexError(problemOf(code), QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void SqliteStore::execute(const char *sql)
{
    const int code = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        fail(code);
}

std::unique_ptr<SqliteStore::Statement> SqliteStore::prepare(const char *sql)
{
    return std::make_unique<Statement>(*this, sql);
}

SqliteStore::Statement &SqliteStore::cached(std::unique_ptr<Statement> &statement, const char *sql)
{
    if (!statement)
        statement = prepare(sql);
    return *statement;
}

void SqliteStore::checkWhole()
{
    Statement check(*this, "PRAGMA quick_check");
    check.step();
    const QByteArray answer = check.blob(0);
    check.reset();
    if (answer != "ok")
        throw IndexError(IndexError::Problem::Damaged, QString::fromUtf8(answer));
}

QList<IndexedFolder> SqliteStore::folders()
{
    QList<IndexedFolder> found;
    Statement query(*this,
                    "SELECT path, updated, complete, files, bytes FROM folders ORDER BY path");
    while (query.step()) {
        found.append({query.blob(0), query.integer(1), query.integer(2) != 0, query.integer(3),
                      query.integer(4)});
    }
    return found;
}

FolderRecord SqliteStore::filesIn(const QByteArray &folder)
{
    Statement &query = cached(m_filesIn, "SELECT files FROM records WHERE folder = ?1");
    query.bindBlob(1, folder);
    if (!query.step())
        return {};
    // the query ends whatever the record's check finds
    const auto reset = qScopeGuard([&query] { query.reset(); });
    return FolderRecord(query.blob(0), folder);
}

QByteArrayList SqliteStore::foldersUnder(const QByteArray &root)
{
    Statement query(*this, "SELECT folder FROM records WHERE folder = ?1 OR "
                           "(folder >= ?2 AND folder < ?3) ORDER BY folder");
    query.bindBlob(1, root).bindBlob(2, folderPrefix(root)).bindBlob(3, folderPrefixEnd(root));
    QByteArrayList found;
    while (query.step())
        found.append(query.blob(0));
    return found;
}

qint64 SqliteStore::sizeOnDisk()
{
    return QFileInfo(QString::fromLocal8Bit(m_file)).size() +
           QFileInfo(QString::fromLocal8Bit(m_file + "-wal")).size();
}

void SqliteStore::beginBatch()
{
    execute("BEGIN IMMEDIATE");
    m_inBatch = true;
}

void SqliteStore::commitBatch()
{
    execute("COMMIT");
    m_inBatch = false;
}

void SqliteStore::putFilesIn(const QByteArray &folder, const QList<RecordedFile> &files)
{
    if (files.isEmpty()) {
        cached(m_dropFiles, "DELETE FROM records WHERE folder = ?1").bindBlob(1, folder).run();
        return;
    }
    cached(m_putFiles, "INSERT OR REPLACE INTO records(folder, files) VALUES(?1, ?2)")
        .bindBlob(1, folder)
        .bindBlob(2, FolderRecord::encode(folder, files))
        .run();
}

void SqliteStore::putFolder(const IndexedFolder &folder)
{
    Statement insert(*this, "INSERT OR REPLACE INTO folders(path, updated, complete, files, bytes) "
                            "VALUES(?1, ?2, ?3, ?4, ?5)");
    insert.bindBlob(1, folder.path)
        .bind(2, folder.updatedMs)
        .bind(3, folder.complete ? 1 : 0)
        .bind(4, folder.files)
        .bind(5, folder.bytes);
    insert.run();
}

void SqliteStore::removeFolder(const QByteArray &path, bool dropFiles)
{
    if (dropFiles) {
        Statement drop(*this, "DELETE FROM records WHERE folder = ?1 OR "
                              "(folder >= ?2 AND folder < ?3)");
        drop.bindBlob(1, path).bindBlob(2, folderPrefix(path)).bindBlob(3, folderPrefixEnd(path));
        drop.run();
    }
    Statement drop(*this, "DELETE FROM folders WHERE path = ?1");
    drop.bindBlob(1, path);
    drop.run();
}

std::unique_ptr<SqliteStore> SqliteStore::openForUpdate(const QByteArray &file, QString &rebuilt)
{
    try {
        auto store = std::make_unique<SqliteStore>(file, Mode::Write);
        store->checkWhole();
        return store;
    } catch (const IndexError &error) {
        if (error.problem != IndexError::Problem::Damaged &&
            error.problem != IndexError::Problem::Newer)
            throw;
        rebuilt = (error.problem == IndexError::Problem::Damaged
                       ? QStringLiteral("the index was damaged (")
                       : QStringLiteral("the index was written by a newer version (")) +
                  error.detail + QStringLiteral("); it is built anew");
    }
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(QFile::decodeName(file + suffix));
    return std::make_unique<SqliteStore>(file, Mode::Write);
}
