#include "index/sqlite_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

const char schema[] = R"(
CREATE TABLE files(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE, size INTEGER NOT NULL,
                   modified INTEGER NOT NULL, changed INTEGER NOT NULL, inode INTEGER NOT NULL,
                   state INTEGER NOT NULL);
CREATE VIRTUAL TABLE runs USING fts5(text, tokenize='trigram case_sensitive 1', detail=none);
CREATE TABLE folders(path BLOB PRIMARY KEY, updated INTEGER NOT NULL, complete INTEGER NOT NULL,
                     files INTEGER NOT NULL, bytes INTEGER NOT NULL);
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

// The first path after every path under the folder: "/a/" + anything sorts below "/a0".
QByteArray prefixOf(const QByteArray &folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

QByteArray prefixEnd(const QByteArray &folder)
{
    QByteArray end = prefixOf(folder);
    end.back() = char('/' + 1);
    return end;
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
    Statement &bindText(int index, const QByteArray &value)
    {
        sqlite3_bind_text(m_statement, index, value.constData(), int(value.size()),
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
    if (found > schemaVersion)
        throw IndexError(IndexError::Problem::Newer, QStringLiteral("layout %1").arg(found));
    if (found == 0 && mode == Mode::Read)
        throw IndexError(IndexError::Problem::Damaged, QStringLiteral("no tables"));
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
            // fewer, larger merges of the full-text index's segments while files come in
            execute("INSERT INTO runs(runs, rank) VALUES('automerge', 16)");
            execute("PRAGMA user_version=1");
            execute("COMMIT");
        }
    }
}

SqliteStore::~SqliteStore()
{
    m_find.reset();
    m_insertFile.reset();
    m_insertRuns.reset();
    m_deleteFile.reset();
    m_deleteRuns.reset();
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

std::optional<RecordedFile> SqliteStore::find(const QByteArray &path)
{
    Statement &query = cached(
        m_find, "SELECT id, size, modified, changed, inode, state FROM files WHERE path = ?1");
    query.bindBlob(1, path);
    if (!query.step())
        return std::nullopt;
    RecordedFile file{
        query.integer(0),
        {query.integer(1), query.integer(2), query.integer(3), quint64(query.integer(4))},
        FileState(query.integer(5))};
    query.reset();
    return file;
}

QSet<qint64> SqliteStore::holdingAll(const QByteArrayList &pieces)
{
    QByteArray sql = "SELECT rowid FROM runs WHERE 1";
    for (qsizetype i = 0; i < pieces.size(); ++i)
        sql += " AND text GLOB ?" + QByteArray::number(i + 1);
    Statement query(*this, sql.constData());
    // pieces hold name bytes only, none of which GLOB treats as a wildcard
    for (qsizetype i = 0; i < pieces.size(); ++i)
        query.bindText(int(i + 1), '*' + pieces.at(i) + '*');
    QSet<qint64> ids;
    while (query.step())
        ids.insert(query.integer(0));
    return ids;
}

void SqliteStore::forEachFile(const QByteArray &folder,
                              const std::function<void(const QByteArray &)> &each)
{
    Statement query(*this, "SELECT path FROM files WHERE path >= ?1 AND path < ?2 ORDER BY path");
    query.bindBlob(1, prefixOf(folder)).bindBlob(2, prefixEnd(folder));
    while (query.step())
        each(query.blob(0));
}

QList<qint64> SqliteStore::filesUnder(const QByteArray &folder)
{
    Statement query(*this, "SELECT id FROM files WHERE path >= ?1 AND path < ?2");
    query.bindBlob(1, prefixOf(folder)).bindBlob(2, prefixEnd(folder));
    QList<qint64> ids;
    while (query.step())
        ids.append(query.integer(0));
    return ids;
}

IndexStore::Totals SqliteStore::totalsUnder(const QByteArray &folder)
{
    Statement query(*this,
                    "SELECT count(*), total(size) FROM files WHERE path >= ?1 AND path < ?2");
    query.bindBlob(1, prefixOf(folder)).bindBlob(2, prefixEnd(folder));
    query.step();
    const Totals totals{query.integer(0), query.integer(1)};
    query.reset();
    return totals;
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

qint64 SqliteStore::put(const QByteArray &path, const FileSignature &signature, FileState state,
                        const QByteArray &runs)
{
    Statement &insert = cached(
        m_insertFile,
        "INSERT INTO files(path, size, modified, changed, inode, state) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(path) DO UPDATE SET size = excluded.size, "
        "modified = excluded.modified, changed = excluded.changed, inode = excluded.inode, "
        "state = excluded.state RETURNING id");
    insert.bindBlob(1, path)
        .bind(2, signature.size)
        .bind(3, signature.modifiedNs)
        .bind(4, signature.changedNs)
        .bind(5, qint64(signature.inode))
        .bind(6, qint64(state));
    insert.step();
    const qint64 id = insert.integer(0);
    insert.run();
    cached(m_deleteRuns, "DELETE FROM runs WHERE rowid = ?1").bind(1, id).run();
    if (state == FileState::Recorded) {
        cached(m_insertRuns, "INSERT INTO runs(rowid, text) VALUES(?1, ?2)")
            .bind(1, id)
            .bindText(2, runs)
            .run();
    }
    return id;
}

void SqliteStore::remove(qint64 id)
{
    cached(m_deleteRuns, "DELETE FROM runs WHERE rowid = ?1").bind(1, id).run();
    cached(m_deleteFile, "DELETE FROM files WHERE id = ?1").bind(1, id).run();
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
    for (const qint64 id : dropFiles ? filesUnder(path) : QList<qint64>())
        remove(id);
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
