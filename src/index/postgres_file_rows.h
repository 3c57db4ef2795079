#pragma once

#include "index/folder_record.h"

#include <QByteArray>
#include <QList>

// The rows of the office index's per-file table that a folder's new record writes, as the
// array literals its statements take: names in hex, the runs as they are (name bytes and line
// ends only), their gram keys as integer array literals.
struct FileRows
{
    qsizetype count = 0; // rows to write
    QByteArray names = "{";
    QByteArray states = "{";
    QByteArray sizes = "{";
    QByteArray runs = "{";
    QByteArray grams = "{";
    QByteArray gone = "{"; // names of rows to delete
    qsizetype goneCount = 0;
};

// The files' states as the rows keep them.
short stateNumber(FileState state);
FileState stateOf(qint64 number); // throws IndexError (Damaged) for any other number

// Every file of the folder; without before, the rows already written are unknown.
FileRows allFileRows(const QList<RecordedFile> &files);
// Only what changed since before (the record last written): the grams of the rest stay.
FileRows changedFileRows(const FolderRecord &before, const QList<RecordedFile> &files);
