#include "indexd/office_indexer.h"

#include "index/index_location.h"
#include "index/postgres_store.h"
#include "indexd/folder_refresh.h"
#include "indexd/root_facts.h"

#include <algorithm>
#include <map>
#include <poll.h>
#include <utility>

namespace {

// The server's deadline for the indexer: a batch of writes takes longer than a desktop's look-up.
constexpr int writeDeadlineMs = 30000;

// Of many folders no notice covers, the log names this many; the state names them all.
constexpr qsizetype unwatchedNamed = 20;

} // namespace

OfficeIndexer::OfficeIndexer(Options options)
    : m_options(std::move(options))
    , m_watch(m_options.folders, m_options.addWatch)
{
    // On the server the disk is local and its clock stamps the files, and every later write to
    // a file brings a notice: a file needs another look only when it changed within a tick of
    // the file clock (4 to 10 ms) before it was read, not within a share's clock difference.
    m_update.unsettledMarginNs = 50'000'000;
}

OfficeIndexer::~OfficeIndexer() = default;

void OfficeIndexer::say(const QString &line)
{
    if (line == m_lastSaid)
        return;
    m_lastSaid = line;
    if (m_options.log)
        m_options.log(line);
}

int OfficeIndexer::run(const std::atomic<bool> &stop)
{
    if (m_watch.descriptor() < 0)
        say(QStringLiteral("no change notice from the kernel: desktops read every folder"));
    for (const QByteArray &root : std::as_const(m_options.folders))
        m_firstWatched += m_watch.addTree(root);
    m_clock.start();
    m_lastBeat = -m_options.heartbeatMs;
    m_lastTry = -m_options.reconnectMs;
    while (!stop) {
        try {
            waitForNotice();
            // the desktops that asked before these notices were taken are answered after
            if (m_store)
                m_asked += m_store->questions();
            takeNotices();
            if (!reconnect())
                continue;
            writeUnwatched();
            for (const QByteArray &question : std::exchange(m_asked, {}))
                m_store->answer(question, m_options.folders);
            sweepWhenDue();
            takeNotices();
            writeWhatIsDue();
            for (const UncoveredFolder &unstored : m_store->takeUnstored())
                sayNotKeptCurrent(unstored);
            heartbeat();
            if (!m_trouble.isEmpty()) {
                say(QStringLiteral("the office index is written again"));
                m_trouble.clear();
            }
        } catch (const IndexError &error) {
            // a refusal that stays is said once; the indexer tries again quietly
            if (error.detail != m_trouble) {
                say(QStringLiteral("the office index is not available: %1; trying again every "
                                   "%2 s")
                        .arg(error.detail)
                        .arg(double(m_options.reconnectMs) / 1000));
            }
            m_trouble = error.detail;
            m_store.reset();
            m_asked.clear();
            m_pendingWritten.clear();
            m_unwatchedWritten.reset();
        }
    }
    // from now on no notice is taken in: desktops walk, without asking first
    try {
        for (const QByteArray &root : std::as_const(m_options.folders)) {
            if (m_store)
                m_store->putPending(root, false);
        }
    } catch (const IndexError &) {
        // the server is away: the heartbeat grows old all the same
    }
    return 0;
}

void OfficeIndexer::waitForNotice()
{
    // until the next folder is due, the next heartbeat, or a reconnect
    qint64 wake = m_lastBeat + m_options.heartbeatMs;
    for (const Due &change : std::as_const(m_due))
        wake = std::min(wake, change.when);
    for (const qint64 when : std::as_const(m_settling))
        wake = std::min(wake, when);
    wake = std::min(wake, m_store ? m_nextSweep : m_lastTry + m_options.reconnectMs);
    // a question that came with the answer to another statement waits already
    if (m_store)
        m_asked += m_store->questions();
    if (!m_asked.isEmpty())
        wake = 0;
    pollfd wait[] = {{m_watch.descriptor(), POLLIN, 0},
                     {m_store ? m_store->socket() : -1, POLLIN, 0}};
    ::poll(wait, 2, int(std::clamp<qint64>(wake - m_clock.elapsed(), 0, 1000)));
}

QByteArray OfficeIndexer::rootOf(const QByteArray &folder) const
{
    for (const QByteArray &root : m_options.folders) {
        if (isInside(folder, root))
            return root;
    }
    return {};
}

void OfficeIndexer::takeNotices()
{
    const FolderWatch::Changes changes = m_watch.read();
    // the first notice counts: a folder written to without pause is still written soon
    const qint64 when = m_clock.elapsed() + m_options.quietMs;
    const auto dueFor = [&](const QByteArray &folder) -> Due * {
        if (rootOf(folder).isNull())
            return nullptr;
        auto change = m_due.find(folder);
        if (change == m_due.end())
            change = m_due.insert(folder, Due{when, {}, false});
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
        m_due.remove(folder);
        m_gone.insert(folder);
    }
    if (changes.overflowed) {
        m_nextSweep = 0;
        m_overflowed = true;
    }
    if (!m_store)
        return;
    // Desktops learn that a change is pending the moment its notice is taken, not once it is
    // written: until then they walk.
    for (const QByteArray &root : std::as_const(m_options.folders)) {
        if (changes.overflowed || (!m_pendingWritten.contains(root) && !caughtUp(root))) {
            m_store->putPending(root, m_overflowed);
            m_pendingWritten.insert(root);
        }
    }
}

bool OfficeIndexer::reconnect()
{
    if (m_store)
        return true;
    if (m_clock.elapsed() - m_lastTry < m_options.reconnectMs)
        return false;
    m_lastTry = m_clock.elapsed();
    m_store = std::make_unique<PostgresStore>(m_options.connection, PostgresStore::Mode::Write,
                                              writeDeadlineMs);
    if (m_trouble.isEmpty())
        say(QStringLiteral("connected to the office index"));
    // what changed while the server was away is found by a sweep
    m_nextSweep = 0;
    return true;
}

