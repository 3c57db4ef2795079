#include "index/postgres_store.h"

#include "index/index_format.h"
#include "index/index_location.h"
#include "index/libpq_library.h"
#include "index/postgres_file_rows.h"
#include "index/run_grams.h"
#include "platform/wildcard_pattern.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QSet>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <poll.h>
#include <tuple>

namespace {

// Prefixed, so that the index may share a database with other tables of the office.
const char *const schema[] = {
    "CREATE TABLE spurwerk_layout(version integer NOT NULL)",
    "CREATE TABLE spurwerk_folders(path bytea PRIMARY KEY, updated bigint NOT NULL, "
    "complete boolean NOT NULL, files bigint NOT NULL, bytes bigint NOT NULL)",
    "CREATE TABLE spurwerk_records(folder bytea PRIMARY KEY, files bytea NOT NULL)",
    // compressing every record written took most of the server's time when files changed
    "ALTER TABLE spurwerk_records ALTER COLUMN files SET STORAGE EXTERNAL",
    // pending_since: when the first change not yet written was told of
    "CREATE TABLE spurwerk_watches(folder bytea PRIMARY KEY, heartbeat timestamptz NOT NULL, "
    "caught_up timestamptz NOT NULL, pending_since timestamptz, "
    "overflowed boolean NOT NULL DEFAULT false)",
    // folders the indexer is not told of ('watch') or whose records the server cannot hold
    // ('store'): few rows, and paths too long for a key
    "CREATE TABLE spurwerk_uncovered(folder bytea NOT NULL, cause text NOT NULL, "
    "reason text NOT NULL)",
    // the files of the records again, one row each: runs hold name bytes and line ends only,
    // grams their keys (run_grams.h), which the server's own array index answers
    "CREATE TABLE spurwerk_files(folder bytea NOT NULL, name bytea NOT NULL, "
    "state smallint NOT NULL, size bigint NOT NULL, runs text NOT NULL, "
    "grams integer[] NOT NULL, PRIMARY KEY (folder, name))",
    "CREATE INDEX spurwerk_files_grams ON spurwerk_files USING gin (grams)",
    // the few files every search reads, found without the grams
    "CREATE INDEX spurwerk_files_unrecorded ON spurwerk_files(folder) WHERE state <> 0",
    // names end with "/" and paths with NUL, which neither holds
    "CREATE TABLE spurwerk_roots(folder bytea PRIMARY KEY, top_names bytea NOT NULL, "
    "swept bigint NOT NULL, sweep_ms bigint NOT NULL)",
};

const char *const dropTables = "DROP TABLE IF EXISTS spurwerk_layout, spurwerk_folders, "
                               "spurwerk_records, spurwerk_watches, spurwerk_files, "
                               "spurwerk_roots, spurwerk_uncovered";

// SQLSTATEs: a table that does not exist (a database without the index), a right the role
// lacks, a value too large for the server's index of the table (a long path)
const QByteArray undefinedTable = "42P01";
const QByteArray insufficientPrivilege = "42501";
const QByteArray programLimitExceeded = "54000";

// A folder key this long or shorter always fits the server's index beside a file name (at most
// a third of a page); a longer one fits only when it compresses.
constexpr qsizetype longestSureKey = 2000;

// How long a desktop waits for a running indexer to take in its notices; past it, the run walks.
constexpr int indexerAnswerMs = 500;

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// Which pattern finds the needle anywhere in the runs: "_" would stand for any character.
QByteArray containing(const QByteArray &needle)
{
    QByteArray pattern = "%";
    for (const char byte : needle) {
        if (byte == '_' || byte == '%' || byte == '\\')
            pattern.append('\\');
        pattern.append(byte);
    }
    return pattern + '%';
}

// "7 0 3": the indexes of the needles held, ascending
std::vector<qsizetype> needlesOf(const QByteArray &list)
{
    std::vector<qsizetype> needles;
    for (const QByteArray &item : list.split(' ')) {
        if (!item.isEmpty())
            needles.push_back(item.toLongLong());
    }
    std::sort(needles.begin(), needles.end());
    return needles;
}

// Whether the socket became ready for the events before the deadline; a signal does not end the
// wait early.
bool waitUntilReady(int socket, short events, const QDeadlineTimer &deadline)
{
    pollfd wait{socket, events, 0};
    for (;;) {
        const int ready = ::poll(&wait, 1, int(deadline.remainingTime()));
        if (ready >= 0 || errno != EINTR)
            return ready > 0;
    }
}

QString serverWords(const char *message)
{
    return QString::fromUtf8(message).simplified();
}

} // namespace

class PostgresStore::Result
{
public:
    Result(const LibPq &pq, pg_result *result)
        : m_pq(pq)
        , m_result(result)
    {}
    ~Result() { m_pq.clear(m_result); }
    Result(Result &&other) noexcept
        : m_pq(other.m_pq)
        , m_result(std::exchange(other.m_result, nullptr))
    {}
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;

