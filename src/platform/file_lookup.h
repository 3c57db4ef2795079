#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHashFunctions>
#include <optional>
#include <sys/types.h>

namespace platform {

// What a path names, as far as a content search cares. Only Ordinary files are ever opened:
// reading a FIFO could block forever, and opening a device can have side effects.
enum class FileKind
{
    Ordinary, // a regular file (also through a symbolic link) whose name does not begin with "."
    Hidden,   // a name that begins with "."
    Folder,
    System,       // anything else: FIFO, socket, device
    Inaccessible, // the path cannot be followed (removed, no access to a folder on the way, a
                  // symbolic link that leads nowhere or in a circle)
};

struct FileLookup
{
    FileKind kind = FileKind::Inaccessible;
    int error = 0; // errno, only when Inaccessible
};

// Where the last name of a path begins.
qsizetype nameStart(QByteArrayView path);
// The path of the name in the folder: the folder, "/" unless it ends with one, then the name.
QByteArray inFolder(const QByteArray &folder, QByteArrayView name);

// listed: what the listing of the path's folder said of the entry (never Hidden), so that the
// file system need not be asked again
FileLookup lookupFile(const QByteArray &path, const std::optional<FileLookup> &listed = {});
// The entry name in an open folder, as lookupFile gives it, but never Hidden.
FileLookup lookupEntry(int folder, const char *name);

// The size in bytes, following symbolic links; none when the path cannot be looked up.
std::optional<qint64> fileSize(const QByteArray &path);

// The last modification, following symbolic links; none when the path cannot be looked up.
std::optional<QDateTime> modificationTime(const QByteArray &path);

bool isFolder(const QByteArray &path);

// Tells one folder from another whatever path leads to it.
struct FolderIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderIdentity &) const = default;
};

inline size_t qHash(const FolderIdentity &identity, size_t seed = 0) noexcept
{
    return qHashMulti(seed, identity.device, identity.inode);
}

} // namespace platform
