#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <cstdint>

// The kernel's notice of changes (inotify) in every folder of the trees watched: which folders
// and files changed since the last look. A folder made in or moved into a tree is watched from
// then on. Links to folders are not followed: a link that leads outside the trees is named
// among the folders no notice covers, as is every folder the kernel refused to watch.
class FolderWatch
{
public:
    // Asks the kernel to watch a folder, as inotify_add_watch does: a test stands in for a
    // refusal, which a real kernel gives only with its table full.
    using AddWatch = int (*)(int descriptor, const char *path, uint32_t events);

    // roots: canonical, the trees to be watched
    explicit FolderWatch(QByteArrayList roots, AddWatch addWatch = nullptr);
    ~FolderWatch();
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;

    // to wait on with poll(); -1 when the kernel gave no watch
    int descriptor() const { return m_descriptor; }

    // Watches the folder and every folder under it; returns them all (each ending without "/").
    QByteArrayList addTree(const QByteArray &folder);

    // The folders under the roots whose changes no notice tells of, and why.
    const QMap<QByteArray, QString> &unwatched() const { return m_unwatched; }

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
    void watch(const QByteArray &folder, int open);
    // An entry of the open folder that may be a link: named when it leads to a folder outside
    // the roots.
    void noteLink(int folder, const QByteArray &path, const char *name);
    void forget(const QByteArray &folder);

    QByteArrayList m_roots;
    AddWatch m_addWatch;
    int m_descriptor = -1;
    int m_noticeError = 0; // why the kernel gave no descriptor
    QHash<int, QByteArray> m_paths;
    QHash<QByteArray, int> m_watches;
    QMap<QByteArray, QString> m_unwatched;
};
