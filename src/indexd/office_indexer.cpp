#include "indexd/office_indexer.h"

#include "index/index_location.h"
#include "index/postgres_store.h"
#include "indexd/folder_refresh.h"
#include "indexd/folder_watch.h"
#include "indexd/root_facts.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <algorithm>
#include <map>
#include <memory>
#include <poll.h>

namespace {

// A folder's change to be written, once its folder has been quiet: the files told of, or the
// whole folder.
struct Due
{
    qint64 when = 0;
    QSet<QByteArray> names;
    bool whole = false;
};

// The server's deadline for the indexer: a batch of writes takes longer than a desktop's look-up.
constexpr int writeDeadlineMs = 30000;

// the folder is at or under one of the roots
bool isWatched(const QByteArray &folder, const QByteArrayList &roots)
{
    return std::any_of(roots.begin(), roots.end(),
                       [&](const QByteArray &root) { return isInside(folder, root); });
}

} // namespace

OfficeIndexer::OfficeIndexer(Options options)
    : m_options(std::move(options))
{
    // On the server the disk is local and its clock stamps the files, and every later write to
    // a file brings a notice: a file needs another look only when it changed within a tick of
    // the file clock (4 to 10 ms) before it was read, not within a share's clock difference.
    m_update.unsettledMarginNs = 50'000'000;
}

void OfficeIndexer::say(const QString &line)
{
    // a server that stays away is said once, not every few seconds
    if (line == m_lastSaid)
        return;
    m_lastSaid = line;
    if (m_options.log)
        m_options.log(line);
}

