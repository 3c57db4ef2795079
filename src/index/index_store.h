#pragma once

#include "index/file_record.h"
#include "index/file_signature.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>

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

struct RecordedFile
{
    qint64 id = 0;
    FileSignature signature;
    FileState state = FileState::AlwaysRead;
};

// The index's records, keyed by a file's canonical path. Every call may throw IndexError. Writes
// go in batches, each of which is kept whole or not at all.
class IndexStore
{
public:
    virtual ~IndexStore() = default;

    virtual QList<IndexedFolder> folders() = 0;
    virtual std::optional<RecordedFile> find(const QByteArray &path) = 0;
    // The recorded files whose runs hold every piece.
    virtual QSet<qint64> holdingAll(const QByteArrayList &pieces) = 0;
    // The path of each file recorded under the folder (a canonical path), in the order of the
    // paths.
    virtual void forEachFile(const QByteArray &folder,
                             const std::function<void(const QByteArray &path)> &each) = 0;
    // The ids of the files recorded under the folder.
    virtual QList<qint64> filesUnder(const QByteArray &folder) = 0;
    struct Totals
    {
        qint64 files = 0;
        qint64 bytes = 0;
    };
    // The files recorded under the folder and their bytes.
    virtual Totals totalsUnder(const QByteArray &folder) = 0;
    // Bytes the index takes on the disk.
    virtual qint64 sizeOnDisk() = 0;

    virtual void beginBatch() = 0;
    virtual void commitBatch() = 0;
    // Returns the file's id.
    virtual qint64 put(const QByteArray &path, const FileSignature &signature, FileState state,
                       const QByteArray &runs) = 0;
    virtual void remove(qint64 id) = 0;
    virtual void putFolder(const IndexedFolder &folder) = 0;
    // Drops the folder, and with dropFiles the records of the files under it.
    virtual void removeFolder(const QByteArray &path, bool dropFiles) = 0;
};
