#include "indexd/folder_refresh.h"

#include "index/folder_recording.h"
#include "index/index_location.h"

#include <dirent.h>

void dropFolderRecords(IndexStore &store, const QByteArray &folder)
{
    for (const QByteArray &recorded : store.foldersUnder(folder))
        store.putFilesIn(recorded, {});
}

bool refreshFolder(IndexStore &store, const QByteArray &folder, const IndexUpdate::Options &options)
{
    const QByteArray key = folderKey(folder);
    DIR *entries = ::opendir(key.constData());
    if (!entries) {
        // gone, or no longer a folder; one that cannot be listed keeps its records for the
        // searches to check, as an update keeps them
        if (errno == ENOENT || errno == ENOTDIR)
            dropFolderRecords(store, key);
        return false;
    }
    QByteArrayList names;
    while (const dirent *entry = ::readdir(entries)) {
        // hidden files are never searched, and "." and ".." are hidden
        if (entry->d_name[0] != '.')
            names.append(QByteArray(entry->d_name));
    }
    ::closedir(entries);

    FolderRecording recording(store, key, options);
    bool unsettled = false;
    for (const QByteArray &name : std::as_const(names))
        unsettled = recording.add(name).state == FileState::Unsettled || unsettled;
    recording.finish();
    return unsettled;
}
