#pragma once

#include "index/folder_record.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <stdexcept>

class StoreSelection;

// Why the index cannot be used or written; detail is the store's own words, for a log.
class IndexError : public std::runtime_error
{
public:
    enum class Problem
    {
        Missing,
        Damaged,
        Locked, // an update holds it
        Newer,  // written by a newer version of the program
        DiskFull,
        Failed,
    };

    IndexError(Problem problem, const QString &detail)
        : std::runtime_error(detail.toStdString())
        , problem(problem)
        , detail(detail)
    {}

    Problem problem;
    QString detail;
};

// A folder the index covers, with the last update of it.
struct IndexedFolder
{
    QByteArray path; // canonical, without a trailing "/" (but "/" itself)
    qint64 updatedMs = 0;
    // its last update walked it to the end: every file it holds was recorded
    bool complete = false;
    qint64 files = 0;
    qint64 bytes = 0;
};

// The index's records: per folder (a canonical path) one record of the files it holds, written
// and read whole. Every call may throw IndexError. Writes go in batches, each of which is kept
// whole or not at all.
class IndexStore
{
public:
    virtual ~IndexStore() = default;

    // the folders updates were asked for, by path
    virtual QList<IndexedFolder> folders() = 0;
    // The files recorded directly in the folder; none when it has no record.
    virtual FolderRecord filesIn(const QByteArray &folder) = 0;
    // The folders at or under root that have a record, in the order of their paths.
    virtual QByteArrayList foldersUnder(const QByteArray &root) = 0;
    // Bytes the index takes on the disk.
    virtual qint64 sizeOnDisk() = 0;
    // The store's own choice of the files that may hold a text, or none when it cannot choose.
    virtual StoreSelection *selection() = 0;

    virtual void beginBatch() = 0;
    virtual void commitBatch() = 0;
    // Replaces the folder's record; an empty list drops it.
    virtual void putFilesIn(const QByteArray &folder, const QList<RecordedFile> &files) = 0;
    virtual void putFolder(const IndexedFolder &folder) = 0;
    // Drops the folder, and with dropFiles the records of the folders at or under it.
    virtual void removeFolder(const QByteArray &path, bool dropFiles) = 0;
};
