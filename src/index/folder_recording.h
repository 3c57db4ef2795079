#pragma once

#include "index/files_read_together.h"
#include "index/folder_record.h"
#include "index/index_store.h"
#include "platform/folder_listing.h"
#include "platform/requests_in_flight.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <deque>
#include <memory>
#include <optional>

// Brings one folder's record up to date from the files it holds now, file by file: a file whose
// signature is the recorded one keeps its record, any other is read.
class FolderRecording
{
public:
    struct Options
    {
        // a file changed within this span before its record began is read again next time:
        // file systems stamp in ticks, shares with clocks of their own
        qint64 unsettledMarginNs = 2'000'000'000;
        // the bytes of runs beyond which a file is always read
        qsizetype runLimit = 8 * 1024 * 1024;
    };

    // What one file came to.
    struct Added
    {
        std::optional<FileSignature> signature; // none: no regular file, not recorded
        bool read = false;
        qint64 bytesRead = 0;
        qsizetype runBytes = 0;
        FileState state = FileState::AlwaysRead;
    };

    // folder: with or without its trailing "/". Throws IndexError when the store fails; a
    // record it cannot read is made anew. lookahead: tells whether the files' look-ups and reads
    // go in flight, as it learns from how long they take; none: they never do.
    // together: reads the folder's small files without a record many at a time, while the
    // files come from memory.
    FolderRecording(IndexStore &store, const QByteArray &folder, const Options &options,
                    platform::Lookahead *lookahead = nullptr,
                    FilesReadTogether *together = nullptr);

    // The file is added soon, in the order of these calls: while the file system makes them
    // wait (a share), its look-up, or its reading, is asked for ahead; from memory, a small file
    // without a record is read together with the next ones.
    void comingUp(const QByteArray &name);
    Added add(const QByteArray &name);
    // Every recorded file not named keeps its record without a look: nothing told of a change
    // to it.
    void keepAllBut(const QSet<QByteArray> &named);
    // Writes the record when it changed. A recorded file not added is gone, unless it is still
    // there (the walk ended before it, a listing was cut short): then its record is kept, for
    // searches to check. Returns the records of files that are gone.
    qint64 finish();
    // the files recorded now
    const QList<RecordedFile> &files() const { return m_files; }

private:
    struct Reading
    {
        qint64 startNs = 0; // by the file clock, before the file was opened
        FileRecord record;
    };
    struct Ahead
    {
        QByteArray name;
        std::optional<platform::InFlight<std::optional<FileSignature>>> signature;
        std::optional<platform::InFlight<Reading>> reading;
    };

    std::optional<FileSignature> signatureOf(const QByteArray &name) const;
    Reading read(const QByteArray &name) const;
    // Records what was read of the file whose signature added holds.
    Added recordRead(const QByteArray &name, Added added, Reading reading);
    // The file read with the next ones told of, when it could be read so.
    std::optional<FilesReadTogether::File> readTogether(const QByteArray &name);
    // Takes the answer asked for ahead, or works it out here, and tells the lookahead how long
    // the file system took.
    template<typename Result>
    Result timed(std::optional<platform::InFlight<Result>> &ahead,
                 const std::function<Result()> &here);

    IndexStore &m_store;
    const Options &m_options;
    QByteArray m_folder; // with its trailing "/"
    QByteArray m_key;
    // its files are looked up by name, not along their paths
    std::unique_ptr<platform::OpenFolder> m_open;
    FolderRecord m_recorded;
    platform::Lookahead *m_lookahead;
    std::deque<Ahead> m_ahead;
    FilesReadTogether *m_together;
    // the files told of and not added yet, and those read together and not added yet
    std::deque<QByteArray> m_told;
    QList<FilesReadTogether::File> m_readTogether;
    QList<RecordedFile> m_files;
    bool m_changed = false;
};
