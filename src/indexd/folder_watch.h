#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QSet>

// The kernel's notice of changes (inotify) in every folder of the trees watched: which folders
// and files changed since the last look. A folder made in or moved into a tree is watched from
// then on. Links to folders are not followed: the indexer's sweeps cover what lies behind them.
class FolderWatch
{
public:
    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;

    // to wait on with poll(); -1 when the kernel gave no watch
    int descriptor() const { return m_descriptor; }

    // Watches the folder and every folder under it; returns them all (each ending without "/"),
    // and counts those the kernel refused (a full watch table) in refused().
    QByteArrayList addTree(const QByteArray &folder);
    qint64 refused() const { return m_refused.size(); }
    const QByteArrayList &refusedFolders() const { return m_refused; }

    struct Changes
    {
        // folders to look at whole: new ones with all in them, those whose sub-folders or own
        // attributes changed
        QSet<QByteArray> changed;
        QHash<QByteArray, QSet<QByteArray>> files; // by folder, the files a change was told of
        QSet<QByteArray> gone;   // folders removed or moved away, with all under them
        bool overflowed = false; // the kernel's queue ran over: changes were lost
    };
    // The events waiting now; does not block.
    Changes read();

private:
    void forget(const QByteArray &folder);

    int m_descriptor = -1;
    QHash<int, QByteArray> m_paths;
    QHash<QByteArray, int> m_watches;
    QByteArrayList m_refused;
};
