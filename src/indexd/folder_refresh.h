#pragma once

#include "index/index_store.h"
#include "index/index_update.h"

#include <QByteArray>
#include <QSet>
#include <QString>

// What a refresh found besides the record it wrote.
struct FolderRefresh
{
    // a file changed too shortly before it was read to count as settled: it needs another look
    // once the margin has passed
    bool unsettled = false;
    // why the folder could not be listed to its end, when it could not: its records stay as they
    // were, since a listing cut short would drop the files it did not reach
    QString unlisted;
};

// Brings the record of one folder up to date from its own entries, without its sub-folders: the
// kernel names the folder a change happened in. A file whose signature is the recorded one keeps
// its record; the others are read. A folder that is gone loses its records and those under it.
// Throws IndexError when the store fails.
FolderRefresh refreshFolder(IndexStore &store, const QByteArray &folder,
                            const IndexUpdate::Options &options);

// The same for the files named in the folder, the kernel having named the files it told of:
// the folder's other files keep their records without a look. A folder with a link in it is
// brought up to date whole, since a change through one name of a file changes the others
// unseen.
FolderRefresh refreshFiles(IndexStore &store, const QByteArray &folder,
                           const QSet<QByteArray> &names, const IndexUpdate::Options &options);

// Drops the records of the folder and of every folder under it.
void dropFolderRecords(IndexStore &store, const QByteArray &folder);
