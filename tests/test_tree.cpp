#include "test_tree.h"

#include <QFile>
#include <QList>
#include <QtGlobal>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

void check(bool ok, const char *what, const QByteArray &path)
{
    if (!ok)
        qFatal("TestTree: %s %s: %s", what, path.constData(), std::strerror(errno));
}

// Where an entry is made: the folder that holds it, created as needed, and its name there. Made
// relative to that folder, a path longer than the kernel takes at once (PATH_MAX) works too.
class Place
{
public:
    explicit Place(const QByteArray &full)
        : m_name(full.mid(full.lastIndexOf('/') + 1))
    {
        const QByteArray folders = full.left(full.lastIndexOf('/'));
        if (folders.size() < PATH_MAX) {
            makeFolders(folders);
            m_folder = ::open(folders.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            check(m_folder >= 0, "open", folders);
            return;
        }
        m_folder = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        for (const QByteArray &name : folders.split('/')) {
            if (name.isEmpty())
                continue;
            check(::mkdirat(m_folder, name.constData(), 0755) == 0 || errno == EEXIST, "mkdir",
                  folders);
            const int next = ::openat(m_folder, name.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            check(next >= 0, "open the way to", folders);
            ::close(m_folder);
            m_folder = next;
        }
    }
    ~Place() { ::close(m_folder); }
    Place(const Place &) = delete;
    Place &operator=(const Place &) = delete;

    int folder() const { return m_folder; }
    const char *name() const { return m_name.constData(); }

private:
    static void makeFolders(const QByteArray &path)
    {
        for (qsizetype slash = path.indexOf('/', 1); slash >= 0;
             slash = path.indexOf('/', slash + 1))
            check(::mkdir(path.left(slash).constData(), 0755) == 0 || errno == EEXIST, "mkdir",
                  path.left(slash));
        check(::mkdir(path.constData(), 0755) == 0 || errno == EEXIST, "mkdir", path);
    }

    int m_folder = -1;
    QByteArray m_name;
};

// Relative to the folder that holds them, so no path grows too long.
void removeAll(int parent, const char *name)
{
    struct stat status;
    if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(status.st_mode)) {
        ::unlinkat(parent, name, 0);
        return;
    }
    ::fchmodat(parent, name, 0700, 0);
    const int descriptor = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DIR *folder = descriptor >= 0 ? ::fdopendir(descriptor) : nullptr) {
        QList<QByteArray> names;
        while (const dirent *entry = ::readdir(folder)) {
            const QByteArray entryName(entry->d_name);
            if (entryName != "." && entryName != "..")
                names.append(entryName);
        }
        for (const QByteArray &entryName : names)
            removeAll(::dirfd(folder), entryName.constData());
        ::closedir(folder);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
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
    removeFolderTree(m_root);
}

QByteArray TestTree::path(const QByteArray &relative) const
{
    return m_root + '/' + relative;
}

QByteArray TestTree::addFile(const QByteArray &relative, const QByteArray &content)
{
    return addSparseFile(relative, content.size(), 0, content);
}

QByteArray TestTree::addSparseFile(const QByteArray &relative, qint64 size, qint64 offset,
                                   const QByteArray &content)
{
    const QByteArray full = path(relative);
    const Place place(full);
    const int descriptor =
        ::openat(place.folder(), place.name(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
    const Place place(full);
    check(::mkdirat(place.folder(), place.name(), 0755) == 0 || errno == EEXIST, "mkdir", full);
    return full;
}

void TestTree::add(const QByteArrayList &entries)
{
    for (const QByteArray &entry : entries) {
        const qsizetype arrow = entry.indexOf("->");
        const qsizetype colon = entry.indexOf(':');
        if (arrow >= 0)
            addSymlink(entry.left(arrow), entry.mid(arrow + 2));
        else if (colon >= 0)
            addFile(entry.left(colon), entry.mid(colon + 1));
        else if (entry.endsWith('/'))
            addFolder(entry.chopped(1));
        else if (entry.endsWith('|'))
            addFifo(entry.chopped(1));
        else if (entry.endsWith('='))
            addSocket(entry.chopped(1));
        else
            addFile(entry);
    }
}

QByteArray TestTree::addSymlink(const QByteArray &relative, const QByteArray &target)
{
    const QByteArray full = path(relative);
    const Place place(full);
    check(::symlinkat(target.constData(), place.folder(), place.name()) == 0, "symlink", full);
    return full;
}

QByteArray TestTree::addFifo(const QByteArray &relative)
{
    const QByteArray full = path(relative);
    const Place place(full);
    check(::mkfifoat(place.folder(), place.name(), 0644) == 0, "mkfifo", full);
    return full;
}

QByteArray TestTree::addSocket(const QByteArray &relative)
{
    const QByteArray full = path(relative);
    const Place place(full);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // the address holds a short path only: bind by the name, from inside the folder
    check(std::strlen(place.name()) < sizeof address.sun_path, "name too long for", full);
    std::strcpy(address.sun_path, place.name());
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int here = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    check(socket >= 0 && here >= 0 && ::fchdir(place.folder()) == 0, "enter the folder of", full);
    const bool bound = ::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    check(::fchdir(here) == 0, "leave the folder of", full);
    check(bound, "bind", full);
    ::close(here);
    ::close(socket);
    return full;
}

QByteArray TestTree::addDeepFolder(const QByteArray &relative)
{
    QByteArray deep = relative;
    for (int level = 0; path(deep).size() <= PATH_MAX; ++level)
        deep += '/' + QByteArray(200, char('a' + level % 26));
    return addFolder(deep);
}

void removeFolderTree(const QByteArray &path)
{
    removeAll(AT_FDCWD, path.constData());
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

bool evictFromMemory(const QByteArray &path)
{
    const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    // only written-back pages can be dropped
    const bool dropped =
        ::fdatasync(descriptor) == 0 && ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(descriptor);
    return dropped && !isInMemory(path);
}

bool refusesReadsThatMustNotWait(const QByteArray &path)
{
    const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        qFatal("refusesReadsThatMustNotWait: %s: %s", path.constData(), std::strerror(errno));
    char byte;
    iovec vector{&byte, 1};
    const bool refused =
        ::preadv2(descriptor, &vector, 1, 0, RWF_NOWAIT) < 0 && errno == EOPNOTSUPP;
    ::close(descriptor);
    return refused;
}

bool isInMemory(const QByteArray &path)
{
    const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        qFatal("isInMemory: %s: %s", path.constData(), std::strerror(errno));
    const long page = ::sysconf(_SC_PAGESIZE);
    // mapping a file reads nothing; mincore then tells which of its pages are cached
    void *mapped = ::mmap(nullptr, size_t(page), PROT_READ, MAP_SHARED, descriptor, 0);
    ::close(descriptor);
    if (mapped == MAP_FAILED)
        return true; // an empty file: nothing to read
    unsigned char resident = 0;
    const bool asked = ::mincore(mapped, size_t(page), &resident) == 0;
    ::munmap(mapped, size_t(page));
    return asked && (resident & 1);
}
