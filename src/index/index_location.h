#pragma once

#include <QByteArray>

// The index file: $XDG_CACHE_HOME/spurwerk/index.sqlite, on the local disk.
QByteArray indexFile();

// The folder as the index keys it: absolute, links resolved, without a trailing "/" (but "/");
// empty when it cannot be resolved.
QByteArray canonicalFolder(const QByteArray &folder);

// The key of a folder's record: the folder without its trailing "/" (but "/").
QByteArray folderKey(const QByteArray &folder);

// The folder with its trailing "/": what the paths inside it begin with.
QByteArray folderPrefix(const QByteArray &folder);
// The first path after every path inside the folder: "/a/" + anything sorts below "/a0".
QByteArray folderPrefixEnd(const QByteArray &folder);

// Whether path is folder or lies inside it; both canonical.
bool isInside(const QByteArray &path, const QByteArray &folder);

// Held by an update, so that a second one waits for it or learns that it runs.
class UpdateLock
{
public:
    explicit UpdateLock(const QByteArray &indexFile);
    ~UpdateLock();
    UpdateLock(const UpdateLock &) = delete;
    UpdateLock &operator=(const UpdateLock &) = delete;

    // 0, or why the lock file cannot be made (an errno): then the index's folder cannot be written.
    int error() const { return m_error; }
    // False when another update holds the lock (or the lock file cannot be made).
    bool tryLock();
    // Waits until the other update has ended; false when the lock file cannot be made.
    bool lock();

private:
    int m_descriptor = -1;
    int m_error = 0;
};
