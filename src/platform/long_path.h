#pragma once

#include <QByteArray>

struct stat;

namespace platform {

// open(2) and stat(2) for a path of any length. The kernel refuses paths of PATH_MAX bytes and
// more, yet a share may nest folders deeper than that; such a path is followed in pieces, each
// relative to the folder the piece before it led to. Both set errno as the system calls do.
int openPath(const QByteArray &path, int flags);
// flags: 0 follows a final symbolic link, AT_SYMLINK_NOFOLLOW does not
int statPath(const QByteArray &path, struct stat *status, int flags = 0);

} // namespace platform
