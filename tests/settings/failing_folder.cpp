#include "settings/failing_folder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

// Mounts made from here on are seen by this process alone.
QString enterPrivateMountNamespace()
{
    static const QString error = []() -> QString {
        if (::unshare(CLONE_NEWNS) != 0)
            return systemError("unshare");
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return systemError("mount --make-rprivate /");
        return QString();
    }();
    return error;
}

// Writes until the file system has no room left.
bool fill(const QByteArray &folder)
{
    const int file = ::open((folder + "/filler").constData(), O_WRONLY | O_CREAT, 0600);
    if (file < 0)
        return false;
    const QByteArray block(4096, 'x');
    while (::write(file, block.constData(), size_t(block.size())) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(file);
    return full;
}

} // namespace

FailingFolder::FailingFolder(const QString &folder, Kind kind)
    : m_folder(QFile::encodeName(folder))
{
    QDir().mkpath(folder);
    if (::geteuid() != 0) {
        if (kind == Kind::Full) {
            m_unavailable = QStringLiteral("only root can make a full file system");
            return;
        }
        m_locked = ::chmod(m_folder.constData(), 0500) == 0;
        if (!m_locked)
            m_unavailable = systemError("chmod");
        return;
    }
    m_unavailable = enterPrivateMountNamespace();
    if (!m_unavailable.isEmpty())
        return;
    const unsigned long flags = kind == Kind::ReadOnly ? MS_RDONLY : 0;
    if (::mount("tmpfs", m_folder.constData(), "tmpfs", flags, "size=4k") != 0) {
        m_unavailable = systemError("mount tmpfs");
        return;
    }
    m_mounted = true;
    if (kind == Kind::Full && !fill(m_folder))
        m_unavailable = QStringLiteral("the small file system did not fill up");
}

FailingFolder::~FailingFolder()
{
    if (m_mounted)
        ::umount2(m_folder.constData(), MNT_DETACH);
    if (m_locked)
        ::chmod(m_folder.constData(), 0700);
}