    int rows() const { return m_pq.ntuples(m_result); }
    QByteArray bytes(int row, int column) const
    {
        return QByteArray(m_pq.getvalue(m_result, row, column),
                          m_pq.getlength(m_result, row, column));
    }
    // results come in binary: bigint as 8 bytes in network order, boolean as one byte
    qint64 integer(int row, int column) const
    {
        return qFromBigEndian<qint64>(m_pq.getvalue(m_result, row, column));
    }
    bool boolean(int row, int column) const { return m_pq.getvalue(m_result, row, column)[0] != 0; }

private:
    const LibPq &m_pq;
    pg_result *m_result;
};

PostgresStore::PostgresStore(const QByteArray &connection, Mode mode, int deadlineMs)
    : m_pq(libPq())
    , m_deadlineMs(deadlineMs)
    , m_writing(mode == Mode::Write)
{
    try {
        connect(connection);
        setUp(mode);
    } catch (const IndexError &) {
        m_pq.finish(m_db);
        throw;
    }
}

PostgresStore::~PostgresStore()
{
    // a read-only snapshot or an unfinished batch ends with the connection: nothing is kept
    m_pq.finish(m_db);
}

void PostgresStore::fail(const QString &detail)
{
    throw IndexError(IndexError::Problem::Failed, detail);
}

void PostgresStore::connect(const QByteArray &connection)
{
    // The connection string's own words come after ours and win. Our questions are short:
    // compiling one (the server's jit) took longer than answering it.
    const char *keys[] = {"application_name", "options", "dbname", nullptr};
    const char *values[] = {"spurwerk", "-c jit=off", connection.constData(), nullptr};
    m_db = m_pq.connectStartParams(keys, values, 1);
    if (!m_db)
        fail(QStringLiteral("out of memory"));
    const QDeadlineTimer deadline(m_deadlineMs);
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;
    while (status != PGRES_POLLING_OK) {
        if (status == PGRES_POLLING_FAILED || m_pq.status(m_db) == CONNECTION_BAD)
            fail(serverWords(m_pq.errorMessage(m_db)));
        if (!waitUntilReady(m_pq.socket(m_db), status == PGRES_POLLING_READING ? POLLIN : POLLOUT,
                            deadline))
            fail(QStringLiteral("the server did not answer within %1 ms").arg(m_deadlineMs));
        status = m_pq.connectPoll(m_db);
    }
}

