#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

namespace platform {

// The machine's volumes, as a drive list offers them: "/" first, then the mount points of the
// mounted file systems that hold files, each once, in path order. Paths are bytes.
QByteArrayList mountedVolumes();

// The same, from a text in the form of /proc/self/mounts.
QByteArrayList volumesFromMounts(QByteArrayView mounts);

// The volume that holds the folder: the longest volume path that is the folder itself or a folder
// above it; "/" when none is.
QByteArray volumeOf(const QByteArray &folder, const QByteArrayList &volumes);

// Whether the folder is "/" or the root of a file system mounted there (one of any kind: /proc is
// one too); false when it cannot be looked at.
bool isFileSystemRoot(const QByteArray &folder);

} // namespace platform
