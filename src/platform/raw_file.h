#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// A regular file opened for reading its raw bytes; closed when the object goes.
class RawFile
{
public:
    RawFile() = default;
    ~RawFile();
    RawFile(const RawFile &) = delete;
    RawFile &operator=(const RawFile &) = delete;

    // Refuses anything but a regular file, so a path swapped for a FIFO cannot block us. Paths
    // of any length.
    bool open(const QByteArray &path);
    void close();
    bool isOpen() const { return m_descriptor >= 0; }

    // The length in bytes when the file was opened.
    qint64 size() const { return m_size; }

    // Reads up to length bytes from the 0-based offset into target; fewer only at the end of the
    // file. Returns the number read, or -1 on error.
    qint64 readAt(qint64 offset, char *target, qint64 length);

    // Why the last open or read failed.
    QString errorText() const { return m_errorText; }

private:
    bool fail(const QString &why);

    int m_descriptor = -1;
    qint64 m_size = 0;
    QString m_errorText;
};

} // namespace platform
