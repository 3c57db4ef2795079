#include "indexd/folder_watch.h"

#include "platform/file_lookup.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t watchedEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DONT_FOLLOW |
                                   IN_ONLYDIR | IN_EXCL_UNLINK;

bool isInsideOrAt(const QByteArray &path, const QByteArray &folder)
{
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == '/') ||
           (folder == "/" && path.startsWith('/'));
}

} // namespace

FolderWatch::FolderWatch()
    : m_descriptor(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{}

FolderWatch::~FolderWatch()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

QByteArrayList FolderWatch::addTree(const QByteArray &folder)
{
    QByteArrayList added;
    // an explicit stack of folders to visit, as the walk keeps one
    QByteArrayList toVisit{folder};
    while (!toVisit.isEmpty()) {
        const QByteArray current = toVisit.takeLast();
        const int watch = m_descriptor < 0
                              ? -1
                              : inotify_add_watch(m_descriptor, current.constData(), watchedEvents);
        if (watch < 0) {
            m_refused.append(current);
        } else {
            m_paths.insert(watch, current);
            m_watches.insert(current, watch);
        }
        added.append(current);
        DIR *entries = ::opendir(current.constData());
        if (!entries)
            continue;
        while (const dirent *entry = ::readdir(entries)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = platform::inFolder(current, name);
            struct stat status;
            if (entry->d_type == DT_DIR ||
                (entry->d_type == DT_UNKNOWN && ::lstat(path.constData(), &status) == 0 &&
                 S_ISDIR(status.st_mode)))
                toVisit.append(path);
        }
        ::closedir(entries);
    }
    return added;
}

void FolderWatch::forget(const QByteArray &folder)
{
    for (auto watch = m_watches.begin(); watch != m_watches.end();) {
        if (isInsideOrAt(watch.key(), folder)) {
            inotify_rm_watch(m_descriptor, watch.value());
            m_paths.remove(watch.value());
            watch = m_watches.erase(watch);
        } else {
            ++watch;
        }
    }
}

FolderWatch::Changes FolderWatch::read()
{
    Changes changes;
    if (m_descriptor < 0)
        return changes;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_descriptor, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changes.overflowed = true;
                continue;
            }
            const auto found = m_paths.constFind(event->wd);
            if (found == m_paths.cend())
                continue;
            // a copy: forget() and addTree() below change the table
            const QByteArray folder = *found;
            if (event->mask & IN_IGNORED) {
                m_watches.remove(folder);
                m_paths.remove(event->wd);
                continue;
            }
            if (event->len > 0 && !(event->mask & IN_ISDIR)) {
                changes.files[folder].insert(QByteArray(event->name));
                continue;
            }
            // the folder's own attributes, or a sub-folder
            changes.changed.insert(folder);
            if (event->len == 0)
                continue;
            const QByteArray sub = platform::inFolder(folder, QByteArray(event->name));
            if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
                forget(sub);
                changes.gone.insert(sub);
            } else if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                changes.gone.remove(sub);
                for (const QByteArray &added : addTree(sub))
                    changes.changed.insert(added);
            }
        }
    }
    return changes;
}
