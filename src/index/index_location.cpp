#include "index/index_location.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QByteArray indexFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/spurwerk");
    return QFile::encodeName(folder) + "/index.sqlite";
}

QByteArray canonicalFolder(const QByteArray &folder)
{
    char *resolved = realpath(folder.constData(), nullptr);
    if (!resolved)
        return {};
    const QByteArray canonical(resolved);
    std::free(resolved);
    return canonical;
}

QByteArray folderKey(const QByteArray &folder)
{
    return folder.size() > 1 && folder.endsWith('/') ? folder.chopped(1) : folder;
}

QByteArray folderPrefix(const QByteArray &folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

QByteArray folderPrefixEnd(const QByteArray &folder)
{
    QByteArray end = folderPrefix(folder);
    end.back() = char('/' + 1);
    return end;
}

bool isInside(const QByteArray &path, const QByteArray &folder)
{
    if (folder == "/")
        return path.startsWith('/');
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == '/');
}

UpdateLock::UpdateLock(const QByteArray &indexFile)
{
    const QByteArray lockFile = indexFile + ".lock";
    QDir().mkpath(QFile::decodeName(lockFile.left(lockFile.lastIndexOf('/'))));
    m_descriptor = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

UpdateLock::~UpdateLock()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool UpdateLock::tryLock()
{
    return m_descriptor >= 0 && flock(m_descriptor, LOCK_EX | LOCK_NB) == 0;
}

bool UpdateLock::lock()
{
    return m_descriptor >= 0 && flock(m_descriptor, LOCK_EX) == 0;
}
