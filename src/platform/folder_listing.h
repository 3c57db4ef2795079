#pragma once

#include "platform/file_lookup.h"

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <memory>
#include <sys/types.h>

namespace platform {

// A folder's descriptor, shared by whoever still opens files in it; closed with the last share.
class OpenFolder
{
public:
    explicit OpenFolder(int descriptor)
        : m_descriptor(descriptor)
    {}
    ~OpenFolder();
    OpenFolder(const OpenFolder &) = delete;
    OpenFolder &operator=(const OpenFolder &) = delete;

    int descriptor() const { return m_descriptor; }

private:
    int m_descriptor;
};

// What a folder's listing told of one of its entries: enough to open it without looking it up
// or following its path again.
struct ListedEntry
{
    std::shared_ptr<const OpenFolder> folder;
    FileLookup kind;
};

// A folder opened by its descriptor and listed in one go, "." and ".." included, in the order
// the file system delivers the entries; each entry with its kind, from the listing itself where
// the file system gives it. Closed when the object goes, whatever ends the listing, unless the
// folder is shared on.
class FolderListing
{
public:
    // Opens the folder (a path of any length); not open when it cannot be listed.
    explicit FolderListing(const QByteArray &path);
    // Opens the sub-folder of that name in an open folder.
    FolderListing(const OpenFolder &folder, QByteArrayView name);
    FolderListing(const FolderListing &) = delete;
    FolderListing &operator=(const FolderListing &) = delete;

    bool isOpen() const { return m_folder != nullptr; }
    // Why the folder could not be opened (errno); 0 when it was.
    int openError() const { return m_openError; }
    // Gives up the listing's share of the folder.
    void close();
    // The folder, for opening its entries; none when it is not open.
    std::shared_ptr<const OpenFolder> folder() const { return m_folder; }

    // Asked when the folder is opened; none when it could not be opened.
    std::optional<FolderIdentity> identity() const { return m_identity; }

    // Reads the first entries now, on whatever thread, so that next need not wait for them.
    void readAhead();
    // The names of the first sub-folders among the entries read ahead and not walked yet, as far
    // as the listing tells their kinds, up to most of them; "." and ".." never.
    QList<QByteArray> foldersReadAhead(qsizetype most) const;
    // Moves to the next entry (the first one, the first time); false at the end of the listing,
    // on a read error or when closed.
    bool next();
    // Why the listing ended before its end (errno); 0 when it did not.
    int listError() const { return m_listError; }
    // Lists the folder again from its first entry.
    void rewind();
    // The current entry's name; valid until the next call of next.
    QByteArrayView name() const { return m_name; }
    // The current entry's kind, while the folder is open: Ordinary, Folder, System or
    // Inaccessible, following a symbolic link; asks the file system only when the listing does
    // not tell.
    FileLookup kind() const;
    // The current entry may be a symbolic link: the listing says so, or does not tell its kind.
    bool mayBeLink() const;

private:
    void opened(int descriptor);
    // Reads the next entries into the buffer; false at the end of the listing or on an error.
    bool fill();
    // One read of the listing into target; as getdents64, noting why it failed.
    ssize_t read(char *target, qsizetype size);

    int m_openError = 0;
    int m_listError = 0;
    std::shared_ptr<const OpenFolder> m_folder;
    std::optional<FolderIdentity> m_identity;
    // what one getdents64 call delivered, and where the next entry starts in it
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_filled = 0;
    qsizetype m_position = 0;
    // the last read delivered nothing: no read follows until a rewind
    bool m_atEnd = false;
    // a read ahead found the end (or failed) after the entries in the buffer
    bool m_endRead = false;
    QByteArrayView m_name;
    unsigned char m_type = 0;
};

// For tests of a flaky share: asked before each read of a listing, an errno makes that read fail.
void setListingFault(std::function<int()> fault);

// True when the folder's entries can be listed: false for a medium that is gone, a share that went
// away or a folder without permission to read it.
bool canList(const QByteArray &folder);

} // namespace platform
