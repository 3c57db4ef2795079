#pragma once

#include "index/index_update.h"
#include "index/indexer_state.h"
#include "indexd/folder_watch.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class PostgresStore;

// The indexer on the file server: indexes the folders into the office index, then keeps it
// current from the kernel's notice of each change, with a sweep of every folder when the
// notice ran over, at an interval (for what notice misses: other machines' writes to the same
// disk) and after the server was away. It records at once that a change was told of, says every
// second that it runs and whether every change it was told of is written, and names the folders
// no notice covers, so that desktops know how current the index is.
class OfficeIndexer
{
public:
    struct Options
    {
        QByteArray connection;  // libpq connection string
        QByteArrayList folders; // canonical
        qint64 sweepIntervalMs = 3600 * 1000;
        // a change is written once its folder has been quiet this long, so that a file being
        // saved is read once, when it is whole
        qint64 quietMs = 150;
        qint64 heartbeatMs = 1000;
        qint64 reconnectMs = 2000;
        // each line the indexer has to say: what it indexed, that the server is away or back
        std::function<void(const QString &)> log;
        // none: the kernel's own
        FolderWatch::AddWatch addWatch = nullptr;
    };

    explicit OfficeIndexer(Options options);
    ~OfficeIndexer();

    // Runs until stop is set; returns how the program ends.
    int run(const std::atomic<bool> &stop);

private:
    // A folder's change to be written, once its folder has been quiet: the files told of, or the
    // whole folder.
    struct Due
    {
        qint64 when = 0;
        QSet<QByteArray> names;
        bool whole = false;
    };

    void say(const QString &line);
    // Sleeps until a notice or a desktop's question comes, or the next step is due.
    void waitForNotice();
    // Takes the kernel's notices in as changes due, and records at once that the folders they
    // fall in have changes pending.
    void takeNotices();
    // Whether the office index is open, opening it when it is time to try again.
    bool reconnect();
    void sweepWhenDue();
    void writeWhatIsDue();
    // Says that the indexer runs, and whether it has caught up.
    void heartbeat();
    // The folders no notice covers, written when they changed.
    void writeUnwatched();
    void sayNotKeptCurrent(const UncoveredFolder &folder);
    // every change under the root told of is written, and no notice was lost since its sweep
    bool caughtUp(const QByteArray &root) const;
    QByteArray rootOf(const QByteArray &folder) const;

    Options m_options;
    IndexUpdate::Options m_update;
    QString m_lastSaid;
    FolderWatch m_watch;
    std::unique_ptr<PostgresStore> m_store;
    QElapsedTimer m_clock;
    // by folder, the change to be written
    QHash<QByteArray, Due> m_due;
    // by folder, when a file read within its timestamp's tick is to be looked at again
    QHash<QByteArray, qint64> m_settling;
    QSet<QByteArray> m_gone;
    // the folders watched that the first sweep is to look at again once their files settled
    QByteArrayList m_firstWatched;
    // when every folder is to be swept: at once, after a notice ran over, after the server was
    // away
    qint64 m_nextSweep = 0;
    // the kernel's notice ran over, and no sweep has ended since
    bool m_overflowed = false;
    // the roots the office index knows to have changes pending
    QSet<QByteArray> m_pendingWritten;
    // the folders no notice covers, as the office index last heard of them
    std::optional<QMap<QByteArray, QString>> m_unwatchedWritten;
    qint64 m_lastBeat = 0;
    qint64 m_lastTry = 0;
    // the desktops' questions not answered yet
    QByteArrayList m_asked;
    // the server's last refusal, said once
    QString m_trouble;
};