int OfficeIndexer::run(const std::atomic<bool> &stop)
{
    FolderWatch watch;
    if (watch.descriptor() < 0)
        say(QStringLiteral("no change notice from the kernel: only sweeps keep the index current"));
    QByteArrayList watched;
    for (const QByteArray &root : std::as_const(m_options.folders))
        watched += watch.addTree(root);
    if (watch.refused() > 0) {
        say(QStringLiteral("the kernel refused to watch %1 folders (raise "
                           "fs.inotify.max_user_watches): sweeps keep them current")
                .arg(watch.refused()));
    }

    std::unique_ptr<PostgresStore> store;
    QElapsedTimer clock;
    clock.start();
    // by folder, the change to be written
    QHash<QByteArray, Due> due;
    // by folder, when a file read within its timestamp's tick is to be looked at again
    QHash<QByteArray, qint64> settling;
    QSet<QByteArray> gone;
    // when every folder is to be swept: at once, after a notice ran over, after the server was
    // away
    qint64 nextSweep = 0;
    qint64 lastBeat = -m_options.heartbeatMs;
    qint64 lastTry = -m_options.reconnectMs;

    const auto take = [&](const FolderWatch::Changes &changes) {
        // the first notice counts: a folder written to without pause is still written soon
        const qint64 when = clock.elapsed() + m_options.quietMs;
        const auto dueFor = [&](const QByteArray &folder) -> Due * {
            if (!isWatched(folder, m_options.folders))
                return nullptr;
            auto change = due.find(folder);
            if (change == due.end())
                change = due.insert(folder, Due{when, {}, false});
            return &change.value();
        };
        for (const QByteArray &folder : changes.changed) {
            if (Due *change = dueFor(folder))
                change->whole = true;
        }
        for (auto files = changes.files.cbegin(); files != changes.files.cend(); ++files) {
            if (Due *change = dueFor(files.key()))
                change->names.unite(files.value());
        }
        for (const QByteArray &folder : changes.gone) {
            due.remove(folder);
            gone.insert(folder);
        }
        if (changes.overflowed)
            nextSweep = 0;
    };

    while (!stop) {
        // how long to sleep: until the next folder is due, the next heartbeat, or a reconnect
        qint64 wake = lastBeat + m_options.heartbeatMs;
        for (const Due &change : std::as_const(due))
            wake = std::min(wake, change.when);
        for (const qint64 when : std::as_const(settling))
            wake = std::min(wake, when);
        wake = std::min(wake, store ? nextSweep : lastTry + m_options.reconnectMs);
        pollfd wait{watch.descriptor(), POLLIN, 0};
        ::poll(&wait, 1, int(std::clamp<qint64>(wake - clock.elapsed(), 0, 1000)));
        take(watch.read());

        try {
            if (!store) {
                if (clock.elapsed() - lastTry < m_options.reconnectMs)
                    continue;
                lastTry = clock.elapsed();
                store = std::make_unique<PostgresStore>(
                    m_options.connection, PostgresStore::Mode::Write, writeDeadlineMs);
                say(QStringLiteral("connected to the office index"));
                // what changed while the server was away is found by a sweep
                nextSweep = 0;
            }
            if (clock.elapsed() >= nextSweep) {
                for (const QByteArray &root : std::as_const(m_options.folders)) {
                    store->beginBatch();
                    store->putWatch(root, false);
                    store->commitBatch();
                    QElapsedTimer sweep;
                    sweep.start();
                    const UpdateResult result = IndexUpdate(*store, m_update).update(root);
                    store->putRoot(rootFacts(root, sweep.elapsed(), watch.refusedFolders()));
                    say(QStringLiteral("swept %1: %2 files, %3 read, %4 gone%5")
                            .arg(QString::fromLocal8Bit(root))
                            .arg(result.progress.files)
                            .arg(result.progress.filesRead)
                            .arg(result.removed)
                            .arg(result.complete ? QString()
                                                 : QStringLiteral(", not every folder listed")));
                }
                store->refreshStatistics();
                nextSweep = clock.elapsed() + m_options.sweepIntervalMs;
                // the first sweep may have read files written just before the watch began, of
                // which no notice comes: every folder is looked at again once they settled
                const qint64 settled = clock.elapsed() + m_update.unsettledMarginNs / 1000000 + 50;
                for (const QByteArray &folder : std::as_const(watched))
                    settling.insert(folder, settled);
                watched.clear();
                // changes notified during the sweep are written below, read anew
            }
            take(watch.read());
            const qint64 now = clock.elapsed();
            // a folder's parent first, so that a new tree is recorded from the top
            std::map<QByteArray, Due> ready;
            for (auto change = due.begin(); change != due.end();) {
                if (change.value().when > now) {
                    ++change;
                    continue;
                }
                ready.insert_or_assign(change.key(), std::move(change.value()));
                change = due.erase(change);
            }
            for (auto entry = settling.begin(); entry != settling.end();) {
                if (entry.value() > now) {
                    ++entry;
                    continue;
                }
                ready[entry.key()].whole = true;
                entry = settling.erase(entry);
            }
            if (!ready.empty() || !gone.isEmpty()) {
                store->beginBatch();
                for (const QByteArray &folder : std::as_const(gone))
                    dropFolderRecords(*store, folder);
                QByteArrayList unsettled;
                for (const auto &[folder, change] : ready) {
                    if (change.whole ? refreshFolder(*store, folder, m_update)
                                     : refreshFiles(*store, folder, change.names, m_update))
                        unsettled.append(folder);
                }
                store->commitBatch();
                gone.clear();
                const qint64 settled = clock.elapsed() + m_update.unsettledMarginNs / 1000000 + 50;
                for (const QByteArray &folder : std::as_const(unsettled))
                    settling.insert(folder, settled);
            }
            if (clock.elapsed() - lastBeat >= m_options.heartbeatMs || !ready.empty()) {
                take(watch.read());
                // caught up: every change notified so far is written (a file waiting to settle
                // is read by every search meanwhile)
                const bool caughtUp = due.isEmpty() && gone.isEmpty() && nextSweep > 0;
                store->beginBatch();
                for (const QByteArray &root : std::as_const(m_options.folders))
                    store->putWatch(root, caughtUp);
                store->commitBatch();
                lastBeat = clock.elapsed();
            }
        } catch (const IndexError &error) {
            say(QStringLiteral("the office index is not available: %1; trying again")
                    .arg(error.detail));
            store.reset();
        }
    }
    return 0;
}
