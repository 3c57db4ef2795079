#include "platform/text_file.h"

#include "platform/system_error.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

void CrLfText::addLine(const QString &text)
{
    addLine(text.toLocal8Bit());
}

void CrLfText::addLine(const QByteArray &bytes)
{
    m_bytes += bytes;
    m_bytes += "\r\n";
}

namespace {

FileWriteResult failure(int error)
{
    return {false, systemErrorText(error), error};
}

bool writeAll(int descriptor, const QByteArray &contents)
{
    qsizetype done = 0;
    while (done < contents.size()) {
        const ssize_t written =
            ::write(descriptor, contents.constData() + done, size_t(contents.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        done += written;
    }
    return true;
}

// Writes everything and brings it to disk; false with errno when that failed.
bool writeAllToDisk(int descriptor, const QByteArray &contents)
{
    return writeAll(descriptor, contents) && (::fdatasync(descriptor) == 0 || errno == EINVAL);
}

// Closes a file that was being written: whether all of it went well, with errno of the first
// failure in error.
bool closeWritten(int descriptor, bool written, int &error)
{
    error = errno;
    if (::close(descriptor) != 0 && written) {
        error = errno;
        return false;
    }
    return written;
}

// A new file beside the target, under a name nobody else has taken; -1 with errno when none.
int createBeside(const QByteArray &path, mode_t mode, QByteArray &created)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = path + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int descriptor =
            ::open(created.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

} // namespace

FileWriteResult replaceFile(const QByteArray &path, const QByteArray &contents)
{
    // A file that does not exist yet has nothing to resolve: it is made under the path as given.
    QByteArray target = path;
    if (char *const resolved = ::realpath(path.constData(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat existing;
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        return failure(errno);
    // A new file gets what the user's umask allows, as any file the program creates.
    const mode_t mode = exists ? (existing.st_mode & 07777) : 0666;

    QByteArray temporary;
    const int descriptor = createBeside(target, mode, temporary);
    if (descriptor < 0)
        return failure(errno);
    int error = 0;
    bool written = closeWritten(descriptor,
                                (!exists || ::fchmod(descriptor, mode) == 0) &&
                                    writeAllToDisk(descriptor, contents),
                                error);
    if (written && ::rename(temporary.constData(), target.constData()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(temporary.constData());
        return failure(error);
    }
    return {true, {}};
}

FileWriteResult writeNewFile(const QByteArray &path, const QByteArray &contents)
{
    const int descriptor =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (descriptor < 0)
        return failure(errno);
    int error = 0;
    if (!closeWritten(descriptor, writeAllToDisk(descriptor, contents), error)) {
        ::unlink(path.constData());
        return failure(error);
    }
    return {true, {}};
}

int makeFolders(const QByteArray &path)
{
    struct stat existing;
    if (path.isEmpty() || ::stat(path.constData(), &existing) == 0)
        return 0;
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0) {
        if (const int error = makeFolders(path.left(slash)))
            return error;
    }
    return ::mkdir(path.constData(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

} // namespace platform
