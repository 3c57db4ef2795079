#include "indexd/folder_watch.h"

#include "index/index_location.h"
#include "platform/file_lookup.h"
#include "platform/long_path.h"
#include "platform/system_error.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t watchedEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR |
                                   IN_EXCL_UNLINK;

bool isInsideOrAt(const QByteArray &path, const QByteArray &folder)
{
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == '/') ||
           (folder == "/" && path.startsWith('/'));
}

QString refusal(int error)
{
    if (error == ENOSPC) {
        return QStringLiteral("the kernel refused to watch it: its table of watches is full "
                              "(raise fs.inotify.max_user_watches)");
    }
    return QStringLiteral("the kernel refused to watch it: ") + platform::systemErrorText(error);
}

// The canonical path of an open descriptor; empty when the kernel cannot tell it whole.
QByteArray pathOf(int descriptor)
{
    char path[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(descriptor);
    const ssize_t length = ::readlink(link.constData(), path, sizeof path);
    return length > 0 && length < ssize_t(sizeof path) ? QByteArray(path, length) : QByteArray();
}

} // namespace

FolderWatch::FolderWatch(QByteArrayList roots, AddWatch addWatch)
    : m_roots(std::move(roots))
    , m_addWatch(addWatch ? addWatch : &::inotify_add_watch)
    , m_descriptor(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    , m_noticeError(m_descriptor < 0 ? errno : 0)
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
        added.append(current);
        // opened, not named: a path longer than the kernel takes is watched and listed all the
        // same
        const int open = platform::openPath(current, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (open < 0)
            continue;
        watch(current, open);
        DIR *entries = ::fdopendir(open);
        if (!entries) {
            ::close(open);
            continue;
        }
        while (const dirent *entry = ::readdir(entries)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            unsigned char type = entry->d_type;
            struct stat status;
            if (type == DT_UNKNOWN &&
                ::fstatat(dirfd(entries), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISLNK(status.st_mode) ? DT_LNK : 0;
            if (type == DT_DIR)
                toVisit.append(platform::inFolder(current, name));
            else if (type == DT_LNK)
                noteLink(dirfd(entries), current, entry->d_name);
        }
        ::closedir(entries);
    }
    return added;
}

void FolderWatch::watch(const QByteArray &folder, int open)
{
    if (m_descriptor < 0) {
        // no notice at all: the roots are named, and all under them with them
        if (m_roots.contains(folder))
            m_unwatched.insert(folder, refusal(m_noticeError));
        return;
    }
    // The kernel takes a path of at most PATH_MAX bytes; the link of the open descriptor leads
    // to a deeper folder (and must then be followed).
    const bool named = folder.size() < PATH_MAX;
    const QByteArray path = named ? folder : "/proc/self/fd/" + QByteArray::number(open);
    const int watch =
        m_addWatch(m_descriptor, path.constData(), watchedEvents | (named ? IN_DONT_FOLLOW : 0));
    if (watch < 0) {
        m_unwatched.insert(folder, refusal(errno));
        return;
    }
    m_unwatched.remove(folder);
    m_paths.insert(watch, folder);
    m_watches.insert(folder, watch);
}

void FolderWatch::noteLink(int folder, const QByteArray &path, const char *name)
{
    const int target = ::openat(folder, name, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (target < 0)
        return;
    const QByteArray resolved = pathOf(target);
    ::close(target);
    if (!resolved.isEmpty() &&
        std::any_of(m_roots.cbegin(), m_roots.cend(),
                    [&](const QByteArray &root) { return isInside(resolved, root); }))
        return;
    m_unwatched.insert(platform::inFolder(path, QByteArray(name)),
                       QStringLiteral("a link to a folder outside the watched ones (%1): no "
                                      "notice tells of changes there")
                           .arg(QString::fromLocal8Bit(resolved)));
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
    for (auto unwatched = m_unwatched.begin(); unwatched != m_unwatched.end();) {
        if (isInsideOrAt(unwatched.key(), folder))
            unwatched = m_unwatched.erase(unwatched);
        else
            ++unwatched;
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
                // a link made or taken away may lead outside the trees
                const QByteArray path = platform::inFolder(folder, QByteArray(event->name));
                if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
                    m_unwatched.remove(path);
                } else if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                    const int open = platform::openPath(folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
                    if (open >= 0) {
                        noteLink(open, folder, event->name);
                        ::close(open);
                    }
                }
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
