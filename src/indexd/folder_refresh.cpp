#include "indexd/folder_refresh.h"

#include "index/folder_recording.h"
#include "index/index_location.h"
#include "platform/file_lookup.h"
#include "platform/long_path.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

void dropFolderRecords(IndexStore &store, const QByteArray &folder)
{
    for (const QByteArray &recorded : store.foldersUnder(folder))
        store.putFilesIn(recorded, {});
}

namespace {

struct Listing
{
    QByteArrayList names; // not hidden
    bool hasLinks = false;
};

// None when the folder cannot be listed; one that is gone, or no longer a folder, loses its
// records, and one that cannot be listed keeps them for the searches to check, as an update
// keeps them.
std::optional<Listing> listFolder(IndexStore &store, const QByteArray &key)
{
    // opened, not named: a folder deeper than the kernel takes a path to is listed all the same
    const int open = platform::openPath(key, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = open < 0 ? nullptr : ::fdopendir(open);
    if (!entries) {
        if (errno == ENOENT || errno == ENOTDIR)
            dropFolderRecords(store, key);
        if (open >= 0)
            ::close(open);
        return std::nullopt;
    }
    Listing listing;
    while (const dirent *entry = ::readdir(entries)) {
        // hidden files are never searched, and "." and ".." are hidden
        if (entry->d_name[0] == '.')
            continue;
        listing.names.append(QByteArray(entry->d_name));
        // a file system that does not tell an entry's kind may hide links among them
        listing.hasLinks =
            listing.hasLinks || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
    }
    ::closedir(entries);
    return listing;
}

bool hasOtherNames(const QByteArray &key, const QByteArray &name)
{
    struct stat status;
    return platform::statPath(platform::inFolder(key, name), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           !S_ISDIR(status.st_mode) && status.st_nlink > 1;
}

bool record(IndexStore &store, const QByteArray &key, const QByteArrayList &names,
            const IndexUpdate::Options &options, const QSet<QByteArray> *onlyNamed)
{
    FolderRecording recording(store, key, options);
    bool unsettled = false;
    for (const QByteArray &name : names)
        unsettled = recording.add(name).state == FileState::Unsettled || unsettled;
    if (onlyNamed)
        recording.keepAllBut(*onlyNamed);
    recording.finish();
    return unsettled;
}

} // namespace

bool refreshFolder(IndexStore &store, const QByteArray &folder, const IndexUpdate::Options &options)
{
    const QByteArray key = folderKey(folder);
    const std::optional<Listing> listing = listFolder(store, key);
    return listing && record(store, key, listing->names, options, nullptr);
}

bool refreshFiles(IndexStore &store, const QByteArray &folder, const QSet<QByteArray> &names,
                  const IndexUpdate::Options &options)
{
    const QByteArray key = folderKey(folder);
    const std::optional<Listing> listing = listFolder(store, key);
    if (!listing)
        return false;
    QByteArrayList named;
    for (const QByteArray &name : names) {
        if (!name.startsWith('.'))
            named.append(name);
    }
    const auto linked = [&](const QByteArray &name) { return hasOtherNames(key, name); };
    if (listing->hasLinks || std::any_of(named.cbegin(), named.cend(), linked))
        return record(store, key, listing->names, options, nullptr);
    std::sort(named.begin(), named.end());
    return record(store, key, named, options, &names);
}
