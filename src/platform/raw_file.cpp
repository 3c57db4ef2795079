#include "platform/raw_file.h"

#include "platform/long_path.h"
#include "platform/system_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

RawFile::~RawFile()
{
    close();
}

bool RawFile::open(const QByteArray &path)
{
    close();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it changes nothing for regular files
    m_descriptor = openPath(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_descriptor < 0)
        return fail(systemErrorText(errno));
    struct stat status;
    if (::fstat(m_descriptor, &status) != 0)
        return fail(systemErrorText(errno));
    if (!S_ISREG(status.st_mode))
        return fail(QStringLiteral("not a regular file"));
    m_size = status.st_size;
    return true;
}

void RawFile::close()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_size = 0;
}

qint64 RawFile::readAt(qint64 offset, char *target, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t got =
            ::pread(m_descriptor, target + done, size_t(length - done), offset + done);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            m_errorText = systemErrorText(errno);
            return -1;
        }
        done += got;
    }
    return done;
}

bool RawFile::fail(const QString &why)
{
    close();
    m_errorText = why;
    return false;
}

} // namespace platform
