#include "platform/long_path.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The folder that holds the last piece of a long path, opened piece by piece, and that piece.
class LongPath
{
public:
    explicit LongPath(const QByteArray &path)
        : m_path(path)
    {
        qsizetype start = 0;
        while (m_path.size() - start >= PATH_MAX) {
            // the longest run of whole names that the kernel still takes in one call
            const qsizetype cut = m_path.lastIndexOf('/', start + PATH_MAX - 1);
            if (cut <= start) {
                fail(ENAMETOOLONG);
                return;
            }
            // a piece that starts with the path's own "/" is the root
            const QByteArray piece = cut == 0 ? QByteArray("/") : m_path.mid(start, cut - start);
            // O_PATH asks only for the right to pass through the folder, as a whole path would
            const int next =
                ::openat(m_folder, piece.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (next < 0) {
                fail(errno);
                return;
            }
            closeFolder();
            m_folder = next;
            start = cut + 1;
        }
        // a path that ends in "/" right after a piece names that piece's folder
        m_rest = start < m_path.size() ? m_path.constData() + start : ".";
    }
    ~LongPath() { closeFolder(); }
    LongPath(const LongPath &) = delete;
    LongPath &operator=(const LongPath &) = delete;

    // AT_FDCWD for a relative path of normal length
    int folder() const { return m_folder; }
    // null when the way could not be followed; errno then tells why
    const char *rest() const { return m_rest; }

private:
    void fail(int error)
    {
        closeFolder();
        errno = error;
    }
    void closeFolder()
    {
        if (m_folder != AT_FDCWD) {
            const int saved = errno;
            ::close(m_folder);
            errno = saved;
        }
        m_folder = AT_FDCWD;
    }

    QByteArray m_path;
    int m_folder = AT_FDCWD;
    const char *m_rest = nullptr;
};

// call(folder, name) on the path: from the working folder for a path the kernel takes whole, else
// on the path's last piece in the folder that holds it.
template<typename Call> int callAtPath(const QByteArray &path, Call call)
{
    if (path.size() < PATH_MAX)
        return call(AT_FDCWD, path.constData());
    const LongPath longPath(path);
    return longPath.rest() ? call(longPath.folder(), longPath.rest()) : -1;
}

} // namespace

int openPath(const QByteArray &path, int flags)
{
    return callAtPath(
        path, [flags](int folder, const char *name) { return ::openat(folder, name, flags); });
}

int statPath(const QByteArray &path, struct stat *status, int flags)
{
    return callAtPath(path, [status, flags](int folder, const char *name) {
        return ::fstatat(folder, name, status, flags);
    });
}

} // namespace platform
