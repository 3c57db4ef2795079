#include "platform/file_lookup.h"

#include "platform/long_path.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

bool nameBeginsWithDot(const QByteArray &path)
{
    const qsizetype start = nameStart(path);
    return start < path.size() && path.at(start) == '.';
}

// statWith(status, flags) is stat or lstat of one entry, by AT_SYMLINK_NOFOLLOW in flags.
template<typename Stat> FileLookup classify(Stat statWith)
{
    struct stat status;
    // a symbolic link that leads nowhere, in a circle or into a locked folder counts as what
    // it is: a file or folder that cannot be reached
    if (statWith(&status, 0) != 0)
        return {FileKind::Inaccessible, errno};
    if (S_ISDIR(status.st_mode))
        return {FileKind::Folder};
    if (!S_ISREG(status.st_mode))
        return {FileKind::System};
    return {FileKind::Ordinary};
}

} // namespace

qsizetype nameStart(QByteArrayView path)
{
    // an empty view may have no data at all, which memrchr must not be given
    if (path.isEmpty())
        return 0;
    // memrchr reads the path a word at a time, backwards
    const void *slash = ::memrchr(path.data(), '/', size_t(path.size()));
    return slash ? static_cast<const char *>(slash) - path.data() + 1 : 0;
}

QByteArray inFolder(const QByteArray &folder, QByteArrayView name)
{
    QByteArray path = folder;
    if (!path.endsWith('/'))
        path.append('/');
    return path.append(name);
}

FileLookup lookupFile(const QByteArray &path, const std::optional<FileLookup> &listed)
{
    if (nameBeginsWithDot(path))
        return {FileKind::Hidden};
    if (listed)
        return *listed;
    return classify(
        [&path](struct stat *status, int flags) { return statPath(path, status, flags); });
}

FileLookup lookupEntry(int folder, const char *name)
{
    return classify([folder, name](struct stat *status, int flags) {
        return ::fstatat(folder, name, status, flags);
    });
}

std::optional<qint64> fileSize(const QByteArray &path)
{
    struct stat status;
    if (statPath(path, &status) != 0)
        return std::nullopt;
    return status.st_size;
}

std::optional<QDateTime> modificationTime(const QByteArray &path)
{
    struct stat status;
    if (statPath(path, &status) != 0)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(status.st_mtim.tv_sec) * 1000 +
                                          status.st_mtim.tv_nsec / 1000000);
}

bool isFolder(const QByteArray &path)
{
    struct stat status;
    return statPath(path, &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace platform
