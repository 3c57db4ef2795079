#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

struct Candidate;
struct stat;
namespace platform {
class OpenFolder;
}

// What tells whether a file changed since it was recorded. The change time catches a copy that
// keeps an old modification time (cp -p, touch -d); the inode a file replaced by another of the
// same size and times.
struct FileSignature
{
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 inode = 0;

    bool operator==(const FileSignature &) const = default;
};

// Of what the file system told of a regular file.
FileSignature signatureOf(const struct stat &status);
// Following symbolic links, as a search does; none when the path cannot be looked up.
std::optional<FileSignature> signatureOf(const QByteArray &path);
// The same for a file by its name in an open folder.
std::optional<FileSignature> signatureOf(const platform::OpenFolder &folder, const char *name);
// The same for a candidate of a walk, by its name in its open folder when it has one.
std::optional<FileSignature> signatureOf(const Candidate &candidate);

// A file changed this close to (or after) the moment its record began may change again within
// the same timestamp tick without its signature showing it.
bool isUnsettled(const FileSignature &signature, qint64 recordStartNs, qint64 marginNs);

// The clock the kernel stamps files with, in nanoseconds since the epoch.
qint64 fileClockNs();
