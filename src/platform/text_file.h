#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// The bytes of a text file of lines, each ended by CR LF, without a byte-order mark: texts go in
// the local 8-bit encoding, paths with their own bytes, so a name that is not valid in that
// encoding comes back as it is on disk.
class CrLfText
{
public:
    void addLine(const QString &text);
    void addLine(const QByteArray &bytes);
    void reserve(qsizetype bytes) { m_bytes.reserve(bytes); }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

struct FileWriteResult
{
    bool written = false;
    QString errorText; // why not, for a person
    int error = 0;     // the errno behind it
};

// Replaces the file's contents as a whole: they go to a new file beside it, which is renamed over
// the old one only once it is complete and on disk, so a failure leaves the old file as it was.
// A write-protected file is not replaced, and a replaced file keeps its permissions. A symbolic
// link (to where someone keeps such files) stays one: the file it leads to is replaced, or made
// when it does not exist yet. New files that a replace killed midway left beside the file are
// removed. Paths are bytes: QSaveFile resolves a name against the working folder decoded as
// UTF-8, and so misses a folder whose name is not.
FileWriteResult replaceFile(const QByteArray &path, const QByteArray &contents);

// Writes a file that must not exist yet, and on disk before it returns; an existing file of that
// name is never touched (EEXIST), and a file that could not be written whole is removed again.
FileWriteResult writeNewFile(const QByteArray &path, const QByteArray &contents);

// Creates the folder and the folders above it that are missing: 0, or the errno of the first
// that could not be made.
int makeFolders(const QByteArray &path);

} // namespace platform
