#include "platform/folder_listing.h"

#include "platform/long_path.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// Enough for a folder of a few hundred entries in one call, as the C library's readdir takes.
constexpr qsizetype listingBufferSize = 32 * 1024;
// Room for a few entries of the longest names.
constexpr qsizetype minimumRoom = 2 * 1024;
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;

std::function<int()> &listingFault()
{
    static std::function<int()> fault;
    return fault;
}

} // namespace

void setListingFault(std::function<int()> fault)
{
    listingFault() = std::move(fault);
}

OpenFolder::~OpenFolder()
{
    ::close(m_descriptor);
}

FolderListing::FolderListing(const QByteArray &path)
{
    opened(openPath(path, folderFlags));
}

FolderListing::FolderListing(const OpenFolder &folder, QByteArrayView name)
{
    opened(::openat(folder.descriptor(), name.toByteArray().constData(), folderFlags));
}

void FolderListing::opened(int descriptor)
{
    if (descriptor < 0) {
        m_openError = errno;
        return;
    }
    m_folder = std::make_shared<const OpenFolder>(descriptor);
    struct stat status;
    if (::fstat(descriptor, &status) == 0)
        m_identity = FolderIdentity{status.st_dev, status.st_ino};
}

void FolderListing::close()
{
    m_folder.reset();
    m_buffer.reset();
    m_name = {};
}

void FolderListing::readAhead()
{
    if (!isOpen() || m_position < m_filled || m_atEnd || !fill())
        return;
    // On a share every read is a round trip, the one that finds the end included: read on while
    // the buffer has room, so that the walk need not ask again.
    while (listingBufferSize - m_filled >= minimumRoom) {
        const ssize_t got = read(m_buffer.get() + m_filled, listingBufferSize - m_filled);
        if (got <= 0) {
            m_endRead = true;
            break;
        }
        m_filled += got;
    }
}

QList<QByteArray> FolderListing::foldersReadAhead(qsizetype most) const
{
    QList<QByteArray> folders;
    for (qsizetype position = m_position; position < m_filled && folders.size() < most;) {
        const auto *entry = reinterpret_cast<const dirent64 *>(m_buffer.get() + position);
        position += entry->d_reclen;
        const QByteArrayView name(entry->d_name);
        if (entry->d_type == DT_DIR && name != "." && name != "..")
            folders.append(name.toByteArray());
    }
    return folders;
}

bool FolderListing::fill()
{
    if (!m_buffer)
        m_buffer.reset(new char[listingBufferSize]);
    const ssize_t got = m_endRead ? 0 : read(m_buffer.get(), listingBufferSize);
    m_filled = got > 0 ? got : 0;
    m_position = 0;
    m_atEnd = m_filled == 0;
    return !m_atEnd;
}

ssize_t FolderListing::read(char *target, qsizetype size)
{
    const int fault = listingFault() ? listingFault()() : 0;
    const ssize_t got = fault ? -1 : ::getdents64(m_folder->descriptor(), target, size_t(size));
    if (got < 0)
        m_listError = fault ? fault : errno;
    return got;
}

bool FolderListing::next()
{
    if (!isOpen() || m_atEnd)
        return false;
    if (m_position >= m_filled && !fill()) {
        m_name = {};
        return false;
    }
    const auto *entry = reinterpret_cast<const dirent64 *>(m_buffer.get() + m_position);
    m_position += entry->d_reclen;
    m_name = QByteArrayView(entry->d_name);
    m_type = entry->d_type;
    return true;
}

void FolderListing::rewind()
{
    if (isOpen())
        ::lseek(m_folder->descriptor(), 0, SEEK_SET);
    m_filled = 0;
    m_position = 0;
    m_atEnd = false;
    m_endRead = false;
    m_name = {};
}

FileLookup FolderListing::kind() const
{
    switch (m_type) {
    case DT_REG:
        return {FileKind::Ordinary};
    case DT_DIR:
        return {FileKind::Folder};
    case DT_FIFO:
    case DT_SOCK:
    case DT_CHR:
    case DT_BLK:
        return {FileKind::System};
    default: // a symbolic link, or a file system that leaves the type to a lookup
        return lookupEntry(isOpen() ? m_folder->descriptor() : -1, m_name.data());
    }
}

bool FolderListing::mayBeLink() const
{
    return m_type == DT_LNK || m_type == DT_UNKNOWN;
}

bool canList(const QByteArray &folder)
{
    return FolderListing(folder).isOpen();
}

} // namespace platform
