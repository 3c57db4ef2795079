#include "platform/text_file.h"

#include "platform/system_error.h"

#include <QRandomGenerator>

#include <algorithm>
#include <climits>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

void CrLfText::addLine(const QString &text)
{
    addLine(text.toLocal8Bit());
}

void CrLfText::addLine(const QByteArray &bytes)
{
    m_bytes += bytes;
    m_bytes += "\r\n";
}

namespace {

FileWriteResult failure(int error)
{
    return {false, systemErrorText(error), error};
}

bool writeAll(int descriptor, const QByteArray &contents)
{
    qsizetype done = 0;
    while (done < contents.size()) {
        const ssize_t written =
            ::write(descriptor, contents.constData() + done, size_t(contents.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        done += written;
    }
    return true;
}

// Writes everything and brings it to disk; false with errno when that failed.
bool writeAllToDisk(int descriptor, const QByteArray &contents)
{
    return writeAll(descriptor, contents) && (::fdatasync(descriptor) == 0 || errno == EINVAL);
}

// Closes a file that was being written: whether all of it went well, with errno of the first
// failure in error.
bool closeWritten(int descriptor, bool written, int &error)
{
    error = errno;
    if (::close(descriptor) != 0 && written) {
        error = errno;
        return false;
    }
    return written;
}

// The folder part of a path, "." for a bare name.
QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// A file being written goes by the target's name with this and eight letters or digits after it,
// so that one left behind by a save that was killed is recognised as ours at the next one.
constexpr char temporaryMark[] = ".spurwerk-";
constexpr qsizetype temporaryRandomLength = 8;

bool isTemporaryOf(const QByteArray &name, const QByteArray &targetName)
{
    const QByteArray prefix = targetName + temporaryMark;
    if (name.size() != prefix.size() + temporaryRandomLength || !name.startsWith(prefix))
        return false;
    return std::all_of(name.cbegin() + prefix.size(), name.cend(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

// Removes the target's temporary files that no save is writing any more: a save holds a lock on
// its temporary file until it is renamed, and the kernel drops the lock of a killed process. A
// file the system cannot lock, or that is not ours, stays.
void removeStaleTemporaries(const QByteArray &target)
{
    const QByteArray folder = folderOf(target);
    const QByteArray targetName = target.sliced(target.lastIndexOf('/') + 1);
    DIR *const listing = ::opendir(folder.constData());
    if (!listing)
        return;
    const int folderDescriptor = ::dirfd(listing);
    while (const dirent *entry = ::readdir(listing)) {
        if (!isTemporaryOf(entry->d_name, targetName))
            continue;
        const int descriptor = ::openat(folderDescriptor, entry->d_name,
                                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (descriptor < 0)
            continue;
        struct stat opened;
        struct stat named;
        if (::fstat(descriptor, &opened) == 0 && S_ISREG(opened.st_mode) &&
            opened.st_uid == ::geteuid() && ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(folderDescriptor, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            ::unlinkat(folderDescriptor, entry->d_name, 0);
        ::close(descriptor);
    }
    ::closedir(listing);
}

// A new file beside the target, under a name nobody else has taken, locked as being written;
// -1 with errno when none.
int createBeside(const QByteArray &path, mode_t mode, QByteArray &created)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        constexpr quint64 names = 2821109907456; // 36 to the power of 8
        created = path + temporaryMark +
                  QByteArray::number(QRandomGenerator::global()->bounded(names), 36)
                      .rightJustified(temporaryRandomLength, '0');
        const int descriptor =
            ::open(created.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (descriptor < 0 && errno == EEXIST)
            continue;
        if (descriptor < 0)
            return -1;
        // A file system without locks leaves it unlocked. A removal of stale temporaries that
        // came between the open and the lock has taken this one: make another.
        struct stat status;
        if (::flock(descriptor, LOCK_EX) != 0 ||
            (::fstat(descriptor, &status) == 0 && status.st_nlink > 0))
            return descriptor;
        ::close(descriptor);
    }
    errno = EEXIST;
    return -1;
}

// The name to replace: the path, or where the symbolic link at the path leads, whether that file
// exists yet or not. Nothing with errno for a circle of links.
std::optional<QByteArray> replacedName(const QByteArray &path)
{
    if (char *const resolved = ::realpath(path.constData(), nullptr)) {
        const QByteArray target(resolved);
        std::free(resolved);
        return target;
    }
    if (errno == ELOOP)
        return std::nullopt;
    // A link that leads to no file yet is followed link by link to the name the file will have.
    QByteArray target = path;
    for (int links = 0; links < 40; ++links) {
        struct stat status;
        if (::lstat(target.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return target;
        QByteArray next(status.st_size > 0 ? status.st_size + 1 : PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(target.constData(), next.data(), size_t(next.size()));
        if (length < 0 || length == next.size())
            return target;
        next.truncate(length);
        target = next.startsWith('/') ? next : folderOf(target) + '/' + next;
    }
    errno = ELOOP;
    return std::nullopt;
}

} // namespace

FileWriteResult replaceFile(const QByteArray &path, const QByteArray &contents)
{
    const std::optional<QByteArray> name = replacedName(path);
    if (!name)
        return failure(errno);
    const QByteArray &target = *name;
    struct stat existing;
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        return failure(errno);
    // A new file gets what the user's umask allows, as any file the program creates.
    const mode_t mode = exists ? (existing.st_mode & 07777) : 0666;

    removeStaleTemporaries(target);
    QByteArray temporary;
    const int descriptor = createBeside(target, mode, temporary);
    if (descriptor < 0)
        return failure(errno);
    // holds the lock on the temporary file until it has its final name
    const int lockHolder = ::dup(descriptor);
    int error = 0;
    bool written = closeWritten(descriptor,
                                (!exists || ::fchmod(descriptor, mode) == 0) &&
                                    writeAllToDisk(descriptor, contents),
                                error);
    if (written && ::rename(temporary.constData(), target.constData()) != 0) {
        written = false;
        error = errno;
    }
    if (!written)
        ::unlink(temporary.constData());
    if (lockHolder >= 0)
        ::close(lockHolder);
    if (!written)
        return failure(error);
    return {true, {}};
}

FileWriteResult writeNewFile(const QByteArray &path, const QByteArray &contents)
{
    const int descriptor =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (descriptor < 0)
        return failure(errno);
    int error = 0;
    if (!closeWritten(descriptor, writeAllToDisk(descriptor, contents), error)) {
        ::unlink(path.constData());
        return failure(error);
    }
    return {true, {}};
}

int makeFolders(const QByteArray &path)
{
    struct stat existing;
    if (path.isEmpty() || ::stat(path.constData(), &existing) == 0)
        return 0;
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0) {
        if (const int error = makeFolders(path.left(slash)))
            return error;
    }
    return ::mkdir(path.constData(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

} // namespace platform
