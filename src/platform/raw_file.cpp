#include "platform/raw_file.h"

#include "platform/folder_listing.h"
#include "platform/long_path.h"
#include "platform/system_error.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace platform {

namespace {

// st_blocks counts in units of 512 bytes whatever the file system's block size.
constexpr qint64 statBlockSize = 512;

// One read that takes only what is in memory; -1 with errno EAGAIN when none of it is.
ssize_t readCached(int descriptor, char *target, qint64 length, qint64 offset)
{
    iovec vector{target, size_t(length)};
    ssize_t got;
    do
        got = ::preadv2(descriptor, &vector, 1, offset, RWF_NOWAIT);
    while (got < 0 && errno == EINTR);
    return got;
}

} // namespace

RawFile::~RawFile()
{
    close();
}

bool RawFile::open(const QByteArray &path, const OpenFolder *folder)
{
    close();
    m_wasNotRegular = false;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it changes nothing for regular files
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    m_descriptor = folder
                       ? ::openat(folder->descriptor(), path.constData() + nameStart(path), flags)
                       : openPath(path, flags);
    if (m_descriptor < 0)
        return fail(systemErrorText(errno));
    if (::fstat(m_descriptor, &m_status) != 0)
        return fail(systemErrorText(errno));
    if (!S_ISREG(m_status.st_mode)) {
        m_wasNotRegular = true;
        return fail(QStringLiteral("not a regular file"));
    }
    m_size = m_status.st_size;
    m_mayHaveHoles = qint64(m_status.st_blocks) * statBlockSize < m_size;
    return true;
}

void RawFile::close()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_size = 0;
    m_mayHaveHoles = false;
}

qint64 RawFile::readAt(qint64 offset, char *target, qint64 length, Residence *residence)
{
    qint64 done = 0;
    if (residence && length > 0) {
        const ssize_t got = readCached(m_descriptor, target, length, offset);
        if (got >= 0) {
            done = got;
            *residence = got == length ? Residence::InMemory : Residence::OnDisk;
        } else {
            // EOPNOTSUPP: a file system that cannot answer without reading
            *residence = errno == EAGAIN ? Residence::OnDisk : Residence::Unknown;
        }
        // a short answer may also be the end of the file: the reads below find out
    }
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

RawFile::Stretch RawFile::stretchAt(qint64 offset) const
{
    if (!m_mayHaveHoles)
        return {false, m_size};
    const off_t data = ::lseek(m_descriptor, offset, SEEK_DATA);
    if (data < 0) {
        // ENXIO: a hole up to the end, or a file that became shorter, which the read then finds
        const bool holeToTheEnd =
            errno == ENXIO && ::lseek(m_descriptor, offset, SEEK_HOLE) == offset;
        return {holeToTheEnd, m_size};
    }
    if (data > offset)
        return {true, std::min<qint64>(data, m_size)};
    const off_t hole = ::lseek(m_descriptor, offset, SEEK_HOLE);
    return {false, hole > offset ? std::min<qint64>(hole, m_size) : m_size};
}

void RawFile::readAhead(qint64 offset, qint64 length) const
{
    // the kernel reads at most its read-ahead window per call: ask for one at a time
    constexpr qint64 window = 128 * 1024;
    for (qint64 end = std::min(offset + length, m_size); offset < end; offset += window)
        ::posix_fadvise(m_descriptor, off_t(offset), off_t(std::min(window, end - offset)),
                        POSIX_FADV_WILLNEED);
}

Residence RawFile::residenceAt(qint64 offset) const
{
    char byte;
    if (readCached(m_descriptor, &byte, 1, offset) >= 0)
        return Residence::InMemory;
    return errno == EAGAIN ? Residence::OnDisk : Residence::Unknown;
}

bool RawFile::fail(const QString &why)
{
    close();
    m_errorText = why;
    return false;
}

} // namespace platform
