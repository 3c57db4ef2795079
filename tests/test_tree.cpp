#include "test_tree.h"

#include <QFile>
#include <QList>
#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void check(bool ok, const char *what, const QByteArray &path)
{
    if (!ok)
        qFatal("TestTree: %s %s: %s", what, path.constData(), std::strerror(errno));
}

void makeFolders(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1); slash >= 0; slash = path.indexOf('/', slash + 1))
        check(::mkdir(path.left(slash).constData(), 0755) == 0 || errno == EEXIST, "mkdir",
              path.left(slash));
    check(::mkdir(path.constData(), 0755) == 0 || errno == EEXIST, "mkdir", path);
}

// QDir cannot list names that are not valid UTF-8, so QTemporaryDir would leave them behind.
void removeAll(const QByteArray &path)
{
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        return;
    if (!S_ISDIR(status.st_mode)) {
        ::unlink(path.constData());
        return;
    }
    ::chmod(path.constData(), 0700);
    if (DIR *folder = ::opendir(path.constData())) {
        QList<QByteArray> names;
        while (const dirent *entry = ::readdir(folder)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.append(name);
        }
        ::closedir(folder);
        for (const QByteArray &name : names)
            removeAll(path + '/' + name);
    }
    ::rmdir(path.constData());
}

} // namespace

TestTree::TestTree()
    : m_root(QFile::encodeName(m_dir.path()))
{
    check(m_dir.isValid(), "create temporary folder", m_root);
    m_dir.setAutoRemove(false);
}

TestTree::~TestTree()
{
    removeAll(m_root);
}

QByteArray TestTree::path(const QByteArray &relative) const
{
    return m_root + '/' + relative;
}

QByteArray TestTree::prepare(const QByteArray &relative)
{
    const QByteArray full = path(relative);
    const qsizetype lastSlash = full.lastIndexOf('/');
    makeFolders(full.left(lastSlash));
    return full;
}

QByteArray TestTree::addFile(const QByteArray &relative, const QByteArray &content)
{
    return addSparseFile(relative, content.size(), 0, content);
}

QByteArray TestTree::addSparseFile(const QByteArray &relative, qint64 size, qint64 offset,
                                   const QByteArray &content)
{
    const QByteArray full = prepare(relative);
    const int descriptor = ::open(full.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    check(descriptor >= 0, "create", full);
    check(::pwrite(descriptor, content.constData(), size_t(content.size()), offset) ==
              content.size(),
          "write", full);
    check(::ftruncate(descriptor, size) == 0, "set size of", full);
    ::close(descriptor);
    return full;
}

QByteArray TestTree::addFolder(const QByteArray &relative)
{
    const QByteArray full = path(relative);
    makeFolders(full);
    return full;
}

QByteArray TestTree::addSymlink(const QByteArray &relative, const QByteArray &target)
{
    const QByteArray full = prepare(relative);
    check(::symlink(target.constData(), full.constData()) == 0, "symlink", full);
    return full;
}

QByteArray TestTree::addFifo(const QByteArray &relative)
{
    const QByteArray full = prepare(relative);
    check(::mkfifo(full.constData(), 0644) == 0, "mkfifo", full);
    return full;
}

int openDescriptorCount()
{
    DIR *descriptors = ::opendir("/proc/self/fd");
    if (!descriptors)
        qFatal("openDescriptorCount: /proc/self/fd: %s", std::strerror(errno));
    int count = 0;
    while (const dirent *entry = ::readdir(descriptors))
        count += entry->d_name[0] != '.';
    ::closedir(descriptors);
    return count - 1; // the listing's own
}
