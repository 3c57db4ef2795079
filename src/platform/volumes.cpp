#include "platform/volumes.h"

#include <QFile>

#include <algorithm>
#include <sys/stat.h>

namespace platform {

namespace {

// File systems that hold no files of their own: the kernel's views of processes, devices and
// control groups, and the automounter's triggers.
bool isPseudoFileSystem(QByteArrayView type)
{
    static const QByteArrayView pseudo[] = {
        "autofs", "binfmt_misc", "bpf",        "cgroup",     "cgroup2",   "configfs", "debugfs",
        "devpts", "devtmpfs",    "efivarfs",   "fusectl",    "hugetlbfs", "mqueue",   "nsfs",
        "proc",   "pstore",      "rpc_pipefs", "securityfs", "selinuxfs", "sysfs",    "tracefs",
    };
    return std::find(std::begin(pseudo), std::end(pseudo), type) != std::end(pseudo);
}

// The system's own places: the tmpfs mounts below them hold run-time state, not work.
bool isSystemPlace(const QByteArray &mountPoint)
{
    for (const char *place : {"/proc", "/sys", "/dev", "/run"}) {
        if (mountPoint == place || mountPoint.startsWith(QByteArray(place) + '/'))
            return !mountPoint.startsWith("/run/media/"); // where desktops mount media
    }
    return false;
}

// The mounts file writes blank, tab, new line and backslash in a name as \040, \011, \012, \134.
QByteArray decodeOctalEscapes(QByteArrayView field)
{
    QByteArray decoded;
    decoded.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](qsizetype at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            decoded.append(
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            decoded.append(field[i]);
        }
    }
    return decoded;
}

} // namespace

QByteArrayList mountedVolumes()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    // /proc files report no size: read to the end
    return volumesFromMounts(mounts.open(QIODevice::ReadOnly) ? mounts.readAll() : QByteArray());
}

QByteArrayList volumesFromMounts(QByteArrayView mounts)
{
    QByteArrayList volumes;
    for (const QByteArray &line : mounts.toByteArray().split('\n')) {
        // device, mount point, type, options, ...
        const QByteArrayList fields = line.split(' ');
        if (fields.size() < 3 || isPseudoFileSystem(fields.at(2)))
            continue;
        const QByteArray mountPoint = decodeOctalEscapes(fields.at(1));
        if (mountPoint.startsWith('/') && mountPoint != "/" && !isSystemPlace(mountPoint))
            volumes.append(mountPoint);
    }
    std::sort(volumes.begin(), volumes.end());
    volumes.erase(std::unique(volumes.begin(), volumes.end()), volumes.end());
    volumes.prepend("/");
    return volumes;
}

QByteArray volumeOf(const QByteArray &folder, const QByteArrayList &volumes)
{
    QByteArray found("/");
    for (const QByteArray &volume : volumes) {
        if (volume.size() > found.size() && (folder == volume || folder.startsWith(volume + '/')))
            found = volume;
    }
    return found;
}

bool isFileSystemRoot(const QByteArray &folder)
{
    struct stat own;
    struct stat above;
    const QByteArray parent = (folder.endsWith('/') ? folder : folder + '/') + "..";
    if (::stat(folder.constData(), &own) != 0 || ::stat(parent.constData(), &above) != 0)
        return false;
    // the root's ".." is itself
    return own.st_dev != above.st_dev || own.st_ino == above.st_ino;
}

} // namespace platform
