#pragma once

#include "index/file_record.h"
#include "index/file_signature.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// One file as the index keeps it, in the record of its folder.
struct RecordedFile
{
    QByteArray name;
    FileSignature signature;
    FileState state = FileState::AlwaysRead;
    QByteArray runs; // only when Recorded
};

// What the index keeps of one folder: its files in one value, so that a search asks the store
// once per folder it walks, not once per file. Any store keeps it as it is, in bytes.
// files: sorted by name, each name once.
QByteArray encodeFolderRecord(const QList<RecordedFile> &files);
// Throws IndexError (Damaged) when the bytes are no record this program writes.
QList<RecordedFile> decodeFolderRecord(QByteArrayView bytes);

// The file of that name in a decoded record, or none.
const RecordedFile *findRecordedFile(const QList<RecordedFile> &files, QByteArrayView name);
