#include "index/postgres_store.h"

#include "index/index_location.h"
#include "index/libpq_library.h"
#include "index/postgres_file_rows.h"
#include "index/run_grams.h"
#include "platform/wildcard_pattern.h"

#include <QDeadlineTimer>
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
    "CREATE TABLE spurwerk_watches(folder bytea PRIMARY KEY, heartbeat timestamptz NOT NULL, "
    "caught_up timestamptz NOT NULL)",
    // the files of the records again, one row each: runs hold name bytes and line ends only,
    // grams their keys (run_grams.h), which the server's own array index answers
    "CREATE TABLE spurwerk_files(folder bytea NOT NULL, name bytea NOT NULL, "
    "state smallint NOT NULL, size bigint NOT NULL, runs text NOT NULL, "
    "grams integer[] NOT NULL, PRIMARY KEY (folder, name))",
    "CREATE INDEX spurwerk_files_grams ON spurwerk_files USING gin (grams)",
    // the few files every search reads, found without the grams
    "CREATE INDEX spurwerk_files_unrecorded ON spurwerk_files(folder) WHERE state <> 0",
};

const char *const dropTables = "DROP TABLE IF EXISTS spurwerk_layout, spurwerk_folders, "
                               "spurwerk_records, spurwerk_watches, spurwerk_files";

// SQLSTATE of a table that does not exist: a database without the index
const QByteArray undefinedTable = "42P01";

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
    if (mode == Mode::Read) {
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
    if (found && *found > schemaVersion)
        throw IndexError(IndexError::Problem::Newer, QStringLiteral("layout %1").arg(*found));
    if (found && *found < schemaVersion && mode == Mode::Read) {
        throw IndexError(IndexError::Problem::Damaged,
                         QStringLiteral("layout %1 of an older version").arg(*found));
    }
    if (!found && mode == Mode::Read)
        throw IndexError(IndexError::Problem::Damaged, QStringLiteral("no layout recorded"));
    if (!found || *found < schemaVersion)
        createTables(found.has_value());
}

// An older layout goes whole: the indexer's sweep records every folder again.
void PostgresStore::createTables(bool dropOlder)
{
    execute("BEGIN");
    if (dropOlder)
        execute(dropTables);
    for (const char *statement : schema)
        execute(statement);
    execute("INSERT INTO spurwerk_layout(version) VALUES($1)", {{number(schemaVersion), false}});
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
    if (state && undefinedTable == state)
        throw IndexError(IndexError::Problem::Missing, detail);
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

void PostgresStore::putFilesIn(const QByteArray &folder, const QList<RecordedFile> &files)
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
}

QList<PostgresStore::Watch> PostgresStore::watches()
{
    const Result query = execute(
        "SELECT folder, (extract(epoch FROM clock_timestamp() - heartbeat) * 1000)::bigint, "
        "(extract(epoch FROM clock_timestamp() - caught_up) * 1000)::bigint "
        "FROM spurwerk_watches");
    QList<Watch> found;
    for (int row = 0; row < query.rows(); ++row)
        found.append({query.bytes(row, 0), query.integer(row, 1), query.integer(row, 2)});
    return found;
}

void PostgresStore::refreshStatistics()
{
    execute("ANALYZE spurwerk_files");
    // Every question reads the gram index's list of rows not yet merged once per slot: 4 MB of
    // it (the default, which a sweep's many rows are written fastest with) made a question for a
    // rare name 20 times slower. After the sweep the list is merged, and the few rows of each
    // change are merged soon.
    execute("SELECT gin_clean_pending_list('spurwerk_files_grams')");
    execute("SET gin_pending_list_limit = '256kB'");
}

void PostgresStore::putWatch(const QByteArray &folder, bool caughtUp)
{
    // a folder the indexer has not caught up with yet gets no watch: it would claim it had
    if (!caughtUp) {
        execute("UPDATE spurwerk_watches SET heartbeat = clock_timestamp() WHERE folder = $1",
                {{folder}});
        return;
    }
    execute("INSERT INTO spurwerk_watches(folder, heartbeat, caught_up) "
            "VALUES($1, clock_timestamp(), clock_timestamp()) ON CONFLICT (folder) DO UPDATE SET "
            "heartbeat = EXCLUDED.heartbeat, caught_up = EXCLUDED.caught_up",
            {{folder}});
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
    // their runs and grams lie in pages of their own: 100 ms for each needle on 3,000 CAD files
    // where the gram index takes 1 ms.
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
