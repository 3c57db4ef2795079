#include "index/index_location.h"

#include "platform/text_file.h"
#include "platform/user_folders.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QByteArray indexFile()
{
    return QFile::encodeName(platform::cacheHome()) + "/spurwerk/index.sqlite";
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
    m_error = platform::makeFolders(lockFile.left(lockFile.lastIndexOf('/')));
    if (m_error != 0)
        return;
    m_descriptor = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_descriptor < 0)
        m_error = errno;
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
