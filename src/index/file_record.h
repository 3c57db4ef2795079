#pragma once

#include "index/file_signature.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <optional>

namespace platform {
class OpenFolder;
}

// What the index keeps of a file's bytes so that a search can pass over it without reading it.
// A text made only of name bytes can only occur inside a maximal run of name bytes, so a file
// whose runs do not hold the text does not hold it either. Binary noise gives few and short
// runs, which keeps the record small.

// Letters and digits of ASCII and "_", "-", "." : what part names are made of.
bool isNameByte(char byte);

// Runs shorter than this are not kept; a text needs a piece at least this long to be answered.
// Binary noise gives many runs of three, few of four: the record stays small.
inline constexpr qsizetype shortestRun = 4;

// The maximal runs of name bytes in a text's byte form that are at least shortestRun long: a
// file that holds the form holds each of them inside one of its runs.
QByteArrayList namePieces(QByteArrayView form);

// Whether the form is made of name bytes alone and long enough, so that the runs answer it
// exactly without reading the file.
bool isAnsweredExactly(QByteArrayView form);

// Gathers a file's runs from its bytes, chunk by chunk; a run may span chunks.
class RunCollector
{
public:
    // limit: the bytes of runs beyond which the file is kept as one that is always read
    explicit RunCollector(qsizetype limit);

    void add(QByteArrayView chunk);
    // Ends the current run: what follows (a hole, the file's end) is no name byte.
    void endRun();
    bool isOverLimit() const { return m_overLimit; }
    // Each run once, ended by a line end, in the order of their bytes.
    QByteArray runs();

private:
    // A run of length bytes ends before offset end of the chunk; it may have begun in the last.
    void runEnds(const char *chunk, qsizetype end, qsizetype length);
    void keepRun(QByteArrayView run);
    static QByteArray distinct(const QByteArray &runs);

    qsizetype m_limit;
    bool m_overLimit = false;
    QByteArray m_runs;
    // a run the last chunk ended in
    QByteArray m_current;
};

enum class FileState
{
    Recorded,   // its runs are kept: a search passes over it when they cannot hold the text
    AlwaysRead, // unreadable or too many runs when it was recorded: every search reads it
    Unsettled,  // changed too shortly before it was recorded: read by searches and the next update
};

struct FileRecord
{
    // of the file as it was opened; none when it could not be opened
    std::optional<FileSignature> signature;
    FileState state = FileState::AlwaysRead;
    QByteArray runs;
    qint64 bytesRead = 0;
};

// The record of a file from all its bytes.
FileRecord recordBytes(QByteArrayView bytes, qsizetype runLimit);

// Reads the regular file at path (by its name in folder, when given) and keeps its runs; a file
// that cannot be read is AlwaysRead. Its signature is taken as it is opened: a change while it is
// read moves its change time, which the next update and every search then see.
FileRecord recordFile(const QByteArray &path, qsizetype runLimit,
                      const platform::OpenFolder *folder = nullptr);
