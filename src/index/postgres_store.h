#pragma once

#include "index/index_store.h"
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
    // the layout this program writes; a search refuses another one, the indexer rebuilds an
    // older one
    static constexpr int schemaVersion = 4;
    static constexpr int defaultDeadlineMs = 2000;

    enum class Mode
    {
        Read,  // a search: one snapshot for the whole run, nothing written
        Write, // the indexer: creates the tables when missing
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

    void beginBatch() override;
    void commitBatch() override;
    void putFilesIn(const QByteArray &folder, const QList<RecordedFile> &files) override;
    void putFolder(const IndexedFolder &folder) override;
    void removeFolder(const QByteArray &path, bool dropFiles) override;

    QList<File> filesHolding(const QByteArray &folder, bool subfolders,
                             const QByteArray &namePattern, const QByteArrayList &needles) override;
    QList<File> everyFile(const QByteArray &folder, bool subfolders,
                          const QByteArray &namePattern) override;

    // How current the indexer that watches a folder keeps its records, by the server's clock.
    struct Watch
    {
        QByteArray folder;
        qint64 heartbeatAgeMs = 0; // since the indexer last said it runs
        qint64 caughtUpAgeMs = 0;  // since every change it was told of was written
    };
    // The folders an indexer watches or watched.
    QList<Watch> watches();
    // The indexer: it runs, and (when caughtUp) every change it was told of is written.
    void putWatch(const QByteArray &folder, bool caughtUp);
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
    void createTables(bool dropOlder);
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
    bool m_inBatch = false;
    // Write: by folder, the records this connection committed, so that a folder written again
    // sends only the files that changed; the open batch's, the last by folder (none: not known
    // any more)
    QHash<QByteArray, QByteArray> m_written;
    QHash<QByteArray, QByteArray> m_staged;
};