void PostgresStore::setUp(Mode mode)
{
    if (mode == Mode::Check) {
        execute("BEGIN READ ONLY");
        return;
    }
    if (mode == Mode::Read) {
        askIndexers();
        // one snapshot for the whole search, as the indexer commits batch by batch
        execute("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    }
    std::optional<qint64> found;
    try {
        const Result layout = execute("SELECT version::bigint FROM spurwerk_layout");
        if (layout.rows() > 0)
            found = layout.integer(0, 0);
    } catch (const IndexError &error) {
        if (error.problem != IndexError::Problem::Missing || mode == Mode::Read)
            throw;
    }
    if (found && *found > IndexFormat::postgresLayout)
        throw IndexError(IndexError::Problem::Newer, QStringLiteral("layout %1").arg(*found));
    if (found && *found < IndexFormat::postgresLayoutLowestRead && mode == Mode::Read) {
        throw IndexError(IndexError::Problem::Damaged,
                         QStringLiteral("layout %1 of an older version").arg(*found));
    }
    if (!found && mode == Mode::Read)
        throw IndexError(IndexError::Problem::Damaged, QStringLiteral("no layout recorded"));
    if (!found || *found < IndexFormat::postgresLayout)
        createTables(found.has_value());
    if (mode == Mode::Write)
        execute("LISTEN spurwerk_asked");
}

// A change saved just before the question may have its notice still queued for its indexer:
// each indexer whose state would let a run skip the walk is asked, and answers for each of its
// folders once it took in every notice and recorded them pending.
void PostgresStore::askIndexers()
{
    QSet<QByteArray> unanswered;
    try {
        for (const IndexerState &state : watches()) {
            if (currencyOf(state) == IndexerCurrency::Current)
                unanswered.insert(state.folder);
        }
    } catch (const IndexError &) {
        // no state, or of another layout: the layout's check that follows tells
        return;
    }
    if (unanswered.isEmpty())
        return;
    QByteArray question;
    try {
        execute("LISTEN spurwerk_told");
        const Result asked = execute("SELECT pg_backend_pid()::bigint, "
                                     "pg_notify('spurwerk_asked', pg_backend_pid()::text)");
        question = number(asked.integer(0, 0)) + ' ';
    } catch (const IndexError &) {
        // a server that takes no notices (a standby): no indexer answers, the runs walk
        if (!m_db)
            throw;
        return;
    }
    const QDeadlineTimer deadline(indexerAnswerMs);
    while (!unanswered.isEmpty()) {
        if (!m_pq.consumeInput(m_db))
            fail(serverWords(m_pq.errorMessage(m_db)));
        while (pgNotify *notice = m_pq.notifies(m_db)) {
            const QByteArray answer(notice->extra);
            m_pq.freemem(notice);
            if (!answer.startsWith(question))
                continue;
            const QByteArray folder = QByteArray::fromHex(answer.sliced(question.size()));
            unanswered.remove(folder);
            m_answeredFolders.append(folder);
        }
        if (!unanswered.isEmpty() && !waitUntilReady(m_pq.socket(m_db), POLLIN, deadline))
            break;
    }
    execute("UNLISTEN spurwerk_told");
}

int PostgresStore::socket() const
{
    return m_pq.socket(m_db);
}

QByteArrayList PostgresStore::questions()
{
    if (!m_pq.consumeInput(m_db))
        fail(serverWords(m_pq.errorMessage(m_db)));
    QByteArrayList asked;
    while (pgNotify *notice = m_pq.notifies(m_db)) {
        asked.append(QByteArray(notice->extra));
        m_pq.freemem(notice);
    }
    return asked;
}

void PostgresStore::answer(const QByteArray &question, const QByteArrayList &folders)
{
    // folder names may be any bytes, a notice's words only text
    for (const QByteArray &folder : folders) {
        execute("SELECT pg_notify('spurwerk_told', $1)",
                {{question + ' ' + folder.toHex(), false}});
    }
}

// An older layout goes whole: the indexer's sweep records every folder again.
void PostgresStore::createTables(bool dropOlder)
{
    execute("BEGIN");
    if (dropOlder)
        execute(dropTables);
    for (const char *statement : schema)
        execute(statement);
    execute("INSERT INTO spurwerk_layout(version) VALUES($1)",
            {{number(IndexFormat::postgresLayout), false}});
    execute("COMMIT");
}

void PostgresStore::waitFor(bool writing, const QDeadlineTimer &deadline)
{
    if (waitUntilReady(m_pq.socket(m_db), writing ? POLLOUT : POLLIN, deadline))
        return;
    // The server may still be working on it: ask it to stop, and use this connection no more.
    if (PGcancel *cancel = m_pq.getCancel(m_db)) {
        char error[256];
        m_pq.cancel(cancel, error, sizeof error);
        m_pq.freeCancel(cancel);
    }
    m_pq.finish(m_db);
    m_db = nullptr;
    fail(QStringLiteral("the server did not answer within %1 ms").arg(m_deadlineMs));
}

PostgresStore::Result PostgresStore::execute(const char *sql, const QList<Param> &params)
{
    if (!m_db)
        fail(QStringLiteral("the connection was given up after a missed deadline"));
    const QDeadlineTimer deadline(m_deadlineMs);
    QList<const char *> values;
    QList<int> lengths;
    QList<int> formats;
    for (const Param &param : params) {
        values.append(param.bytes.constData());
        lengths.append(int(param.bytes.size()));
        formats.append(param.binary ? 1 : 0);
    }
    if (!m_pq.sendQueryParams(m_db, sql, int(params.size()), nullptr, values.constData(),
                              lengths.constData(), formats.constData(), 1))
        fail(serverWords(m_pq.errorMessage(m_db)));
    for (int pending = m_pq.flush(m_db); pending != 0; pending = m_pq.flush(m_db)) {
        if (pending < 0)
            fail(serverWords(m_pq.errorMessage(m_db)));
        waitFor(true, deadline);
    }
    // the last result counts, but the first error
    pg_result *kept = nullptr;
    for (;;) {
        while (m_pq.isBusy(m_db)) {
            waitFor(false, deadline);
            if (!m_pq.consumeInput(m_db))
                break;
        }
        pg_result *next = m_pq.getResult(m_db);
        if (!next)
            break;
        const bool keptIsError = kept && m_pq.resultStatus(kept) == PGRES_FATAL_ERROR;
        if (keptIsError) {
            m_pq.clear(next);
            continue;
        }
        m_pq.clear(kept);
        kept = next;
        if (m_pq.status(m_db) == CONNECTION_BAD)
            break;
    }
    Result result(m_pq, kept);
    const ExecStatusType status = kept ? m_pq.resultStatus(kept) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return result;
    const QString detail =
        serverWords(kept ? m_pq.resultErrorMessage(kept) : m_pq.errorMessage(m_db));
    const char *state = kept ? m_pq.resultErrorField(kept, PG_DIAG_SQLSTATE) : nullptr;
    m_failedState = state;
    if (state && undefinedTable == state)
        throw IndexError(IndexError::Problem::Missing, detail);
    if (state && insufficientPrivilege == state)
        fail(missingRight(serverWords(m_pq.resultErrorField(kept, PG_DIAG_MESSAGE_PRIMARY))));
    fail(detail.isEmpty() ? serverWords(m_pq.errorMessage(m_db)) : detail);
}

QList<IndexedFolder> PostgresStore::folders()
{
    const Result query =
        execute("SELECT path, updated, complete, files, bytes FROM spurwerk_folders ORDER BY path");
    QList<IndexedFolder> found;
    for (int row = 0; row < query.rows(); ++row) {
        found.append({query.bytes(row, 0), query.integer(row, 1), query.boolean(row, 2),
                      query.integer(row, 3), query.integer(row, 4)});
    }
    return found;
}

FolderRecord PostgresStore::filesIn(const QByteArray &folder)
{
    // the indexer is the only writer: what this connection wrote is what the server holds
    if (const QByteArray written = writtenRecord(folder); !written.isNull())
        return FolderRecord(written, folder);
    const Result query =
        execute("SELECT files FROM spurwerk_records WHERE folder = $1", {{folder}});
    if (query.rows() == 0)
        return {};
    return FolderRecord(query.bytes(0, 0), folder);
}

QByteArrayList PostgresStore::foldersUnder(const QByteArray &root)
{
    const Result query = execute("SELECT folder FROM spurwerk_records WHERE folder = $1 OR "
                                 "(folder >= $2 AND folder < $3) ORDER BY folder",
                                 {{root}, {folderPrefix(root)}, {folderPrefixEnd(root)}});
    QByteArrayList found;
    for (int row = 0; row < query.rows(); ++row)
        found.append(query.bytes(row, 0));
    return found;
}

qint64 PostgresStore::sizeOnDisk()
{
    const Result query = execute("SELECT pg_total_relation_size('spurwerk_records') + "
                                 "pg_total_relation_size('spurwerk_folders')");
    return query.rows() > 0 ? query.integer(0, 0) : 0;
}

void PostgresStore::beginBatch()
{
    // what a batch that did not commit staged is not in the database
    m_staged.clear();
    execute("BEGIN");
    m_inBatch = true;
}

void PostgresStore::commitBatch()
{
    execute("COMMIT");
    m_inBatch = false;
    keepStaged();
}

void PostgresStore::keepStaged()
{
    for (auto staged = m_staged.cbegin(); staged != m_staged.cend(); ++staged) {
        if (staged.value().isNull())
            m_written.remove(staged.key());
        else
            m_written.insert(staged.key(), staged.value());
    }
    m_staged.clear();
}

void PostgresStore::stage(const QByteArray &folder, const QByteArray &record)
{
    m_staged.insert(folder, record);
    // a write outside a batch is committed at once
    if (!m_inBatch)
        keepStaged();
}

QByteArray PostgresStore::writtenRecord(const QByteArray &folder) const
{
    const auto staged = m_staged.constFind(folder);
    return staged != m_staged.cend() ? *staged : m_written.value(folder);
}

QString PostgresStore::missingRight(const QString &detail) const
{
    const QString role = QString::fromUtf8(m_pq.user(m_db));
    QString grant = m_writing ? QStringLiteral("SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN "
                                               "SCHEMA public")
                              : QStringLiteral("SELECT ON ALL TABLES IN SCHEMA public");
    // the indexer makes the tables the first time, in the schema the server named
    static const QRegularExpression schemaRefused(QStringLiteral("for schema (\\S+)"));
    if (const QRegularExpressionMatch refused = schemaRefused.match(detail); refused.hasMatch())
        grant = QStringLiteral("CREATE ON SCHEMA ") + refused.captured(1);
    return QStringLiteral("the role %1 lacks the right to %2 the office index (%3); the right is "
                          "given with: GRANT %4 TO %1")
        .arg(role, m_writing ? QStringLiteral("write") : QStringLiteral("read"), detail, grant);
}

// A folder whose path the server cannot hold is recorded as not covered, with the server's
// words, and its files are read by every search: the batch goes on.
void PostgresStore::putFilesIn(const QByteArray &folder, const QList<RecordedFile> &files)
{
    if (folder.size() <= longestSureKey) {
        putFilesOf(folder, files);
        return;
    }
    if (!m_inBatch) {
        beginBatch();
        putFilesIn(folder, files);
        commitBatch();
        return;
    }
    execute("SAVEPOINT long_path");
    try {
        putFilesOf(folder, files);
        execute("DELETE FROM spurwerk_uncovered WHERE folder = $1 AND cause = 'store'", {{folder}});
    } catch (const IndexError &error) {
        if (m_failedState != programLimitExceeded)
            throw;
        execute("ROLLBACK TO SAVEPOINT long_path");
        m_staged.insert(folder, {});
        execute("DELETE FROM spurwerk_uncovered WHERE folder = $1 AND cause = 'store'", {{folder}});
        const QString reason = QStringLiteral("the server cannot hold a path of %1 bytes (%2)")
                                   .arg(folder.size())
                                   .arg(error.detail);
        execute("INSERT INTO spurwerk_uncovered(folder, cause, reason) VALUES($1, 'store', $2)",
                {{folder}, {reason.toUtf8(), false}});
        m_unstored.append({folder, reason});
    }
    execute("RELEASE SAVEPOINT long_path");
}

void PostgresStore::putFilesOf(const QByteArray &folder, const QList<RecordedFile> &files)
{
    if (files.isEmpty()) {
        execute("DELETE FROM spurwerk_records WHERE folder = $1", {{folder}});
        execute("DELETE FROM spurwerk_files WHERE folder = $1", {{folder}});
        stage(folder, {});
        return;
    }
    const QByteArray record = FolderRecord::encode(folder, files);
    execute("INSERT INTO spurwerk_records(folder, files) VALUES($1, $2) "
            "ON CONFLICT (folder) DO UPDATE SET files = EXCLUDED.files",
            {{folder}, {record}});
    const QByteArray before = writtenRecord(folder);
    stage(folder, record);
    if (before.isNull()) {
        const FileRows rows = allFileRows(files);
        // Rows that are as given stay untouched, and with them their grams.
        execute("WITH given AS (SELECT decode(n, 'hex') AS name, s, z, r, g::integer[] AS g "
                "FROM unnest($2::text[], $3::smallint[], $4::bigint[], $5::text[], $6::text[]) "
                "AS f(n, s, z, r, g)), "
                "gone AS (DELETE FROM spurwerk_files AS old WHERE old.folder = $1 "
                "AND NOT EXISTS (SELECT FROM given WHERE given.name = old.name)) "
                "INSERT INTO spurwerk_files AS old(folder, name, state, size, runs, grams) "
                "SELECT $1, name, s, z, r, g FROM given ON CONFLICT (folder, name) DO UPDATE SET "
                "state = EXCLUDED.state, size = EXCLUDED.size, runs = EXCLUDED.runs, "
                "grams = EXCLUDED.grams "
                "WHERE (old.state, old.size, old.runs) IS DISTINCT FROM "
                "(EXCLUDED.state, EXCLUDED.size, EXCLUDED.runs)",
                rowParams(folder, rows));
        return;
    }
    // This connection wrote the folder's rows: only what changed since is sent.
    const FileRows rows = changedFileRows(FolderRecord(before, folder), files);
    if (rows.goneCount > 0) {
        execute("DELETE FROM spurwerk_files WHERE folder = $1 AND "
                "name IN (SELECT decode(n, 'hex') FROM unnest($2::text[]) AS n)",
                {{folder}, {rows.gone, false}});
    }
    if (rows.count > 0) {
        execute("INSERT INTO spurwerk_files(folder, name, state, size, runs, grams) "
                "SELECT $1, decode(n, 'hex'), s, z, r, g::integer[] FROM "
                "unnest($2::text[], $3::smallint[], $4::bigint[], $5::text[], $6::text[]) "
                "AS f(n, s, z, r, g) ON CONFLICT (folder, name) DO UPDATE SET "
                "state = EXCLUDED.state, size = EXCLUDED.size, runs = EXCLUDED.runs, "
                "grams = EXCLUDED.grams",
                rowParams(folder, rows));
    }
}

// The folder and the rows' columns, $1 to $6 of the statements that write them.
QList<PostgresStore::Param> PostgresStore::rowParams(const QByteArray &folder, const FileRows &rows)
{
    return {{folder},           {rows.names, false}, {rows.states, false}, {rows.sizes, false},
            {rows.runs, false}, {rows.grams, false}};
}

void PostgresStore::putFolder(const IndexedFolder &folder)
{
    execute("INSERT INTO spurwerk_folders(path, updated, complete, files, bytes) "
            "VALUES($1, $2, $3, $4, $5) ON CONFLICT (path) DO UPDATE SET "
            "updated = EXCLUDED.updated, complete = EXCLUDED.complete, "
            "files = EXCLUDED.files, bytes = EXCLUDED.bytes",
            {{folder.path},
             {number(folder.updatedMs), false},
             {folder.complete ? "t" : "f", false},
             {number(folder.files), false},
             {number(folder.bytes), false}});
}

void PostgresStore::removeFolder(const QByteArray &path, bool dropFiles)
{
    if (dropFiles) {
        for (const char *table : {"spurwerk_records", "spurwerk_files"}) {
            const QByteArray sql = QByteArray("DELETE FROM ") + table +
                                   " WHERE folder = $1 OR (folder >= $2 AND folder < $3)";
            execute(sql.constData(), {{path}, {folderPrefix(path)}, {folderPrefixEnd(path)}});
        }
        // the rows of the folders under it are unknown from now on
        const QByteArray prefix = folderPrefix(path);
        for (const QByteArray &written : m_written.keys()) {
            if (written == path || written.startsWith(prefix))
                stage(written, {});
        }
    }
    execute("DELETE FROM spurwerk_folders WHERE path = $1", {{path}});
    execute("DELETE FROM spurwerk_watches WHERE folder = $1", {{path}});
    execute("DELETE FROM spurwerk_roots WHERE folder = $1", {{path}});
    execute("DELETE FROM spurwerk_uncovered WHERE folder = $1 OR (folder >= $2 AND folder < $3)",
            {{path}, {folderPrefix(path)}, {folderPrefixEnd(path)}});
}

QList<IndexerState> PostgresStore::watches()
{
    const Result query = execute(
        "SELECT folder, (extract(epoch FROM clock_timestamp() - heartbeat) * 1000)::bigint, "
        "(extract(epoch FROM clock_timestamp() - caught_up) * 1000)::bigint, "
        "pending_since IS NOT NULL, overflowed, coalesce(complete, false) "
        "FROM spurwerk_watches LEFT JOIN spurwerk_folders ON path = folder");
    QList<IndexerState> found;
    for (int row = 0; row < query.rows(); ++row) {
        found.append({query.bytes(row, 0), query.integer(row, 1), query.integer(row, 2),
                      query.boolean(row, 3), query.boolean(row, 4), query.boolean(row, 5)});
    }
    return found;
}

QList<PostgresStore::Root> PostgresStore::roots()
{
    const Result query = execute("SELECT folder, top_names, swept, sweep_ms FROM spurwerk_roots");
    QList<Root> found;
    for (int row = 0; row < query.rows(); ++row) {
        QByteArrayList names = query.bytes(row, 1).split('/');
        names.removeLast();
        found.append({query.bytes(row, 0), names, query.integer(row, 2), query.integer(row, 3)});
    }
    return found;
}

void PostgresStore::putRoot(const Root &root)
{
    QByteArray names;
    for (const QByteArray &name : root.topNames)
        names += name + '/';
    execute("INSERT INTO spurwerk_roots(folder, top_names, swept, sweep_ms) "
            "VALUES($1, $2, $3, $4) ON CONFLICT (folder) DO UPDATE SET "
            "top_names = EXCLUDED.top_names, swept = EXCLUDED.swept, sweep_ms = EXCLUDED.sweep_ms",
            {{root.folder}, {names}, {number(root.sweptMs), false}, {number(root.sweepMs), false}});
}

PostgresStore::Setup PostgresStore::setup()
{
    Setup found;
    const auto textRows = [](const Result &query) {
        QByteArrayList rows;
        for (int row = 0; row < query.rows(); ++row)
            rows.append(query.bytes(row, 0));
        return rows;
    };
    const Result role = execute(
        "SELECT current_user::text, coalesce(has_schema_privilege(current_schema(), 'CREATE'), "
        "false), to_regclass('spurwerk_layout') IS NOT NULL, coalesce(bool_and("
        "has_table_privilege(c.oid, 'SELECT') AND has_table_privilege(c.oid, 'INSERT') AND "
        "has_table_privilege(c.oid, 'UPDATE') AND has_table_privilege(c.oid, 'DELETE')), true) "
        "FROM pg_class c WHERE c.relkind = 'r' AND c.relname LIKE 'spurwerk\\_%' AND "
        "pg_table_is_visible(c.oid)");
    found.role = role.bytes(0, 0);
    found.mayCreate = role.boolean(0, 1);
    found.mayWrite = role.boolean(0, 3);
    if (role.boolean(0, 2)) {
        const Result layout =
            execute("SELECT coalesce(max(version), 0)::bigint FROM spurwerk_layout");
        found.layout = layout.rows() > 0 ? layout.integer(0, 0) : 0;
    }
    // roles that log in as desktops do: not the indexer's, not the superusers, who read anything
    const char *const desktops =
        "SELECT r.rolname::text FROM pg_roles r WHERE r.rolcanlogin AND NOT r.rolsuper AND "
        "r.rolname <> current_user AND has_database_privilege(r.oid, current_database(), "
        "'CONNECT') AND has_schema_privilege(r.oid, current_schema(), 'USAGE') AND ";
    found.readers = textRows(execute(
        (QByteArray(desktops) +
         "CASE WHEN to_regclass('spurwerk_records') IS NOT NULL THEN "
         "has_table_privilege(r.oid, 'spurwerk_records', 'SELECT') ELSE EXISTS (SELECT FROM "
         "pg_default_acl d, aclexplode(d.defaclacl) a WHERE d.defaclrole = (SELECT oid FROM "
         "pg_roles WHERE rolname = current_user) AND d.defaclobjtype = 'r' AND "
         "a.privilege_type = 'SELECT' AND pg_has_role(r.oid, a.grantee, 'MEMBER')) END "
         "ORDER BY 1")
            .constData()));
    found.writers = textRows(execute(
        (QByteArray(desktops) +
         "CASE WHEN to_regclass('spurwerk_records') IS NOT NULL THEN has_table_privilege(r.oid, "
         "'spurwerk_records', 'INSERT') OR has_table_privilege(r.oid, 'spurwerk_records', "
         "'UPDATE') OR has_table_privilege(r.oid, 'spurwerk_records', 'DELETE') ELSE false END "
         "ORDER BY 1")
            .constData()));
    return found;
}

QList<UncoveredFolder> PostgresStore::uncovered()
{
    const Result query = execute("SELECT folder, reason FROM spurwerk_uncovered ORDER BY folder");
    QList<UncoveredFolder> found;
    for (int row = 0; row < query.rows(); ++row)
        found.append({query.bytes(row, 0), QString::fromUtf8(query.bytes(row, 1))});
    return found;
}

void PostgresStore::putUnwatched(const QByteArrayList &roots, const QList<UncoveredFolder> &folders)
{
    for (const QByteArray &root : roots) {
        execute("DELETE FROM spurwerk_uncovered WHERE cause = 'watch' AND "
                "(folder = $1 OR (folder >= $2 AND folder < $3))",
                {{root}, {folderPrefix(root)}, {folderPrefixEnd(root)}});
    }
    // many rows a statement: a full table of watches leaves every folder after it unwatched
    constexpr qsizetype rowsPerStatement = 1000;
    for (qsizetype first = 0; first < folders.size(); first += rowsPerStatement) {
        QList<Param> params;
        QByteArrayList rows;
        for (const UncoveredFolder &folder : folders.mid(first, rowsPerStatement)) {
            params.append({folder.folder});
            params.append({folder.reason.toUtf8(), false});
            rows.append("($" + number(params.size() - 1) + ", 'watch', $" + number(params.size()) +
                        ')');
        }
        const QByteArray sql =
            "INSERT INTO spurwerk_uncovered(folder, cause, reason) VALUES " + rows.join(", ");
        execute(sql.constData(), params);
    }
}

void PostgresStore::refreshStatistics()
{
    // only the tables' owner may; another's are left to the server's own vacuum
    const Result owned = execute("SELECT pg_has_role(relowner, 'USAGE') FROM pg_class WHERE oid = "
                                 "'spurwerk_files'::regclass");
    if (owned.rows() == 0 || !owned.boolean(0, 0))
        return;
    execute("ANALYZE spurwerk_files");
    // Every question reads the gram index's list of rows not yet merged once per slot: the
    // default 4 MB (which a sweep's many rows are written fastest with) made a question for a
    // rare name many times slower. After the sweep the list is merged, and the few rows of each
    // change are merged soon.
    execute("SELECT gin_clean_pending_list('spurwerk_files_grams')");
    execute("SET gin_pending_list_limit = '256kB'");
}

void PostgresStore::putWatch(const QByteArray &folder, bool caughtUp)
{
    if (!caughtUp) {
        execute("UPDATE spurwerk_watches SET heartbeat = clock_timestamp() WHERE folder = $1",
                {{folder}});
        return;
    }
    execute("INSERT INTO spurwerk_watches(folder, heartbeat, caught_up) "
            "VALUES($1, clock_timestamp(), clock_timestamp()) ON CONFLICT (folder) DO UPDATE SET "
            "heartbeat = EXCLUDED.heartbeat, caught_up = EXCLUDED.caught_up, "
            "pending_since = NULL, overflowed = false",
            {{folder}});
}

void PostgresStore::putPending(const QByteArray &folder, bool overflowed)
{
    execute("UPDATE spurwerk_watches SET heartbeat = clock_timestamp(), "
            "pending_since = coalesce(pending_since, clock_timestamp()), "
            "overflowed = overflowed OR $2 WHERE folder = $1",
            {{folder}, {overflowed ? "t" : "f", false}});
}

QList<StoreSelection::File> PostgresStore::filesHolding(const QByteArray &folder, bool subfolders,
                                                        const QByteArray &namePattern,
                                                        const QByteArrayList &needles)
{
    return selectFiles(folder, subfolders, namePattern, &needles);
}

QList<StoreSelection::File> PostgresStore::everyFile(const QByteArray &folder, bool subfolders,
                                                     const QByteArray &namePattern)
{
    return selectFiles(folder, subfolders, namePattern, nullptr);
}

// Without needles every file. With them, one question per needle, all sent at once: its grams
// ask the gram index, and LIKE checks only the rows it names, so a row's needles are exactly
// those its runs hold. (Checking every row for every needle in one question took seconds for a
// where-used level of hundreds of names.) The files every search reads come with them.
QList<StoreSelection::File> PostgresStore::selectFiles(const QByteArray &folder, bool subfolders,
                                                       const QByteArray &namePattern,
                                                       const QByteArrayList *needles)
{
    QList<Param> params{{folder}};
    QByteArray where = "folder = $1";
    if (subfolders) {
        where = "(folder = $1 OR (folder >= $2 AND folder < $3))";
        params.append({folderPrefix(folder)});
        params.append({folderPrefixEnd(folder)});
    }
    // Names of another type stay on the server, which then checks fewer runs and sends fewer
    // rows. A name beyond ASCII, which "escape" writes with a backslash, is the desktop's to
    // match.
    QByteArray named;
    const QByteArray inside = platform::WildcardPattern(namePattern).foldedInside();
    if (!inside.isEmpty() && !inside.contains('\\')) {
        params.append({inside, false});
        named = " AND (strpos(lower(encode(name, 'escape')), $" + number(params.size()) +
                "::text) > 0 OR strpos(encode(name, 'escape'), '\\') > 0)";
    }
    const QByteArray folderWhere = where;
    where += named;
    QByteArray sql =
        "SELECT folder, name, state::bigint, size, '' FROM spurwerk_files WHERE " + where;
    if (needles) {
        QByteArrayList questions{"SELECT folder, name, state, size, NULL::text AS needle "
                                 "FROM spurwerk_files WHERE " +
                                 where + " AND state <> 0"};
        // Needles with grams: a table of them, each with its LIKE pattern and its keys per
        // slot, and one sub-question asked for each row; planning one question per needle
        // took longer than answering it for a level of hundreds of names.
        QByteArrayList withGrams;
        for (qsizetype needle = 0; needle < needles->size(); ++needle) {
            params.append({containing(needles->at(needle)), false});
            const QByteArray pattern = "$" + number(params.size()) + "::text";
            const QList<QList<qint32>> keysBySlot = needleGramKeys(needles->at(needle));
            if (keysBySlot.isEmpty()) {
                questions.append("SELECT folder, name, state, size, '" + number(needle) +
                                 "' FROM spurwerk_files WHERE " + where +
                                 " AND state = 0 AND runs LIKE " + pattern);
                continue;
            }
            QByteArray row = '(' + number(needle) + ", " + pattern;
            for (const QList<qint32> &keys : keysBySlot)
                row += ", '" + arrayLiteral(keys) + "'::integer[]";
            withGrams.append(row + ')');
        }
        if (!withGrams.isEmpty()) {
            QByteArrayList columns;
            QByteArrayList mayHold;
            for (int slot = 0; slot < gramSlots; ++slot) {
                columns.append("s" + number(slot));
                mayHold.append("grams @> n.s" + number(slot));
            }
            // the rows of a needle's grams first, on their own, so that the server takes them
            // from the gram index and not from the folder's range
            questions.append("SELECT f.folder, f.name, f.state, f.size, n.i::text FROM (VALUES " +
                             withGrams.join(", ") + ") AS n(i, pattern, " + columns.join(", ") +
                             ") CROSS JOIN LATERAL (SELECT folder, name, state, size, runs FROM "
                             "spurwerk_files WHERE state = 0 AND (" +
                             mayHold.join(" OR ") + ")" + named + " OFFSET 0) AS f WHERE " +
                             QByteArray(folderWhere).replace("folder", "f.folder") +
                             " AND f.runs LIKE n.pattern");
        }
        const QByteArray held = " FROM (" + questions.join(" UNION ALL ") + ") AS held";
        // a file is in the answer to each needle it holds: to more than one, gathered
        if (needles->size() > 1)
            sql = "SELECT folder, name, state::bigint, size, string_agg(needle, ' ')" + held +
                  " GROUP BY folder, name, state, size";
        else
            sql = "SELECT folder, name, state::bigint, size, needle" + held;
    }
    // The server takes a whole table as cheap to read where its rows are few, not knowing that
    // their runs and grams lie in pages of their own, where the gram index names a needle's few
    // rows at once.
    if (needles)
        execute("SET enable_seqscan = off");
    const Result query = execute(sql.constData(), params);
    if (needles)
        execute("RESET enable_seqscan");
    QList<File> files;
    files.reserve(query.rows());
    for (int row = 0; row < query.rows(); ++row) {
        files.append({query.bytes(row, 0), query.bytes(row, 1), stateOf(query.integer(row, 2)),
                      query.integer(row, 3), needlesOf(query.bytes(row, 4))});
    }
    // sorted here: the desktops have the processors to spare, the server has not
    std::sort(files.begin(), files.end(), [](const File &one, const File &other) {
        return std::tie(one.folder, one.name) < std::tie(other.folder, other.name);
    });
    return files;
}
