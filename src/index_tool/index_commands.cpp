#include "index_tool/index_commands.h"

#include "index/index_location.h"
#include "index/index_update.h"
#include "index/sqlite_store.h"
#include "platform/system_error.h"
#include "platform/volumes.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>

namespace {

constexpr int exitDone = 0;
constexpr int exitTrouble = 2;
constexpr qint64 progressIntervalMs = 200;

std::atomic<bool> stopRequested{false};

void requestStop(int)
{
    stopRequested = true;
}

void complain(const QByteArray &subject, const QString &reason)
{
    std::fprintf(stderr, "spurwerk-index: %s: %s\n", subject.constData(),
                 reason.toLocal8Bit().constData());
}

void say(const QString &text)
{
    std::fprintf(stderr, "spurwerk-index: %s\n", text.toLocal8Bit().constData());
}

QString problemText(IndexError::Problem problem)
{
    switch (problem) {
    case IndexError::Problem::Missing:
        return QStringLiteral("no index");
    case IndexError::Problem::Damaged:
        return QStringLiteral("the index is damaged");
    case IndexError::Problem::Locked:
        return QStringLiteral("the index is locked");
    case IndexError::Problem::Newer:
        return QStringLiteral("the index was written by a newer version");
    case IndexError::Problem::DiskFull:
        return QStringLiteral("the disk is full");
    case IndexError::Problem::Failed:
        break;
    }
    return QStringLiteral("the index cannot be written");
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

QString when(qint64 ms)
{
    return ms == 0
               ? QStringLiteral("never")
               : QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// On a terminal: files, bytes, rate and, from the last update's count, the time left.
class ProgressLine
{
public:
    ProgressLine(qint64 filesBefore)
        : m_filesBefore(filesBefore)
        , m_shown(isatty(STDERR_FILENO) != 0)
    {}
    ~ProgressLine() { clear(); }

    // Before a message, which would otherwise be glued onto the line.
    void clear()
    {
        if (std::exchange(m_drawn, false))
            std::fputs("\r\033[K", stderr);
    }

    void show(const UpdateProgress &progress)
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (!m_shown || now - m_lastMs < progressIntervalMs)
            return;
        m_lastMs = now;
        const double seconds = std::max<double>(0.001, double(now - m_startMs) / 1000);
        QString line = QStringLiteral("%1 files, %2 read (%3), %4/s")
                           .arg(progress.files)
                           .arg(progress.filesRead)
                           .arg(megabytes(progress.bytesRead))
                           .arg(megabytes(qint64(double(progress.bytesRead) / seconds)));
        if (m_filesBefore > progress.files && progress.files > 0) {
            const qint64 left =
                qint64(seconds * double(m_filesBefore - progress.files) / double(progress.files));
            line += QStringLiteral(", about %1 s left").arg(left);
        }
        std::fprintf(stderr, "\r%s\033[K", line.toLocal8Bit().constData());
        m_drawn = true;
    }

private:
    qint64 m_filesBefore;
    bool m_shown;
    bool m_drawn = false;
    qint64 m_startMs = QDateTime::currentMSecsSinceEpoch();
    qint64 m_lastMs = 0;
};

// Whether the lock file could be made; if not, says why: a read-only file system, say, and not
// another update, holds the update back.
bool lockable(const UpdateLock &lock, const QByteArray &indexFile)
{
    if (lock.error() == 0)
        return true;
    complain(indexFile.left(indexFile.lastIndexOf('/')),
             QStringLiteral("the index's folder cannot be written: ") +
                 platform::systemErrorText(lock.error()));
    return false;
}

qint64 filesBefore(IndexStore &store, const QByteArray &folder)
{
    for (const IndexedFolder &known : store.folders()) {
        if (known.path == folder)
            return known.files;
    }
    return 0;
}

} // namespace

int updateFolders(const QByteArray &indexFile, const QByteArrayList &folders, qint64 settleSeconds)
{
    if (folders.isEmpty()) {
        say(QStringLiteral("no folders to update"));
        return exitDone;
    }
    UpdateLock lock(indexFile);
    if (!lockable(lock, indexFile))
        return exitTrouble;
    if (!lock.tryLock()) {
        say(QStringLiteral("another update is running; waiting for it to end"));
        if (!lock.lock()) {
            complain(indexFile + ".lock", QStringLiteral("cannot be locked"));
            return exitTrouble;
        }
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    int status = exitDone;
    try {
        QString rebuilt;
        const std::unique_ptr<SqliteStore> store = SqliteStore::openForUpdate(indexFile, rebuilt);
        if (!rebuilt.isEmpty())
            say(rebuilt);
        for (const QByteArray &given : folders) {
            const QByteArray folder = canonicalFolder(given);
            if (folder.isEmpty() || !QFileInfo(QFile::decodeName(folder)).isDir()) {
                complain(given, QStringLiteral("not a folder"));
                status = exitTrouble;
                continue;
            }
            ProgressLine line(filesBefore(*store, folder));
            IndexUpdate::Options options;
            options.unsettledMarginNs = settleSeconds * 1'000'000'000;
            options.progress = [&](const UpdateProgress &progress) { line.show(progress); };
            options.stopRequested = [] { return stopRequested.load(); };
            IndexUpdate update(*store, options);
            const UpdateResult result = update.update(folder);
            line.clear();
            if (result.previousUnfinished)
                say(QString::fromLocal8Bit(folder) +
                    QStringLiteral(": the update before did not finish; this one went on from "
                                   "what it had recorded"));
            for (const auto &[unlisted, reason] : result.unlisted)
                complain(unlisted, QStringLiteral("cannot be listed: ") + reason);
            if (!result.unlisted.isEmpty())
                status = exitTrouble;
            say(QStringLiteral("%1: %2 files, %3 read (%4), %5 records of files that are gone "
                               "dropped")
                    .arg(QString::fromLocal8Bit(folder))
                    .arg(result.progress.files)
                    .arg(result.progress.filesRead)
                    .arg(megabytes(result.progress.bytesRead))
                    .arg(result.removed));
            if (stopRequested) {
                say(QStringLiteral("stopped; the next 'spurwerk-index update' goes on from here"));
                return exitTrouble;
            }
        }
    } catch (const IndexError &error) {
        complain(indexFile, problemText(error.problem) + QStringLiteral(" (") + error.detail +
                                QStringLiteral("); what earlier batches wrote is kept"));
        return exitTrouble;
    }
    return status;
}

int updateIndexedFolders(const QByteArray &indexFile, qint64 settleSeconds)
{
    QByteArrayList folders;
    if (QFile::exists(QFile::decodeName(indexFile))) {
        try {
            SqliteStore store(indexFile, SqliteStore::Mode::Read);
            for (const IndexedFolder &folder : store.folders())
                folders.append(folder.path);
        } catch (const IndexError &error) {
            complain(indexFile,
                     problemText(error.problem) + QStringLiteral(" (") + error.detail +
                         QStringLiteral("); 'spurwerk-index update FOLDER' rebuilds it"));
            return exitTrouble;
        }
    }
    if (folders.isEmpty()) {
        say(QStringLiteral("no folder is indexed yet; 'spurwerk-index update FOLDER' indexes one"));
        return exitDone;
    }
    return updateFolders(indexFile, folders, settleSeconds);
}

int updateEditorFolders(const QByteArray &indexFile, const QByteArrayList &savedFolders,
                        qint64 settleSeconds)
{
    QByteArrayList folders;
    for (const QByteArray &saved : savedFolders) {
        if (platform::isFileSystemRoot(canonicalFolder(saved))) {
            complain(saved, QStringLiteral("left out, as the root of a file system is indexed only "
                                           "when named: spurwerk-index update ") +
                                QString::fromLocal8Bit(saved));
        } else {
            folders.append(saved);
        }
    }
    return updateFolders(indexFile, folders, settleSeconds);
}

int showStatus(const QByteArray &indexFile)
{
    if (!QFile::exists(QFile::decodeName(indexFile))) {
        std::printf("no index yet (%s)\n", indexFile.constData());
        return exitDone;
    }
    try {
        SqliteStore store(indexFile, SqliteStore::Mode::Read);
        qint64 files = 0;
        qint64 bytes = 0;
        for (const IndexedFolder &folder : store.folders()) {
            std::printf("%s\t%lld files\t%s\tupdated %s%s\n", folder.path.constData(), folder.files,
                        megabytes(folder.bytes).toLocal8Bit().constData(),
                        when(folder.updatedMs).toLocal8Bit().constData(),
                        folder.complete ? "" : "\t(last update unfinished)");
            files += folder.files;
            bytes += folder.bytes;
        }
        std::printf("index %s: %lld files, %s indexed, %s on disk\n", indexFile.constData(), files,
                    megabytes(bytes).toLocal8Bit().constData(),
                    megabytes(store.sizeOnDisk()).toLocal8Bit().constData());
    } catch (const IndexError &error) {
        complain(indexFile, problemText(error.problem) + QStringLiteral(" (") + error.detail +
                                QStringLiteral(")"));
        return exitTrouble;
    }
    return exitDone;
}

int forgetFolder(const QByteArray &indexFile, const QByteArray &given)
{
    if (!QFile::exists(QFile::decodeName(indexFile))) {
        complain(given, QStringLiteral("not an indexed folder"));
        return exitTrouble;
    }
    UpdateLock lock(indexFile);
    if (!lockable(lock, indexFile))
        return exitTrouble;
    lock.lock();
    try {
        SqliteStore store(indexFile, SqliteStore::Mode::Write);
        const QByteArray canonical = canonicalFolder(given);
        const QList<IndexedFolder> folders = store.folders();
        const QByteArray folder = canonical.isEmpty() ? given : canonical;
        bool known = false;
        bool covered = false;
        for (const IndexedFolder &indexed : folders) {
            known = known || indexed.path == folder;
            covered = covered || (indexed.path != folder && isInside(folder, indexed.path));
        }
        if (!known) {
            complain(given, QStringLiteral("not an indexed folder"));
            return exitTrouble;
        }
        store.beginBatch();
        // the records of a folder inside another indexed one still serve that one
        store.removeFolder(folder, !covered);
        store.commitBatch();
    } catch (const IndexError &error) {
        complain(indexFile, problemText(error.problem) + QStringLiteral(" (") + error.detail +
                                QStringLiteral(")"));
        return exitTrouble;
    }
    return exitDone;
}
