#include "indexd/folder_refresh.h"

#include "index/file_record.h"
#include "index/index_location.h"
#include "platform/file_lookup.h"

#include <algorithm>
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
    std::sort(names.begin(), names.end());

    const FolderRecord recorded = store.filesIn(key);
    QList<RecordedFile> files;
    bool unsettled = false;
    // a folder looked at again unchanged is not written again
    bool changed = false;
    for (const QByteArray &name : std::as_const(names)) {
        const QByteArray path = platform::inFolder(key, name);
        const std::optional<FileSignature> signature = signatureOf(path);
        // folders, FIFOs, links that lead nowhere: a search never reads them
        if (!signature)
            continue;
        const FolderRecord::File *known = recorded.find(name);
        if (known && known->signature == *signature && known->state != FileState::Unsettled) {
            files.append(known->toRecordedFile());
            continue;
        }
        changed = true;
        const qint64 start = fileClockNs();
        FileRecord record = recordFile(path, options.runLimit);
        if (signatureOf(path) != signature ||
            isUnsettled(*signature, start, options.unsettledMarginNs))
            record.state = FileState::Unsettled;
        unsettled = unsettled || record.state == FileState::Unsettled;
        files.append({name, *signature, record.state, record.runs});
    }
    if (changed || files.size() != qsizetype(recorded.files().size()))
        store.putFilesIn(key, files);
    return unsettled;
}