void OfficeIndexer::writeUnwatched()
{
    const QMap<QByteArray, QString> &unwatched = m_watch.unwatched();
    if (m_unwatchedWritten == unwatched)
        return;
    QList<UncoveredFolder> folders;
    qsizetype told = 0;
    for (auto folder = unwatched.cbegin(); folder != unwatched.cend(); ++folder) {
        folders.append({folder.key(), folder.value()});
        if (m_unwatchedWritten && m_unwatchedWritten->value(folder.key()) == folder.value())
            continue;
        if (++told <= unwatchedNamed)
            sayNotKeptCurrent(folders.constLast());
    }
    if (told > unwatchedNamed)
        say(QStringLiteral("and %1 more folders not kept current").arg(told - unwatchedNamed));
    m_store->beginBatch();
    m_store->putUnwatched(m_options.folders, folders);
    m_store->commitBatch();
    m_unwatchedWritten = unwatched;
}

void OfficeIndexer::sayNotKeptCurrent(const UncoveredFolder &folder)
{
    say(QStringLiteral("not kept current, desktops read it themselves: %1: %2")
            .arg(QString::fromLocal8Bit(folder.folder), folder.reason));
}

void OfficeIndexer::sweepWhenDue()
{
    if (m_clock.elapsed() < m_nextSweep)
        return;
    for (const QByteArray &root : std::as_const(m_options.folders)) {
        m_store->beginBatch();
        m_store->putWatch(root, false);
        m_store->commitBatch();
        QElapsedTimer sweep;
        sweep.start();
        const UpdateResult result = IndexUpdate(*m_store, m_update).update(root);
        m_store->putRoot(rootFacts(root, sweep.elapsed()));
        say(QStringLiteral("swept %1: %2 files, %3 read, %4 gone%5")
                .arg(QString::fromLocal8Bit(root))
                .arg(result.progress.files)
                .arg(result.progress.filesRead)
                .arg(result.removed)
                .arg(result.complete ? QString() : QStringLiteral(", not every folder listed")));
    }
    m_store->refreshStatistics();
    m_nextSweep = m_clock.elapsed() + m_options.sweepIntervalMs;
    // what the lost notices did not tell, the sweep found; a loss during it is taken next
    m_overflowed = false;
    // the first sweep may have read files written just before the watch began, of which no
    // notice comes: every folder is looked at again once they settled
    const qint64 settled = m_clock.elapsed() + m_update.unsettledMarginNs / 1000000 + 50;
    for (const QByteArray &folder : std::as_const(m_firstWatched))
        m_settling.insert(folder, settled);
    m_firstWatched.clear();
}

void OfficeIndexer::writeWhatIsDue()
{
    const qint64 now = m_clock.elapsed();
    // a folder's parent first, so that a new tree is recorded from the top
    std::map<QByteArray, Due> ready;
    for (auto change = m_due.begin(); change != m_due.end();) {
        if (change.value().when > now) {
            ++change;
            continue;
        }
        ready.insert_or_assign(change.key(), std::move(change.value()));
        change = m_due.erase(change);
    }
    for (auto entry = m_settling.begin(); entry != m_settling.end();) {
        if (entry.value() > now) {
            ++entry;
            continue;
        }
        ready[entry.key()].whole = true;
        entry = m_settling.erase(entry);
    }
    if (ready.empty() && m_gone.isEmpty())
        return;
    m_store->beginBatch();
    for (const QByteArray &folder : std::as_const(m_gone))
        dropFolderRecords(*m_store, folder);
    QByteArrayList unsettled;
    for (const auto &[folder, change] : ready) {
        const FolderRefresh refresh = change.whole
                                          ? refreshFolder(*m_store, folder, m_update)
                                          : refreshFiles(*m_store, folder, change.names, m_update);
        if (refresh.unsettled)
            unsettled.append(folder);
        if (!refresh.unlisted.isEmpty()) {
            say(QStringLiteral("cannot be listed, its records kept: %1: %2")
                    .arg(QString::fromLocal8Bit(folder), refresh.unlisted));
        }
    }
    m_store->commitBatch();
    m_gone.clear();
    const qint64 settled = m_clock.elapsed() + m_update.unsettledMarginNs / 1000000 + 50;
    for (const QByteArray &folder : std::as_const(unsettled))
        m_settling.insert(folder, settled);
    // desktops learn at once that what was pending is written
    m_lastBeat = -m_options.heartbeatMs;
}

bool OfficeIndexer::caughtUp(const QByteArray &root) const
{
    // a file waiting to settle is read by every search meanwhile
    const auto under = [&](const QByteArray &folder) { return isInside(folder, root); };
    return m_nextSweep > 0 && !m_overflowed &&
           std::none_of(m_due.keyBegin(), m_due.keyEnd(), under) &&
           std::none_of(m_gone.cbegin(), m_gone.cend(), under);
}

void OfficeIndexer::heartbeat()
{
    if (m_clock.elapsed() - m_lastBeat < m_options.heartbeatMs)
        return;
    // what came in while the changes were written is pending, not caught up with
    takeNotices();
    m_store->beginBatch();
    for (const QByteArray &root : std::as_const(m_options.folders))
        m_store->putWatch(root, caughtUp(root));
    m_store->commitBatch();
    for (const QByteArray &root : std::as_const(m_options.folders)) {
        if (caughtUp(root))
            m_pendingWritten.remove(root);
    }
    m_lastBeat = m_clock.elapsed();
}
