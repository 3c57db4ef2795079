#include "indexd/folder_refresh.h"

#include "index/folder_recording.h"
#include "index/index_location.h"
#include "platform/folder_listing.h"
#include "platform/long_path.h"
#include "platform/system_error.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

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

// None when the folder cannot be listed to its end, with why in refresh; one that is gone, or no
// longer a folder, loses its records, and one that cannot be listed keeps them for the searches to
// check, as an update keeps them.
std::optional<Listing> listFolder(IndexStore &store, const QByteArray &key, FolderRefresh &refresh)
{
    // opened, not named: a folder deeper than the kernel takes a path to is listed all the same
    platform::FolderListing entries(key);
    if (!entries.isOpen()) {
        if (entries.openError() == ENOENT || entries.openError() == ENOTDIR)
            dropFolderRecords(store, key);
        else
            refresh.unlisted = platform::systemErrorText(entries.openError());
        return std::nullopt;
    }
    Listing listing;
    while (entries.next()) {
        // hidden files are never searched, and "." and ".." are hidden
        if (entries.name().startsWith('.'))
            continue;
        listing.names.append(entries.name().toByteArray());
        // a file system that does not tell an entry's kind may hide links among them
        listing.hasLinks = listing.hasLinks || entries.mayBeLink();
    }
    if (entries.listError() != 0) {
        refresh.unlisted = platform::systemErrorText(entries.listError());
        return std::nullopt;
    }
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

FolderRefresh refreshFolder(IndexStore &store, const QByteArray &folder,
                            const IndexUpdate::Options &options)
{
    const QByteArray key = folderKey(folder);
    FolderRefresh refresh;
    if (const std::optional<Listing> listing = listFolder(store, key, refresh))
        refresh.unsettled = record(store, key, listing->names, options, nullptr);
    return refresh;
}

FolderRefresh refreshFiles(IndexStore &store, const QByteArray &folder,
                           const QSet<QByteArray> &names, const IndexUpdate::Options &options)
{
    const QByteArray key = folderKey(folder);
    FolderRefresh refresh;
    const std::optional<Listing> listing = listFolder(store, key, refresh);
    if (!listing)
        return refresh;
    QByteArrayList named;
    for (const QByteArray &name : names) {
        if (!name.startsWith('.'))
            named.append(name);
    }
    const auto linked = [&](const QByteArray &name) { return hasOtherNames(key, name); };
    if (listing->hasLinks || std::any_of(named.cbegin(), named.cend(), linked)) {
        refresh.unsettled = record(store, key, listing->names, options, nullptr);
    } else {
        std::sort(named.begin(), named.end());
        refresh.unsettled = record(store, key, named, options, &names);
    }
    return refresh;
}
