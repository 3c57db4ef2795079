#pragma once

#include "index/index_store.h"
#include "index/index_update.h"

#include <QByteArray>

// Brings the record of one folder up to date from its own entries, without its sub-folders: the
// kernel names the folder a change happened in. A file whose signature is the recorded one keeps
// its record; the others are read. A folder that is gone loses its records and those under it.
// Returns whether a file changed too shortly before it was read to count as settled: it needs
// another look once the margin has passed. Throws IndexError when the store fails.
bool refreshFolder(IndexStore &store, const QByteArray &folder,
                   const IndexUpdate::Options &options);

// Drops the records of the folder and of every folder under it.
void dropFolderRecords(IndexStore &store, const QByteArray &folder);
