#pragma once

#include "platform/wildcard_pattern.h"

#include <QByteArray>
#include <QByteArrayView>
#include <dirent.h>

namespace platform {

// One listing of a folder's entries whose names match a pattern, "." and ".." included, in the
// order the file system delivers them. The folder is closed when the object goes, whatever ends
// the listing.
class DirectorySearch
{
public:
    // Positions on the first matching entry; invalid when the folder cannot be read or no entry
    // matches.
    DirectorySearch(const QByteArray &folder, const WildcardPattern &pattern);
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch &) = delete;
    DirectorySearch &operator=(const DirectorySearch &) = delete;

    bool isValid() const { return m_entry != nullptr; }

    // Moves to the next matching entry; false (and invalid) at the end.
    bool findNext();

    // The current entry's name; valid until the next findNext.
    QByteArrayView name() const;
    // True for a folder and for a symbolic link that leads to one.
    bool isFolder() const;

private:
    void close();

    WildcardPattern m_pattern;
    DIR *m_directory = nullptr;
    dirent *m_entry = nullptr;
};

// True when the folder's entries can be listed: false for a medium that is gone, a share that went
// away or a folder without permission to read it.
bool canList(const QByteArray &folder);

} // namespace platform
