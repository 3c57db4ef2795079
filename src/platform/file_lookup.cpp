#include "platform/file_lookup.h"

#include <cerrno>
#include <sys/stat.h>

namespace platform {

namespace {

bool nameBeginsWithDot(const QByteArray &path)
{
    const qsizetype nameStart = path.lastIndexOf('/') + 1;
    return nameStart < path.size() && path.at(nameStart) == '.';
}

} // namespace

FileLookup lookupFile(const QByteArray &path)
{
    if (nameBeginsWithDot(path))
        return {FileKind::Hidden};
    struct stat status;
    if (::stat(path.constData(), &status) != 0) {
        const int error = errno;
        struct stat link;
        if (::lstat(path.constData(), &link) == 0)
            return {FileKind::System};
        return {FileKind::Inaccessible, error};
    }
    if (S_ISDIR(status.st_mode))
        return {FileKind::Folder};
    if (!S_ISREG(status.st_mode))
        return {FileKind::System};
    return {FileKind::Ordinary};
}

std::optional<qint64> fileSize(const QByteArray &path)
{
    struct stat status;
    if (::stat(path.constData(), &status) != 0)
        return std::nullopt;
    return status.st_size;
}

std::optional<QDateTime> modificationTime(const QByteArray &path)
{
    struct stat status;
    if (::stat(path.constData(), &status) != 0)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(status.st_mtim.tv_sec) * 1000 +
                                          status.st_mtim.tv_nsec / 1000000);
}

bool isFolder(const QByteArray &path)
{
    struct stat status;
    return ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<FolderIdentity> folderIdentity(const QByteArray &path)
{
    struct stat status;
    if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    return FolderIdentity{status.st_dev, status.st_ino};
}

} // namespace platform
