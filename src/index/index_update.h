#pragma once

#include "index/folder_recording.h"
#include "index/index_store.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

// How far an update has come.
struct UpdateProgress
{
    qint64 files = 0;     // reached by the walk
    qint64 filesRead = 0; // new or changed, read
    qint64 bytesRead = 0;
    qint64 bytesSeen = 0; // of the files reached
};

struct UpdateResult
{
    UpdateProgress progress;
    qint64 removed = 0; // records of files that are gone
    bool complete = false;
    // the update before this one did not reach its end (stopped, killed, a full disk)
    bool previousUnfinished = false;
    // folders the walk could not list, and why
    QList<std::pair<QByteArray, QString>> unlisted;
};

// Brings the records of one folder up to date: walks it as a search does and reads only the
// files whose signature differs from the recorded one; at the end of a whole walk it drops the
// records of files that are gone. Writes in batches, so an update that is killed keeps every
// batch before and loses nothing but the current one.
class IndexUpdate
{
public:
    struct Options : FolderRecording::Options
    {
        qint64 batchFiles = 2000;
        qint64 batchBytes = 64 * 1024 * 1024;
        std::function<void(const UpdateProgress &)> progress;
        // asked between files: true ends the update after the current batch
        std::function<bool()> stopRequested;
    };

    IndexUpdate(IndexStore &store, Options options);

    // folder: canonical. Throws IndexError when the store fails; the batch under way is lost.
    UpdateResult update(const QByteArray &folder);

private:
    IndexStore &m_store;
    Options m_options;
};
