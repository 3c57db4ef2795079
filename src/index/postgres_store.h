#pragma once

#include "index/index_store.h"
#include "index/indexer_state.h"
#include "index/store_selection.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <utility>

struct FileRows;
struct LibPq;
struct pg_conn;
struct pg_result;

// The office index: the same folder records in a PostgreSQL database that every desktop asks and
// one indexer on the file server writes, and beside them a row per file whose runs an index of
// their grams searches, so that a desktop answering from the index alone is sent only the files
// that may hold its text. Every call waits at most the deadline for the server; past it, or when
// the server is gone, it throws IndexError (Failed) with the server's words.
class PostgresStore : public IndexStore, public StoreSelection
{
public:
    static constexpr int defaultDeadlineMs = 2000;

    enum class Mode
    {
        Read,  // a search: one snapshot for the whole run, nothing written
        Write, // the indexer: creates the tables when missing
        Check, // the indexer's setup check: nothing written, a database without the index taken
    };

    // connection: a libpq connection string (passwords come from libpq's .pgpass, never from us).
    // Throws IndexError: Missing when the database holds no index, Newer or Damaged for another
    // layout, Failed when the server cannot be reached, does not answer in time or refuses.
    PostgresStore(const QByteArray &connection, Mode mode, int deadlineMs = defaultDeadlineMs);
    ~PostgresStore() override;
    PostgresStore(const PostgresStore &) = delete;
    PostgresStore &operator=(const PostgresStore &) = delete;

    QList<IndexedFolder> folders() override;
    FolderRecord filesIn(const QByteArray &folder) override;
    QByteArrayList foldersUnder(const QByteArray &root) override;
    qint64 sizeOnDisk() override;
    StoreSelection *selection() override { return this; }

    void beginBatch() override;
    void commitBatch() override;
    void putFilesIn(const QByteArray &folder, const QList<RecordedFile> &files) override;
    void putFolder(const IndexedFolder &folder) override;
    void removeFolder(const QByteArray &path, bool dropFiles) override;

    QList<File> filesHolding(const QByteArray &folder, bool subfolders,
                             const QByteArray &namePattern, const QByteArrayList &needles) override;
    QList<File> everyFile(const QByteArray &folder, bool subfolders,
                          const QByteArray &namePattern) override;

    // How current the indexer keeps the records of each folder it watches or watched.
    QList<IndexerState> watches();
    // The indexer runs; caughtUp: every change it was told of is written, no notice was lost,
    // and the folder is swept (a folder not caught up with yet gets no state: it would claim it
    // had).
    void putWatch(const QByteArray &folder, bool caughtUp);
    // What the indexer last found of a folder it watches, for desktops and administrators.
    struct Root
    {
        QByteArray folder;
        QByteArrayList topNames; // a few names at its top, by which a desktop tells its own copy
        qint64 sweptMs = 0;      // when its last sweep ended (since the epoch); 0: never
        qint64 sweepMs = 0;      // how long that sweep took
    };
    QList<Root> roots();
    void putRoot(const Root &root);
    // What the indexer's setup check learns of the database and its roles, without writing.
    struct Setup
    {
        QByteArray role;
        qint64 layout = 0;      // 0: no index yet
        bool mayCreate = false; // may make the tables in its schema (needed without them)
        bool mayWrite = false;  // may read and write every table of the index there is
        // other roles that may log in and read the records (once the indexer makes them, by
        // the default rights), and those of them that may also write them
        QByteArrayList readers;
        QByteArrayList writers;
    };
    Setup setup();
    // The indexer was told of a change under the folder (or lost notices: overflowed), written
    // at once so that desktops know it before the change is.
    void putPending(const QByteArray &folder, bool overflowed);
    // The folders under the roots whose changes the indexer is not told of, replacing those it
    // named before.
    void putUnwatched(const QByteArrayList &roots, const QList<UncoveredFolder> &folders);
    // Those, and the folders whose records the server could not hold.
    QList<UncoveredFolder> uncovered();
    // The folders whose records the server could not hold since the last call, for the log.
    QList<UncoveredFolder> takeUnstored() { return std::exchange(m_unstored, {}); }
    // Read: the folders whose indexer took in every notice the kernel had queued when this store
    // was opened, so that its state holds them; those of an indexer that did not answer in time
    // are not among them.
    const QByteArrayList &answeredFolders() const { return m_answeredFolders; }
    // Write: the desktops' questions whether the indexer took in every notice, taken from the
    // connection (its socket to wait on); each is answered for the indexer's folders once the
    // notices are in the state.
    int socket() const;
    QByteArrayList questions();
    void answer(const QByteArray &question, const QByteArrayList &folders);

    // After a sweep: the planner learns how many rows there are, so that it asks the grams, and
    // the gram index takes in what the sweep wrote; from then on it takes in each change soon.
    void refreshStatistics();

private:
    struct Param
    {
        QByteArray bytes;
        bool binary = true; // bytea as it is; numbers go as text
    };
    class Result;
    static QList<Param> rowParams(const QByteArray &folder, const FileRows &rows);

    void connect(const QByteArray &connection);
    void setUp(Mode mode);
    void askIndexers();
    void createTables(bool dropOlder);
    void putFilesOf(const QByteArray &folder, const QList<RecordedFile> &files);
    // a role without the right to write: what it lacks, and the statement that grants it
    QString missingRight(const QString &detail) const;
    // the folder's record as last written by this connection (the open batch's included); none
    // when not known
    QByteArray writtenRecord(const QByteArray &folder) const;
    void stage(const QByteArray &folder, const QByteArray &record);
    void keepStaged();
    QList<File> selectFiles(const QByteArray &folder, bool subfolders,
                            const QByteArray &namePattern, const QByteArrayList *needles);
    Result execute(const char *sql, const QList<Param> &params = {});
    // Waits for the socket until the query's deadline; past it, gives the connection up.
    void waitFor(bool writing, const QDeadlineTimer &deadline);
    [[noreturn]] void fail(const QString &detail);

    const LibPq &m_pq;
    pg_conn *m_db = nullptr;
    int m_deadlineMs;
    bool m_writing;
    QByteArrayList m_answeredFolders;
    QList<UncoveredFolder> m_unstored;
    bool m_inBatch = false;
    QByteArray m_failedState; // the SQLSTATE of the last statement that failed
    // Write: by folder, the records this connection committed, so that a folder written again
    // sends only the files that changed; the open batch's, the last by folder (none: not known
    // any more)
    QHash<QByteArray, QByteArray> m_written;
    QHash<QByteArray, QByteArray> m_staged;
};
