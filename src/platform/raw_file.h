#pragma once

#include <QByteArray>
#include <QString>
#include <sys/stat.h>

namespace platform {

class OpenFolder;

// Whether a file's bytes were in memory when they were asked for.
enum class Residence
{
    InMemory,
    OnDisk,  // some of them had to be read from the disk (or the network)
    Unknown, // the file system cannot tell without reading
};

// A regular file opened for reading its raw bytes; closed when the object goes.
class RawFile
{
public:
    RawFile() = default;
    ~RawFile();
    RawFile(const RawFile &) = delete;
    RawFile &operator=(const RawFile &) = delete;

    // Refuses anything but a regular file, so a path swapped for a FIFO cannot block us. Paths
    // of any length; with the open folder that holds the file, by its name in that folder.
    bool open(const QByteArray &path, const OpenFolder *folder = nullptr);
    void close();
    bool isOpen() const { return m_descriptor >= 0; }
    // After a failed open: the path was opened but names no regular file.
    bool wasNotRegular() const { return m_wasNotRegular; }

    // The length in bytes when the file was opened.
    qint64 size() const { return m_size; }
    // What the file system told of the file when it was opened.
    const struct stat &statusAtOpen() const { return m_status; }

    // Reads up to length bytes from the 0-based offset into target; fewer only at the end of the
    // file. Returns the number read, or -1 on error. With residence, tells whether the bytes
    // were in memory, at no extra cost when they were.
    qint64 readAt(qint64 offset, char *target, qint64 length, Residence *residence = nullptr);

    // A stretch of the file from some offset on: data, or a hole that reads as zero bytes.
    struct Stretch
    {
        bool hole = false;
        qint64 end = 0;
    };
    // The stretch that holds offset, which must lie before the end of the file.
    Stretch stretchAt(qint64 offset) const;

    // Asks the kernel to read the bytes from offset on into memory, without waiting for them.
    void readAhead(qint64 offset, qint64 length) const;
    // Whether the byte at offset, which must lie before the end of the file, is in memory,
    // without waiting for it.
    Residence residenceAt(qint64 offset) const;

    // Why the last open or read failed.
    QString errorText() const { return m_errorText; }

private:
    bool fail(const QString &why);

    int m_descriptor = -1;
    struct stat m_status = {};
    qint64 m_size = 0;
    // fewer blocks than the size needs: the file may have holes
    bool m_mayHaveHoles = false;
    bool m_wasNotRegular = false;
    QString m_errorText;
};

} // namespace platform
