#include "platform/directory_search.h"

#include <sys/stat.h>

namespace platform {

DirectorySearch::DirectorySearch(const QByteArray &folder, const WildcardPattern &pattern)
    : m_pattern(pattern)
    , m_directory(::opendir(folder.constData()))
{
    if (m_directory)
        findNext();
}

DirectorySearch::~DirectorySearch()
{
    close();
}

bool DirectorySearch::findNext()
{
    if (!m_directory)
        return false;
    // a read error ends the listing like its end does
    while ((m_entry = ::readdir(m_directory)) != nullptr) {
        if (m_pattern.matches(QByteArrayView(m_entry->d_name)))
            return true;
    }
    close();
    return false;
}

QByteArrayView DirectorySearch::name() const
{
    return m_entry ? QByteArrayView(m_entry->d_name) : QByteArrayView();
}

bool DirectorySearch::isFolder() const
{
    if (!m_entry)
        return false;
    if (m_entry->d_type != DT_LNK && m_entry->d_type != DT_UNKNOWN)
        return m_entry->d_type == DT_DIR;
    struct stat status;
    return ::fstatat(::dirfd(m_directory), m_entry->d_name, &status, 0) == 0 &&
           S_ISDIR(status.st_mode);
}

void DirectorySearch::close()
{
    if (m_directory)
        ::closedir(m_directory);
    m_directory = nullptr;
    m_entry = nullptr;
}

bool canList(const QByteArray &folder)
{
    DIR *directory = ::opendir(folder.constData());
    if (directory)
        ::closedir(directory);
    return directory != nullptr;
}

} // namespace platform
